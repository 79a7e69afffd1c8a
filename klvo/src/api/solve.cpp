// C entry points that solve a problem: shims over the solve dispatch. A solve takes a problem
// in either form: it returns a presolved problem to the caller's form first.
#include "api/guard.h"

using klvo::api::solving_any;

extern "C" {

int KLVOoptimize(KLVOprob prob, const char *flags, int *solvestatus, int *solstatus) {
  return solving_any(prob, __func__, [&](const char *fn) {
    klvo::solve(*prob, flags, klvo::SolveKind::Automatic, fn);
    if (solvestatus) *solvestatus = prob->solution.solvestatus;
    if (solstatus) *solstatus = prob->solution.solstatus;
  });
}

int KLVOlpoptimize(KLVOprob prob, const char *flags) {
  return solving_any(prob, __func__, [&](const char *fn) { klvo::solve(*prob, flags, klvo::SolveKind::Lp, fn); });
}

int KLVOmipoptimize(KLVOprob prob, const char *flags) {
  return solving_any(prob, __func__, [&](const char *fn) { klvo::solve(*prob, flags, klvo::SolveKind::Mip, fn); });
}

int KLVOnlpoptimize(KLVOprob prob, const char *flags) {
  return solving_any(prob, __func__, [&](const char *fn) { klvo::solve_nonlinear(*prob, fn); });
}

}  // extern "C"
