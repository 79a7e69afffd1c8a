// C entry points that solve a problem: shims over the solve dispatch.
#include "api/guard.h"

using klvo::api::solving;

extern "C" {

int KLVOoptimize(KLVOprob prob, const char *flags, int *solvestatus, int *solstatus) {
  return solving(prob, __func__, [&] {
    klvo::solve(*prob, flags, klvo::SolveKind::Automatic);
    if (solvestatus) *solvestatus = prob->solution.solvestatus;
    if (solstatus) *solstatus = prob->solution.solstatus;
  });
}

int KLVOlpoptimize(KLVOprob prob, const char *flags) {
  return solving(prob, __func__, [&] { klvo::solve(*prob, flags, klvo::SolveKind::Lp); });
}

int KLVOmipoptimize(KLVOprob prob, const char *flags) {
  return solving(prob, __func__, [&] { klvo::solve(*prob, flags, klvo::SolveKind::Mip); });
}

int KLVOnlpoptimize(KLVOprob prob, const char *flags) {
  return solving(prob, __func__, [&](const char *fn) { klvo::solve_nonlinear(*prob, fn); });
}

}  // extern "C"
