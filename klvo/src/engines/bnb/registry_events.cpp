#include "engines/bnb/registry_events.h"

#include <algorithm>
#include <cmath>

namespace klvo {
namespace bnb {

namespace {

// A figure of the search in the user's sense; NaN when the search has none yet.
double user_value(double v, int sense) {
  return std::isfinite(v) && std::fabs(v) < KLVO_INFINITY ? sense * v : NAN;
}

}  // namespace

EventState RegistryEvents::state() const {
  EventState s;
  s.cuts = thread_node_cuts();
  if (!figures) return s;
  SearchFigures f = figures();
  sense_ = f.sense;
  s.nodes = f.nodes;
  s.mipsols = f.solutions;
  s.time = f.seconds;
  s.bestbound = user_value(f.bound, f.sense);
  s.mipobjval = user_value(f.incumbent, f.sense);
  if (!std::isnan(s.mipobjval) && !std::isnan(s.bestbound))
    s.miprelgap = std::fabs(s.mipobjval - s.bestbound) / std::max(1e-10, std::fabs(s.mipobjval));
  return s;
}

EventState RegistryEvents::state(const NodeInfo &n, const std::vector<double> *x) const {
  EventState s = state();
  s.node = static_cast<int>(n.node);
  s.parentnode = static_cast<int>(n.parent);
  s.depth = n.depth + 1;  // the root is at depth 1 for callbacks
  if (x) {
    s.x = x->data();
    s.lpobjval = user_value(n.bound, sense_);
  }
  return s;
}

bool RegistryEvents::prenode(const NodeInfo &n) {
  if (!events_.wants(KLVO_CB_PRENODE)) return true;
  return !events_.prenode(state(n));
}

void RegistryEvents::nodelpsolved(const NodeInfo &n, const std::vector<double> &x) {
  if (events_.wants(KLVO_CB_NODELPSOLVED)) events_.nodelpsolved(state(n, &x));
}

bool RegistryEvents::optnode(const NodeInfo &n, const std::vector<double> &x) {
  if (!events_.wants(KLVO_CB_OPTNODE)) return true;
  return !events_.optnode(state(n, &x));
}

bool RegistryEvents::wants_branching() const { return events_.wants(KLVO_CB_CHGBRANCHOBJECT); }

KLVObranchobject RegistryEvents::chgbranchobject(const NodeInfo &n, const std::vector<double> &x,
                                                 KLVObranchobject candidate) {
  if (!events_.wants(KLVO_CB_CHGBRANCHOBJECT)) return candidate;
  return events_.chgbranchobject(state(n, &x), candidate);
}

void RegistryEvents::newnode(const NodeInfo &child, const BranchInfo &b) {
  if (events_.wants(KLVO_CB_NEWNODE))
    events_.newnode(state(child), static_cast<int>(child.parent), static_cast<int>(child.node), b.side);
}

void RegistryEvents::infnode(const NodeInfo &n) {
  if (events_.wants(KLVO_CB_INFNODE)) events_.infnode(state(n));
}

void RegistryEvents::nodecutoff(const NodeInfo &n) {
  if (events_.wants(KLVO_CB_NODECUTOFF)) events_.nodecutoff(state(n), static_cast<int>(n.node));
}

bool RegistryEvents::preintsol(const std::vector<double> &x, double objective, bool heuristic, double &cutoff) {
  if (!events_.wants(KLVO_CB_PREINTSOL)) return true;
  EventState s = state();
  s.x = x.data();
  s.lpobjval = objective;
  Events::Verdict v = events_.preintsol(s, heuristic ? 0 : 1, cutoff);
  cutoff = v.cutoff;
  return !v.reject;
}

void RegistryEvents::intsol(const std::vector<double> &x, double objective) {
  if (!events_.wants(KLVO_CB_INTSOL)) return;
  EventState s = state();
  s.x = x.data();
  s.mipobjval = objective;
  events_.intsol(s);
}

bool RegistryEvents::cutround(const NodeInfo &n, const std::vector<double> &x, bool ownrounds) {
  if (!events_.wants(KLVO_CB_CUTROUND)) return false;
  return events_.cutround(state(n, &x), ownrounds);
}

bool RegistryEvents::cutlog(const NodeInfo &n) {
  if (!events_.wants(KLVO_CB_CUTLOG)) return true;
  return !events_.cutlog(state(n));
}

bool RegistryEvents::checktime() {
  if (!events_.wants(KLVO_CB_CHECKTIME)) return true;
  return !events_.checktime(state());
}

void RegistryEvents::usersolnotify(const std::string &name, int status) {
  if (events_.wants(KLVO_CB_USERSOLNOTIFY)) events_.usersolnotify(state(), name, status);
}

void RegistryEvents::worker_started(int worker) {
  if (!events_.wants(KLVO_CB_MIPTHREAD) && !events_.wants(KLVO_CB_DESTROYMT)) return;
  if (static_cast<int>(threads_.size()) <= worker) threads_.resize(worker + 1);
  threads_[worker] = events_.thread_problem();
  events_.mipthread(state(), threads_[worker].get());
}

void RegistryEvents::worker_ended(int worker) {
  if (worker >= static_cast<int>(threads_.size()) || !threads_[worker]) return;
  // The problem goes even when a callback fails.
  ThreadProblem thread = std::move(threads_[worker]);
  events_.destroymt(state(), thread.get());
}

}  // namespace bnb
}  // namespace klvo
