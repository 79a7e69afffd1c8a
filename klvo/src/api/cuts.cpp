// C entry points of the cuts (klvo/cuts.h): shims over cuts/calls.h.
#include <vector>

#include "api/guard.h"
#include "callbacks/state.h"
#include "cuts/calls.h"
#include "model/array_sizes.h"

using klvo::api::guarded;
using klvo::api::modifying;

namespace {

// The pool is the problem's: outside callbacks a change waits for no solve, inside one it is
// the running solve's own business.
template <class Body>
int pool_change(KLVOprob prob, const char *fn, Body &&body) {
  if (prob && klvo::event_state(*prob)) return guarded(prob, fn, body);
  return modifying(prob, fn, body);
}

}  // namespace

extern "C" {

int KLVOaddcuts64(KLVOprob prob, int ncuts, const int cuttype[], const char rowtype[], const double rhs[],
                  const int64_t start[], const int colind[], const double cutcoef[]) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::add_cuts(*prob, ncuts, cuttype, rowtype, rhs, start, colind, cutcoef, fn);
  });
}

int KLVOstorecuts64(KLVOprob prob, int ncuts, int nodups, const int cuttype[], const char rowtype[],
                    const double rhs[], const int64_t start[], KLVOcut cutind[], const int colind[],
                    const double cutcoef[]) {
  return pool_change(prob, __func__, [&](const char *fn) {
    klvo::store_cuts(*prob, ncuts, nodups, cuttype, rowtype, rhs, start, cutind, colind, cutcoef, fn);
  });
}

int KLVOloadcuts(KLVOprob prob, int cuttype, int interp, int ncuts, const KLVOcut cutind[]) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::load_cuts(*prob, cuttype, interp, ncuts, cutind, fn); });
}

int KLVOdelcuts(KLVOprob prob, int basis, int cuttype, int interp, double delta, int ncuts, const KLVOcut cutind[]) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::del_cuts(*prob, basis, cuttype, interp, delta, ncuts, cutind, fn);
  });
}

int KLVOdelcpcuts(KLVOprob prob, int cuttype, int interp, int ncuts, const KLVOcut cutind[]) {
  return pool_change(prob, __func__,
                     [&](const char *fn) { klvo::del_pool_cuts(*prob, cuttype, interp, ncuts, cutind, fn); });
}

int KLVOgetcutlist(KLVOprob prob, int cuttype, int interp, int *ncuts, int size, KLVOcut cutind[]) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::get_cut_list(*prob, cuttype, interp, ncuts, size, cutind, fn); });
}

int KLVOgetcpcutlist(KLVOprob prob, int cuttype, int interp, double delta, int *ncuts, int size, KLVOcut cutind[],
                     double viol[]) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_pool_cut_list(*prob, cuttype, interp, delta, ncuts, size, cutind, viol, fn);
  });
}

int KLVOgetcpcuts64(KLVOprob prob, const KLVOcut cutind[], int ncuts, int64_t size, int cuttype[], char rowtype[],
                    int64_t start[], int colind[], double cutcoef[], double rhs[]) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_cuts(*prob, cutind, ncuts, size, cuttype, rowtype, start, colind, cutcoef, rhs, fn);
  });
}

int KLVOgetcutmap(KLVOprob prob, int ncuts, const KLVOcut cutind[], int cutmap[]) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_cut_map(*prob, ncuts, cutind, cutmap, fn); });
}

int KLVOgetcutslack(KLVOprob prob, KLVOcut cut, double *slack) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_cut_slack(*prob, cut, slack, fn); });
}

int KLVOaddmanagedcuts64(KLVOprob prob, int globalvalid, int ncuts, const char rowtype[], const double rhs[],
                         const int64_t start[], const int colind[], const double cutcoef[]) {
  return pool_change(prob, __func__, [&](const char *fn) {
    klvo::add_managed_cuts(*prob, globalvalid, ncuts, rowtype, rhs, start, colind, cutcoef, fn);
  });
}

int KLVOaddmanagedcuts64_witharraysizes(KLVOprob prob, int globalvalid, int ncuts, const char rowtype[],
                                        int rowtype_size, const double rhs[], int rhs_size, const int64_t start[],
                                        int start_size, const int colind[], int colind_size, const double cutcoef[],
                                        int cutcoef_size) {
  return pool_change(prob, __func__, [&](const char *fn) {
    klvo::check_array_size(rowtype_size, ncuts, "rowtype", fn);
    klvo::check_array_size(rhs_size, ncuts, "rhs", fn);
    if (ncuts <= 0) {
      klvo::check_array_size(cutcoef_size, colind_size, "cutcoef", fn);
      klvo::add_managed_cuts(*prob, globalvalid, ncuts, rowtype, rhs, start, colind, cutcoef, fn);
      return;
    }
    klvo::check_array_size(start_size, ncuts, int64_t(ncuts) + 1, "start", fn);
    // Without its end entry the start array ends where the coefficients do; with it, colind
    // is checked against it first, so that a wrong colind is the array named.
    if (!start) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null start array", fn);
    std::vector<int64_t> full(start, start + start_size);
    if (start_size == ncuts) full.push_back(colind_size);
    else klvo::check_array_size(colind_size, full[ncuts], "colind", fn);
    klvo::check_array_size(cutcoef_size, colind_size, "cutcoef", fn);
    klvo::add_managed_cuts(*prob, globalvalid, ncuts, rowtype, rhs, full.data(), colind, cutcoef, fn);
  });
}

}  // extern "C"
