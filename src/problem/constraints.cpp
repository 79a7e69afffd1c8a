// Adding and deleting constraints: problem.addConstraint, delConstraint.
#include "kelvo/problem_methods.h"

namespace kelvo {

PyMethodDef problem_methods_constraints[] = {{nullptr}};

}  // namespace kelvo
