// kelvo.sos: a special ordered set of type 1 or 2.
#include "model/model.h"

namespace kelvo {

PyTypeObject sos_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

void mark_sos_deleted(SosObject *s) {
  if (!s->owner || s->owner == deleted_marker) return;
  s->owner = deleted_marker;
  s->index = 0;
}

static void sos_dealloc(PyObject *self) {
  auto *s = reinterpret_cast<SosObject *>(self);
  Py_XDECREF(s->indices);
  Py_XDECREF(s->weights);
  Py_XDECREF(s->name);
  Py_TYPE(self)->tp_free(self);
}

int ready_sos_type() {
  sos_type.tp_name = "kelvo.sos";
  sos_type.tp_basicsize = sizeof(SosObject);
  sos_type.tp_flags = Py_TPFLAGS_DEFAULT;
  sos_type.tp_doc = "A special ordered set of type 1 or 2.";
  sos_type.tp_dealloc = sos_dealloc;
  return PyType_Ready(&sos_type);
}

}  // namespace kelvo
