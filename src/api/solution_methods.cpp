// Thin methods that solve and read results: solution vectors, rays, infeasibilities, bases, ranging, IIS, repair and solution files.
#include "api/convert.h"
#include "module/frame.h"

namespace kelvo {

PyMethodDef problem_methods_solution[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
