// Column settings and row status of the successive-linearisation interface. The interior-point
// solve uses the initial values; the other settings are kept so that a model built for the
// linearisation method keeps them through this library.
#include <cmath>

#include "engines/nlp/layer.h"

using klvo::fail;
using namespace klvo::nlp;

namespace {

void check_col(const kslp_problem_s *slp, int col, const char *function) {
  if (col < 0 || col >= slp->ncols())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d is out of range (the problem has %d columns)", function, col,
         slp->ncols());
}

void check_row(const kslp_problem_s *slp, int row, const char *function) {
  if (row < 0 || row >= slp->nrows())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d is out of range (the problem has %d rows)", function, row, slp->nrows());
}

}  // namespace

extern "C" {

int KSLPchgvar(KSLPprob slp, int col, const int *detrow, const double *initstepbound, const double *stepbound,
               const double *penalty, const double *damp, const double *initvalue, const double *value,
               const int *tolset, const int *history, const int *converged, const int *vartype) {
  return klvo::slp_api_call(slp, "KSLPchgvar", [&] {
    check_col(slp, col, "KSLPchgvar");
    if (detrow && *detrow != -1) check_row(slp, *detrow, "KSLPchgvar");
    if (initvalue && !std::isfinite(*initvalue)) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPchgvar: the initial value is not finite");
    VarSettings v = slp->vars.count(col) ? slp->vars[col] : VarSettings();
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
    slp->vars[col] = v;
    if (initvalue) slp->initval[col] = *initvalue;
  });
}

int KSLPgetvar(KSLPprob slp, int col, int *detrow, double *initstepbound, double *stepbound, double *penalty,
               double *damp, double *initvalue, double *value, int *tolset, int *history, int *converged, int *vartype,
               int *delta, int *penaltydelta, int *updaterow, double *oldvalue) {
  return klvo::slp_api_call(slp, "KSLPgetvar", [&] {
    check_col(slp, col, "KSLPgetvar");
    auto it = slp->vars.find(col);
    VarSettings v = it == slp->vars.end() ? VarSettings() : it->second;
    auto iv = slp->initval.find(col);
    double init = iv == slp->initval.end() ? 0.0 : iv->second;
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
    // This library keeps no delta columns, penalty deltas or update rows.
    if (delta) *delta = -1;
    if (penaltydelta) *penaltydelta = -1;
    if (updaterow) *updaterow = -1;
    if (oldvalue) *oldvalue = v.value;
  });
}

int KSLPdelvars(KSLPprob slp, int ncols, const int *colind) {
  return klvo::slp_api_call(slp, "KSLPdelvars", [&] {
    if (ncols < 0 || (ncols > 0 && !colind)) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPdelvars: bad column list");
    for (int k = 0; k < ncols; ++k) check_col(slp, colind[k], "KSLPdelvars");
    for (int k = 0; k < ncols; ++k) {
      slp->vars.erase(colind[k]);
      slp->initval.erase(colind[k]);
    }
  });
}

int KSLPchgrowstatus(KSLPprob slp, int row, const int *status) {
  return klvo::slp_api_call(slp, "KSLPchgrowstatus", [&] {
    check_row(slp, row, "KSLPchgrowstatus");
    if (!status) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPchgrowstatus: null status");
    slp->rowstatus[row] = *status;
  });
}

int KSLPgetrowstatus(KSLPprob slp, int row, int *status) {
  return klvo::slp_api_call(slp, "KSLPgetrowstatus", [&] {
    check_row(slp, row, "KSLPgetrowstatus");
    if (!status) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPgetrowstatus: null status");
    auto it = slp->rowstatus.find(row);
    *status = it == slp->rowstatus.end() ? 0 : it->second;
  });
}

}  // extern "C"
