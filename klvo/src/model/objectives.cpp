// Further linear objectives of a multi-objective problem: KLVOchgobjn, KLVOaddobj,
// KLVOdelobj and KLVOgetobjn.
#include <algorithm>
#include <cmath>
#include <vector>

#include "env/problem.h"
#include "model/edit.h"

using klvo::api_call;
using klvo::fail;
using klvo::ModelStore;

namespace {

int objective_count(const ModelStore &m) { return 1 + static_cast<int>(m.objn.size()); }

void check_coefs(const ModelStore &m, int n, const int *ind, const double *val, const char *fn) {
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the count must not be negative", fn);
  if (n == 0) return;
  if (!ind || !val) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the column and coefficient arrays must not be NULL", fn);
  for (int k = 0; k < n; ++k) {
    klvo::check_col(m, ind[k], fn);
    if (!std::isfinite(val[k])) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective coefficient %g is not finite", fn, val[k]);
  }
}

void set_coefs(std::vector<double> &o, int ncols, int n, const int *ind, const double *val) {
  if (n > 0 && o.size() < static_cast<size_t>(ncols)) o.resize(static_cast<size_t>(ncols), 0.0);
  for (int k = 0; k < n; ++k) o[ind[k]] = val[k];
}

}  // namespace

int KLVOchgobjn(KLVOprob prob, int objidx, int n, const int colind[], const double objcoef[]) {
  if (objidx == 0) return KLVOchgobj(prob, n, colind, objcoef);
  return api_call(prob, "KLVOchgobjn", [&] {
    ModelStore &m = prob->model;
    int count = objective_count(m);
    if (objidx < 0 || objidx > count)
      fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOchgobjn: objective index %d is out of range (the problem has %d)", objidx,
           count);
    check_coefs(m, n, colind, objcoef, "KLVOchgobjn");
    if (objidx == count) m.objn.emplace_back();
    set_coefs(m.objn[objidx - 1], m.ncols(), n, colind, objcoef);
    m.touch();
  });
}

int KLVOaddobj(KLVOprob prob, int n, const int colind[], const double objcoef[], int priority, double weight) {
  return api_call(prob, "KLVOaddobj", [&] {
    ModelStore &m = prob->model;
    check_coefs(m, n, colind, objcoef, "KLVOaddobj");
    if (!std::isfinite(weight)) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOaddobj: the weight must be finite");
    int k = objective_count(m);
    m.objn.emplace_back();
    set_coefs(m.objn.back(), m.ncols(), n, colind, objcoef);
    prob->params.erase_obj(k);  // a stale entry from a deleted objective must not carry over
    prob->params.set_obj(k, KLVO_OBJCONTROL_PRIORITY, priority);
    prob->params.set_obj(k, KLVO_OBJCONTROL_WEIGHT, weight);
    m.touch();
  });
}

int KLVOdelobj(KLVOprob prob, int objidx) {
  return api_call(prob, "KLVOdelobj", [&] {
    ModelStore &m = prob->model;
    int count = objective_count(m);
    if (objidx == 0) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOdelobj: objective 0 cannot be deleted");
    if (objidx < 0 || objidx >= count)
      fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOdelobj: objective index %d is out of range (the problem has %d)", objidx,
           count);
    m.objn.erase(m.objn.begin() + (objidx - 1));
    prob->params.erase_obj(objidx);
    m.touch();
  });
}

int KLVOgetobjn(KLVOprob prob, int objidx, double objcoef[], int first, int last) {
  if (objidx == 0) return KLVOgetobj(prob, objcoef, first, last);
  return api_call(prob, "KLVOgetobjn", [&] {
    const ModelStore &m = prob->model;
    int count = objective_count(m);
    if (objidx < 0 || objidx >= count)
      fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOgetobjn: objective index %d is out of range (the problem has %d)", objidx,
           count);
    if (!objcoef) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOgetobjn: the output array must not be NULL");
    klvo::check_range(first, last, m.ncols(), "KLVOgetobjn", "columns");
    const std::vector<double> &o = m.objn[objidx - 1];
    for (int j = first; j <= last; ++j) objcoef[j - first] = static_cast<size_t>(j) < o.size() ? o[j] : 0.0;
  });
}
