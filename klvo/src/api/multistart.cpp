// C entry points of multistart (jobs, presets and their events) and of the nonlinear layer's
// events in the search over formulas.
#include "api/guard.h"
#include "engines/nlp/layer.h"

using klvo::api::guarded;
using klvo::api::modifying;
namespace nlp = klvo::nlp;

namespace {

// Copies n entries of an argument array; a null array is refused unless n is 0.
template <class T>
std::vector<T> entries(int n, const T *a, const char *what, const char *fn) {
  if (n < 0) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative count of %s", fn, what);
  if (n > 0 && !a) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null %s", fn, what);
  return n > 0 ? std::vector<T>(a, a + n) : std::vector<T>();
}

nlp::MsJob job_of(const char *description, int preset, int count, int ninitial, const int *colindex,
                  const double *initial, int nint, const int *intid, const int *intval, int ndbl, const int *dblid,
                  const double *dblval, void *object, const char *fn) {
  nlp::MsJob job;
  job.description = description ? description : "";
  job.preset = preset;
  job.count = count;
  job.cols = entries(ninitial, colindex, "initial-value columns", fn);
  job.values = entries(ninitial, initial, "initial values", fn);
  job.int_ids = entries(nint, intid, "integer control ids", fn);
  job.int_values = entries(nint, intval, "integer control values", fn);
  job.dbl_ids = entries(ndbl, dblid, "double control ids", fn);
  job.dbl_values = entries(ndbl, dblval, "double control values", fn);
  job.object = object;
  return job;
}

}  // namespace

extern "C" {

int KSLPmsaddjob(KSLPprob slp, const char *description, int ninitial, const int *colindex, const double *initial,
                 int nintcontrols, const int *intcontrolid, const int *intcontrolval, int ndblcontrols,
                 const int *dblcontrolid, const double *dblcontrolval, void *jobobject) {
  return modifying(slp, __func__, [&](const char *fn) {
    nlp::add_job(*slp,
                 job_of(description, 0, 1, ninitial, colindex, initial, nintcontrols, intcontrolid, intcontrolval,
                        ndblcontrols, dblcontrolid, dblcontrolval, jobobject, fn),
                 fn);
  });
}

int KSLPmsaddpreset(KSLPprob slp, const char *description, int preset, int count, void *jobobject) {
  return modifying(slp, __func__, [&](const char *fn) {
    if (preset == 0) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: preset 0 is not a preset", fn);
    nlp::add_job(*slp,
                 job_of(description, preset, count, 0, nullptr, nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr,
                        jobobject, fn),
                 fn);
  });
}

int KSLPmsaddcustompreset(KSLPprob slp, const char *description, int preset, int count, int ninitial,
                          const int *colindex, const double *initial, int nintcontrols, const int *intcontrolid,
                          const int *intcontrolval, int ndblcontrols, const int *dblcontrolid,
                          const double *dblcontrolval, void *jobobject) {
  return modifying(slp, __func__, [&](const char *fn) {
    if (preset == 0) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: preset 0 is not a preset", fn);
    nlp::add_job(*slp,
                 job_of(description, preset, count, ninitial, colindex, initial, nintcontrols, intcontrolid,
                        intcontrolval, ndblcontrols, dblcontrolid, dblcontrolval, jobobject, fn),
                 fn);
  });
}

int KSLPmsclear(KSLPprob slp) {
  return modifying(slp, __func__, [&] { nlp::clear_jobs(*slp); });
}

int KSLPsetcbmsjobstart(KSLPprob slp, KSLPmsjobcb f, void *data) {
  return guarded(slp, __func__, [&] { nlp::set_job_events(*slp, 0, reinterpret_cast<void (*)()>(f), data); });
}

int KSLPsetcbmsjobend(KSLPprob slp, KSLPmsjobcb f, void *data) {
  return guarded(slp, __func__, [&] { nlp::set_job_events(*slp, 1, reinterpret_cast<void (*)()>(f), data); });
}

int KSLPsetcbmswinner(KSLPprob slp, KSLPmswinnercb f, void *data) {
  return guarded(slp, __func__, [&] { nlp::set_job_events(*slp, 2, reinterpret_cast<void (*)()>(f), data); });
}

}  // extern "C"

// ---- Node events of the search over formulas.

namespace {

template <class F>
int set_node_event(KSLPprob slp, const char *fn, F f, void *data, F klvo::nlp::NodeEventFns::*slot,
                   void *klvo::nlp::NodeEventFns::*data_slot) {
  return guarded(slp, fn, [&] {
    klvo::nlp::NodeEvents &e = slp->node_events;
    std::lock_guard<std::mutex> lock(e.mutex);
    e.fns.*slot = f;
    e.fns.*data_slot = f ? data : nullptr;
  });
}

}  // namespace

extern "C" {

int KSLPsetcbslpnode(KSLPprob slp, KSLPnodecb f, void *data) {
  return set_node_event(slp, __func__, f, data, &klvo::nlp::NodeEventFns::slpnode,
                        &klvo::nlp::NodeEventFns::slpnode_data);
}

int KSLPsetcbintsol(KSLPprob slp, KSLPnodecb f, void *data) {
  return set_node_event(slp, __func__, f, data, &klvo::nlp::NodeEventFns::intsol,
                        &klvo::nlp::NodeEventFns::intsol_data);
}

int KSLPsetcbprenode(KSLPprob slp, KSLPnodefeascb f, void *data) {
  return set_node_event(slp, __func__, f, data, &klvo::nlp::NodeEventFns::prenode,
                        &klvo::nlp::NodeEventFns::prenode_data);
}

int KSLPsetcboptnode(KSLPprob slp, KSLPnodefeascb f, void *data) {
  return set_node_event(slp, __func__, f, data, &klvo::nlp::NodeEventFns::optnode,
                        &klvo::nlp::NodeEventFns::optnode_data);
}

}  // extern "C"
