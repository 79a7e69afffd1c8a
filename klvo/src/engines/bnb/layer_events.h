// The nonlinear layer's node events in the search of a problem with formulas: fired after
// those of the problem's own registrations (inner, which may be null), at the same moments.
#pragma once

#include "engines/bnb/events.h"
#include "engines/nlp/node_events.h"

struct kslp_problem_s;

namespace klvo {
namespace bnb {

class LayerEvents : public SearchEvents {
 public:
  LayerEvents(kslp_problem_s &slp, SearchEvents *inner);

  bool prenode(const NodeInfo &n) override;
  void nodelpsolved(const NodeInfo &n, const std::vector<double> &x) override;
  bool optnode(const NodeInfo &n, const std::vector<double> &x) override;
  void newnode(const NodeInfo &child, const BranchInfo &b) override;
  void infnode(const NodeInfo &n) override;
  void nodecutoff(const NodeInfo &n) override;
  bool preintsol(const std::vector<double> &x, double objective, bool heuristic, double &cutoff) override;
  void intsol(const std::vector<double> &x, double objective) override;
  bool checktime() override;

 private:
  // The inner observer answers with the search's figures too.
  SearchEvents *inner();

  kslp_problem_s &slp_;
  SearchEvents *inner_;
  nlp::NodeEventFns fns_;
};

}  // namespace bnb
}  // namespace klvo
