// Cascading: columns that a row determines get the value that makes that row hold, the other
// columns as they are, in an order where a column comes after the determined columns its row
// uses. The same routine serves KSLPcascade (model space) and the SLP iteration (engine space).
#pragma once

#include <functional>
#include <vector>

#include "engines/nlp/layer.h"

namespace klvo {
namespace nlp {

// One column to recompute, in the space of the point and of the activities handed in.
struct CascadeColumn {
  int col;        // position in the point
  int row;        // position in the activity vector
  int model_col;  // the model column, which the events name
  double lo, hi;  // the row holds when its activity lies in [lo, hi]
  double xl, xu;  // the column's bounds
  int limit;      // Newton steps at most
};

// All row activities at a point; false when they cannot be evaluated there.
using ActivityFn = std::function<bool(const double *x, std::vector<double> &act)>;

struct CascadeOutcome {
  bool ran = false;  // false: the cascadestart event declined it
  int changed = 0;   // columns whose value moved
};

// Runs up to `passes` passes over cols (in order) on x, firing the cascade events; a pass
// repeats only while the last one moved a column and a determining row still fails to hold
// (a cycle among the columns). A new value within tol of the old one is not taken.
CascadeOutcome run_cascade(kslp_problem_s *slp, const std::vector<CascadeColumn> &cols, std::vector<double> &x,
                           const ActivityFn &activity, int passes, double tol);

// The layer's cascade in model space: its order (computed when missing), without the columns
// marked never to be cascaded. The targets are the determining rows' right-hand sides.
std::vector<CascadeColumn> model_cascade(kslp_problem_s &slp, const char *fn);

}  // namespace nlp
}  // namespace klvo
