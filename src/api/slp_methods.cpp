// Thin methods of the successive-linearisation engine's data: column settings, tolerance sets,
// row weights and statuses, cascading, and the layer's state.
#include <string>

#include "api/convert.h"
#include "module/frame.h"

namespace kelvo {

static bool given(PyObject *o) { return o && o != Py_None; }

static PyObject *interface_error(const char *message) {
  PyErr_SetString(g.InterfaceError, message);
  return nullptr;
}

// A one-element setting: null when omitted or None, else the value read into *out.
static int optional_int(PyObject *o, int *out, const int **ptr) {
  *ptr = nullptr;
  if (!given(o)) return 0;
  if (int32_value(o, out) < 0) return -1;
  *ptr = out;
  return 0;
}

static int optional_real(PyObject *o, double *out, const double **ptr) {
  *ptr = nullptr;
  if (!given(o)) return 0;
  double v = PyFloat_AsDouble(o);
  if (v == -1.0 && PyErr_Occurred()) return -1;
  *out = v;
  *ptr = out;
  return 0;
}

// A layer call without arguments.
template <int (*Fn)(KSLPprob)>
static PyObject *no_arguments(PyObject *self, const char *function) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  if (call(Fn, function, p, p->slp)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_cascade(PyObject *self, PyObject *) { return no_arguments<KSLPcascade>(self, "KSLPcascade"); }
static PyObject *m_cascadeorder(PyObject *self, PyObject *) {
  return no_arguments<KSLPcascadeorder>(self, "KSLPcascadeorder");
}
static PyObject *m_construct(PyObject *self, PyObject *) { return no_arguments<KSLPconstruct>(self, "KSLPconstruct"); }
static PyObject *m_unconstruct(PyObject *self, PyObject *) {
  return no_arguments<KSLPunconstruct>(self, "KSLPunconstruct");
}
static PyObject *m_reinitialize(PyObject *self, PyObject *) {
  return no_arguments<KSLPreinitialize>(self, "KSLPreinitialize");
}
static PyObject *m_setcurrentiv(PyObject *self, PyObject *) {
  return no_arguments<KSLPsetcurrentiv>(self, "KSLPsetcurrentiv");
}

static PyObject *m_presolve(PyObject *self, PyObject *) { return no_arguments<KSLPpresolve>(self, "KSLPpresolve"); }
static PyObject *m_scaling(PyObject *self, PyObject *) { return no_arguments<KSLPscaling>(self, "KSLPscaling"); }
static PyObject *m_updatelinearization(PyObject *self, PyObject *) {
  return no_arguments<KSLPupdatelinearization>(self, "KSLPupdatelinearization");
}

static PyObject *m_fixpenalties(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  int status = 0;
  if (call(KSLPfixpenalties, "KSLPfixpenalties", p, p->slp, &status)) return check_result(self, nullptr);
  return PyLong_FromLong(status);
}

// ---- finite-difference widths

// adddfs and loaddfs: columns, rows and widths of one length.
template <int (*Fn)(KSLPprob, int, const int *, const int *, const double *)>
static PyObject *dfs(PyObject *self, PyObject *args, PyObject *kwargs, const char *function) {
  static const char *const kw[] = {"colindex", "rowindex", "value", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colindex, *rowindex, *value;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, nullptr, 5, &colindex, &rowindex, &value))
    return nullptr;
  LengthSlot n = -1;
  WorkArray cols, rows, vals;
  int count;
  if (conv_obj2arr(p, &n, colindex, ek_col, cols) < 0 || conv_obj2arr(p, &n, rowindex, ek_row, rows) < 0 ||
      conv_obj2arr(p, &n, value, ek_real, vals) < 0 || array_count(n, &count) < 0)
    return nullptr;
  if (!given(colindex) || !given(rowindex) || !given(value))
    return missing_arguments({"colindex", "rowindex", "value"}), nullptr;
  if (call(Fn, function, p, p->slp, count, cols.as<int>(), rows.as<int>(), vals.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_adddfs(PyObject *self, PyObject *args, PyObject *kwargs) {
  return dfs<KSLPadddfs>(self, args, kwargs, "KSLPadddfs");
}
static PyObject *m_loaddfs(PyObject *self, PyObject *args, PyObject *kwargs) {
  return dfs<KSLPloaddfs>(self, args, kwargs, "KSLPloaddfs");
}

static PyObject *m_chgdf(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"col", "row", "value", nullptr};
  static const char *const oldkw[] = {"colindex", "rowindex", "value", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colobj, *rowobj, *valobj;
  int col, row;
  double value;
  const double *pvalue;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &colobj, &rowobj, &valobj) ||
      conv_obj2index(p, colobj, ek_col, &col) < 0 || conv_obj2index(p, rowobj, ek_row, &row) < 0 ||
      optional_real(valobj, &value, &pvalue) < 0)
    return nullptr;
  if (!pvalue) return missing_arguments({"value"}), nullptr;
  if (call(KSLPchgdf, "KSLPchgdf", p, p->slp, col, row, pvalue)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getdf(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"col", "row", nullptr};
  static const char *const oldkw[] = {"colindex", "rowindex", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colobj, *rowobj;
  int col, row;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &colobj, &rowobj) ||
      conv_obj2index(p, colobj, ek_col, &col) < 0 || conv_obj2index(p, rowobj, ek_row, &row) < 0)
    return nullptr;
  double value = 0;
  if (call(KSLPgetdf, "KSLPgetdf", p, p->slp, col, row, &value)) return check_result(self, nullptr);
  return PyFloat_FromDouble(value);
}

// ---- column settings

static PyObject *m_chgdeltatype(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"varind", "deltatypes", "values", nullptr};
  static const char *const oldkw[] = {"vars", "deltatypes", "values", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *varind, *types, *values;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &varind, &types, &values))
    return nullptr;
  LengthSlot n = -1;
  WorkArray cols, kinds, vals;
  int count;
  if (conv_obj2arr(p, &n, varind, ek_col, cols) < 0 || conv_obj2arr(p, &n, types, ek_int, kinds) < 0 ||
      conv_obj2arr(p, &n, values, ek_real, vals) < 0 || array_count(n, &count) < 0)
    return nullptr;
  if (!given(varind) || !given(types)) return missing_arguments({"varind", "deltatypes"}), nullptr;
  if (call(KSLPchgdeltatype, "KSLPchgdeltatype", p, p->slp, count, cols.as<int>(), kinds.as<int>(),
           vals.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// addvars and loadvars: seven arrays of one length; any but colindex may be None.
template <int (*Fn)(KSLPprob, int, const int *, const int *, const int *, const int *, const int *, const double *,
                    const double *)>
static PyObject *vars(PyObject *self, PyObject *args, PyObject *kwargs, const char *function) {
  static const char *const kw[] = {"colindex", "vartype", "detrow", "seqnum", "tolindex", "initvalue", "stepbound",
                                   nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colindex, *vartype, *detrow, *seqnum, *tolindex, *initvalue, *stepbound;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOOOOO", kw, nullptr, 5, &colindex, &vartype, &detrow,
                                               &seqnum, &tolindex, &initvalue, &stepbound))
    return nullptr;
  LengthSlot n = -1;
  WorkArray cols, types, rows, seq, tol, init, step;
  int count;
  if (conv_obj2arr(p, &n, colindex, ek_col, cols) < 0 || conv_obj2arr(p, &n, vartype, ek_int, types) < 0 ||
      conv_obj2arr(p, &n, detrow, ek_row, rows) < 0 || conv_obj2arr(p, &n, seqnum, ek_int, seq) < 0 ||
      conv_obj2arr(p, &n, tolindex, ek_int, tol) < 0 || conv_obj2arr(p, &n, initvalue, ek_real, init) < 0 ||
      conv_obj2arr(p, &n, stepbound, ek_real, step) < 0 || array_count(n, &count) < 0)
    return nullptr;
  if (!given(colindex)) return missing_arguments({"colindex"}), nullptr;
  if (call(Fn, function, p, p->slp, count, cols.as<int>(), types.as<int>(), rows.as<int>(), seq.as<int>(),
           tol.as<int>(), init.as<double>(), step.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_addvars(PyObject *self, PyObject *args, PyObject *kwargs) {
  return vars<KSLPaddvars>(self, args, kwargs, "KSLPaddvars");
}
static PyObject *m_loadvars(PyObject *self, PyObject *args, PyObject *kwargs) {
  return vars<KSLPloadvars>(self, args, kwargs, "KSLPloadvars");
}

static PyObject *m_chgvar(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"col",   "detrow", "initstepbound", "stepbound", "penalty",   "damp", "initial",
                                   "value", "tolset", "history",       "converged", "vartype",   nullptr};
  static const char *const oldkw[] = {"colindex", "detrow",  "initstepbound", "stepbound", "penalty",
                                      "damp",     "initvalue", "value",       "tolset",    "history",
                                      "converged", "vartype", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *o[12] = {nullptr};
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "|OOOOOOOOOOOO", kw, oldkw, 5, &o[0], &o[1], &o[2],
                                               &o[3], &o[4], &o[5], &o[6], &o[7], &o[8], &o[9], &o[10], &o[11]))
    return nullptr;
  if (!given(o[0])) return missing_arguments({"col"}), nullptr;
  int col, detrow, tolset, history, converged, vartype;
  double initstep, step, penalty, damp, initial, value;
  const int *pdetrow, *ptolset, *phistory, *pconverged, *pvartype;
  const double *pinitstep, *pstep, *ppenalty, *pdamp, *pinitial, *pvalue;
  pdetrow = nullptr;
  if (conv_obj2index(p, o[0], ek_col, &col) < 0) return nullptr;
  if (given(o[1])) {
    // -1 removes the determining row; anything else names a row.
    if (PyLong_Check(o[1]) && PyLong_AsLong(o[1]) == -1) detrow = -1;
    else if (conv_obj2index(p, o[1], ek_row, &detrow) < 0) return nullptr;
    pdetrow = &detrow;
  }
  if (optional_real(o[2], &initstep, &pinitstep) < 0 || optional_real(o[3], &step, &pstep) < 0 ||
      optional_real(o[4], &penalty, &ppenalty) < 0 || optional_real(o[5], &damp, &pdamp) < 0 ||
      optional_real(o[6], &initial, &pinitial) < 0 || optional_real(o[7], &value, &pvalue) < 0 ||
      optional_int(o[8], &tolset, &ptolset) < 0 || optional_int(o[9], &history, &phistory) < 0 ||
      optional_int(o[10], &converged, &pconverged) < 0 || optional_int(o[11], &vartype, &pvartype) < 0)
    return nullptr;
  if (call(KSLPchgvar, "KSLPchgvar", p, p->slp, col, pdetrow, pinitstep, pstep, ppenalty, pdamp, pinitial, pvalue,
           ptolset, phistory, pconverged, pvartype))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getvar(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"col", nullptr};
  static const char *const oldkw[] = {"colindex", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colobj;
  int col;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &colobj) ||
      conv_obj2index(p, colobj, ek_col, &col) < 0)
    return nullptr;
  int detrow, tolset, history, converged, vartype, delta, penaltydelta, updaterow;
  double initstep, step, penalty, damp, initvalue, value, oldvalue;
  if (call(KSLPgetvar, "KSLPgetvar", p, p->slp, col, &detrow, &initstep, &step, &penalty, &damp, &initvalue, &value,
           &tolset, &history, &converged, &vartype, &delta, &penaltydelta, &updaterow, &oldvalue))
    return check_result(self, nullptr);
  return Py_BuildValue("(iddddddiiiiiiid)", detrow, initstep, step, penalty, damp, initvalue, value, tolset, history,
                       converged, vartype, delta, penaltydelta, updaterow, oldvalue);
}

static PyObject *m_delvars(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", nullptr};
  static const char *const oldkw[] = {"index", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &colind)) return nullptr;
  LengthSlot n = -1;
  WorkArray cols;
  int count;
  if (conv_obj2arr(p, &n, colind, ek_col, cols) < 0 || array_count(n, &count) < 0) return nullptr;
  if (call(KSLPdelvars, "KSLPdelvars", p, p->slp, count, cols.as<int>())) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_chgcascadenlimit(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"col", "limit", nullptr};
  static const char *const oldkw[] = {"icol", "cascadenlimit", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colobj;
  int col, limit;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "Oi", kw, oldkw, 5, &colobj, &limit) ||
      conv_obj2index(p, colobj, ek_col, &col) < 0)
    return nullptr;
  if (call(KSLPchgcascadenlimit, "KSLPchgcascadenlimit", p, p->slp, col, limit)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// ---- tolerance sets

template <int (*Fn)(KSLPprob, int, const double *)>
static PyObject *tolsets(PyObject *self, PyObject *args, PyObject *kwargs, const char *function,
                         const char *wrong_arguments) {
  static const char *const kw[] = {"tol", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *tol;
  if (require_handle(p) < 0) return nullptr;
  if (!parse_keywords(args, kwargs, "O", kw, nullptr, 5, &tol)) {
    PyErr_Clear();
    return interface_error(wrong_arguments);
  }
  LengthSlot n = -1;
  WorkArray tols;
  if (conv_obj2arr(p, &n, tol, ek_real, tols) < 0) return nullptr;
  if (n < 0) n = 0;
  if (n % 9 != 0) return interface_error("The \"tol\" argument should have a multiple of 9 elements");
  if (call(Fn, function, p, p->slp, static_cast<int>(n / 9), tols.as<double>())) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_addtolsets(PyObject *self, PyObject *args, PyObject *kwargs) {
  return tolsets<KSLPaddtolsets>(self, args, kwargs, "KSLPaddtolsets", "Wrong arguments in addtolsets");
}
static PyObject *m_loadtolsets(PyObject *self, PyObject *args, PyObject *kwargs) {
  return tolsets<KSLPloadtolsets>(self, args, kwargs, "KSLPloadtolsets", "Wrong arguments in loadtolsets");
}

static PyObject *m_chgtolset(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"tolset", "status", "tols", nullptr};
  static const char *const oldkw[] = {"ntol", "status", "tols", nullptr};
  ProblemObject *p = problem_of(self);
  int tolset, status;
  PyObject *statusobj, *tolsobj;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "iOO", kw, oldkw, 5, &tolset, &statusobj, &tolsobj))
    return nullptr;
  const int *pstatus;
  if (optional_int(statusobj, &status, &pstatus) < 0) return nullptr;
  LengthSlot n = given(tolsobj) ? 9 : -1;
  WorkArray tols;
  if (conv_obj2arr(p, &n, tolsobj, ek_real, tols) < 0) return nullptr;
  if (call(KSLPchgtolset, "KSLPchgtolset", p, p->slp, tolset, pstatus, tols.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_gettolset(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"tolset", "tols", nullptr};
  static const char *const oldkw[] = {"nslptol", "tols", nullptr};
  ProblemObject *p = problem_of(self);
  int tolset, status = 0;
  PyObject *out;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "iO", kw, oldkw, 5, &tolset, &out)) return nullptr;
  double tols[9];
  if (call(KSLPgettolset, "KSLPgettolset", p, p->slp, tolset, &status, tols)) return check_result(self, nullptr);
  if (conv_arr2obj(p, 9, tols, out, ek_real) < 0) return nullptr;
  return PyLong_FromLong(status);
}

static PyObject *m_deltolsets(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"tolind", nullptr};
  static const char *const oldkw[] = {"index", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *tolind;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &tolind)) return nullptr;
  LengthSlot n = -1;
  WorkArray sets;
  int count;
  if (conv_obj2arr(p, &n, tolind, ek_int, sets) < 0 || array_count(n, &count) < 0) return nullptr;
  if (call(KSLPdeltolsets, "KSLPdeltolsets", p, p->slp, count, sets.as<int>())) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// ---- rows

static PyObject *m_chgrowwt(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "weight", nullptr};
  static const char *const oldkw[] = {"rowindex", "value", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowobj, *weightobj;
  int row;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &rowobj, &weightobj) ||
      conv_obj2index(p, rowobj, ek_row, &row) < 0)
    return nullptr;
  double weight = PyFloat_AsDouble(weightobj);
  if (weight == -1.0 && PyErr_Occurred()) return nullptr;
  if (call(KSLPchgrowwt, "KSLPchgrowwt", p, p->slp, row, &weight)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getrowwt(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", nullptr};
  static const char *const oldkw[] = {"rowindex", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowobj;
  int row;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &rowobj) ||
      conv_obj2index(p, rowobj, ek_row, &row) < 0)
    return nullptr;
  double weight = 0;
  if (call(KSLPgetrowwt, "KSLPgetrowwt", p, p->slp, row, &weight)) return check_result(self, nullptr);
  return PyFloat_FromDouble(weight);
}

static PyObject *m_chgrowstatus(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", "status", nullptr};
  static const char *const oldkw[] = {"rowindex", "status", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowobj, *statusobj;
  int row, status;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &rowobj, &statusobj) ||
      conv_obj2index(p, rowobj, ek_row, &row) < 0 || int32_value(statusobj, &status) < 0)
    return nullptr;
  if (call(KSLPchgrowstatus, "KSLPchgrowstatus", p, p->slp, row, &status)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getrowstatus(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"row", nullptr};
  static const char *const oldkw[] = {"rowindex", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowobj;
  int row, status = 0;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &rowobj) ||
      conv_obj2index(p, rowobj, ek_row, &row) < 0)
    return nullptr;
  if (call(KSLPgetrowstatus, "KSLPgetrowstatus", p, p->slp, row, &status)) return check_result(self, nullptr);
  return PyLong_FromLong(status);
}

// getrowinfo and getcolinfo: an int or a float, as the library says.
template <int (*Fn)(KSLPprob, int, int, int *, int *, double *)>
static PyObject *info(PyObject *self, PyObject *args, PyObject *kwargs, const char *const *kw, ElemKind kind,
                      const char *function) {
  ProblemObject *p = problem_of(self);
  int infotype, index;
  PyObject *indexobj;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "iO", kw, nullptr, 5, &infotype, &indexobj) ||
      conv_obj2index(p, indexobj, kind, &index) < 0)
    return nullptr;
  int type = 0, ivalue = 0;
  double dvalue = 0;
  if (call(Fn, function, p, p->slp, infotype, index, &type, &ivalue, &dvalue)) return check_result(self, nullptr);
  if (type == 1) return PyLong_FromLong(ivalue);
  if (type == 2) return PyFloat_FromDouble(dvalue);
  return check_result(self, nullptr);
}

static PyObject *m_getrowinfo(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"infotype", "rowindex", nullptr};
  return info<KSLPgetrowinfo>(self, args, kwargs, kw, ek_row, "KSLPgetrowinfo");
}

static PyObject *m_getcolinfo(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"infotype", "colindex", nullptr};
  return info<KSLPgetcolinfo>(self, args, kwargs, kw, ek_col, "KSLPgetcolinfo");
}

PyMethodDef problem_methods_slp[] = {
    keywords_method("addvars", m_addvars, "Adds settings of the successive-linearisation engine for columns."),
    keywords_method("loadvars", m_loadvars, "Replaces the successive-linearisation settings of all columns."),
    keywords_method("chgvar", m_chgvar, "Changes the successive-linearisation settings of a column."),
    keywords_method("getvar", m_getvar, "Returns the successive-linearisation settings and state of a column."),
    keywords_method("delvars", m_delvars, "Forgets the successive-linearisation settings of columns."),
    keywords_method("addtolsets", m_addtolsets, "Adds tolerance sets (nine tolerances each)."),
    keywords_method("loadtolsets", m_loadtolsets, "Replaces all tolerance sets."),
    keywords_method("chgtolset", m_chgtolset, "Changes a tolerance set."),
    keywords_method("gettolset", m_gettolset, "Reads a tolerance set; returns its status."),
    keywords_method("deltolsets", m_deltolsets, "Deletes tolerance sets."),
    keywords_method("chgrowwt", m_chgrowwt, "Changes the penalty weight of a row."),
    keywords_method("getrowwt", m_getrowwt, "Returns the penalty weight of a row."),
    keywords_method("chgrowstatus", m_chgrowstatus, "Changes the status word of a row."),
    keywords_method("getrowstatus", m_getrowstatus, "Returns the status word of a row."),
    keywords_method("getrowinfo", m_getrowinfo, "Returns information on a row."),
    keywords_method("getcolinfo", m_getcolinfo, "Returns information on a column."),
    keywords_method("chgcascadenlimit", m_chgcascadenlimit, "Changes how many Newton steps cascading may take on a column."),
    plain_method("cascade", m_cascade, "Recomputes the columns that rows determine."),
    plain_method("cascadeorder", m_cascadeorder, "Fixes the order in which cascading recomputes columns."),
    plain_method("construct", m_construct, "Builds the nonlinear engines' compiled model."),
    plain_method("unconstruct", m_unconstruct, "Drops the nonlinear engines' compiled model."),
    plain_method("reinitialize", m_reinitialize, "Forgets the last nonlinear solution and the engine's column state."),
    plain_method("setcurrentiv", m_setcurrentiv, "Makes the last nonlinear solution the initial values."),
    plain_method("presolve", m_presolve, "Builds the compiled model, cascades and linearises at the starting point."),
    plain_method("scaling", m_scaling, "Weighs every row's penalty by the inverse of its largest derivative."),
    plain_method("updatelinearization", m_updatelinearization, "Linearises every row at the current point."),
    plain_method("fixpenalties", m_fixpenalties,
                 "Enforces the rows the last solution satisfies; returns how many rows it violates."),
    keywords_method("adddfs", m_adddfs, "Adds finite-difference widths for derivatives of rows by columns."),
    keywords_method("loaddfs", m_loaddfs, "Replaces all finite-difference widths."),
    keywords_method("chgdf", m_chgdf, "Changes the finite-difference width of a row's derivative by a column."),
    keywords_method("getdf", m_getdf, "Returns the finite-difference width of a row's derivative by a column."),
    keywords_method("chgdeltatype", m_chgdeltatype, "Changes how the successive-linearisation engine steps columns."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
