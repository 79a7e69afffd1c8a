// The methods of kelvo.problem come from several subsystems; each contributes one table
// (ended by a {nullptr} entry) and the problem type joins them when it is readied.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kelvo {

extern PyMethodDef problem_methods_core[];       // problem/problem.cpp: name, read, write, copy, ...
extern PyMethodDef problem_methods_params[];     // problem/params_methods.cpp: getControl, setControl, getAttrib
extern PyMethodDef problem_methods_variables[];  // problem/variables.cpp: addVariable, addVariables, delVariable

extern PyMethodDef problem_methods_constraints[];  // problem/constraints.cpp: addConstraint, delConstraint
extern PyMethodDef problem_methods_objectives[];   // problem/objectives.cpp: setObjective, addObjective
extern PyMethodDef problem_methods_solve[];        // problem/solve.cpp: optimize, getSolution, getDuals, ...
extern PyMethodDef problem_methods_api[];          // api/: the thin methods of the library functions

}  // namespace kelvo
