// The C++ object behind a KSLPprob handle: the nonlinear layer attached to one problem.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "env/error.h"
#include "env/problem.h"

struct kslp_problem_s {
  explicit kslp_problem_s(KLVOprob base);
  ~kslp_problem_s();

  KLVOprob prob;  // the problem this layer belongs to (not owned)
  klvo::ErrorSlot error;
  std::atomic<int> interrupt_reason{0};

  // Sends a message to the layer's message function and to the global handlers.
  void message(int msgtype, const std::string &text);
  void set_message_callback(KSLPmessagecb f, void *data);

 private:
  std::mutex message_mutex_;
  KSLPmessagecb message_fn_ = nullptr;
  void *message_data_ = nullptr;
};

namespace klvo {

template <class Body>
int slp_api_call(KSLPprob slp, const char *function, Body &&body) {
  if (!slp) {
    global_error().set(KLVO_ERR_INVALID_ARGUMENT, std::string(function) + ": null nonlinear-layer handle");
    return KLVO_ERR_INVALID_ARGUMENT;
  }
  return guarded(slp->error, std::forward<Body>(body));
}

}  // namespace klvo
