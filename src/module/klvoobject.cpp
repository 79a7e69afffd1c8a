// kelvo.klvoobject: the library object that issued a message, as handed to user message
// handlers. It cannot be built from Python or do anything beyond being held and printed.
#include "module/wrappers.h"

namespace kelvo {

PyTypeObject klvoobject_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyObject *wrap_opaque(PyTypeObject *type, void *ptr) {
  auto *o = PyObject_New(OpaqueObject, type);
  if (!o) return nullptr;
  o->ptr = ptr;
  return reinterpret_cast<PyObject *>(o);
}

int ready_opaque(PyTypeObject *type, const char *name, const char *doc) {
  type->tp_name = name;
  type->tp_basicsize = sizeof(OpaqueObject);
  type->tp_flags = Py_TPFLAGS_DEFAULT;
  type->tp_doc = doc;
  return PyType_Ready(type);
}

int ready_klvoobject_type() {
  return ready_opaque(&klvoobject_type, "kelvo.klvoobject", "A library object that issued a message.");
}

}  // namespace kelvo
