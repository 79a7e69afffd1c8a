// The 32-bit forms of the block readers and of the quadratic-objective change: shims over
// the same store operations as their 64-bit counterparts.
#include "api/guard.h"
#include "model/access.h"
#include "model/edit.h"

using klvo::api::guarded;
using klvo::api::modifying;

int KLVOgetrows(KLVOprob prob, int start[], int colind[], double rowcoef[], int maxcoefs, int *ncoefs, int first,
                int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_rows(prob->model, start, colind, rowcoef, maxcoefs, ncoefs, first, last, fn);
  });
}

int KLVOgetmqobj(KLVOprob prob, int start[], int colind[], double objqcoef[], int maxcoefs, int *ncoefs, int first,
                 int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_mqobj(prob->model, start, colind, objqcoef, maxcoefs, ncoefs, first, last, fn);
  });
}

int KLVOchgmqobj(KLVOprob prob, int n, const int objqcol1[], const int objqcol2[], const double objqcoef[]) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::chg_qobj(prob->model, fn, n, objqcol1, objqcol2, objqcoef); });
}
