// kelvo.linterm: a coefficient times a variable.
#include "expr/expr.h"

namespace kelvo {

PyTypeObject linterm_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

static void linterm_dealloc(PyObject *self) {
  Py_XDECREF(as_lin(self)->var);
  Py_TYPE(self)->tp_free(self);
}

int ready_linterm_type() {
  linterm_type.tp_name = "kelvo.linterm";
  linterm_type.tp_basicsize = sizeof(LintermObject);
  linterm_type.tp_flags = Py_TPFLAGS_DEFAULT;
  linterm_type.tp_doc = "A linear term: a coefficient times a variable.";
  linterm_type.tp_dealloc = linterm_dealloc;
  linterm_type.tp_str = linterm_str;
  linterm_type.tp_repr = linterm_str;
  linterm_type.tp_as_number = &algebra_number_methods;
  linterm_type.tp_richcompare = algebra_richcompare;
  return PyType_Ready(&linterm_type);
}

}  // namespace kelvo
