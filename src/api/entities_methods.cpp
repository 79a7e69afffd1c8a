// Thin methods for general and piecewise-linear constraints, MIP entities, sets and indicators.
#include <algorithm>
#include <string>

#include <nanobind/nanobind.h>

#include "api/convert.h"
#include "module/frame.h"

namespace nb = nanobind;

namespace kelvo {

static PyObject *interface_error(const char *message) {
  PyErr_SetString(g.InterfaceError, message);
  return nullptr;
}

// A start array of a block of n items: n offsets, or n + 1 with the end of the last one.
static int check_start_length(int64_t length, int n) {
  if (length < 0 || length == n || length == static_cast<int64_t>(n) + 1) return 0;
  PyErr_Format(g.InterfaceError, "Mismatched lengths in arguments: expected %d, found %lld", n,
               static_cast<long long>(length));
  return -1;
}

// An output array of `count` elements of `kind`, only when the caller wants the result.
static int output_array(PyObject *arg, int64_t count, ElemKind kind, WorkArray &out) {
  if (!arg || arg == Py_None) return 0;
  out.data = array_allocator.allocate(elem_width(kind) * static_cast<size_t>(count > 0 ? count : 1));
  if (!out.data) return -1;
  out.count = count;
  return 0;
}

// ---- General constraints

static PyObject *m_addgencons(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"contype", "resultant", "colstart", "colind", "valstart", "val", nullptr};
  static const char *const oldkw[] = {"type", "resultant", "colstart", "col", "valstart", "val", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *contype, *resultant, *colstart, *colind, *valstart = nullptr, *val = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOO|OO", kw, oldkw, 5, &contype, &resultant,
                                                &colstart, &colind, &valstart, &val))
    return nullptr;
  if (require_arguments({"contype", "resultant"}, {contype, resultant}) < 0) return nullptr;
  bool has_vals = (valstart && valstart != Py_None) || (val && val != Py_None);
  if (has_vals && require_arguments({"valstart", "val"}, {valstart, val}) < 0) return nullptr;
  LengthSlot n = -1, ncols = -1, nvals = -1, ncolstart = -1, nvalstart = -1;
  WorkArray types, results, cstart, cols, vstart, vals;
  if (conv_obj2arr(p, &n, contype, ek_int, types) < 0 || conv_obj2arr(p, &n, resultant, ek_col, results) < 0 ||
      conv_obj2arr(p, &ncolstart, colstart, ek_int64, cstart) < 0 ||
      conv_obj2arr(p, &ncols, colind, ek_col, cols) < 0 ||
      conv_obj2arr(p, &nvalstart, valstart, ek_int64, vstart) < 0 || conv_obj2arr(p, &nvals, val, ek_real, vals) < 0)
    return nullptr;
  int count;
  if (array_count(n, &count) < 0 || check_start_length(ncolstart, count) < 0 ||
      check_start_length(nvalstart, count) < 0)
    return nullptr;
  if (call(KLVOaddgencons64, "KLVOaddgencons64", p, p->prob, count, ncols < 0 ? int64_t(0) : ncols,
           nvals < 0 ? int64_t(0) : nvals, types.as<int>(), results.as<int>(), cstart.as<int64_t>(), cols.as<int>(),
           vstart.as<int64_t>(), vals.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getgencons(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"contype", "resultant", "colstart", "colind", "maxcols",
                                   "valstart", "val", "maxvals", "first", "last", nullptr};
  static const char *const oldkw[] = {"type", "resultant", "colstart", "col", "colsize",
                                      "valstart", "val", "valsize", "first", "last", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *contype, *resultant, *colstart, *colind, *valstart, *val, *first_obj, *last_obj;
  long long maxcols, maxvals;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OOOOLOOLOO", kw, oldkw, 5, &contype, &resultant, &colstart, &colind, &maxcols,
                      &valstart, &val, &maxvals, &first_obj, &last_obj))
    return nullptr;
  int first = 0, last = -1;
  if (int32_value(first_obj, &first) < 0 || int32_value(last_obj, &last) < 0) return nullptr;
  if (last < first) return interface_error("Empty range of general constraints requested");
  int64_t ncols = 0, nvals = 0;
  if (call(KLVOgetgencons64, "KLVOgetgencons64", p, p->prob, nullptr, nullptr, nullptr, nullptr, int64_t(0), &ncols,
           nullptr, nullptr, int64_t(0), &nvals, first, last))
    return check_result(self, nullptr);
  int64_t n = static_cast<int64_t>(last) - first + 1;
  int64_t outcols = std::max<int64_t>(0, std::min<int64_t>(ncols, maxcols));
  int64_t outvals = std::max<int64_t>(0, std::min<int64_t>(nvals, maxvals));
  WorkArray types, results, cstart, cols, vstart, vals;
  if (output_array(contype, n, ek_int, types) < 0 || output_array(resultant, n, ek_col, results) < 0 ||
      output_array(colstart, n + 1, ek_int64, cstart) < 0 || output_array(colind, outcols, ek_col, cols) < 0 ||
      output_array(valstart, n + 1, ek_int64, vstart) < 0 || output_array(val, outvals, ek_real, vals) < 0)
    return nullptr;
  if (call(KLVOgetgencons64, "KLVOgetgencons64", p, p->prob, types.as<int>(), results.as<int>(),
           cstart.as<int64_t>(), cols.as<int>(), outcols, &ncols, vstart.as<int64_t>(), vals.as<double>(), outvals,
           &nvals, first, last))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, n, types, contype, ek_int) < 0 || conv_arr2obj(p, n, results, resultant, ek_col) < 0 ||
      conv_arr2obj(p, n + 1, cstart, colstart, ek_int64) < 0 || conv_arr2obj(p, outcols, cols, colind, ek_col) < 0 ||
      conv_arr2obj(p, n + 1, vstart, valstart, ek_int64) < 0 || conv_arr2obj(p, outvals, vals, val, ek_real) < 0)
    return nullptr;
  return Py_BuildValue("(LL)", static_cast<long long>(ncols), static_cast<long long>(nvals));
}

// delgencons and delpwlcons: a list of constraint indices.
template <int (*Fn)(KLVOprob, int, const int *)>
static PyObject *delete_constraints(PyObject *self, PyObject *args, PyObject *kwargs, const char *const *kw,
                                    const char *const *oldkw, const char *function) {
  ProblemObject *p = problem_of(self);
  PyObject *ind;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &ind)) return nullptr;
  if (require_arguments({kw[0]}, {ind}) < 0) return nullptr;
  LengthSlot n = -1;
  WorkArray indices;
  int count;
  if (conv_obj2arr(p, &n, ind, ek_int, indices) < 0 || array_count(n, &count) < 0) return nullptr;
  if (call(Fn, function, p, p->prob, count, indices.as<int>())) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_delgencons(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"conind", nullptr};
  static const char *const oldkw[] = {"mindex", nullptr};
  return delete_constraints<KLVOdelgencons>(self, args, kwargs, kw, oldkw, "KLVOdelgencons");
}

// ---- Piecewise-linear constraints

static PyObject *m_addpwlcons(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "resultant", "start", "xval", "yval", nullptr};
  static const char *const oldkw[] = {"col", "resultant", "start", "xval", "yval", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind, *resultant, *start, *xval, *yval;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OOOOO", kw, oldkw, 5, &colind, &resultant, &start, &xval, &yval))
    return nullptr;
  if (require_arguments({"colind", "resultant", "start", "xval", "yval"}, {colind, resultant, start, xval, yval}) < 0)
    return nullptr;
  LengthSlot n = -1, npoints = -1, nstart = -1;
  WorkArray cols, results, starts, xs, ys;
  if (conv_obj2arr(p, &n, colind, ek_col, cols) < 0 || conv_obj2arr(p, &n, resultant, ek_col, results) < 0 ||
      conv_obj2arr(p, &nstart, start, ek_int64, starts) < 0 || conv_obj2arr(p, &npoints, xval, ek_real, xs) < 0 ||
      conv_obj2arr(p, &npoints, yval, ek_real, ys) < 0)
    return nullptr;
  int count;
  if (array_count(n, &count) < 0 || check_start_length(nstart, count) < 0) return nullptr;
  if (call(KLVOaddpwlcons64, "KLVOaddpwlcons64", p, p->prob, count, npoints < 0 ? int64_t(0) : npoints,
           cols.as<int>(), results.as<int>(), starts.as<int64_t>(), xs.as<double>(), ys.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getpwlcons(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "resultant", "start", "xval", "yval", "maxpoints", "first", "last",
                                   nullptr};
  static const char *const oldkw[] = {"col", "resultant", "start", "xval", "yval", "size", "first", "last", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind, *resultant, *start, *xval, *yval, *first_obj, *last_obj;
  long long maxpoints;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOOOLOO", kw, oldkw, 5, &colind, &resultant, &start,
                                                &xval, &yval, &maxpoints, &first_obj, &last_obj))
    return nullptr;
  int first = 0, last = -1;
  if (int32_value(first_obj, &first) < 0 || int32_value(last_obj, &last) < 0) return nullptr;
  if (last < first) return interface_error("Empty range of piecewise linear constraints requested");
  int64_t npoints = 0;
  if (call(KLVOgetpwlcons64, "KLVOgetpwlcons64", p, p->prob, nullptr, nullptr, nullptr, nullptr, nullptr,
           int64_t(0), &npoints, first, last))
    return check_result(self, nullptr);
  int64_t n = static_cast<int64_t>(last) - first + 1;
  int64_t out = std::max<int64_t>(0, std::min<int64_t>(npoints, maxpoints));
  WorkArray cols, results, starts, xs, ys;
  if (output_array(colind, n, ek_col, cols) < 0 || output_array(resultant, n, ek_col, results) < 0 ||
      output_array(start, n + 1, ek_int64, starts) < 0 || output_array(xval, out, ek_real, xs) < 0 ||
      output_array(yval, out, ek_real, ys) < 0)
    return nullptr;
  if (call(KLVOgetpwlcons64, "KLVOgetpwlcons64", p, p->prob, cols.as<int>(), results.as<int>(), starts.as<int64_t>(),
           xs.as<double>(), ys.as<double>(), out, &npoints, first, last))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, n, cols, colind, ek_col) < 0 || conv_arr2obj(p, n, results, resultant, ek_col) < 0 ||
      conv_arr2obj(p, n + 1, starts, start, ek_int64) < 0 || conv_arr2obj(p, out, xs, xval, ek_real) < 0 ||
      conv_arr2obj(p, out, ys, yval, ek_real) < 0)
    return nullptr;
  return PyLong_FromLongLong(npoints);
}

static PyObject *m_delpwlcons(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"pwlind", nullptr};
  static const char *const oldkw[] = {"mindex", nullptr};
  return delete_constraints<KLVOdelpwlcons>(self, args, kwargs, kw, oldkw, "KLVOdelpwlcons");
}

// ---- MIP entities and sets

static PyObject *m_getmipentities(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"coltype", "colind", "limit", "settype", "start", "setcols", "refval", nullptr};
  static const char *const oldkw[] = {"qgtype", "mgcols", "dlim", "qstype", "msstart", "mscols", "dref", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *coltype, *colind, *limit, *settype, *start, *setcols, *refval;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOOOOO", kw, oldkw, 5, &coltype, &colind, &limit,
                                                &settype, &start, &setcols, &refval))
    return nullptr;
  int nentities = 0, nsets = 0;
  if (call(KLVOgetmipentities64, "KLVOgetmipentities64", p, p->prob, &nentities, &nsets, nullptr, nullptr, nullptr,
           nullptr, nullptr, nullptr, nullptr))
    return check_result(self, nullptr);
  // The member count is the last offset of the start array, which needs no member arrays.
  WorkArray starts;
  starts.data = array_allocator.allocate(sizeof(int64_t) * (static_cast<size_t>(nsets) + 1));
  if (!starts.data) return nullptr;
  if (call(KLVOgetmipentities64, "KLVOgetmipentities64", p, p->prob, &nentities, &nsets, nullptr, nullptr, nullptr,
           nullptr, starts.as<int64_t>(), nullptr, nullptr))
    return check_result(self, nullptr);
  int64_t nmembers = starts.as<int64_t>()[nsets];
  WorkArray types, cols, limits, stypes, members, refs;
  if (output_array(coltype, nentities, ek_char, types) < 0 || output_array(colind, nentities, ek_col, cols) < 0 ||
      output_array(limit, nentities, ek_real, limits) < 0 || output_array(settype, nsets, ek_char, stypes) < 0 ||
      output_array(setcols, nmembers, ek_col, members) < 0 || output_array(refval, nmembers, ek_real, refs) < 0)
    return nullptr;
  int nentities2 = 0, nsets2 = 0;
  if (call(KLVOgetmipentities64, "KLVOgetmipentities64", p, p->prob, &nentities2, &nsets2, types.as<char>(),
           cols.as<int>(), limits.as<double>(), stypes.as<char>(), starts.as<int64_t>(), members.as<int>(),
           refs.as<double>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, nentities, types, coltype, ek_char) < 0 || conv_arr2obj(p, nentities, cols, colind, ek_col) < 0 ||
      conv_arr2obj(p, nentities, limits, limit, ek_real) < 0 || conv_arr2obj(p, nsets, stypes, settype, ek_char) < 0 ||
      conv_arr2obj(p, static_cast<int64_t>(nsets) + 1, starts, start, ek_int64) < 0 ||
      conv_arr2obj(p, nmembers, members, setcols, ek_col) < 0 || conv_arr2obj(p, nmembers, refs, refval, ek_real) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

// "O&" converter for an optional bound whose default depends on the problem: None keeps the
// default the variable holds, so that the signature can say None.
static int optional_int32(PyObject *obj, void *value) { return obj == Py_None ? 1 : int32_converter(obj, value); }

static PyObject *m_addsetnames(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"names", "first", "last", nullptr};
  static const char *const oldkw[] = {"names", "start", "end", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *names;
  int sets;
  if (require_handle(p) < 0 || read_int_attrib(p, KLVO_ATTR_SETS, &sets) < 0) return nullptr;
  int first = 0, last = sets - 1;
  if (!parse_keywords(args, kwargs, "O|iO&", kw, oldkw, 5, &names, &first, optional_int32, &last)) return nullptr;
  if (sets == 0) return interface_error("No global sets in problem, cannot use addsetnames()");
  if (!PyList_Check(names)) {
    PyErr_Format(g.InterfaceError, "Argument %s must be a list of strings", "names");
    return nullptr;
  }
  if (first < 0 || first > last || last > sets - 1) {
    PyErr_Format(g.InterfaceError, "Arguments %s and %s must be such that 0 <= %s <= %s <= problem.controls.sets - 1",
                 "first", "last", "first", "last");
    return nullptr;
  }
  // A copy, so that converting the names (which can run Python) cannot change the list under us.
  nb::object items = nb::steal(PySequence_List(names));
  if (!items) return nullptr;
  Py_ssize_t size = PyList_GET_SIZE(items.ptr());
  if (size != static_cast<Py_ssize_t>(last) - first + 1) {
    PyErr_Format(g.InterfaceError, "Size of list of strings does not match %s and %s arguments", "first", "last");
    return nullptr;
  }
  std::string buffer;
  for (Py_ssize_t i = 0; i < size; ++i) {
    PyObject *item = PyList_GET_ITEM(items.ptr(), i);
    if (!PyUnicode_Check(item)) {
      PyErr_Format(g.InterfaceError, "Element %i of list is not a string: %S", static_cast<int>(i), item);
      return nullptr;
    }
    Py_ssize_t length;
    const char *text = c_text(item, &length);
    if (!text) return nullptr;
    buffer.append(text, static_cast<size_t>(length));
    buffer.push_back('\0');
  }
  if (call(KLVOaddsetnames, "KLVOaddsetnames", p, p->prob, buffer.c_str(), first, last))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// ---- Indicators

static PyObject *m_setindicators(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", "colind", "complement", nullptr};
  static const char *const oldkw[] = {"mrows", "inds", "comps", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowind, *colind, *complement;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &rowind, &colind, &complement))
    return nullptr;
  if (require_arguments({"rowind", "colind", "complement"}, {rowind, colind, complement}) < 0) return nullptr;
  LengthSlot n = -1;
  WorkArray rows, cols, comps;
  int count;
  if (conv_obj2arr(p, &n, rowind, ek_row, rows) < 0 || conv_obj2arr(p, &n, colind, ek_col, cols) < 0 ||
      conv_obj2arr(p, &n, complement, ek_int, comps) < 0 || array_count(n, &count) < 0)
    return nullptr;
  if (call(KLVOsetindicators, "KLVOsetindicators", p, p->prob, count, rows.as<int>(), cols.as<int>(), comps.as<int>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getindicators(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "complement", "first", "last", nullptr};
  static const char *const oldkw[] = {"inds", "comps", "first", "last", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind, *complement, *first_obj, *last_obj;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OOOO", kw, oldkw, 5, &colind, &complement, &first_obj, &last_obj))
    return nullptr;
  int first, last;
  if (conv_obj2index(p, first_obj, ek_row, &first) < 0 || conv_obj2index(p, last_obj, ek_row, &last) < 0)
    return nullptr;
  if (last < first) Py_RETURN_NONE;
  int64_t n = static_cast<int64_t>(last) - first + 1;
  WorkArray cols, comps;
  if (output_array(colind, n, ek_col, cols) < 0 || output_array(complement, n, ek_int, comps) < 0) return nullptr;
  if (call(KLVOgetindicators, "KLVOgetindicators", p, p->prob, cols.as<int>(), comps.as<int>(), first, last))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, n, cols, colind, ek_col) < 0 || conv_arr2obj(p, n, comps, complement, ek_int) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_delindicators(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"first", "last", nullptr};
  static const char *const oldkw[] = {"start", "end", nullptr};
  ProblemObject *p = problem_of(self);
  int rows;
  if (require_handle(p) < 0 || read_int_attrib(p, KLVO_ATTR_ROWS, &rows) < 0) return nullptr;
  int first = 0, last = rows - 1;
  if (!parse_keywords(args, kwargs, "|iO&", kw, oldkw, 5, &first, optional_int32, &last)) return nullptr;
  if (rows == 0) return interface_error("No rows in problem, cannot use delindicators()");
  if (first < 0 || first > last || last > rows - 1) {
    PyErr_Format(g.InterfaceError, "Arguments %s and %s must be such that %s <= %s and must be within the range of rows",
                 "first", "last", "first", "last");
    return nullptr;
  }
  if (call(KLVOdelindicators, "KLVOdelindicators", p, p->prob, first, last)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

PyMethodDef problem_methods_entities[] = {
    keywords_method("addgencons", m_addgencons,
                    "addgencons(contype, resultant, colstart, colind, valstart=None, val=None)\n"
                    "Adds general constraints resultant = f(columns, values); contype 0 max, 1 min, 2 and, 3 or, "
                    "4 abs."),
    keywords_method("getgencons", m_getgencons,
                    "getgencons(contype, resultant, colstart, colind, maxcols, valstart, val, maxvals, first, last)\n"
                    "Fills the lists with general constraints first..last; returns (columns, values) in the range."),
    keywords_method("delgencons", m_delgencons, "delgencons(conind)\nDeletes the listed general constraints."),
    keywords_method("addpwlcons", m_addpwlcons,
                    "addpwlcons(colind, resultant, start, xval, yval)\n"
                    "Adds piecewise-linear constraints resultant = f(colind) through the breakpoints (xval, yval)."),
    keywords_method("getpwlcons", m_getpwlcons,
                    "getpwlcons(colind, resultant, start, xval, yval, maxpoints, first, last)\n"
                    "Fills the lists with piecewise-linear constraints first..last; returns the breakpoints in the "
                    "range."),
    keywords_method("delpwlcons", m_delpwlcons, "delpwlcons(pwlind)\nDeletes the listed piecewise-linear constraints."),
    keywords_method("getmipentities", m_getmipentities,
                    "getmipentities(coltype, colind, limit, settype, start, setcols, refval)\n"
                    "Fills the lists with the non-continuous columns and the special ordered sets."),
    keywords_method("addsetnames", m_addsetnames,
                    "addsetnames(names, first=0, last=sets-1)\nNames the sets first..last."),
    keywords_method("setindicators", m_setindicators,
                    "setindicators(rowind, colind, complement)\nMakes rows indicator rows of binary columns; "
                    "complement 1 (column is 1), -1 (column is 0), 0 removes the indicator."),
    keywords_method("getindicators", m_getindicators,
                    "getindicators(colind, complement, first, last)\n"
                    "Fills the lists with the indicator column and complement of rows first..last."),
    keywords_method("delindicators", m_delindicators,
                    "delindicators(first=0, last=rows-1)\nRemoves the indicators of rows first..last."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
