// The C++ object behind a KLVOprob handle. Each subsystem keeps its state in its own member:
// the model store (model/), the controls and attributes (params/), the last solution
// (engines/solution.h) and the engines' persistent state. Engines see it only through the
// narrow SolveContext (engines/context.h).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "callbacks/registry.h"
#include "cuts/pool.h"
#include "engines/context.h"
#include "engines/dispatch.h"
#include "env/environment.h"
#include "env/error.h"
#include "env/layer_hooks.h"
#include "env/messages.h"

namespace klvo {
struct IisSearch;
struct PresolvedForm;
struct TunerMethod;
}

struct klvo_problem_s {
  klvo_problem_s();
  ~klvo_problem_s();

  klvo::ErrorSlot error;
  // The event callbacks, message callbacks among them.
  klvo::EventRegistry callbacks;
  klvo::Events events{this, callbacks};
  // Suppressed message codes and the log file (KLVOsetmessagestatus, KLVOsetlogfile).
  klvo::MessageSettings message_settings;
  // Non-zero asks a running solve to stop; the value is the reason given to KLVOinterrupt.
  std::atomic<int> interrupt_reason{0};
  // -1 while a solve runs on this problem, else the number of calls changing it right now
  // (see klvo::UseMark).
  std::atomic<int> use{0};

  klvo::ModelStore model;
  klvo::ParamStore params;
  klvo::SolutionStore solution;
  std::unique_ptr<klvo::EngineCache> engine;
  klvo::StartStore starts;
  // Cuts kept for the library's own search (klvo/cuts.h).
  klvo::CutPool cutpool;
  // The irreducible infeasible sets found (analysis/iis.h); null before a search.
  std::shared_ptr<klvo::IisSearch> iis;
  // The control sets the tuner tries (analysis/tuner.h); null until tuned or read.
  std::shared_ptr<klvo::TunerMethod> tuner_method;
  // The presolved form the last solve kept (analysis/presolved.h); null in the caller's form.
  std::unique_ptr<klvo::PresolvedForm> presolved;

  // The nonlinear layer attached to this problem, if any (set by KSLPcreateprob), and the
  // same object as the rest of the library sees it.
  KSLPprob slp = nullptr;
  klvo::LayerHooks *layer = nullptr;

  // Asks a running solve to stop (reason > 0, else 1).
  void interrupt(int reason);
  void add_callback(int kind, klvo::AnyCallback f, void *data, int priority, const char *fn);
  void remove_callback(int kind, klvo::AnyCallback f, void *data, const char *fn);

  // The view an engine gets of this problem for one solve.
  klvo::SolveContext solve_context();

  // Sends a message to this problem's callbacks, the global handlers and the log file,
  // unless its code (KLVO_MSGCODE_*) is suppressed.
  void message(int msgtype, const std::string &text, int code = KLVO_MSGCODE_GENERAL);
  void messagef(int msgtype, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
};

namespace klvo {

using Problem = klvo_problem_s;

// How a call uses a problem. A solve takes the problem alone; changes may overlap one another
// (each is guarded by its own data) but never a solve, from any thread, the solving one too.
enum class Use { change, solve };

// Marks a problem in use for one call; fails with KLVO_ERR_BUSY naming fn when the problem is
// being solved, or (for a solve) changed by another call. Released by the destructor.
class UseMark {
 public:
  UseMark(Problem &prob, Use use, const char *fn);
  ~UseMark();
  UseMark(const UseMark &) = delete;
  UseMark &operator=(const UseMark &) = delete;

 private:
  Problem &prob_;
  Use use_;
};

// Claims a problem for good before it is destroyed; fails as UseMark does.
void claim_for_destruction(Problem &prob, const char *fn);

// A new problem; fails naming fn when the library is not initialised.
Problem *create_problem(const char *fn);

// What the model holds, for the choice of engine and the attributes.
ModelFacts model_facts(const Problem &prob);

// Solves the problem with the engine its model needs; the nonlinear solve alone (the problem
// must have a nonlinear layer).
// A solve returns the problem to its own form first; the flag 'k' keeps the presolved form.
void solve(Problem &prob, const char *flags, SolveKind kind, const char *fn);
void solve_nonlinear(Problem &prob, const char *fn);

// Deletes rows or columns from the store; the nonlinear layer's formulas follow them.
void delete_rows(Problem &prob, int n, const int *ind, const char *fn);
void delete_cols(Problem &prob, int n, const int *ind, const char *fn);

}  // namespace klvo
