// kelvo.poolcut: an opaque handle to a cut in the library's cut pool. Two objects for the same
// cut compare equal and hash alike, so that cuts read back from the library can be matched
// with those stored.
#include "callbacks/callbacks.h"

namespace kelvo {

PyTypeObject poolcut_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

namespace {

uintptr_t handle_of(PyObject *o) { return reinterpret_cast<uintptr_t>(reinterpret_cast<PoolCutObject *>(o)->handle); }

PyObject *poolcut_richcompare(PyObject *a, PyObject *b, int op) {
  if (!PyObject_TypeCheck(a, &poolcut_type) || !PyObject_TypeCheck(b, &poolcut_type)) Py_RETURN_NOTIMPLEMENTED;
  Py_RETURN_RICHCOMPARE(handle_of(a), handle_of(b), op);
}

Py_hash_t poolcut_hash(PyObject *o) {
  Py_hash_t h = static_cast<Py_hash_t>(handle_of(o));
  return h == -1 ? -2 : h;
}

PyObject *poolcut_repr(PyObject *o) {
  return PyUnicode_FromFormat("<kelvo.poolcut %llu>", static_cast<unsigned long long>(handle_of(o)));
}

}  // namespace

PyObject *new_poolcut(void *handle) {
  PoolCutObject *c = PyObject_New(PoolCutObject, &poolcut_type);
  if (c) c->handle = handle;
  return reinterpret_cast<PyObject *>(c);
}

int ready_poolcut_type() {
  poolcut_type.tp_name = "kelvo.poolcut";
  poolcut_type.tp_basicsize = sizeof(PoolCutObject);
  poolcut_type.tp_flags = Py_TPFLAGS_DEFAULT;
  poolcut_type.tp_doc = "A cut in the cut pool.";
  poolcut_type.tp_richcompare = poolcut_richcompare;
  poolcut_type.tp_hash = poolcut_hash;
  poolcut_type.tp_repr = poolcut_repr;
  return PyType_Ready(&poolcut_type);
}

}  // namespace kelvo
