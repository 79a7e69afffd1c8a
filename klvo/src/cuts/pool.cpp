#include "cuts/pool.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "env/error.h"

namespace klvo {

double Cut::violation(const double *x) const {
  double a = activity(x);
  switch (rowtype) {
    case 'L': return a - rhs;
    case 'G': return rhs - a;
    default: return std::fabs(a - rhs);
  }
}

void check_interp(int interp, const char *fn) {
  if (interp < -1 || interp > 2)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: interp %d is not -1 (all types), 0 (equal), 1 (all bits) or 2 (any bit)", fn,
         interp);
}

bool type_selected(int type, int cuttype, int interp) {
  switch (interp) {
    case -1: return true;
    case 0: return type == cuttype;
    case 1: return (type & cuttype) == cuttype;
    default: return (type & cuttype) != 0;
  }
}

uint64_t next_cut_id() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1);
}

std::vector<std::shared_ptr<Cut>> read_cuts(int ncuts, const int *cuttype, const char *rowtype, const double *rhs,
                                            const int64_t *start, const int *colind, const double *cutcoef, int ncols,
                                            const char *fn) {
  if (ncuts < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of cuts %d", fn, ncuts);
  std::vector<std::shared_ptr<Cut>> cuts;
  if (ncuts == 0) return cuts;
  if (!rowtype || !rhs || !start) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: rowtype, rhs and start are required", fn);
  if (start[0] != 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: start[0] is %lld, not 0", fn, static_cast<long long>(start[0]));
  if (start[ncuts] > 0 && (!colind || !cutcoef))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: colind and cutcoef are required for %lld coefficients", fn,
         static_cast<long long>(start[ncuts]));
  cuts.reserve(ncuts);
  for (int k = 0; k < ncuts; ++k) {
    char t = rowtype[k];
    if (t != 'L' && t != 'G' && t != 'E')
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: cut %d has row type '%c': cuts are 'L', 'G' or 'E'", fn, k,
           t >= 32 && t < 127 ? t : '?');
    if (!std::isfinite(rhs[k]) || std::fabs(rhs[k]) >= KLVO_INFINITY)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: cut %d has no finite right-hand side", fn, k);
    if (start[k + 1] < start[k])
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: start decreases at cut %d", fn, k);
    auto cut = std::make_shared<Cut>();
    cut->type = cuttype ? cuttype[k] : 0;
    cut->rowtype = t;
    cut->rhs = rhs[k];
    for (int64_t e = start[k]; e < start[k + 1]; ++e) {
      int j = colind[e];
      double v = cutcoef[e];
      if (j < 0 || j >= ncols)
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: cut %d has column %d, outside 0..%d", fn, k, j, ncols - 1);
      if (!std::isfinite(v) || std::fabs(v) >= KLVO_INFINITY)
        fail(KLVO_ERR_INVALID_ARGUMENT, "%s: cut %d has a coefficient that is not finite", fn, k);
      if (v == 0) continue;
      cut->cols.push_back(j);
      cut->vals.push_back(v);
    }
    std::vector<int> sorted = cut->cols;
    std::sort(sorted.begin(), sorted.end());
    auto twice = std::adjacent_find(sorted.begin(), sorted.end());
    if (twice != sorted.end()) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: cut %d names column %d twice", fn, k, *twice);
    cuts.push_back(std::move(cut));
  }
  for (auto &c : cuts) c->id = next_cut_id();
  return cuts;
}

namespace {

bool same_cut(const Cut &a, const Cut &b, bool with_type) {
  if (with_type && a.type != b.type) return false;
  if (a.rowtype != b.rowtype || a.rhs != b.rhs || a.cols.size() != b.cols.size()) return false;
  // Coefficients in any order.
  std::unordered_map<int, double> coefs;
  for (size_t k = 0; k < a.cols.size(); ++k) coefs[a.cols[k]] = a.vals[k];
  for (size_t k = 0; k < b.cols.size(); ++k) {
    auto it = coefs.find(b.cols[k]);
    if (it == coefs.end() || it->second != b.vals[k]) return false;
  }
  return true;
}

}  // namespace

std::vector<uint64_t> CutPool::store(std::vector<std::shared_ptr<Cut>> cuts, int nodups) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<uint64_t> ids;
  ids.reserve(cuts.size());
  for (auto &c : cuts) {
    uint64_t id = 0;
    if (nodups != 0)
      for (const CutPtr &p : cuts_)
        if (same_cut(*p, *c, nodups == 1)) {
          id = p->id;
          break;
        }
    if (!id) {
      id = c->id;
      where_[id] = cuts_.size();
      cuts_.push_back(std::move(c));
    }
    ids.push_back(id);
  }
  return ids;
}

CutPtr CutPool::find(uint64_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = where_.find(id);
  return it == where_.end() ? nullptr : cuts_[it->second];
}

std::vector<CutPtr> CutPool::select(int cuttype, int interp) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CutPtr> out;
  for (const CutPtr &c : cuts_)
    if (type_selected(c->type, cuttype, interp)) out.push_back(c);
  return out;
}

std::vector<CutPtr> CutPool::managed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CutPtr> out;
  for (const CutPtr &c : cuts_)
    if (c->managed) out.push_back(c);
  return out;
}

void CutPool::reindex() {
  where_.clear();
  for (size_t k = 0; k < cuts_.size(); ++k) where_[cuts_[k]->id] = k;
}

void CutPool::remove(const std::vector<uint64_t> &ids, const char *fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t k = 0; k < ids.size(); ++k)
    if (!where_.count(ids[k])) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: cut %zu is not in the cut pool", fn, k);
  std::vector<char> gone(cuts_.size(), 0);
  for (uint64_t id : ids) gone[where_[id]] = 1;
  size_t w = 0;
  for (size_t k = 0; k < cuts_.size(); ++k)
    if (!gone[k]) cuts_[w++] = std::move(cuts_[k]);
  cuts_.resize(w);
  reindex();
}

void CutPool::remove_selected(int cuttype, int interp) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t w = 0;
  for (size_t k = 0; k < cuts_.size(); ++k)
    if (!type_selected(cuts_[k]->type, cuttype, interp)) cuts_[w++] = std::move(cuts_[k]);
  cuts_.resize(w);
  reindex();
}

void CutPool::columns_deleted(const std::vector<int> &map) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t w = 0;
  for (size_t k = 0; k < cuts_.size(); ++k) {
    const Cut &c = *cuts_[k];
    bool keep = true;
    for (int j : c.cols) keep = keep && j < static_cast<int>(map.size()) && map[j] >= 0;
    if (!keep) continue;
    // The handle stays: the same cut over renumbered columns.
    auto moved = std::make_shared<Cut>(c);
    for (int &j : moved->cols) j = map[j];
    cuts_[w++] = std::move(moved);
  }
  cuts_.resize(w);
  reindex();
}

void CutPool::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  cuts_.clear();
  where_.clear();
}

size_t CutPool::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cuts_.size();
}

}  // namespace klvo
