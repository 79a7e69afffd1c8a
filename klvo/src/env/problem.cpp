#include "env/problem.h"

#include <cstdarg>

#include "engines/engine_cache.h"
#include "engines/nlp/layer.h"
#include "env/objects.h"
#include "params/params.h"

klvo_problem_s::klvo_problem_s() { klvo::register_object(this, "KLVOprob"); }
klvo_problem_s::~klvo_problem_s() {
  // A layer still attached outlives its problem only as a handle that can be destroyed.
  if (slp) slp->prob = nullptr;
  klvo::forget_object(this);
}

void klvo_problem_s::message(int msgtype, const std::string &text) {
  int len = static_cast<int>(text.size());
  for (const auto &cb : messages.snapshot()) cb.fn(this, cb.data, text.c_str(), len, msgtype);
  klvo::Environment::get().dispatch_message(this, text.c_str(), len, msgtype);
}

void klvo_problem_s::messagef(int msgtype, const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = klvo::vformat(fmt, args);
  va_end(args);
  message(msgtype, text);
}
