// Controls and attributes by name: reading and setting single values, name normalisation,
// enumerated values, and problem.getControl, setControl, getAttrib.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "api/convert.h"
#include "module/frame.h"
#include "numpy/numpy.h"
#include "problem/params.h"
#include "problem/problem.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

// Longest name a user may give.
constexpr Py_ssize_t name_max = 1024;

bool is_integer(PyObject *o) { return PyLong_Check(o) || PyArray_IsScalar(o, SignedInteger); }

PyObject *normalise_name(PyObject *name) {
  const char *text;
  Py_ssize_t n;
  if (PyUnicode_Check(name)) {
    text = PyUnicode_AsUTF8AndSize(name, &n);
    if (!text) return nullptr;
  } else if (PyBytes_Check(name)) {
    text = PyBytes_AS_STRING(name);
    n = PyBytes_GET_SIZE(name);
  } else {
    PyErr_SetString(g.InterfaceError, "Control name cannot be interpreted as string");
    return nullptr;
  }
  if (n > name_max) {
    PyErr_SetString(g.ModelError, "Control or attribute name is too long");
    return nullptr;
  }
  bool lower = true, upper = true;
  for (Py_ssize_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool common = (c >= '0' && c <= '9') || c == '_';
    lower = lower && (common || (c >= 'a' && c <= 'z'));
    upper = upper && (common || (c >= 'A' && c <= 'Z'));
  }
  if (!lower && !upper) {
    PyErr_SetString(g.ModelError, "Control or attribute is neither all-lower nor all-upper case");
    return nullptr;
  }
  std::string out(text, static_cast<size_t>(n));
  if (!lower)
    for (char &c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return PyUnicode_FromStringAndSize(out.data(), static_cast<Py_ssize_t>(out.size()));
}

int find_entry(PyObject *table, PyObject *name, CatalogueEntry *entry) {
  PyObject *t = PyDict_GetItemWithError(table, name);  // borrowed
  if (!t) return PyErr_Occurred() ? -1 : 0;
  if (!PyArg_ParseTuple(t, "iii", &entry->id, &entry->type, &entry->source)) return -1;
  return 1;
}

int resolve_id(long long id, CatalogueEntry *entry) {
  const KLVOcaentry *entries = nullptr;
  int count = 0;
  if (KLVOgetcalist_d(&entries, &count) != 0 || !entries) {
    PyErr_SetString(g.ModelError, "Internal error: failed to get control list");
    return -1;
  }
  for (int i = 0; i < count && entries[i].id != 0; ++i) {
    if (entries[i].id != id) continue;
    int bits = entries[i].flags & 7;
    entry->id = entries[i].id;
    entry->source = source_optimizer;
    switch (bits) {
      case KLVO_CA_INT: entry->type = type_int; return 0;
      case KLVO_CA_DBL: entry->type = type_double; return 0;
      case KLVO_CA_STR: entry->type = type_string; return 0;
      default: PyErr_Format(g.InterfaceError, "Unknown control type %d", bits); return -1;
    }
  }
  PyErr_Format(g.InterfaceError, "Unknown control ID %lld", id);
  return -1;
}

// Ids whose integer values are members of a kelvo.enums class.
struct EnumClass {
  int id;
  const char *name;
};
static const EnumClass enum_classes[] = {
    {1010, "LPStatus"},
    {1011, "MIPStatus"},
    {1053, "SolStatus"},
    {1268, "OptimizeType"},
    {1394, "SolveStatus"},
    {1406, "IISSolStatus"},
    {8011, "Presolve"},
    {8013, "Pricing"},
    {8023, "DefaultAlg"},
    {8025, "VariableSelection"},
    {8026, "NodeSelectionCriteria"},
    {8027, "BacktrackAlg"},
    {8266, "BacktrackAlg"},
    {8035, "OutputDetail"},
    {8044, "AlwaysNeverAutomatic"},
    {8144, "AlwaysNeverAutomatic"},
    {8224, "AlwaysNeverAutomatic"},
    {8282, "AlwaysNeverAutomatic"},
    {8284, "AlwaysNeverAutomatic"},
    {8046, "CholeskyAlgorithm"},
    {8080, "BarOrder"},
    {8084, "OnOff"},
    {8251, "OnOff"},
    {8138, "CutStrategy"},
    {8145, "DualGradient"},
    {8162, "BranchChoice"},
    {8174, "DualStrategy"},
    {8193, "FeasibilityPump"},
    {8194, "PresolveCoefElim"},
    {8195, "PresolveDomColumn"},
    {8216, "HeuristicSearchSelect"},
    {8217, "HeuristicSearchSelect"},
    {8238, "PreProbing"},
    {8252, "PrimalUnshift"},
    {8254, "RepairIndefiniteQuadratic"},
    {8281, "PresolveDomRow"},
    {8286, "BarPresolveOps"},
    {8290, "MipRestart"},
    {8359, "TunerMode"},
    {8360, "TunerMethod"},
    {8362, "TunerTarget"},
    {8365, "TunerHistory"},
    {8385, "LPFlags"},
    {8434, "ComputeLog"},
    {8457, "MultiObjOps"},
    {8472, "IISOps"},
    {8483, "BARHGOps"},
};

PyObject *wrap_enum(int id, PyObject *made) {
  nb::object value = nb::steal(made);
  if (!value) return nullptr;
  const char *name = nullptr;
  for (const EnumClass &e : enum_classes)
    if (e.id == id) name = e.name;
  if (!name) return value.release().ptr();
  nb::object module = nb::steal(PyImport_ImportModule("kelvo.enums"));
  nb::object cls = module ? nb::steal(PyObject_GetAttrString(module.ptr(), name)) : nb::object();
  if (!cls) return nullptr;
  PyObject *member = PyObject_CallOneArg(cls.ptr(), value.ptr());
  if (member) return member;
  // A value the class does not know stays a plain integer.
  PyErr_Clear();
  return value.release().ptr();
}

static PyObject *not_initialized() {
  PyErr_SetString(g.ModelError, "Problem is not initialized");
  return nullptr;
}

PyObject *read_value(ProblemObject *p, const CatalogueEntry &e, bool control, int objective) {
  PyObject *owner = reinterpret_cast<PyObject *>(p);
  int rc;
  switch (e.type) {
    case type_int: {
      int64_t v = 0;
      if (control) rc = call(KLVOgetintcontrol64, "KLVOgetintcontrol64", p, p->prob, e.id, &v);
      else if (objective >= 0)
        rc = call(KLVOgetobjintattrib64, "KLVOgetobjintattrib64", p, p->prob, objective, e.id, &v);
      else rc = call(KLVOgetintattrib64, "KLVOgetintattrib64", p, p->prob, e.id, &v);
      if (rc != 0) return check_result(owner, nullptr);
      if (!control && e.id == 12013) p->cached_attrib_12013 = static_cast<int32_t>(v);
      return wrap_enum(e.id, PyLong_FromLongLong(v));
    }
    case type_double: {
      double v = 0;
      if (control) rc = call(KLVOgetdblcontrol, "KLVOgetdblcontrol", p, p->prob, e.id, &v);
      else if (objective >= 0) rc = call(KLVOgetobjdblattrib, "KLVOgetobjdblattrib", p, p->prob, objective, e.id, &v);
      else rc = call(KLVOgetdblattrib, "KLVOgetdblattrib", p, p->prob, e.id, &v);
      if (rc != 0) return check_result(owner, nullptr);
      return PyFloat_FromDouble(v);
    }
    case type_string: {
      if (objective >= 0) {
        PyErr_SetString(g.InterfaceError, "Multi-objective string attributes are not supported");
        return nullptr;
      }
      // Strings have no length limit: ask for the size, then read into a buffer that fits.
      int n = 0;
      auto read = [&](char *text, int size) {
        return control ? call(KLVOgetstringcontrol, "KLVOgetstringcontrol", p, p->prob, e.id, text, size, &n)
                       : call(KLVOgetstringattrib, "KLVOgetstringattrib", p, p->prob, e.id, text, size, &n);
      };
      if (read(nullptr, 0) != 0) return check_result(owner, nullptr);
      std::string text(static_cast<size_t>(n > 0 ? n : 1), '\0');
      if (read(&text[0], static_cast<int>(text.size())) != 0) return check_result(owner, nullptr);
      return PyUnicode_DecodeUTF8(text.c_str(), static_cast<Py_ssize_t>(strlen(text.c_str())), "replace");
    }
    default:
      PyErr_SetString(g.ModelError, control ? "getControl() called with unknown ID" : "getAttrib() called with unknown ID");
      return nullptr;
  }
}

int check_control_value(int type, PyObject *value) {
  const char *message = nullptr;
  switch (type) {
    case type_int:
      if (!is_integer(value)) message = "Cannot set non-integer value to an integer control";
      break;
    case type_double:
      if (!PyFloat_Check(value) && !is_integer(value))
        message = "Cannot set non-numerical value to a floating-point control";
      break;
    case type_string:
      if (!PyUnicode_Check(value)) message = "Cannot set non-string value to a string control";
      break;
    default: message = "setControl called with unknown ID";
  }
  if (!message) return 0;
  PyErr_SetString(g.ModelError, message);
  return -1;
}

int set_control(ProblemObject *p, const CatalogueEntry &e, PyObject *value) {
  if (check_control_value(e.type, value) < 0) return -1;
  int rc;
  if (e.type == type_int) {
    nb::object number = nb::steal(PyNumber_Index(value));
    if (!number) return -1;
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) return -1;
    if (overflow) {
      PyErr_Format(PyExc_OverflowError, "%R is out of range for a 64-bit integer", value);
      return -1;
    }
    rc = call(KLVOsetintcontrol64, "KLVOsetintcontrol64", p, p->prob, e.id, static_cast<int64_t>(v));
  } else if (e.type == type_double) {
    double v = PyFloat_AsDouble(value);
    if (v == -1.0 && PyErr_Occurred()) return -1;
    rc = call(KLVOsetdblcontrol, "KLVOsetdblcontrol", p, p->prob, e.id, v);
  } else {
    const char *text = c_text(value, nullptr, "String value");
    if (!text) return -1;
    rc = call(KLVOsetstrcontrol, "KLVOsetstrcontrol", p, p->prob, e.id, text);
  }
  if (rc != 0) {
    raise_error(reinterpret_cast<PyObject *>(p));
    return -1;
  }
  return 0;
}

int apply_default_controls(ProblemObject *p) {
  Py_ssize_t pos = 0;
  PyObject *name, *value;
  // Hold the dictionary: setting a control may run code that changes it.
  nb::object defaults = nb::steal(PyDict_Copy(g.default_controls));
  if (!defaults) return -1;
  int rc = 0;
  while (rc == 0 && PyDict_Next(defaults.ptr(), &pos, &name, &value)) {
    CatalogueEntry e;
    int found = find_entry(g.control_table, name, &e);
    if (found == 0) PyErr_SetString(g.InterfaceError, "Incorrect control name in initialization");
    rc = found == 1 ? set_control(p, e, value) : -1;
  }
  return rc;
}

// --- keys given by the user ------------------------------------------------------------

// Resolves a key (name or integer id) against a table. On success key receives the key of
// result dictionaries (the normalised name or the integer).
static int resolve_key(PyObject *table, PyObject *item, CatalogueEntry *e, nb::object &key) {
  if (is_integer(item) && !PyBool_Check(item)) {
    long long id = PyLong_AsLongLong(item);
    if (id == -1 && PyErr_Occurred()) return -1;
    if (resolve_id(id, e) < 0) return -1;
    key = nb::steal(PyLong_FromLongLong(id));
    return key ? 0 : -1;
  }
  if (!PyUnicode_Check(item) && !PyBytes_Check(item)) {
    PyErr_SetString(g.InterfaceError, "Control name cannot be interpreted as string");
    return -1;
  }
  nb::object name = nb::steal(normalise_name(item));
  if (!name) return -1;
  int found = find_entry(table, name.ptr(), e);
  if (found <= 0) {
    if (found == 0) PyErr_SetString(g.InterfaceError, "Incorrect control name");
    return -1;
  }
  key = std::move(name);
  return 0;
}

static PyObject *value_of(ProblemObject *p, PyObject *table, PyObject *item, bool control, int objective,
                          nb::object &key) {
  CatalogueEntry e;
  if (resolve_key(table, item, &e, key) < 0) return nullptr;
  PyObject *v = read_value(p, e, control, objective);
  if (!v) {
    key.reset();
    if (!PyErr_Occurred())
      PyErr_SetString(g.InterfaceError,
                      control ? "Requested value of an unknown control" : "Requested value of an unknown attribute");
  }
  return v;
}

// A dictionary key -> value over the items an iterable yields.
static PyObject *values_over(ProblemObject *p, PyObject *table, PyObject *iterable, bool control, int objective) {
  nb::object it = nb::steal(PyObject_GetIter(iterable));
  if (!it) return nullptr;
  nb::object result = nb::steal(PyDict_New());
  if (!result) return nullptr;
  while (nb::object item = nb::steal(PyIter_Next(it.ptr()))) {
    nb::object key;
    nb::object v = nb::steal(value_of(p, table, item.ptr(), control, objective, key));
    if (!v || PyDict_SetItem(result.ptr(), key.ptr(), v.ptr()) < 0) return nullptr;
  }
  if (PyErr_Occurred()) return nullptr;
  return result.release().ptr();
}

PyObject *all_values(ProblemObject *p, bool control, int objective) {
  PyObject *table = control ? g.control_table : g.attribute_table;
  nb::object result = nb::steal(PyDict_New());
  if (!result) return nullptr;
  Py_ssize_t pos = 0;
  PyObject *name, *entry;
  while (PyDict_Next(table, &pos, &name, &entry)) {
    // Reading a value calls the library, whose message handlers can run Python.
    nb::object held_name = nb::borrow(name), held_entry = nb::borrow(entry);
    CatalogueEntry e;
    if (!PyArg_ParseTuple(entry, "iii", &e.id, &e.type, &e.source)) return nullptr;
    if (objective >= 0 && (e.type == type_string || e.source != source_optimizer)) continue;
    nb::object v = nb::steal(e.id == 12013 || e.id == 22013 ? PyLong_FromLong(p->cached_attrib_12013)
                                                            : read_value(p, e, control, objective));
    if (!v || PyDict_SetItem(result.ptr(), name, v.ptr()) < 0) return nullptr;
  }
  return result.release().ptr();
}

// getControl/getAttrib over the positional items, without an objective control.
static PyObject *get_values(ProblemObject *p, PyObject *items, bool control, int objective) {
  PyObject *table = control ? g.control_table : g.attribute_table;
  Py_ssize_t n = PyTuple_GET_SIZE(items);
  if (n == 0) return all_values(p, control, objective);
  if (n > 1) return values_over(p, table, items, control, objective);
  PyObject *item = PyTuple_GET_ITEM(items, 0);
  if (PyTuple_Check(item) || PyList_Check(item) || PyIter_Check(item))
    return values_over(p, table, item, control, objective);
  nb::object key;
  return value_of(p, table, item, control, objective, key);
}

// --- objective controls ----------------------------------------------------------------

struct ObjectiveControl {
  const char *name;
  int id;
};
static const ObjectiveControl objective_controls[] = {
    {"priority", KLVO_OBJCONTROL_PRIORITY}, {"weight", KLVO_OBJCONTROL_WEIGHT}, {"abstol", KLVO_OBJCONTROL_ABSTOL},
    {"reltol", KLVO_OBJCONTROL_RELTOL},     {"rhs", KLVO_OBJCONTROL_RHS},
};

// The id of an objective control given by name (any case) or id; -1 with InterfaceError.
static int objective_control_id(PyObject *item) {
  if (is_integer(item) && !PyBool_Check(item)) {
    long long id = PyLong_AsLongLong(item);
    if (id == -1 && PyErr_Occurred()) return -1;
    if (id < KLVO_OBJCONTROL_PRIORITY || id > KLVO_OBJCONTROL_RHS) {
      PyErr_Format(g.InterfaceError, "Invalid objective control id: %lld", id);
      return -1;
    }
    return static_cast<int>(id);
  }
  if (PyUnicode_Check(item)) {
    const char *text = PyUnicode_AsUTF8(item);
    if (!text) return -1;
    for (const ObjectiveControl &c : objective_controls)
      if (strcasecmp(c.name, text) == 0) return c.id;
    PyErr_Format(g.InterfaceError, "Invalid objective control: %s", text);
    return -1;
  }
  PyErr_SetString(g.InterfaceError, "Expected a string control name or integer id");
  return -1;
}

static PyObject *get_objective_control(ProblemObject *p, int objective, int id) {
  int rc;
  if (id == KLVO_OBJCONTROL_PRIORITY) {
    int v = 0;
    rc = call(KLVOgetobjintcontrol, "KLVOgetobjintcontrol", p, p->prob, objective, id, &v);
    return rc == 0 ? PyLong_FromLong(v) : check_result(reinterpret_cast<PyObject *>(p), nullptr);
  }
  double v = 0;
  rc = call(KLVOgetobjdblcontrol, "KLVOgetobjdblcontrol", p, p->prob, objective, id, &v);
  return rc == 0 ? PyFloat_FromDouble(v) : check_result(reinterpret_cast<PyObject *>(p), nullptr);
}

static PyObject *objective_controls_over(ProblemObject *p, int objective, PyObject *iterable) {
  nb::object it = nb::steal(PyObject_GetIter(iterable));
  if (!it) return nullptr;
  nb::object result = nb::steal(PyDict_New());
  if (!result) return nullptr;
  while (nb::object item = nb::steal(PyIter_Next(it.ptr()))) {
    int id = objective_control_id(item.ptr());
    nb::object v = id < 0 ? nb::object() : nb::steal(get_objective_control(p, objective, id));
    if (!v || PyDict_SetItem(result.ptr(), item.ptr(), v.ptr()) < 0) return nullptr;
  }
  if (PyErr_Occurred()) return nullptr;
  return result.release().ptr();
}

static PyObject *get_objective_controls(ProblemObject *p, int objective, PyObject *items) {
  Py_ssize_t n = PyTuple_GET_SIZE(items);
  if (n == 0) {
    nb::object result = nb::steal(PyDict_New());
    if (!result) return nullptr;
    for (const ObjectiveControl &c : objective_controls) {
      nb::object v = nb::steal(get_objective_control(p, objective, c.id));
      if (!v || PyDict_SetItemString(result.ptr(), c.name, v.ptr()) < 0) return nullptr;
    }
    return result.release().ptr();
  }
  if (n > 1) return objective_controls_over(p, objective, items);
  PyObject *item = PyTuple_GET_ITEM(items, 0);
  if (!PyUnicode_Check(item) && !PyBytes_Check(item) && (PySequence_Check(item) || PyIter_Check(item)))
    return objective_controls_over(p, objective, item);
  int id = objective_control_id(item);
  return id < 0 ? nullptr : get_objective_control(p, objective, id);
}

static int set_objective_control(ProblemObject *p, int objective, PyObject *key, PyObject *value) {
  int id = objective_control_id(key);
  if (id < 0) return -1;
  int rc;
  if (id == KLVO_OBJCONTROL_PRIORITY) {
    if (!PyLong_Check(value)) {
      PyErr_Format(g.ModelError, "Control %R requires an integer value", key);
      return -1;
    }
    int overflow = 0;
    long v = PyLong_AsLongAndOverflow(value, &overflow);
    if (overflow || v < INT32_MIN || v > INT32_MAX) {
      PyErr_Format(PyExc_OverflowError, "Control %R: %R is out of range for a 32-bit integer", key, value);
      return -1;
    }
    rc = call(KLVOsetobjintcontrol, "KLVOsetobjintcontrol", p, p->prob, objective, id, static_cast<int>(v));
  } else {
    if (!PyFloat_Check(value)) {
      PyErr_Format(g.ModelError, "Control %R requires a float value", key);
      return -1;
    }
    rc = call(KLVOsetobjdblcontrol, "KLVOsetobjdblcontrol", p, p->prob, objective, id, PyFloat_AS_DOUBLE(value));
  }
  if (rc != 0) {
    raise_error(reinterpret_cast<PyObject *>(p));
    return -1;
  }
  return 0;
}

// --- the methods -----------------------------------------------------------------------

// Reads the one optional keyword (objidx or solveidx) of a method: -1 when absent or None,
// -2 with an exception on error; a negative index raises `negative_type` with `negative`.
static long long index_keyword(PyObject *kwargs, const char *keyword, PyObject *negative_type, const char *negative) {
  if (!kwargs || PyDict_GET_SIZE(kwargs) == 0) return -1;
  PyObject *value = nullptr;
  Py_ssize_t pos = 0;
  PyObject *key, *v;
  while (PyDict_Next(kwargs, &pos, &key, &v)) {
    if (!PyUnicode_Check(key) || PyUnicode_CompareWithASCIIString(key, keyword) != 0) {
      PyErr_Format(PyExc_TypeError, "'%S' is an invalid keyword argument here: only '%s' is accepted", key, keyword);
      return -2;
    }
    value = v;
  }
  if (!value || value == Py_None) return -1;
  if (!is_integer(value)) {
    PyErr_Format(g.InterfaceError, "Argument %s must be an integer or None", keyword);
    return -2;
  }
  long long index = PyLong_AsLongLong(value);
  if (index == -1 && PyErr_Occurred()) return -2;
  if (index < 0) {
    PyErr_SetString(negative_type, negative);
    return -2;
  }
  if (index > INT32_MAX) {
    PyErr_Format(PyExc_OverflowError, "%s=%R is out of range for a 32-bit integer", keyword, value);
    return -2;
  }
  return index;
}

static PyObject *problem_getcontrol(PyObject *self, PyObject *args, PyObject *kwargs) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  long long objective = index_keyword(kwargs, "objidx", g.ModelError, "Invalid objective index");
  if (objective == -2) return nullptr;
  if (!p->prob) return not_initialized();
  if (objective >= 0) return get_objective_controls(p, static_cast<int>(objective), args);
  return get_values(p, args, true, -1);
}

static PyObject *problem_getattrib(PyObject *self, PyObject *args, PyObject *kwargs) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  long long solve = index_keyword(kwargs, "solveidx", g.InterfaceError, "Invalid solve index");
  if (solve == -2) return nullptr;
  if (!p->prob) return not_initialized();
  return get_values(p, args, false, static_cast<int>(solve));
}

static const char *setcontrol_arguments =
    "setControl requires at least one argument of type dictionary or two elements: parameter, value";

// Sets one control of p given by name or id.
static int set_named_control(ProblemObject *p, PyObject *key, PyObject *value) {
  if (key == Py_None) {
    PyErr_SetString(g.InterfaceError, "Control name cannot be interpreted as string");
    return -1;
  }
  CatalogueEntry e;
  nb::object normalised;
  if (resolve_key(g.control_table, key, &e, normalised) < 0) {
    if (PyErr_ExceptionMatches(g.InterfaceError) && (PyUnicode_Check(key) || PyBytes_Check(key))) {
      PyErr_Clear();
      PyErr_Format(g.InterfaceError, "Incorrect control name: %R", key);
    }
    return -1;
  }
  return set_control(p, e, value);
}

static PyObject *problem_setcontrol(PyObject *self, PyObject *args, PyObject *kwargs) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  long long objective = index_keyword(kwargs, "objidx", g.ModelError, "Invalid objective index");
  if (objective == -2) return nullptr;
  if (!p->prob) return not_initialized();
  Py_ssize_t n = PyTuple_GET_SIZE(args);
  int obj = static_cast<int>(objective);
  if (objective >= 0) {
    if (n == 2) {
      if (set_objective_control(p, obj, PyTuple_GET_ITEM(args, 0), PyTuple_GET_ITEM(args, 1)) < 0) return nullptr;
      Py_RETURN_NONE;
    }
    if (n != 1 || !PyDict_Check(PyTuple_GET_ITEM(args, 0))) {
      PyErr_SetString(g.ModelError, setcontrol_arguments);
      return nullptr;
    }
  } else if (n == 0) {
    PyErr_SetString(g.ModelError, setcontrol_arguments);
    return nullptr;
  } else if (n == 2) {
    if (set_named_control(p, PyTuple_GET_ITEM(args, 0), PyTuple_GET_ITEM(args, 1)) < 0) return nullptr;
    Py_RETURN_NONE;
  } else if (n > 2) {
    PyErr_SetString(g.ModelError, "setControl: arguments mismatch");
    return nullptr;
  } else if (!PyDict_Check(PyTuple_GET_ITEM(args, 0))) {
    PyErr_SetString(g.ModelError, "Single argument to setControl must be a dictionary");
    return nullptr;
  }
  // One dictionary: pairs in order, stopping at the first failure.
  nb::object items = nb::steal(PyDict_Items(PyTuple_GET_ITEM(args, 0)));
  if (!items) return nullptr;
  int rc = 0;
  for (Py_ssize_t i = 0; rc == 0 && i < PyList_GET_SIZE(items.ptr()); ++i) {
    PyObject *pair = PyList_GET_ITEM(items.ptr(), i);
    PyObject *key = PyTuple_GET_ITEM(pair, 0), *value = PyTuple_GET_ITEM(pair, 1);
    rc = objective >= 0 ? set_objective_control(p, obj, key, value) : set_named_control(p, key, value);
  }
  if (rc < 0) return nullptr;
  Py_RETURN_NONE;
}

template <class F>
static PyCFunction keywords_method(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

PyMethodDef problem_methods_params[] = {
    {"getControl", keywords_method(problem_getcontrol), METH_VARARGS | METH_KEYWORDS,
     "Values of controls by name or id: one value, or a dictionary for several names, a list or none (all); "
     "objidx reads the controls of one objective."},
    {"setControl", keywords_method(problem_setcontrol), METH_VARARGS | METH_KEYWORDS,
     "Sets a control (name or id, value) or every pair of a dictionary; objidx sets objective controls."},
    {"getAttrib", keywords_method(problem_getattrib), METH_VARARGS | METH_KEYWORDS,
     "Values of attributes by name or id: one value, or a dictionary for several names, a list or none (all); "
     "solveidx reads them for one objective's solve."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
