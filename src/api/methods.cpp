// The thin methods that pass their arguments straight to the library function of the same name.
#include "problem/problem.h"

namespace kelvo {

PyMethodDef problem_methods_api[] = {{nullptr}};

}  // namespace kelvo
