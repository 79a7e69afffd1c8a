#include "engines/events.h"

#include <utility>

#include "env/problem.h"

namespace klvo {

namespace {

// Calls every registration of kind with the state answered for prob during the calls.
template <class Fn, class Call>
void fire(KLVOprob prob, const EventRegistry &registry, int kind, const EventState &s, Call &&call) {
  if (!registry.any(kind)) return;
  EventScope scope(prob, s);
  registry.each<Fn>(kind, call);
}

}  // namespace

bool Events::wants_node_events() const {
  for (int kind : {KLVO_CB_OPTNODE, KLVO_CB_PRENODE, KLVO_CB_NEWNODE, KLVO_CB_NODELPSOLVED, KLVO_CB_INFNODE,
                   KLVO_CB_NODECUTOFF, KLVO_CB_CUTROUND, KLVO_CB_CUTLOG, KLVO_CB_CHGBRANCHOBJECT, KLVO_CB_PREINTSOL})
    if (registry_.any(kind)) return true;
  return false;
}

void Events::notify(int kind, const EventState &s) const {
  fire<void (*)(KLVOprob, void *)>(prob_, registry_, kind, s, [&](auto f, void *data) { f(prob_, data); });
}

bool Events::stop_asked(int kind, const EventState &s) const {
  bool stop = false;
  fire<int (*)(KLVOprob, void *)>(prob_, registry_, kind, s, [&](auto f, void *data) {
    if (f(prob_, data) != 0) stop = true;
  });
  return stop;
}

bool Events::infeasible_asked(int kind, const EventState &s) const {
  int infeasible = 0;
  fire<KLVOoptnodecb>(prob_, registry_, kind, s, [&](auto f, void *data) { f(prob_, data, &infeasible); });
  return infeasible != 0;
}

int Events::bariteration(const EventState &s) const {
  int action = 0;
  fire<KLVObariterationcb>(prob_, registry_, KLVO_CB_BARITERATION, s,
                           [&](auto f, void *data) { f(prob_, data, &action); });
  return action;
}

KLVObranchobject Events::chgbranchobject(const EventState &s, KLVObranchobject candidate) const {
  // A callback after one that replaced the candidate sees the replacement as the candidate.
  KLVObranchobject current = candidate;
  fire<KLVOchgbranchobjectcb>(prob_, registry_, KLVO_CB_CHGBRANCHOBJECT, s, [&](auto f, void *data) {
    KLVObranchobject replacement = nullptr;
    f(prob_, data, current, &replacement);
    if (!replacement || replacement == current) return;
    // A replacement replaced again was the library's to destroy.
    if (current != candidate) KLVO_bo_destroy(current);
    current = replacement;
  });
  return current;
}

bool Events::cutround(const EventState &s, bool ownrounds) const {
  int action = 0;
  fire<KLVOcutroundcb>(prob_, registry_, KLVO_CB_CUTROUND, s,
                       [&](auto f, void *data) { f(prob_, data, ownrounds ? 1 : 0, &action); });
  return action != 0;
}

GapTargets Events::gapnotify(const EventState &s, GapTargets t) const {
  fire<KLVOgapnotifycb>(prob_, registry_, KLVO_CB_GAPNOTIFY, s,
                        [&](auto f, void *data) { f(prob_, data, &t.rel, &t.abs, &t.absobj, &t.absbound); });
  return t;
}

void Events::newnode(const EventState &s, int parent, int node, int branch) const {
  fire<KLVOnewnodecb>(prob_, registry_, KLVO_CB_NEWNODE, s,
                      [&](auto f, void *data) { f(prob_, data, parent, node, branch); });
}

void Events::nodecutoff(const EventState &s, int node) const {
  fire<KLVOnodecutoffcb>(prob_, registry_, KLVO_CB_NODECUTOFF, s, [&](auto f, void *data) { f(prob_, data, node); });
}

Events::Verdict Events::preintsol(const EventState &s, int soltype, double cutoff) const {
  int reject = 0;
  fire<KLVOpreintsolcb>(prob_, registry_, KLVO_CB_PREINTSOL, s,
                        [&](auto f, void *data) { f(prob_, data, soltype, &reject, &cutoff); });
  return Verdict{reject != 0, cutoff};
}

void ThreadProblemDeleter::operator()(klvo_problem_s *prob) const {
  prob->use.store(0);
  delete prob;
}

ThreadProblem Events::thread_problem() const {
  ThreadProblem t(new klvo_problem_s());
  t->model = prob_->model;
  t->params.copy_from(prob_->params);
  t->use.store(-1);
  return t;
}

void Events::mipthread(const EventState &s, KLVOprob threadprob) const {
  fire<KLVOmipthreadcb>(prob_, registry_, KLVO_CB_MIPTHREAD, s,
                        [&](auto f, void *data) { f(prob_, data, threadprob); });
}

void Events::destroymt(const EventState &s, KLVOprob threadprob) const {
  // The callback receives the ending thread's problem.
  fire<KLVOdestroymtcb>(threadprob, registry_, KLVO_CB_DESTROYMT, s,
                        [&](auto f, void *data) { f(threadprob, data); });
}

void Events::usersolnotify(const EventState &s, const std::string &name, int status) const {
  fire<KLVOusersolnotifycb>(prob_, registry_, KLVO_CB_USERSOLNOTIFY, s,
                            [&](auto f, void *data) { f(prob_, data, name.c_str(), status); });
}

void Events::offer(MipStart start) const {
  std::lock_guard<std::mutex> lock(offered_mutex_);
  offered_.push_back(std::move(start));
}

std::vector<MipStart> Events::take_offered() const {
  std::lock_guard<std::mutex> lock(offered_mutex_);
  return std::exchange(offered_, {});
}

}  // namespace klvo
