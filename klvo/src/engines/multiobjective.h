// Solving a model with several objectives as a sequence of single-objective stages.
//
// Objectives are taken in decreasing priority (ties in index order). Those of one priority are
// blended into one objective, the sum of each times its weight, and solved together as one
// stage. After a stage, a row keeps its objective within the allowed degradation of the value
// it reached: the larger of abstol and reltol * |value|, using the largest allowances among
// the stage's objectives. Later stages thus choose only among (nearly) optimal solutions of
// the earlier ones. An objective of weight 0 takes no part in any stage; its value at the
// solution is still reported. The problem's sense applies to every stage; a negative weight
// turns an objective the other way.
#pragma once

#include "engines/dispatch.h"

namespace klvo {

// Solves the context's model, which has more than one objective, each stage through the
// single-objective dispatch, and leaves the last stage's solution with every stage's result.
// layer is the problem's nonlinear layer or null; it is left holding the last stage's result.
void optimize_objectives(const SolveContext &ctx, kslp_problem_s *layer, const char *flags, SolveKind kind);

// Solves a problem's model as its objective stages, each framed by the beforeobjective and
// afterobjective events: the model's one objective as a single stage, or the stages above.
void optimize_stages(const SolveContext &ctx, kslp_problem_s *layer, const char *flags, SolveKind kind);

}  // namespace klvo
