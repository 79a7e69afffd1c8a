// kelvo.control: a problem's controls by name, or the global controls object with the
// defaults for new problems; the module functions _getcontrols, setdefaultcontrol and
// setdefaults.
#include "module/environment.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

PyTypeObject control_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyObject *new_control(ProblemObject *problem, PyObject *dict) {
  auto *c = PyObject_New(ControlObject, &control_type);
  if (!c) return nullptr;
  c->problem = problem;
  c->dict = Py_NewRef(dict);
  return reinterpret_cast<PyObject *>(c);
}

void detach_accessor(PyObject *accessor) {
  if (!accessor) return;
  if (PyObject_TypeCheck(accessor, &control_type)) {
    reinterpret_cast<ControlObject *>(accessor)->problem = nullptr;
  } else if (PyObject_TypeCheck(accessor, &attribute_type)) {
    reinterpret_cast<AttributeObject *>(accessor)->problem = nullptr;
  } else if (PyObject_TypeCheck(accessor, &objattrib_type)) {
    auto *o = reinterpret_cast<ObjAttribObject *>(accessor);
    o->problem = nullptr;
    for (Py_ssize_t i = 0; i < o->nslots; ++i) detach_accessor(o->accessors[i]);
  }
}

static void control_dealloc(PyObject *self) {
  Py_XDECREF(reinterpret_cast<ControlObject *>(self)->dict);
  PyObject_Free(self);
}

static bool is_global(PyObject *self) { return self == g.global_controls; }

// The problem behind a problem accessor; null with an exception when there is none to use.
static ProblemObject *live_problem(ControlObject *c) {
  if (!c->problem) {
    PyErr_SetString(g.InterfaceError, "Object is not initialized");
    return nullptr;
  }
  if (!c->problem->prob) {
    PyErr_SetString(g.ModelError, "Problem is not initialized");
    return nullptr;
  }
  return c->problem;
}

static bool is_dunder(PyObject *name) {
  return PyUnicode_Check(name) && PyUnicode_GET_LENGTH(name) > 4 && PyUnicode_READ_CHAR(name, 0) == '_' &&
         PyUnicode_READ_CHAR(name, 1) == '_';
}

static PyObject *control_getattro(PyObject *self, PyObject *attr) {
  auto *c = reinterpret_cast<ControlObject *>(self);
  if (PyUnicode_Check(attr)) {
    if (PyUnicode_CompareWithASCIIString(attr, "__dict__") == 0) return Py_NewRef(c->dict);
    if (PyUnicode_CompareWithASCIIString(attr, "__class__") == 0) return Py_NewRef(Py_TYPE(self));
  }
  // Other special names are the type's own (copy, pickle and introspection look for them).
  if (is_dunder(attr)) return PyObject_GenericGetAttr(self, attr);
  nb::object name = nb::steal(normalise_name(attr));
  if (!name) return nullptr;
  if (is_global(self)) {
    PyObject *result = PyDict_GetItemWithError(g.default_controls, name.ptr());
    if (!result && !PyErr_Occurred()) result = PyDict_GetItemWithError(c->dict, name.ptr());
    if (result) return Py_NewRef(result);
    if (!PyErr_Occurred()) PyErr_SetString(g.InterfaceError, "Incorrect control name");
    return nullptr;
  }
  ProblemObject *p = live_problem(c);
  if (!p) return nullptr;
  CatalogueEntry e;
  int found = find_entry(g.control_table, name.ptr(), &e);
  if (found == 0) PyErr_SetString(g.InterfaceError, "Incorrect control name");
  return found == 1 ? read_value(p, e, true, -1) : nullptr;
}

static int control_setattro(PyObject *self, PyObject *attr, PyObject *value) {
  auto *c = reinterpret_cast<ControlObject *>(self);
  if (!value) {
    PyErr_SetString(g.InterfaceError, "Controls cannot be deleted");
    return -1;
  }
  nb::object name = nb::steal(normalise_name(attr));
  if (!name) return -1;
  CatalogueEntry e;
  int rc = find_entry(g.control_table, name.ptr(), &e);
  if (rc == 0) {
    PyErr_SetString(g.InterfaceError, "Incorrect control name");
    rc = -1;
  } else if (rc == 1 && is_global(self)) {
    // A default for problems created from now on.
    rc = check_control_value(e.type, value);
    if (rc == 0) rc = PyDict_SetItem(g.default_controls, name.ptr(), value);
  } else if (rc == 1) {
    ProblemObject *p = live_problem(c);
    rc = p ? set_control(p, e, value) : -1;
  }
  return rc;
}

static PyObject *control_str(PyObject *self) {
  auto *c = reinterpret_cast<ControlObject *>(self);
  if (is_global(self)) {
    // The library defaults with the user's defaults over them.
    nb::object merged = nb::steal(PyDict_Copy(c->dict));
    if (!merged || PyDict_Update(merged.ptr(), g.default_controls) < 0) return nullptr;
    return PyObject_Str(merged.ptr());
  }
  ProblemObject *p = live_problem(c);
  if (!p) return nullptr;
  nb::object values = nb::steal(all_values(p, true, -1));
  return values ? PyObject_Str(values.ptr()) : nullptr;
}

int ready_control_type() {
  control_type.tp_name = "kelvo.control";
  control_type.tp_basicsize = sizeof(ControlObject);
  control_type.tp_flags = Py_TPFLAGS_DEFAULT;
  control_type.tp_doc = "The controls of a problem, or the defaults for new problems.";
  control_type.tp_dealloc = control_dealloc;
  control_type.tp_getattro = control_getattro;
  control_type.tp_setattro = control_setattro;
  control_type.tp_str = control_str;
  control_type.tp_repr = control_str;
  return PyType_Ready(&control_type);
}

// --- module functions -----------------------------------------------------------------

static PyObject *module_getcontrols(PyObject *, PyObject *) {
  if (PyDict_GET_SIZE(g.attribute_table) == 0 && build_catalogue() < 0) return nullptr;
  return Py_NewRef(g.global_controls);
}

static PyObject *module_setdefaultcontrol(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"ipar", nullptr};
  PyObject *ipar;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O", const_cast<char **>(kwlist), &ipar)) return nullptr;
  nb::object name = nb::steal(normalise_name(ipar));
  if (!name) return nullptr;
  int rc = PyDict_Contains(g.default_controls, name.ptr());
  if (rc == 1) rc = PyDict_DelItem(g.default_controls, name.ptr());
  if (rc < 0) return nullptr;
  Py_RETURN_NONE;
}

static PyObject *module_setdefaults(PyObject *, PyObject *) {
  PyDict_Clear(g.default_controls);
  Py_RETURN_NONE;
}

PyMethodDef params_module_methods[] = {
    {"_getcontrols", module_getcontrols, METH_NOARGS,
     "The global controls object: its attributes are the defaults given to every new problem."},
    {"setdefaultcontrol", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(module_setdefaultcontrol)),
     METH_VARARGS | METH_KEYWORDS, "New problems take the library's default for this control again."},
    {"setdefaults", module_setdefaults, METH_NOARGS, "New problems take the library's default for every control."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
