// Evaluation of algebra objects and nested containers of them for given variable values.
#pragma once

#include "problem/problem.h"

namespace kelvo {

// Evaluates obj (an algebra object, number, or nested tuple/list/dict/NumPy array of them)
// with the column values x[0..n-1] of problem p. In index mode, integer and string leaves
// name columns of p (by index or by name) and stand for their values. New reference or null.
PyObject *evaluate_values(ProblemObject *p, const double *x, Py_ssize_t n, PyObject *obj, bool index_mode);

// Module function evaluate.
extern PyMethodDef evaluate_methods[];

// Adds extractLinear and extractQuadratic to the five algebra types; called once the types
// are ready. 0 or -1.
int add_extract_methods();

}  // namespace kelvo
