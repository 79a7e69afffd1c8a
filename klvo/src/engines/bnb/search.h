// The library's own branch-and-bound: best-bound node selection with plunging, node
// relaxations from relaxation.h, rounding and fix-and-solve heuristics, reliability
// pseudo-cost branching (strong branching where the engine allows trial solves, most
// fractional until anything is known), and branching on semi-continuous columns, special
// ordered sets and indicators. Indicators become big-M rows when their row's activity is
// bounded; general and piecewise-linear constraints are stated as mixed-integer rows first.
// With the threads control above 1, that many workers (the calling thread and helpers) solve
// nodes at once, each with its own relaxation engine, sharing the open nodes, the incumbent
// and the pseudo-costs; the optimum is the same, the order of the nodes is not.
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
