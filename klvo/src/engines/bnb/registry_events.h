// The search's hooks answered by the callbacks registered on the problem: each hook fills the
// figures of the moment and fires the matching solver event.
#pragma once

#include "engines/bnb/events.h"
#include "engines/events.h"

namespace klvo {
namespace bnb {

class RegistryEvents : public SearchEvents {
 public:
  explicit RegistryEvents(const Events &events) : events_(events) {}

  bool prenode(const NodeInfo &n) override;
  void nodelpsolved(const NodeInfo &n, const std::vector<double> &x) override;
  bool optnode(const NodeInfo &n, const std::vector<double> &x) override;
  bool wants_branching() const override;
  KLVObranchobject chgbranchobject(const NodeInfo &n, const std::vector<double> &x,
                                   KLVObranchobject candidate) override;
  void newnode(const NodeInfo &child, const BranchInfo &b) override;
  void infnode(const NodeInfo &n) override;
  void nodecutoff(const NodeInfo &n) override;
  bool preintsol(const std::vector<double> &x, double objective, bool heuristic, double &cutoff) override;
  void intsol(const std::vector<double> &x, double objective) override;
  bool checktime() override;
  std::vector<MipStart> offered() override { return events_.take_offered(); }
  void usersolnotify(const std::string &name, int status) override;
  void worker_started(int worker) override;
  void worker_ended(int worker) override;
  bool cutround(const NodeInfo &n, const std::vector<double> &x, bool ownrounds) override;
  bool cutlog(const NodeInfo &n) override;

 private:
  EventState state() const;
  EventState state(const NodeInfo &n, const std::vector<double> *x = nullptr) const;

  const Events &events_;
  mutable int sense_ = 1;  // the search's, from its latest figures
  std::vector<ThreadProblem> threads_;  // each running worker's problem, when its events are watched
};

}  // namespace bnb
}  // namespace klvo
