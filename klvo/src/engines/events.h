// How an engine fires the solver events: one function per event, called at its moment with
// what the engine knows then (EventState), returning what the callbacks asked for. Each
// registration is called in turn, in priority order; an out-parameter passes from one to the
// next, so the last word is the lowest-priority callback's. Every function costs one atomic
// load when nothing is registered for its event.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "callbacks/registry.h"
#include "callbacks/state.h"
#include "engines/starts.h"

namespace klvo {

// The four gap notification targets; a negative gap or an infinite objective or bound means
// no target.
struct GapTargets {
  double rel = -1, abs = -1, absobj = KLVO_INFINITY, absbound = KLVO_INFINITY;
};

// Destroys a worker thread's problem (see Events::thread_problem).
struct ThreadProblemDeleter {
  void operator()(klvo_problem_s *prob) const;
};
using ThreadProblem = std::unique_ptr<klvo_problem_s, ThreadProblemDeleter>;

class Events {
 public:
  // Events of prob: callbacks receive prob (for a worker thread of a parallel search, that
  // thread's problem) and are taken from registry.
  Events(KLVOprob prob, const EventRegistry &registry) : prob_(prob), registry_(registry) {}

  bool wants(int kind) const { return registry_.any(kind); }
  // Whether anything is registered that only a search with its own nodes can serve.
  bool wants_node_events() const;

  // Barrier iteration: the action asked for (0 go on, 1 stop, 2 stop and cross over).
  int bariteration(const EventState &s) const;
  // Log lines; true asks the solve to stop.
  bool barlog(const EventState &s) const { return stop_asked(KLVO_CB_BARLOG, s); }
  bool cutlog(const EventState &s) const { return stop_asked(KLVO_CB_CUTLOG, s); }
  bool miplog(const EventState &s) const { return stop_asked(KLVO_CB_MIPLOG, s); }
  bool lplog(const EventState &s) const { return stop_asked(KLVO_CB_LPLOG, s); }
  // Called regularly; true asks the solve to stop.
  bool checktime(const EventState &s) const { return stop_asked(KLVO_CB_CHECKTIME, s); }
  // The branching object to use at the node: candidate (may be null) or one a callback gave,
  // which the caller then owns.
  KLVObranchobject chgbranchobject(const EventState &s, KLVObranchobject candidate) const;
  // End of a cut round: true when a callback asks for another round.
  bool cutround(const EventState &s, bool ownrounds) const;
  // A gap target was reached: the targets to use from now on.
  GapTargets gapnotify(const EventState &s, GapTargets targets) const;
  // Node moments; prenode and optnode return true when a callback declares the node infeasible.
  bool prenode(const EventState &s) const { return infeasible_asked(KLVO_CB_PRENODE, s); }
  bool optnode(const EventState &s) const { return infeasible_asked(KLVO_CB_OPTNODE, s); }
  void nodelpsolved(const EventState &s) const { notify(KLVO_CB_NODELPSOLVED, s); }
  void infnode(const EventState &s) const { notify(KLVO_CB_INFNODE, s); }
  void newnode(const EventState &s, int parent, int node, int branch) const;
  void nodecutoff(const EventState &s, int node) const;
  // A candidate integer solution (s.x): whether it is rejected, and the cutoff, which the
  // callbacks may have tightened. soltype: 0 heuristic, 1 node, 2 user solution.
  struct Verdict {
    bool reject = false;
    double cutoff;
  };
  Verdict preintsol(const EventState &s, int soltype, double cutoff) const;
  // A new incumbent was accepted (s.x).
  void intsol(const EventState &s) const { notify(KLVO_CB_INTSOL, s); }
  // A problem standing for one worker thread of a search of this problem: a copy of its model
  // and controls, marked as being solved, so that callbacks can query it but not change it.
  ThreadProblem thread_problem() const;
  // Worker threads of a search: threadprob is the thread's own problem.
  void mipthread(const EventState &s, KLVOprob threadprob) const;
  void destroymt(const EventState &s, KLVOprob threadprob) const;
  // What became of a solution given by KLVOaddmipsol (status KLVO_USERSOL_*).
  void usersolnotify(const EventState &s, const std::string &name, int status) const;
  void beforeobjective(const EventState &s) const { notify(KLVO_CB_BEFOREOBJECTIVE, s); }
  void afterobjective(const EventState &s) const { notify(KLVO_CB_AFTEROBJECTIVE, s); }
  void presolve(const EventState &s) const { notify(KLVO_CB_PRESOLVE, s); }

  KLVOprob problem() const { return prob_; }

  // Solutions given by KLVOaddmipsol from inside callbacks, for the running solve to try.
  void offer(MipStart start) const;
  std::vector<MipStart> take_offered() const;

 private:
  void notify(int kind, const EventState &s) const;
  bool stop_asked(int kind, const EventState &s) const;
  bool infeasible_asked(int kind, const EventState &s) const;

  KLVOprob prob_;
  const EventRegistry &registry_;
  mutable std::mutex offered_mutex_;
  mutable std::vector<MipStart> offered_;
};

}  // namespace klvo
