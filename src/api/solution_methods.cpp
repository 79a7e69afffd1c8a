// Thin methods that solve and read results: solution vectors, rays, infeasibilities, loaded
// and added solutions, and the values calculated from a given solution.
#include <nanobind/nanobind.h>

#include "api/convert.h"
#include "module/frame.h"

namespace nb = nanobind;

namespace kelvo {

namespace {

constexpr const char *use_get_solution = "use problem.getSolution and related functions instead";
constexpr const char *use_get_callback_solution = "use problem.getCallbackSolution and related functions instead";
constexpr const char *use_get_callback_presolve =
    "use problem.getCallbackPresolveSolution and related functions instead";

// Value given back for a part of a solution value that was not asked for.
constexpr double not_requested = -1e20;

// A problem object built for a callback stands for the user's problem through its parent.
bool in_callback(const ProblemObject *p) { return p->parent != nullptr; }

// The user's problem size (originalcols / originalrows) or, for the presolved space, the
// problem being solved (cols / rows).
int read_sizes(ProblemObject *p, bool presolved, int *cols, int *rows) {
  return read_int_attrib(p, presolved ? KLVO_ATTR_COLS : KLVO_ATTR_ORIGINALCOLS, cols) < 0 ||
                 read_int_attrib(p, presolved ? KLVO_ATTR_ROWS : KLVO_ATTR_ORIGINALROWS, rows) < 0
             ? -1
             : 0;
}

// A work array of n doubles when the caller wants the result (arg given and not None).
int wanted(PyObject *arg, int n, WorkArray &out) {
  if (!arg || arg == Py_None) return 0;
  out.data = array_allocator.allocate(sizeof(double) * (n > 0 ? n : 1));
  if (!out.data) return -1;
  out.count = n;
  return 0;
}

// A solution-sized input array: the slot is preset to the size, so another length is refused.
int sized_input(ProblemObject *p, PyObject *obj, int size, WorkArray &out) {
  LengthSlot n = size;
  return conv_obj2arr(p, &n, obj, ek_real, out);
}

PyObject *library_error(PyObject *self) { return check_result(self, nullptr); }

// ---- solution vectors

enum class Vectors { lp, presolved, barrier };

PyObject *solution_vectors(PyObject *self, PyObject *args, PyObject *kwargs, Vectors which) {
  static const char *const kw[] = {"x", "slack", "duals", "djs", nullptr};
  static const char *const oldkw[] = {"x", "slack", "dual", "dj", nullptr};
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  if (in_callback(p) && which != Vectors::barrier &&
      deprecation(9, 5, which == Vectors::lp ? use_get_callback_solution : use_get_callback_presolve) < 0)
    return nullptr;
  PyObject *x = nullptr, *slack = nullptr, *duals = nullptr, *djs = nullptr;
  if (!parse_keywords(args, kwargs, "|OOOO", kw, oldkw, 5, &x, &slack, &duals, &djs)) return nullptr;
  int cols, rows;
  if (read_sizes(p, which == Vectors::presolved, &cols, &rows) < 0) return nullptr;
  WorkArray ax, aslack, aduals, adjs;
  if (wanted(x, cols, ax) < 0 || wanted(slack, rows, aslack) < 0 || wanted(duals, rows, aduals) < 0 ||
      wanted(djs, cols, adjs) < 0)
    return nullptr;
  int status = 0;
  int rc;
  switch (which) {
    case Vectors::lp:
      rc = call(KLVOgetlpsol, "KLVOgetlpsol", p, p->prob, ax.as<double>(), aslack.as<double>(), aduals.as<double>(),
                adjs.as<double>());
      break;
    case Vectors::presolved:
      rc = call(KLVOgetpresolvesol, "KLVOgetpresolvesol", p, p->prob, ax.as<double>(), aslack.as<double>(),
                aduals.as<double>(), adjs.as<double>());
      break;
    default:
      rc = call(KLVOgetlastbarsol, "KLVOgetlastbarsol", p, p->prob, ax.as<double>(), aslack.as<double>(),
                aduals.as<double>(), adjs.as<double>(), &status);
      break;
  }
  if (rc) return library_error(self);
  // Without a barrier solution the library leaves the arrays untouched: nothing to give.
  bool filled = which != Vectors::barrier || status != KLVO_LP_UNSTARTED;
  if (filled && (conv_arr2obj(p, cols, ax, x, ek_real) < 0 || conv_arr2obj(p, rows, aslack, slack, ek_real) < 0 ||
                 conv_arr2obj(p, rows, aduals, duals, ek_real) < 0 || conv_arr2obj(p, cols, adjs, djs, ek_real) < 0))
    return nullptr;
  if (which == Vectors::barrier) return PyLong_FromLong(status);
  Py_RETURN_NONE;
}

PyObject *m_getlpsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  return solution_vectors(self, args, kwargs, Vectors::lp);
}

PyObject *m_getpresolvesol(PyObject *self, PyObject *args, PyObject *kwargs) {
  return solution_vectors(self, args, kwargs, Vectors::presolved);
}

PyObject *m_getlastbarsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  return solution_vectors(self, args, kwargs, Vectors::barrier);
}

PyObject *m_getmipsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"x", "slack", nullptr};
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0 || deprecation(9, 5, use_get_solution) < 0) return nullptr;
  PyObject *x = nullptr, *slack = nullptr;
  if (!parse_keywords(args, kwargs, "|OO", kw, nullptr, 5, &x, &slack)) return nullptr;
  int cols, rows;
  if (read_sizes(p, false, &cols, &rows) < 0) return nullptr;
  WorkArray ax, aslack;
  if (wanted(x, cols, ax) < 0 || wanted(slack, rows, aslack) < 0) return nullptr;
  if (call(KLVOgetmipsol, "KLVOgetmipsol", p, p->prob, ax.as<double>(), aslack.as<double>()))
    return library_error(self);
  if (conv_arr2obj(p, cols, ax, x, ek_real) < 0 || conv_arr2obj(p, rows, aslack, slack, ek_real) < 0) return nullptr;
  Py_RETURN_NONE;
}

// ---- single values

// Parses col and row (both optional) and checks them against the user's problem size; -1 for
// the one not given.
bool column_and_row(PyObject *self, PyObject *args, PyObject *kwargs, int *col, int *row) {
  static const char *const kw[] = {"col", "row", nullptr};
  static const char *const oldkw[] = {"column", "row", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *col_obj = nullptr, *row_obj = nullptr;
  if (!parse_keywords(args, kwargs, "|OO", kw, oldkw, 5, &col_obj, &row_obj)) return false;
  *col = *row = -1;
  if ((col_obj && col_obj != Py_None && conv_obj2index(p, col_obj, ek_col, col) < 0) ||
      (row_obj && row_obj != Py_None && conv_obj2index(p, row_obj, ek_row, row) < 0))
    return false;
  int cols, rows;
  if (read_sizes(p, false, &cols, &rows) < 0) return false;
  if ((col_obj && col_obj != Py_None && (*col < 0 || *col >= cols)) ||
      (row_obj && row_obj != Py_None && (*row < 0 || *row >= rows))) {
    PyErr_SetString(g.InterfaceError, "Invalid row or column index");
    return false;
  }
  return true;
}

PyObject *m_getlpsolval(PyObject *self, PyObject *args, PyObject *kwargs) {
  ProblemObject *p = problem_of(self);
  int col, row;
  if (require_handle(p) < 0 || deprecation(9, 5, in_callback(p) ? use_get_callback_solution : use_get_solution) < 0 ||
      !column_and_row(self, args, kwargs, &col, &row))
    return nullptr;
  double x = not_requested, slack = not_requested, dual = not_requested, dj = not_requested;
  if (call(KLVOgetlpsolval, "KLVOgetlpsolval", p, p->prob, col, row, &x, &slack, &dual, &dj))
    return library_error(self);
  return Py_BuildValue("(dddd)", x, slack, dual, dj);
}

PyObject *m_getmipsolval(PyObject *self, PyObject *args, PyObject *kwargs) {
  ProblemObject *p = problem_of(self);
  int col, row;
  if (require_handle(p) < 0 || deprecation(9, 5, use_get_solution) < 0 ||
      !column_and_row(self, args, kwargs, &col, &row))
    return nullptr;
  double x = not_requested, slack = not_requested;
  if (call(KLVOgetmipsolval, "KLVOgetmipsolval", p, p->prob, col, row, &x, &slack)) return library_error(self);
  return Py_BuildValue("(dd)", x, slack);
}

// ---- values calculated from a given solution

PyObject *m_calcobjn(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objidx", "solution", nullptr};
  ProblemObject *p = problem_of(self);
  int objidx;
  PyObject *solution = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "i|O", kw, nullptr, 5, &objidx, &solution))
    return nullptr;
  int cols, rows;
  WorkArray x;
  if (read_sizes(p, false, &cols, &rows) < 0 || sized_input(p, solution, cols, x) < 0) return nullptr;
  double value = 0;
  if (call(KLVOcalcobjn, "KLVOcalcobjn", p, p->prob, objidx, x.as<double>(), &value)) return library_error(self);
  return PyFloat_FromDouble(value);
}

PyObject *m_calcsolinfo(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"solution", "duals", "property", nullptr};
  static const char *const oldkw[] = {"solution", "dual", "property", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *solution, *duals;
  int property;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOi", kw, oldkw, 5, &solution, &duals, &property))
    return nullptr;
  int cols, rows;
  WorkArray x, y;
  if (read_sizes(p, false, &cols, &rows) < 0 || sized_input(p, solution, cols, x) < 0 ||
      sized_input(p, duals, rows, y) < 0)
    return nullptr;
  double value = 0;
  if (call(KLVOcalcsolinfo, "KLVOcalcsolinfo", p, p->prob, x.as<double>(), y.as<double>(), property, &value))
    return library_error(self);
  return PyFloat_FromDouble(value);
}

// ---- infeasibilities

template <int (*Fn)(KLVOprob, int *, int *, int *, int *, int *, int *, int *, int *)>
PyObject *infeasibilities(PyObject *self, PyObject *args, PyObject *kwargs, const char *function) {
  static const char *const kw[] = {"x", "slack", "duals", "djs", nullptr};
  static const char *const oldkw[] = {"mx", "mslack", "mdual", "mdj", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *x, *slack, *duals, *djs;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOO", kw, oldkw, 5, &x, &slack, &duals, &djs))
    return nullptr;
  // The second call must find the counts of the first: no solve may come between them.
  ChangeScope scope(p);
  int npv = 0, nps = 0, nds = 0, ndv = 0;
  if (call(Fn, function, p, p->prob, &npv, &nps, &nds, &ndv, nullptr, nullptr, nullptr, nullptr))
    return library_error(self);
  WorkArray cols, rows, dual_rows, dual_cols;
  auto want = [](PyObject *arg, int n, WorkArray &out) {
    if (!arg || arg == Py_None) return 0;
    out.data = array_allocator.allocate(sizeof(int) * (n > 0 ? n : 1));
    return out.data ? 0 : -1;
  };
  if (want(x, npv, cols) < 0 || want(slack, nps, rows) < 0 || want(duals, nds, dual_rows) < 0 ||
      want(djs, ndv, dual_cols) < 0)
    return nullptr;
  if (call(Fn, function, p, p->prob, &npv, &nps, &nds, &ndv, cols.as<int>(), rows.as<int>(), dual_rows.as<int>(),
           dual_cols.as<int>()))
    return library_error(self);
  if (conv_arr2obj(p, npv, cols, x, ek_col) < 0 || conv_arr2obj(p, nps, rows, slack, ek_row) < 0 ||
      conv_arr2obj(p, nds, dual_rows, duals, ek_row) < 0 || conv_arr2obj(p, ndv, dual_cols, djs, ek_col) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

PyObject *m_getinfeas(PyObject *self, PyObject *args, PyObject *kwargs) {
  return infeasibilities<KLVOgetinfeas>(self, args, kwargs, "KLVOgetinfeas");
}

PyObject *m_getscaledinfeas(PyObject *self, PyObject *args, PyObject *kwargs) {
  return infeasibilities<KLVOgetscaledinfeas>(self, args, kwargs, "KLVOgetscaledinfeas");
}

// ---- rays

template <int (*Fn)(KLVOprob, double *, int *)>
PyObject *ray(PyObject *self, PyObject *args, PyObject *kwargs, int size_attrib, const char *function) {
  static const char *const kw[] = {"ray", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *out;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, nullptr, 5, &out)) return nullptr;
  if (out == Py_None) {
    PyErr_SetString(g.InterfaceError, "Must provide argument to retrieve (primal or dual) ray");
    return nullptr;
  }
  int size;
  WorkArray values;
  if (read_int_attrib(p, size_attrib, &size) < 0 || wanted(out, size, values) < 0) return nullptr;
  int has = 0;
  if (call(Fn, function, p, p->prob, values.as<double>(), &has)) return library_error(self);
  if (has && conv_arr2obj(p, size, values, out, ek_real) < 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *m_getdualray(PyObject *self, PyObject *args, PyObject *kwargs) {
  return ray<KLVOgetdualray>(self, args, kwargs, KLVO_ATTR_ROWS, "KLVOgetdualray");
}

PyObject *m_getprimalray(PyObject *self, PyObject *args, PyObject *kwargs) {
  return ray<KLVOgetprimalray>(self, args, kwargs, KLVO_ATTR_COLS, "KLVOgetprimalray");
}

template <int (*Fn)(KLVOprob, double *, int *)>
PyObject *has_ray(PyObject *self, const char *function) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  int has = 0;
  if (call(Fn, function, p, p->prob, nullptr, &has)) return library_error(self);
  return PyBool_FromLong(has);
}

PyObject *m_hasdualray(PyObject *self, PyObject *) { return has_ray<KLVOgetdualray>(self, "KLVOgetdualray"); }
PyObject *m_hasprimalray(PyObject *self, PyObject *) { return has_ray<KLVOgetprimalray>(self, "KLVOgetprimalray"); }

PyObject *m_getunbvec(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  int seq = -1;
  if (call(KLVOgetunbvec, "KLVOgetunbvec", p, p->prob, &seq)) return library_error(self);
  if (seq < 0) {
    PyErr_SetString(g.SolverError,
                    "getunbvec returns a valid object only if the problem is found unbounded within the primal "
                    "simplex. Call lpoptimize('p') to use the primal simplex.");
    return nullptr;
  }
  return combined_object(p, seq);
}

// ---- loaded and added solutions

PyObject *m_loadlpsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"x", "slack", "duals", "djs", nullptr};
  static const char *const oldkw[] = {"x", "slack", "dual", "dj", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *x = nullptr, *slack = nullptr, *duals = nullptr, *djs = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "|OOOO", kw, oldkw, 5, &x, &slack, &duals, &djs))
    return nullptr;
  int cols, rows;
  WorkArray ax, aslack, aduals, adjs;
  if (read_sizes(p, false, &cols, &rows) < 0 || sized_input(p, x, cols, ax) < 0 ||
      sized_input(p, slack, rows, aslack) < 0 || sized_input(p, duals, rows, aduals) < 0 ||
      sized_input(p, djs, cols, adjs) < 0)
    return nullptr;
  int status = 0;
  if (call(KLVOloadlpsol, "KLVOloadlpsol", p, p->prob, ax.as<double>(), aslack.as<double>(), aduals.as<double>(),
           adjs.as<double>(), &status))
    return library_error(self);
  return PyLong_FromLong(status);
}

PyObject *m_loadmipsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"x", nullptr};
  static const char *const oldkw[] = {"dsol", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *x;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &x)) return nullptr;
  if (x == Py_None) return missing_arguments({"dsol"}), nullptr;
  int cols, rows;
  WorkArray ax;
  if (read_sizes(p, false, &cols, &rows) < 0 || sized_input(p, x, cols, ax) < 0) return nullptr;
  int status = 0;
  if (call(KLVOloadmipsol, "KLVOloadmipsol", p, p->prob, ax.as<double>(), &status)) return library_error(self);
  return PyLong_FromLong(status);
}

PyObject *m_addmipsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"solval", "colind", "name", nullptr};
  static const char *const oldkw[] = {"mipsolval", "mipsolcol", "solname", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *solval, *colind = nullptr;
  const char *name = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O|Os", kw, oldkw, 5, &solval, &colind, &name))
    return nullptr;
  if (require_arguments({"solval"}, {solval}) < 0) return nullptr;
  LengthSlot n = -1;
  WorkArray values, cols;
  int count;
  if (conv_obj2arr(p, &n, solval, ek_real, values) < 0 || conv_obj2arr(p, &n, colind, ek_col, cols) < 0 ||
      array_count(n, &count) < 0)
    return nullptr;
  if (call(KLVOaddmipsol, "KLVOaddmipsol", p, p->prob, count, values.as<double>(), cols.as<int>(), name))
    return library_error(self);
  Py_RETURN_NONE;
}

PyObject *m_crossoverlpsol(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  nb::object keep = nb::borrow(self);
  int status = 0;
  ++p->solves_running;
  int rc = call(KLVOcrossoverlpsol, "KLVOcrossoverlpsol", p, p->prob, &status);
  --p->solves_running;
  if (rc) return library_error(self);
  return PyLong_FromLong(status);
}

PyObject *m_postsolve(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  if (call(KLVOpostsolve, "KLVOpostsolve", p, p->prob)) return library_error(self);
  Py_RETURN_NONE;
}

// ---- presolved-space values inside callbacks

template <int (*Fn)(KLVOprob, int *, double *, int, int)>
PyObject *callback_presolve_values(PyObject *self, PyObject *args, PyObject *kwargs, int count_attrib,
                                   const char *function) {
  static const char *const kw[] = {"first", "last", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *first_obj = nullptr, *last_obj = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "|OO", kw, nullptr, 5, &first_obj, &last_obj))
    return nullptr;
  int count, first = 0, last;
  if (read_int_attrib(p, count_attrib, &count) < 0) return nullptr;
  last = count - 1;
  bool bounded = (first_obj && first_obj != Py_None) || (last_obj && last_obj != Py_None);
  if ((first_obj && first_obj != Py_None && int32_value(first_obj, &first) < 0) ||
      (last_obj && last_obj != Py_None && int32_value(last_obj, &last) < 0))
    return nullptr;
  if (count == 0 && !bounded) return PyList_New(0);
  int64_t n = static_cast<int64_t>(last) - first + 1;
  WorkArray values;
  values.data = array_allocator.allocate(sizeof(double) * static_cast<size_t>(n > 0 ? n : 1));
  if (!values.data) return nullptr;
  int status = 0;
  if (call(Fn, function, p, p->prob, &status, values.as<double>(), first, last)) return library_error(self);
  return real_list(values.as<double>(), n > 0 ? static_cast<size_t>(n) : 0);
}

PyObject *m_getCallbackPresolveSolution(PyObject *self, PyObject *args, PyObject *kwargs) {
  return callback_presolve_values<KLVOgetcallbackpresolvesolution>(self, args, kwargs, KLVO_ATTR_COLS,
                                                                   "KLVOgetcallbackpresolvesolution");
}

PyObject *m_getCallbackPresolveRedCosts(PyObject *self, PyObject *args, PyObject *kwargs) {
  return callback_presolve_values<KLVOgetcallbackpresolveredcosts>(self, args, kwargs, KLVO_ATTR_COLS,
                                                                   "KLVOgetcallbackpresolveredcosts");
}

PyObject *m_getCallbackPresolveSlacks(PyObject *self, PyObject *args, PyObject *kwargs) {
  return callback_presolve_values<KLVOgetcallbackpresolveslacks>(self, args, kwargs, KLVO_ATTR_ROWS,
                                                                 "KLVOgetcallbackpresolveslacks");
}

PyObject *m_getCallbackPresolveDuals(PyObject *self, PyObject *args, PyObject *kwargs) {
  return callback_presolve_values<KLVOgetcallbackpresolveduals>(self, args, kwargs, KLVO_ATTR_ROWS,
                                                                "KLVOgetcallbackpresolveduals");
}

}  // namespace

PyMethodDef problem_methods_solution[] = {
    keywords_method("getlpsol", m_getlpsol,
                    "getlpsol(x=None, slack=None, duals=None, djs=None)\nFills the lists given with the last "
                    "solution's values, slacks, duals and reduced costs."),
    keywords_method("getpresolvesol", m_getpresolvesol,
                    "getpresolvesol(x=None, slack=None, duals=None, djs=None)\nThe same in the presolved problem, "
                    "which is the original one."),
    keywords_method("getlastbarsol", m_getlastbarsol,
                    "getlastbarsol(x=None, slack=None, duals=None, djs=None) -> int\nThe last barrier solution "
                    "before crossover; returns its lpstatus (0 when there is none)."),
    keywords_method("getmipsol", m_getmipsol,
                    "getmipsol(x=None, slack=None)\nDeprecated: the best integer solution's values and slacks."),
    keywords_method("getlpsolval", m_getlpsolval,
                    "getlpsolval(col=None, row=None) -> (x, slack, dual, dj)\nDeprecated: one column's and one "
                    "row's values; -1e20 for the parts not asked for."),
    keywords_method("getmipsolval", m_getmipsolval,
                    "getmipsolval(col=None, row=None) -> (x, slack)\nDeprecated: one value of the best integer "
                    "solution."),
    keywords_method("calcobjn", m_calcobjn,
                    "calcobjn(objidx, solution=None) -> float\nValue of objective objidx at the solution (the last "
                    "one by default)."),
    keywords_method("calcsolinfo", m_calcsolinfo,
                    "calcsolinfo(solution, duals, property) -> float\nA measure of the solution: 0/1 absolute/"
                    "relative primal infeasibility, 2/3 absolute/relative dual infeasibility, 4 largest "
                    "fractionality; None uses the last solution."),
    keywords_method("getinfeas", m_getinfeas,
                    "getinfeas(x, slack, duals, djs)\nFills the lists with the primal infeasible columns and rows "
                    "and the dual infeasible rows and columns of the last solution."),
    keywords_method("getscaledinfeas", m_getscaledinfeas,
                    "getscaledinfeas(x, slack, duals, djs)\nThe same judged in the scaled problem."),
    keywords_method("getdualray", m_getdualray,
                    "getdualray(ray)\nFills ray with a certificate of infeasibility of the last LP, if it has one."),
    keywords_method("getprimalray", m_getprimalray,
                    "getprimalray(ray)\nFills ray with an improving direction of the last unbounded LP, if any."),
    plain_method("hasdualray", m_hasdualray, "hasdualray() -> bool\nWhether the last LP has a dual ray."),
    plain_method("hasprimalray", m_hasprimalray,
                        "hasprimalray() -> bool\nWhether the last LP has a primal ray."),
    plain_method("getunbvec", m_getunbvec,
                        "getunbvec() -> kelvo.var or kelvo.constraint\nThe variable the unbounded direction of the "
                        "last LP follows."),
    keywords_method("loadlpsol", m_loadlpsol,
                    "loadlpsol(x=None, slack=None, duals=None, djs=None) -> int\nA starting point for the next LP "
                    "solve; 0 when loaded."),
    keywords_method("loadmipsol", m_loadmipsol,
                    "loadmipsol(x) -> int\nA start for the next MIP solve; 0 accepted, 1 refused as infeasible."),
    keywords_method("addmipsol", m_addmipsol,
                    "addmipsol(solval, colind=None, name=None)\nA complete or partial start for the next MIP solve."),
    plain_method("crossoverlpsol", m_crossoverlpsol,
                        "crossoverlpsol() -> int\nCrossover from the last barrier solution: 0 done, 1 no barrier "
                        "solution, 2 failed."),
    plain_method("postsolve", m_postsolve,
                        "postsolve()\nReturns a presolved problem to its original form (solves always end there)."),
    keywords_method("getCallbackPresolveSolution", m_getCallbackPresolveSolution,
                    "getCallbackPresolveSolution(first=0, last=cols-1) -> list\nInside a callback: the presolved "
                    "solution's values."),
    keywords_method("getCallbackPresolveRedCosts", m_getCallbackPresolveRedCosts,
                    "getCallbackPresolveRedCosts(first=0, last=cols-1) -> list\nInside a callback: reduced costs."),
    keywords_method("getCallbackPresolveSlacks", m_getCallbackPresolveSlacks,
                    "getCallbackPresolveSlacks(first=0, last=rows-1) -> list\nInside a callback: slacks."),
    keywords_method("getCallbackPresolveDuals", m_getCallbackPresolveDuals,
                    "getCallbackPresolveDuals(first=0, last=rows-1) -> list\nInside a callback: duals."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
