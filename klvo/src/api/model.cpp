// C entry points that add, delete, change and read back parts of the model, its names, and
// copy it between problems: shims over the store operations of model/edit.h and
// model/access.h.
#include <vector>

#include "api/guard.h"
#include "model/access.h"
#include "model/edit.h"
#include "model/objectives.h"

using klvo::api::guarded;
using klvo::api::modifying;
using klvo::SparseBlock;
using klvo::sparse_block;

namespace {

// A 32-bit start array widened for the store's 64-bit operations.
struct Wide {
  std::vector<int64_t> starts;
  Wide(const int *start, int count) : starts(klvo::widen(start, count)) {}
  const int64_t *data() const { return starts.empty() ? nullptr : starts.data(); }
};

}  // namespace

extern "C" {

// ---- Adding and deleting.

int KLVOaddcols(KLVOprob prob, int ncols, int ncoefs, const double objcoef[], const int start[], const int rowind[],
                const double rowcoef[], const double lb[], const double ub[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_cols(prob->model, fn, objcoef, sparse_block(ncols, ncoefs, Wide(start, ncols).data(), rowind, rowcoef), lb, ub);
  });
}

int KLVOaddcols64(KLVOprob prob, int ncols, int64_t ncoefs, const double objcoef[], const int64_t start[],
                  const int rowind[], const double rowcoef[], const double lb[], const double ub[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_cols(prob->model, fn, objcoef, sparse_block(ncols, ncoefs, start, rowind, rowcoef), lb, ub);
  });
}

int KLVOaddrows(KLVOprob prob, int nrows, int ncoefs, const char rowtype[], const double rhs[], const double range[],
                const int start[], const int colind[], const double rowcoef[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_rows(prob->model, fn, rowtype, rhs, range,
                   sparse_block(nrows, ncoefs, Wide(start, nrows).data(), colind, rowcoef));
  });
}

int KLVOaddrows64(KLVOprob prob, int nrows, int64_t ncoefs, const char rowtype[], const double rhs[],
                  const double range[], const int64_t start[], const int colind[], const double rowcoef[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_rows(prob->model, fn, rowtype, rhs, range, sparse_block(nrows, ncoefs, start, colind, rowcoef));
  });
}

int KLVOdelcols(KLVOprob prob, int ncols, const int colind[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::delete_cols(*prob, ncols, colind, fn); });
}

int KLVOdelrows(KLVOprob prob, int nrows, const int rowind[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::delete_rows(*prob, nrows, rowind, fn); });
}

int KLVOdelsets(KLVOprob prob, int nsets, const int setind[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::del_sets(prob->model, fn, nsets, setind); });
}

int KLVOaddqmatrix64(KLVOprob prob, int row, int64_t ncoefs, const int rowqcol1[], const int rowqcol2[],
                     const double rowqcoef[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_qrow(prob->model, fn, row, ncoefs, rowqcol1, rowqcol2, rowqcoef);
  });
}

int KLVOdelqmatrix(KLVOprob prob, int row) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::del_qrow(prob->model, fn, row); });
}

int KLVOaddsets(KLVOprob prob, int nsets, int nelems, const char settype[], const int start[], const int colind[],
                const double refval[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_sets(prob->model, fn, settype, sparse_block(nsets, nelems, Wide(start, nsets).data(), colind, refval));
  });
}

int KLVOaddsets64(KLVOprob prob, int nsets, int64_t nelems, const char settype[], const int64_t start[],
                  const int colind[], const double refval[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_sets(prob->model, fn, settype, sparse_block(nsets, nelems, start, colind, refval));
  });
}

int KLVOsetindicators(KLVOprob prob, int nrows, const int rowind[], const int colind[], const int complement[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::set_indicators(prob->model, fn, nrows, rowind, colind, complement);
  });
}

int KLVOgetindicators(KLVOprob prob, int colind[], int complement[], int first, int last) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::get_indicators(prob->model, colind, complement, first, last, fn); });
}

int KLVOdelindicators(KLVOprob prob, int first, int last) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::del_indicators(prob->model, fn, first, last); });
}

// ---- Changing.

int KLVOchgbounds(KLVOprob prob, int n, const int colind[], const char bndtype[], const double bndval[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::chg_bounds(prob->model, fn, n, colind, bndtype, bndval);
  });
}

int KLVOchgobj(KLVOprob prob, int n, const int colind[], const double objcoef[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_obj(prob->model, fn, n, colind, objcoef); });
}

int KLVOchgcoef(KLVOprob prob, int row, int col, double coef) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_coefs(prob->model, fn, 1, &row, &col, &coef); });
}

int KLVOchgmcoef(KLVOprob prob, int n, const int rowind[], const int colind[], const double rowcoef[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_coefs(prob->model, fn, n, rowind, colind, rowcoef); });
}

int KLVOchgrhs(KLVOprob prob, int n, const int rowind[], const double rhs[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_rhs(prob->model, fn, n, rowind, rhs); });
}

int KLVOchgrhsrange(KLVOprob prob, int n, const int rowind[], const double rng[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_rhsrange(prob->model, fn, n, rowind, rng); });
}

int KLVOchgrowtype(KLVOprob prob, int n, const int rowind[], const char rowtype[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_rowtype(prob->model, fn, n, rowind, rowtype); });
}

int KLVOchgcoltype(KLVOprob prob, int n, const int colind[], const char coltype[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_coltype(prob->model, fn, n, colind, coltype); });
}

int KLVOchgobjsense(KLVOprob prob, int objsense) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_objsense(prob->model, objsense, fn); });
}

int KLVOchgqobj(KLVOprob prob, int objqcol1, int objqcol2, double coef) {
  return modifying(prob, __func__,
                 [&](const char *fn) { klvo::chg_qobj(prob->model, fn, 1, &objqcol1, &objqcol2, &coef); });
}

int KLVOchgmqobj64(KLVOprob prob, int64_t n, const int objqcol1[], const int objqcol2[], const double objqcoef[]) {
  return modifying(prob, __func__,
                 [&](const char *fn) { klvo::chg_qobj(prob->model, fn, n, objqcol1, objqcol2, objqcoef); });
}

int KLVOchgqrowcoeff(KLVOprob prob, int row, int rowqcol1, int rowqcol2, double coef) {
  return modifying(prob, __func__,
                 [&](const char *fn) { klvo::chg_qrow(prob->model, fn, row, rowqcol1, rowqcol2, coef); });
}

int KLVOchgglblimit(KLVOprob prob, int n, const int colind[], const double limit[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_limit(prob->model, fn, n, colind, limit); });
}

// ---- Reading back.

int KLVOgetlb(KLVOprob prob, double lb[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_lb(prob->model, lb, first, last, fn); });
}

int KLVOgetub(KLVOprob prob, double ub[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_ub(prob->model, ub, first, last, fn); });
}

int KLVOgetobj(KLVOprob prob, double objcoef[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_obj(prob->model, objcoef, first, last, fn); });
}

int KLVOgetrhs(KLVOprob prob, double rhs[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_rhs(prob->model, rhs, first, last, fn); });
}

int KLVOgetrhsrange(KLVOprob prob, double range[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_rhsrange(prob->model, range, first, last, fn); });
}

int KLVOgetrowtype(KLVOprob prob, char rowtype[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_rowtype(prob->model, rowtype, first, last, fn); });
}

int KLVOgetcoltype(KLVOprob prob, char coltype[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_coltype(prob->model, coltype, first, last, fn); });
}

int KLVOgetcols64(KLVOprob prob, int64_t start[], int rowind[], double rowcoef[], int64_t maxcoefs, int64_t *ncoefs,
                  int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_cols(prob->model, start, rowind, rowcoef, maxcoefs, ncoefs, first, last, fn);
  });
}

int KLVOgetrows64(KLVOprob prob, int64_t start[], int colind[], double rowcoef[], int64_t maxcoefs, int64_t *ncoefs,
                  int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_rows(prob->model, start, colind, rowcoef, maxcoefs, ncoefs, first, last, fn);
  });
}

int KLVOgetcoef(KLVOprob prob, int row, int col, double *coef) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::require_arg(coef, fn, "coef");
    *coef = klvo::get_coef_checked(prob->model, row, col, fn);
  });
}

int KLVOgetqobj(KLVOprob prob, int objqcol1, int objqcol2, double *coef) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::require_arg(coef, fn, "coef");
    *coef = klvo::get_qobj_checked(prob->model, objqcol1, objqcol2, fn);
  });
}

int KLVOgetmqobj64(KLVOprob prob, int64_t start[], int colind[], double objqcoef[], int64_t maxcoefs, int64_t *ncoefs,
                   int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_mqobj(prob->model, start, colind, objqcoef, maxcoefs, ncoefs, first, last, fn);
  });
}

int KLVOgetqrowcoeff(KLVOprob prob, int row, int rowqcol1, int rowqcol2, double *coef) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::require_arg(coef, fn, "coef");
    *coef = klvo::get_qrow_checked(prob->model, row, rowqcol1, rowqcol2, fn);
  });
}

int KLVOgetqrowqmatrix(KLVOprob prob, int row, int start[], int colind[], double rowqcoef[], int maxcoefs,
                       int *ncoefs, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_qrow_matrix(prob->model, row, start, colind, rowqcoef, maxcoefs, ncoefs, first, last, fn);
  });
}

int KLVOgetqrowqmatrixtriplets(KLVOprob prob, int row, int *nqelem, int rowqcol1[], int rowqcol2[],
                               double rowqcoef[]) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_qrow_triplets(prob->model, row, nqelem, rowqcol1, rowqcol2, rowqcoef, fn);
  });
}

int KLVOgetqrows(KLVOprob prob, int *nrows, int rowind[]) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_qrows(prob->model, nrows, rowind, fn); });
}

int KLVOgetmipentities64(KLVOprob prob, int *nentities, int *nsets, char coltype[], int colind[], double limit[],
                         char settype[], int64_t start[], int setcols[], double refval[]) {
  return guarded(prob, __func__, [&] {
    klvo::get_mip_entities(prob->model, nentities, nsets, coltype, colind, limit, settype, start, setcols, refval);
  });
}

// ---- Further objectives.

int KLVOchgobjn(KLVOprob prob, int objidx, int n, const int colind[], const double objcoef[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::chg_objn(prob->model, objidx, n, colind, objcoef, fn); });
}

int KLVOaddobj(KLVOprob prob, int n, const int colind[], const double objcoef[], int priority, double weight) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::add_objective(prob->model, prob->params, n, colind, objcoef, priority, weight, fn);
  });
}

int KLVOdelobj(KLVOprob prob, int objidx) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::del_objective(prob->model, prob->params, objidx, fn); });
}

int KLVOgetobjn(KLVOprob prob, int objidx, double objcoef[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_objn(prob->model, objidx, objcoef, first, last, fn);
  });
}

// ---- Names.

int KLVOaddnames(KLVOprob prob, int type, const char names[], int first, int last) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::add_names(prob->model, type, names, first, last, fn); });
}

int KLVOgetnames(KLVOprob prob, int type, char names[], int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_names(prob->model, type, names, first, last, fn); });
}

int KLVOgetnamelist(KLVOprob prob, int type, char names[], int names_len, int *names_len_reqd, int first, int last) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_name_list(prob->model, type, names, names_len, names_len_reqd, first, last, fn);
  });
}

int KLVOgetnamepointer(KLVOprob prob, int type, int index, const char **name) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::require_arg(name, fn, "name");
    *name = nullptr;
    *name = klvo::get_name_pointer(prob->model, type, index, fn);
  });
}

int KLVOgetindex(KLVOprob prob, int type, const char *name, int *index) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::require_arg(name, fn, "name");
    klvo::require_arg(index, fn, "index");
    *index = klvo::get_index(prob->model, type, name, fn);
  });
}

int KLVOsetprobname(KLVOprob prob, const char *probname) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::set_probname(prob->model, probname, fn); });
}

int KLVOgetprobname(KLVOprob prob, char *probname) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_probname(prob->model, probname, fn); });
}

// ---- Copying.

int KLVOcopyprob(KLVOprob dest, KLVOprob src, const char *probname) {
  return modifying(dest, __func__, [&](const char *fn) {
    klvo::copy_model(dest->model, src ? &klvo::user_model(*src) : nullptr, probname, fn);
  });
}

}  // extern "C"
