// C entry points for single coefficients, formula text, evaluation and validation of the
// nonlinear layer.
#include "api/guard.h"
#include "engines/nlp/formula_access.h"

using klvo::api::guarded;
using klvo::api::modifying;
namespace nlp = klvo::nlp;

namespace {

// The tokens a change function was given: none (keep the formula) or the parsed formula.
std::optional<std::vector<nlp::Token>> given_tokens(const kslp_problem_s &slp, int parsed, const int *type,
                                                    const double *value, const char *fn) {
  nlp::check_parsed(parsed, fn);
  if (!type) return std::nullopt;
  return nlp::input_tokens(slp, parsed, type, value, -1, fn);
}

std::optional<std::vector<nlp::Token>> given_text(const kslp_problem_s &slp, const char *formula, const char *fn) {
  if (!formula) return std::nullopt;
  try {
    return nlp::text_to_postfix(slp, formula);
  } catch (const klvo::Error &e) {
    klvo::fail(e.code(), "%s: %s", fn, e.what());
  }
}

void change(kslp_problem_s &slp, int row, int col, const double *factor,
            const std::optional<std::vector<nlp::Token>> &tokens, const char *fn) {
  nlp::change_coef(slp, row, col, factor, tokens ? &*tokens : nullptr, fn);
}

const double kOne = 1.0;

}  // namespace

extern "C" {

int KSLPchgcoef(KSLPprob slp, int rowindex, int colindex, const double *factor, int parsed, const int *type,
                const double *value) {
  return modifying(slp, __func__, [&](const char *fn) {
    change(*slp, rowindex, colindex, factor, given_tokens(*slp, parsed, type, value, fn), fn);
  });
}

int KLVOslpchgcoef(KLVOprob prob, int rowindex, int colindex, const double *factor, int parsed, const int *type,
                   const double *value) {
  return modifying(prob, __func__, [&](const char *fn) {
    kslp_problem_s &slp = nlp::require_layer(*prob, fn);
    change(slp, rowindex, colindex, factor, given_tokens(slp, parsed, type, value, fn), fn);
  });
}

int KLVOnlpchgformula(KLVOprob prob, int rowindex, int parsed, const int *type, const double *value) {
  return modifying(prob, __func__, [&](const char *fn) {
    kslp_problem_s &slp = nlp::require_layer(*prob, fn);
    if (!type) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null token arrays", fn);
    change(slp, rowindex, KSLP_NOCOLUMN, &kOne, given_tokens(slp, parsed, type, value, fn), fn);
  });
}

int KLVOslpchgcoefstr(KLVOprob prob, int rowindex, int colindex, const double *factor, const char *formula) {
  return modifying(prob, __func__, [&](const char *fn) {
    kslp_problem_s &slp = nlp::require_layer(*prob, fn);
    change(slp, rowindex, colindex, factor, given_text(slp, formula, fn), fn);
  });
}

int KSLPchgccoef(KSLPprob slp, int rowindex, int colindex, const double *factor, const char *formula) {
  return modifying(slp, __func__, [&](const char *fn) {
    change(*slp, rowindex, colindex, factor, given_text(*slp, formula, fn), fn);
  });
}

int KLVOnlpchgformulastr(KLVOprob prob, int rowindex, const char *formula) {
  return modifying(prob, __func__, [&](const char *fn) {
    kslp_problem_s &slp = nlp::require_layer(*prob, fn);
    if (!formula) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null formula", fn);
    change(slp, rowindex, KSLP_NOCOLUMN, &kOne, given_text(slp, formula, fn), fn);
  });
}

int KLVOslpgetcoefstr(KLVOprob prob, int rowindex, int colindex, double *factor, char *formula, int maxbytes,
                      int *nbytes) {
  return guarded(prob, __func__, [&](const char *fn) {
    std::string text = nlp::coef_text(nlp::require_layer(*prob, fn), rowindex, colindex, factor, fn);
    nlp::copy_text(text, formula, maxbytes, nbytes, fn);
  });
}

int KSLPgetccoef(KSLPprob slp, int rowindex, int colindex, double *factor, char *formula, int maxbytes) {
  return guarded(slp, __func__, [&](const char *fn) {
    nlp::copy_text(nlp::coef_text(*slp, rowindex, colindex, factor, fn), formula, maxbytes, nullptr, fn);
  });
}

int KLVOnlpgetformulastr(KLVOprob prob, int rowindex, char *formula, int maxbytes, int *nbytes) {
  return guarded(prob, __func__, [&](const char *fn) {
    nlp::copy_text(nlp::formula_text(*prob, rowindex, fn), formula, maxbytes, nbytes, fn);
  });
}

int KSLPevaluatecoef(KSLPprob slp, int rowindex, int colindex, double *value) {
  return guarded(slp, __func__, [&](const char *fn) {
    double v = nlp::evaluate_coef(*slp, rowindex, colindex, fn);
    if (!value) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null argument", fn);
    *value = v;
  });
}

int KSLPvalidate(KSLPprob slp) {
  return guarded(slp, __func__, [&](const char *fn) { nlp::validate(*slp, fn); });
}

int KSLPvalidaterow(KSLPprob slp, int rowindex) {
  return guarded(slp, __func__, [&](const char *fn) { nlp::validate_row(*slp, rowindex, fn); });
}

int KSLPvalidatevector(KSLPprob slp, const double *x, double *suminf, double *sumscaledinf, double *objval) {
  return guarded(slp, __func__,
                 [&](const char *fn) { nlp::validate_vector(*slp, x, suminf, sumscaledinf, objval, fn); });
}

int KSLPvalidatekkt(KSLPprob slp, int mode, int respectbasis, int updatemult, double violtarget) {
  // It may store the reduced costs it computes.
  return modifying(slp, __func__,
                 [&](const char *fn) { nlp::validate_kkt(*slp, mode, respectbasis, updatemult, violtarget, fn); });
}

int KSLPprintmemory(KSLPprob slp) {
  return guarded(slp, __func__, [&](const char *fn) { nlp::print_memory(*slp, fn); });
}

int KSLPprintevalinfo(KSLPprob slp) {
  return guarded(slp, __func__, [&](const char *fn) { nlp::print_eval_info(*slp, fn); });
}

}  // extern "C"
