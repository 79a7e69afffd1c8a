// C entry points of solution queries, callback solution queries and computations from a
// solution: shims over engines/solution.h.
#include "analysis/presolved.h"
#include "api/guard.h"
#include "engines/nlp/formula_access.h"
#include "callbacks/state.h"
#include "engines/solution.h"

using klvo::api::guarded;

extern "C" {

int KLVOgetsolution(KLVOprob prob, int *status, double *x, int first, int last) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::get_solution(klvo::user_model(*prob), prob->solution, status, x, first, last, fn); });
}

int KLVOgetslacks(KLVOprob prob, int *status, double *slacks, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_slacks(klvo::user_model(*prob), prob->solution, status, slacks, first, last, fn);
  });
}

int KLVOgetduals(KLVOprob prob, int *status, double *duals, int first, int last) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::get_duals(klvo::user_model(*prob), prob->solution, status, duals, first, last, fn); });
}

int KLVOgetredcosts(KLVOprob prob, int *status, double *djs, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_redcosts(klvo::user_model(*prob), prob->solution, status, djs, first, last, fn);
  });
}

int KLVOgetlpsol(KLVOprob prob, double *x, double *slack, double *duals, double *djs) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::get_lpsol(klvo::user_model(*prob), prob->solution, x, slack, duals, djs, fn); });
}

int KLVOgetmipsol(KLVOprob prob, double *x, double *slack) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_mipsol(klvo::user_model(*prob), prob->solution, x, slack, fn); });
}

int KLVOcalcobjective(KLVOprob prob, const double *x, double *objval) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::nlp::calc_objective(*prob, x, objval, fn); });
}

int KLVOcalcslacks(KLVOprob prob, const double *x, double *slacks) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::nlp::calc_slacks(*prob, x, slacks, fn);
  });
}

int KLVOcalcreducedcosts(KLVOprob prob, const double *duals, const double *x, double *djs) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::calc_reduced_costs(klvo::user_model(*prob), prob->solution, duals, x, djs, fn); });
}

int KLVOgetcallbacksolution(KLVOprob prob, int *status, double *x, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::callback_query(prob->model, klvo::event_state(*prob), klvo::CallbackVector::x, status, x, first, last, fn);
  });
}

int KLVOgetcallbackslacks(KLVOprob prob, int *status, double *slacks, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::callback_query(prob->model, klvo::event_state(*prob), klvo::CallbackVector::slacks, status, slacks, first, last, fn);
  });
}

int KLVOgetcallbackduals(KLVOprob prob, int *status, double *duals, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::callback_query(prob->model, klvo::event_state(*prob), klvo::CallbackVector::duals, status, duals, first, last, fn);
  });
}

int KLVOgetcallbackredcosts(KLVOprob prob, int *status, double *djs, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::callback_query(prob->model, klvo::event_state(*prob), klvo::CallbackVector::djs, status, djs, first, last, fn);
  });
}

}  // extern "C"
