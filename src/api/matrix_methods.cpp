// Thin methods that build, change and read the matrix: columns, rows, bounds, types, quadratic
// terms, objectives and names, whole-problem loading, and the control and solution helpers
// that go with them.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "api/convert.h"
#include "model/var.h"
#include "module/frame.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

static PyObject *interface_error(const char *message) {
  PyErr_SetString(g.InterfaceError, message);
  return nullptr;
}

static PyObject *model_error(const char *message) {
  PyErr_SetString(g.ModelError, message);
  return nullptr;
}

static bool given(PyObject *o) { return o && o != Py_None; }

// A work array of n elements of a kind for the library to fill; null with MemoryError.
static bool allocate(WorkArray &a, int64_t n, ElemKind kind) {
  a.data = array_allocator.allocate(static_cast<size_t>(n > 0 ? n : 1) * elem_width(kind));
  a.count = n;
  return a.data != nullptr;
}

// Runs fn with the pending exception set aside, so that clean-up calls cannot disturb it.
template <class Fn>
static void keeping_error(Fn fn) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  fn();
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
}

// Removes the elements first..first+n-1 of a kind again after a failed add, together with
// whatever objects were already made for them.
static void undo_add(ProblemObject *p, DeleteKind kind, int first, int n) {
  keeping_error([&] {
    try {
      std::vector<int> indices(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) indices[i] = first + i;
      delete_indices(p, kind, indices);
    } catch (const std::bad_alloc &) {
    }
  });
}

// The unlinked argument of the methods that create objects: None follows the problem's mode,
// otherwise a bool that must agree with the objects the problem already holds (unless they are
// about to be replaced). -1 with ModelError or the deprecation raised.
static int unlinked_argument(ProblemObject *p, PyObject *arg, bool replacing, bool *unlinked) {
  bool mode_unlinked = problem_unlinked(p);
  bool has_objects = PyList_GET_SIZE(p->vars) + PyList_GET_SIZE(p->cons) + PyList_GET_SIZE(p->sos) > 0;
  if (!arg || arg == Py_None) {
    *unlinked = !replacing && mode_unlinked;
    return 0;
  }
  if (!PyBool_Check(arg)) return model_error("The unlinked argument must be a Boolean value"), -1;
  *unlinked = arg == Py_True;
  if (!replacing && *unlinked && has_objects && !mode_unlinked)
    return model_error("Argument unlinked=True not permitted: the problem already contains linked objects"), -1;
  if (!replacing && !*unlinked && mode_unlinked)
    return model_error("Argument unlinked=False not permitted: the problem already contains unlinked objects"), -1;
  if (*unlinked && deprecation(9, 5, "unlinked variables and constraints are deprecated") < 0) return -1;
  return 0;
}

// A name list for n new columns: a list or tuple of exactly n names, or any other sequence or
// iterator of at least n.
static int new_names(PyObject *names, int n, const char *wrong_length, std::string &buffer) {
  buffer.clear();
  if (!given(names)) return 0;
  if ((PyList_Check(names) || PyTuple_Check(names)) && PySequence_Fast_GET_SIZE(names) != n) {
    model_error(wrong_length);
    return -1;
  }
  return conv_names(names, n, buffer);
}

// ---- adding columns and rows

static PyObject *m_addcols(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objcoef", "start", "rowind", "rowcoef", "lb", "ub", "names", "types", "unlinked",
                                   nullptr};
  static const char *const oldkw[] = {"objx", "mstart", "mrwind", "dmatval", "bdl", "bdu", "names", "types",
                                      "unlinked", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *objcoef, *start, *rowind, *rowcoef, *lb, *ub, *names = nullptr, *types = nullptr, *unlinked_arg = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOOOO|OOO", kw, oldkw, 5, &objcoef, &start, &rowind,
                                               &rowcoef, &lb, &ub, &names, &types, &unlinked_arg))
    return nullptr;
  bool unlinked;
  if (unlinked_argument(p, unlinked_arg, false, &unlinked) < 0) return nullptr;
  LengthSlot n_slot = -1, coef_slot = -1, start_slot = -1;
  WorkArray obj, starts, rows, coefs, lbs, ubs, letters;
  if (conv_obj2arr(p, &n_slot, objcoef, ek_real, obj) < 0) return nullptr;
  int n;
  if (array_count(n_slot, &n) < 0) return nullptr;
  start_slot = static_cast<LengthSlot>(n) + 1;
  if ((n > 0 && conv_obj2arr(p, &start_slot, start, ek_int64, starts) < 0) ||
      conv_obj2arr(p, &coef_slot, rowind, ek_row, rows) < 0 || conv_obj2arr(p, &coef_slot, rowcoef, ek_real, coefs) < 0 ||
      conv_obj2arr(p, &n_slot, lb, ek_real, lbs) < 0 || conv_obj2arr(p, &n_slot, ub, ek_real, ubs) < 0 ||
      conv_obj2arr(p, &n_slot, types, ek_char, letters) < 0)
    return nullptr;
  int first;
  if (read_int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &first) < 0) return nullptr;
  if (require_arguments({"objcoef", "start", "rowind", "rowcoef", "lb", "ub"},
                        {objcoef, start, rowind, rowcoef, lb, ub}) < 0)
    return nullptr;
  std::string name_buffer;
  if (new_names(names, n, "Incorrect length of variable name list", name_buffer) < 0) return nullptr;
  if (letters.data && letters.count != n) return model_error("Incorrect length of variable type list");
  for (int64_t i = 0; letters.data && i < n; ++i)
    if (!std::strchr("BCIPRS", letters.as<char>()[i]) || letters.as<char>()[i] == 0)
      return model_error("Incorrect variable type");
  if (n == 0) Py_RETURN_NONE;
  if (require_idle(p, "addcols") < 0) return nullptr;
  ChangeScope change(p);
  // A nonlinear objective's auxiliary column and row stay behind the new ones.
  AuxParking parked(p);
  if (parked.failed() || read_int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &first) < 0) return nullptr;
  int64_t ncoefs = coef_slot < 0 ? 0 : coef_slot;
  if (call(KLVOaddcols64, "KLVOaddcols64", p, p->prob, n, ncoefs, obj.as<double>(), starts.as<int64_t>(),
           rows.as<int>(), coefs.as<double>(), lbs.as<double>(), ubs.as<double>()))
    return check_result(self, nullptr);
  int rc = 0;
  if (!name_buffer.empty())
    rc = call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_COLUMNS, name_buffer.data(), first, first + n - 1);
  if (rc == 0 && letters.data) {
    WorkArray cols;
    if (!allocate(cols, n, ek_col)) {
      PyErr_Clear();
      PyErr_Format(PyExc_RuntimeError, "Cannot allocate %d columns", n);
      undo_add(p, del_columns, first, n);
      return nullptr;
    }
    for (int i = 0; i < n; ++i) cols.as<int>()[i] = first + i;
    rc = call(KLVOchgcoltype, "KLVOchgcoltype", p, p->prob, n, cols.as<int>(), letters.as<char>());
  }
  if (rc != 0) raise_error(self);
  if (rc != 0 || append_column_objects(p, first, n, unlinked) < 0) {
    undo_add(p, del_columns, first, n);
    return nullptr;
  }
  Py_RETURN_NONE;
}

static PyObject *m_addrows(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowtype", "rhs", "start", "colind", "rowcoef", "range", "names", "unlinked",
                                   nullptr};
  static const char *const oldkw[] = {"qrtype", "rhs", "mstart", "mclind", "dmatval", "range", "names", "unlinked",
                                      nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowtype, *rhs, *start, *colind, *rowcoef, *range = nullptr, *names = nullptr, *unlinked_arg = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOOO|OOO", kw, oldkw, 5, &rowtype, &rhs, &start,
                                               &colind, &rowcoef, &range, &names, &unlinked_arg))
    return nullptr;
  bool unlinked;
  if (unlinked_argument(p, unlinked_arg, false, &unlinked) < 0) return nullptr;
  LengthSlot m_slot = -1;
  WorkArray types, rhss, ranges, starts, cols, coefs;
  if (conv_obj2arr(p, &m_slot, rowtype, ek_char, types) < 0 || conv_obj2arr(p, &m_slot, rhs, ek_real, rhss) < 0 ||
      conv_obj2arr(p, &m_slot, range, ek_real, ranges) < 0)
    return nullptr;
  int m;
  if (array_count(m_slot, &m) < 0) return nullptr;
  LengthSlot start_slot = static_cast<LengthSlot>(m) + 1;
  if (conv_obj2arr(p, &start_slot, start, ek_int64, starts) < 0) return nullptr;
  int64_t ncoefs = starts.data && m > 0 ? starts.as<int64_t>()[m] : 0;
  if (ncoefs < 0) return interface_error("The start array must not end with a negative offset");
  LengthSlot coef_slot = ncoefs;
  if (ncoefs != 0 &&
      (conv_obj2arr(p, &coef_slot, colind, ek_col, cols) < 0 || conv_obj2arr(p, &coef_slot, rowcoef, ek_real, coefs) < 0))
    return nullptr;
  int first;
  if (read_int_attrib(p, KLVO_ATTR_ORIGINALROWS, &first) < 0) return nullptr;
  if (require_arguments({"rowtype", "rhs", "start", "colind", "rowcoef"}, {rowtype, rhs, start, colind, rowcoef}) < 0)
    return nullptr;
  std::string name_buffer;
  if (given(names) && conv_names(names, m, name_buffer) < 0) return nullptr;
  if (m == 0) Py_RETURN_NONE;
  if (require_idle(p, "addrows") < 0) return nullptr;
  ChangeScope change(p);
  // A nonlinear objective's auxiliary column and row stay behind the new ones.
  AuxParking parked(p);
  if (parked.failed() || read_int_attrib(p, KLVO_ATTR_ORIGINALROWS, &first) < 0) return nullptr;
  if (call(KLVOaddrows64, "KLVOaddrows64", p, p->prob, m, ncoefs, types.as<char>(), rhss.as<double>(),
           ranges.as<double>(), starts.as<int64_t>(), cols.as<int>(), coefs.as<double>()))
    return check_result(self, nullptr);
  if (!name_buffer.empty() &&
      call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_ROWS, name_buffer.data(), first, first + m - 1)) {
    raise_error(self);
    undo_add(p, del_rows, first, m);
    return nullptr;
  }
  if (append_row_objects(p, first, m, unlinked) < 0) {
    undo_add(p, del_rows, first, m);
    return nullptr;
  }
  Py_RETURN_NONE;
}

static PyObject *m_addnames(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"type", "names", "first", "last", nullptr};
  ProblemObject *p = problem_of(self);
  int type, first, last;
  PyObject *names;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "iOii", kw, nullptr, 5, &type, &names, &first, &last))
    return nullptr;
  if (first < 0 || last < 0 || last < first) {
    PyErr_Format(g.InterfaceError, "Invalid name range: %d-%d", first, last);
    return nullptr;
  }
  std::string buffer;
  if (conv_names(names, static_cast<int64_t>(last) - first + 1, buffer) < 0) return nullptr;
  if (call(KLVOaddnames, "KLVOaddnames", p, p->prob, type, buffer.data(), first, last))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_addqmatrix(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "rowqcol1", "rowqcol2", "rowqcoef", nullptr};
  static const char *const oldkw[] = {"irow", "mqc1", "mqc2", "dqe", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row_obj, *col1, *col2, *coef;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOO", kw, oldkw, 5, &row_obj, &col1, &col2, &coef))
    return nullptr;
  int row;
  LengthSlot n = -1;
  WorkArray c1, c2, v;
  if (conv_obj2index(p, row_obj, ek_row, &row) < 0 || conv_obj2arr(p, &n, col1, ek_col, c1) < 0 ||
      conv_obj2arr(p, &n, col2, ek_col, c2) < 0 || conv_obj2arr(p, &n, coef, ek_real, v) < 0)
    return nullptr;
  if (call(KLVOaddqmatrix64, "KLVOaddqmatrix64", p, p->prob, row, static_cast<int64_t>(n < 0 ? 0 : n), c1.as<int>(),
           c2.as<int>(), v.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_delqmatrix(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row_obj;
  int row;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, nullptr, 5, &row_obj) ||
      conv_obj2index(p, row_obj, ek_row, &row) < 0)
    return nullptr;
  if (call(KLVOdelqmatrix, "KLVOdelqmatrix", p, p->prob, row)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// ---- changes of n entries given by index

// chgobj, chgrhs, chgrowtype, ...: fn(prob, n, indices, values) over two arrays of one length.
template <class T, int (*Fn)(KLVOprob, int, const int *, const T *)>
static PyObject *indexed_change(PyObject *self, PyObject *args, PyObject *kwargs, const char *const *kw,
                                const char *const *oldkw, ElemKind index_kind, ElemKind value_kind,
                                const char *function, bool objective = false) {
  ProblemObject *p = problem_of(self);
  PyObject *index_obj, *value_obj;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &index_obj, &value_obj))
    return nullptr;
  LengthSlot n = -1;
  WorkArray indices, values;
  int count;
  if (conv_obj2arr(p, &n, index_obj, index_kind, indices) < 0 ||
      conv_obj2arr(p, &n, value_obj, value_kind, values) < 0 || array_count(n, &count) < 0)
    return nullptr;
  if (objective && make_objective_editable(p) < 0) return nullptr;
  if (call(Fn, function, p, p->prob, count, indices.as<int>(), values.as<T>())) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_chgobj(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "objcoef", nullptr};
  static const char *const oldkw[] = {"mindex", "obj", nullptr};
  return indexed_change<double, KLVOchgobj>(self, args, kwargs, kw, oldkw, ek_col, ek_real, "KLVOchgobj", true);
}

static PyObject *m_chgcoltype(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "coltype", nullptr};
  static const char *const oldkw[] = {"mindex", "qctype", nullptr};
  return indexed_change<char, KLVOchgcoltype>(self, args, kwargs, kw, oldkw, ek_col, ek_char, "KLVOchgcoltype");
}

static PyObject *m_chgglblimit(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "limit", nullptr};
  static const char *const oldkw[] = {"mindex", "dlimit", nullptr};
  return indexed_change<double, KLVOchgglblimit>(self, args, kwargs, kw, oldkw, ek_col, ek_real, "KLVOchgglblimit");
}

static PyObject *m_chgrhs(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", "rhs", nullptr};
  static const char *const oldkw[] = {"mindex", "rhs", nullptr};
  return indexed_change<double, KLVOchgrhs>(self, args, kwargs, kw, oldkw, ek_row, ek_real, "KLVOchgrhs");
}

static PyObject *m_chgrhsrange(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", "rng", nullptr};
  static const char *const oldkw[] = {"mindex", "rng", nullptr};
  return indexed_change<double, KLVOchgrhsrange>(self, args, kwargs, kw, oldkw, ek_row, ek_real, "KLVOchgrhsrange");
}

static PyObject *m_chgrowtype(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", "rowtype", nullptr};
  static const char *const oldkw[] = {"mindex", "qrtype", nullptr};
  return indexed_change<char, KLVOchgrowtype>(self, args, kwargs, kw, oldkw, ek_row, ek_char, "KLVOchgrowtype");
}

static PyObject *m_chgmcoef(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", "colind", "rowcoef", nullptr};
  static const char *const oldkw[] = {"mrow", "mcol", "dval", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rows_obj, *cols_obj, *coef_obj;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &rows_obj, &cols_obj, &coef_obj))
    return nullptr;
  LengthSlot n = -1;
  WorkArray rows, cols, coefs;
  int count;
  if (conv_obj2arr(p, &n, rows_obj, ek_row, rows) < 0 || conv_obj2arr(p, &n, cols_obj, ek_col, cols) < 0 ||
      conv_obj2arr(p, &n, coef_obj, ek_real, coefs) < 0 || array_count(n, &count) < 0)
    return nullptr;
  if (call(KLVOchgmcoef, "KLVOchgmcoef", p, p->prob, count, rows.as<int>(), cols.as<int>(), coefs.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_chgmqobj(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objqcol1", "objqcol2", "objqcoef", nullptr};
  static const char *const oldkw[] = {"mqcol1", "mqcol2", "dval", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *c1_obj, *c2_obj, *coef_obj;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &c1_obj, &c2_obj, &coef_obj))
    return nullptr;
  LengthSlot n = -1;
  WorkArray c1, c2, coefs;
  if (conv_obj2arr(p, &n, c1_obj, ek_col, c1) < 0 || conv_obj2arr(p, &n, c2_obj, ek_col, c2) < 0 ||
      conv_obj2arr(p, &n, coef_obj, ek_real, coefs) < 0)
    return nullptr;
  if (make_objective_editable(p) < 0) return nullptr;
  if (call(KLVOchgmqobj64, "KLVOchgmqobj64", p, p->prob, static_cast<int64_t>(n < 0 ? 0 : n), c1.as<int>(),
           c2.as<int>(), coefs.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_chgobjn(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objidx", "colind", "objcoef", nullptr};
  ProblemObject *p = problem_of(self);
  int objidx;
  PyObject *cols_obj, *coef_obj;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "iOO", kw, nullptr, 5, &objidx, &cols_obj, &coef_obj))
    return nullptr;
  LengthSlot n = -1;
  WorkArray cols, coefs;
  int count;
  if (conv_obj2arr(p, &n, cols_obj, ek_col, cols) < 0 || conv_obj2arr(p, &n, coef_obj, ek_real, coefs) < 0 ||
      array_count(n, &count) < 0)
    return nullptr;
  if (make_objective_editable(p) < 0) return nullptr;
  if (call(KLVOchgobjn, "KLVOchgobjn", p, p->prob, objidx, count, cols.as<int>(), coefs.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_addobj(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "objcoef", "priority", "weight", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *cols_obj, *coef_obj;
  int priority = 0;
  double weight = 1.0;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OO|id", kw, nullptr, 5, &cols_obj, &coef_obj, &priority, &weight))
    return nullptr;
  LengthSlot n = -1;
  WorkArray cols, coefs;
  int count;
  if (conv_obj2arr(p, &n, cols_obj, ek_col, cols) < 0 || conv_obj2arr(p, &n, coef_obj, ek_real, coefs) < 0 ||
      array_count(n, &count) < 0)
    return nullptr;
  if (make_objective_editable(p) < 0) return nullptr;
  if (call(KLVOaddobj, "KLVOaddobj", p, p->prob, count, cols.as<int>(), coefs.as<double>(), priority, weight))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_delobj(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objidx", nullptr};
  ProblemObject *p = problem_of(self);
  int objidx;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "i", kw, nullptr, 5, &objidx)) return nullptr;
  if (call(KLVOdelobj, "KLVOdelobj", p, p->prob, objidx)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// The sense of a problem with nonlinear content is the nonlinear layer's: it keeps its own.
static PyObject *m_chgobjsense(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objsense", nullptr};
  static const char *const oldkw[] = {"sense", nullptr};
  ProblemObject *p = problem_of(self);
  int sense;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "i", kw, oldkw, 5, &sense)) return nullptr;
  sense = sense == 1 ? 1 : -1;
  int rc = (p->nonlin_cons != 0 || p->nonlin_obj != 0) && p->slp
               ? call(KSLPsetdblcontrol, "KSLPsetdblcontrol", p, p->slp, slp_control_objsense, double(sense))
               : call(KLVOchgobjsense, "KLVOchgobjsense", p, p->prob, sense);
  if (rc) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// ---- single coefficients

// Reads the row and column arguments given (null entries are skipped); -1 with an exception.
static int indices_of(ProblemObject *p, std::initializer_list<std::pair<PyObject *, ElemKind>> objs, int *out) {
  for (const auto &o : objs) {
    if (conv_obj2index(p, o.first, o.second, out++) < 0) return -1;
  }
  return 0;
}

static PyObject *m_chgcoef(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", "coef", nullptr};
  static const char *const oldkw[] = {"irow", "icol", "dval", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row_obj, *col_obj;
  double coef;
  int idx[2];
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOd", kw, oldkw, 5, &row_obj, &col_obj, &coef) ||
      indices_of(p, {{row_obj, ek_row}, {col_obj, ek_col}}, idx) < 0)
    return nullptr;
  if (call(KLVOchgcoef, "KLVOchgcoef", p, p->prob, idx[0], idx[1], coef)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_chgqobj(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objqcol1", "objqcol2", "objqcoef", nullptr};
  static const char *const oldkw[] = {"icol", "jcol", "dval", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *c1, *c2;
  double coef;
  int idx[2];
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOd", kw, oldkw, 5, &c1, &c2, &coef) ||
      indices_of(p, {{c1, ek_col}, {c2, ek_col}}, idx) < 0)
    return nullptr;
  if (make_objective_editable(p) < 0) return nullptr;
  if (call(KLVOchgqobj, "KLVOchgqobj", p, p->prob, idx[0], idx[1], coef)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_chgqrowcoeff(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "rowqcol1", "rowqcol2", "rowqcoef", nullptr};
  static const char *const oldkw[] = {"irow", "icol", "jcol", "dval", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *r, *c1, *c2;
  double coef;
  int idx[3];
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOd", kw, oldkw, 5, &r, &c1, &c2, &coef) ||
      indices_of(p, {{r, ek_row}, {c1, ek_col}, {c2, ek_col}}, idx) < 0)
    return nullptr;
  if (call(KLVOchgqrowcoeff, "KLVOchgqrowcoeff", p, p->prob, idx[0], idx[1], idx[2], coef))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getcoef(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", nullptr};
  static const char *const oldkw[] = {"irow", "icol", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *r, *c;
  int idx[2];
  double value;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &r, &c) ||
      indices_of(p, {{r, ek_row}, {c, ek_col}}, idx) < 0)
    return nullptr;
  if (call(KLVOgetcoef, "KLVOgetcoef", p, p->prob, idx[0], idx[1], &value)) return check_result(self, nullptr);
  return PyFloat_FromDouble(value);
}

static PyObject *m_getqobj(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objqcol1", "objqcol2", nullptr};
  static const char *const oldkw[] = {"icol", "jcol", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *c1, *c2;
  int idx[2];
  double value;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &c1, &c2) ||
      indices_of(p, {{c1, ek_col}, {c2, ek_col}}, idx) < 0)
    return nullptr;
  if (call(KLVOgetqobj, "KLVOgetqobj", p, p->prob, idx[0], idx[1], &value)) return check_result(self, nullptr);
  return PyFloat_FromDouble(value);
}

static PyObject *m_getqrowcoeff(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "rowqcol1", "rowqcol2", nullptr};
  static const char *const oldkw[] = {"irow", "icol", "jcol", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *r, *c1, *c2;
  int idx[3];
  double value;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &r, &c1, &c2) ||
      indices_of(p, {{r, ek_row}, {c1, ek_col}, {c2, ek_col}}, idx) < 0)
    return nullptr;
  if (call(KLVOgetqrowcoeff, "KLVOgetqrowcoeff", p, p->prob, idx[0], idx[1], idx[2], &value))
    return check_result(self, nullptr);
  return PyFloat_FromDouble(value);
}

// ---- values by range

// Converts first and last (either may be absent: 0 and count - 1); false with an exception.
static bool read_range(ProblemObject *p, PyObject *first_obj, PyObject *last_obj, ElemKind kind, int count,
                       int *first, int *last) {
  *first = 0;
  *last = count - 1;
  return !((given(first_obj) && conv_obj2index(p, first_obj, kind, first) < 0) ||
           (given(last_obj) && conv_obj2index(p, last_obj, kind, last) < 0));
}

// Room for the values of first..last: a range beyond the problem gets one element, since the
// library refuses it before writing anything; so a wild range costs no huge allocation.
static bool range_array(ProblemObject *p, ElemKind index_kind, int first, int last, ElemKind value_kind, WorkArray &a) {
  int count;
  if (read_int_attrib(p, index_kind == ek_row ? KLVO_ATTR_ORIGINALROWS : KLVO_ATTR_ORIGINALCOLS, &count) < 0)
    return false;
  bool inside = first >= 0 && last < count;
  return allocate(a, inside ? static_cast<int64_t>(last) - first + 1 : 1, value_kind);
}

// getobj, getrhs, getrhsrange, getrowtype, getcoltype: the values of first..last into a list.
template <class T, int (*Fn)(KLVOprob, T *, int, int)>
static PyObject *range_values(PyObject *self, PyObject *args, PyObject *kwargs, const char *const *kw,
                              const char *const *oldkw, ElemKind index_kind, ElemKind value_kind,
                              const char *function, const char *empty_message, bool require_list = false) {
  ProblemObject *p = problem_of(self);
  PyObject *out, *first_obj, *last_obj;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &out, &first_obj, &last_obj))
    return nullptr;
  if (require_list && !given(out)) {
    PyErr_Format(g.InterfaceError, "Must provide argument: %s or %s", "rng", "rhs");
    return nullptr;
  }
  int first, last;
  if (!read_range(p, first_obj, last_obj, index_kind, 0, &first, &last)) return nullptr;
  if (last < first) return interface_error(empty_message);
  WorkArray values;
  int64_t n = static_cast<int64_t>(last) - first + 1;
  if (!range_array(p, index_kind, first, last, value_kind, values)) return nullptr;
  if (call(Fn, function, p, p->prob, values.as<T>(), first, last)) return check_result(self, nullptr);
  if (conv_arr2obj(p, n, values, out, value_kind) < 0) return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_getobj(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objcoef", "first", "last", nullptr};
  static const char *const oldkw[] = {"obj", "first", "last", nullptr};
  return range_values<double, KLVOgetobj>(self, args, kwargs, kw, oldkw, ek_col, ek_real, "KLVOgetobj",
                                          "Empty range of columns requested");
}

static PyObject *m_getrhs(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rhs", "first", "last", nullptr};
  return range_values<double, KLVOgetrhs>(self, args, kwargs, kw, nullptr, ek_row, ek_real, "KLVOgetrhs",
                                          "Empty range of rows requested", true);
}

static PyObject *m_getrhsrange(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rng", "first", "last", nullptr};
  static const char *const oldkw[] = {"range", "first", "last", nullptr};
  return range_values<double, KLVOgetrhsrange>(self, args, kwargs, kw, oldkw, ek_row, ek_real, "KLVOgetrhsrange",
                                               "Empty range of rows requested", true);
}

static PyObject *m_getrowtype(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowtype", "first", "last", nullptr};
  static const char *const oldkw[] = {"qrtype", "first", "last", nullptr};
  return range_values<char, KLVOgetrowtype>(self, args, kwargs, kw, oldkw, ek_row, ek_char, "KLVOgetrowtype",
                                            "Empty range of rows requested");
}

static PyObject *m_getcoltype(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"coltype", "first", "last", nullptr};
  return range_values<char, KLVOgetcoltype>(self, args, kwargs, kw, nullptr, ek_col, ek_char, "KLVOgetcoltype",
                                            "Empty or invalid range of columns requested");
}

static PyObject *m_getobjn(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"objidx", "objcoef", "first", "last", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *out;
  int objidx, first, last;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "iOii", kw, nullptr, 5, &objidx, &out, &first, &last))
    return nullptr;
  if (last < first) return interface_error("Empty range of columns requested");
  WorkArray values;
  int64_t n = static_cast<int64_t>(last) - first + 1;
  if (!range_array(p, ek_col, first, last, ek_real, values)) return nullptr;
  if (call(KLVOgetobjn, "KLVOgetobjn", p, p->prob, objidx, values.as<double>(), first, last))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, n, values, out, ek_real) < 0) return nullptr;
  Py_RETURN_NONE;
}

// ---- blocks of the matrix

// getcols, getrows, getmqobj: a compressed block of first..last into the caller's lists.
template <int (*Fn)(KLVOprob, int64_t *, int *, double *, int64_t, int64_t *, int, int)>
static PyObject *matrix_block(PyObject *self, PyObject *args, PyObject *kwargs, const char *const *kw,
                              const char *const *oldkw, ElemKind range_kind, ElemKind entry_kind,
                              const char *function) {
  ProblemObject *p = problem_of(self);
  PyObject *start_out, *index_out, *value_out, *first_obj, *last_obj;
  long long maxcoefs;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOLOO", kw, oldkw, 5, &start_out, &index_out,
                                               &value_out, &maxcoefs, &first_obj, &last_obj))
    return nullptr;
  if (!given(start_out) && !given(index_out) && !given(value_out)) {
    PyErr_Format(g.InterfaceError, "Must provide at least one of arguments %s, %s, %s", kw[0], kw[1], kw[2]);
    return nullptr;
  }
  int first, last;
  if (conv_obj2index(p, first_obj, range_kind, &first) < 0 || conv_obj2index(p, last_obj, range_kind, &last) < 0)
    return nullptr;
  if (static_cast<int64_t>(last) - first + 1 <= 0) return interface_error("Empty range of columns requested");
  int64_t total = 0;
  if (call(Fn, function, p, p->prob, nullptr, nullptr, nullptr, int64_t{0}, &total, first, last))
    return check_result(self, nullptr);
  if (total == 0) Py_RETURN_NONE;
  int64_t count = total < maxcoefs ? total : (maxcoefs < 0 ? 0 : maxcoefs);
  int64_t n = static_cast<int64_t>(last) - first + 1;
  WorkArray starts, indices, values;
  if ((given(start_out) && !allocate(starts, n + 1, ek_int64)) ||
      (given(index_out) && !allocate(indices, count, entry_kind)) ||
      (given(value_out) && !allocate(values, count, ek_real)))
    return nullptr;
  if (call(Fn, function, p, p->prob, starts.as<int64_t>(), indices.as<int>(), values.as<double>(),
           static_cast<int64_t>(maxcoefs), &total, first, last))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, n + 1, starts, start_out, ek_int64) < 0 || conv_arr2obj(p, count, indices, index_out, entry_kind) < 0 ||
      conv_arr2obj(p, count, values, value_out, ek_real) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_getcols(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"start", "rowind", "rowcoef", "maxcoefs", "first", "last", nullptr};
  static const char *const oldkw[] = {"mstart", "mrwind", "dmatval", "size", "first", "last", nullptr};
  return matrix_block<KLVOgetcols64>(self, args, kwargs, kw, oldkw, ek_col, ek_row, "KLVOgetcols64");
}

static PyObject *m_getrows(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"start", "colind", "colcoef", "maxcoefs", "first", "last", nullptr};
  static const char *const oldkw[] = {"mstart", "mclind", "dmatval", "size", "first", "last", nullptr};
  return matrix_block<KLVOgetrows64>(self, args, kwargs, kw, oldkw, ek_row, ek_col, "KLVOgetrows64");
}

static PyObject *m_getmqobj(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"start", "colind", "objqcoef", "maxcoefs", "first", "last", nullptr};
  static const char *const oldkw[] = {"mstart", "mclind", "dobjval", "size", "first", "last", nullptr};
  return matrix_block<KLVOgetmqobj64>(self, args, kwargs, kw, oldkw, ek_col, ek_col, "KLVOgetmqobj64");
}

static PyObject *m_getqrowqmatrix(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "start", "colind", "rowqcoef", "maxcoefs", "first", "last", nullptr};
  static const char *const oldkw[] = {"irow", "mstart", "mclind", "dqe", "size", "first", "last", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row_obj, *start_out, *index_out, *value_out, *first_obj, *last_obj;
  int maxcoefs, idx[3];
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOOiOO", kw, oldkw, 5, &row_obj, &start_out, &index_out,
                                               &value_out, &maxcoefs, &first_obj, &last_obj) ||
      indices_of(p, {{row_obj, ek_row}, {first_obj, ek_col}, {last_obj, ek_col}}, idx) < 0)
    return nullptr;
  int row = idx[0], first = idx[1], last = idx[2];
  if (last < first) return interface_error("Empty range of columns requested");
  int total = 0;
  if (call(KLVOgetqrowqmatrix, "KLVOgetqrowqmatrix", p, p->prob, row, nullptr, nullptr, nullptr, 0, &total, first,
           last))
    return check_result(self, nullptr);
  if (total == 0) Py_RETURN_NONE;
  int count = total < maxcoefs ? total : (maxcoefs < 0 ? 0 : maxcoefs);
  int64_t n = static_cast<int64_t>(last) - first + 1;
  WorkArray starts, indices, values;
  if ((given(start_out) && !allocate(starts, n + 1, ek_int)) || (given(index_out) && !allocate(indices, count, ek_col)) ||
      (given(value_out) && !allocate(values, count, ek_real)))
    return nullptr;
  if (call(KLVOgetqrowqmatrix, "KLVOgetqrowqmatrix", p, p->prob, row, starts.as<int>(), indices.as<int>(),
           values.as<double>(), maxcoefs, &total, first, last))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, n + 1, starts, start_out, ek_int) < 0 || conv_arr2obj(p, count, indices, index_out, ek_col) < 0 ||
      conv_arr2obj(p, count, values, value_out, ek_real) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_getqrowqmatrixtriplets(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "rowqcol1", "rowqcol2", "rowqcoef", nullptr};
  static const char *const oldkw[] = {"irow", "mqcol1", "mqcol2", "dqe", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row_obj, *c1_out = nullptr, *c2_out = nullptr, *v_out = nullptr;
  int row;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "O|OOO", kw, oldkw, 5, &row_obj, &c1_out, &c2_out, &v_out) ||
      conv_obj2index(p, row_obj, ek_row, &row) < 0)
    return nullptr;
  int n = 0;
  if (call(KLVOgetqrowqmatrixtriplets, "KLVOgetqrowqmatrixtriplets", p, p->prob, row, &n, nullptr, nullptr, nullptr))
    return check_result(self, nullptr);
  WorkArray c1, c2, v;
  if ((given(c1_out) && !allocate(c1, n, ek_col)) || (given(c2_out) && !allocate(c2, n, ek_col)) ||
      (given(v_out) && !allocate(v, n, ek_real)))
    return nullptr;
  if (call(KLVOgetqrowqmatrixtriplets, "KLVOgetqrowqmatrixtriplets", p, p->prob, row, &n, c1.as<int>(), c2.as<int>(),
           v.as<double>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, n, c1, c1_out, ek_col) < 0 || conv_arr2obj(p, n, c2, c2_out, ek_col) < 0 ||
      conv_arr2obj(p, n, v, v_out, ek_real) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_getqrows(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", nullptr};
  static const char *const oldkw[] = {"qcrows", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *out;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &out)) return nullptr;
  int n = 0;
  if (call(KLVOgetqrows, "KLVOgetqrows", p, p->prob, &n, nullptr)) return check_result(self, nullptr);
  WorkArray rows;
  if (!allocate(rows, n, ek_row)) return nullptr;
  if (call(KLVOgetqrows, "KLVOgetqrows", p, p->prob, &n, rows.as<int>())) return check_result(self, nullptr);
  if (conv_arr2obj(p, n, rows, out, ek_row) < 0) return nullptr;
  Py_RETURN_NONE;
}

// ---- names and catalogue look-ups

// "O&" converter for an optional bound whose default depends on the problem: None keeps the
// default the variable holds, so that the signature can say None.
static int optional_int32(PyObject *obj, void *value) { return obj == Py_None ? 1 : int32_converter(obj, value); }

static PyObject *m_getnamelist(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"type", "first", "last", nullptr};
  static const char *const oldkw[] = {"type", "start", "end", nullptr};
  ProblemObject *p = problem_of(self);
  int type, first = 0, last = INT_MIN;  // INT_MIN: through the last element
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "i|iO&", kw, oldkw, 5, &type, &first,
                                                     optional_int32, &last))
    return nullptr;
  int attrib = type == KLVO_NAMES_ROWS      ? KLVO_ATTR_ORIGINALROWS
               : type == KLVO_NAMES_COLUMNS ? KLVO_ATTR_ORIGINALCOLS
               : type == KLVO_NAMES_SETS    ? KLVO_ATTR_ORIGINALSETS
                                            : 0;
  if (!attrib) return interface_error("Argument type must be a value from the kelvo.Namespaces enum");
  int count;
  if (read_int_attrib(p, attrib, &count) < 0) return nullptr;
  if (count == 0) return interface_error("No names for type chosen");
  if (last == INT_MIN) last = count - 1;
  if (first < 0 || first > last || last >= count) {
    PyErr_Format(g.InterfaceError,
                 "Arguments %s and %s must be such that 0 <= %s <= %s and both must be within the number of rows, "
                 "columns, or sets",
                 "first", "last", "first", "last");
    return nullptr;
  }
  int needed = 0;
  if (call(KLVOgetnamelist, "KLVOgetnamelist", p, p->prob, type, nullptr, 0, &needed, first, last))
    return check_result(self, nullptr);
  std::string buffer;
  try {
    buffer.resize(static_cast<size_t>(needed) + 1);
  } catch (const std::bad_alloc &) {
    return interface_error("Could not allocate enough memory for reading all names; please try with a smaller range");
  }
  if (call(KLVOgetnamelist, "KLVOgetnamelist", p, p->prob, type, &buffer[0], needed, &needed, first, last))
    return check_result(self, nullptr);
  int n = last - first + 1;
  nb::object list = nb::steal(PyList_New(n));
  if (!list) return nullptr;
  const char *text = buffer.data();
  for (int i = 0; i < n; ++i) {
    size_t len = std::strlen(text);
    PyObject *name = PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(len), "replace");
    if (!name) return nullptr;
    PyList_SET_ITEM(list.ptr(), i, name);
    text += len + 1;
  }
  return list.release().ptr();
}

static PyObject *m_getIndexFromName(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"type", "name", nullptr};
  ProblemObject *p = problem_of(self);
  int type, index;
  const char *name;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "is", kw, nullptr, 5, &type, &name)) return nullptr;
  if (call(KLVOgetindex, "KLVOgetindex", p, p->prob, type, name, &index)) return check_result(self, nullptr);
  return PyLong_FromLong(index);
}

template <int (*Fn)(KLVOprob, const char *, int *, int *)>
static PyObject *catalogue_info(PyObject *self, PyObject *args, PyObject *kwargs, const char *function) {
  static const char *const kw[] = {"name", nullptr};
  ProblemObject *p = problem_of(self);
  const char *name;
  int id, type;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "s", kw, nullptr, 5, &name)) return nullptr;
  if (call(Fn, function, p, p->prob, name, &id, &type)) return check_result(self, nullptr);
  return Py_BuildValue("(ii)", id, type);
}

static PyObject *m_getattribinfo(PyObject *self, PyObject *args, PyObject *kwargs) {
  return catalogue_info<KLVOgetattribinfo>(self, args, kwargs, "KLVOgetattribinfo");
}

static PyObject *m_getcontrolinfo(PyObject *self, PyObject *args, PyObject *kwargs) {
  return catalogue_info<KLVOgetcontrolinfo>(self, args, kwargs, "KLVOgetcontrolinfo");
}

static PyObject *m_getlasterror(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  char text[error_text_size + 1] = {0};
  if (call(KLVOgetlasterror, "KLVOgetlasterror", p, p->prob, text)) return check_result(self, nullptr);
  return PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)), "replace");
}

static PyObject *m_setprobname(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"probname", nullptr};
  ProblemObject *p = problem_of(self);
  const char *name;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "s", kw, nullptr, 5, &name)) return nullptr;
  if (call(KLVOsetprobname, "KLVOsetprobname", p, p->prob, name)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// ---- controls

static PyObject *m_copycontrols(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"src", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *src;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, nullptr, 5, &src)) return nullptr;
  if (!is_problem(src)) return interface_error("A problem must be passed for copying controls");
  ProblemObject *from = problem_of(src);
  if (require_handle(from) < 0) return nullptr;
  if (call(KLVOcopycontrols, "KLVOcopycontrols", p, p->prob, from->prob)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_setdefaultcontrol(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"control", nullptr};
  static const char *const oldkw[] = {"ipar", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *control;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &control)) return nullptr;
  int id;
  if (is_integer(control)) {
    if (int32_value(control, &id) < 0) return nullptr;
  } else if (PyUnicode_Check(control) || PyBytes_Check(control)) {
    nb::object name = nb::steal(normalise_name(control));
    if (!name) return nullptr;
    CatalogueEntry e;
    int found = find_entry(g.control_table, name.ptr(), &e);
    if (found < 0) return nullptr;
    if (found == 0) return interface_error("Incorrect control name");
    id = e.id;
  } else {
    return interface_error("Incorrect control name");
  }
  if (call(KLVOsetdefaultcontrol, "KLVOsetdefaultcontrol", p, p->prob, id)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_setdefaults(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  if (call(KLVOsetdefaults, "KLVOsetdefaults", p, p->prob)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// ---- computations from a given solution

// A vector argument of exactly `size` values (None gives no array: the library's last one).
static int sized_vector(ProblemObject *p, PyObject *obj, int size, WorkArray &out) {
  LengthSlot n = size;
  return conv_obj2arr(p, &n, obj, ek_real, out);
}

static PyObject *m_calcobjective(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"solution", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *solution;
  int cols;
  WorkArray x;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, nullptr, 5, &solution) ||
      read_int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &cols) < 0 || sized_vector(p, solution, cols, x) < 0)
    return nullptr;
  double value;
  if (call(KLVOcalcobjective, "KLVOcalcobjective", p, p->prob, x.as<double>(), &value))
    return check_result(self, nullptr);
  return PyFloat_FromDouble(value);
}

static PyObject *m_calcslacks(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"solution", "slacks", nullptr};
  static const char *const oldkw[] = {"solution", "calculatedslacks", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *solution, *out;
  int cols, rows;
  WorkArray x, slacks;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &solution, &out) ||
      read_int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &cols) < 0 || read_int_attrib(p, KLVO_ATTR_ORIGINALROWS, &rows) < 0 ||
      sized_vector(p, solution, cols, x) < 0 || !allocate(slacks, rows, ek_real))
    return nullptr;
  if (call(KLVOcalcslacks, "KLVOcalcslacks", p, p->prob, x.as<double>(), slacks.as<double>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, rows, slacks, out, ek_real) < 0) return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_calcreducedcosts(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"duals", "solution", "djs", nullptr};
  static const char *const oldkw[] = {"duals", "solution", "calculateddjs", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *duals_obj, *solution, *out;
  int cols, rows;
  WorkArray duals, x, djs;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &duals_obj, &solution, &out) ||
      read_int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &cols) < 0 || read_int_attrib(p, KLVO_ATTR_ORIGINALROWS, &rows) < 0 ||
      sized_vector(p, duals_obj, rows, duals) < 0 || sized_vector(p, solution, cols, x) < 0 ||
      !allocate(djs, cols, ek_real))
    return nullptr;
  if (call(KLVOcalcreducedcosts, "KLVOcalcreducedcosts", p, p->prob, duals.as<double>(), x.as<double>(),
           djs.as<double>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, cols, djs, out, ek_real) < 0) return nullptr;
  Py_RETURN_NONE;
}

// ---- bounds (the pattern of the family)

static PyObject *m_chgbounds(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "bndtype", "bndval", nullptr};
  static const char *const oldkw[] = {"mindex", "qbtype", "bnd", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind, *bndtype, *bndval;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &colind, &bndtype, &bndval))
    return nullptr;
  LengthSlot n = -1;
  WorkArray cols, types, values;
  int count;
  if (conv_obj2arr(p, &n, colind, ek_col, cols) < 0 || conv_obj2arr(p, &n, bndtype, ek_char, types) < 0 ||
      conv_obj2arr(p, &n, bndval, ek_real, values) < 0 || array_count(n, &count) < 0)
    return nullptr;
  if (call(KLVOchgbounds, "KLVOchgbounds", p, p->prob, count, cols.as<int>(), types.as<char>(), values.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// getlb and getub: the values of columns first..last (all columns by default) into a list.
template <int (*Fn)(KLVOprob, double *, int, int)>
static PyObject *column_values(PyObject *self, PyObject *args, PyObject *kwargs, const char *const *kw,
                               const char *function) {
  ProblemObject *p = problem_of(self);
  PyObject *out, *first_obj = nullptr, *last_obj = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O|OO", kw, nullptr, 5, &out, &first_obj, &last_obj))
    return nullptr;
  int cols, first = 0, last;
  if (read_int_attrib(p, KLVO_ATTR_COLS, &cols) < 0) return nullptr;
  last = cols - 1;
  if ((first_obj && first_obj != Py_None && conv_obj2index(p, first_obj, ek_col, &first) < 0) ||
      (last_obj && last_obj != Py_None && conv_obj2index(p, last_obj, ek_col, &last) < 0))
    return nullptr;
  if (last < first) Py_RETURN_NONE;
  WorkArray values;
  values.data = array_allocator.allocate(sizeof(double) * (static_cast<size_t>(last) - first + 1));
  if (!values.data) return nullptr;
  if (call(Fn, function, p, p->prob, values.as<double>(), first, last)) return check_result(self, nullptr);
  if (conv_arr2obj(p, static_cast<int64_t>(last) - first + 1, values, out, ek_real) < 0) return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_getlb(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"lb", "first", "last", nullptr};
  return column_values<KLVOgetlb>(self, args, kwargs, kw, "KLVOgetlb");
}

static PyObject *m_getub(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"ub", "first", "last", nullptr};
  return column_values<KLVOgetub>(self, args, kwargs, kw, "KLVOgetub");
}


// ---- loading a whole problem

// The offsets of a start array must stay within the `size` entries given after them.
static int check_offsets(const int64_t *start, int64_t n, int64_t size) {
  for (int64_t i = 0; i < n; ++i)
    if (start[i] < 0 || start[i] > size) {
      PyErr_Format(g.InterfaceError, "Start offset %lld is outside the %lld entries given",
                   static_cast<long long>(start[i]), static_cast<long long>(size));
      return -1;
    }
  return 0;
}

static int short_array(int64_t expected, int64_t found) {
  PyErr_Format(g.InterfaceError, "Mismatched lengths in arguments: expected %lld, found %lld",
               static_cast<long long>(expected), static_cast<long long>(found));
  return -1;
}

// True when some but not all of the group's arguments are given.
static bool partial(std::initializer_list<PyObject *> group) {
  int n = 0, total = 0;
  for (PyObject *o : group) n += given(o), ++total;
  return n != 0 && n != total;
}

// After a load whose objects could not be made: an empty problem in place of the loaded one, so
// that the library and the object lists agree. The pending exception is kept.
static void load_empty_after_failure(ProblemObject *p) {
  keeping_error([&] {
    int outputlog = 0;
    bool have_log = call(KLVOgetintcontrol, "KLVOgetintcontrol", p, p->prob, KLVO_CONTROL_OUTPUTLOG, &outputlog) == 0;
    if (have_log) call(KLVOsetintcontrol, "KLVOsetintcontrol", p, p->prob, KLVO_CONTROL_OUTPUTLOG, 0);
    call(KLVOloadlp, "KLVOloadlp", p, p->prob, "", 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
         nullptr, nullptr, nullptr, nullptr);
    if (have_log) call(KLVOsetintcontrol, "KLVOsetintcontrol", p, p->prob, KLVO_CONTROL_OUTPUTLOG, outputlog);
    PyErr_Clear();
    clear_problem_objects(p);
  });
}

static PyObject *m_loadproblem(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {
      "probname", "rowtype", "rhs", "rng", "objcoef", "start", "collen", "rowind", "rowcoef", "lb",
      "ub", "objqcol1", "objqcol2", "objqcoef", "qrowind", "nrowqcoefs", "rowqcol1", "rowqcol2", "rowqcoef", "coltype",
      "entind", "limit", "settype", "setstart", "setind", "refval", "colnames", "rownames", "unlinked", nullptr};
  static const char *const oldkw[] = {
      "probname", "qrtypes", "rhs", "range", "obj", "mstart", "mnel", "mrwind", "dmatval", "dlb",
      "dub", "mqcol1", "mqcol2", "dqe", "qcrows", "qcnquads", "qcmqcol1", "qcmqcol2", "qcdqval", "qgtype",
      "mgcols", "dlim", "qstype", "msstart", "mscols", "dref", "colnames", "rownames", "unlinked", nullptr};
  ProblemObject *p = problem_of(self);
  const char *probname;
  PyObject *rowtype, *rhs, *rng, *objcoef, *start, *collen, *rowind, *rowcoef, *lb, *ub;
  PyObject *objqcol1 = nullptr, *objqcol2 = nullptr, *objqcoef = nullptr, *qrowind = nullptr, *nrowqcoefs = nullptr,
           *rowqcol1 = nullptr, *rowqcol2 = nullptr, *rowqcoef = nullptr, *coltype = nullptr, *entind = nullptr,
           *limit = nullptr, *settype = nullptr, *setstart = nullptr, *setind = nullptr, *refval = nullptr,
           *colnames = nullptr, *rownames = nullptr, *unlinked_arg = nullptr;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "sOOOOOOOOOO|OOOOOOOOOOOOOOOOOO", kw, oldkw, 5, &probname, &rowtype, &rhs, &rng,
                      &objcoef, &start, &collen, &rowind, &rowcoef, &lb, &ub, &objqcol1, &objqcol2, &objqcoef,
                      &qrowind, &nrowqcoefs, &rowqcol1, &rowqcol2, &rowqcoef, &coltype, &entind, &limit, &settype,
                      &setstart, &setind, &refval, &colnames, &rownames, &unlinked_arg))
    return nullptr;
  // Optional parts come whole or not at all.
  if (partial({objqcol1, objqcol2, objqcoef}))
    return interface_error("Incomplete list of arguments specified for the quadratic objective component");
  if (partial({qrowind, nrowqcoefs, rowqcol1, rowqcol2, rowqcoef}))
    return interface_error("Incomplete list of arguments specified for the quadratic rows component");
  if (partial({coltype, entind}) || (given(limit) && !given(coltype)))
    return interface_error("Incomplete list of arguments specified for the global entities");
  if (partial({settype, setstart, setind, refval}))
    return interface_error("Incomplete list of arguments specified for the SOS");
  bool unlinked;
  if (unlinked_argument(p, unlinked_arg, true, &unlinked) < 0) return nullptr;

  // Rows, columns and the matrix.
  LengthSlot m_slot = -1, n_slot = -1, coef_slot = -1, start_len = -1;
  WorkArray types, rhss, rngs, obj, lens, starts, rows, coefs, lbs, ubs;
  if (conv_obj2arr(p, &m_slot, rowtype, ek_char, types) < 0 || conv_obj2arr(p, &m_slot, rhs, ek_real, rhss) < 0 ||
      conv_obj2arr(p, &m_slot, rng, ek_real, rngs) < 0 || conv_obj2arr(p, &n_slot, objcoef, ek_real, obj) < 0 ||
      conv_obj2arr(p, &start_len, start, ek_int64, starts) < 0 || conv_obj2arr(p, &n_slot, collen, ek_int, lens) < 0 ||
      conv_obj2arr(p, &coef_slot, rowind, ek_row, rows) < 0 || conv_obj2arr(p, &coef_slot, rowcoef, ek_real, coefs) < 0 ||
      conv_obj2arr(p, &n_slot, lb, ek_real, lbs) < 0 || conv_obj2arr(p, &n_slot, ub, ek_real, ubs) < 0)
    return nullptr;
  int m, n;
  if (array_count(m_slot, &m) < 0 || array_count(n_slot, &n) < 0) return nullptr;
  if (m > 0 && !types.data) return missing_arguments({"rowtype"}), nullptr;
  int64_t ncoefs = 0;
  if (n > 0 && starts.data) {
    const int64_t *s = starts.as<int64_t>();
    int64_t given_coefs = coef_slot < 0 ? 0 : coef_slot;
    if (lens.data) {
      if (starts.count < n) return interface_error("The mstart array must contain an element for every column");
      ncoefs = s[n - 1] + lens.as<int>()[n - 1];
      for (int j = 0; j < n; ++j) {
        int len = lens.as<int>()[j];
        if (len < 0 || s[j] < 0 || s[j] + len > given_coefs) return short_array(s[j] + len, given_coefs), nullptr;
      }
    } else {
      if (starts.count < static_cast<int64_t>(n) + 1)
        return interface_error("The mstart array must contain an element for every column plus one more element");
      ncoefs = s[n];
      if (ncoefs > given_coefs) return short_array(ncoefs, given_coefs), nullptr;
      if (check_offsets(s, n + 1, ncoefs) < 0) return nullptr;
    }
    if (ncoefs > 0 && (!rows.data || !coefs.data)) return missing_arguments({"rowind", "rowcoef"}), nullptr;
  }

  // Quadratic objective.
  LengthSlot q_slot = -1;
  WorkArray q1, q2, qv;
  if (conv_obj2arr(p, &q_slot, objqcol1, ek_col, q1) < 0 || conv_obj2arr(p, &q_slot, objqcol2, ek_col, q2) < 0 ||
      conv_obj2arr(p, &q_slot, objqcoef, ek_real, qv) < 0)
    return nullptr;
  int64_t nq = q_slot < 0 ? 0 : q_slot;

  // Quadratic rows: the counts per row must add up to the terms given.
  LengthSlot qr_slot = -1, qc_slot = -1;
  WorkArray qrows, qcounts, r1, r2, rv;
  if (conv_obj2arr(p, &qr_slot, qrowind, ek_row, qrows) < 0 || conv_obj2arr(p, &qr_slot, nrowqcoefs, ek_int64, qcounts) < 0 ||
      conv_obj2arr(p, &qc_slot, rowqcol1, ek_col, r1) < 0 || conv_obj2arr(p, &qc_slot, rowqcol2, ek_col, r2) < 0 ||
      conv_obj2arr(p, &qc_slot, rowqcoef, ek_real, rv) < 0)
    return nullptr;
  int nqrows;
  if (array_count(qr_slot, &nqrows) < 0) return nullptr;
  int64_t qterms = 0;
  for (int i = 0; i < nqrows; ++i) {
    int64_t c = qcounts.as<int64_t>()[i];
    if (c < 0) return interface_error("Negative count of quadratic row terms");
    qterms += c;
  }
  if (given(qrowind) && qterms != (qc_slot < 0 ? 0 : qc_slot)) return short_array(qterms, qc_slot < 0 ? 0 : qc_slot), nullptr;

  // Entities and sets.
  LengthSlot e_slot = -1, s_slot = -1, si_slot = -1, ss_len = -1;
  WorkArray etypes, ecols, elimits, stypes, sstarts, scols, srefs;
  if (conv_obj2arr(p, &e_slot, coltype, ek_char, etypes) < 0 || conv_obj2arr(p, &e_slot, entind, ek_col, ecols) < 0 ||
      conv_obj2arr(p, &e_slot, limit, ek_real, elimits) < 0 || conv_obj2arr(p, &s_slot, settype, ek_char, stypes) < 0 ||
      conv_obj2arr(p, &ss_len, setstart, ek_int64, sstarts) < 0 || conv_obj2arr(p, &si_slot, setind, ek_col, scols) < 0 ||
      conv_obj2arr(p, &si_slot, refval, ek_real, srefs) < 0)
    return nullptr;
  int nentities, nsets;
  if (array_count(e_slot, &nentities) < 0 || array_count(s_slot, &nsets) < 0) return nullptr;
  if (nsets > 0) {
    if (sstarts.count < static_cast<int64_t>(nsets) + 1) return short_array(nsets + 1, sstarts.count), nullptr;
    if (check_offsets(sstarts.as<int64_t>(), nsets + 1, si_slot < 0 ? 0 : si_slot) < 0) return nullptr;
  }

  std::string col_names, row_names;
  if ((given(colnames) && conv_names(colnames, n, col_names) < 0) ||
      (given(rownames) && conv_names(rownames, m, row_names) < 0))
    return nullptr;
  if (unlinked && nsets > 0)
    return model_error("Loading special ordered sets into unlinked objects is not implemented yet");
  if (require_idle(p, "loadproblem") < 0) return nullptr;
  ChangeScope change(p);

  // The narrowest loader that holds every part given. A refused load keeps the old model and
  // its objects.
  const char *name = *probname ? probname : "noname";
  bool discrete = nentities > 0 || nsets > 0;
  const int *len = lens.as<int>();
  int rc;
  if (given(qrowind) && discrete)
    rc = call(KLVOloadmiqcqp64, "KLVOloadmiqcqp64", p, p->prob, name, n, m, types.as<char>(), rhss.as<double>(),
              rngs.as<double>(), obj.as<double>(), starts.as<int64_t>(), len, rows.as<int>(), coefs.as<double>(),
              lbs.as<double>(), ubs.as<double>(), nq, q1.as<int>(), q2.as<int>(), qv.as<double>(), nqrows,
              qrows.as<int>(), qcounts.as<int64_t>(), r1.as<int>(), r2.as<int>(), rv.as<double>(), nentities, nsets,
              etypes.as<char>(), ecols.as<int>(), elimits.as<double>(), stypes.as<char>(), sstarts.as<int64_t>(),
              scols.as<int>(), srefs.as<double>());
  else if (given(qrowind))
    rc = call(KLVOloadqcqp64, "KLVOloadqcqp64", p, p->prob, name, n, m, types.as<char>(), rhss.as<double>(),
              rngs.as<double>(), obj.as<double>(), starts.as<int64_t>(), len, rows.as<int>(), coefs.as<double>(),
              lbs.as<double>(), ubs.as<double>(), nq, q1.as<int>(), q2.as<int>(), qv.as<double>(), nqrows,
              qrows.as<int>(), qcounts.as<int64_t>(), r1.as<int>(), r2.as<int>(), rv.as<double>());
  else if (given(objqcol1) && discrete)
    rc = call(KLVOloadmiqp64, "KLVOloadmiqp64", p, p->prob, name, n, m, types.as<char>(), rhss.as<double>(),
              rngs.as<double>(), obj.as<double>(), starts.as<int64_t>(), len, rows.as<int>(), coefs.as<double>(),
              lbs.as<double>(), ubs.as<double>(), nq, q1.as<int>(), q2.as<int>(), qv.as<double>(), nentities, nsets,
              etypes.as<char>(), ecols.as<int>(), elimits.as<double>(), stypes.as<char>(), sstarts.as<int64_t>(),
              scols.as<int>(), srefs.as<double>());
  else if (given(objqcol1))
    rc = call(KLVOloadqp64, "KLVOloadqp64", p, p->prob, name, n, m, types.as<char>(), rhss.as<double>(),
              rngs.as<double>(), obj.as<double>(), starts.as<int64_t>(), len, rows.as<int>(), coefs.as<double>(),
              lbs.as<double>(), ubs.as<double>(), nq, q1.as<int>(), q2.as<int>(), qv.as<double>());
  else if (discrete)
    rc = call(KLVOloadmip64, "KLVOloadmip64", p, p->prob, name, n, m, types.as<char>(), rhss.as<double>(),
              rngs.as<double>(), obj.as<double>(), starts.as<int64_t>(), len, rows.as<int>(), coefs.as<double>(),
              lbs.as<double>(), ubs.as<double>(), nentities, nsets, etypes.as<char>(), ecols.as<int>(),
              elimits.as<double>(), stypes.as<char>(), sstarts.as<int64_t>(), scols.as<int>(), srefs.as<double>());
  else
    rc = call(KLVOloadlp64, "KLVOloadlp64", p, p->prob, name, n, m, types.as<char>(), rhss.as<double>(),
              rngs.as<double>(), obj.as<double>(), starts.as<int64_t>(), len, rows.as<int>(), coefs.as<double>(),
              lbs.as<double>(), ubs.as<double>());
  if (rc) return check_result(self, nullptr);

  // Names, then the objects of the new model.
  rc = 0;
  if (!col_names.empty())
    rc = call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_COLUMNS, col_names.data(), 0, n - 1);
  if (rc == 0 && !row_names.empty())
    rc = call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_ROWS, row_names.data(), 0, m - 1);
  if (rc != 0) raise_error(self);
  if (rc != 0 || clear_problem_objects(p) < 0 || append_column_objects(p, 0, n, unlinked) < 0 ||
      append_row_objects(p, 0, m, unlinked) < 0 || append_set_objects(p, 0, nsets, unlinked) < 0) {
    load_empty_after_failure(p);
    return nullptr;
  }
  Py_RETURN_NONE;
}

PyMethodDef problem_methods_matrix[] = {
    keywords_method("addcols", m_addcols,
                    "addcols(objcoef, start, rowind, rowcoef, lb, ub, names=None, types=None, unlinked=None)\n"
                    "Adds columns given by their objective, matrix entries (start holds one offset per column plus\n"
                    "one) and bounds; creates their kelvo.var objects."),
    keywords_method("addrows", m_addrows,
                    "addrows(rowtype, rhs, start, colind, rowcoef, range=None, names=None, unlinked=None)\n"
                    "Adds rows given by type, right-hand side and matrix entries (start holds one offset per row\n"
                    "plus one); creates their kelvo.constraint objects."),
    keywords_method("addnames", m_addnames, "addnames(type, names, first, last)\nNames rows (1), columns (2) or sets (3) first..last."),
    keywords_method("addobj", m_addobj,
                    "addobj(colind, objcoef, priority=0, weight=1)\nAppends a further linear objective."),
    keywords_method("addqmatrix", m_addqmatrix,
                    "addqmatrix(row, rowqcol1, rowqcol2, rowqcoef)\nAdds quadratic terms to a row."),
    keywords_method("chgbounds", m_chgbounds,
                    "chgbounds(colind, bndtype, bndval)\nChanges bounds: bndtype 'L' lower, 'U' upper, 'B' both, per column."),
    keywords_method("chgcoef", m_chgcoef, "chgcoef(row, col, coef)\nSets one matrix coefficient (0 removes it)."),
    keywords_method("chgcoltype", m_chgcoltype, "chgcoltype(colind, coltype)\nChanges column types ('C', 'I', 'B', 'S', 'R', 'P')."),
    keywords_method("chgglblimit", m_chgglblimit,
                    "chgglblimit(colind, limit)\nSets the limit of semi-continuous, semi-integer and partial-integer columns."),
    keywords_method("chgmcoef", m_chgmcoef, "chgmcoef(rowind, colind, rowcoef)\nSets several matrix coefficients."),
    keywords_method("chgmqobj", m_chgmqobj,
                    "chgmqobj(objqcol1, objqcol2, objqcoef)\nSets several quadratic objective coefficients."),
    keywords_method("chgobj", m_chgobj,
                    "chgobj(colind, objcoef)\nSets objective coefficients; column -1 sets minus the objective constant."),
    keywords_method("chgobjn", m_chgobjn, "chgobjn(objidx, colind, objcoef)\nSets coefficients of objective objidx."),
    keywords_method("chgobjsense", m_chgobjsense, "chgobjsense(objsense)\n1 minimises, any other value maximises."),
    keywords_method("chgqobj", m_chgqobj, "chgqobj(objqcol1, objqcol2, objqcoef)\nSets one quadratic objective coefficient."),
    keywords_method("chgqrowcoeff", m_chgqrowcoeff,
                    "chgqrowcoeff(row, rowqcol1, rowqcol2, rowqcoef)\nSets one quadratic coefficient of a row."),
    keywords_method("chgrhs", m_chgrhs, "chgrhs(rowind, rhs)\nChanges right-hand sides."),
    keywords_method("chgrhsrange", m_chgrhsrange, "chgrhsrange(rowind, rng)\nMakes rows range rows with the given ranges."),
    keywords_method("chgrowtype", m_chgrowtype, "chgrowtype(rowind, rowtype)\nChanges row types ('L', 'G', 'E', 'R', 'N')."),
    keywords_method("delobj", m_delobj, "delobj(objidx)\nDeletes objective objidx (> 0)."),
    keywords_method("delqmatrix", m_delqmatrix, "delqmatrix(row)\nRemoves the quadratic terms of a row."),
    keywords_method("getcoef", m_getcoef, "getcoef(row, col)\nReturns one matrix coefficient."),
    keywords_method("getcols", m_getcols,
                    "getcols(start, rowind, rowcoef, maxcoefs, first, last)\nFills the lists with columns first..last of the matrix."),
    keywords_method("getrows", m_getrows,
                    "getrows(start, colind, colcoef, maxcoefs, first, last)\nFills the lists with rows first..last of the matrix."),
    keywords_method("getmqobj", m_getmqobj,
                    "getmqobj(start, colind, objqcoef, maxcoefs, first, last)\nFills the lists with columns of the quadratic objective."),
    keywords_method("getcoltype", m_getcoltype, "getcoltype(coltype, first, last)\nFills the list with column types."),
    keywords_method("getlb", m_getlb, "getlb(lb, first=0, last=cols-1)\nFills the list lb with the lower bounds of the columns."),
    keywords_method("getub", m_getub, "getub(ub, first=0, last=cols-1)\nFills the list ub with the upper bounds of the columns."),
    keywords_method("getobj", m_getobj, "getobj(objcoef, first, last)\nFills the list with objective coefficients."),
    keywords_method("getobjn", m_getobjn, "getobjn(objidx, objcoef, first, last)\nFills the list with coefficients of objective objidx."),
    keywords_method("getqobj", m_getqobj, "getqobj(objqcol1, objqcol2)\nReturns one quadratic objective coefficient."),
    keywords_method("getqrowcoeff", m_getqrowcoeff,
                    "getqrowcoeff(row, rowqcol1, rowqcol2)\nReturns one quadratic coefficient of a row."),
    keywords_method("getqrowqmatrix", m_getqrowqmatrix,
                    "getqrowqmatrix(row, start, colind, rowqcoef, maxcoefs, first, last)\nFills the lists with columns of a row's quadratic matrix."),
    keywords_method("getqrowqmatrixtriplets", m_getqrowqmatrixtriplets,
                    "getqrowqmatrixtriplets(row, rowqcol1=None, rowqcol2=None, rowqcoef=None)\nFills the lists with a row's quadratic terms."),
    keywords_method("getqrows", m_getqrows, "getqrows(rowind)\nFills the list with the rows that have quadratic terms."),
    keywords_method("getrhs", m_getrhs, "getrhs(rhs, first, last)\nFills the list with right-hand sides."),
    keywords_method("getrhsrange", m_getrhsrange, "getrhsrange(rng, first, last)\nFills the list with row ranges."),
    keywords_method("getrowtype", m_getrowtype, "getrowtype(rowtype, first, last)\nFills the list with row types."),
    keywords_method("getnamelist", m_getnamelist,
                    "getnamelist(type, first=0, last=count-1)\nReturns the names of rows (1), columns (2) or sets (3)."),
    keywords_method("getIndexFromName", m_getIndexFromName,
                    "getIndexFromName(type, name)\nReturns the index of the element of that name, or -1."),
    keywords_method("getattribinfo", m_getattribinfo, "getattribinfo(name)\nReturns (id, type) of an attribute."),
    keywords_method("getcontrolinfo", m_getcontrolinfo, "getcontrolinfo(name)\nReturns (id, type) of a control."),
    plain_method("getlasterror", m_getlasterror, "getlasterror()\nReturns the library's last error text for this problem."),
    keywords_method("loadproblem", m_loadproblem,
                    "loadproblem(probname, rowtype, rhs, rng, objcoef, start, collen, rowind, rowcoef, lb, ub, ...)\n"
                    "Replaces the problem by the one given as arrays."),
    keywords_method("setprobname", m_setprobname, "setprobname(probname)\nRenames the problem."),
    keywords_method("copycontrols", m_copycontrols, "copycontrols(src)\nCopies the controls of another problem."),
    keywords_method("setdefaultcontrol", m_setdefaultcontrol,
                    "setdefaultcontrol(control)\nResets one control (by id or name) to its default."),
    plain_method("setdefaults", m_setdefaults, "setdefaults()\nResets every control to its default."),
    keywords_method("calcobjective", m_calcobjective, "calcobjective(solution)\nReturns the objective value of a solution."),
    keywords_method("calcslacks", m_calcslacks, "calcslacks(solution, slacks)\nFills the list with the slacks of a solution."),
    keywords_method("calcreducedcosts", m_calcreducedcosts,
                    "calcreducedcosts(duals, solution, djs)\nFills the list with the reduced costs for given duals."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
