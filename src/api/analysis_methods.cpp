// Thin methods of the analysis functions: bases and pivots, sensitivity ranging, infeasibility
// sets and repair, presolve spaces, barrier crossover, MIP refinement, solution files and the
// tuner.
#include "api/convert.h"
#include "module/frame.h"

namespace kelvo {

PyMethodDef problem_methods_analysis[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
