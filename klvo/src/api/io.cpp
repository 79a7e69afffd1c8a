// C entry points for problem files: shims over io/problem_file.h.
#include "api/guard.h"
#include "io/problem_file.h"

using klvo::api::guarded;
using klvo::api::modifying;

extern "C" {

int KLVOreadprob(KLVOprob prob, const char *filename, const char *flags) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::read_problem(*prob, filename, flags, fn); });
}

int KSLPreadprob(KSLPprob slp, const char *filename, const char *flags) {
  return modifying(slp, __func__, [&](const char *fn) {
    klvo::read_problem(klvo::nlp::layer_problem(*slp, fn), filename, flags, fn);
  });
}

int KLVOwriteprob(KLVOprob prob, const char *filename, const char *flags) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::write_problem(*prob, filename, flags, fn); });
}

int KSLPwriteprob(KSLPprob slp, const char *filename, const char *flags) {
  return guarded(slp, __func__, [&](const char *fn) {
    klvo::write_problem_with_formulas(klvo::nlp::layer_problem(*slp, fn), filename, flags, fn);
  });
}

}  // extern "C"
