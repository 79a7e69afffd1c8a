// The problem's HiGHS instance as the analysis functions find it after a solve.
#pragma once

// The C API header declares a function it never defines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <interfaces/highs_c_api.h>
#pragma GCC diagnostic pop

#include "engines/highs/highs_engine.h"
#include "env/problem.h"

namespace klvo {

// The instance holding a valid basis for the problem's current rows and columns (with the
// same matrix when same_matrix); fails with KLVO_ERR_NO_SOLUTION otherwise.
HighsEngine &engine_with_basis(Problem &prob, bool same_matrix, const char *fn);
// The instance holding an optimal basis of a continuous, linear solve of the problem exactly
// as it is now (for ranging).
HighsEngine &optimal_engine(Problem &prob, const char *fn);
// The user's scale factors the engine's model was built with (1 without any): engine row i is
// the user's times row(i), and a user value is var(v) times the engine's value of combined
// index v (the slack of row v, or column v - rows).
struct EngineScale {
  const HighsModel &held;
  double row(int i) const { return held.rowscale.empty() ? 1.0 : held.rowscale[i]; }
  double col(int j) const { return held.colscale.empty() ? 1.0 : held.colscale[j]; }
  double var(int v) const { return v < held.nrows ? 1.0 / row(v) : col(v - held.nrows); }
  bool none() const { return held.rowscale.empty() && held.colscale.empty(); }
};

// The problem's instance (created if the problem has none) with the current model passed.
HighsEngine &loaded_engine(Problem &prob);

}  // namespace klvo
