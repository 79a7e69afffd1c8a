// kelvo.expression: its record and operators come with the expression algebra; until then the type
// exists without behaviour so that start-up can ready it.
#include "kelvo/state.h"

namespace kelvo {

PyTypeObject expression_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_expression_type() {
  expression_type.tp_name = "kelvo.expression";
  expression_type.tp_basicsize = sizeof(PyObject);
  expression_type.tp_flags = Py_TPFLAGS_DEFAULT;
  expression_type.tp_doc = "A linear-quadratic expression.";
  return PyType_Ready(&expression_type);
}

}  // namespace kelvo
