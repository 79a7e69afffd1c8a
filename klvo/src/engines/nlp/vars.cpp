// Column settings and row status of the successive-linearisation interface. The interior-point
// solve uses the initial values; the successive-linearisation engine reads the others.
#include <cmath>

#include "engines/nlp/layer.h"
#include "model/array_sizes.h"

using klvo::fail;
using namespace klvo::nlp;

namespace klvo {
namespace nlp {

void chg_var(kslp_problem_s &slp, int col, const int *detrow, const double *initstepbound, const double *stepbound,
             const double *penalty, const double *damp, const double *initvalue, const double *value, const int *tolset,
             const int *history, const int *converged, const int *vartype, const char *fn) {
  check_col(slp, col, fn);
  if (detrow && *detrow != -1) check_row(slp, *detrow, fn);
  if (initvalue && !std::isfinite(*initvalue)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the initial value is not finite", fn);
  if (penalty && !(*penalty >= 0 && std::isfinite(*penalty)))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the penalty %g of column %d is not a non-negative number", fn, *penalty, col);
  if (damp && !(*damp >= 0 && *damp < 1))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the damping %g of column %d is outside [0, 1)", fn, *damp, col);
  if (vartype) check_vartype(*vartype, col, fn);
  VarSettings v = slp.vars.count(col) ? slp.vars[col] : VarSettings();
  if (detrow) v.detrow = *detrow;
  if (initstepbound) v.initstepbound = *initstepbound;
  if (stepbound) v.stepbound = *stepbound;
  if (penalty) v.penalty = *penalty;
  if (damp) v.damp = *damp;
  if (value) v.value = *value;
  if (tolset) v.tolset = *tolset;
  if (history) v.history = *history;
  if (converged) v.converged = *converged;
  if (vartype) v.vartype = *vartype;
  slp.vars[col] = v;
  if (initvalue) slp.initval[col] = *initvalue;
}

void check_vartype(int vartype, int col, const char *fn) {
  if (vartype & ~KSLP_VAR_ALL)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d's type 0x%x has bits other than the KSLP_VAR_* ones (0x%x)", fn, col,
         static_cast<unsigned>(vartype), KSLP_VAR_ALL);
}

void get_var(const kslp_problem_s &slp, int col, int *detrow, double *initstepbound, double *stepbound, double *penalty,
             double *damp, double *initvalue, double *value, int *tolset, int *history, int *converged, int *vartype,
             int *delta, int *penaltydelta, int *updaterow, double *oldvalue, const char *fn) {
  check_col(slp, col, fn);
  auto it = slp.vars.find(col);
  VarSettings v = it == slp.vars.end() ? VarSettings() : it->second;
  auto iv = slp.initval.find(col);
  double init = iv == slp.initval.end() ? 0.0 : iv->second;
  if (detrow) *detrow = v.detrow;
  if (initstepbound) *initstepbound = v.initstepbound;
  if (stepbound) *stepbound = v.stepbound;
  if (penalty) *penalty = v.penalty;
  if (damp) *damp = v.damp;
  if (initvalue) *initvalue = init;
  if (value) *value = v.value;
  if (tolset) *tolset = v.tolset;
  if (history) *history = v.history;
  if (converged) *converged = v.converged;
  if (vartype) *vartype = v.vartype;
  // Where the last SLP solve's LP held the column's step and its determining row (whose two
  // error columns follow the step columns).
  int lpcol = col < static_cast<int>(slp.lp_column.size()) ? slp.lp_column[col] : -1;
  int lprow = v.detrow >= 0 && v.detrow < static_cast<int>(slp.lp_row.size()) ? slp.lp_row[v.detrow] : -1;
  int nsteps = 0;
  for (int c : slp.lp_column) nsteps += c >= 0;
  if (delta) *delta = lpcol;
  if (penaltydelta) *penaltydelta = lprow >= 0 ? nsteps + 2 * lprow : -1;
  if (updaterow) *updaterow = lprow;
  if (oldvalue) *oldvalue = v.oldvalue;
}

void del_vars(kslp_problem_s &slp, int ncols, const int *colind, const char *fn) {
  if (ncols < 0 || (ncols > 0 && !colind)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bad column list", fn);
  for (int k = 0; k < ncols; ++k) check_col(slp, colind[k], fn);
  for (int k = 0; k < ncols; ++k) {
    slp.vars.erase(colind[k]);
    slp.initval.erase(colind[k]);
  }
}

void chg_row_status(kslp_problem_s &slp, int row, const int *status, const char *fn) {
  check_row(slp, row, fn);
  if (!status) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null status", fn);
  slp.rowstatus[row] = *status;
}

int get_row_status(const kslp_problem_s &slp, int row, const char *fn) {
  check_row(slp, row, fn);
  auto it = slp.rowstatus.find(row);
  return it == slp.rowstatus.end() ? 0 : it->second;
}

void check_size(int have, int64_t need, const char *what, const char *fn) { check_array_size(have, need, what, fn); }

void check_formula_sizes(int nrows, int rowindex_size, const int *formulastart, int formulastart_size, int type_size,
                         int value_size, const char *fn) {
  if (nrows < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative row count %d", fn, nrows);
  check_size(rowindex_size, nrows, "rowind", fn);
  // Without rows the start array may be empty or hold just its end entry.
  if (nrows > 0) check_size(formulastart_size, int64_t{nrows} + 1, "formulastart", fn);
  else check_array_size(formulastart_size, 0, 1, "formulastart", fn);
  if (nrows > 0 && !formulastart) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null formula starts", fn);
  int ntok = nrows > 0 ? formulastart[nrows] : 0;
  check_size(type_size, ntok, "type", fn);
  check_size(value_size, ntok, "value", fn);
}

void set_det_rows(kslp_problem_s &slp, int n, const int *colindex, int colindex_size, const int *rowindex,
                  int rowindex_size, const char *fn) {
  check_size(colindex_size, n, "colind", fn);
  check_size(rowindex_size, n, "rowind", fn);
  for (int k = 0; k < n; ++k) {
    check_col(slp, colindex[k], fn);
    if (rowindex[k] != -1) check_row(slp, rowindex[k], fn);
  }
  for (int k = 0; k < n; ++k)
    chg_var(slp, colindex[k], &rowindex[k], nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, fn);
}

void set_init_step_bounds(kslp_problem_s &slp, int n, const int *colindex, int colindex_size, const double *initial,
                          int initial_size, const char *fn) {
  check_size(colindex_size, n, "colind", fn);
  check_size(initial_size, n, "initial", fn);
  for (int k = 0; k < n; ++k) check_col(slp, colindex[k], fn);
  for (int k = 0; k < n; ++k)
    chg_var(slp, colindex[k], nullptr, &initial[k], nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, fn);
}

}  // namespace nlp
}  // namespace klvo
