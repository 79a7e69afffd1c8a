// kelvo.control: a problem's controls by name, or the global controls object.
#include "kelvo/params.h"

namespace kelvo {

PyTypeObject control_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyObject *new_control(ProblemObject *problem, PyObject *dict) {
  auto *c = PyObject_New(ControlObject, &control_type);
  if (!c) return nullptr;
  c->problem = problem;
  c->dict = Py_NewRef(dict);
  return reinterpret_cast<PyObject *>(c);
}

static void control_dealloc(PyObject *self) {
  Py_XDECREF(reinterpret_cast<ControlObject *>(self)->dict);
  PyObject_Free(self);
}

int ready_control_type() {
  control_type.tp_name = "kelvo.control";
  control_type.tp_basicsize = sizeof(ControlObject);
  control_type.tp_flags = Py_TPFLAGS_DEFAULT;
  control_type.tp_doc = "The controls of a problem, or the defaults for new problems.";
  control_type.tp_dealloc = control_dealloc;
  return PyType_Ready(&control_type);
}

}  // namespace kelvo
