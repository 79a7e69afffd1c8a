// kelvo.quadterm: its record and operators come with the expression algebra; until then the type
// exists without behaviour so that start-up can ready it.
#include "kelvo/state.h"

namespace kelvo {

PyTypeObject quadterm_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_quadterm_type() {
  quadterm_type.tp_name = "kelvo.quadterm";
  quadterm_type.tp_basicsize = sizeof(PyObject);
  quadterm_type.tp_flags = Py_TPFLAGS_DEFAULT;
  quadterm_type.tp_doc = "A quadratic term: a coefficient times the product of two variables.";
  return PyType_Ready(&quadterm_type);
}

}  // namespace kelvo
