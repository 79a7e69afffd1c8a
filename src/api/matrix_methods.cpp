// Thin methods that build, change and read the matrix: columns, rows, bounds, types, quadratic
// terms, objectives and names.
#include <climits>

#include "api/convert.h"
#include "module/frame.h"

namespace kelvo {

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

PyMethodDef problem_methods_matrix[] = {
    keywords_method("chgbounds", m_chgbounds,
           "chgbounds(colind, bndtype, bndval)\nChanges bounds: bndtype 'L' lower, 'U' upper, 'B' both, per column."),
    keywords_method("getlb", m_getlb, "getlb(lb, first=0, last=cols-1)\nFills the list lb with the lower bounds of the columns."),
    keywords_method("getub", m_getub, "getub(ub, first=0, last=cols-1)\nFills the list ub with the upper bounds of the columns."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
