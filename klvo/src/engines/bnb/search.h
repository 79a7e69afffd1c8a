// The library's own branch-and-bound: best-bound node selection with plunging, node
// relaxations from relaxation.h, rounding and fix-and-solve heuristics, reliability
// pseudo-cost branching (strong branching where the engine allows trial solves, most
// fractional until anything is known), and branching on semi-continuous columns, special
// ordered sets and indicators. Indicators become big-M rows when their row's activity is
// bounded; general and piecewise-linear constraints are stated as mixed-integer rows first.
// Nodes are solved one after the other on the calling thread, whatever the threads control
// says (it still steers HiGHS's own MIP solver).
#pragma once

#include "engines/bnb/events.h"
#include "engines/context.h"

struct kslp_problem_s;

namespace klvo {
namespace bnb {

// Solves the context's model (integer columns, semi-continuous and partially integer columns,
// sets, indicators, quadratic objective, quadratic rows, formulas of the layer) and fills the
// context's solution. events may be null.
void solve(const SolveContext &ctx, kslp_problem_s *layer, SearchEvents *events = nullptr);

}  // namespace bnb
}  // namespace klvo
