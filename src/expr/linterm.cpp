// kelvo.linterm: its record and operators come with the expression algebra; until then the type
// exists without behaviour so that start-up can ready it.
#include "kelvo/state.h"

namespace kelvo {

PyTypeObject linterm_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_linterm_type() {
  linterm_type.tp_name = "kelvo.linterm";
  linterm_type.tp_basicsize = sizeof(PyObject);
  linterm_type.tp_flags = Py_TPFLAGS_DEFAULT;
  linterm_type.tp_doc = "A linear term: a coefficient times a variable.";
  return PyType_Ready(&linterm_type);
}

}  // namespace kelvo
