// Thin methods of the nonlinear layer: coefficient entries and their formulas (as token
// arrays, written or postfix, and as text), initial values, the layer's solution, evaluation
// and validation.
#include <cstring>
#include <string>
#include <vector>

#include "api/convert.h"
#include "module/frame.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

constexpr int slp_attr_rows = 11999;
constexpr int slp_attr_cols = 12000;

bool given(PyObject *o) { return o && o != Py_None; }

PyObject *interface_error(const char *message) {
  PyErr_SetString(g.InterfaceError, message);
  return nullptr;
}

// Raises the nonlinear layer's last error, or the global one when the problem has no layer
// (the library then refused the null handle).
PyObject *layer_error(PyObject *self) {
  if (PyErr_Occurred()) return nullptr;
  ProblemObject *p = problem_of(self);
  char text[error_text_size + 1] = {0};
  int code = 0;
  if (p->slp) call(KSLPgetlasterror, "KSLPgetlasterror", p, p->slp, &code, text);
  else KLVO_ge_getlasterror(&code, text, error_text_size + 1, nullptr);
  if (PyErr_Occurred()) return nullptr;
  if (!text[0]) return check_result(self, nullptr);
  PyErr_SetString(g.SolverError, text);
  return nullptr;
}

// Entries changed: the problem counts as nonlinear while the layer holds any.
int recount_entries(PyObject *self) {
  ProblemObject *p = problem_of(self);
  if (!p->slp) return 0;
  int formulas = 0, coefficients = 0;
  if (call(KSLPgetintattrib, "KSLPgetintattrib", p, p->slp, slp_attr_formulas, &formulas) != 0 ||
      call(KSLPgetintattrib, "KSLPgetintattrib", p, p->slp, slp_attr_coefficients, &coefficients) != 0)
    return layer_error(self), -1;
  p->nonlin_cons = formulas + coefficients;
  return 0;
}

PyObject *changed(PyObject *self) {
  if (recount_entries(self) < 0) return nullptr;
  Py_RETURN_NONE;
}

// A row and a column argument; -1 with an exception. None for the column, as getcoefs gives
// it, is an entry without column.
int row_col(ProblemObject *p, PyObject *row, PyObject *col, int *r, int *c) {
  if (conv_obj2index(p, row, ek_row, r) < 0) return -1;
  if (col == Py_None) {
    *c = KSLP_NOCOLUMN;
    return 0;
  }
  return conv_obj2index(p, col, ek_col, c);
}

// A column list in which None (as getcoefs gives it) stands for an entry without column: a
// copy with those items replaced, or the list itself when it holds none.
nb::object nocolumn_as_index(PyObject *cols) {
  nb::object out = nb::borrow(cols);
  if (!cols || (!PyList_Check(cols) && !PyTuple_Check(cols))) return out;
  nb::object fast = nb::steal(PySequence_Fast(cols, "Unable to scan sequence"));
  if (!fast) return nb::object();
  Py_ssize_t n = PySequence_Fast_GET_SIZE(fast.ptr());
  nb::object copy;
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (PySequence_Fast_GET_ITEM(fast.ptr(), i) != Py_None) continue;
    if (!copy.is_valid()) {
      copy = nb::steal(PySequence_List(fast.ptr()));
      if (!copy.is_valid()) return nb::object();
    }
    nb::object none_col = nb::steal(PyLong_FromLong(KSLP_NOCOLUMN));
    if (!none_col.is_valid() || PyList_SetItem(copy.ptr(), i, none_col.release().ptr()) < 0) return nb::object();
  }
  return copy.is_valid() ? copy : out;
}

// An optional factor: None gives no value (the library keeps the current one).
int factor_of(PyObject *obj, double *value, const double **ptr) {
  *ptr = nullptr;
  if (!given(obj)) return 0;
  *value = PyFloat_AsDouble(obj);
  if (*value == -1.0 && PyErr_Occurred()) return -1;
  *ptr = value;
  return 0;
}

// Token arrays for the library, ended by an end token (added when the caller left it out).
// With `optional`, None for both gives no arrays.
struct Tokens {
  std::vector<int> type;
  std::vector<double> value;
  bool present = false;
};

int tokens_of(ProblemObject *p, PyObject *type, PyObject *value, bool optional, Tokens &out) {
  if (optional && !given(type) && !given(value)) return 0;
  if (require_arguments({"type", "value"}, {type, value}) < 0) return -1;
  LengthSlot n = -1;
  WorkArray t, v;
  if (conv_obj2arr(p, &n, type, ek_int, t) < 0 || conv_obj2arr(p, &n, value, ek_real, v) < 0) return -1;
  out.type.assign(t.as<int>(), t.as<int>() + n);
  out.value.assign(v.as<double>(), v.as<double>() + n);
  if (out.type.empty() || out.type.back() != 0) {
    out.type.push_back(0);
    out.value.push_back(0.0);
  }
  out.present = true;
  return 0;
}

// The token lists of a formula read back: (type list, value list), also written into the
// caller's lists when given.
int token_lists(ProblemObject *p, int n, const std::vector<int> &t, const std::vector<double> &v, PyObject *type_out,
                PyObject *value_out, nb::object &types, nb::object &values) {
  types = nb::steal(int_list(t.data(), n));
  values = nb::steal(real_list(v.data(), n));
  if (!types || !values) return -1;
  if (conv_arr2obj(p, n, t.data(), type_out, ek_int) < 0 || conv_arr2obj(p, n, v.data(), value_out, ek_real) < 0)
    return -1;
  return 0;
}

// ---- Coefficient lists

PyObject *coef_list(PyObject *self, PyObject *args, PyObject *kwargs, bool load) {
  static const char *const kw[] = {"rowindex", "colindex", "factor", "fstart", "parsed", "type", "value", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowindex, *colindex, *factor, *fstart, *type, *value;
  int parsed;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOOiOO", kw, nullptr, 5, &rowindex, &colindex, &factor,
                                               &fstart, &parsed, &type, &value))
    return nullptr;
  LengthSlot n = -1, ntok = -1;
  WorkArray rows, cols, factors, starts, types, values;
  int count;
  nb::object colobj = nocolumn_as_index(colindex);
  if (!colobj.is_valid() && PyErr_Occurred()) return nullptr;
  if (conv_obj2arr(p, &n, rowindex, ek_row, rows) < 0 || conv_obj2arr(p, &n, colobj.ptr(), ek_col, cols) < 0 ||
      conv_obj2arr(p, &n, factor, ek_real, factors) < 0 || array_count(n, &count) < 0)
    return nullptr;
  LengthSlot nstart = static_cast<LengthSlot>(count) + 1;
  if (conv_obj2arr(p, &nstart, fstart, ek_int, starts) < 0 || conv_obj2arr(p, &ntok, type, ek_int, types) < 0 ||
      conv_obj2arr(p, &ntok, value, ek_real, values) < 0)
    return nullptr;
  auto fn = load ? KSLPloadcoefs : KSLPaddcoefs;
  if (call(fn, load ? "KSLPloadcoefs" : "KSLPaddcoefs", p, p->slp, count, rows.as<int>(), cols.as<int>(),
           factors.as<double>(), starts.as<int>(), parsed, types.as<int>(), values.as<double>()))
    return layer_error(self);
  return changed(self);
}

PyObject *m_addcoefs(PyObject *self, PyObject *args, PyObject *kwargs) { return coef_list(self, args, kwargs, false); }
PyObject *m_loadcoefs(PyObject *self, PyObject *args, PyObject *kwargs) { return coef_list(self, args, kwargs, true); }

PyObject *m_delcoefs(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", "colind", nullptr};
  static const char *const oldkw[] = {"rowindex", "colindex", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowind, *colind;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &rowind, &colind)) return nullptr;
  LengthSlot n = -1;
  WorkArray rows, cols;
  int count;
  nb::object colobj = nocolumn_as_index(colind);
  if (!colobj.is_valid() && PyErr_Occurred()) return nullptr;
  if (conv_obj2arr(p, &n, rowind, ek_row, rows) < 0 || conv_obj2arr(p, &n, colobj.ptr(), ek_col, cols) < 0 ||
      array_count(n, &count) < 0)
    return nullptr;
  if (call(KSLPdelcoefs, "KSLPdelcoefs", p, p->slp, count, rows.as<int>(), cols.as<int>())) return layer_error(self);
  return changed(self);
}

PyObject *m_getcoefs(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", "colind", nullptr};
  static const char *const oldkw[] = {"rowindex", "colindex", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowind = nullptr, *colind = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "|OO", kw, oldkw, 5, &rowind, &colind)) return nullptr;
  int n = 0;
  if (call(KSLPgetcoefs, "KSLPgetcoefs", p, p->slp, &n, static_cast<int *>(nullptr), static_cast<int *>(nullptr)))
    return layer_error(self);
  std::vector<int> rows(n > 0 ? n : 1), cols(n > 0 ? n : 1);
  if (n > 0 && call(KSLPgetcoefs, "KSLPgetcoefs", p, p->slp, &n, rows.data(), cols.data())) return layer_error(self);
  if (conv_arr2obj(p, n, rows.data(), rowind, ek_row) < 0 || conv_arr2obj(p, n, cols.data(), colind, ek_col) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

// ---- One coefficient

PyObject *m_chgccoef(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", "factor", "formula", nullptr};
  static const char *const oldkw[] = {"rowindex", "colindex", "factor", "formula", nullptr};
  if (deprecation(9, 5, "use problem.slpchgcoefstr instead") < 0) return nullptr;
  ProblemObject *p = problem_of(self);
  PyObject *row, *col, *factor, *formula;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOO", kw, oldkw, 5, &row, &col, &factor, &formula))
    return nullptr;
  int r, c;
  double f;
  const double *fp;
  const char *text = nullptr;
  if (row_col(p, row, col, &r, &c) < 0 || factor_of(factor, &f, &fp) < 0) return nullptr;
  if (given(formula) && !(text = c_text(formula, nullptr, "Formula"))) return nullptr;
  if (call(KSLPchgccoef, "KSLPchgccoef", p, p->slp, r, c, fp, text)) return layer_error(self);
  return changed(self);
}

PyObject *m_slpchgcoefstr(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", "factor", "formula", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row, *col, *factor;
  const char *formula;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOs", kw, nullptr, 5, &row, &col, &factor, &formula))
    return nullptr;
  int r, c;
  double f;
  const double *fp;
  if (row_col(p, row, col, &r, &c) < 0 || factor_of(factor, &f, &fp) < 0) return nullptr;
  if (call(KLVOslpchgcoefstr, "KLVOslpchgcoefstr", p, p->prob, r, c, fp, formula)) return check_result(self, nullptr);
  return changed(self);
}

template <bool Layer>
PyObject *change_coef(PyObject *self, PyObject *args, PyObject *kwargs, const char *format, const char *const *kw,
                      const char *const *oldkw) {
  ProblemObject *p = problem_of(self);
  PyObject *row, *col, *factor, *type, *value;
  int parsed;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, format, kw, oldkw, 5, &row, &col, &factor, &parsed, &type, &value))
    return nullptr;
  int r, c;
  double f;
  const double *fp;
  Tokens tk;
  if (row_col(p, row, col, &r, &c) < 0 || factor_of(factor, &f, &fp) < 0 || tokens_of(p, type, value, true, tk) < 0)
    return nullptr;
  const int *t = tk.present ? tk.type.data() : nullptr;
  const double *v = tk.present ? tk.value.data() : nullptr;
  if (Layer) {
    if (call(KSLPchgcoef, "KSLPchgcoef", p, p->slp, r, c, fp, parsed, t, v)) return layer_error(self);
  } else if (call(KLVOslpchgcoef, "KLVOslpchgcoef", p, p->prob, r, c, fp, parsed, t, v)) {
    return check_result(self, nullptr);
  }
  return changed(self);
}

PyObject *m_chgnlcoef(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", "factor", "parsed", "type", "value", nullptr};
  static const char *const oldkw[] = {"rowindex", "colindex", "factor", "parsed", "type", "value", nullptr};
  if (deprecation(9, 5, "use problem.slpchgcoef instead") < 0) return nullptr;
  return change_coef<true>(self, args, kwargs, "OOOiOO", kw, oldkw);
}

PyObject *m_slpchgcoef(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", "factor", "parsed", "type", "value", nullptr};
  return change_coef<false>(self, args, kwargs, "OOOpOO", kw, nullptr);
}

PyObject *m_getccoef(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", "maxbytes", nullptr};
  static const char *const oldkw[] = {"rowindex", "colindex", "flen", nullptr};
  if (deprecation(9, 5, "use problem.slpgetcoefstr instead") < 0) return nullptr;
  ProblemObject *p = problem_of(self);
  PyObject *row, *col;
  int maxbytes;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOi", kw, oldkw, 5, &row, &col, &maxbytes)) return nullptr;
  if (maxbytes < 1 || maxbytes > 10000)
    return interface_error("Incorrect argument 'maxbytes' in getccoef: must be between 1 and 10000");
  int r, c;
  if (row_col(p, row, col, &r, &c) < 0) return nullptr;
  std::string text(static_cast<size_t>(maxbytes), '\0');
  double factor = 0.0;
  if (call(KSLPgetccoef, "KSLPgetccoef", p, p->slp, r, c, &factor, &text[0], maxbytes)) return layer_error(self);
  text.resize(std::strlen(text.c_str()));
  return Py_BuildValue("(ds)", factor, text.c_str());
}

// Reads a coefficient's formula with a first call for its size and a second for its tokens.
template <bool Layer>
int read_coef_formula(ProblemObject *p, int r, int c, int parsed, int limit, double *factor, int *n,
                      std::vector<int> &t, std::vector<double> &v) {
  auto get = [&](int max, int *types, double *values) {
    if (Layer)
      return call(KSLPgetcoefformula, "KSLPgetcoefformula", p, p->slp, r, c, factor, parsed, max, n, types, values);
    return call(KLVOslpgetcoefformula, "KLVOslpgetcoefformula", p, p->prob, r, c, factor, parsed, max, n, types, values);
  };
  if (get(0, nullptr, nullptr)) return -1;
  t.assign(*n > 0 ? *n : 1, 0);
  v.assign(*n > 0 ? *n : 1, 0.0);
  return get(limit < 0 ? *n : limit, t.data(), v.data()) ? -1 : 0;
}

PyObject *m_getcoefformula(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", "parsed", "maxtypes", nullptr};
  static const char *const oldkw[] = {"rowindex", "colindex", "parsed", "bufsize", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row, *col;
  int parsed, maxtypes;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOii", kw, oldkw, 5, &row, &col, &parsed, &maxtypes))
    return nullptr;
  int r, c, n = 0;
  double factor = 0.0;
  std::vector<int> t;
  std::vector<double> v;
  if (row_col(p, row, col, &r, &c) < 0) return nullptr;
  if (read_coef_formula<true>(p, r, c, parsed, maxtypes, &factor, &n, t, v) < 0) return layer_error(self);
  nb::object types, values;
  if (token_lists(p, n, t, v, nullptr, nullptr, types, values) < 0) return nullptr;
  return Py_BuildValue("(diOO)", factor, n, types.ptr(), values.ptr());
}

PyObject *m_slpgetcoefformula(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", "parsed", "type", "value", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row, *col, *type_out = nullptr, *value_out = nullptr;
  int parsed;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OOp|OO", kw, nullptr, 5, &row, &col, &parsed, &type_out, &value_out))
    return nullptr;
  int r, c, n = 0;
  double factor = 0.0;
  std::vector<int> t;
  std::vector<double> v;
  if (row_col(p, row, col, &r, &c) < 0) return nullptr;
  if (read_coef_formula<false>(p, r, c, parsed, -1, &factor, &n, t, v) < 0) return check_result(self, nullptr);
  nb::object types, values;
  if (token_lists(p, n, t, v, type_out, value_out, types, values) < 0) return nullptr;
  return Py_BuildValue("diOO", factor, n, types.ptr(), values.ptr());
}

PyObject *m_slpgetcoefstr(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row, *col;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, nullptr, 5, &row, &col)) return nullptr;
  int r, c, nbytes = 0;
  double factor = 0.0;
  if (row_col(p, row, col, &r, &c) < 0) return nullptr;
  if (call(KLVOslpgetcoefstr, "KLVOslpgetcoefstr", p, p->prob, r, c, &factor, static_cast<char *>(nullptr), 0, &nbytes))
    return check_result(self, nullptr);
  std::string text(static_cast<size_t>(nbytes), '\0');
  if (call(KLVOslpgetcoefstr, "KLVOslpgetcoefstr", p, p->prob, r, c, &factor, &text[0], nbytes, &nbytes))
    return check_result(self, nullptr);
  return Py_BuildValue("(d, s)", factor, text.c_str());
}

// ---- Row formulas

PyObject *m_nlpchgformula(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "parsed", "type", "value", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row, *type, *value;
  int parsed, r;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OpOO", kw, nullptr, 5, &row, &parsed, &type, &value))
    return nullptr;
  Tokens tk;
  if (conv_obj2index(p, row, ek_row, &r) < 0 || tokens_of(p, type, value, false, tk) < 0) return nullptr;
  if (call(KLVOnlpchgformula, "KLVOnlpchgformula", p, p->prob, r, parsed, tk.type.data(), tk.value.data()))
    return check_result(self, nullptr);
  return changed(self);
}

PyObject *m_nlpchgformulastr(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "formula", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row;
  const char *formula;
  int r;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "Os", kw, nullptr, 5, &row, &formula) ||
      conv_obj2index(p, row, ek_row, &r) < 0)
    return nullptr;
  if (call(KLVOnlpchgformulastr, "KLVOnlpchgformulastr", p, p->prob, r, formula)) return check_result(self, nullptr);
  return changed(self);
}

PyObject *m_nlpgetformula(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "parsed", "type", "value", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row, *type_out = nullptr, *value_out = nullptr;
  int parsed, r, n = 0;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "Op|OO", kw, nullptr, 5, &row, &parsed, &type_out, &value_out) ||
      conv_obj2index(p, row, ek_row, &r) < 0)
    return nullptr;
  if (call(KLVOnlpgetformula, "KLVOnlpgetformula", p, p->prob, r, parsed, 0, &n, static_cast<int *>(nullptr),
           static_cast<double *>(nullptr)))
    return check_result(self, nullptr);
  std::vector<int> t(n > 0 ? n : 1);
  std::vector<double> v(n > 0 ? n : 1);
  if (n > 0 && call(KLVOnlpgetformula, "KLVOnlpgetformula", p, p->prob, r, parsed, n, &n, t.data(), v.data()))
    return check_result(self, nullptr);
  nb::object types, values;
  if (token_lists(p, n, t, v, type_out, value_out, types, values) < 0) return nullptr;
  return Py_BuildValue("iOO", n, types.ptr(), values.ptr());
}

PyObject *m_nlpgetformulastr(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row;
  int r, nbytes = 0;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, nullptr, 5, &row) ||
      conv_obj2index(p, row, ek_row, &r) < 0)
    return nullptr;
  if (call(KLVOnlpgetformulastr, "KLVOnlpgetformulastr", p, p->prob, r, static_cast<char *>(nullptr), 0, &nbytes))
    return check_result(self, nullptr);
  std::string text(static_cast<size_t>(nbytes), '\0');
  if (call(KLVOnlpgetformulastr, "KLVOnlpgetformulastr", p, p->prob, r, &text[0], nbytes, &nbytes))
    return check_result(self, nullptr);
  return PyUnicode_FromString(text.c_str());
}

// ---- Initial values and the layer's solution

PyObject *m_nlpsetinitval(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "initial", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind, *initial;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, nullptr, 5, &colind, &initial)) return nullptr;
  LengthSlot n = -1;
  WorkArray cols, values;
  int count;
  if (conv_obj2arr(p, &n, colind, ek_col, cols) < 0 || conv_obj2arr(p, &n, initial, ek_real, values) < 0 ||
      array_count(n, &count) < 0)
    return nullptr;
  if (call(KLVOnlpsetinitval, "KLVOnlpsetinitval", p, p->prob, count, cols.as<int>(), values.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

PyObject *m_getslpsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"x", "slack", "duals", "djs", nullptr};
  static const char *const oldkw[] = {"x", "slack", "dual", "dj", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *x = nullptr, *slack = nullptr, *duals = nullptr, *djs = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "|OOOO", kw, oldkw, 5, &x, &slack, &duals, &djs))
    return nullptr;
  int rows = 0, cols = 0;
  if (p->slp && (call(KSLPgetintattrib, "KSLPgetintattrib", p, p->slp, slp_attr_rows, &rows) ||
                 call(KSLPgetintattrib, "KSLPgetintattrib", p, p->slp, slp_attr_cols, &cols)))
    return layer_error(self);
  std::vector<double> vx(cols + 1), vs(rows + 1), vd(rows + 1), vj(cols + 1);
  if (call(KSLPgetslpsol, "KSLPgetslpsol", p, p->slp, given(x) ? vx.data() : nullptr,
           given(slack) ? vs.data() : nullptr, given(duals) ? vd.data() : nullptr, given(djs) ? vj.data() : nullptr))
    return layer_error(self);
  if (conv_arr2obj(p, cols, vx.data(), x, ek_real) < 0 || conv_arr2obj(p, rows, vs.data(), slack, ek_real) < 0 ||
      conv_arr2obj(p, rows, vd.data(), duals, ek_real) < 0 || conv_arr2obj(p, cols, vj.data(), djs, ek_real) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

// ---- Evaluation and validation

PyObject *m_evaluatecoef(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "col", nullptr};
  static const char *const oldkw[] = {"rowindex", "colindex", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row, *col;
  int r, c;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &row, &col) ||
      row_col(p, row, col, &r, &c) < 0)
    return nullptr;
  double value = 0.0;
  if (call(KSLPevaluatecoef, "KSLPevaluatecoef", p, p->slp, r, c, &value)) return layer_error(self);
  return PyFloat_FromDouble(value);
}

PyObject *m_evaluateformula(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"parsed", "type", "values", nullptr};
  static const char *const oldkw[] = {"parsed", "type", "value", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *type, *values;
  int parsed;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "iOO", kw, oldkw, 5, &parsed, &type, &values))
    return nullptr;
  Tokens tk;
  if (tokens_of(p, type, values, false, tk) < 0) return nullptr;
  double value = 0.0;
  if (call(KSLPevaluateformula, "KSLPevaluateformula", p, p->slp, parsed, tk.type.data(), tk.value.data(), &value))
    return layer_error(self);
  return PyFloat_FromDouble(value);
}

template <int (*Fn)(KSLPprob)>
PyObject *layer_action(PyObject *self, const char *name) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  if (call(Fn, name, p, p->slp)) return layer_error(self);
  Py_RETURN_NONE;
}

PyObject *m_validate(PyObject *self, PyObject *) { return layer_action<KSLPvalidate>(self, "KSLPvalidate"); }
PyObject *m_printmemory(PyObject *self, PyObject *) { return layer_action<KSLPprintmemory>(self, "KSLPprintmemory"); }
PyObject *m_printevalinfo(PyObject *self, PyObject *) {
  return layer_action<KSLPprintevalinfo>(self, "KSLPprintevalinfo");
}

PyObject *m_validatekkt(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"mode", "respectbasis", "updatemult", "violtarget", nullptr};
  static const char *const oldkw[] = {"calculationmode", "respectbasisstatus", "updatemultipliers",
                                      "kktviolationtarget", nullptr};
  ProblemObject *p = problem_of(self);
  int mode, respectbasis, updatemult;
  double target;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "iiid", kw, oldkw, 5, &mode, &respectbasis, &updatemult, &target))
    return nullptr;
  if (call(KSLPvalidatekkt, "KSLPvalidatekkt", p, p->slp, mode, respectbasis, updatemult, target))
    return layer_error(self);
  Py_RETURN_NONE;
}

PyObject *m_validaterow(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row;
  int r;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, nullptr, 5, &row) ||
      conv_obj2index(p, row, ek_row, &r) < 0)
    return nullptr;
  if (call(KSLPvalidaterow, "KSLPvalidaterow", p, p->slp, r)) return layer_error(self);
  Py_RETURN_NONE;
}

PyObject *m_validatevector(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"solution", nullptr};
  static const char *const oldkw[] = {"vector", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *solution;
  int cols;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &solution) ||
      read_int_attrib(p, KLVO_ATTR_COLS, &cols) < 0)
    return nullptr;
  LengthSlot n = cols;
  WorkArray x;
  if (conv_obj2arr(p, &n, solution, ek_real, x) < 0) return nullptr;
  if (!x.data) return missing_arguments({"solution"}), nullptr;
  double suminf = 0, scaled = 0, objval = 0;
  if (call(KSLPvalidatevector, "KSLPvalidatevector", p, p->slp, x.as<double>(), &suminf, &scaled, &objval))
    return layer_error(self);
  return Py_BuildValue("(ddd)", suminf, scaled, objval);
}

}  // namespace

PyMethodDef problem_methods_nlp[] = {
    keywords_method("addcoefs", m_addcoefs,
                    "addcoefs(rowindex, colindex, factor, fstart, parsed, type, value)\n"
                    "Adds nonlinear coefficients factor * formula * column; coefficient k's formula is the tokens\n"
                    "fstart[k] .. fstart[k+1]-1 of type and value (parsed 1 postfix, 0 as written)."),
    keywords_method("loadcoefs", m_loadcoefs,
                    "loadcoefs(rowindex, colindex, factor, fstart, parsed, type, value)\n"
                    "Replaces all nonlinear coefficients by the ones given (as addcoefs)."),
    keywords_method("delcoefs", m_delcoefs, "delcoefs(rowind, colind)\nDeletes the nonlinear coefficients at the pairs (column None or -1000: the\n"
                    "formula without column)."),
    keywords_method("getcoefs", m_getcoefs,
                    "getcoefs(rowind=None, colind=None)\nFills the lists with the rows and columns of the nonlinear "
                    "coefficients\n(None for a formula that multiplies no column)."),
    keywords_method("chgccoef", m_chgccoef,
                    "chgccoef(row, col, factor, formula)\nDeprecated: use slpchgcoefstr."),
    keywords_method("slpchgcoefstr", m_slpchgcoefstr,
                    "slpchgcoefstr(row, col, factor, formula)\nSets the coefficient at (row, col) from formula text; "
                    "factor None keeps\nthe current factor, an empty text deletes the coefficient."),
    keywords_method("chgnlcoef", m_chgnlcoef, "chgnlcoef(row, col, factor, parsed, type, value)\nDeprecated: use slpchgcoef."),
    keywords_method("slpchgcoef", m_slpchgcoef,
                    "slpchgcoef(row, col, factor, parsed, type, value)\nSets the coefficient at (row, col) from "
                    "formula tokens; None keeps the\nfactor or the formula."),
    keywords_method("getccoef", m_getccoef,
                    "getccoef(row, col, maxbytes) -> (factor, formula)\nDeprecated: use slpgetcoefstr."),
    keywords_method("getcoefformula", m_getcoefformula,
                    "getcoefformula(row, col, parsed, maxtypes) -> (factor, count, types, values)\n"
                    "The tokens of the coefficient at (row, col)."),
    keywords_method("slpgetcoefformula", m_slpgetcoefformula,
                    "slpgetcoefformula(row, col, parsed, type=None, value=None) -> (factor, count, types, values)\n"
                    "The tokens of the coefficient at (row, col); also written into the lists given."),
    keywords_method("slpgetcoefstr", m_slpgetcoefstr,
                    "slpgetcoefstr(row, col) -> (factor, formula)\nThe coefficient at (row, col) as text."),
    keywords_method("nlpchgformula", m_nlpchgformula,
                    "nlpchgformula(row, parsed, type, value)\nReplaces the formula of a row (-1 the objective)."),
    keywords_method("nlpchgformulastr", m_nlpchgformulastr,
                    "nlpchgformulastr(row, formula)\nReplaces the formula of a row from text; an empty text removes it."),
    keywords_method("nlpgetformula", m_nlpgetformula,
                    "nlpgetformula(row, parsed, type=None, value=None) -> (count, types, values)\n"
                    "The tokens of a row's formula; also written into the lists given."),
    keywords_method("nlpgetformulastr", m_nlpgetformulastr, "nlpgetformulastr(row) -> str\nThe formula of a row as text."),
    keywords_method("nlpsetinitval", m_nlpsetinitval,
                    "nlpsetinitval(colind, initial)\nInitial values of columns for the next nonlinear solve."),
    keywords_method("getslpsol", m_getslpsol,
                    "getslpsol(x=None, slack=None, duals=None, djs=None)\nFills the lists with the last nonlinear "
                    "solution."),
    keywords_method("evaluatecoef", m_evaluatecoef,
                    "evaluatecoef(row, col) -> float\nValue of the coefficient at (row, col) at the current point."),
    keywords_method("evaluateformula", m_evaluateformula,
                    "evaluateformula(parsed, type, values) -> float\nValue of a formula at the current point."),
    plain_method("validate", m_validate, "validate()\nChecks the last nonlinear solution against rows, bounds and formulas."),
    keywords_method("validatekkt", m_validatekkt,
                    "validatekkt(mode, respectbasis, updatemult, violtarget)\nChecks the KKT conditions of the last "
                    "nonlinear solution."),
    keywords_method("validaterow", m_validaterow,
                    "validaterow(row)\nReports the parts of a row's activity at the last nonlinear solution."),
    keywords_method("validatevector", m_validatevector,
                    "validatevector(solution) -> (suminf, scaledsuminf, objective)\nViolations and objective of a "
                    "point."),
    plain_method("printmemory", m_printmemory, "printmemory()\nReports the memory the nonlinear layer holds."),
    plain_method("printevalinfo", m_printevalinfo,
                 "printevalinfo()\nReports the formula evaluations made by the nonlinear solver."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
