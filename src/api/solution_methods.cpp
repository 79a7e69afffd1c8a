// Thin methods that solve and read results: solution vectors, rays, infeasibilities, loaded
// and added solutions, and the values calculated from a given solution.
#include "api/convert.h"
#include "module/frame.h"

namespace kelvo {

PyMethodDef problem_methods_solution[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
