// The moments of the search a caller can watch or steer. The search calls each hook at one
// place only; the defaults do nothing and change nothing, so that a search without observers
// runs exactly as it would without this struct. In a parallel search the hooks are called one
// at a time (the workers share one lock), each on the thread of the worker that meets it.
// Node numbers are those of SearchNode: the root is 1, every new node takes the next number,
// and each node knows its parent.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engines/starts.h"
#include "klvo.h"

namespace klvo {

class NodeCuts;

namespace bnb {

struct NodeInfo {
  int64_t node = 0, parent = 0;
  int depth = 0;
  double bound = 0.0;  // relaxation objective (minimising sense of the search), or the parent's
};

// How a node was split: for a column, the new bound on each side; for a set, the members
// fixed at 0 on each side; for an indicator, its column fixed on each side; for a branching
// object, its branches (side: the branch).
struct BranchInfo {
  enum Kind { Column, SemiContinuous, Set, Indicator, Object } kind = Column;
  int index = -1;  // column, set or indicator row
  double value = 0.0;
  int side = 0;  // which of the two children this is
};

// Where the search stands, for observers that report it. Bound and incumbent are in the
// minimising sense of the search (infinite when none); sense turns them to the user's.
struct SearchFigures {
  int64_t nodes = 0, solutions = 0;
  double bound = 0.0, incumbent = 0.0, seconds = 0.0;
  int sense = 1;
};

// The search worker running on this thread, for the cut functions called from its callbacks:
// each worker runs on a thread of its own, and a search nested in a callback restores the
// outer one when it ends.
inline NodeCuts *&thread_node_cuts() {
  static thread_local NodeCuts *cuts = nullptr;
  return cuts;
}

class SearchEvents {
 public:
  virtual ~SearchEvents() = default;
  // Set by the search before its first hook; answers at any hook.
  std::function<SearchFigures()> figures;
  // Before a node's relaxation is solved; returning false drops the node.
  virtual bool prenode(const NodeInfo &) { return true; }
  // The relaxation of a node was solved to optimality (x: its solution).
  virtual void nodelpsolved(const NodeInfo &, const std::vector<double> & /*x*/) {}
  // After the relaxation of a node is optimal, before branching; returning false declares the
  // node infeasible.
  virtual bool optnode(const NodeInfo &, const std::vector<double> & /*x*/) { return true; }
  // Whether chgbranchobject is answered: the search builds branching objects only then.
  virtual bool wants_branching() const { return false; }
  // The search is about to branch the node on candidate (which it owns); the result is the
  // object to branch on: candidate itself, or one the caller now owns.
  virtual KLVObranchobject chgbranchobject(const NodeInfo &, const std::vector<double> & /*x*/,
                                           KLVObranchobject candidate) {
    return candidate;
  }
  // A child was created.
  virtual void newnode(const NodeInfo & /*child*/, const BranchInfo &) {}
  // The relaxation of a node was infeasible.
  virtual void infnode(const NodeInfo &) {}
  // A node was pruned because its bound cannot beat the incumbent.
  virtual void nodecutoff(const NodeInfo &) {}
  // A candidate solution checked feasible for the model; returning false rejects it. cutoff
  // (user's sense, infinite when none) may be tightened; the search then prunes against it.
  virtual bool preintsol(const std::vector<double> & /*x*/, double /*objective*/, bool /*heuristic*/,
                         double & /*cutoff*/) {
    return true;
  }
  // A new incumbent was accepted (objective in the user's sense).
  virtual void intsol(const std::vector<double> & /*x*/, double /*objective*/) {}
  // Called between nodes; returning false stops the search.
  virtual bool checktime() { return true; }
  // Solutions the user gave from callbacks since the last call, for the search to try.
  virtual std::vector<MipStart> offered() { return {}; }
  // What became of a solution the user gave (KLVO_USERSOL_*).
  virtual void usersolnotify(const std::string & /*name*/, int /*status*/) {}
  // A worker of a parallel search starts (before its first node) or ends, on its own thread.
  virtual void worker_started(int /*worker*/) {}
  virtual void worker_ended(int /*worker*/) {}
  // A cut round of a node ended (ownrounds: its cuts came from the search's own separation);
  // returning true asks for another round.
  virtual bool cutround(const NodeInfo &, const std::vector<double> & /*x*/, bool /*ownrounds*/) { return false; }
  // A cut round added cuts; returning false stops the search.
  virtual bool cutlog(const NodeInfo &) { return true; }
};

}  // namespace bnb
}  // namespace klvo
