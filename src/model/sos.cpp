// kelvo.sos: a special ordered set of type 1 or 2. A linked set keeps only its problem and
// set index (members, weights, type and name live in the library); an unlinked one, made by
// the deprecated constructor, keeps its own lists and name until it is added to problems; a
// deleted one keeps nothing.
#include "model/sos.h"

#include "api/convert.h"
#include "module/frame.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

PyTypeObject sos_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

static const char *const msg_deleted = "SOS has been deleted from the problem";

static int model_error(const char *message) {
  PyErr_SetString(g.ModelError, message);
  return -1;
}

void mark_sos_deleted(SosObject *s) {
  if (!s->owner || s->owner == deleted_marker) return;
  s->owner = deleted_marker;
  s->index = 0;
}

static uint64_t next_sos_serial() { return g.sos_serial++; }

PyObject *new_linked_sos(ProblemObject *p, int set) {
  PyObject *o = sos_type.tp_alloc(&sos_type, 0);
  if (!o) return nullptr;
  as_sos(o)->owner = p;
  as_sos(o)->index = static_cast<uint64_t>(set);
  return o;
}

PyObject *new_unlinked_sos(int type, PyObject *indices, PyObject *weights, PyObject *name) {
  PyObject *o = sos_type.tp_alloc(&sos_type, 0);
  if (!o) return nullptr;
  SosObject *s = as_sos(o);
  s->index = next_sos_serial();
  s->type = type;
  s->indices = Py_NewRef(indices);
  s->weights = Py_NewRef(weights);
  s->name = name ? Py_NewRef(name) : PyUnicode_FromFormat("sos%llu", static_cast<unsigned long long>(s->index));
  if (!s->name) Py_CLEAR(o);
  return o;
}

int sos_index(SosObject *s, ProblemObject *p) {
  if (sos_deleted(s)) return model_error(msg_deleted);
  if (s->owner) {
    if (s->owner == p || (p->parent && s->owner == p->parent)) return static_cast<int>(s->index);
    return model_error("SOS is from a different problem");
  }
  if (s->index == 0) return model_error("SOS is not initialized");
  if (p->sos_map) {
    auto it = p->sos_map->find(s->index);
    if (it != p->sos_map->end()) return it->second;
  }
  return model_error("SOS does not belong to this problem");
}

// ---- Printed name.

static PyObject *sos_name(SosObject *s) {
  if (sos_deleted(s)) return PyUnicode_FromString("(deleted SOS)");
  if (s->owner) {
    ProblemObject *p = s->owner;
    int set = static_cast<int>(s->index);
    const char *name = nullptr;
    if (p->prob && call(KLVOgetnamepointer, "KLVOgetnamepointer", p, p->prob, KLVO_NAMES_SETS, set, &name) != 0)
      return check_result(reinterpret_cast<PyObject *>(p), nullptr);
    if (name) return PyUnicode_FromString(name);
    return PyUnicode_FromFormat("SOS%d", set + 1);
  }
  if (s->name) return Py_NewRef(s->name);
  return PyUnicode_FromFormat("sos%llu", static_cast<unsigned long long>(s->index));
}

static PyObject *sos_str(PyObject *self) { return sos_name(as_sos(self)); }

// ---- Attributes.

static bool named(PyObject *attr, const char *name) {
  return PyUnicode_Check(attr) && PyUnicode_CompareWithASCIIString(attr, name) == 0;
}

static PyObject *sos_index_value(SosObject *s) {
  if (sos_deleted(s)) return PyLong_FromLong(-1);
  if (!s->owner) return Py_NewRef(Py_None);
  return PyLong_FromUnsignedLongLong(s->index);
}

static PyObject *sos_dict(SosObject *s) {
  nb::object d = nb::steal(PyDict_New());
  if (!d) return nullptr;
  if (!sos_deleted(s)) {
    nb::object name = nb::steal(sos_name(s));
    if (!name || PyDict_SetItemString(d.ptr(), "name", name.ptr()) < 0) return nullptr;
  }
  nb::object index = nb::steal(sos_index_value(s));
  if (!index || PyDict_SetItemString(d.ptr(), "index", index.ptr()) < 0) return nullptr;
  return d.release().ptr();
}

static PyObject *sos_getattro(PyObject *self, PyObject *attr) {
  SosObject *s = as_sos(self);
  if (named(attr, "name")) return sos_name(s);
  if (named(attr, "index")) return sos_index_value(s);
  if (named(attr, "__dict__")) return sos_dict(s);
  return PyObject_GenericGetAttr(self, attr);
}

static int set_name(SosObject *s, PyObject *value) {
  if (sos_deleted(s)) return model_error(msg_deleted);
  if (!PyUnicode_Check(value)) return model_error("SOS name must be a string");
  if (s->owner) {
    ProblemObject *p = s->owner;
    const char *text = c_text(value, nullptr);
    if (!text) return -1;
    int set = static_cast<int>(s->index);
    if (call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_SETS, text, set, set) != 0) {
      raise_error(reinterpret_cast<PyObject *>(p));
      return -1;
    }
    return 0;
  }
  Py_XSETREF(s->name, Py_NewRef(value));
  return 0;
}

static int sos_setattro(PyObject *self, PyObject *attr, PyObject *value) {
  SosObject *s = as_sos(self);
  if (!value) {
    PyErr_Format(g.InterfaceError, "Cannot delete the %U attribute", attr);
    return -1;
  }
  if (named(attr, "name")) return set_name(s, value);
  if (named(attr, "index")) {
    PyErr_SetString(g.InterfaceError, "SOS index cannot be modified");
    return -1;
  }
  return PyObject_GenericSetAttr(self, attr, value);
}

// ---- Construction, copy and release.

static int sos_init(PyObject *self, PyObject *args, PyObject *kwargs) {
  SosObject *s = as_sos(self);
  if (s->owner || s->index != 0) {
    PyErr_SetString(g.InterfaceError, "Cannot re-initialize a SOS");
    return -1;
  }
  if (deprecation(9, 5, "create a linked SOS by calling problem.addSOS()") < 0) return -1;
  // The serial id is taken even when the arguments turn out wrong.
  s->index = next_sos_serial();
  s->type = 1;
  static const char *const kwlist[] = {"indices", "weights", "type", "name", nullptr};
  PyObject *indices, *weights, *type = Py_None, *name = Py_None;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|OO", const_cast<char **>(kwlist), &indices, &weights, &type,
                                   &name))
    return -1;
  long t = 1;
  if (type != Py_None) {
    int overflow = 0;
    nb::object number = nb::steal(is_integer(type) ? PyNumber_Index(type) : nullptr);
    if (!number && PyErr_Occurred()) return -1;
    t = number ? PyLong_AsLongAndOverflow(number.ptr(), &overflow) : 0;
    if (t != 1 && t != 2) return model_error("SOS type must be 1 or 2");
  }
  if (name != Py_None && !PyUnicode_Check(name)) return model_error("SOS name must be a string");
  if (!PyList_Check(weights)) return model_error("SOS weights must be passed as a list");
  if (!PyList_Check(indices)) return model_error("SOS indices must be passed as a list");
  nb::object stored_name = name != Py_None
                               ? nb::borrow(name)
                               : nb::steal(PyUnicode_FromFormat("sos%llu", static_cast<unsigned long long>(s->index)));
  if (!stored_name) return -1;
  s->type = t;
  Py_XSETREF(s->indices, Py_NewRef(indices));
  Py_XSETREF(s->weights, Py_NewRef(weights));
  Py_XSETREF(s->name, stored_name.release().ptr());
  return 0;
}

static PyObject *sos_copy(PyObject *self, PyObject *) {
  SosObject *s = as_sos(self);
  if (s->owner) {
    model_error("SOS cannot be copied because it has been added to a problem");
    return nullptr;
  }
  if (s->index == 0) {
    model_error("SOS is not initialized");
    return nullptr;
  }
  nb::object indices = nb::steal(s->indices ? PyList_GetSlice(s->indices, 0, PY_SSIZE_T_MAX) : PyList_New(0));
  nb::object weights = nb::steal(s->weights ? PyList_GetSlice(s->weights, 0, PY_SSIZE_T_MAX) : PyList_New(0));
  nb::object source_name = nb::steal(sos_name(s));
  if (!indices || !weights || !source_name) return nullptr;
  // The new serial id is taken first: the name carries the source's.
  nb::object copy = nb::steal(new_unlinked_sos(static_cast<int>(s->type), indices.ptr(), weights.ptr(), nullptr));
  if (!copy) return nullptr;
  PyObject *name = PyUnicode_FromFormat("sos%llu_copy_%S", static_cast<unsigned long long>(s->index), source_name.ptr());
  if (!name) return nullptr;
  Py_SETREF(as_sos(copy.ptr())->name, name);
  return copy.release().ptr();
}

// An unlinked set's lists are the user's and may come to hold the set itself.
static int sos_traverse(PyObject *self, visitproc visit, void *arg) {
  SosObject *s = as_sos(self);
  Py_VISIT(s->indices);
  Py_VISIT(s->weights);
  Py_VISIT(s->name);
  return 0;
}

static int sos_clear(PyObject *self) {
  SosObject *s = as_sos(self);
  Py_CLEAR(s->indices);
  Py_CLEAR(s->weights);
  Py_CLEAR(s->name);
  return 0;
}

static void sos_dealloc(PyObject *self) {
  PyObject_GC_UnTrack(self);
  sos_clear(self);
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

PyMethodDef sos_methods[] = {
    {"copy", sos_copy, METH_NOARGS, "A new unlinked set with the same type, members and weights."},
    {"__reduce__", sos_reduce, METH_NOARGS, "__reduce__()\nPickles the set with its problem."},
    {nullptr}};

int ready_sos_type() {
  sos_type.tp_name = "kelvo.sos";
  sos_type.tp_basicsize = sizeof(SosObject);
  sos_type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
  sos_type.tp_doc =
      "sos(indices, weights, type=1, name=None)\n"
      "A special ordered set of type 1 or 2. Create sets with problem.addSOS(); the constructor\n"
      "is deprecated.";
  sos_type.tp_new = PyType_GenericNew;
  sos_type.tp_init = sos_init;
  sos_type.tp_dealloc = sos_dealloc;
  sos_type.tp_traverse = sos_traverse;
  sos_type.tp_clear = sos_clear;
  sos_type.tp_free = PyObject_GC_Del;
  sos_type.tp_str = sos_str;
  sos_type.tp_repr = sos_str;
  sos_type.tp_getattro = sos_getattro;
  sos_type.tp_setattro = sos_setattro;
  sos_type.tp_methods = sos_methods;
  return PyType_Ready(&sos_type);
}

}  // namespace kelvo
