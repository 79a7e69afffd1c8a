// C entry points that take every array followed by its element count: each checks the counts
// against what its size-less sibling will read, then runs the sibling's operation.
#include "analysis/analysis.h"
#include "analysis/presolved.h"
#include "api/guard.h"
#include "model/array_sizes.h"
#include "model/edit.h"
#include "model/marks.h"

using klvo::check_array_size;
using klvo::api::guarded;
using klvo::api::modifying;
using klvo::api::modifying_any;

extern "C" {

int KLVOdelcols_witharraysizes(KLVOprob prob, int ncols, const int colind[], int colind_size) {
  return modifying(prob, __func__, [&](const char *fn) {
    check_array_size(colind_size, ncols, "colind", fn);
    klvo::delete_cols(*prob, ncols, colind, fn);
  });
}

int KLVOdelrows_witharraysizes(KLVOprob prob, int nrows, const int rowind[], int rowind_size) {
  return modifying(prob, __func__, [&](const char *fn) {
    check_array_size(rowind_size, nrows, "rowind", fn);
    klvo::delete_rows(*prob, nrows, rowind, fn);
  });
}

int KLVOdelsets_witharraysizes(KLVOprob prob, int nsets, const int setind[], int setind_size) {
  return modifying(prob, __func__, [&](const char *fn) {
    check_array_size(setind_size, nsets, "setind", fn);
    klvo::del_sets(prob->model, fn, nsets, setind);
  });
}

int KLVOaddsets64_witharraysizes(KLVOprob prob, int nsets, int64_t nelems, const char settype[], int settype_size,
                                 const int64_t start[], int start_size, const int colind[], int colind_size,
                                 const double refval[], int refval_size) {
  return modifying(prob, __func__, [&](const char *fn) {
    check_array_size(settype_size, nsets, "settype", fn);
    check_array_size(start_size, nsets, int64_t(nsets) + 1, "start", fn);
    check_array_size(colind_size, nelems, "colind", fn);
    // Weights may be left out (numbered 1, 2, 3, ... within each set).
    if (refval || refval_size != 0) check_array_size(refval_size, nelems, "refval", fn);
    klvo::add_sets(prob->model, fn, settype, klvo::sparse_block(nsets, nelems, start, colind, refval));
  });
}

int KLVOsparseftran_witharraysizes(KLVOprob prob, double val[], int val_size, int ind[], int ind_size, int *nnz) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::sparse_basis_solve(*prob, val, val_size, ind, ind_size, nnz, false, fn); });
}

int KLVOsparsebtran_witharraysizes(KLVOprob prob, double val[], int val_size, int ind[], int ind_size, int *nnz) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::sparse_basis_solve(*prob, val, val_size, ind, ind_size, nnz, true, fn); });
}

int KLVOgetscale_witharraysizes(KLVOprob prob, int rowscale[], int rowscale_size, int colscale[], int colscale_size) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_scale_exponents(prob->model, rowscale, rowscale_size, colscale, colscale_size, fn);
  });
}

int KLVOpostsolvesol_witharraysizes(KLVOprob prob, const double prex[], int prex_size, double origx[],
                                    int origx_size) {
  return modifying_any(prob, __func__,
                       [&](const char *fn) { klvo::post_solve_sol(*prob, prex, prex_size, origx, origx_size, fn); });
}

int KLVOgetrowflags(KLVOprob prob, int flags[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_row_flags(prob->model, flags, first, last, fn); });
}

int KLVOclearrowflags(KLVOprob prob, const int flags[], int first, int last) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::clear_row_flags(prob->model, flags, first, last, fn); });
}

int KLVOgetrowflags_witharraysizes(KLVOprob prob, int flags[], int flags_size, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    check_array_size(flags_size, int64_t{last} - first + 1, "flags", fn);
    klvo::get_row_flags(prob->model, flags, first, last, fn);
  });
}

int KLVOclearrowflags_witharraysizes(KLVOprob prob, const int flags[], int flags_size, int first, int last) {
  return modifying(prob, __func__, [&](const char *fn) {
    check_array_size(flags_size, int64_t{last} - first + 1, "flags", fn);
    klvo::clear_row_flags(prob->model, flags, first, last, fn);
  });
}

}  // extern "C"
