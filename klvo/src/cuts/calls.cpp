#include "cuts/calls.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "callbacks/state.h"
#include "cuts/pool.h"
#include "env/error.h"

namespace klvo {

namespace {

// The running search's node, failing outside a callback of one.
NodeCuts &node(const Problem &prob, const char *fn) {
  const EventState *s = event_state(prob);
  if (!s || !s->cuts || !s->cuts->at_node())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: only a callback at a node of the branch-and-bound search can use cuts", fn);
  if (const char *why = s->cuts->refused()) fail(KLVO_ERR_NOT_SUPPORTED, "%s: %s", fn, why);
  return *s->cuts;
}

// The event's solution over the model's columns.
const double *event_point(const Problem &prob, const char *fn) {
  const EventState *s = event_state(prob);
  if (!s || !s->x) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the callback has no solution to measure cuts at", fn);
  return s->x;
}

CutPtr lookup(const Problem &prob, KLVOcut handle, size_t k, const char *fn) {
  uint64_t id = cut_id(handle);
  CutPtr c = prob.cutpool.find(id);
  if (!c) {
    const EventState *s = event_state(prob);
    if (s && s->cuts) c = s->cuts->find(id);
  }
  if (!c) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: cut %zu is not a live cut of this problem", fn, k);
  return c;
}

std::vector<CutPtr> lookup_all(const Problem &prob, int ncuts, const KLVOcut *cutind, const char *fn) {
  if (ncuts < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of cuts %d", fn, ncuts);
  std::vector<CutPtr> out;
  out.reserve(ncuts);
  for (int k = 0; k < ncuts; ++k) out.push_back(lookup(prob, cutind[k], k, fn));
  return out;
}

std::vector<CutPtr> as_const(std::vector<std::shared_ptr<Cut>> cuts) {
  return std::vector<CutPtr>(cuts.begin(), cuts.end());
}

}  // namespace

void add_cuts(Problem &prob, int ncuts, const int *cuttype, const char *rowtype, const double *rhs,
              const int64_t *start, const int *colind, const double *cutcoef, const char *fn) {
  NodeCuts &n = node(prob, fn);
  auto cuts = read_cuts(ncuts, cuttype, rowtype, rhs, start, colind, cutcoef, prob.model.ncols(), fn);
  if (!cuts.empty()) n.add(as_const(std::move(cuts)));
}

void store_cuts(Problem &prob, int ncuts, int nodups, const int *cuttype, const char *rowtype, const double *rhs,
                const int64_t *start, KLVOcut *cutind, const int *colind, const double *cutcoef, const char *fn) {
  if (nodups < 0 || nodups > 2) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: nodups %d is not 0, 1 or 2", fn, nodups);
  auto cuts = read_cuts(ncuts, cuttype, rowtype, rhs, start, colind, cutcoef, prob.model.ncols(), fn);
  std::vector<uint64_t> ids = prob.cutpool.store(std::move(cuts), nodups);
  if (cutind)
    for (size_t k = 0; k < ids.size(); ++k) cutind[k] = cut_handle(ids[k]);
}

void load_cuts(Problem &prob, int cuttype, int interp, int ncuts, const KLVOcut *cutind, const char *fn) {
  NodeCuts &n = node(prob, fn);
  std::vector<CutPtr> cuts;
  if (cutind) {
    if (ncuts < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of cuts %d", fn, ncuts);
    for (int k = 0; k < ncuts; ++k) {
      CutPtr c = prob.cutpool.find(cut_id(cutind[k]));
      if (!c) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: cut %d is not in the cut pool", fn, k);
      cuts.push_back(std::move(c));
    }
  } else {
    check_interp(interp, fn);
    cuts = prob.cutpool.select(cuttype, interp);
  }
  if (!cuts.empty()) n.add(cuts);
}

void del_cuts(Problem &prob, int basis, int cuttype, int interp, double delta, int ncuts, const KLVOcut *cutind,
              const char *fn) {
  NodeCuts &n = node(prob, fn);
  if (basis != 0 && basis != 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: basis %d is not 0 or 1", fn, basis);
  std::vector<CutPtr> chosen;
  if (cutind) {
    chosen = lookup_all(prob, ncuts, cutind, fn);
  } else {
    check_interp(interp, fn);
    for (const CutPtr &c : n.active())
      if (type_selected(c->type, cuttype, interp)) chosen.push_back(c);
  }
  const EventState *s = event_state(prob);
  const double *x = s ? s->x : nullptr;
  if ((basis || delta > 0) && !x)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the callback has no solution to measure the cuts' slacks at", fn);
  std::vector<uint64_t> ids;
  for (const CutPtr &c : chosen) {
    if (x) {
      double loose = c->loose(x);
      if (loose < delta) continue;
      if (basis && loose <= 1e-6 * (1 + std::fabs(c->rhs))) continue;
    }
    ids.push_back(c->id);
  }
  n.remove(ids);
}

void del_pool_cuts(Problem &prob, int cuttype, int interp, int ncuts, const KLVOcut *cutind, const char *fn) {
  if (!cutind) {
    check_interp(interp, fn);
    prob.cutpool.remove_selected(cuttype, interp);
    return;
  }
  if (ncuts < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of cuts %d", fn, ncuts);
  std::vector<uint64_t> ids;
  for (int k = 0; k < ncuts; ++k) ids.push_back(cut_id(cutind[k]));
  prob.cutpool.remove(ids, fn);
}

void get_cut_list(Problem &prob, int cuttype, int interp, int *ncuts, int size, KLVOcut *cutind, const char *fn) {
  require_out(ncuts, fn);
  check_interp(interp, fn);
  NodeCuts &n = node(prob, fn);
  int count = 0;
  for (const CutPtr &c : n.active()) {
    if (!type_selected(c->type, cuttype, interp)) continue;
    if (cutind && count < size) cutind[count] = cut_handle(c->id);
    ++count;
  }
  *ncuts = count;
}

void get_pool_cut_list(Problem &prob, int cuttype, int interp, double delta, int *ncuts, int size, KLVOcut *cutind,
                       double *viol, const char *fn) {
  require_out(ncuts, fn);
  check_interp(interp, fn);
  const EventState *s = event_state(prob);
  const double *x = s ? s->x : nullptr;
  int count = 0;
  for (const CutPtr &c : prob.cutpool.select(cuttype, interp)) {
    double v = x ? c->violation(x) : 0.0;
    if (x && v < delta) continue;
    if (count < size) {
      if (cutind) cutind[count] = cut_handle(c->id);
      if (viol) viol[count] = v;
    }
    ++count;
  }
  *ncuts = count;
}

void get_cuts(Problem &prob, const KLVOcut *cutind, int ncuts, int64_t size, int *cuttype, char *rowtype,
              int64_t *start, int *colind, double *cutcoef, double *rhs, const char *fn) {
  std::vector<CutPtr> cuts = lookup_all(prob, ncuts, cutind, fn);
  int64_t total = 0;
  for (const CutPtr &c : cuts) total += static_cast<int64_t>(c->cols.size());
  if ((colind || cutcoef) && total > size)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the cuts have %lld coefficients but there is room for %lld", fn,
         static_cast<long long>(total), static_cast<long long>(size));
  int64_t at = 0;
  for (int k = 0; k < ncuts; ++k) {
    const Cut &c = *cuts[k];
    if (cuttype) cuttype[k] = c.type;
    if (rowtype) rowtype[k] = c.rowtype;
    if (rhs) rhs[k] = c.rhs;
    if (start) start[k] = at;
    for (size_t e = 0; e < c.cols.size(); ++e, ++at) {
      if (colind) colind[at] = c.cols[e];
      if (cutcoef) cutcoef[at] = c.vals[e];
    }
  }
  if (start) start[ncuts] = at;
}

void get_cut_map(Problem &prob, int ncuts, const KLVOcut *cutind, int *cutmap, const char *fn) {
  NodeCuts &n = node(prob, fn);
  if (ncuts < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of cuts %d", fn, ncuts);
  if (ncuts > 0) require_out(cutmap, fn);
  std::vector<CutPtr> active = n.active();
  std::unordered_map<uint64_t, int> row;
  for (size_t k = 0; k < active.size(); ++k) row[active[k]->id] = n.model_rows() + static_cast<int>(k);
  for (int k = 0; k < ncuts; ++k) {
    CutPtr c = lookup(prob, cutind[k], k, fn);
    auto it = row.find(c->id);
    cutmap[k] = it == row.end() ? -1 : it->second;
  }
}

void get_cut_slack(Problem &prob, KLVOcut cut, double *slack, const char *fn) {
  require_out(slack, fn);
  CutPtr c = lookup(prob, cut, 0, fn);
  *slack = c->rhs - c->activity(event_point(prob, fn));
}

void add_managed_cuts(Problem &prob, int globalvalid, int ncuts, const char *rowtype, const double *rhs,
                      const int64_t *start, const int *colind, const double *cutcoef, const char *fn) {
  if (globalvalid != 0 && globalvalid != 1)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: globalvalid %d is not 0 or 1", fn, globalvalid);
  NodeCuts *n = globalvalid ? nullptr : &node(prob, fn);
  auto cuts = read_cuts(ncuts, nullptr, rowtype, rhs, start, colind, cutcoef, prob.model.ncols(), fn);
  for (auto &c : cuts) c->managed = true;
  if (n) n->add_local_managed(as_const(std::move(cuts)));
  else prob.cutpool.store(std::move(cuts), 0);
}

}  // namespace klvo
