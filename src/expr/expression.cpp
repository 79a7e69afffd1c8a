// kelvo.expression: a constant plus a linear part plus a quadratic part.
#include "expr/expr.h"

namespace kelvo {

PyTypeObject expression_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

static PyObject *expression_new(PyTypeObject *, PyObject *args, PyObject *kwargs) {
  if ((args && PyTuple_GET_SIZE(args) > 0) || (kwargs && PyDict_GET_SIZE(kwargs) > 0)) {
    PyErr_SetString(PyExc_TypeError, "kelvo.expression() takes no arguments");
    return nullptr;
  }
  return reinterpret_cast<PyObject *>(new_expression());
}

static void expression_dealloc(PyObject *self) {
  expression_clear(as_expr(self));
  Py_TYPE(self)->tp_free(self);
}

int ready_expression_type() {
  expression_type.tp_name = "kelvo.expression";
  expression_type.tp_basicsize = sizeof(ExpressionObject);
  expression_type.tp_flags = Py_TPFLAGS_DEFAULT;
  expression_type.tp_doc = "A linear-quadratic expression.";
  expression_type.tp_new = expression_new;
  expression_type.tp_dealloc = expression_dealloc;
  expression_type.tp_str = expression_str;
  expression_type.tp_repr = expression_str;
  expression_type.tp_as_number = &algebra_number_methods;
  expression_type.tp_richcompare = algebra_richcompare;
  return PyType_Ready(&expression_type);
}

}  // namespace kelvo
