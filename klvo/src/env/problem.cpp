#include "env/problem.h"

#include <cstdarg>

#include "analysis/presolved.h"
#include "engines/multiobjective.h"
#include "engines/nlp/layer.h"
#include "engines/nlp/solve.h"
#include "env/objects.h"
#include "model/edit.h"
#include "params/params.h"

klvo_problem_s::klvo_problem_s() { klvo::register_object(this, "KLVOprob"); }
klvo_problem_s::~klvo_problem_s() {
  // A layer still attached outlives its problem only as a handle that can be destroyed.
  if (slp) slp->prob = nullptr;
  klvo::forget_object(this);
}

void klvo_problem_s::message(int msgtype, const std::string &text, int code) {
  if (!message_settings.sent(code)) return;
  int len = static_cast<int>(text.size());
  callbacks.each<KLVOmessagecb>(KLVO_CB_MESSAGE,
                                [&](KLVOmessagecb f, void *data) { f(this, data, text.c_str(), len, msgtype); });
  klvo::Environment::get().dispatch_message(this, text.c_str(), len, msgtype);
  message_settings.log(msgtype, text);
}

void klvo_problem_s::messagef(int msgtype, const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = klvo::vformat(fmt, args);
  va_end(args);
  message(msgtype, text);
}

void klvo_problem_s::interrupt(int reason) { interrupt_reason = reason > 0 ? reason : 1; }

void klvo_problem_s::add_callback(int kind, klvo::AnyCallback f, void *data, int priority, const char *fn) {
  if (!f) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null callback", fn);
  callbacks.add(kind, f, data, priority);
}

void klvo_problem_s::remove_callback(int kind, klvo::AnyCallback f, void *data, const char *fn) {
  static const char *const names[KLVO_CB_KINDS] = {
      "bariteration", "barlog",        "chgbranchobject", "cutlog",    "cutround",        "destroymt",
      "gapnotify",    "miplog",        "infnode",         "intsol",    "lplog",           "message",
      "mipthread",    "newnode",       "nodecutoff",      "nodelpsolved", "optnode",      "preintsol",
      "prenode",      "usersolnotify", "checktime",       "beforeobjective", "afterobjective", "presolve"};
  // Removing every callback from a problem that has none is not an error.
  if (callbacks.remove(kind, f, data) == 0 && f)
    klvo::fail(KLVO_ERR_CALLBACK, "%s: no such %s callback is registered", fn, names[kind]);
}

klvo::SolveContext klvo_problem_s::solve_context() {
  // Everything an engine says during a solve is its log.
  auto sink = [this](int msgtype, const std::string &text) { message(msgtype, text, KLVO_MSGCODE_SOLVER); };
  return klvo::SolveContext{model, params, solution, interrupt_reason, sink, engine, &starts, &events, &cutpool};
}

namespace klvo {

ModelFacts model_facts(const Problem &prob) { return model_facts(prob.model, nlp::formula_count(prob)); }

namespace {

// What the model keeps for the library's own branch-and-bound search, which the engines do
// not use yet: said once per solve so that nobody thinks it steered the search.
void note_unused_search_data(Problem &prob) {
  const ModelMarks &marks = prob.model.marks;
  if (!marks.has_search_data()) return;
  int64_t output = prob.params.int_control(KLVO_CONTROL_OUTPUTLOG);
  if (output != KLVO_OUTPUT_ALL && output != KLVO_OUTPUT_DETAILED) return;
  std::vector<const char *> kinds;
  if (!marks.dirs.empty()) kinds.push_back("branching directives");
  if (!marks.delayed.empty()) kinds.push_back("delayed rows");
  if (!marks.modelcuts.empty()) kinds.push_back("model cuts");
  if (!marks.securerows.empty() || !marks.securecols.empty()) kinds.push_back("secure vectors");
  std::string what;
  for (size_t k = 0; k < kinds.size(); ++k)
    what += std::string(k == 0 ? "" : k + 1 == kinds.size() ? " and " : ", ") + kinds[k];
  prob.message(KLVO_MSG_INFO,
               "The problem's " + what +
                   " are kept but not used by this solve: they take effect only in the library's own "
                   "branch-and-bound search",
               KLVO_MSGCODE_UNUSED);
}

}  // namespace

void solve(Problem &prob, const char *flags, SolveKind kind, const char *fn) {
  leave_presolved(prob);
  std::string engine_flags;
  bool keep = false;
  for (const char *c = flags; c && *c; ++c) {
    if (*c == 'k') keep = true;
    else engine_flags.push_back(*c);
  }
  if (keep) require_presolvable(prob, fn);
  note_unused_search_data(prob);
  optimize_stages(prob.solve_context(), prob.slp, engine_flags.c_str(), kind);
  if (keep) keep_presolved(prob, kind == SolveKind::Lp || engine_flags.find('l') != std::string::npos, fn);
}

void solve_nonlinear(Problem &prob, const char *fn) {
  leave_presolved(prob);
  note_unused_search_data(prob);
  kslp_problem_s &layer = nlp::require_layer(prob, fn);
  nlp::optimize(prob.solve_context(), &layer);
}

namespace {

[[noreturn]] void refuse(int state, const char *fn) {
  if (state < 0) fail(KLVO_ERR_BUSY, "%s: the problem is being solved", fn);
  fail(KLVO_ERR_BUSY, "%s: the problem is being changed by another call", fn);
}

// Takes the problem alone: the mark goes from free (0) to solving (-1).
void take_alone(Problem &prob, const char *fn) {
  int expected = 0;
  if (!prob.use.compare_exchange_strong(expected, -1)) refuse(expected, fn);
}

}  // namespace

UseMark::UseMark(Problem &prob, Use use, const char *fn) : prob_(prob), use_(use) {
  if (use == Use::solve) {
    take_alone(prob, fn);
    Environment::get().solve_started();
    // An interrupt from before this solve is stale; one from now on stops it.
    prob.interrupt_reason = 0;
    if (prob.slp) prob.slp->interrupt_reason = 0;
    return;
  }
  int state = prob.use.load();
  do {
    if (state < 0) refuse(state, fn);
  } while (!prob.use.compare_exchange_weak(state, state + 1));
}

UseMark::~UseMark() {
  if (use_ == Use::solve) {
    prob_.use.store(0);
    Environment::get().solve_ended();
  } else {
    prob_.use.fetch_sub(1);
  }
}

void claim_for_destruction(Problem &prob, const char *fn) { take_alone(prob, fn); }

Problem *create_problem(const char *fn) {
  Environment::get().require_initialized(fn);
  return new klvo_problem_s();
}

// The layer's row and column settings follow a deletion: worked out before the store changes,
// put in place after it did, so that a failure anywhere leaves both as they were.
void delete_rows(Problem &prob, int n, const int *ind, const char *fn) {
  std::function<void()> follow = prob.layer ? prob.layer->rows_deleting(n, ind) : nullptr;
  del_rows(prob.model, fn, n, ind);
  if (follow) follow();
}

void delete_cols(Problem &prob, int n, const int *ind, const char *fn) {
  std::function<void()> follow = prob.layer ? prob.layer->cols_deleting(n, ind) : nullptr;
  const int before = prob.model.ncols();
  del_cols(prob.model, fn, n, ind);
  if (follow) follow();
  if (prob.cutpool.size()) {
    // Pool cuts follow their columns; those over a deleted column go.
    std::vector<int> map(before, 0);
    for (int k = 0; k < n; ++k) map[ind[k]] = -1;
    for (int j = 0, next = 0; j < before; ++j) map[j] = map[j] < 0 ? -1 : next++;
    prob.cutpool.columns_deleted(map);
  }
}

}  // namespace klvo
