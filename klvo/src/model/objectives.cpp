// Further linear objectives of a multi-objective problem. Objective 0 is the store's own
// objective (obj); objectives 1.. are kept in objn, their controls in the problem's controls.
#include <algorithm>
#include <cmath>
#include <vector>

#include "env/error.h"
#include "model/access.h"
#include "model/edit.h"
#include "model/growth.h"
#include "model/objectives.h"
#include "params/params.h"

namespace klvo {

namespace {

int objective_count(const ModelStore &m) { return 1 + static_cast<int>(m.objn.size()); }

void check_coefs(const ModelStore &m, int n, const int *ind, const double *val, const char *fn) {
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the count must not be negative", fn);
  if (n == 0) return;
  if (!ind || !val) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the column and coefficient arrays must not be NULL", fn);
  for (int k = 0; k < n; ++k) {
    check_col(m, ind[k], fn);
    if (!std::isfinite(val[k])) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective coefficient %g is not finite", fn, val[k]);
  }
}

void set_coefs(std::vector<double> &o, int ncols, int n, const int *ind, const double *val) {
  if (n > 0 && o.size() < static_cast<size_t>(ncols)) o.resize(static_cast<size_t>(ncols), 0.0);
  for (int k = 0; k < n; ++k) o[ind[k]] = val[k];
}

}  // namespace

void chg_objn(ModelStore &m, int objidx, int n, const int *colind, const double *objcoef, const char *fn) {
  if (objidx == 0) return chg_obj(m, fn, n, colind, objcoef);
  int count = objective_count(m);
  if (objidx < 0 || objidx > count)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective index %d is out of range (the problem has %d)", fn, objidx, count);
  check_coefs(m, n, colind, objcoef, fn);
  if (objidx == count) {
    std::vector<double> coefs;
    set_coefs(coefs, m.ncols(), n, colind, objcoef);
    m.objn.push_back(std::move(coefs));
  } else {
    // Widening the objective with zeros leaves its value as it was, should the change fail.
    std::vector<double> &o = m.objn[objidx - 1];
    if (n > 0 && o.size() < static_cast<size_t>(m.ncols())) o.resize(static_cast<size_t>(m.ncols()), 0.0);
    set_coefs(o, m.ncols(), n, colind, objcoef);
  }
  m.touch();
}

void add_objective(ModelStore &m, ParamStore &params, int n, const int *colind, const double *objcoef, int priority,
                   double weight, const char *fn) {
  check_coefs(m, n, colind, objcoef, fn);
  if (!std::isfinite(weight)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the weight must be finite", fn);
  int k = objective_count(m);
  std::vector<double> coefs;
  set_coefs(coefs, m.ncols(), n, colind, objcoef);
  grow_by(m.objn, 1);
  // Controls of an objective k that does not come to exist are stale, and the next addition
  // erases them as it erases those of a deleted objective.
  params.erase_obj(k);
  params.set_obj(k, KLVO_OBJCONTROL_PRIORITY, priority);
  params.set_obj(k, KLVO_OBJCONTROL_WEIGHT, weight);
  m.objn.push_back(std::move(coefs));
  m.touch();
}

void del_objective(ModelStore &m, ParamStore &params, int objidx, const char *fn) {
  int count = objective_count(m);
  if (objidx == 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective 0 cannot be deleted", fn);
  if (objidx < 0 || objidx >= count)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective index %d is out of range (the problem has %d)", fn, objidx, count);
  m.objn.erase(m.objn.begin() + (objidx - 1));
  params.erase_obj(objidx);
  m.touch();
}

void get_objn(const ModelStore &m, int objidx, double *objcoef, int first, int last, const char *fn) {
  if (objidx == 0) return get_obj(m, objcoef, first, last, fn);
  int count = objective_count(m);
  if (objidx < 0 || objidx >= count)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective index %d is out of range (the problem has %d)", fn, objidx, count);
  if (!objcoef) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the output array must not be NULL", fn);
  check_range(first, last, m.ncols(), fn, "columns");
  const std::vector<double> &o = m.objn[objidx - 1];
  for (int j = first; j <= last; ++j) objcoef[j - first] = static_cast<size_t>(j) < o.size() ? o[j] : 0.0;
}

}  // namespace klvo
