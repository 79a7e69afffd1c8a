// Branching objects and strong branching (klvo/branching.h).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "api/guard.h"
#include "branching/node_access.h"

using klvo::BranchBound;
using klvo::BranchData;
using klvo::BranchObject;
using klvo::fail;

namespace {

// An entry point on a branching object: errors go to the object's last error.
template <class Body>
int on_object(KLVObranchobject bo, const char *fn, Body &&body) {
  if (!bo) return klvo::api::null_handle(fn, "branching-object");
  return klvo::guarded(bo->error, [&] { body(); }, fn);
}

// Columns an object may name when that is known now (user space), else -1.
int column_limit(const BranchObject &bo) { return bo.original && bo.prob ? bo.prob->model.ncols() : -1; }

BranchData &branch_of(BranchObject &bo, int ibranch, const char *fn) {
  if (ibranch < 0 || ibranch >= static_cast<int>(bo.branches.size()))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: branch %d does not exist (the object has %d branches)", fn, ibranch,
         static_cast<int>(bo.branches.size()));
  return bo.branches[ibranch];
}

void check_column(int col, int limit, const char *fn) {
  if (col < 0 || (limit >= 0 && col >= limit))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d is out of range (the problem has %d columns)", fn, col, limit);
}

void check_bound(char type, int col, double value, int limit, const char *fn) {
  if (type != 'L' && type != 'U' && type != 'B')
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid bound type '%c' (expected L, U or B)", fn, type ? type : '?');
  check_column(col, limit, fn);
  if (std::isnan(value)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the bound on column %d is not a number", fn, col);
}

// Calls that change an object or hand it over refuse the search's own.
void require_mutable(const BranchObject &bo, const char *fn) {
  if (bo.offered) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the search's own branching object cannot be changed or stored", fn);
}

template <class T>
void require(const T *p, int n, const char *what, const char *fn) {
  if (n > 0 && !p) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null %s array", fn, what);
}

}  // namespace

extern "C" {

int KLVO_bo_create(KLVObranchobject *bo, KLVOprob prob, int isoriginal) {
  if (!prob) return klvo::api::null_handle(__func__, "problem");
  return klvo::api::guarded(prob, __func__, [&](const char *fn) {
    klvo::require_out(bo, fn);
    *bo = klvo::new_branch_object(prob, isoriginal != 0);
  });
}

int KLVO_bo_destroy(KLVObranchobject bo) {
  if (!bo) return KLVO_OK;
  if (bo->offered)
    return on_object(bo, __func__, [] {
      fail(KLVO_ERR_INVALID_ARGUMENT, "KLVO_bo_destroy: the search's own branching object is not the caller's to destroy");
    });
  delete bo;
  return KLVO_OK;
}

int KLVO_bo_addbranches(KLVObranchobject bo, int nbranches) {
  return on_object(bo, __func__, [&] {
    require_mutable(*bo, "KLVO_bo_addbranches");
    if (nbranches < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVO_bo_addbranches: negative number of branches %d", nbranches);
    bo->branches.resize(bo->branches.size() + static_cast<size_t>(nbranches));
  });
}

int KLVO_bo_getbranches(KLVObranchobject bo, int *nbranches) {
  return on_object(bo, __func__, [&] {
    klvo::require_out(nbranches, "KLVO_bo_getbranches");
    *nbranches = static_cast<int>(bo->branches.size());
  });
}

int KLVO_bo_setpriority(KLVObranchobject bo, int priority) {
  return on_object(bo, __func__, [&] {
    require_mutable(*bo, "KLVO_bo_setpriority");
    bo->priority = priority;
  });
}

int KLVO_bo_setpreferredbranch(KLVObranchobject bo, int ibranch) {
  return on_object(bo, __func__, [&] {
    require_mutable(*bo, "KLVO_bo_setpreferredbranch");
    branch_of(*bo, ibranch, "KLVO_bo_setpreferredbranch");
    bo->preferred = ibranch;
  });
}

int KLVO_bo_addbounds(KLVObranchobject bo, int ibranch, int nbounds, const char *bndtype, const int *colind,
                      const double *bndval) {
  const char *fn = __func__;
  return on_object(bo, fn, [&] {
    require_mutable(*bo, fn);
    BranchData &d = branch_of(*bo, ibranch, fn);
    if (nbounds < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of bounds %d", fn, nbounds);
    require(bndtype, nbounds, "bound type", fn);
    require(colind, nbounds, "column", fn);
    require(bndval, nbounds, "bound value", fn);
    int limit = column_limit(*bo);
    for (int k = 0; k < nbounds; ++k) check_bound(bndtype[k], colind[k], bndval[k], limit, fn);
    for (int k = 0; k < nbounds; ++k) d.bounds.push_back({bndtype[k], colind[k], bndval[k]});
  });
}

int KLVO_bo_getbounds(KLVObranchobject bo, int ibranch, int *nbounds, int maxbounds, char *bndtype, int *colind,
                      double *bndval) {
  const char *fn = __func__;
  return on_object(bo, fn, [&] {
    const BranchData &d = branch_of(*bo, ibranch, fn);
    int n = static_cast<int>(d.bounds.size());
    if (nbounds) *nbounds = n;
    for (int k = 0; k < n && k < maxbounds; ++k) {
      if (bndtype) bndtype[k] = d.bounds[k].type;
      if (colind) colind[k] = d.bounds[k].col;
      if (bndval) bndval[k] = d.bounds[k].value;
    }
  });
}

int KLVO_bo_addrows(KLVObranchobject bo, int ibranch, int nrows, int ncoefs, const char *rowtype, const double *rhs,
                    const int *start, const int *colind, const double *rowcoef) {
  const char *fn = __func__;
  return on_object(bo, fn, [&] {
    require_mutable(*bo, fn);
    BranchData &d = branch_of(*bo, ibranch, fn);
    if (nrows < 0 || ncoefs < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of rows or coefficients", fn);
    require(rowtype, nrows, "row type", fn);
    require(rhs, nrows, "right-hand side", fn);
    require(start, nrows, "start", fn);
    require(colind, ncoefs, "column", fn);
    require(rowcoef, ncoefs, "coefficient", fn);
    int limit = column_limit(*bo);
    for (int r = 0; r < nrows; ++r) {
      char t = rowtype[r];
      if (t == 'N') fail(KLVO_ERR_INVALID_ARGUMENT, "%s: a branch cannot have a free row (row %d)", fn, r);
      if (t != 'L' && t != 'G' && t != 'E')
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid row type '%c' for row %d (expected L, G or E)", fn, t ? t : '?', r);
      if (!std::isfinite(rhs[r])) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the right-hand side of row %d is not finite", fn, r);
      int end = r + 1 < nrows ? start[r + 1] : ncoefs;
      if (start[r] < 0 || start[r] > end || end > ncoefs)
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the start of row %d is out of order or beyond the %d coefficients", fn, r,
             ncoefs);
    }
    if (nrows > 0 && start[0] != 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the first row must start at 0", fn);
    for (int k = 0; k < ncoefs; ++k) {
      check_column(colind[k], limit, fn);
      if (!std::isfinite(rowcoef[k])) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: coefficient %d is not finite", fn, k);
    }
    // Copies made whole before the branch changes, so a failure leaves it as it was.
    BranchData next = d;
    int base = static_cast<int>(next.col.size());
    for (int r = 0; r < nrows; ++r) {
      int end = r + 1 < nrows ? start[r + 1] : ncoefs;
      next.rowtype.push_back(rowtype[r]);
      next.rhs.push_back(rhs[r]);
      next.col.insert(next.col.end(), colind + start[r], colind + end);
      next.coef.insert(next.coef.end(), rowcoef + start[r], rowcoef + end);
      next.start.push_back(base + end);
    }
    d = std::move(next);
  });
}

int KLVO_bo_addcuts(KLVObranchobject bo, int ibranch, int ncuts, const KLVOcut *cutind) {
  const char *fn = __func__;
  return on_object(bo, fn, [&] {
    require_mutable(*bo, fn);
    BranchData &d = branch_of(*bo, ibranch, fn);
    if (ncuts < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of cuts %d", fn, ncuts);
    require(cutind, ncuts, "cut", fn);
    if (ncuts > 0 && !bo->prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the branching object has no problem", fn);
    // Every handle is looked up before the branch changes.
    std::vector<klvo::CutPtr> found;
    for (int k = 0; k < ncuts; ++k) {
      klvo::CutPtr c = bo->prob->cutpool.find(klvo::cut_id(cutind[k]));
      if (!c) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: cut %d is not in the problem's cut pool", fn, k);
      found.push_back(std::move(c));
    }
    for (klvo::CutPtr &c : found) {
      bool have = false;
      for (const klvo::CutPtr &e : d.cuts) have = have || e->id == c->id;
      if (!have) d.cuts.push_back(std::move(c));
    }
  });
}

int KLVO_bo_getrows(KLVObranchobject bo, int ibranch, int *nrows, int maxrows, int *ncoefs, int maxcoefs,
                    char *rowtype, double *rhs, int *start, int *colind, double *rowcoef) {
  const char *fn = __func__;
  return on_object(bo, fn, [&] {
    const BranchData &d = branch_of(*bo, ibranch, fn);
    int n = d.nrows();
    if (nrows) *nrows = n;
    if (ncoefs) *ncoefs = static_cast<int>(d.col.size());
    int rows = std::min(n, std::max(maxrows, 0));
    int coefs = std::min(d.start[rows], std::max(maxcoefs, 0));
    for (int r = 0; r < rows; ++r) {
      if (rowtype) rowtype[r] = d.rowtype[r];
      if (rhs) rhs[r] = d.rhs[r];
    }
    if (start)
      for (int r = 0; r <= rows; ++r) start[r] = std::min(d.start[r], coefs);
    for (int k = 0; k < coefs; ++k) {
      if (colind) colind[k] = d.col[k];
      if (rowcoef) rowcoef[k] = d.coef[k];
    }
  });
}

int KLVO_bo_validate(KLVObranchobject bo, int *status) {
  return on_object(bo, __func__, [&] {
    klvo::require_out(status, "KLVO_bo_validate");
    *status = klvo::branch_object_status(*bo, column_limit(*bo));
  });
}

int KLVO_bo_store(KLVObranchobject bo, int *status) {
  const char *fn = __func__;
  return on_object(bo, fn, [&] {
    require_mutable(*bo, fn);
    std::string why;
    int st = klvo::branch_object_status(*bo, column_limit(*bo), &why);
    if (status) *status = st;
    if (st != 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s", fn, why.c_str());
    klvo::NodeAccess *access = klvo::node_access(bo->prob);
    if (!access)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: branching objects can be stored only from a node callback of a running search",
           fn);
    access->store(bo, fn);
  });
}

int KLVO_bo_getid(KLVObranchobject bo, int *id) {
  return on_object(bo, __func__, [&] {
    klvo::require_out(id, "KLVO_bo_getid");
    *id = bo->id;
  });
}

int KLVO_bo_getlasterror(KLVObranchobject bo, int *errcode, char *errmsg, int maxbytes, int *nbytes) {
  if (!bo) return klvo::api::null_handle(__func__, "branching-object");
  if (errcode) *errcode = bo->error.code();
  size_t len = errmsg && maxbytes > 0 ? bo->error.copy_to(errmsg, maxbytes) : bo->error.text().size();
  if (nbytes) *nbytes = static_cast<int>(len);
  return KLVO_OK;
}

int KLVOstrongbranchcb(KLVOprob prob, int nbounds, const int *colind, const char *bndtype, const double *bndval,
                       int itrlimit, double *objval, int *status, KLVOstrongbranchsolvecb callback, void *data) {
  return klvo::api::guarded(prob, __func__, [&](const char *fn) {
    if (nbounds < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of bounds %d", fn, nbounds);
    require(colind, nbounds, "column", fn);
    require(bndtype, nbounds, "bound type", fn);
    require(bndval, nbounds, "bound value", fn);
    require(objval, nbounds, "objective value", fn);
    require(status, nbounds, "status", fn);
    for (int k = 0; k < nbounds; ++k) check_bound(bndtype[k], colind[k], bndval[k], -1, fn);
    klvo::NodeAccess *access = klvo::node_access(prob);
    if (!access) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: strong branching needs a node callback of a running search", fn);
    access->strong_branch(prob, nbounds, colind, bndtype, bndval, itrlimit, objval, status, callback, data, fn);
  });
}

}  // extern "C"
