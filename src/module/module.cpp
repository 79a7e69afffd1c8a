// Module initialisation and release of _kelvo.
#include "expr/evaluate.h"
#include "expr/expr.h"
#include "model/constraint.h"
#include "model/var.h"
#include "numpy/numpy.h"
#include "module/environment.h"
#include "module/signatures.h"
#include "numpy/numpy.h"
#include "problem/params.h"
#include "problem/problem.h"

#include <initializer_list>
#include <new>
#include <utility>

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

ModuleState g;

#ifdef KELVO_TESTING
// The private entry points of the test suite (testing/module.cpp), in test builds only.
PyObject *create_testing_module();
#endif

static void module_free(void *);

static struct PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_kelvo",
    "Create, solve, query and handle optimization problems with the klvo solver library.",
    -1,
    nullptr,  // filled in from the function tables at start-up
    nullptr,
    nullptr,
    nullptr,
    module_free,
};

// Module functions: the environment functions and, as the other subsystems arrive, theirs.
static PyMethodDef *module_methods() {
  static PyMethodDef *table = [] {
    size_t n = 0;
    for (PyMethodDef *part : {environment_methods, params_module_methods, variable_module_methods, expr_methods,
                              compare_methods, evaluate_methods, numpy_methods})
      for (PyMethodDef *m = part; m->ml_name; ++m) ++n;
    auto *t = new PyMethodDef[n + 1];
    size_t k = 0;
    for (PyMethodDef *part : {environment_methods, params_module_methods, variable_module_methods, expr_methods,
                              compare_methods, evaluate_methods, numpy_methods})
      for (PyMethodDef *m = part; m->ml_name; ++m) t[k++] = *m;
    t[k] = PyMethodDef{nullptr, nullptr, 0, nullptr};
    return t;
  }();
  return table;
}

static int add_object(PyObject *module, const char *name, PyObject *value) {
  return PyModule_AddObjectRef(module, name, value);
}

static int ready_types() {
  int (*const ready[])() = {ready_var_type,      ready_sos_type,       ready_expression_type, ready_constraint_type,
                            ready_control_type,  ready_attribute_type, ready_objattrib_type,  ready_problem_type,
                            ready_branchobj_type, ready_poolcut_type,  ready_klvoobject_type, ready_generic_type,
                            ready_linterm_type,  ready_quadterm_type,  ready_nonlinear_type};
  for (auto f : ready)
    if (f() < 0) return -1;
  return 0;
}

static void free_state() {
  Py_CLEAR(g.global_controls);
  Py_CLEAR(g.default_controls);
  Py_CLEAR(g.control_table);
  Py_CLEAR(g.attribute_table);
  Py_CLEAR(g.msghandlers);
  Py_CLEAR(g.npvar);
  Py_CLEAR(g.npexpr);
  Py_CLEAR(g.npconstraint);
  Py_CLEAR(g.ModelError);
  Py_CLEAR(g.InterfaceError);
  Py_CLEAR(g.SolverError);
  Py_CLEAR(g.DeprecationWarning);
  if (g.var_names)
    for (auto &entry : *g.var_names) Py_XDECREF(entry.second);
  delete g.var_lb;
  delete g.var_ub;
  delete g.var_threshold;
  delete g.var_names;
  g.var_lb = g.var_ub = g.var_threshold = nullptr;
  g.var_names = nullptr;
  while (g.init_count > 0) {
    if (release_library() < 0) PyErr_Clear();
  }
  Py_CLEAR(g.scipy_sparse);
  Py_CLEAR(g.scipy_sparray);
  Py_CLEAR(g.scipy_spmatrix);
  g.init_count = 0;
  g.nlp_flag = 0;
  g.output_enabled = 0;
  g.constraint_operators = 0;
  g.var_serial = g.con_serial = g.sos_serial = 0;
  g.live_problems = nullptr;
  g.module = nullptr;
}

static void module_free(void *) { free_state(); }

// Process-wide state: global controls, name tables, handler list and the side tables of
// unlinked variables. -1 with an exception.
static int create_state() {
  nb::object values = nb::steal(PyDict_New());
  if (!values) return -1;
  g.global_controls = new_control(nullptr, values.ptr());
  if (!g.global_controls) return -1;
  g.default_controls = PyDict_New();
  g.control_table = PyDict_New();
  g.attribute_table = PyDict_New();
  g.msghandlers = PyList_New(0);
  if (!g.default_controls || !g.control_table || !g.attribute_table || !g.msghandlers) return -1;
  g.var_lb = new (std::nothrow) SerialDoubleMap();
  g.var_ub = new (std::nothrow) SerialDoubleMap();
  g.var_threshold = new (std::nothrow) SerialDoubleMap();
  g.var_names = new (std::nothrow) SerialNameMap();
  if (!g.var_lb || !g.var_ub || !g.var_threshold || !g.var_names) {
    PyErr_NoMemory();
    return -1;
  }
  g.init_count = 0;
  g.nlp_flag = -1;
  g.output_enabled = 1;
  g.constraint_operators = 1;
  return 0;
}

static int create_exceptions() {
  g.ModelError = PyErr_NewExceptionWithDoc("kelvo.ModelError",
                                           "Raised for invalid model data (a bad type, index or bound) and for modelling "
                                           "objects deleted, uninitialised or taken from another problem.",
                                           PyExc_Exception, nullptr);
  if (!g.ModelError) return -1;
  g.InterfaceError = PyErr_NewExceptionWithDoc("kelvo.InterfaceError",
                                               "Raised when an object is used in a way the interface does not allow, such as "
                                               "changing a read-only attribute or querying an unlinked object directly.",
                                               PyExc_Exception, nullptr);
  if (!g.InterfaceError) return -1;
  g.SolverError = PyErr_NewExceptionWithDoc("kelvo.SolverError",
                                            "Raised when the solver library reports a failure (its error text is the "
                                            "message) or refuses a call while the problem is being solved.",
                                            PyExc_Exception, nullptr);
  if (!g.SolverError) return -1;
  g.DeprecationWarning = PyErr_NewExceptionWithDoc("kelvo.DeprecationWarning",
                                                   "Warns of a name or argument that a later version will remove; the "
                                                   "message says what to use instead.",
                                                   PyExc_FutureWarning, nullptr);
  return g.DeprecationWarning ? 0 : -1;
}

// Types and exception classes as module attributes.
static int add_types(PyObject *m) {
  const std::pair<const char *, PyObject *> attributes[] = {
      {"var", reinterpret_cast<PyObject *>(&var_type)},
      {"expression", reinterpret_cast<PyObject *>(&expression_type)},
      {"sos", reinterpret_cast<PyObject *>(&sos_type)},
      {"constraint", reinterpret_cast<PyObject *>(&constraint_type)},
      {"problem", reinterpret_cast<PyObject *>(&problem_type)},
      {"branchobj", reinterpret_cast<PyObject *>(&branchobj_type)},
      {"poolcut", reinterpret_cast<PyObject *>(&poolcut_type)},
      {"linterm", reinterpret_cast<PyObject *>(&linterm_type)},
      {"quadterm", reinterpret_cast<PyObject *>(&quadterm_type)},
      {"nonlin", reinterpret_cast<PyObject *>(&nonlinear_type)},
      {"ModelError", g.ModelError},
      {"InterfaceError", g.InterfaceError},
      {"SolverError", g.SolverError},
      {"DeprecationWarning", g.DeprecationWarning},
  };
  for (const auto &a : attributes)
    if (add_object(m, a.first, a.second) < 0) return -1;
  return 0;
}

static int add_constants(PyObject *m) {
  const std::pair<const char *, long> constants[] = {
      {"continuous", 0}, {"binary", 1},           {"integer", 2}, {"semicontinuous", 3},
      {"semiinteger", 4}, {"partiallyinteger", 5}, {"minimize", 1}, {"maximize", -1},
  };
  for (const auto &c : constants)
    if (PyModule_AddIntConstant(m, c.first, c.second) < 0) return -1;
  nb::object inf = nb::steal(PyFloat_FromDouble(1e20));
  return inf ? add_object(m, "infinity", inf.ptr()) : -1;
}

// SciPy is optional: anything missing leaves its reference null.
static void import_scipy() {
  g.scipy_sparse = PyImport_ImportModule("scipy.sparse");
  if (!g.scipy_sparse) {
    PyErr_Clear();
    return;
  }
  g.scipy_sparray = PyObject_GetAttrString(g.scipy_sparse, "sparray");
  if (!g.scipy_sparray) PyErr_Clear();
  g.scipy_spmatrix = PyObject_GetAttrString(g.scipy_sparse, "spmatrix");
  if (!g.scipy_spmatrix) PyErr_Clear();
}

// Everything the module holds, in order; -1 with an exception.
static int fill_module(PyObject *m) {
  if (create_state() < 0 || create_exceptions() < 0 || add_types(m) < 0) return -1;
  // NumPy and the object dtypes.
  if (import_numpy() < 0 || register_dtypes() < 0 || add_object(m, "npvar", g.npvar) < 0 ||
      add_object(m, "npexpr", g.npexpr) < 0 || add_object(m, "npconstraint", g.npconstraint) < 0)
    return -1;
  if (add_constants(m) < 0) return -1;
  g.var_serial = g.con_serial = g.sos_serial = 1;
  import_scipy();
  // In test builds the private test entry points go into their own submodule.
#ifdef KELVO_TESTING
  nb::object testing = nb::steal(create_testing_module());
  return testing ? add_object(m, "_testing", testing.ptr()) : -1;
#else
  return 0;
#endif
}

static PyObject *initialise() {
  if (g.module) {
    PyErr_SetString(PyExc_ImportError, "The Kelvo module can only be initialized once per process");
    return nullptr;
  }
  apply_method_signatures();
  if (ready_types() < 0 || add_extract_methods() < 0 || apply_constructor_signatures() < 0) return nullptr;
  module_def.m_methods = module_methods();
  nb::object m = nb::steal(PyModule_Create2(&module_def, 1013));
  if (!m) return nullptr;
  if (fill_module(m.ptr()) < 0 || apply_docs(m.ptr()) < 0) {
    m.reset();
    free_state();
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "Error initializing the Kelvo module");
    return nullptr;
  }
  // Only a complete module marks the process as initialised.
  g.module = m.ptr();
  return m.release().ptr();
}

}  // namespace kelvo

PyMODINIT_FUNC PyInit__kelvo(void) { return kelvo::initialise(); }
