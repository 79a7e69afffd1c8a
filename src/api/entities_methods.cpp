// Thin methods for general and piecewise-linear constraints, MIP entities, sets and indicators.
#include "api/convert.h"
#include "module/frame.h"

namespace kelvo {

PyMethodDef problem_methods_entities[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
