// kelvo.objattrib: the attributes of each objective of a problem.
#include "module/frame.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

PyTypeObject objattrib_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyObject *new_objattrib(ProblemObject *problem) {
  auto *o = PyObject_New(ObjAttribObject, &objattrib_type);
  if (!o) return nullptr;
  o->problem = problem;
  o->nslots = 0;
  o->accessors = nullptr;
  return reinterpret_cast<PyObject *>(o);
}

static void objattrib_dealloc(PyObject *self) {
  auto *o = reinterpret_cast<ObjAttribObject *>(self);
  for (Py_ssize_t i = 0; i < o->nslots; ++i) Py_XDECREF(o->accessors[i]);
  PyMem_Free(o->accessors);
  PyObject_Free(self);
}

// The number of objectives of the problem, or -1 with an exception.
static Py_ssize_t objective_count(ObjAttribObject *o) {
  if (!o->problem) {
    PyErr_SetString(g.InterfaceError, "Object is not initialized");
    return -1;
  }
  ProblemObject *p = o->problem;
  if (!p->prob) {
    PyErr_SetString(g.ModelError, "Problem is not initialized");
    return -1;
  }
  int n = 0;
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, KLVO_ATTR_OBJECTIVES, &n) != 0) {
    raise_error(reinterpret_cast<PyObject *>(p));
    return -1;
  }
  return n;
}

static Py_ssize_t objattrib_length(PyObject *self) { return objective_count(reinterpret_cast<ObjAttribObject *>(self)); }

static PyObject *objattrib_item(PyObject *self, Py_ssize_t i) {
  auto *o = reinterpret_cast<ObjAttribObject *>(self);
  Py_ssize_t n = objective_count(o);
  if (n < 0) return nullptr;
  if (i < 0 || i >= n) {
    PyErr_SetString(PyExc_IndexError, "Invalid objective index");
    return nullptr;
  }
  if (i >= o->nslots) {
    // One accessor per objective, made on first use and kept.
    auto *grown = PyMem_Realloc(o->accessors, static_cast<size_t>(n) * sizeof(PyObject *));
    if (!grown) return PyErr_NoMemory();
    o->accessors = static_cast<PyObject **>(grown);
    for (Py_ssize_t k = o->nslots; k < n; ++k) o->accessors[k] = nullptr;
    o->nslots = n;
  }
  if (!o->accessors[i]) {
    o->accessors[i] = new_attribute(o->problem, g.attribute_table, static_cast<int32_t>(i));
    if (!o->accessors[i]) return nullptr;
  }
  return Py_NewRef(o->accessors[i]);
}

static PyObject *objattrib_subscript(PyObject *self, PyObject *key) {
  if (!PyIndex_Check(key) || PyBool_Check(key)) {
    PyErr_SetString(PyExc_IndexError, "Invalid objective index");
    return nullptr;
  }
  Py_ssize_t i = PyNumber_AsSsize_t(key, nullptr);
  if (i == -1 && PyErr_Occurred()) return nullptr;
  return objattrib_item(self, i);
}

static PyObject *objattrib_str(PyObject *self) {
  auto *o = reinterpret_cast<ObjAttribObject *>(self);
  Py_ssize_t n = objective_count(o);
  if (n < 0) return nullptr;
  nb::object list = nb::steal(PyList_New(n));
  if (!list) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *values = all_values(o->problem, false, static_cast<int>(i));
    if (!values) return nullptr;
    PyList_SET_ITEM(list.ptr(), i, values);
  }
  return PyObject_Str(list.ptr());
}

static PySequenceMethods objattrib_sequence = {objattrib_length, nullptr, nullptr, objattrib_item};
static PyMappingMethods objattrib_mapping = {objattrib_length, objattrib_subscript, nullptr};

int ready_objattrib_type() {
  objattrib_type.tp_name = "kelvo.objattrib";
  objattrib_type.tp_basicsize = sizeof(ObjAttribObject);
  objattrib_type.tp_flags = Py_TPFLAGS_DEFAULT;
  objattrib_type.tp_doc = "The attributes of the objectives of a problem, indexed by objective.";
  objattrib_type.tp_dealloc = objattrib_dealloc;
  objattrib_type.tp_as_sequence = &objattrib_sequence;
  objattrib_type.tp_as_mapping = &objattrib_mapping;
  objattrib_type.tp_str = objattrib_str;
  objattrib_type.tp_repr = objattrib_str;
  return PyType_Ready(&objattrib_type);
}

}  // namespace kelvo
