// Reading the body of a linked constraint back from the library: the row's linear
// coefficients, its quadratic matrix and its formulas, rebuilt as an expression.
#include "kelvo/constraint.h"

namespace kelvo {

PyObject *linked_constraint_body(ProblemObject *, int) {
  // Decoding the row needs the formula decoder that arrives with constraint rows.
  PyErr_SetString(PyExc_NotImplementedError,
                  "constraint.getBody is not implemented yet for constraints added to a problem");
  return nullptr;
}

}  // namespace kelvo
