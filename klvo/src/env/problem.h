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

  // Sends a message to this problem's callbacks and to the global handlers.
  void message(int msgtype, const std::string &text);
  void messagef(int msgtype, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
};

namespace klvo {

using Problem = klvo_problem_s;

// Resolves a handle for a C entry point: a null handle fails with a global error.
Problem &checked(KLVOprob prob, const char *function);

// A C entry point on a problem: errors go to the problem's last error (or the global one
// when the handle itself is null).
template <class Body>
int api_call(KLVOprob prob, const char *function, Body &&body) {
  if (!prob) {
    global_error().set(KLVO_ERR_INVALID_ARGUMENT, std::string(function) + ": null problem handle");
    return KLVO_ERR_INVALID_ARGUMENT;
  }
  return guarded(prob->error, std::forward<Body>(body));
}

}  // namespace klvo
