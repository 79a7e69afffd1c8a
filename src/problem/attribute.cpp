// kelvo.attribute: a problem's attributes by name, or those of one of its objectives.
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

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

static ProblemObject *live_problem(AttributeObject *a) {
  if (!a->problem) {
    PyErr_SetString(g.InterfaceError, "Object is not initialized");
    return nullptr;
  }
  if (!a->problem->prob) {
    PyErr_SetString(g.ModelError, "Problem is not initialized");
    return nullptr;
  }
  return a->problem;
}

static PyObject *attribute_getattro(PyObject *self, PyObject *attr) {
  auto *a = reinterpret_cast<AttributeObject *>(self);
  if (PyUnicode_Check(attr)) {
    if (PyUnicode_CompareWithASCIIString(attr, "__dict__") == 0) return Py_NewRef(a->table);
    if (PyUnicode_CompareWithASCIIString(attr, "__class__") == 0) return Py_NewRef(Py_TYPE(self));
    if (PyUnicode_GET_LENGTH(attr) > 4 && PyUnicode_READ_CHAR(attr, 0) == '_' && PyUnicode_READ_CHAR(attr, 1) == '_')
      return PyObject_GenericGetAttr(self, attr);
  }
  nb::object name = nb::steal(normalise_name(attr));
  if (!name) return nullptr;
  PyObject *result = nullptr;
  CatalogueEntry e;
  int found = find_entry(a->table, name.ptr(), &e);
  if (found == 0) PyErr_SetString(g.InterfaceError, "Incorrect attribute name");
  if (found != 1) return nullptr;
  if (a->objective >= 0 && e.source != source_optimizer) {
    PyErr_SetString(g.InterfaceError, "Only KLVO attributes are supported");
    return nullptr;
  }
  if (ProblemObject *p = live_problem(a)) result = read_value(p, e, false, a->objective);
  return result;
}

static int attribute_setattro(PyObject *, PyObject *, PyObject *) {
  PyErr_SetString(g.ModelError, "A problem's attribute cannot be set");
  return -1;
}

static PyObject *attribute_str(PyObject *self) {
  auto *a = reinterpret_cast<AttributeObject *>(self);
  ProblemObject *p = live_problem(a);
  if (!p) return nullptr;
  nb::object values = nb::steal(all_values(p, false, a->objective));
  return values ? PyObject_Str(values.ptr()) : nullptr;
}

int ready_attribute_type() {
  attribute_type.tp_name = "kelvo.attribute";
  attribute_type.tp_basicsize = sizeof(AttributeObject);
  attribute_type.tp_flags = Py_TPFLAGS_DEFAULT;
  attribute_type.tp_doc = "The attributes of a problem, or of one of its objectives.";
  attribute_type.tp_dealloc = attribute_dealloc;
  attribute_type.tp_getattro = attribute_getattro;
  attribute_type.tp_setattro = attribute_setattro;
  attribute_type.tp_str = attribute_str;
  attribute_type.tp_repr = attribute_str;
  return PyType_Ready(&attribute_type);
}

}  // namespace kelvo
