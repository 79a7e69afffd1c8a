// The C++ object behind a KLVOprob handle. Each subsystem keeps its state in its own member:
// the model store (model/), the controls and attributes (params/), the last solution
// (engines/solution.h) and the engines' persistent state. Engines see it only through the
// narrow SolveContext (engines/context.h).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "engines/context.h"
#include "engines/dispatch.h"
#include "env/environment.h"
#include "env/error.h"
#include "env/layer_hooks.h"

struct klvo_problem_s {
  klvo_problem_s();
  ~klvo_problem_s();

  klvo::ErrorSlot error;
  klvo::CallbackList<KLVOmessagecb> messages;
  // Non-zero asks a running solve to stop; the value is the reason given to KLVOinterrupt.
  std::atomic<int> interrupt_reason{0};

  klvo::ModelStore model;
  klvo::ParamStore params;
  klvo::SolutionStore solution;
  std::unique_ptr<klvo::EngineCache> engine;

  // The nonlinear layer attached to this problem, if any (set by KSLPcreateprob), and the
  // same object as the rest of the library sees it.
  KSLPprob slp = nullptr;
  klvo::LayerHooks *layer = nullptr;

  // Asks a running solve to stop (reason > 0, else 1).
  void interrupt(int reason);
  void add_message_callback(KLVOmessagecb f, void *data, int priority, const char *fn);
  void remove_message_callback(KLVOmessagecb f, void *data, const char *fn);

  // The view an engine gets of this problem for one solve.
  klvo::SolveContext solve_context();

  // Sends a message to this problem's callbacks and to the global handlers.
  void message(int msgtype, const std::string &text);
  void messagef(int msgtype, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
};

namespace klvo {

using Problem = klvo_problem_s;

// A new problem; fails naming fn when the library is not initialised.
Problem *create_problem(const char *fn);

// What the model holds, for the choice of engine and the attributes.
ModelFacts model_facts(const Problem &prob);

// Solves the problem with the engine its model needs; the nonlinear solve alone (the problem
// must have a nonlinear layer).
void solve(Problem &prob, const char *flags, SolveKind kind);
void solve_nonlinear(Problem &prob, const char *fn);

// Deletes rows or columns from the store; the nonlinear layer's formulas follow them.
void delete_rows(Problem &prob, int n, const int *ind, const char *fn);
void delete_cols(Problem &prob, int n, const int *ind, const char *fn);

}  // namespace klvo
