// kelvo.nonlinear: its record and operators come with the expression algebra; until then the type
// exists without behaviour so that start-up can ready it.
#include "kelvo/state.h"

namespace kelvo {

PyTypeObject nonlinear_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_nonlinear_type() {
  nonlinear_type.tp_name = "kelvo.nonlinear";
  nonlinear_type.tp_basicsize = sizeof(PyObject);
  nonlinear_type.tp_flags = Py_TPFLAGS_DEFAULT;
  nonlinear_type.tp_doc = "A nonlinear expression tree.";
  return PyType_Ready(&nonlinear_type);
}

}  // namespace kelvo
