// C entry points of the solution details (klvo/solution.h): shims over env/solution_details.h.
#include "analysis/presolved.h"
#include "api/guard.h"
#include "callbacks/state.h"
#include "engines/solution.h"
#include "env/solution_details.h"

using klvo::api::guarded;
using klvo::api::modifying;
using klvo::api::modifying_any;
using klvo::api::solving;
using klvo::api::solving_any;

extern "C" {

int KLVOgetlpsolval(KLVOprob prob, int col, int row, double *x, double *slack, double *dual, double *dj) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_lpsolval(*prob, col, row, x, slack, dual, dj, fn); });
}

int KLVOgetmipsolval(KLVOprob prob, int col, int row, double *x, double *slack) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_mipsolval(*prob, col, row, x, slack, fn); });
}

int KLVOcalcobjn(KLVOprob prob, int objidx, const double *x, double *objval) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::calc_objn(*prob, objidx, x, objval, fn); });
}

int KLVOcalcsolinfo(KLVOprob prob, const double *x, const double *duals, int property, double *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::calc_solinfo(*prob, x, duals, property, value, fn); });
}

int KLVOgetinfeas(KLVOprob prob, int *npv, int *nps, int *nds, int *ndv, int *mx, int *mslack, int *mdual,
                  int *mdj) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_infeas(*prob, false, npv, nps, nds, ndv, mx, mslack, mdual, mdj, fn);
  });
}

int KLVOgetscaledinfeas(KLVOprob prob, int *npv, int *nps, int *nds, int *ndv, int *mx, int *mslack, int *mdual,
                        int *mdj) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_infeas(*prob, true, npv, nps, nds, ndv, mx, mslack, mdual, mdj, fn);
  });
}

// Asking HiGHS for a ray may make it solve again: these take the problem alone.
int KLVOgetdualray(KLVOprob prob, double *ray, int *hasray) {
  return solving(prob, __func__, [&] { klvo::get_ray(*prob, true, ray, hasray); });
}

int KLVOgetprimalray(KLVOprob prob, double *ray, int *hasray) {
  return solving(prob, __func__, [&] { klvo::get_ray(*prob, false, ray, hasray); });
}

int KLVOgetunbvec(KLVOprob prob, int *seq) {
  return solving(prob, __func__, [&](const char *fn) { klvo::get_unbvec(*prob, seq, fn); });
}

int KLVOloadlpsol(KLVOprob prob, const double *x, const double *slack, const double *duals, const double *djs,
                  int *status) {
  return modifying(prob, __func__, [&] { klvo::load_lpsol(*prob, x, slack, duals, djs, status); });
}

int KLVOloadmipsol(KLVOprob prob, const double *x, int *status) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::load_mipsol(*prob, x, status, fn); });
}

int KLVOaddmipsol(KLVOprob prob, int n, const double *values, const int *colind, const char *name) {
  // Inside a callback the solve holds the problem; the solution is handed to that solve.
  if (prob && klvo::event_state(*prob))
    return guarded(prob, __func__, [&](const char *fn) { klvo::add_mipsol(*prob, n, values, colind, name, fn); });
  return modifying(prob, __func__, [&](const char *fn) { klvo::add_mipsol(*prob, n, values, colind, name, fn); });
}

int KLVOgetpresolvesol(KLVOprob prob, double *x, double *slack, double *duals, double *djs) {
  return modifying_any(prob, __func__,
                       [&](const char *fn) { klvo::get_presolve_sol(*prob, x, slack, duals, djs, fn); });
}

int KLVOgetlastbarsol(KLVOprob prob, double *x, double *slack, double *duals, double *djs, int *status) {
  return guarded(prob, __func__, [&] { klvo::get_lastbarsol(*prob, x, slack, duals, djs, status); });
}

int KLVOcrossoverlpsol(KLVOprob prob, int *status) {
  return solving(prob, __func__, [&] { klvo::crossover_lpsol(*prob, status); });
}

// Takes the problem alone: the presolved form it drops may be in use by another call.
int KLVOpostsolve(KLVOprob prob) {
  return solving_any(prob, __func__, [&] { klvo::leave_presolved(*prob); });
}

int KLVOgetcallbackpresolvesolution(KLVOprob prob, int *, double *, int, int) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::callback_presolve_query(*prob, fn); });
}

int KLVOgetcallbackpresolveslacks(KLVOprob prob, int *, double *, int, int) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::callback_presolve_query(*prob, fn); });
}

int KLVOgetcallbackpresolveduals(KLVOprob prob, int *, double *, int, int) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::callback_presolve_query(*prob, fn); });
}

int KLVOgetcallbackpresolveredcosts(KLVOprob prob, int *, double *, int, int) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::callback_presolve_query(*prob, fn); });
}

}  // extern "C"
