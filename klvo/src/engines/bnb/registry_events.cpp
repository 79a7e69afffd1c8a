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

bool RegistryEvents::checktime() {
  if (!events_.wants(KLVO_CB_CHECKTIME)) return true;
  return !events_.checktime(state());
}

}  // namespace bnb
}  // namespace klvo
