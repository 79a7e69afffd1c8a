// kelvo.quadterm: a coefficient times the product of two variables.
#include "expr/expr.h"

namespace kelvo {

PyTypeObject quadterm_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

static void quadterm_dealloc(PyObject *self) {
  Py_XDECREF(as_quad(self)->var1);
  Py_XDECREF(as_quad(self)->var2);
  Py_TYPE(self)->tp_free(self);
}

int ready_quadterm_type() {
  quadterm_type.tp_name = "kelvo.quadterm";
  quadterm_type.tp_basicsize = sizeof(QuadtermObject);
  quadterm_type.tp_flags = Py_TPFLAGS_DEFAULT;
  quadterm_type.tp_doc = "A quadratic term: a coefficient times the product of two variables.";
  quadterm_type.tp_dealloc = quadterm_dealloc;
  quadterm_type.tp_str = quadterm_str;
  quadterm_type.tp_repr = quadterm_str;
  quadterm_type.tp_as_number = &algebra_number_methods;
  quadterm_type.tp_richcompare = algebra_richcompare;
  return PyType_Ready(&quadterm_type);
}

}  // namespace kelvo
