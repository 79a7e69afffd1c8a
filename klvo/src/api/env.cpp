// C entry points of the environment and of problem handles.
#include "api/guard.h"
#include "env/environment.h"
#include "env/objects.h"

using klvo::Environment;
using klvo::require_out;
using klvo::api::guarded;
using klvo::api::guarded_global;

extern "C" {

int KLVOinit(const char *path) {
  return guarded_global(__func__, [&] { Environment::get().init(path); });
}

int KLVOfree(void) {
  return guarded_global(__func__, [&](const char *fn) { Environment::get().release(fn); });
}

int KLVOgetversion(char *version) {
  return guarded_global(__func__, [&](const char *fn) {
    require_out(version, fn);
    klvo::copy_text(klvo::version_text(), version, 16);
  });
}

int KLVOgetversionnumbers(int *major, int *minor, int *build) {
  return guarded_global(__func__, [&] { klvo::version_numbers(major, minor, build); });
}

int KLVOgetbanner(char *banner) {
  return guarded_global(__func__, [&](const char *fn) {
    require_out(banner, fn);
    klvo::copy_text(klvo::banner_text(), banner, 512);
  });
}

int KLVOgetcheckedmode(int *checked) {
  return guarded_global(__func__, [&](const char *fn) {
    require_out(checked, fn);
    *checked = Environment::get().checked_mode.load();
  });
}

int KLVOsetcheckedmode(int checked) {
  return guarded_global(__func__, [&] { Environment::get().checked_mode = checked ? 1 : 0; });
}

int KLVOfeaturequery(const char *feature, int *status) {
  return guarded_global(__func__, [&](const char *fn) {
    bool available = klvo::feature_available(feature, fn);
    require_out(status, fn);
    *status = available ? 1 : 0;
  });
}

int KLVO_ge_getlasterror(int *code, char *msg, int maxbytes, int *nbytes) {
  // Reads the global error without touching it, so it never fails itself.
  auto &slot = klvo::global_error();
  if (code) *code = slot.code();
  size_t length = slot.copy_to(msg, msg ? maxbytes : 0);
  if (nbytes) *nbytes = static_cast<int>(length) + 1;
  return KLVO_OK;
}

int KLVO_ge_setarchconsistency(int consistent) {
  return guarded_global(__func__, [&] { Environment::get().arch_consistent = consistent ? 1 : 0; });
}

int KLVO_ge_getarchconsistency(int *consistent) {
  return guarded_global(__func__, [&](const char *fn) {
    require_out(consistent, fn);
    *consistent = Environment::get().arch_consistent.load();
  });
}

int KLVO_ge_getcomputeallowed(int *allowed) {
  return guarded_global(__func__, [&](const char *fn) {
    require_out(allowed, fn);
    *allowed = Environment::get().compute_allowed.load();
  });
}

int KLVO_ge_setcomputeallowed(int allowed) {
  return guarded_global(__func__, [&](const char *fn) { Environment::get().set_compute_allowed(allowed, fn); });
}

int KLVO_ge_getdebugmode(int *mode) {
  return guarded_global(__func__, [&](const char *fn) {
    require_out(mode, fn);
    *mode = Environment::get().debug_mode.load();
  });
}

int KLVO_ge_setdebugmode(int mode) {
  return guarded_global(__func__, [&] { Environment::get().debug_mode = mode ? 1 : 0; });
}

int KLVO_ge_addcbmsghandler(KLVOgemsghandler handler, void *data, int priority) {
  return guarded_global(__func__,
                        [&](const char *fn) { Environment::get().add_handler(handler, data, priority, fn); });
}

int KLVO_ge_removecbmsghandler(KLVOgemsghandler handler, void *data) {
  return guarded_global(__func__, [&](const char *fn) { Environment::get().remove_handler(handler, data, fn); });
}

int KLVOgetobjecttypename(void *obj, const char **name) {
  return guarded_global(__func__, [&](const char *fn) {
    require_out(name, fn);
    *name = klvo::object_type_name(obj, fn);
  });
}

int KLVOcreateprob(KLVOprob *prob) {
  return guarded_global(__func__, [&](const char *fn) {
    require_out(prob, fn);
    *prob = nullptr;
    *prob = klvo::create_problem(fn);
  });
}

int KLVOdestroyprob(KLVOprob prob) {
  return guarded_global(__func__, [&](const char *fn) {
    if (!prob) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null problem handle", fn);
    klvo::claim_for_destruction(*prob, fn);
    delete prob;
  });
}

int KLVOgetlasterror(KLVOprob prob, char *errmsg) {
  // Reads the problem's error without touching it, so it never fails itself.
  if (!prob || !errmsg) return KLVO_ERR_INVALID_ARGUMENT;
  prob->error.copy_to(errmsg, 512);
  return KLVO_OK;
}

int KLVOinterrupt(KLVOprob prob, int reason) {
  return guarded(prob, __func__, [&] { prob->interrupt(reason); });
}

int KSLPinit(void) {
  return guarded_global(__func__, [&](const char *fn) { Environment::get().slp_init(fn); });
}

int KSLPfree(void) {
  return guarded_global(__func__, [&](const char *fn) { Environment::get().slp_release(fn); });
}

}  // extern "C"
