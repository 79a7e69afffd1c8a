// The slots that kelvo.var shares with the algebra types: the number protocol
// (expr/operators.cpp) and the rich comparison (expr/compare.cpp).
#pragma once

#include "kelvo/state.h"

namespace kelvo {

extern PyNumberMethods algebra_number_methods;
PyObject *algebra_richcompare(PyObject *a, PyObject *b, int op);

}  // namespace kelvo
