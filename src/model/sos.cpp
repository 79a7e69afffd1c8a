// kelvo.sos: a special ordered set of type 1 or 2.
#include "model/model.h"
#include "problem/problem.h"

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

static PyObject *sos_reduce(PyObject *self, PyObject *) {
  auto *s = reinterpret_cast<SosObject *>(self);
  if (!s->owner || s->owner == deleted_marker) {
    PyErr_SetString(PyExc_TypeError, s->owner ? "cannot pickle a deleted set" : "cannot pickle a set that belongs to no problem");
    return nullptr;
  }
  return reduce_linked(s->owner, "getSOS", s->index);
}

static PyMethodDef sos_methods[] = {
    {"__reduce__", sos_reduce, METH_NOARGS, "__reduce__()\nPickles the set with its problem."},
    {nullptr}};

int ready_sos_type() {
  sos_type.tp_name = "kelvo.sos";
  sos_type.tp_basicsize = sizeof(SosObject);
  sos_type.tp_flags = Py_TPFLAGS_DEFAULT;
  sos_type.tp_doc = "A special ordered set of type 1 or 2.";
  sos_type.tp_dealloc = sos_dealloc;
  sos_type.tp_methods = sos_methods;
  return PyType_Ready(&sos_type);
}

}  // namespace kelvo
