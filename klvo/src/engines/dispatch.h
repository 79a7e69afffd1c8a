// The solve dispatch: looks at what the model holds and hands it to the engine that can
// solve it, or refuses with a clear error. New engines (branch-and-bound) slot in here.
#pragma once

#include <cstdint>

#include "engines/context.h"

struct kslp_problem_s;

namespace klvo {

// What a model holds, as far as the choice of engine is concerned.
struct ModelFacts {
  int discrete_cols = 0;  // 'B', 'I', 'S', 'R', 'P'
  int partial_cols = 0;   // 'P'
  int64_t qelems = 0;     // quadratic objective entries (upper triangle)
  int qrows = 0;          // rows with quadratic terms
  int sets = 0;
  int indicators = 0;
  int gencons = 0;        // general constraints
  int pwlcons = 0;        // piecewise-linear constraints
  int formulas = 0;       // rows or objectives with nonlinear formulas
  int objectives = 1;
};

// formulas: how many formula entries the nonlinear layer holds.
ModelFacts model_facts(const ModelStore &m, int formulas);

enum class SolveKind { Automatic, Lp, Mip };

// Solves the context's model and fills its solution; layer is the problem's nonlinear layer
// or null. Throws Error when the model holds something no engine can solve, or when an
// engine fails.
void optimize(const SolveContext &ctx, kslp_problem_s *layer, const char *flags, SolveKind kind);

}  // namespace klvo
