#include "analysis/scratch.h"

#include <cstdarg>
#include <vector>

#include "analysis/analysis.h"
#include "params/access.h"

namespace klvo {

void info(Problem &prob, const char *fmt, ...) {
  int level = KLVO_OUTPUT_ALL;
  get_int_control(prob, KLVO_CONTROL_OUTPUTLOG, &level, "info");
  if (level != KLVO_OUTPUT_ALL && level != KLVO_OUTPUT_DETAILED) return;
  va_list args;
  va_start(args, fmt);
  std::string text = vformat(fmt, args);
  va_end(args);
  prob.message(KLVO_MSG_INFO, text);
}

Scratch::Scratch(Problem &src, const char *name, const char *fn) : fn_(fn) {
  prob_ = create_problem(fn);
  try {
    check(KLVOcopyprob(prob_, &src, name));
    check(KLVOcopycontrols(prob_, &src));
  } catch (...) {
    KLVOdestroyprob(prob_);
    throw;
  }
}

Scratch::~Scratch() { KLVOdestroyprob(prob_); }

void Scratch::check(int rc) const {
  if (rc) fail(rc, "%s: %s", fn_, prob_->error.text().c_str());
}

void Scratch::set_objective_constant(double value) {
  int col = -1;
  double rhs = -value;
  check(KLVOchgobj(prob_, 1, &col, &rhs));
}

void Scratch::clear_quadratic_objective() {
  std::vector<int> c1, c2;
  const ModelStore &m = prob_->model;
  for (size_t j = 0; j < m.qobj.size(); ++j)
    for (const Entry &e : m.qobj[j])
      if (e.index >= static_cast<int>(j)) c1.push_back(static_cast<int>(j)), c2.push_back(e.index);
  std::vector<double> zero(c1.size(), 0.0);
  check(KLVOchgmqobj64(prob_, static_cast<int64_t>(c1.size()), c1.data(), c2.data(), zero.data()));
}

void Scratch::restore_quadratic_objective(const ModelStore &from) {
  std::vector<int> c1, c2;
  std::vector<double> v;
  for (size_t j = 0; j < from.qobj.size(); ++j)
    for (const Entry &e : from.qobj[j])
      if (e.index >= static_cast<int>(j)) c1.push_back(static_cast<int>(j)), c2.push_back(e.index), v.push_back(e.value);
  check(KLVOchgmqobj64(prob_, static_cast<int64_t>(c1.size()), c1.data(), c2.data(), v.data()));
}

}  // namespace klvo
