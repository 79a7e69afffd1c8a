// Solving and querying solutions: problem.optimize, getSolution, getDuals, getSlacks, ...
#include <atomic>
#include <climits>
#include <csignal>
#include <vector>

#include "api/convert.h"
#include "expr/evaluate.h"
#include "model/model.h"
#include "model/var.h"
#include "module/frame.h"
#include "module/walk.h"
#include "problem/params.h"
#include "problem/problem.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

// ---- solving

// Ctrl-C during a solve in the main thread: while the interpreter's own handler is in charge
// of SIGINT, a solve there swaps in one that asks the library to stop the solve at its next
// safe point (KLVOinterrupt is a lone atomic store, safe in a signal handler), so that the
// solving method returns with the interrupted stop status instead of the interpreter seeing
// the signal only once the solve is over. Nested solves stack their targets.
std::atomic<KLVOprob> sigint_target{nullptr};

void on_sigint(int) {
  if (KLVOprob prob = sigint_target.load()) KLVOinterrupt(prob, 1);
}

// True when SIGINT would raise KeyboardInterrupt in this (the main) thread.
bool python_owns_sigint() {
  nb::object threading = nb::steal(PyImport_ImportModule("threading"));
  nb::object signal = nb::steal(PyImport_ImportModule("signal"));
  if (!threading || !signal) return PyErr_Clear(), false;
  nb::object main = nb::steal(PyObject_CallMethod(threading.ptr(), "main_thread", nullptr));
  nb::object current = nb::steal(PyObject_CallMethod(threading.ptr(), "current_thread", nullptr));
  nb::object handler = nb::steal(PyObject_CallMethod(signal.ptr(), "getsignal", "i", SIGINT));
  nb::object standard = nb::steal(PyObject_GetAttrString(signal.ptr(), "default_int_handler"));
  bool owns = main && current && handler && standard && main.ptr() == current.ptr() && handler.ptr() == standard.ptr();
  PyErr_Clear();
  return owns;
}

class SigintRelay {
 public:
  explicit SigintRelay(KLVOprob prob) : active_(python_owns_sigint()) {
    if (!active_) return;
    previous_target_ = sigint_target.exchange(prob);
    previous_handler_ = PyOS_setsig(SIGINT, on_sigint);
  }
  ~SigintRelay() {
    if (!active_) return;
    PyOS_setsig(SIGINT, previous_handler_);
    sigint_target.store(previous_target_);
  }
  SigintRelay(const SigintRelay &) = delete;
  SigintRelay &operator=(const SigintRelay &) = delete;

 private:
  bool active_;
  KLVOprob previous_target_ = nullptr;
  PyOS_sighandler_t previous_handler_ = nullptr;
};

// A solving call: the problem object stays alive until it returns, whatever the threads the
// lock lets run meanwhile do with their references, and is marked as being solved so that
// they cannot release or rebuild it (require_idle).
template <class Fn, class... Args>
int solve_call(Fn fn, const char *function, ProblemObject *p, Args... args) {
  nb::object keep = nb::borrow(reinterpret_cast<PyObject *>(p));
  if (p->changes_running > 0) {
    PyErr_Format(g.SolverError, "%s: the problem is being changed by another call", function);
    return pending_exception_code;
  }
  // Marked as solved before the relay, which runs Python (imports) and so lets other threads in
  // while args already carry the handle.
  ++p->solves_running;
  int rc;
  {
    SigintRelay relay(p->prob);
    rc = call(fn, function, p, args...);
  }
  --p->solves_running;
  return rc;
}

// Parses the optional flags string of the three solve methods.
bool parse_flags(PyObject *args, PyObject *kwargs, const char **flags) {
  static const char *const kwlist[] = {"flags", nullptr};
  *flags = "";
  return PyArg_ParseTupleAndKeywords(args, kwargs, "|s", const_cast<char **>(kwlist), flags);
}

PyObject *m_optimize(PyObject *self, PyObject *args, PyObject *kwargs) {
  ProblemObject *p = problem_of(self);
  const char *flags;
  if (require_handle(p) < 0 || !parse_flags(args, kwargs, &flags)) return nullptr;
  int solvestatus = 0, solstatus = 0;
  if (solve_call(KLVOoptimize, "KLVOoptimize", p, p->prob, flags, &solvestatus, &solstatus) != 0) {
    raise_error(self);
    return nullptr;
  }
  nb::object solve = nb::steal(wrap_enum(KLVO_ATTR_SOLVESTATUS, PyLong_FromLong(solvestatus)));
  if (!solve) return nullptr;
  nb::object sol = nb::steal(wrap_enum(KLVO_ATTR_SOLSTATUS, PyLong_FromLong(solstatus)));
  if (!sol) return nullptr;
  return PyTuple_Pack(2, solve.ptr(), sol.ptr());
}

template <int (*Fn)(KLVOprob, const char *)>
PyObject *m_solve_only(PyObject *self, PyObject *args, PyObject *kwargs, const char *name) {
  ProblemObject *p = problem_of(self);
  const char *flags;
  if (require_handle(p) < 0 || !parse_flags(args, kwargs, &flags)) return nullptr;
  if (solve_call(Fn, name, p, p->prob, flags) != 0) {
    raise_error(self);
    return nullptr;
  }
  Py_RETURN_NONE;
}

PyObject *m_lpoptimize(PyObject *self, PyObject *args, PyObject *kwargs) {
  return m_solve_only<KLVOlpoptimize>(self, args, kwargs, "KLVOlpoptimize");
}

PyObject *m_mipoptimize(PyObject *self, PyObject *args, PyObject *kwargs) {
  return m_solve_only<KLVOmipoptimize>(self, args, kwargs, "KLVOmipoptimize");
}

PyObject *m_nlpoptimize(PyObject *self, PyObject *args, PyObject *kwargs) {
  return m_solve_only<KLVOnlpoptimize>(self, args, kwargs, "KLVOnlpoptimize");
}

// Asks a running solve to stop; harmless before a solve starts (the solve clears it) and
// after one ends.
PyObject *m_interrupt(PyObject *self, PyObject *args, PyObject *kwargs) {
  ProblemObject *p = problem_of(self);
  static const char *const kwlist[] = {"reason", nullptr};
  long reason = 1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|l", const_cast<char **>(kwlist), &reason)) return nullptr;
  if (require_handle(p) < 0) return nullptr;
  if (reason < INT_MIN || reason > INT_MAX) return PyErr_Format(PyExc_OverflowError, "reason does not fit in 32 bits");
  if (call(KLVOinterrupt, "KLVOinterrupt", p, p->prob, static_cast<int>(reason)) != 0) {
    raise_error(self);
    return nullptr;
  }
  Py_RETURN_NONE;
}

// ---- solution queries

using Getter = int (*)(KLVOprob, int *, double *, int, int);

struct Query {
  Getter getter;
  const char *name;
  bool rows;         // row quantity (else column)
  bool callback;     // available on any non-zero status
  const char *unavailable;
};

const Query q_solution = {KLVOgetsolution, "KLVOgetsolution", false, false, "Solution is not available"};
const Query q_duals = {KLVOgetduals, "KLVOgetduals", true, false, "Dual values are not available"};
const Query q_slacks = {KLVOgetslacks, "KLVOgetslacks", true, false, "Slack values are not available"};
const Query q_redcosts = {KLVOgetredcosts, "KLVOgetredcosts", false, false, "Reduced costs are not available"};
const Query q_cb_solution = {KLVOgetcallbacksolution, "KLVOgetcallbacksolution", false, true,
                             "Solution is not available"};
const Query q_cb_duals = {KLVOgetcallbackduals, "KLVOgetcallbackduals", true, true, "Dual values are not available"};
const Query q_cb_slacks = {KLVOgetcallbackslacks, "KLVOgetcallbackslacks", true, true,
                           "Slack values are not available"};
const Query q_cb_redcosts = {KLVOgetcallbackredcosts, "KLVOgetcallbackredcosts", false, true,
                             "Reduced costs are not available"};

// Reads every value of the query into `values`; 0, or -1 with an exception (the library's
// error, or ModelError when the values are not available).
int fetch(ProblemObject *p, const Query &q, bool in_frame, WorkArray &values) {
  int n = 0;
  if (read_int_attrib(p, q.rows ? KLVO_ATTR_INPUTROWS : KLVO_ATTR_INPUTCOLS, &n) < 0) return -1;
  values.data = array_allocator.allocate(sizeof(double) * static_cast<size_t>(n > 0 ? n : 1));
  if (!values.data) return -1;
  values.count = n;
  int status = 0, rc;
  // With nothing to read, the getter still tells whether a solution exists.
  double *out = n > 0 ? values.as<double>() : nullptr;
  if (in_frame) rc = call(q.getter, q.name, p, p->prob, &status, out, 0, n - 1);
  else rc = q.getter(p->prob, &status, out, 0, n - 1);
  if (rc != 0) {
    raise_error(reinterpret_cast<PyObject *>(p));
    return -1;
  }
  bool available = q.callback ? status != 0 : (status == 1 || status == 2);
  if (!available) {
    PyErr_SetString(g.ModelError, q.unavailable);
    return -1;
  }
  return 0;
}

struct LeafData {
  ProblemObject *p;
  const Query *q;
  const double *values;
  int count;
  PyObject *out;  // list
};

int out_of_range() {
  PyErr_SetString(g.ModelError, "Index out of range");
  return -1;
}

// Index of one leaf of the query's arguments.
int leaf_index(ProblemObject *p, const Query &q, PyObject *leaf, int count, int *index) {
  if (!q.rows && is_var(leaf)) {
    *index = var_column(as_var(leaf), p);
    if (*index < 0) return -1;
  } else if (q.rows && PyObject_TypeCheck(leaf, &constraint_type)) {
    *index = resolve_row(leaf, p);
    if (*index < 0) return -1;
  } else if (PyUnicode_Check(leaf) || PyBytes_Check(leaf)) {
    if (lookup_name(p, leaf, q.rows ? ek_row : ek_col, index) < 0) return -1;
  } else if (is_integer(leaf)) {
    long long v = PyLong_AsLongLong(leaf);
    if (v == -1 && PyErr_Occurred()) return -1;
    if (v < 0 || v >= count) return out_of_range();
    *index = static_cast<int>(v);
  } else {
    PyErr_SetString(g.ModelError, "Incorrect object(s) passed: need index, variable, constraint, or SOS");
    return -1;
  }
  if (*index < 0 || *index >= count) return out_of_range();
  return 0;
}

int append_leaf(PyObject *, PyObject *leaf, void *data) {
  auto *d = static_cast<LeafData *>(data);
  int index;
  if (leaf_index(d->p, *d->q, leaf, d->count, &index) < 0) return -1;
  nb::object v = nb::steal(PyFloat_FromDouble(d->values[index]));
  return v ? PyList_Append(d->out, v.ptr()) : -1;
}

// The result for the positional arguments: every value, one value, or the flat list of the
// values of the leaves of a nested collection.
PyObject *result_from_arguments(ProblemObject *p, const Query &q, PyObject *args, const WorkArray &values) {
  const double *v = values.as<double>();
  int n = static_cast<int>(values.count);
  Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (nargs == 0) return real_list(v, static_cast<size_t>(n));
  if (nargs == 1) {
    PyObject *a = PyTuple_GET_ITEM(args, 0);
    bool text = PyUnicode_Check(a) || PyBytes_Check(a);
    if (text || (!PyList_Check(a) && !PyTuple_Check(a) && !PySequence_Check(a) && !PyIter_Check(a) &&
                 !PyDict_Check(a))) {
      int index;
      if (leaf_index(p, q, a, n, &index) < 0) return nullptr;
      return PyFloat_FromDouble(v[index]);
    }
  }
  nb::object out = nb::steal(PyList_New(0));
  if (!out) return nullptr;
  LeafData data{p, &q, v, n, out.ptr()};
  PyObject *collection = nargs == 1 ? PyTuple_GET_ITEM(args, 0) : args;
  if (walk(reinterpret_cast<PyObject *>(p), collection, append_leaf, &data) != 0) {
    if (!PyErr_Occurred()) PyErr_SetString(g.ModelError, "Index out of range");
    return nullptr;
  }
  return out.release().ptr();
}

PyObject *value_query(PyObject *self, PyObject *args, const Query &q, const char *deprecated) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  if (deprecated && deprecation(9, 5, deprecated) < 0) return nullptr;
  WorkArray values;
  if (fetch(p, q, false, values) < 0) return nullptr;
  return result_from_arguments(p, q, args, values);
}

PyObject *m_getSolution(PyObject *self, PyObject *args, PyObject *kwargs) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  PyObject *flatten = Py_False;
  if (kwargs) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!PyUnicode_Check(key) || PyUnicode_CompareWithASCIIString(key, "flatten") != 0) {
        PyErr_Format(PyExc_TypeError, "getSolution() got an unexpected keyword argument '%S'", key);
        return nullptr;
      }
      flatten = value;
    }
  }
  WorkArray values;
  if (fetch(p, q_solution, true, values) < 0) return nullptr;
  if (PyTuple_GET_SIZE(args) > 0 && flatten != Py_True) {
    PyObject *structure = PyTuple_GET_SIZE(args) == 1 ? PyTuple_GET_ITEM(args, 0) : args;
    return evaluate_values(p, values.as<double>(), static_cast<Py_ssize_t>(values.count), structure, true);
  }
  return result_from_arguments(p, q_solution, args, values);
}

PyObject *m_getDuals(PyObject *s, PyObject *a) { return value_query(s, a, q_duals, nullptr); }
PyObject *m_getSlacks(PyObject *s, PyObject *a) { return value_query(s, a, q_slacks, nullptr); }
PyObject *m_getRedCosts(PyObject *s, PyObject *a) { return value_query(s, a, q_redcosts, nullptr); }
PyObject *m_getDual(PyObject *s, PyObject *a) { return value_query(s, a, q_duals, "use problem.getDuals instead"); }
PyObject *m_getSlack(PyObject *s, PyObject *a) { return value_query(s, a, q_slacks, "use problem.getSlacks instead"); }
PyObject *m_getRCost(PyObject *s, PyObject *a) {
  return value_query(s, a, q_redcosts, "use problem.getRedCosts instead");
}
PyObject *m_getCallbackSolution(PyObject *s, PyObject *a) { return value_query(s, a, q_cb_solution, nullptr); }
PyObject *m_getCallbackDuals(PyObject *s, PyObject *a) { return value_query(s, a, q_cb_duals, nullptr); }
PyObject *m_getCallbackSlacks(PyObject *s, PyObject *a) { return value_query(s, a, q_cb_slacks, nullptr); }
PyObject *m_getCallbackRedCosts(PyObject *s, PyObject *a) { return value_query(s, a, q_cb_redcosts, nullptr); }

// ---- objective value and the old status queries

bool has_nonlinear_content(const ProblemObject *p) { return p->nonlin_cons != 0 || p->nonlin_obj != 0; }

// Problems with nonlinear content report through the nonlinear layer's attributes (the
// library's attribute getters take their ids on the main handle too).
constexpr int nlp_attr_status = 12044;
constexpr int nlp_attr_objval = 12179;

bool reports_through_nonlinear_layer(const ProblemObject *p) { return has_nonlinear_content(p) && g.nlp_flag == 1; }

// 1 when the problem has discrete entities, 0 when not, -1 on error.
int is_discrete(ProblemObject *p) {
  for (int id : {KLVO_ATTR_MIPENTS, KLVO_ATTR_SETS, KLVO_ATTR_GENCONS, KLVO_ATTR_INDICATORS}) {
    int v = 0;
    if (read_int_attrib(p, id, &v) < 0) return -1;
    if (v != 0) return 1;
  }
  return 0;
}

const char *const lp_names[] = {"lp_unstarted", "lp_optimal", "lp_infeas",   "lp_cutoff",  "lp_unfinished",
                                "lp_unbounded", "lp_cutoff_in_dual", "lp_unsolved", "lp_nonconvex"};
const char *const mip_names[] = {"mip_not_loaded", "mip_lp_not_optimal", "mip_lp_optimal",
                                 "mip_no_sol_found", "mip_solution",       "mip_infeas",
                                 "mip_optimal",    "mip_unbounded",      "mip_unknown"};
const char *const nlp_names[] = {"nlp_unstarted", "nlp_solution",   "nlp_globally_optimal",
                                 "nlp_locally_infeasible", "nlp_infeasible", "nlp_unbounded",
                                 "nlp_unfinished", "nlp_unknown",    "nlp_unknown"};

// The old status and whether it comes from the discrete table: 0 or -1.
int problem_status(ProblemObject *p, int *status, bool *discrete) {
  if (reports_through_nonlinear_layer(p)) {
    *discrete = false;
    return read_int_attrib(p, nlp_attr_status, status);
  }
  int d = is_discrete(p);
  if (d < 0) return -1;
  *discrete = d == 1;
  return read_int_attrib(p, d ? KLVO_ATTR_MIPSTATUS : KLVO_ATTR_LPSTATUS, status);
}

const char *status_advice = "use problem.attributes.solvestatus and problem.attributes.solstatus instead";

PyObject *m_getObjVal(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0 || deprecation(9, 5, "use problem.attributes.objval instead") < 0) return nullptr;
  double v = 0;
  if (reports_through_nonlinear_layer(p)) {
    if (read_dbl_attrib(p, nlp_attr_objval, &v) < 0) return nullptr;
    return PyFloat_FromDouble(v);
  }
  int d = is_discrete(p);
  if (d < 0 || read_dbl_attrib(p, d ? KLVO_ATTR_MIPOBJVAL : KLVO_ATTR_LPOBJVAL, &v) < 0) return nullptr;
  return PyFloat_FromDouble(v);
}

PyObject *m_getProbStatus(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0 || deprecation(9, 5, status_advice) < 0) return nullptr;
  int status = 0;
  bool discrete = false;
  if (problem_status(p, &status, &discrete) < 0) return nullptr;
  return PyLong_FromLong(status);
}

PyObject *m_getProbStatusString(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0 || deprecation(9, 5, status_advice) < 0) return nullptr;
  int status = 0;
  bool discrete = false;
  if (problem_status(p, &status, &discrete) < 0) return nullptr;
  bool known = status >= 0 && status <= 8;
  const char *const *table = has_nonlinear_content(p) ? nlp_names : discrete ? mip_names : lp_names;
  const char *unknown = has_nonlinear_content(p) ? "nlp_unknown" : discrete ? "mip_unknown" : "lp_unknown";
  const char *name = known ? table[status] : unknown;
  return PyUnicode_FromString(name);
}

template <class F>
constexpr PyCFunction fn(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

}  // namespace

PyMethodDef problem_methods_solve[] = {
    {"optimize", fn(m_optimize), METH_VARARGS | METH_KEYWORDS,
     "optimize(flags='') -> (solvestatus, solstatus)\nSolves the problem with the engine its content calls for."},
    {"interrupt", fn(m_interrupt), METH_VARARGS | METH_KEYWORDS,
     "interrupt(reason=1)\nAsks a running solve to stop at its next safe point; callable from any thread."},
    {"solve", fn(m_optimize), METH_VARARGS | METH_KEYWORDS, "solve(flags='') -> (solvestatus, solstatus)\nSame as optimize."},
    {"lpoptimize", fn(m_lpoptimize), METH_VARARGS | METH_KEYWORDS,
     "lpoptimize(flags='')\nSolves the continuous relaxation."},
    {"mipoptimize", fn(m_mipoptimize), METH_VARARGS | METH_KEYWORDS,
     "mipoptimize(flags='')\nSolves the problem with its integrality."},
    {"nlpoptimize", fn(m_nlpoptimize), METH_VARARGS | METH_KEYWORDS,
     "nlpoptimize(flags='')\nSolves the continuous problem with its formulas by the nonlinear engine."},
    {"getSolution", fn(m_getSolution), METH_VARARGS | METH_KEYWORDS,
     "getSolution(*args, flatten=False)\nValues of the current solution: all columns, one value, or the values of\n"
     "the variables, names, indices and expressions in args, keeping their structure unless flatten=True."},
    {"getDuals", m_getDuals, METH_VARARGS, "getDuals(*args)\nDual values of all rows or of the rows given."},
    {"getSlacks", m_getSlacks, METH_VARARGS, "getSlacks(*args)\nSlacks of all rows or of the rows given."},
    {"getRedCosts", m_getRedCosts, METH_VARARGS,
     "getRedCosts(*args)\nReduced costs of all columns or of the columns given."},
    {"getDual", m_getDual, METH_VARARGS, "Deprecated: use getDuals."},
    {"getSlack", m_getSlack, METH_VARARGS, "Deprecated: use getSlacks."},
    {"getRCost", m_getRCost, METH_VARARGS, "Deprecated: use getRedCosts."},
    {"getCallbackSolution", m_getCallbackSolution, METH_VARARGS,
     "getCallbackSolution(*args)\nThe solution offered to the running callback."},
    {"getCallbackDuals", m_getCallbackDuals, METH_VARARGS, "getCallbackDuals(*args)\nDuals inside a callback."},
    {"getCallbackSlacks", m_getCallbackSlacks, METH_VARARGS, "getCallbackSlacks(*args)\nSlacks inside a callback."},
    {"getCallbackRedCosts", m_getCallbackRedCosts, METH_VARARGS,
     "getCallbackRedCosts(*args)\nReduced costs inside a callback."},
    {"getObjVal", m_getObjVal, METH_NOARGS, "Deprecated: use problem.attributes.objval."},
    {"getProbStatus", m_getProbStatus, METH_NOARGS, "Deprecated: use the solvestatus and solstatus attributes."},
    {"getProbStatusString", m_getProbStatusString, METH_NOARGS,
     "Deprecated: use the solvestatus and solstatus attributes."},
    {nullptr},
};

}  // namespace kelvo
