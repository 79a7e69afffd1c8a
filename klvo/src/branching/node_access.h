// What the calls a node callback makes (KLVO_bo_store, KLVOstrongbranchcb) reach of the search
// that fired the callback. The search installs itself for its problem on its own thread, so a
// call from another thread, for another problem or outside a search finds nothing.
#pragma once

#include "branching/branchobject.h"

namespace klvo {

class NodeAccess {
 public:
  virtual ~NodeAccess() = default;
  // Keeps bo as a candidate for branching the current node; the search owns it from then on.
  // Fails (Error) when there is no node to branch at this moment.
  virtual void store(BranchObject *bo, const char *fn) = 0;
  // Trial solves of the current node's relaxation, one per bound change (see branching.h).
  virtual void strong_branch(KLVOprob prob, int n, const int *col, const char *type, const double *val,
                             int itrlimit, double *objval, int *status, KLVOstrongbranchsolvecb cb, void *data,
                             const char *fn) = 0;
};

// The search running for prob on this thread, or null.
NodeAccess *node_access(const klvo_problem_s *prob);

// Makes access the one found for prob on this thread until the scope ends; scopes nest.
class NodeAccessScope {
 public:
  NodeAccessScope(const klvo_problem_s *prob, NodeAccess *access);
  ~NodeAccessScope();
  NodeAccessScope(const NodeAccessScope &) = delete;
  NodeAccessScope &operator=(const NodeAccessScope &) = delete;

 private:
  const klvo_problem_s *prob_;
  NodeAccess *access_;
  NodeAccessScope *outer_;
  friend NodeAccess *node_access(const klvo_problem_s *prob);
};

}  // namespace klvo
