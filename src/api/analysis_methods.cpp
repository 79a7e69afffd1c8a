// Thin methods of the analysis functions: bases and pivots, sensitivity ranging, infeasibility
// sets and repair, presolve spaces, MIP refinement, solution files and the tuner.
#include <initializer_list>

#include "api/convert.h"
#include "module/frame.h"

namespace kelvo {

namespace {

using Keywords = const char *const[];

// Allocates a work array of n elements of the kind when the caller wants the output (arg not
// null or None). 0 or -1 with MemoryError.
int output_array(PyObject *arg, int64_t n, ElemKind kind, WorkArray &out) {
  if (!arg || arg == Py_None || n <= 0) return 0;
  out.data = array_allocator.allocate(elem_width(kind) * static_cast<size_t>(n));
  if (!out.data) return -1;
  out.count = n;
  return 0;
}

PyObject *none_or_error(PyObject *self, int rc) {
  if (rc) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

// Methods of the shape f(filename, flags="") over one library function.
PyObject *file_method(PyObject *self, PyObject *args, PyObject *kwargs, const char *format,
                      int (*fn)(KLVOprob, const char *, const char *), const char *name) {
  static Keywords kw = {"filename", "flags", nullptr};
  ProblemObject *p = problem_of(self);
  const char *filename = "", *flags = "";
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, format, kw, nullptr, 5, &filename, &flags))
    return nullptr;
  return none_or_error(self, call(fn, name, p, p->prob, filename, flags));
}

// getbasis and getpresolvebasis: statuses of rows and columns into the lists given.
PyObject *basis_out(PyObject *self, PyObject *args, PyObject *kwargs, int (*fn)(KLVOprob, int *, int *),
                    const char *name, int rows_attr, int cols_attr) {
  static Keywords kw = {"rowstat", "colstat", nullptr};
  static Keywords oldkw = {"rstatus", "cstatus", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowstat, *colstat;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &rowstat, &colstat)) return nullptr;
  int rows, cols;
  if (read_int_attrib(p, rows_attr, &rows) < 0 || read_int_attrib(p, cols_attr, &cols) < 0) return nullptr;
  WorkArray r, c;
  if (output_array(rowstat, rows, ek_int, r) < 0 || output_array(colstat, cols, ek_int, c) < 0) return nullptr;
  if (call(fn, name, p, p->prob, r.as<int>(), c.as<int>())) return check_result(self, nullptr);
  if (conv_arr2obj(p, rows, r, rowstat, ek_int) < 0 || conv_arr2obj(p, cols, c, colstat, ek_int) < 0) return nullptr;
  Py_RETURN_NONE;
}

// loadbasis and loadpresolvebasis: one status per row and per column.
PyObject *basis_in(PyObject *self, PyObject *args, PyObject *kwargs, int (*fn)(KLVOprob, const int *, const int *),
                   const char *name, int rows_attr, int cols_attr) {
  static Keywords kw = {"rowstat", "colstat", nullptr};
  static Keywords oldkw = {"rstatus", "cstatus", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowstat, *colstat;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &rowstat, &colstat)) return nullptr;
  if (require_arguments({"rowstat", "colstat"}, {rowstat, colstat}) < 0) return nullptr;
  int rows, cols;
  if (read_int_attrib(p, rows_attr, &rows) < 0 || read_int_attrib(p, cols_attr, &cols) < 0) return nullptr;
  LengthSlot nr = rows, nc = cols;
  WorkArray r, c;
  if (conv_obj2arr(p, &nr, rowstat, ek_int, r) < 0 || conv_obj2arr(p, &nc, colstat, ek_int, c) < 0) return nullptr;
  return none_or_error(self, call(fn, name, p, p->prob, r.as<const int>(), c.as<const int>()));
}

// btran and ftran: the list vec (rows values) transformed in place.
PyObject *transform(PyObject *self, PyObject *args, PyObject *kwargs, int (*fn)(KLVOprob, double *),
                    const char *name) {
  static Keywords kw = {"vec", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *vec;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, nullptr, 5, &vec)) return nullptr;
  if (require_arguments({"vec"}, {vec}) < 0) return nullptr;
  int rows;
  if (read_int_attrib(p, KLVO_ATTR_ROWS, &rows) < 0) return nullptr;
  LengthSlot n = rows;
  WorkArray v;
  if (conv_obj2arr(p, &n, vec, ek_real, v) < 0) return nullptr;
  if (call(fn, name, p, p->prob, v.as<double>())) return check_result(self, nullptr);
  if (conv_arr2obj(p, rows, v, vec, ek_real) < 0) return nullptr;
  Py_RETURN_NONE;
}

// objsa and rhssa: ranges of the given columns' objective coefficients or rows' right-hand
// sides into the lists lower and upper.
PyObject *ranging(PyObject *self, PyObject *args, PyObject *kwargs, const char *const *kw,
                  const char *const *oldkw, ElemKind kind, int (*fn)(KLVOprob, int, const int *, double *, double *),
                  const char *name) {
  ProblemObject *p = problem_of(self);
  PyObject *ind, *lower, *upper;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOO", kw, oldkw, 5, &ind, &lower, &upper))
    return nullptr;
  if (require_arguments({kw[0]}, {ind}) < 0) return nullptr;
  LengthSlot n = -1;
  WorkArray indices, lo, up;
  int count;
  if (conv_obj2arr(p, &n, ind, kind, indices) < 0 || array_count(n, &count) < 0 ||
      output_array(lower, count, ek_real, lo) < 0 || output_array(upper, count, ek_real, up) < 0)
    return nullptr;
  if (call(fn, name, p, p->prob, count, indices.as<const int>(), lo.as<double>(), up.as<double>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, count, lo, lower, ek_real) < 0 || conv_arr2obj(p, count, up, upper, ek_real) < 0) return nullptr;
  Py_RETURN_NONE;
}

bool nonlinear_part(const ProblemObject *p) { return p->slp && (p->nonlin_cons != 0 || p->nonlin_obj != 0); }

}  // namespace

static PyObject *m_basisstability(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"type", "norm", "scaled", nullptr};
  static Keywords oldkw = {"type", "norm", "ifscaled", nullptr};
  ProblemObject *p = problem_of(self);
  int type, norm, scaled;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "iii", kw, oldkw, 5, &type, &norm, &scaled))
    return nullptr;
  double value = 0;
  if (call(KLVObasisstability, "KLVObasisstability", p, p->prob, type, norm, scaled, &value))
    return check_result(self, nullptr);
  return PyFloat_FromDouble(value);
}

static PyObject *m_bndsa(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"colind", "lblower", "lbupper", "ublower", "ubupper", nullptr};
  static Keywords oldkw = {"mindex", "lblower", "lbupper", "ublower", "ubupper", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind, *out[4] = {nullptr, nullptr, nullptr, nullptr};
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "O|OOOO", kw, oldkw, 5, &colind, &out[0], &out[1], &out[2], &out[3]))
    return nullptr;
  if (!PyList_Check(colind)) {
    PyErr_Format(g.InterfaceError, "Parameter \"%s\" of problem.bndsa must be a list", kw[0]);
    return nullptr;
  }
  if (PyList_GET_SIZE(colind) == 0) {
    PyErr_Format(g.InterfaceError, "Parameter \"%s\" is an empty list", kw[0]);
    return nullptr;
  }
  for (PyObject *o : out)
    if (o && o != Py_None && !PyList_Check(o)) {
      PyErr_Format(g.InterfaceError, "Parameters \"%s\", \"%s\", etc. of problem.bndsa must be a None or a list, "
                                      "possibly empty", kw[1], kw[2]);
      return nullptr;
    }
  LengthSlot n = -1;
  WorkArray cols, values[4];
  int count;
  if (conv_obj2arr(p, &n, colind, ek_col, cols) < 0 || array_count(n, &count) < 0) return nullptr;
  for (int k = 0; k < 4; ++k)
    if (output_array(out[k], count, ek_real, values[k]) < 0) return nullptr;
  if (call(KLVObndsa, "KLVObndsa", p, p->prob, count, cols.as<const int>(), values[0].as<double>(),
           values[1].as<double>(), values[2].as<double>(), values[3].as<double>()))
    return check_result(self, nullptr);
  for (int k = 0; k < 4; ++k)
    if (conv_arr2obj(p, count, values[k], out[k], ek_real) < 0) return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_btran(PyObject *self, PyObject *args, PyObject *kwargs) {
  return transform(self, args, kwargs, KLVObtran, "KLVObtran");
}

static PyObject *m_ftran(PyObject *self, PyObject *args, PyObject *kwargs) {
  return transform(self, args, kwargs, KLVOftran, "KLVOftran");
}

static PyObject *m_estimaterowdualranges(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"rowind", "iterlim", "mindual", "maxdual", nullptr};
  static Keywords oldkw = {"rowIndices", "iterationLimit", "minDualActivity", "maxDualActivity", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowind, *mindual, *maxdual;
  int iterlim;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OiOO", kw, oldkw, 5, &rowind, &iterlim, &mindual, &maxdual))
    return nullptr;
  LengthSlot n = -1;
  WorkArray rows, lo, up;
  int count;
  if (conv_obj2arr(p, &n, rowind, ek_row, rows) < 0 || array_count(n, &count) < 0 ||
      output_array(mindual, count, ek_real, lo) < 0 || output_array(maxdual, count, ek_real, up) < 0)
    return nullptr;
  if (call(KLVOestimaterowdualranges, "KLVOestimaterowdualranges", p, p->prob, count, rows.as<const int>(), iterlim,
           lo.as<double>(), up.as<double>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, count, lo, mindual, ek_real) < 0 || conv_arr2obj(p, count, up, maxdual, ek_real) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_fixmipentities(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"options", nullptr};
  ProblemObject *p = problem_of(self);
  int options;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "i", kw, nullptr, 5, &options)) return nullptr;
  return none_or_error(self, call(KLVOfixmipentities, "KLVOfixmipentities", p, p->prob, options));
}

static PyObject *m_getbasis(PyObject *self, PyObject *args, PyObject *kwargs) {
  return basis_out(self, args, kwargs, KLVOgetbasis, "KLVOgetbasis", KLVO_ATTR_ORIGINALROWS, KLVO_ATTR_ORIGINALCOLS);
}

static PyObject *m_getpresolvebasis(PyObject *self, PyObject *args, PyObject *kwargs) {
  return basis_out(self, args, kwargs, KLVOgetpresolvebasis, "KLVOgetpresolvebasis", KLVO_ATTR_ROWS, KLVO_ATTR_COLS);
}

static PyObject *m_loadbasis(PyObject *self, PyObject *args, PyObject *kwargs) {
  return basis_in(self, args, kwargs, KLVOloadbasis, "KLVOloadbasis", KLVO_ATTR_ORIGINALROWS, KLVO_ATTR_ORIGINALCOLS);
}

static PyObject *m_loadpresolvebasis(PyObject *self, PyObject *args, PyObject *kwargs) {
  return basis_in(self, args, kwargs, KLVOloadpresolvebasis, "KLVOloadpresolvebasis", KLVO_ATTR_ROWS, KLVO_ATTR_COLS);
}

static PyObject *m_getbasisval(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"row", "col", nullptr};
  static Keywords oldkw = {"row", "column", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *row_obj, *col_obj;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &row_obj, &col_obj)) return nullptr;
  // None asks for nothing; its status reads -1.
  int row = -1, col = -1, rowstat = -1, colstat = -1;
  if ((row_obj != Py_None && conv_obj2index(p, row_obj, ek_row, &row) < 0) ||
      (col_obj != Py_None && conv_obj2index(p, col_obj, ek_col, &col) < 0))
    return nullptr;
  if (call(KLVOgetbasisval, "KLVOgetbasisval", p, p->prob, row, col, &rowstat, &colstat))
    return check_result(self, nullptr);
  return Py_BuildValue("(ii)", rowstat, colstat);
}

static PyObject *m_getiisdata(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"iis", "rowind", "colind", "contype", "bndtype", "duals", "djs", "isolationrows",
                        "isolationcols", nullptr};
  static Keywords oldkw = {"num", "miisrow", "miiscol", "constrainttype", "colbndtype", "duals", "rdcs",
                           "isolationrows", "isolationcols", nullptr};
  ProblemObject *p = problem_of(self);
  int num;
  PyObject *out[8] = {};
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "i|OOOOOOOO", kw, oldkw, 5, &num, &out[0], &out[1],
                                               &out[2], &out[3], &out[4], &out[5], &out[6], &out[7]))
    return nullptr;
  int nrows = 0, ncols = 0;
  if (call(KLVOgetiisdata, "KLVOgetiisdata", p, p->prob, num, &nrows, &ncols, nullptr, nullptr, nullptr, nullptr,
           nullptr, nullptr, nullptr, nullptr))
    return check_result(self, nullptr);
  // Row-sized outputs first, then column-sized, in the keyword order.
  static const ElemKind kinds[8] = {ek_row, ek_col, ek_char, ek_char, ek_real, ek_real, ek_char, ek_char};
  static const bool by_row[8] = {true, false, true, false, true, false, true, false};
  WorkArray arrays[8];
  for (int k = 0; k < 8; ++k)
    if (output_array(out[k], by_row[k] ? nrows : ncols, kinds[k], arrays[k]) < 0) return nullptr;
  if (call(KLVOgetiisdata, "KLVOgetiisdata", p, p->prob, num, &nrows, &ncols, arrays[0].as<int>(),
           arrays[1].as<int>(), arrays[2].as<char>(), arrays[3].as<char>(), arrays[4].as<double>(),
           arrays[5].as<double>(), arrays[6].as<char>(), arrays[7].as<char>()))
    return check_result(self, nullptr);
  for (int k = 0; k < 8; ++k) {
    int64_t n = by_row[k] ? nrows : ncols;
    if (k >= 6 && arrays[k].data) {
      // Isolation flags are small integers (-1 not computed, 0 no, 1 yes), not characters.
      WorkArray ints;
      if (output_array(out[k], n, ek_int, ints) < 0) return nullptr;
      for (int64_t i = 0; i < n; ++i) ints.as<int>()[i] = arrays[k].as<signed char>()[i];
      if (conv_arr2obj(p, n, ints, out[k], ek_int) < 0) return nullptr;
      continue;
    }
    if (conv_arr2obj(p, n, arrays[k], out[k], kinds[k]) < 0) return nullptr;
  }
  Py_RETURN_NONE;
}

static PyObject *m_getpivotorder(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"pivotorder", nullptr};
  static Keywords oldkw = {"mpiv", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *order;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &order)) return nullptr;
  if (require_arguments({"pivotorder"}, {order}) < 0) return nullptr;
  int rows;
  if (read_int_attrib(p, KLVO_ATTR_ROWS, &rows) < 0) return nullptr;
  WorkArray values;
  if (output_array(order, rows, ek_int, values) < 0) return nullptr;
  if (call(KLVOgetpivotorder, "KLVOgetpivotorder", p, p->prob, values.as<int>())) return check_result(self, nullptr);
  if (conv_arr2obj(p, rows, values, order, ek_int) < 0) return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_getpivots(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"enter", "outlist", "x", "maxpivots", nullptr};
  static Keywords oldkw = {"in", "outlist", "x", "maxpiv", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *enter_obj, *outlist, *x;
  int maxpivots, enter;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OOOi", kw, oldkw, 5, &enter_obj, &outlist, &x, &maxpivots))
    return nullptr;
  if (conv_obj2combined(p, enter_obj, &enter) < 0) return nullptr;
  int rows, cols;
  if (read_int_attrib(p, KLVO_ATTR_ROWS, &rows) < 0 || read_int_attrib(p, KLVO_ATTR_COLS, &cols) < 0) return nullptr;
  WorkArray out, values;
  if (output_array(outlist, maxpivots, ek_int, out) < 0 ||
      output_array(x, static_cast<int64_t>(rows) + cols, ek_real, values) < 0)
    return nullptr;
  double objval = 0;
  int npivots = 0;
  if (call(KLVOgetpivots, "KLVOgetpivots", p, p->prob, enter, out.as<int>(), values.as<double>(), &objval, &npivots,
           maxpivots))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, npivots, out, outlist, ek_int) < 0 ||
      conv_arr2obj(p, static_cast<int64_t>(rows) + cols, values, x, ek_real) < 0)
    return nullptr;
  return Py_BuildValue("(di)", objval, npivots);
}

static PyObject *m_getpresolvemap(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"rowmap", "colmap", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowmap, *colmap;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, nullptr, 5, &rowmap, &colmap)) return nullptr;
  int rows, cols;
  if (read_int_attrib(p, KLVO_ATTR_ROWS, &rows) < 0 || read_int_attrib(p, KLVO_ATTR_COLS, &cols) < 0) return nullptr;
  WorkArray r, c;
  if (output_array(rowmap, rows, ek_int, r) < 0 || output_array(colmap, cols, ek_int, c) < 0) return nullptr;
  if (call(KLVOgetpresolvemap, "KLVOgetpresolvemap", p, p->prob, r.as<int>(), c.as<int>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, rows, r, rowmap, ek_int) < 0 || conv_arr2obj(p, cols, c, colmap, ek_int) < 0) return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_iisall(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  return none_or_error(self, call(KLVOiisall, "KLVOiisall", p, p->prob));
}

static PyObject *m_iisclear(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  return none_or_error(self, call(KLVOiisclear, "KLVOiisclear", p, p->prob));
}

static PyObject *m_iisfirst(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"mode", nullptr};
  static Keywords oldkw = {"iismode", nullptr};
  ProblemObject *p = problem_of(self);
  int mode, status = 0;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "i", kw, oldkw, 5, &mode)) return nullptr;
  if (call(KLVOiisfirst, "KLVOiisfirst", p, p->prob, mode, &status)) return check_result(self, nullptr);
  return PyLong_FromLong(status);
}

static PyObject *m_iisisolations(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"iis", nullptr};
  static Keywords oldkw = {"num", nullptr};
  ProblemObject *p = problem_of(self);
  int num;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "i", kw, oldkw, 5, &num)) return nullptr;
  return none_or_error(self, call(KLVOiisisolations, "KLVOiisisolations", p, p->prob, num));
}

static PyObject *m_iisnext(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  int status = 0;
  if (require_handle(p) < 0) return nullptr;
  if (call(KLVOiisnext, "KLVOiisnext", p, p->prob, &status)) return check_result(self, nullptr);
  return PyLong_FromLong(status);
}

static PyObject *m_iisstatus(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"nrows", "ncols", "suminfeas", "numinfeas", nullptr};
  static Keywords oldkw = {"rowsizes", "colsizes", "suminfeas", "numinfeas", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *nrows, *ncols, *suminfeas, *numinfeas;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OOOO", kw, oldkw, 5, &nrows, &ncols, &suminfeas, &numinfeas))
    return nullptr;
  int count = 0;
  if (call(KLVOiisstatus, "KLVOiisstatus", p, p->prob, &count, nullptr, nullptr, nullptr, nullptr))
    return check_result(self, nullptr);
  if (count == 0) Py_RETURN_NONE;
  int64_t n = static_cast<int64_t>(count) + 1;
  WorkArray r, c, s, v;
  if (output_array(nrows, n, ek_int, r) < 0 || output_array(ncols, n, ek_int, c) < 0 ||
      output_array(suminfeas, n, ek_real, s) < 0 || output_array(numinfeas, n, ek_int, v) < 0)
    return nullptr;
  if (call(KLVOiisstatus, "KLVOiisstatus", p, p->prob, &count, r.as<int>(), c.as<int>(), s.as<double>(), v.as<int>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, n, r, nrows, ek_int) < 0 || conv_arr2obj(p, n, c, ncols, ek_int) < 0 ||
      conv_arr2obj(p, n, s, suminfeas, ek_real) < 0 || conv_arr2obj(p, n, v, numinfeas, ek_int) < 0)
    return nullptr;
  return PyLong_FromLong(count);
}

static PyObject *m_iiswrite(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"iis", "filename", "filetype", "flags", nullptr};
  static Keywords oldkw = {"num", "fn", "type", "typeflags", nullptr};
  ProblemObject *p = problem_of(self);
  int num, filetype;
  const char *filename, *flags;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "isis", kw, oldkw, 5, &num, &filename, &filetype, &flags))
    return nullptr;
  return none_or_error(self, call(KLVOiiswrite, "KLVOiiswrite", p, p->prob, num, filename, filetype, flags));
}

static PyObject *m_objsa(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"colind", "lower", "upper", nullptr};
  static Keywords oldkw = {"mindex", "lower", "upper", nullptr};
  return ranging(self, args, kwargs, kw, oldkw, ek_col, KLVOobjsa, "KLVOobjsa");
}

static PyObject *m_rhssa(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"rowind", "lower", "upper", nullptr};
  static Keywords oldkw = {"mindex", "lower", "upper", nullptr};
  return ranging(self, args, kwargs, kw, oldkw, ek_row, KLVOrhssa, "KLVOrhssa");
}

static PyObject *m_presolverow(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"rowtype", "origcolind", "origrowcoef", "origrhs", "maxcoefs", "colind", "rowcoef", nullptr};
  static Keywords oldkw = {"qrtype", "mcolso", "dvalo", "drhso", "maxcoeffs", "mcolsp", "dvalp", nullptr};
  ProblemObject *p = problem_of(self);
  int rowtype, maxcoefs;
  PyObject *origcolind, *origrowcoef, *colind, *rowcoef;
  double origrhs;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "COOdiOO", kw, oldkw, 5, &rowtype, &origcolind,
                                               &origrowcoef, &origrhs, &maxcoefs, &colind, &rowcoef))
    return nullptr;
  LengthSlot n = -1;
  WorkArray ocols, ocoefs, pcols, pcoefs;
  int count;
  if (conv_obj2arr(p, &n, origcolind, ek_col, ocols) < 0 || conv_obj2arr(p, &n, origrowcoef, ek_real, ocoefs) < 0 ||
      array_count(n, &count) < 0 || output_array(colind, maxcoefs, ek_col, pcols) < 0 ||
      output_array(rowcoef, maxcoefs, ek_real, pcoefs) < 0)
    return nullptr;
  int ncoefs = 0, status = 0;
  double rhs = 0;
  if (call(KLVOpresolverow, "KLVOpresolverow", p, p->prob, static_cast<char>(rowtype), count, ocols.as<const int>(),
           ocoefs.as<const double>(), origrhs, maxcoefs, &ncoefs, pcols.as<int>(), pcoefs.as<double>(), &rhs, &status))
    return check_result(self, nullptr);
  // With too little room (status 1) nothing was written.
  int written = status == 0 ? ncoefs : 0;
  if (conv_arr2obj(p, written, pcols, colind, ek_col) < 0 || conv_arr2obj(p, written, pcoefs, rowcoef, ek_real) < 0)
    return nullptr;
  return Py_BuildValue("(di)", rhs, status);
}

static PyObject *m_readbasis(PyObject *self, PyObject *args, PyObject *kwargs) {
  return file_method(self, args, kwargs, "s|s", KLVOreadbasis, "KLVOreadbasis");
}
static PyObject *m_writebasis(PyObject *self, PyObject *args, PyObject *kwargs) {
  return file_method(self, args, kwargs, "|ss", KLVOwritebasis, "KLVOwritebasis");
}
static PyObject *m_readbinsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  return file_method(self, args, kwargs, "s|s", KLVOreadbinsol, "KLVOreadbinsol");
}
static PyObject *m_writebinsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  return file_method(self, args, kwargs, "s|s", KLVOwritebinsol, "KLVOwritebinsol");
}
static PyObject *m_readslxsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  return file_method(self, args, kwargs, "s|s", KLVOreadslxsol, "KLVOreadslxsol");
}
static PyObject *m_writesol(PyObject *self, PyObject *args, PyObject *kwargs) {
  return file_method(self, args, kwargs, "s|s", KLVOwritesol, "KLVOwritesol");
}
static PyObject *m_writeprtsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  return file_method(self, args, kwargs, "s|s", KLVOwriteprtsol, "KLVOwriteprtsol");
}

static PyObject *m_writeslxsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"filename", "flags", nullptr};
  ProblemObject *p = problem_of(self);
  const char *filename = "", *flags = "";
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "s|s", kw, nullptr, 5, &filename, &flags))
    return nullptr;
  // With a nonlinear part the layer writes the solution of the problem it solved.
  int rc = nonlinear_part(p) ? call(KSLPwriteslxsol, "KSLPwriteslxsol", p, p->slp, filename, flags)
                             : call(KLVOwriteslxsol, "KLVOwriteslxsol", p, p->prob, filename, flags);
  return none_or_error(self, rc);
}

static PyObject *m_refinemipsol(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"options", "flags", "solution", "refined", nullptr};
  static Keywords oldkw = {"options", "flags", "solution", "refined_solution", nullptr};
  ProblemObject *p = problem_of(self);
  int options;
  const char *flags;
  PyObject *solution, *refined;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "isOO", kw, oldkw, 5, &options, &flags, &solution, &refined))
    return nullptr;
  int cols;
  if (read_int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &cols) < 0) return nullptr;
  LengthSlot n = cols;
  WorkArray sol, out;
  if (conv_obj2arr(p, &n, solution, ek_real, sol) < 0 || output_array(refined, cols, ek_real, out) < 0) return nullptr;
  int status = 0;
  if (call(KLVOrefinemipsol, "KLVOrefinemipsol", p, p->prob, options, flags, sol.as<const double>(), out.as<double>(),
           &status))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, cols, out, refined, ek_real) < 0) return nullptr;
  return PyLong_FromLong(status);
}

static PyObject *m_repairinfeas(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"penalty", "phase2", "flags", "lepref", "gepref", "lbpref", "ubpref", "delta", nullptr};
  static Keywords oldkw = {"pflags", "oflags", "gflags", "lrp", "grp", "lbp", "ubp", "delta", nullptr};
  ProblemObject *p = problem_of(self);
  int penalty, phase2, flags;
  double lepref, gepref, lbpref, ubpref, delta;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "CCCddddd", kw, oldkw, 5, &penalty, &phase2, &flags,
                                               &lepref, &gepref, &lbpref, &ubpref, &delta))
    return nullptr;
  int status = 0;
  if (call(KLVOrepairinfeas, "KLVOrepairinfeas", p, p->prob, &status, static_cast<char>(penalty),
           static_cast<char>(phase2), static_cast<char>(flags), lepref, gepref, lbpref, ubpref, delta))
    return check_result(self, nullptr);
  return PyLong_FromLong(status);
}

// The preference (and relaxation) arrays of the weighted repairs: rows, rows, columns,
// columns, each None or of that length.
static int repair_arrays(ProblemObject *p, PyObject *const *objs, int count, WorkArray *arrays) {
  int rows, cols;
  if (read_int_attrib(p, KLVO_ATTR_ORIGINALROWS, &rows) < 0 || read_int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &cols) < 0)
    return -1;
  for (int k = 0; k < count; ++k) {
    LengthSlot n = k % 4 < 2 ? rows : cols;
    if (conv_obj2arr(p, &n, objs[k], ek_real, arrays[k]) < 0) return -1;
  }
  return 0;
}

static PyObject *m_repairweightedinfeas(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"lepref", "gepref", "lbpref", "ubpref", "phase2", "delta", "flags", nullptr};
  static Keywords oldkw = {"lrp_array", "grp_array", "lbp_array", "ubp_array", "phase2", "delta", "optflags", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *prefs[4];
  int phase2;
  double delta;
  const char *flags;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOOCds", kw, oldkw, 5, &prefs[0], &prefs[1], &prefs[2],
                                               &prefs[3], &phase2, &delta, &flags))
    return nullptr;
  WorkArray arrays[4];
  if (repair_arrays(p, prefs, 4, arrays) < 0) return nullptr;
  int status = 0;
  if (call(KLVOrepairweightedinfeas, "KLVOrepairweightedinfeas", p, p->prob, &status, arrays[0].as<const double>(),
           arrays[1].as<const double>(), arrays[2].as<const double>(), arrays[3].as<const double>(),
           static_cast<char>(phase2), delta, flags))
    return check_result(self, nullptr);
  return PyLong_FromLong(status);
}

static PyObject *m_repairweightedinfeasbounds(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"lepref", "gepref", "lbpref", "ubpref", "lerelax", "gerelax",
                        "lbrelax", "ubrelax", "phase2", "delta", "flags", nullptr};
  static Keywords oldkw = {"lrp_array", "grp_array", "lbp_array", "ubp_array", "lrb_array", "grb_array",
                           "lbb_array", "ubb_array", "phase2", "delta", "optflags", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *objs[8];
  int phase2;
  double delta;
  const char *flags;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OOOOOOOOCds", kw, oldkw, 5, &objs[0], &objs[1], &objs[2], &objs[3], &objs[4],
                      &objs[5], &objs[6], &objs[7], &phase2, &delta, &flags))
    return nullptr;
  WorkArray arrays[8];
  if (repair_arrays(p, objs, 8, arrays) < 0) return nullptr;
  int status = 0;
  if (call(KLVOrepairweightedinfeasbounds, "KLVOrepairweightedinfeasbounds", p, p->prob, &status,
           arrays[0].as<const double>(), arrays[1].as<const double>(), arrays[2].as<const double>(),
           arrays[3].as<const double>(), arrays[4].as<const double>(), arrays[5].as<const double>(),
           arrays[6].as<const double>(), arrays[7].as<const double>(), static_cast<char>(phase2), delta, flags))
    return check_result(self, nullptr);
  return PyLong_FromLong(status);
}

static PyObject *m_strongbranch(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"colind", "bndtype", "bndval", "iterlim", "objval", "status", nullptr};
  static Keywords oldkw = {"mbndind", "cbndtype", "dbndval", "itrlimit", "dsbobjval", "msbstatus", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind, *bndtype, *bndval, *objval, *status;
  int iterlim;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOiOO", kw, oldkw, 5, &colind, &bndtype, &bndval,
                                               &iterlim, &objval, &status))
    return nullptr;
  LengthSlot n = -1;
  WorkArray cols, types, values, objs, stats;
  int count;
  if (conv_obj2arr(p, &n, colind, ek_col, cols) < 0 || conv_obj2arr(p, &n, bndtype, ek_char, types) < 0 ||
      conv_obj2arr(p, &n, bndval, ek_real, values) < 0 || array_count(n, &count) < 0 ||
      output_array(objval, count, ek_real, objs) < 0 || output_array(status, count, ek_int, stats) < 0)
    return nullptr;
  if (call(KLVOstrongbranch, "KLVOstrongbranch", p, p->prob, count, cols.as<const int>(), types.as<const char>(),
           values.as<const double>(), iterlim, objs.as<double>(), stats.as<int>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, count, objs, objval, ek_real) < 0 || conv_arr2obj(p, count, stats, status, ek_int) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

static PyObject *m_tune(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"flags", nullptr};
  ProblemObject *p = problem_of(self);
  const char *flags = "";
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "|s", kw, nullptr, 5, &flags)) return nullptr;
  return none_or_error(self, call(KLVOtune, "KLVOtune", p, p->prob, flags));
}

static PyObject *m_tuneprobsetfile(PyObject *self, PyObject *args, PyObject *kwargs) {
  static Keywords kw = {"setfile", "ifmip", "sense", nullptr};
  ProblemObject *p = problem_of(self);
  const char *setfile;
  int ifmip = 0, sense = 1;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "s|ii", kw, nullptr, 5, &setfile, &ifmip, &sense))
    return nullptr;
  return none_or_error(self, call(KLVOtuneprobsetfile, "KLVOtuneprobsetfile", p, p->prob, setfile, ifmip, sense));
}

static PyObject *method_file(PyObject *self, PyObject *args, PyObject *kwargs, int (*fn)(KLVOprob, const char *),
                             const char *name) {
  static Keywords kw = {"methodfile", nullptr};
  ProblemObject *p = problem_of(self);
  const char *file;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "s", kw, nullptr, 5, &file)) return nullptr;
  return none_or_error(self, call(fn, name, p, p->prob, file));
}

static PyObject *m_tunerwritemethod(PyObject *self, PyObject *args, PyObject *kwargs) {
  return method_file(self, args, kwargs, KLVOtunerwritemethod, "KLVOtunerwritemethod");
}

static PyObject *m_tunerreadmethod(PyObject *self, PyObject *args, PyObject *kwargs) {
  return method_file(self, args, kwargs, KLVOtunerreadmethod, "KLVOtunerreadmethod");
}

PyMethodDef problem_methods_analysis[] = {
    keywords_method("basisstability", m_basisstability,
                    "basisstability(type, norm, scaled)\nCondition number (type 0), norm of the basis (1) or of its "
                    "inverse (2); norm 0 infinity, 1 one-norm, 2 Frobenius."),
    keywords_method("bndsa", m_bndsa,
                    "bndsa(colind, lblower=None, lbupper=None, ublower=None, ubupper=None)\nRanges of the columns' "
                    "bounds over which the basis stays optimal."),
    keywords_method("btran", m_btran, "btran(vec)\nSolves B'y = vec in place (vec holds one value per row)."),
    keywords_method("ftran", m_ftran, "ftran(vec)\nSolves By = vec in place (vec holds one value per row)."),
    keywords_method("estimaterowdualranges", m_estimaterowdualranges,
                    "estimaterowdualranges(rowind, iterlim, mindual, maxdual)\nEstimated ranges of row duals."),
    keywords_method("fixmipentities", m_fixmipentities,
                    "fixmipentities(options)\nFixes the integer columns at their MIP solution values."),
    keywords_method("getbasis", m_getbasis,
                    "getbasis(rowstat, colstat)\nBasis statuses (0 lower, 1 basic, 2 upper, 3 free) into the lists."),
    keywords_method("getbasisval", m_getbasisval,
                    "getbasisval(row, col)\nThe basis statuses of one row and one column (-1 for None)."),
    keywords_method("getiisdata", m_getiisdata,
                    "getiisdata(iis, rowind=None, colind=None, contype=None, bndtype=None, duals=None, djs=None, "
                    "isolationrows=None, isolationcols=None)\nThe members of an irreducible infeasible set."),
    keywords_method("getpivotorder", m_getpivotorder,
                    "getpivotorder(pivotorder)\nThe basic variable of each position of the basis (combined indices)."),
    keywords_method("getpivots", m_getpivots,
                    "getpivots(enter, outlist, x, maxpivots)\nThe pivots that would bring enter into the basis."),
    keywords_method("getpresolvebasis", m_getpresolvebasis,
                    "getpresolvebasis(rowstat, colstat)\nThe basis of the presolved problem."),
    keywords_method("getpresolvemap", m_getpresolvemap,
                    "getpresolvemap(rowmap, colmap)\nThe original index of each presolved row and column."),
    plain_method("iisall", m_iisall, "iisall()\nFinds every irreducible infeasible set."),
    plain_method("iisclear", m_iisclear, "iisclear()\nDrops the irreducible infeasible sets found."),
    keywords_method("iisfirst", m_iisfirst,
                    "iisfirst(mode)\nStarts an IIS search: 0 found, 1 feasible, 2 none found."),
    keywords_method("iisisolations", m_iisisolations,
                    "iisisolations(iis)\nFinds the members of a set that lie in no other set."),
    plain_method("iisnext", m_iisnext, "iisnext()\nFinds a further IIS: 0 found, 1 none left, 2 gave up."),
    keywords_method("iisstatus", m_iisstatus,
                    "iisstatus(nrows, ncols, suminfeas, numinfeas)\nThe number of sets found (None when 0) and "
                    "their sizes and infeasibilities; entry 0 is the whole problem."),
    keywords_method("iiswrite", m_iiswrite,
                    "iiswrite(iis, filename, filetype, flags)\nWrites a set: 0 as an LP file, 1 as CSV."),
    keywords_method("loadbasis", m_loadbasis, "loadbasis(rowstat, colstat)\nLoads a basis for the next solve."),
    keywords_method("loadpresolvebasis", m_loadpresolvebasis,
                    "loadpresolvebasis(rowstat, colstat)\nLoads a basis of the presolved problem."),
    keywords_method("objsa", m_objsa,
                    "objsa(colind, lower, upper)\nRanges of objective coefficients over which the basis stays "
                    "optimal."),
    keywords_method("presolverow", m_presolverow,
                    "presolverow(rowtype, origcolind, origrowcoef, origrhs, maxcoefs, colind, rowcoef)\nA row in the "
                    "presolved problem's columns."),
    keywords_method("readbasis", m_readbasis, "readbasis(filename, flags='')\nReads and loads a basis file."),
    keywords_method("writebasis", m_writebasis,
                    "writebasis(filename='', flags='')\nWrites the current basis (default name: problem name.bss)."),
    keywords_method("readbinsol", m_readbinsol, "readbinsol(filename, flags='')\nRestores a binary solution file."),
    keywords_method("writebinsol", m_writebinsol, "writebinsol(filename, flags='')\nWrites the solution in binary."),
    keywords_method("readslxsol", m_readslxsol,
                    "readslxsol(filename, flags='')\nReads a text solution file as the current solution."),
    keywords_method("writeslxsol", m_writeslxsol, "writeslxsol(filename, flags='')\nWrites a text solution file."),
    keywords_method("writesol", m_writesol, "writesol(filename, flags='')\nWrites the solution as CSV."),
    keywords_method("writeprtsol", m_writeprtsol, "writeprtsol(filename, flags='')\nWrites a printable solution."),
    keywords_method("refinemipsol", m_refinemipsol,
                    "refinemipsol(options, flags, solution, refined)\nImproves a MIP solution."),
    keywords_method("repairinfeas", m_repairinfeas,
                    "repairinfeas(penalty, phase2, flags, lepref, gepref, lbpref, ubpref, delta)\nRelaxes the "
                    "problem until it is feasible."),
    keywords_method("repairweightedinfeas", m_repairweightedinfeas,
                    "repairweightedinfeas(lepref, gepref, lbpref, ubpref, phase2, delta, flags)\nWeighted repair."),
    keywords_method("repairweightedinfeasbounds", m_repairweightedinfeasbounds,
                    "repairweightedinfeasbounds(lepref, gepref, lbpref, ubpref, lerelax, gerelax, lbrelax, ubrelax, "
                    "phase2, delta, flags)\nWeighted repair within limits."),
    keywords_method("rhssa", m_rhssa,
                    "rhssa(rowind, lower, upper)\nRanges of right-hand sides over which the basis stays optimal."),
    keywords_method("strongbranch", m_strongbranch,
                    "strongbranch(colind, bndtype, bndval, iterlim, objval, status)\nLimited LP solves of bound "
                    "changes."),
    keywords_method("tune", m_tune, "tune(flags='')\nTunes the controls on the problem."),
    keywords_method("tuneprobsetfile", m_tuneprobsetfile,
                    "tuneprobsetfile(setfile, ifmip=0, sense=1)\nTunes over a set of problem files."),
    keywords_method("tunerwritemethod", m_tunerwritemethod, "tunerwritemethod(methodfile)\nWrites a tuner method."),
    keywords_method("tunerreadmethod", m_tunerreadmethod, "tunerreadmethod(methodfile)\nReads a tuner method."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
