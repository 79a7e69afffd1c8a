// The C++ object behind a KLVOprob handle. Each subsystem keeps its state in its own member:
// the model store (model/), the controls and attributes (params/), the last solution
// (engines/solution.h) and the engines' persistent state.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "env/environment.h"
#include "env/error.h"
#include "engines/solution.h"
#include "model/store.h"
#include "params/params.h"

namespace klvo {
class EngineCache;  // engines' per-problem state (e.g. a HiGHS instance kept for warm starts)
}

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

  // The nonlinear layer attached to this problem, if any (set by KSLPcreateprob).
  KSLPprob slp = nullptr;

  // Asks a running solve to stop (reason > 0, else 1).
  void interrupt(int reason);
  void add_message_callback(KLVOmessagecb f, void *data, int priority, const char *fn);
  void remove_message_callback(KLVOmessagecb f, void *data, const char *fn);

  // Sends a message to this problem's callbacks and to the global handlers.
  void message(int msgtype, const std::string &text);
  void messagef(int msgtype, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
};

namespace klvo {

using Problem = klvo_problem_s;

// A new problem; fails naming fn when the library is not initialised.
Problem *create_problem(const char *fn);

// Deletes rows or columns from the store; the nonlinear layer's formulas follow them.
void delete_rows(Problem &prob, int n, const int *ind, const char *fn);
void delete_cols(Problem &prob, int n, const int *ind, const char *fn);

}  // namespace klvo
