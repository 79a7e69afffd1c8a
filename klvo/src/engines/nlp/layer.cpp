// Handles of the nonlinear layer.
#include "engines/nlp/layer.h"

#include "env/environment.h"
#include "env/objects.h"

using klvo::Environment;
using klvo::fail;

kslp_problem_s::kslp_problem_s(KLVOprob base) : prob(base) { klvo::register_object(this, "KSLPprob"); }

kslp_problem_s::~kslp_problem_s() { klvo::forget_object(this); }

void kslp_problem_s::message(int msgtype, const std::string &text) {
  KSLPmessagecb fn;
  void *data;
  {
    std::lock_guard<std::mutex> lock(message_mutex_);
    fn = message_fn_;
    data = message_data_;
  }
  int len = static_cast<int>(text.size());
  if (fn) fn(this, data, text.c_str(), len, msgtype);
  Environment::get().dispatch_message(this, text.c_str(), len, msgtype);
}

void kslp_problem_s::set_message_callback(KSLPmessagecb f, void *data) {
  std::lock_guard<std::mutex> lock(message_mutex_);
  message_fn_ = f;
  message_data_ = f ? data : nullptr;
}

extern "C" {

int KSLPcreateprob(KSLPprob *slp, KLVOprob *prob) {
  return klvo::api_global_call([&] {
    if (!slp || !prob || !*prob) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPcreateprob: null argument");
    *slp = nullptr;
    if (Environment::get().slp_count() <= 0)
      fail(KLVO_ERR_NOT_INITIALIZED, "KSLPcreateprob: the nonlinear layer is not initialized; call KSLPinit first");
    if ((*prob)->slp) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPcreateprob: the problem already has a nonlinear layer");
    *slp = new kslp_problem_s(*prob);
    (*prob)->slp = *slp;
  });
}

int KSLPdestroyprob(KSLPprob slp) {
  return klvo::api_global_call([&] {
    if (!slp) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPdestroyprob: null nonlinear-layer handle");
    if (slp->prob && slp->prob->slp == slp) slp->prob->slp = nullptr;
    delete slp;
  });
}

int KSLPgetlasterror(KSLPprob slp, int *code, char *errmsg) {
  if (!slp) return KLVO_ERR_INVALID_ARGUMENT;
  if (code) *code = slp->error.code();
  if (errmsg) klvo::copy_text(slp->error.text(), errmsg, 512);
  return KLVO_OK;
}

int KSLPinterrupt(KSLPprob slp, int reason) {
  return klvo::slp_api_call(slp, "KSLPinterrupt", [&] {
    slp->interrupt_reason = reason > 0 ? reason : 1;
    if (slp->prob) KLVOinterrupt(slp->prob, reason);
  });
}

int KSLPsetcbmessage(KSLPprob slp, KSLPmessagecb f, void *data) {
  return klvo::slp_api_call(slp, "KSLPsetcbmessage", [&] { slp->set_message_callback(f, data); });
}

}  // extern "C"
