// Thin methods for the problem's saved state, logging and messages, directives, delayed rows, model cuts, secure vectors, scaling and tuning.
#include "api/convert.h"
#include "module/frame.h"

namespace kelvo {

PyMethodDef problem_methods_state[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
