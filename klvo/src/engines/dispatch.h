// The solve dispatch: looks at what the model holds and hands it to the engine that can
// solve it, or refuses with a clear error. New engines (nonlinear, branch-and-bound) slot in
// here.
#pragma once

#include <cstdint>

#include "env/problem.h"

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

ModelFacts model_facts(const Problem &prob);

enum class SolveKind { Automatic, Lp, Mip };

// Solves the problem and fills prob.solution. Throws Error when the model holds something
// no engine can solve, or when an engine fails.
void optimize(Problem &prob, const char *flags, SolveKind kind);

}  // namespace klvo
