// The camel-case problem methods over the library functions that take every array with its
// length: any iterable for an array, errors naming the argument and element, new lists as
// results, and the problem's object lists kept in step with deletions and added sets.
#include <algorithm>
#include <climits>
#include <new>
#include <string>
#include <vector>

#include "api/convert.h"
#include "model/constraint.h"
#include "model/model.h"
#include "model/sos.h"
#include "model/var.h"
#include "module/frame.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

// One method call: the method's name for messages.
struct Method {
  ProblemObject *p;
  const char *name;

  // The guard and the unlinked-objects refusal, both before any argument is looked at.
  bool start() const {
    if (require_handle(p) < 0) return false;
    if (problem_unlinked(p)) {
      PyErr_Format(g.InterfaceError, "Cannot call problem.%s on problems with unlinked objects", name);
      return false;
    }
    return true;
  }

  // The pending exception replaced by RuntimeError "Exception in problem.NAME: text".
  void internal_failure() const {
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) return;
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    nb::object t = nb::steal(type), v = nb::steal(value), b = nb::steal(tb);
    nb::object text = nb::steal(v.ptr() ? PyObject_Str(v.ptr()) : nullptr);
    if (!text) PyErr_Clear();
    PyErr_Format(PyExc_RuntimeError, "Exception in problem.%s: %s", name,
                 text ? PyUnicode_AsUTF8(text.ptr()) : "(error)");
  }

  // Objects are refused inside a callback and on a presolved problem. 0 or -1.
  int objects_allowed(bool used, const char *arg) const {
    if (!used) return 0;
    bool allowed = p->parent == nullptr;
    if (allowed) {
      int state;
      if (read_int_attrib(p, KLVO_ATTR_PRESOLVESTATE, &state) < 0) return -1;
      allowed = (state & 6) == 0;
    }
    if (allowed) return 0;
    PyErr_Format(g.InterfaceError, "Cannot pass objects in arg '%s' when problem is presolved or in a callback", arg);
    return -1;
  }
};

enum class Kind { row, col, set, character, int32, int64, real };

int interface_fail(const char *message) {
  PyErr_SetString(g.InterfaceError, message);
  return -1;
}

// A Python int (not bool's sake: bool is an int) read as 64 bits; 1 when obj is an int, 0 when
// it is not, -1 with OverflowError beyond 64 bits.
int long_value(PyObject *obj, long long *value) {
  if (!PyLong_Check(obj)) return 0;
  *value = PyLong_AsLongLong(obj);
  return (*value == -1 && PyErr_Occurred()) ? -1 : 1;
}

int index_element(long long v, int *out, const char *invalid) {
  if (v >= (1LL << 31) || v < INT_MIN) return interface_fail(invalid);
  *out = static_cast<int>(v);
  return 0;
}

// One element of an index kind. Sets *objects when it was a modelling object.
int index_of(const Method &m, PyObject *item, Kind kind, int *out, bool *objects) {
  long long v;
  int r = long_value(item, &v);
  if (r < 0) return -1;
  switch (kind) {
    case Kind::row:
      if (r) return index_element(v, out, "Invalid constraint index");
      if (!is_constraint(item)) return interface_fail("Value is not a constraint or constraint index");
      *objects = true;
      return (*out = resolve_row(item, m.p)) < 0 ? -1 : 0;
    case Kind::col:
      if (r) return index_element(v, out, "Invalid variable index");
      if (!is_var(item)) return interface_fail("Value is not a variable or variable index");
      *objects = true;
      return (*out = var_column(as_var(item), m.p)) < 0 ? -1 : 0;
    default:
      if (r) return index_element(v, out, "Invalid SOS index");
      if (!is_sos(item)) return interface_fail("Value is not a SOS or SOS index");
      *objects = true;
      return (*out = sos_index(as_sos(item), m.p)) < 0 ? -1 : 0;
  }
}

int too_big() {
  PyErr_SetString(PyExc_OverflowError, "int too big to convert");
  return -1;
}

template <class T>
int element(const Method &m, PyObject *item, Kind kind, T *out, bool *objects) {
  long long v;
  if constexpr (std::is_same_v<T, int>) {
    if (kind != Kind::int32) return index_of(m, item, kind, out, objects);
    int r = long_value(item, &v);
    if (r < 0) return -1;
    if (!r) return interface_fail("Value is not an integer");
    if (v > INT_MAX || v < -INT_MAX) return too_big();
    *out = static_cast<int>(v);
    return 0;
  } else if constexpr (std::is_same_v<T, int64_t>) {
    int r = long_value(item, &v);
    if (r < 0) return -1;
    if (!r) return interface_fail("Value is not an integer");
    *out = v;
    return 0;
  } else if constexpr (std::is_same_v<T, char>) {
    int r = long_value(item, &v);
    if (r < 0) return -1;
    if (!r) {
      if (!PyUnicode_Check(item)) return interface_fail("Value is not an character");
      if (PyUnicode_GET_LENGTH(item) != 1) return interface_fail("Value is not a single character");
      v = PyUnicode_READ_CHAR(item, 0);
    }
    if (v < 0 || v > 127) return too_big();
    *out = static_cast<char>(v);
    return 0;
  } else {
    if (PyFloat_Check(item)) {
      *out = PyFloat_AsDouble(item);
      return (*out == -1.0 && PyErr_Occurred()) ? -1 : 0;
    }
    if (!PyLong_Check(item)) return interface_fail("Value is not a number");
    int overflow = 0;
    v = PyLong_AsLongLongAndOverflow(item, &overflow);
    if (v == -1 && PyErr_Occurred()) return -1;
    constexpr long long exact = 1LL << 53;
    if (overflow || v > exact || v < -exact) return too_big();
    *out = static_cast<double>(v);
    return 0;
  }
}

// The iterable conversion: every element of obj into out. An element that fails gives
// InterfaceError "Error in element K of argument 'NAME': reason"; an iterator that raises is the
// method's internal failure. 0 or -1.
template <class T>
int convert(const Method &m, PyObject *obj, Kind kind, const char *arg, std::vector<T> &out, bool *objects) {
  out.clear();
  try {
    Py_ssize_t size = PyObject_LengthHint(obj, 0);
    if (size < 0) PyErr_Clear();
    else out.reserve(static_cast<size_t>(size));
    nb::object it = nb::steal(PyObject_GetIter(obj));
    if (!it) {
      PyErr_Clear();
      PyErr_Format(g.InterfaceError, "Argument '%s' must be iterable", arg);
      return -1;
    }
    while (true) {
      nb::object item = nb::steal(PyIter_Next(it.ptr()));
      if (!item) break;
      T value{};
      if (element<T>(m, item.ptr(), kind, &value, objects) < 0) {
        if (PyErr_ExceptionMatches(PyExc_MemoryError)) return -1;
        PyObject *type, *exc, *tb;
        PyErr_Fetch(&type, &exc, &tb);
        PyErr_NormalizeException(&type, &exc, &tb);
        nb::object t = nb::steal(type), e = nb::steal(exc), b = nb::steal(tb);
        const char *reason = "(none)";
        nb::object text;
        if (e) {
          text = nb::steal(PyObject_Str(e.ptr()));
          const char *utf8 = text ? PyUnicode_AsUTF8(text.ptr()) : nullptr;
          if (!utf8) PyErr_Clear();
          reason = utf8 ? utf8 : "(error)";
        }
        PyErr_Format(g.InterfaceError, "Error in element %zd of argument '%s': %s", static_cast<Py_ssize_t>(out.size()),
                     arg, reason);
        return -1;
      }
      out.push_back(value);
    }
    if (PyErr_Occurred()) {
      m.internal_failure();
      return -1;
    }
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return -1;
  }
  return 0;
}

// A single-valued argument (iis, parsed, first, ...): a failure becomes InterfaceError
// "Error in argument 'NAME': reason".
int wrap_argument(const char *arg) {
  if (PyErr_ExceptionMatches(PyExc_MemoryError)) return -1;
  PyObject *type, *exc, *tb;
  PyErr_Fetch(&type, &exc, &tb);
  PyErr_NormalizeException(&type, &exc, &tb);
  nb::object t = nb::steal(type), e = nb::steal(exc), b = nb::steal(tb);
  nb::object text = nb::steal(e ? PyObject_Str(e.ptr()) : nullptr);
  const char *utf8 = text ? PyUnicode_AsUTF8(text.ptr()) : nullptr;
  if (!utf8) PyErr_Clear();
  PyErr_Format(g.InterfaceError, "Error in argument '%s': %s", arg, utf8 ? utf8 : "(error)");
  return -1;
}

int same_size(size_t a, size_t b, const char *first, const char *second) {
  if (a == b) return 0;
  PyErr_Format(g.InterfaceError, "Argument '%s' must be the same size as argument '%s'", first, second);
  return -1;
}

int count_of(size_t n, int *count) {
  if (n > static_cast<size_t>(INT_MAX)) return too_big();
  *count = static_cast<int>(n);
  return 0;
}

PyObject *library_failed(PyObject *self) { return check_result(self, nullptr); }

// ---- Deleting rows, columns and sets

PyObject *delete_method(PyObject *self, PyObject *args, PyObject *kwargs, const char *name, const char *arg,
                        Kind kind, DeleteKind what) {
  Method m{problem_of(self), name};
  if (!m.start()) return nullptr;
  const char *kw[] = {arg, nullptr};
  PyObject *obj;
  if (!parse_keywords(args, kwargs, "O", kw, nullptr, 5, &obj)) return nullptr;
  std::vector<int> indices;
  bool objects = false;
  if (convert(m, obj, kind, arg, indices, &objects) < 0 || m.objects_allowed(objects, arg) < 0) return nullptr;
  if (require_idle(m.p, name) < 0) return nullptr;
  ChangeScope change(m.p);
  if (indices.empty()) {
    // Nothing to delete, but the library still sees the (empty) call.
    int rc = what == del_rows      ? call(KLVOdelrows_witharraysizes, "KLVOdelrows_witharraysizes", m.p, m.p->prob, 0,
                                          nullptr, 0)
             : what == del_columns ? call(KLVOdelcols_witharraysizes, "KLVOdelcols_witharraysizes", m.p, m.p->prob, 0,
                                          nullptr, 0)
                                   : call(KLVOdelsets_witharraysizes, "KLVOdelsets_witharraysizes", m.p, m.p->prob, 0,
                                          nullptr, 0);
    if (rc) return library_failed(self);
    Py_RETURN_NONE;
  }
  if (delete_indices(m.p, what, indices, true) < 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *m_delRows(PyObject *self, PyObject *args, PyObject *kwargs) {
  return delete_method(self, args, kwargs, "delRows", "rowind", Kind::row, del_rows);
}
PyObject *m_delCols(PyObject *self, PyObject *args, PyObject *kwargs) {
  return delete_method(self, args, kwargs, "delCols", "colind", Kind::col, del_columns);
}
PyObject *m_delSets(PyObject *self, PyObject *args, PyObject *kwargs) {
  return delete_method(self, args, kwargs, "delSets", "setind", Kind::set, del_sets);
}

// ---- Adding sets

PyObject *m_addSets(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "addSets"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"settype", "start", "colind", "refval", nullptr};
  PyObject *settype_o, *start_o, *colind_o, *refval_o;
  if (!parse_keywords(args, kwargs, "OOOO", kw, nullptr, 5, &settype_o, &start_o, &colind_o, &refval_o))
    return nullptr;
  std::vector<char> settype;
  std::vector<int64_t> start;
  std::vector<int> colind;
  std::vector<double> refval;
  bool objects = false, unused = false;
  if (convert(m, settype_o, Kind::character, "settype", settype, &unused) < 0 ||
      convert(m, start_o, Kind::int64, "start", start, &unused) < 0 ||
      convert(m, colind_o, Kind::col, "colind", colind, &objects) < 0 ||
      convert(m, refval_o, Kind::real, "refval", refval, &unused) < 0 || m.objects_allowed(objects, "colind") < 0 ||
      same_size(refval.size(), colind.size(), "refval", "colind") < 0)
    return nullptr;
  int nsets = 0, nstart = 0, nelems = 0;
  if (count_of(settype.size(), &nsets) < 0 || count_of(start.size(), &nstart) < 0 ||
      count_of(colind.size(), &nelems) < 0)
    return nullptr;
  if (require_idle(m.p, m.name) < 0) return nullptr;
  ChangeScope change(m.p);
  PyObject *list = m.p->sos;
  Py_ssize_t before = PyList_GET_SIZE(list);
  int sets = 0;
  if (read_int_attrib(m.p, KLVO_ATTR_ORIGINALSETS, &sets) < 0) return nullptr;
  // The new sets' objects go in first, so that a failure to make them leaves the library alone.
  bool failed = false;
  for (int k = 0; k < nsets && !failed; ++k) {
    nb::object s = nb::steal(new_linked_sos(m.p, sets + k));
    failed = !s || PyList_Append(list, s.ptr()) < 0;
  }
  if (!failed && call(KLVOaddsets64_witharraysizes, "KLVOaddsets64_witharraysizes", m.p, m.p->prob, nsets,
                      static_cast<int64_t>(nelems), settype.data(), nsets, start.data(), nstart, colind.data(), nelems,
                      refval.data(), nelems) != 0) {
    check_result(self, nullptr);
    failed = true;
  }
  if (!failed) Py_RETURN_NONE;
  // Take the appended objects out again, keeping the error that caused it.
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  for (Py_ssize_t i = before; i < PyList_GET_SIZE(list); ++i) as_sos(PyList_GET_ITEM(list, i))->owner = deleted_marker;
  if (PyList_SetSlice(list, before, PyList_GET_SIZE(list), nullptr) < 0) {
    PyObject *ct, *cv, *ctb;
    PyErr_Fetch(&ct, &cv, &ctb);
    nb::object a = nb::steal(ct), b = nb::steal(cv), c = nb::steal(ctb);
    nb::object text = nb::steal(b ? PyObject_Str(b.ptr()) : nullptr);
    const char *utf8 = text ? PyUnicode_AsUTF8(text.ptr()) : nullptr;
    if (!utf8) PyErr_Clear();
    if (PyErr_WarnFormat(PyExc_RuntimeWarning, 1, "Failed to clean up while handling an error in addSets: %s",
                         utf8 ? utf8 : "(error)") < 0)
      PyErr_Clear();
  }
  PyErr_Restore(type, value, tb);
  return nullptr;
}

// ---- Pivoting

PyObject *m_pivot(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "pivot"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"enter", "leave", nullptr};
  PyObject *enter_o, *leave_o;
  if (!parse_keywords(args, kwargs, "OO", kw, nullptr, 5, &enter_o, &leave_o)) return nullptr;
  int enter, leave;
  if (conv_obj2combined(m.p, enter_o, &enter) < 0) return wrap_argument("enter"), nullptr;
  if (conv_obj2combined(m.p, leave_o, &leave) < 0) return wrap_argument("leave"), nullptr;
  auto object = [](PyObject *o) { return is_var(o) || is_constraint(o); };
  if (m.objects_allowed(object(enter_o), "enter") < 0 || m.objects_allowed(object(leave_o), "leave") < 0)
    return nullptr;
  if (call(KLVOpivot, "KLVOpivot", m.p, m.p->prob, enter, leave)) return library_failed(self);
  Py_RETURN_NONE;
}

// ---- Sparse basis transforms

template <int (*Fn)(KLVOprob, double *, int, int *, int, int *)>
PyObject *sparse_transform(PyObject *self, PyObject *args, PyObject *kwargs, const char *name, const char *function) {
  Method m{problem_of(self), name};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"val", "ind", nullptr};
  PyObject *val_o, *ind_o;
  if (!parse_keywords(args, kwargs, "OO", kw, nullptr, 5, &val_o, &ind_o)) return nullptr;
  std::vector<double> val;
  std::vector<int> ind;
  bool unused = false;
  if (convert(m, val_o, Kind::real, "val", val, &unused) < 0 ||
      convert(m, ind_o, Kind::int32, "ind", ind, &unused) < 0 || same_size(val.size(), ind.size(), "val", "ind") < 0)
    return nullptr;
  int rows, nnz = static_cast<int>(ind.size());
  if (read_int_attrib(m.p, KLVO_ATTR_ROWS, &rows) < 0) return nullptr;
  if (nnz > rows) {
    PyErr_Format(g.InterfaceError, "Argument 'ind' has %d entries for %d rows", nnz, rows);
    return nullptr;
  }
  try {
    val.resize(static_cast<size_t>(rows));
    ind.resize(static_cast<size_t>(rows));
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
  if (call(Fn, function, m.p, m.p->prob, val.data(), rows, ind.data(), rows, &nnz)) return library_failed(self);
  nb::object values = nb::steal(real_list(val.data(), static_cast<size_t>(nnz)));
  nb::object indices = nb::steal(int_list(ind.data(), static_cast<size_t>(nnz)));
  if (!values || !indices) return nullptr;
  return PyTuple_Pack(2, values.ptr(), indices.ptr());
}

PyObject *m_sparseBTran(PyObject *self, PyObject *args, PyObject *kwargs) {
  return sparse_transform<KLVOsparsebtran_witharraysizes>(self, args, kwargs, "sparseBTran",
                                                          "KLVOsparsebtran_witharraysizes");
}
PyObject *m_sparseFTran(PyObject *self, PyObject *args, PyObject *kwargs) {
  return sparse_transform<KLVOsparseftran_witharraysizes>(self, args, kwargs, "sparseFTran",
                                                          "KLVOsparseftran_witharraysizes");
}

// ---- Formulas and nonlinear column settings

template <int (*Fn)(KLVOprob, int, const int *, int, const int *, int, int, const int *, int, const double *, int)>
PyObject *formulas_method(PyObject *self, PyObject *args, PyObject *kwargs, const char *name, const char *function) {
  Method m{problem_of(self), name};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"rowind", "formulastart", "parsed", "type", "value", nullptr};
  PyObject *rowind_o, *start_o, *parsed_o, *type_o, *value_o;
  if (!parse_keywords(args, kwargs, "OOOOO", kw, nullptr, 5, &rowind_o, &start_o, &parsed_o, &type_o, &value_o))
    return nullptr;
  std::vector<int> rowind, start, type;
  std::vector<double> value;
  bool objects = false, unused = false;
  int parsed;
  if (convert(m, rowind_o, Kind::row, "rowind", rowind, &objects) < 0 ||
      convert(m, start_o, Kind::int32, "formulastart", start, &unused) < 0)
    return nullptr;
  if (element<int>(m, parsed_o, Kind::int32, &parsed, &unused) < 0) return wrap_argument("parsed"), nullptr;
  if (convert(m, type_o, Kind::int32, "type", type, &unused) < 0 ||
      convert(m, value_o, Kind::real, "value", value, &unused) < 0 || m.objects_allowed(objects, "rowind") < 0)
    return nullptr;
  int nrows, nstart, ntype, nvalue;
  if (count_of(rowind.size(), &nrows) < 0 || count_of(start.size(), &nstart) < 0 ||
      count_of(type.size(), &ntype) < 0 || count_of(value.size(), &nvalue) < 0)
    return nullptr;
  if (call(Fn, function, m.p, m.p->prob, nrows, rowind.data(), nrows, start.data(), nstart, parsed, type.data(), ntype,
           value.data(), nvalue))
    return library_failed(self);
  Py_RETURN_NONE;
}

PyObject *m_nlpAddFormulas(PyObject *self, PyObject *args, PyObject *kwargs) {
  return formulas_method<KLVOnlpaddformulas_witharraysizes>(self, args, kwargs, "nlpAddFormulas",
                                                            "KLVOnlpaddformulas_witharraysizes");
}
PyObject *m_nlpLoadFormulas(PyObject *self, PyObject *args, PyObject *kwargs) {
  return formulas_method<KLVOnlploadformulas_witharraysizes>(self, args, kwargs, "nlpLoadFormulas",
                                                             "KLVOnlploadformulas_witharraysizes");
}

PyObject *m_nlpDelFormulas(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "nlpDelFormulas"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"rowind", nullptr};
  PyObject *rowind_o;
  if (!parse_keywords(args, kwargs, "O", kw, nullptr, 5, &rowind_o)) return nullptr;
  std::vector<int> rowind;
  bool objects = false;
  int n;
  if (convert(m, rowind_o, Kind::row, "rowind", rowind, &objects) < 0 || m.objects_allowed(objects, "rowind") < 0 ||
      count_of(rowind.size(), &n) < 0)
    return nullptr;
  if (call(KLVOnlpdelformulas_witharraysizes, "KLVOnlpdelformulas_witharraysizes", m.p, m.p->prob, n, rowind.data(), n))
    return library_failed(self);
  Py_RETURN_NONE;
}

PyObject *m_nlpGetFormulaRows(PyObject *self, PyObject *) {
  Method m{problem_of(self), "nlpGetFormulaRows"};
  if (!m.start()) return nullptr;
  int n = 0;
  if (call(KLVOnlpgetformularows, "KLVOnlpgetformularows", m.p, m.p->prob, &n, static_cast<int *>(nullptr)))
    return library_failed(self);
  std::vector<int> rows;
  try {
    rows.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
  if (call(KLVOnlpgetformularows_witharraysizes, "KLVOnlpgetformularows_witharraysizes", m.p, m.p->prob, &n,
           rows.data(), n))
    return library_failed(self);
  return int_list(rows.data(), static_cast<size_t>(n));
}

PyObject *m_slpSetDetRow(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "slpSetDetRow"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"colind", "rowind", nullptr};
  PyObject *colind_o, *rowind_o;
  if (!parse_keywords(args, kwargs, "OO", kw, nullptr, 5, &colind_o, &rowind_o)) return nullptr;
  std::vector<int> colind, rowind;
  bool col_objects = false, row_objects = false;
  int n = 0;
  if (convert(m, colind_o, Kind::col, "colind", colind, &col_objects) < 0 ||
      convert(m, rowind_o, Kind::row, "rowind", rowind, &row_objects) < 0 ||
      m.objects_allowed(col_objects, "colind") < 0 || m.objects_allowed(row_objects, "rowind") < 0 ||
      same_size(rowind.size(), colind.size(), "rowind", "colind") < 0 || count_of(colind.size(), &n) < 0)
    return nullptr;
  if (call(KLVOslpsetdetrow_witharraysizes, "KLVOslpsetdetrow_witharraysizes", m.p, m.p->prob, n, colind.data(), n,
           rowind.data(), n))
    return library_failed(self);
  Py_RETURN_NONE;
}

PyObject *m_slpSetInitStepBounds(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "slpSetInitStepBounds"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"colind", "initial", nullptr};
  PyObject *colind_o, *initial_o;
  if (!parse_keywords(args, kwargs, "OO", kw, nullptr, 5, &colind_o, &initial_o)) return nullptr;
  std::vector<int> colind;
  std::vector<double> initial;
  bool objects = false, unused = false;
  int n;
  if (convert(m, colind_o, Kind::col, "colind", colind, &objects) < 0 ||
      convert(m, initial_o, Kind::real, "initial", initial, &unused) < 0 || m.objects_allowed(objects, "colind") < 0 ||
      same_size(initial.size(), colind.size(), "initial", "colind") < 0 || count_of(colind.size(), &n) < 0)
    return nullptr;
  if (call(KLVOslpsetinitstepbounds_witharraysizes, "KLVOslpsetinitstepbounds_witharraysizes", m.p, m.p->prob, n,
           colind.data(), n, initial.data(), n))
    return library_failed(self);
  Py_RETURN_NONE;
}

// ---- Managed cuts

PyObject *m_addManagedCuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "addManagedCuts"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"globalvalid", "rowtype", "rhs", "start", "colind", "cutcoef", nullptr};
  PyObject *global_o, *rowtype_o, *rhs_o, *start_o, *colind_o, *cutcoef_o;
  if (!parse_keywords(args, kwargs, "OOOOOO", kw, nullptr, 5, &global_o, &rowtype_o, &rhs_o, &start_o, &colind_o,
                      &cutcoef_o))
    return nullptr;
  int globalvalid;
  bool objects = false, unused = false;
  if (element<int>(m, global_o, Kind::int32, &globalvalid, &unused) < 0) return wrap_argument("globalvalid"), nullptr;
  std::vector<char> rowtype;
  std::vector<double> rhs, cutcoef;
  std::vector<int64_t> start;
  std::vector<int> colind;
  if (convert(m, rowtype_o, Kind::character, "rowtype", rowtype, &unused) < 0 ||
      convert(m, rhs_o, Kind::real, "rhs", rhs, &unused) < 0 ||
      convert(m, start_o, Kind::int64, "start", start, &unused) < 0 ||
      convert(m, colind_o, Kind::col, "colind", colind, &objects) < 0 ||
      convert(m, cutcoef_o, Kind::real, "cutcoef", cutcoef, &unused) < 0 || m.objects_allowed(objects, "colind") < 0 ||
      same_size(rhs.size(), rowtype.size(), "rhs", "rowtype") < 0)
    return nullptr;
  int ncuts, nstart, ncols, ncoefs;
  if (count_of(rowtype.size(), &ncuts) < 0 || count_of(start.size(), &nstart) < 0 ||
      count_of(colind.size(), &ncols) < 0 || count_of(cutcoef.size(), &ncoefs) < 0)
    return nullptr;
  if (call(KLVOaddmanagedcuts64_witharraysizes, "KLVOaddmanagedcuts64_witharraysizes", m.p, m.p->prob, globalvalid,
           ncuts, rowtype.data(), ncuts, rhs.data(), ncuts, start.data(), nstart, colind.data(), ncols, cutcoef.data(),
           ncoefs))
    return library_failed(self);
  Py_RETURN_NONE;
}

// ---- Scaling and presolved solutions

PyObject *m_getScale(PyObject *self, PyObject *) {
  Method m{problem_of(self), "getScale"};
  if (!m.start()) return nullptr;
  int rows, cols;
  if (read_int_attrib(m.p, KLVO_ATTR_ROWS, &rows) < 0 || read_int_attrib(m.p, KLVO_ATTR_COLS, &cols) < 0)
    return nullptr;
  std::vector<int> rowscale, colscale;
  try {
    rowscale.resize(static_cast<size_t>(rows));
    colscale.resize(static_cast<size_t>(cols));
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
  if (call(KLVOgetscale_witharraysizes, "KLVOgetscale_witharraysizes", m.p, m.p->prob, rowscale.data(), rows,
           colscale.data(), cols))
    return library_failed(self);
  nb::object r = nb::steal(int_list(rowscale.data(), rowscale.size()));
  nb::object c = nb::steal(int_list(colscale.data(), colscale.size()));
  if (!r || !c) return nullptr;
  return PyTuple_Pack(2, r.ptr(), c.ptr());
}

PyObject *m_postSolveSol(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "postSolveSol"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"prex", nullptr};
  PyObject *prex_o;
  if (!parse_keywords(args, kwargs, "O", kw, nullptr, 5, &prex_o)) return nullptr;
  std::vector<double> prex, x;
  bool unused = false;
  int n, original;
  if (convert(m, prex_o, Kind::real, "prex", prex, &unused) < 0 || count_of(prex.size(), &n) < 0 ||
      read_int_attrib(m.p, KLVO_ATTR_INPUTCOLS, &original) < 0)
    return nullptr;
  try {
    x.resize(static_cast<size_t>(original));
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
  if (call(KLVOpostsolvesol_witharraysizes, "KLVOpostsolvesol_witharraysizes", m.p, m.p->prob, prex.data(), n,
           x.data(), original))
    return library_failed(self);
  return real_list(x.data(), x.size());
}

// ---- Infeasible sets and row flags

PyObject *m_printIIS(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "printIIS"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"iis", nullptr};
  PyObject *iis_o;
  if (!parse_keywords(args, kwargs, "O", kw, nullptr, 5, &iis_o)) return nullptr;
  int iis;
  bool unused = false;
  if (element<int>(m, iis_o, Kind::int32, &iis, &unused) < 0) return wrap_argument("iis"), nullptr;
  if (call(KLVOiisprint, "KLVOiisprint", m.p, m.p->prob, iis)) return library_failed(self);
  Py_RETURN_NONE;
}

// The `first` and `last` rows of a range, each one row index or constraint. 0 or -1.
int row_range(const Method &m, PyObject *first_o, PyObject *last_o, int *first, int *last) {
  bool first_object = false, last_object = false;
  if (index_of(m, first_o, Kind::row, first, &first_object) < 0) return wrap_argument("first");
  if (index_of(m, last_o, Kind::row, last, &last_object) < 0) return wrap_argument("last");
  if (m.objects_allowed(first_object, "first") < 0 || m.objects_allowed(last_object, "last") < 0) return -1;
  return 0;
}

PyObject *m_getRowFlags(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "getRowFlags"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"first", "last", nullptr};
  PyObject *first_o, *last_o;
  if (!parse_keywords(args, kwargs, "OO", kw, nullptr, 5, &first_o, &last_o)) return nullptr;
  int first, last;
  if (row_range(m, first_o, last_o, &first, &last) < 0) return nullptr;
  // A reversed range is the library's to refuse; an empty one reads nothing.
  int n = last >= first ? last - first + 1 : 0;
  std::vector<int> flags;
  try {
    flags.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
  if (call(KLVOgetrowflags_witharraysizes, "KLVOgetrowflags_witharraysizes", m.p, m.p->prob, flags.data(), n, first,
           last))
    return library_failed(self);
  return int_list(flags.data(), flags.size());
}

PyObject *m_clearRowFlags(PyObject *self, PyObject *args, PyObject *kwargs) {
  Method m{problem_of(self), "clearRowFlags"};
  if (!m.start()) return nullptr;
  static const char *const kw[] = {"flags", "first", "last", nullptr};
  PyObject *flags_o, *first_o, *last_o;
  if (!parse_keywords(args, kwargs, "OOO", kw, nullptr, 5, &flags_o, &first_o, &last_o)) return nullptr;
  std::vector<int> flags;
  bool unused = false;
  int first, last, n;
  if (convert(m, flags_o, Kind::int32, "flags", flags, &unused) < 0 ||
      row_range(m, first_o, last_o, &first, &last) < 0 || count_of(flags.size(), &n) < 0)
    return nullptr;
  if (call(KLVOclearrowflags_witharraysizes, "KLVOclearrowflags_witharraysizes", m.p, m.p->prob, flags.data(), n,
           first, last))
    return library_failed(self);
  Py_RETURN_NONE;
}

}  // namespace

PyMethodDef problem_methods_arraysized[] = {
    keywords_method("printIIS", m_printIIS, "Prints an irreducible infeasible set (0: the summary of all) to the log"),
    keywords_method("getRowFlags", m_getRowFlags, "The flag words of rows first..last"),
    keywords_method("clearRowFlags", m_clearRowFlags, "Clears the flags of rows first..last, one mask per row"),
    keywords_method("delRows", m_delRows, "Deletes rows given as constraints or indices"),
    keywords_method("delCols", m_delCols, "Deletes columns given as variables or indices"),
    keywords_method("delSets", m_delSets, "Deletes sets given as SOS objects or indices"),
    keywords_method("addSets", m_addSets, "Adds special ordered sets"),
    keywords_method("addManagedCuts", m_addManagedCuts, "Adds cuts the search applies wherever they are violated"),
    keywords_method("pivot", m_pivot, "Pivots the entering variable into the basis in place of the leaving one"),
    keywords_method("sparseBTran", m_sparseBTran, "Solves B'y = v for a sparse v: (values, indices)"),
    keywords_method("sparseFTran", m_sparseFTran, "Solves By = v for a sparse v: (values, indices)"),
    keywords_method("nlpAddFormulas", m_nlpAddFormulas, "Adds formulas to rows"),
    keywords_method("nlpLoadFormulas", m_nlpLoadFormulas, "Loads formulas into rows, replacing theirs"),
    keywords_method("nlpDelFormulas", m_nlpDelFormulas, "Removes the formulas of rows"),
    plain_method("nlpGetFormulaRows", m_nlpGetFormulaRows, "The rows that hold formulas"),
    keywords_method("slpSetDetRow", m_slpSetDetRow, "Sets the determining rows of columns"),
    keywords_method("slpSetInitStepBounds", m_slpSetInitStepBounds, "Sets the initial step bounds of columns"),
    plain_method("getScale", m_getScale, "The scale factors' binary exponents: (rows, columns)"),
    keywords_method("postSolveSol", m_postSolveSol, "A solution of the presolved problem in the original columns"),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
