// kelvo.branchobj: a branching object, built by the user or handed over by the library.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "api/convert.h"
#include "expr/expr.h"
#include "callbacks/callbacks.h"
#include "model/constraint.h"
#include "model/var.h"
#include "module/frame.h"
#include "problem/translate.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

PyTypeObject branchobj_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

namespace {

BranchObject *bo_of(PyObject *self) { return reinterpret_cast<BranchObject *>(self); }

PyObject *model_error(const char *message) {
  PyErr_SetString(g.ModelError, message);
  return nullptr;
}

// The object's problem, when the object can still be used: it holds a library object and its
// problem (a callback's problem ends with the callback) still has a handle. Null with
// SolverError or "Problem is not initialized".
ProblemObject *usable(PyObject *self) {
  BranchObject *b = bo_of(self);
  if (!b->handle && !b->problem) {
    PyErr_SetString(g.SolverError, "The branching object was not created: construct it with a problem");
    return nullptr;
  }
  if (!b->handle) {
    PyErr_SetString(g.SolverError,
                    "The branching object is no longer valid: it was handed to the library, or it was given to a "
                    "callback that has returned");
    return nullptr;
  }
  ProblemObject *p = problem_of(b->problem);
  if (require_handle(p) < 0) return nullptr;
  return p;
}

KLVObranchobject handle_of(PyObject *self) { return static_cast<KLVObranchobject>(bo_of(self)->handle); }

// Column arguments follow the object's space: the problem's columns, or plain integers.
ElemKind column_kind(PyObject *self) { return bo_of(self)->original_space ? ek_col : ek_int; }

// Raises the object's last library error; null.
PyObject *failed(PyObject *self) { return check_result(self, nullptr); }

bool is_sequence_arg(PyObject *o) { return PyList_Check(o) || PyTuple_Check(o); }

// ---- construction from constraints

// Adds one constraint of branch i to the object: bounds for a single-variable body, rows
// otherwise. 0, or -1 with ModelError (or the library's error).
int add_constraint(PyObject *self, ProblemObject *p, int i, PyObject *con) {
  auto *c = as_con(con);
  if (!constraint_has_block(c)) {
    PyErr_Format(g.ModelError, "Branch %i contains a constraint that has been added to a problem, invalid", i);
    return -1;
  }
  PyObject *body = constraint_body(c);
  if (!body) {
    PyErr_Format(g.ModelError, "Branch %i contains a constraint with no body, invalid", i);
    return -1;
  }
  double lb = constraint_lb(c), ub = constraint_ub(c);
  KLVObranchobject h = handle_of(self);
  // A single-term body is a bound on its variable; the variable names the branching object
  // in the messages.
  PyObject *lone = nullptr;
  double a = 1.0, constant = 0.0;
  if (is_var(body)) {
    lone = body;
  } else if (Py_TYPE(body) == &linterm_type) {
    lone = as_lin(body)->var, a = as_lin(body)->coef;
  } else if (Py_TYPE(body) == &expression_type && !as_expr(body)->quad && as_expr(body)->lin &&
             as_expr(body)->lin->size() == 1) {
    auto it = as_expr(body)->lin->begin();
    lone = it->first, a = it->second, constant = as_expr(body)->constant;
  }
  if (lone) {
    if (a == 0.0) return model_error("Coefficient zero in branch"), -1;
    int col = var_column(as_var(lone), p, "branching object");
    if (col < 0) return -1;
    // The body's constant moves to the bounds; an infinite side stays infinite whatever the sign.
    double lo = lb > -5e19 ? (lb - constant) / a : (a > 0 ? -infinity : infinity);
    double hi = ub < 5e19 ? (ub - constant) / a : (a > 0 ? infinity : -infinity);
    double l = a > 0 ? lo : hi, u = a > 0 ? hi : lo;
    std::vector<char> types;
    std::vector<int> cols;
    std::vector<double> vals;
    if (l > -1e20) types.push_back('L'), cols.push_back(col), vals.push_back(l);
    if (u < 1e20) types.push_back('U'), cols.push_back(col), vals.push_back(u);
    if (call(KLVO_bo_addbounds, "KLVO_bo_addbounds", p, h, i, static_cast<int>(types.size()), types.data(),
             cols.data(), vals.data()))
      return failed(self), -1;
    return 0;
  }
  RowEntries entries;
  if (translate_body(p, body, entries, &constant, -1, false) < 0) return -1;
  if (!entries.q_val.empty() || !entries.f_start.empty()) {
    PyErr_Format(g.ModelError, "Branch %i contains a quadratic or nonlinear constraint, invalid", i);
    return -1;
  }
  double lo = lb > -5e19 ? lb - constant : -infinity, hi = ub < 5e19 ? ub - constant : infinity;
  // One term here is a shape the single-term reading above did not recognise.
  if (entries.lin_col.size() <= 1) return model_error("Invalid constraint in addbounds"), -1;
  int type = row_type_of_bounds(lb, ub);
  if (type == rt_nonbinding) return model_error("Branch cannot have a free row"), -1;
  const int n = static_cast<int>(entries.lin_col.size());
  int start[2] = {0, n};
  auto add_row = [&](char t, double rhs) {
    if (call(KLVO_bo_addrows, "KLVO_bo_addrows", p, h, i, 1, n, &t, &rhs, start, entries.lin_col.data(),
             entries.lin_val.data()))
      return failed(self), -1;
    return 0;
  };
  switch (type) {
    case rt_leq: return add_row('L', hi);
    case rt_geq: return add_row('G', lo);
    case rt_eq: return add_row('E', hi);
    default: return add_row('G', lo) < 0 ? -1 : add_row('L', hi);
  }
}

int branchobj_init(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"prob", "branches", "isoriginal", nullptr};
  static const char creation[] =
      "Incorrect creation of branching object: must provide a problem and, optionally, a list of branches and a "
      "True/False flag. The flag must be True if the list of branches is provided";
  PyObject *prob = nullptr, *branches = nullptr, *isoriginal = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|OO", const_cast<char **>(kw), &prob, &branches, &isoriginal) ||
      !is_problem(prob)) {
    PyErr_Clear();
    PyErr_SetString(g.ModelError, creation);
    return -1;
  }
  int flag = 1;
  if (isoriginal) {
    flag = PyObject_IsTrue(isoriginal);
    if (flag < 0) return -1;
  }
  bool have_branches = branches && branches != Py_None;
  if (!flag && have_branches) {
    PyErr_SetString(g.ModelError, "Cannot define the branches of a branching object if the isoriginal flag is false");
    return -1;
  }
  ProblemObject *p = problem_of(prob);
  if (require_handle(p) < 0) return -1;
  BranchObject *b = bo_of(self);
  // A second __init__ starts over.
  if (b->handle) KLVO_bo_destroy(handle_of(self));
  b->handle = nullptr;
  Py_XSETREF(b->problem, Py_NewRef(prob));
  b->original_space = flag;
  KLVObranchobject h = nullptr;
  if (call(KLVO_bo_create, "KLVO_bo_create", p, &h, p->prob, flag)) return raise_error(prob), -1;
  b->handle = h;
  if (!have_branches) return 0;
  if (!is_sequence_arg(branches)) {
    PyErr_SetString(g.ModelError,
                    "The branches parameter must be a list or a tuple of elements. Each element of the list/tuple must "
                    "be a constraint, a variable bound, or a list/tuple thereof.");
    return -1;
  }
  // Items are read through a private tuple: user code run by the translation cannot pull
  // them from under us.
  nb::object items = nb::steal(PySequence_Tuple(branches));
  if (!items) return -1;
  const Py_ssize_t nb_ = PyTuple_GET_SIZE(items.ptr());
  if (call(KLVO_bo_addbranches, "KLVO_bo_addbranches", p, h, static_cast<int>(nb_))) return failed(self), -1;
  for (Py_ssize_t i = 0; i < nb_; ++i) {
    PyObject *branch = PyTuple_GET_ITEM(items.ptr(), i);
    const int bi = static_cast<int>(i);
    if (is_constraint(branch)) {
      if (add_constraint(self, p, bi, branch) < 0) return -1;
      continue;
    }
    if (!is_sequence_arg(branch)) {
      PyErr_Format(g.ModelError, "Branch %i is invalid: must be a constraint or tuple/list of constraints", bi);
      return -1;
    }
    nb::object cons = nb::steal(PySequence_Tuple(branch));
    if (!cons) return -1;
    for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(cons.ptr()); ++k) {
      PyObject *con = PyTuple_GET_ITEM(cons.ptr(), k);
      if (!is_constraint(con)) {
        PyErr_Format(g.ModelError, "Branch %i is invalid: must be a tuple/list of constraints", bi);
        return -1;
      }
      if (add_constraint(self, p, bi, con) < 0) return -1;
    }
  }
  return 0;
}

// ---- methods

PyObject *bo_addbranches(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"nbranches", nullptr};
  int n;
  if (!parse_keywords(args, kwargs, "i", kw, nullptr, 6, &n)) return nullptr;
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  if (call(KLVO_bo_addbranches, "KLVO_bo_addbranches", p, handle_of(self), n)) return failed(self);
  Py_RETURN_NONE;
}

PyObject *bo_addbounds(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"branch", "bndtype", "colind", "bndval", nullptr};
  static const char *const oldkw[] = {"ibranch", "bndtype", "bndcol", "bndval", nullptr};
  int branch;
  PyObject *types, *cols, *vals;
  if (!parse_keywords(args, kwargs, "iOOO", kw, oldkw, 6, &branch, &types, &cols, &vals)) return nullptr;
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  LengthSlot n = -1;
  WorkArray t, c, v;
  if (conv_obj2arr(p, &n, types, ek_char, t) < 0 || conv_obj2arr(p, &n, cols, column_kind(self), c) < 0 ||
      conv_obj2arr(p, &n, vals, ek_real, v) < 0)
    return nullptr;
  int count;
  if (array_count(n, &count) < 0) return nullptr;
  if (call(KLVO_bo_addbounds, "KLVO_bo_addbounds", p, handle_of(self), branch, count, t.as<char>(), c.as<int>(),
           v.as<double>()))
    return failed(self);
  Py_RETURN_NONE;
}

PyObject *bo_addrows(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"branch", "rowtype", "rhs", "start", "colind", "rowcoef", nullptr};
  static const char *const oldkw[] = {"ibranch", "rtype", "rhs", "beg", "mcol", "val", nullptr};
  int branch;
  PyObject *types, *rhs, *start, *cols, *coefs;
  if (!parse_keywords(args, kwargs, "iOOOOO", kw, oldkw, 6, &branch, &types, &rhs, &start, &cols, &coefs))
    return nullptr;
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  LengthSlot n = -1, k = -1, s = -1;
  WorkArray t, r, st, c, v;
  if (conv_obj2arr(p, &n, types, ek_char, t) < 0 || conv_obj2arr(p, &n, rhs, ek_real, r) < 0 ||
      conv_obj2arr(p, &s, start, ek_int, st) < 0 || conv_obj2arr(p, &k, cols, column_kind(self), c) < 0 ||
      conv_obj2arr(p, &k, coefs, ek_real, v) < 0)
    return nullptr;
  int nrows, ncoefs;
  if (array_count(n, &nrows) < 0 || array_count(k, &ncoefs) < 0) return nullptr;
  // start holds one entry per row, or one more closing the last row.
  if (nrows > 0 && (s < nrows || s > nrows + 1)) {
    PyErr_SetString(g.InterfaceError, "The start array must have one entry per row (or one more)");
    return nullptr;
  }
  if (call(KLVO_bo_addrows, "KLVO_bo_addrows", p, handle_of(self), branch, nrows, ncoefs, t.as<char>(),
           r.as<double>(), st.as<int>(), c.as<int>(), v.as<double>()))
    return failed(self);
  Py_RETURN_NONE;
}

PyObject *bo_addcuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"branch", "cutind", nullptr};
  static const char *const oldkw[] = {"ibranch", "cutind", nullptr};
  int branch;
  PyObject *cuts;
  if (!parse_keywords(args, kwargs, "iO", kw, oldkw, 6, &branch, &cuts)) return nullptr;
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  LengthSlot n = -1;
  WorkArray h;
  if (conv_obj2arr(p, &n, cuts, ek_cut, h) < 0) return nullptr;
  int count;
  if (array_count(n, &count) < 0) return nullptr;
  if (call(KLVO_bo_addcuts, "KLVO_bo_addcuts", p, handle_of(self), branch, count, h.as<const KLVOcut>()))
    return failed(self);
  Py_RETURN_NONE;
}

PyObject *bo_getbounds(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"branch", "maxbounds", "bndtype", "colind", "bndval", nullptr};
  static const char *const oldkw[] = {"ibranch", "nbounds_size", "bndtype", "bndcol", "bndval", nullptr};
  int branch, maxbounds;
  PyObject *types, *cols, *vals;
  if (!parse_keywords(args, kwargs, "iiOOO", kw, oldkw, 6, &branch, &maxbounds, &types, &cols, &vals))
    return nullptr;
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  KLVObranchobject h = handle_of(self);
  int n = 0;
  if (call(KLVO_bo_getbounds, "KLVO_bo_getbounds", p, h, branch, &n, 0, static_cast<char *>(nullptr),
           static_cast<int *>(nullptr), static_cast<double *>(nullptr)))
    return failed(self);
  int m = std::max(0, std::min(n, maxbounds));
  std::vector<char> t(m + 1);
  std::vector<int> c(m + 1);
  std::vector<double> v(m + 1);
  if (call(KLVO_bo_getbounds, "KLVO_bo_getbounds", p, h, branch, &n, m, t.data(), c.data(), v.data()))
    return failed(self);
  if (conv_arr2obj(p, m, t.data(), types, ek_char) < 0 || conv_arr2obj(p, m, c.data(), cols, column_kind(self)) < 0 ||
      conv_arr2obj(p, m, v.data(), vals, ek_real) < 0)
    return nullptr;
  return PyLong_FromLong(n);
}

PyObject *bo_getrows(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"branch", "maxrows", "maxcoefs", "rowtype", "rhs", "start", "colind", "rowcoef",
                                   nullptr};
  static const char *const oldkw[] = {"ibranch", "nrows_size", "nelems_size", "rtype", "rrhs", "rbeg", "mcol", "dval",
                                      nullptr};
  int branch, maxrows, maxcoefs;
  PyObject *types, *rhs, *start, *cols, *coefs;
  if (!parse_keywords(args, kwargs, "iiiOOOOO", kw, oldkw, 6, &branch, &maxrows, &maxcoefs, &types, &rhs, &start,
                      &cols, &coefs))
    return nullptr;
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  KLVObranchobject h = handle_of(self);
  int n = 0, k = 0;
  if (call(KLVO_bo_getrows, "KLVO_bo_getrows", p, h, branch, &n, 0, &k, 0, static_cast<char *>(nullptr),
           static_cast<double *>(nullptr), static_cast<int *>(nullptr), static_cast<int *>(nullptr),
           static_cast<double *>(nullptr)))
    return failed(self);
  int rows = std::max(0, std::min(n, maxrows)), coefs_max = std::max(0, std::min(k, maxcoefs));
  std::vector<char> t(rows + 1);
  std::vector<double> r(rows + 1), v(coefs_max + 1);
  std::vector<int> st(rows + 1), c(coefs_max + 1);
  if (call(KLVO_bo_getrows, "KLVO_bo_getrows", p, h, branch, &n, rows, &k, coefs_max, t.data(), r.data(), st.data(),
           c.data(), v.data()))
    return failed(self);
  int written = st[rows];
  if (conv_arr2obj(p, rows, t.data(), types, ek_char) < 0 || conv_arr2obj(p, rows, r.data(), rhs, ek_real) < 0 ||
      conv_arr2obj(p, rows + 1, st.data(), start, ek_int) < 0 ||
      conv_arr2obj(p, written, c.data(), cols, column_kind(self)) < 0 ||
      conv_arr2obj(p, written, v.data(), coefs, ek_real) < 0)
    return nullptr;
  return PyLong_FromLong(n);
}

PyObject *bo_getbranches(PyObject *self, PyObject *) {
  if (!bo_of(self)->handle) return PyLong_FromLong(0);
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  int n = 0;
  if (call(KLVO_bo_getbranches, "KLVO_bo_getbranches", p, handle_of(self), &n)) return failed(self);
  return PyLong_FromLong(n);
}

PyObject *bo_getid(PyObject *self, PyObject *) {
  if (!bo_of(self)->handle) Py_RETURN_NONE;
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  int id = 0;
  if (call(KLVO_bo_getid, "KLVO_bo_getid", p, handle_of(self), &id)) return failed(self);
  return PyLong_FromLong(id);
}

PyObject *bo_getlasterror(PyObject *self, PyObject *) {
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  char text[2048] = {0};
  int code = 0;
  if (call(KLVO_bo_getlasterror, "KLVO_bo_getlasterror", p, handle_of(self), &code, text, 2048,
           static_cast<int *>(nullptr)))
    return failed(self);
  return Py_BuildValue("(is)", code, text);
}

PyObject *bo_setpreferredbranch(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"branch", nullptr};
  static const char *const oldkw[] = {"ibranch", nullptr};
  int branch;
  if (!parse_keywords(args, kwargs, "i", kw, oldkw, 6, &branch)) return nullptr;
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  if (call(KLVO_bo_setpreferredbranch, "KLVO_bo_setpreferredbranch", p, handle_of(self), branch)) return failed(self);
  Py_RETURN_NONE;
}

PyObject *bo_setpriority(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"priority", nullptr};
  int priority;
  if (!parse_keywords(args, kwargs, "i", kw, nullptr, 6, &priority)) return nullptr;
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  if (call(KLVO_bo_setpriority, "KLVO_bo_setpriority", p, handle_of(self), priority)) return failed(self);
  Py_RETURN_NONE;
}

PyObject *bo_store(PyObject *self, PyObject *) {
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  int status = 0;
  if (call(KLVO_bo_store, "KLVO_bo_store", p, handle_of(self), &status)) return failed(self);
  // The library owns it now.
  bo_of(self)->handle = nullptr;
  return PyLong_FromLong(status);
}

PyObject *bo_validate(PyObject *self, PyObject *) {
  ProblemObject *p = usable(self);
  if (!p) return nullptr;
  int status = 0;
  if (call(KLVO_bo_validate, "KLVO_bo_validate", p, handle_of(self), &status)) return failed(self);
  return PyLong_FromLong(status);
}

void branchobj_dealloc(PyObject *self) {
  BranchObject *b = bo_of(self);
  // A handle still held is the object's own (the library's are cleared before it could get here).
  if (b->handle) KLVO_bo_destroy(handle_of(self));
  b->handle = nullptr;
  Py_XDECREF(b->problem);
  Py_TYPE(self)->tp_free(self);
}

}  // namespace

PyMethodDef branchobj_methods[] = {
    keywords_method("addbranches", bo_addbranches, "Appends nbranches empty branches."),
    keywords_method("addbounds", bo_addbounds, "Adds bound changes ('L', 'U' or 'B') to a branch."),
    keywords_method("addrows", bo_addrows, "Adds linear rows ('L', 'G' or 'E') to a branch."),
    keywords_method("addcuts", bo_addcuts, "Adds cuts of the problem's cut pool to a branch."),
    keywords_method("getbounds", bo_getbounds, "Reads the bound changes of a branch; returns their number."),
    keywords_method("getrows", bo_getrows, "Reads the rows of a branch; returns their number."),
    plain_method("getbranches", bo_getbranches, "The number of branches (0 once the object was handed over)."),
    plain_method("getid", bo_getid, "The object's id (None once the object was handed over)."),
    plain_method("getlasterror", bo_getlasterror, "The object's last error as (code, message)."),
    keywords_method("setpreferredbranch", bo_setpreferredbranch, "The branch the search explores first."),
    keywords_method("setpriority", bo_setpriority, "Priority among stored objects (lower is preferred)."),
    plain_method("store", bo_store, "Hands the object to the running search from a node callback."),
    plain_method("validate", bo_validate, "0 when the object can be used, 1 without branches, 2 with a bad column."),
    {nullptr, nullptr, 0, nullptr},
};

int ready_branchobj_type() {
  branchobj_type.tp_name = "kelvo.branchobj";
  branchobj_type.tp_basicsize = sizeof(BranchObject);
  branchobj_type.tp_flags = Py_TPFLAGS_DEFAULT;
  branchobj_type.tp_doc = "A branching object: a set of branches for the branch-and-bound search.";
  branchobj_type.tp_dealloc = branchobj_dealloc;
  branchobj_type.tp_new = PyType_GenericNew;
  branchobj_type.tp_init = branchobj_init;
  branchobj_type.tp_methods = branchobj_methods;
  return PyType_Ready(&branchobj_type);
}

}  // namespace kelvo
