// Adding and deleting variables: problem.addVariable, addVariables, delVariable.
#include "kelvo/problem_methods.h"

namespace kelvo {

PyMethodDef problem_methods_variables[] = {{nullptr}};

}  // namespace kelvo
