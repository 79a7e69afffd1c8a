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

// What the model's editors and the file readers need from the nonlinear layer attached to a
// problem, so that they do not depend on the engines (engines/nlp/layer.h implements it).
class LayerHooks {
 public:
  // Rows or columns were deleted from the store (valid, distinct indices, any order); the
  // store's formulas have followed, the layer's per-row and per-column settings follow here.
  virtual void rows_deleted(int n, const int *index) = 0;
  virtual void cols_deleted(int n, const int *index) = 0;
  // The store was replaced by a problem read from a file: the old model's initial values,
  // settings and results go.
  virtual void model_replaced() = 0;
  // Checks formula entries (the arrays KSLPloadcoefs takes) against the model and the layer's
  // user functions and puts them in the store in place of its formulas. Throws klvo::Error
  // (leaving the store as it was) with the text KSLPloadcoefs would give.
  virtual void load_formulas(int n, const int *row, const int *col, const double *factor, const int *start,
                             const int *type, const double *value) = 0;

 protected:
  ~LayerHooks() = default;
};
}  // namespace klvo

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
