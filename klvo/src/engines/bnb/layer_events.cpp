#include "engines/bnb/layer_events.h"

#include "engines/nlp/layer.h"

namespace klvo {
namespace bnb {

LayerEvents::LayerEvents(kslp_problem_s &slp, SearchEvents *inner)
    : slp_(slp), inner_(inner), fns_(slp.node_events.get()) {}

SearchEvents *LayerEvents::inner() {
  if (inner_ && !inner_->figures) inner_->figures = figures;
  return inner_;
}

bool LayerEvents::prenode(const NodeInfo &n) {
  if (inner() && !inner_->prenode(n)) return false;
  int infeasible = 0;
  if (fns_.prenode) fns_.prenode(&slp_, fns_.prenode_data, &infeasible);
  if (infeasible) return false;
  return !(fns_.slpnode && fns_.slpnode(&slp_, fns_.slpnode_data) != 0);
}

void LayerEvents::nodelpsolved(const NodeInfo &n, const std::vector<double> &x) {
  if (inner()) inner_->nodelpsolved(n, x);
}

bool LayerEvents::optnode(const NodeInfo &n, const std::vector<double> &x) {
  if (inner() && !inner_->optnode(n, x)) return false;
  int infeasible = 0;
  if (fns_.optnode) fns_.optnode(&slp_, fns_.optnode_data, &infeasible);
  return infeasible == 0;
}

void LayerEvents::newnode(const NodeInfo &child, const BranchInfo &b) {
  if (inner()) inner_->newnode(child, b);
}

void LayerEvents::infnode(const NodeInfo &n) {
  if (inner()) inner_->infnode(n);
}

void LayerEvents::nodecutoff(const NodeInfo &n) {
  if (inner()) inner_->nodecutoff(n);
}

bool LayerEvents::preintsol(const std::vector<double> &x, double objective, bool heuristic, double &cutoff) {
  return !inner() || inner_->preintsol(x, objective, heuristic, cutoff);
}

void LayerEvents::intsol(const std::vector<double> &x, double objective) {
  if (inner()) inner_->intsol(x, objective);
  if (fns_.intsol) fns_.intsol(&slp_, fns_.intsol_data);
}

bool LayerEvents::checktime() { return !inner() || inner_->checktime(); }

}  // namespace bnb
}  // namespace klvo
