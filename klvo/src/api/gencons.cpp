// C entry points for general and piecewise-linear constraints and set names: shims over
// model/gencons.h and model/access.h.
#include <vector>

#include "api/guard.h"
#include "model/access.h"
#include "model/gencons.h"

using klvo::api::guarded;
using klvo::api::modifying;
using klvo::SparseBlock;
using klvo::sparse_block;

namespace {

const int64_t *wide(std::vector<int64_t> &store, const int *start, int count) {
  store = klvo::widen(start, count);
  return store.empty() ? nullptr : store.data();
}

}  // namespace

extern "C" {

int KLVOaddgencons64(KLVOprob prob, int ncons, int64_t ncols, int64_t nvals, const int contype[],
                     const int resultant[], const int64_t colstart[], const int colind[], const int64_t valstart[],
                     const double val[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_gencons(prob->model, fn, contype, resultant, sparse_block(ncons, ncols, colstart, colind, nullptr),
                      sparse_block(ncons, nvals, valstart, nullptr, val));
  });
}

int KLVOaddgencons(KLVOprob prob, int ncons, int ncols, int nvals, const int contype[], const int resultant[],
                   const int colstart[], const int colind[], const int valstart[], const double val[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    std::vector<int64_t> cs, vs;
    klvo::add_gencons(prob->model, fn, contype, resultant, sparse_block(ncons, ncols, wide(cs, colstart, ncons), colind, nullptr),
                      sparse_block(ncons, nvals, wide(vs, valstart, ncons), nullptr, val));
  });
}

int KLVOgetgencons64(KLVOprob prob, int contype[], int resultant[], int64_t colstart[], int colind[], int64_t maxcols,
                     int64_t *ncols, int64_t valstart[], double val[], int64_t maxvals, int64_t *nvals, int first,
                     int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_gencons(prob->model, contype, resultant, colstart, colind, maxcols, ncols, valstart, val, maxvals, nvals,
                      first, last, fn);
  });
}

int KLVOdelgencons(KLVOprob prob, int ncons, const int conind[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::del_gencons(prob->model, fn, ncons, conind); });
}

int KLVOaddpwlcons64(KLVOprob prob, int npwls, int64_t npoints, const int col[], const int resultant[],
                     const int64_t start[], const double xval[], const double yval[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_pwlcons(prob->model, fn, col, resultant, sparse_block(npwls, npoints, start, nullptr, xval), yval);
  });
}

int KLVOaddpwlcons(KLVOprob prob, int npwls, int npoints, const int col[], const int resultant[], const int start[],
                   const double xval[], const double yval[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    std::vector<int64_t> s;
    klvo::add_pwlcons(prob->model, fn, col, resultant, sparse_block(npwls, npoints, wide(s, start, npwls), nullptr, xval),
                      yval);
  });
}

int KLVOgetpwlcons64(KLVOprob prob, int col[], int resultant[], int64_t start[], double xval[], double yval[],
                     int64_t maxpoints, int64_t *npoints, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_pwlcons(prob->model, col, resultant, start, xval, yval, maxpoints, npoints, first, last, fn);
  });
}

int KLVOdelpwlcons(KLVOprob prob, int npwls, const int pwlind[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::del_pwlcons(prob->model, fn, npwls, pwlind); });
}

int KLVOaddsetnames(KLVOprob prob, const char names[], int first, int last) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::add_names(prob->model, KLVO_NAMES_SETS, names, first, last, fn); });
}

}  // extern "C"
