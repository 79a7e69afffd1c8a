// Objectives: problem.setObjective, addObjective.
#include "kelvo/problem_methods.h"

namespace kelvo {

PyMethodDef problem_methods_objectives[] = {{nullptr}};

}  // namespace kelvo
