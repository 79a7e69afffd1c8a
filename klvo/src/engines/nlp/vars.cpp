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

namespace {

void check_size(int have, int64_t need, const char *what, const char *function) {
  if (have < need)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the array %s has %d entries but %lld are needed", function, what, have,
         static_cast<long long>(need));
}

KSLPprob layer_of(KLVOprob prob, const char *function) {
  if (!prob->slp)
    fail(KLVO_ERR_NOT_INITIALIZED, "%s: the problem has no nonlinear layer; create one with KSLPcreateprob", function);
  return prob->slp;
}

// Runs a layer call for a main-handle function and passes its error on.
template <class Call>
void through(KSLPprob slp, Call &&call) {
  if (call() != 0) fail(slp->error.code(), "%s", slp->error.text().c_str());
}

// The array-sized forms check every array's size against the counts, then call the plain form.
template <class Plain>
int formulas_with_sizes(Plain plain, const char *fn, KLVOprob prob, int nrows, const int *rowindex, int rowindex_size,
                        const int *formulastart, int formulastart_size, int parsed, const int *type, int type_size,
                        const double *value, int value_size) {
  return klvo::api_call(prob, fn, [&] {
    if (nrows < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative row count %d", fn, nrows);
    check_size(rowindex_size, nrows, "rowind", fn);
    check_size(formulastart_size, nrows > 0 ? nrows + 1 : 0, "formulastart", fn);
    if (nrows > 0 && !formulastart) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null formula starts", fn);
    int ntok = nrows > 0 ? formulastart[nrows] : 0;
    check_size(type_size, ntok, "type", fn);
    check_size(value_size, ntok, "value", fn);
    if (plain(prob, nrows, rowindex, formulastart, parsed, type, value) != 0)
      throw klvo::Error(prob->error.code(), prob->error.text());
  });
}

}  // namespace

extern "C" {

int KLVOnlpaddformulas_witharraysizes(KLVOprob prob, int nrows, const int *rowindex, int rowindex_size,
                                      const int *formulastart, int formulastart_size, int parsed, const int *type,
                                      int type_size, const double *value, int value_size) {
  return formulas_with_sizes(KLVOnlpaddformulas, "KLVOnlpaddformulas", prob, nrows, rowindex, rowindex_size,
                             formulastart, formulastart_size, parsed, type, type_size, value, value_size);
}

int KLVOnlploadformulas_witharraysizes(KLVOprob prob, int nrows, const int *rowindex, int rowindex_size,
                                       const int *formulastart, int formulastart_size, int parsed, const int *type,
                                       int type_size, const double *value, int value_size) {
  return formulas_with_sizes(KLVOnlploadformulas, "KLVOnlploadformulas", prob, nrows, rowindex, rowindex_size,
                             formulastart, formulastart_size, parsed, type, type_size, value, value_size);
}

int KLVOnlpdelformulas_witharraysizes(KLVOprob prob, int nrows, const int *rowindex, int rowindex_size) {
  return klvo::api_call(prob, "KLVOnlpdelformulas", [&] {
    check_size(rowindex_size, nrows, "rowind", "KLVOnlpdelformulas");
    if (KLVOnlpdelformulas(prob, nrows, rowindex) != 0) throw klvo::Error(prob->error.code(), prob->error.text());
  });
}

int KLVOslpsetdetrow_witharraysizes(KLVOprob prob, int n, const int *colindex, int colindex_size, const int *rowindex,
                                    int rowindex_size) {
  return klvo::api_call(prob, "KLVOslpsetdetrow", [&] {
    KSLPprob slp = layer_of(prob, "KLVOslpsetdetrow");
    check_size(colindex_size, n, "colind", "KLVOslpsetdetrow");
    check_size(rowindex_size, n, "rowind", "KLVOslpsetdetrow");
    for (int k = 0; k < n; ++k) {
      check_col(slp, colindex[k], "KLVOslpsetdetrow");
      if (rowindex[k] != -1) check_row(slp, rowindex[k], "KLVOslpsetdetrow");
    }
    for (int k = 0; k < n; ++k)
      through(slp, [&] {
        return KSLPchgvar(slp, colindex[k], &rowindex[k], nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr);
      });
  });
}

int KLVOslpsetinitstepbounds_witharraysizes(KLVOprob prob, int n, const int *colindex, int colindex_size,
                                            const double *initial, int initial_size) {
  return klvo::api_call(prob, "KLVOslpsetinitstepbounds", [&] {
    KSLPprob slp = layer_of(prob, "KLVOslpsetinitstepbounds");
    check_size(colindex_size, n, "colind", "KLVOslpsetinitstepbounds");
    check_size(initial_size, n, "initial", "KLVOslpsetinitstepbounds");
    for (int k = 0; k < n; ++k) check_col(slp, colindex[k], "KLVOslpsetinitstepbounds");
    for (int k = 0; k < n; ++k)
      through(slp, [&] {
        return KSLPchgvar(slp, colindex[k], nullptr, &initial[k], nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr);
      });
  });
}

}  // extern "C"
