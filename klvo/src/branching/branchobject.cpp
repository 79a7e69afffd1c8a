#include "branching/branchobject.h"

#include <atomic>

#include "branching/node_access.h"

namespace klvo {

namespace {

std::atomic<int> last_id{0};
thread_local NodeAccessScope *innermost = nullptr;

}  // namespace

int branch_object_status(const BranchObject &bo, int ncols, std::string *why) {
  if (bo.branches.empty()) {
    if (why) *why = "the branching object has no branches";
    return 1;
  }
  if (ncols < 0) return 0;
  for (size_t b = 0; b < bo.branches.size(); ++b) {
    const BranchData &d = bo.branches[b];
    for (const BranchBound &x : d.bounds)
      if (x.col >= ncols) {
        if (why) *why = format("branch %d bounds column %d, beyond the %d columns", static_cast<int>(b), x.col, ncols);
        return 2;
      }
    for (int c : d.col)
      if (c >= ncols) {
        if (why) *why = format("a row of branch %d uses column %d, beyond the %d columns", static_cast<int>(b), c, ncols);
        return 2;
      }
    for (const CutPtr &cut : d.cuts)
      for (int c : cut->cols)
        if (c >= ncols) {
          if (why) *why = format("a cut of branch %d uses column %d, beyond the %d columns", static_cast<int>(b), c, ncols);
          return 2;
        }
  }
  return 0;
}

BranchObject *new_branch_object(KLVOprob prob, bool original) {
  auto *bo = new BranchObject();
  bo->prob = prob;
  bo->original = original;
  bo->id = ++last_id;
  return bo;
}

NodeAccess *node_access(const klvo_problem_s *prob) {
  for (NodeAccessScope *s = innermost; s; s = s->outer_)
    if (s->prob_ == prob) return s->access_;
  return nullptr;
}

NodeAccessScope::NodeAccessScope(const klvo_problem_s *prob, NodeAccess *access)
    : prob_(prob), access_(access), outer_(innermost) {
  innermost = this;
}

NodeAccessScope::~NodeAccessScope() { innermost = outer_; }

}  // namespace klvo
