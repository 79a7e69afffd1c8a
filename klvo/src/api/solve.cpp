// C entry points that solve a problem: shims over the solve dispatch.
#include "api/guard.h"
#include "engines/dispatch.h"
#include "engines/nlp/solve.h"

using klvo::api::guarded;

extern "C" {

int KLVOoptimize(KLVOprob prob, const char *flags, int *solvestatus, int *solstatus) {
  return guarded(prob, __func__, [&] {
    klvo::optimize(*prob, flags, klvo::SolveKind::Automatic);
    if (solvestatus) *solvestatus = prob->solution.solvestatus;
    if (solstatus) *solstatus = prob->solution.solstatus;
  });
}

int KLVOlpoptimize(KLVOprob prob, const char *flags) {
  return guarded(prob, __func__, [&] { klvo::optimize(*prob, flags, klvo::SolveKind::Lp); });
}

int KLVOmipoptimize(KLVOprob prob, const char *flags) {
  return guarded(prob, __func__, [&] { klvo::optimize(*prob, flags, klvo::SolveKind::Mip); });
}

int KLVOnlpoptimize(KLVOprob prob, const char *flags) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::nlp::require_layer(*prob, fn);
    klvo::nlp::optimize(*prob);
  });
}

}  // extern "C"
