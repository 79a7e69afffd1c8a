// C entry points of the environment and of problem handles.
#include <cstring>

#include "engines/engine_cache.h"
#include "env/environment.h"
#include "env/error.h"
#include "env/objects.h"
#include "env/problem.h"

using klvo::api_call;
using klvo::api_global_call;
using klvo::Environment;
using klvo::fail;

#ifndef KLVO_VERSION_MAJOR
#define KLVO_VERSION_MAJOR 0
#define KLVO_VERSION_MINOR 0
#define KLVO_VERSION_PATCH 0
#endif

namespace {

template <class T>
void require_out(T *p, const char *function) {
  if (!p) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", function);
}

}  // namespace

extern "C" {

int KLVOinit(const char *path) {
  return api_global_call([&] { Environment::get().init(path); });
}

int KLVOfree(void) {
  return api_global_call([&] { Environment::get().release(); });
}

int KLVOgetversion(char *version) {
  return api_global_call([&] {
    require_out(version, "KLVOgetversion");
    klvo::copy_text(klvo::format("%d.%d.%d", KLVO_VERSION_MAJOR, KLVO_VERSION_MINOR, KLVO_VERSION_PATCH), version, 16);
  });
}

int KLVOgetversionnumbers(int *major, int *minor, int *build) {
  return api_global_call([&] {
    if (major) *major = KLVO_VERSION_MAJOR;
    if (minor) *minor = KLVO_VERSION_MINOR;
    if (build) *build = KLVO_VERSION_PATCH;
  });
}

int KLVOgetbanner(char *banner) {
  return api_global_call([&] {
    require_out(banner, "KLVOgetbanner");
    std::string text = klvo::format("klvo optimization library v%d.%d.%d (engines: %s)", KLVO_VERSION_MAJOR,
                                    KLVO_VERSION_MINOR, KLVO_VERSION_PATCH, klvo::engines_description().c_str());
    klvo::copy_text(text, banner, 512);
  });
}

int KLVOgetcheckedmode(int *checked) {
  return api_global_call([&] {
    require_out(checked, "KLVOgetcheckedmode");
    *checked = Environment::get().checked_mode.load();
  });
}

int KLVOsetcheckedmode(int checked) {
  return api_global_call([&] { Environment::get().checked_mode = checked ? 1 : 0; });
}

int KLVOfeaturequery(const char *feature, int *status) {
  return api_global_call([&] {
    if (!feature) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOfeaturequery: null feature name");
    require_out(status, "KLVOfeaturequery");
    static const char *const available[] = {"lp", "mip", "qp", "barrier", "simplex", "mps", "lpfile",
#ifdef KLVO_HAVE_IPOPT
                                            "nlp", "qcqp",
#endif
                                            nullptr};
    *status = 0;
    for (const char *const *f = available; *f; ++f)
      if (strcasecmp(*f, feature) == 0) *status = 1;
  });
}

int KLVO_ge_getlasterror(int *code, char *msg, int maxbytes, int *nbytes) {
  // Reads the global error without touching it, so it never fails itself.
  auto &slot = klvo::global_error();
  std::string text = slot.text();
  if (code) *code = slot.code();
  if (msg && maxbytes > 0) klvo::copy_text(text, msg, maxbytes);
  if (nbytes) *nbytes = static_cast<int>(text.size()) + 1;
  return KLVO_OK;
}

int KLVO_ge_setarchconsistency(int consistent) {
  return api_global_call([&] { Environment::get().arch_consistent = consistent ? 1 : 0; });
}

int KLVO_ge_getarchconsistency(int *consistent) {
  return api_global_call([&] {
    require_out(consistent, "KLVO_ge_getarchconsistency");
    *consistent = Environment::get().arch_consistent.load();
  });
}

int KLVO_ge_getcomputeallowed(int *allowed) {
  return api_global_call([&] {
    require_out(allowed, "KLVO_ge_getcomputeallowed");
    *allowed = Environment::get().compute_allowed.load();
  });
}

int KLVO_ge_setcomputeallowed(int allowed) {
  return api_global_call([&] {
    if (allowed < -1 || allowed > 1)
      fail(KLVO_ERR_INVALID_ARGUMENT, "KLVO_ge_setcomputeallowed: value %d is not -1, 0 or 1", allowed);
    Environment::get().compute_allowed = allowed;
  });
}

int KLVO_ge_getdebugmode(int *mode) {
  return api_global_call([&] {
    require_out(mode, "KLVO_ge_getdebugmode");
    *mode = Environment::get().debug_mode.load();
  });
}

int KLVO_ge_setdebugmode(int mode) {
  return api_global_call([&] { Environment::get().debug_mode = mode ? 1 : 0; });
}

int KLVO_ge_addcbmsghandler(KLVOgemsghandler handler, void *data, int priority) {
  return api_global_call([&] {
    if (!handler) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVO_ge_addcbmsghandler: null handler");
    Environment::get().handlers.add(handler, data, priority);
  });
}

int KLVO_ge_removecbmsghandler(KLVOgemsghandler handler, void *data) {
  return api_global_call([&] {
    if (Environment::get().handlers.remove(handler, data) == 0)
      fail(KLVO_ERR_CALLBACK, "KLVO_ge_removecbmsghandler: no such message handler is registered");
  });
}

int KLVOgetobjecttypename(void *obj, const char **name) {
  return api_global_call([&] {
    require_out(name, "KLVOgetobjecttypename");
    if (!obj) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOgetobjecttypename: null object");
    *name = klvo::object_type_name(obj);
  });
}

int KLVOcreateprob(KLVOprob *prob) {
  return api_global_call([&] {
    require_out(prob, "KLVOcreateprob");
    *prob = nullptr;
    Environment::get().require_initialized("KLVOcreateprob");
    *prob = new klvo_problem_s();
  });
}

int KLVOdestroyprob(KLVOprob prob) {
  return api_global_call([&] {
    if (!prob) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOdestroyprob: null problem handle");
    delete prob;
  });
}

int KLVOgetlasterror(KLVOprob prob, char *errmsg) {
  if (!prob || !errmsg) return KLVO_ERR_INVALID_ARGUMENT;
  klvo::copy_text(prob->error.text(), errmsg, 512);
  return KLVO_OK;
}

int KLVOinterrupt(KLVOprob prob, int reason) {
  return api_call(prob, "KLVOinterrupt", [&] { prob->interrupt_reason = reason > 0 ? reason : 1; });
}

int KLVOaddcbmessage(KLVOprob prob, KLVOmessagecb f, void *data, int priority) {
  return api_call(prob, "KLVOaddcbmessage", [&] {
    if (!f) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOaddcbmessage: null callback");
    prob->messages.add(f, data, priority);
  });
}

int KLVOremovecbmessage(KLVOprob prob, KLVOmessagecb f, void *data) {
  return api_call(prob, "KLVOremovecbmessage", [&] {
    // Removing every callback from a problem that has none is not an error.
    if (prob->messages.remove(f, data) == 0 && f)
      fail(KLVO_ERR_CALLBACK, "KLVOremovecbmessage: no such message callback is registered");
  });
}

int KSLPinit(void) {
  return api_global_call([&] { Environment::get().slp_init(); });
}

int KSLPfree(void) {
  return api_global_call([&] { Environment::get().slp_release(); });
}

}  // extern "C"
