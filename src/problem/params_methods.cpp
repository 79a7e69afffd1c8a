// Controls and attributes by name: problem.getControl, setControl, getAttrib.
#include "kelvo/problem_methods.h"

namespace kelvo {

PyMethodDef problem_methods_params[] = {{nullptr}};

}  // namespace kelvo
