// kelvo.attribute: a problem's attributes by name.
#include "kelvo/params.h"

namespace kelvo {

PyTypeObject attribute_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyObject *new_attribute(ProblemObject *problem, PyObject *table, int32_t objective) {
  auto *a = PyObject_New(AttributeObject, &attribute_type);
  if (!a) return nullptr;
  a->problem = problem;
  a->table = Py_NewRef(table);
  a->objective = objective;
  return reinterpret_cast<PyObject *>(a);
}

static void attribute_dealloc(PyObject *self) {
  Py_XDECREF(reinterpret_cast<AttributeObject *>(self)->table);
  PyObject_Free(self);
}

int ready_attribute_type() {
  attribute_type.tp_name = "kelvo.attribute";
  attribute_type.tp_basicsize = sizeof(AttributeObject);
  attribute_type.tp_flags = Py_TPFLAGS_DEFAULT;
  attribute_type.tp_doc = "The attributes of a problem.";
  attribute_type.tp_dealloc = attribute_dealloc;
  return PyType_Ready(&attribute_type);
}

}  // namespace kelvo
