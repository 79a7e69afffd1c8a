// C entry points of the nonlinear layer's handles, controls and attributes.
#include <climits>

#include "api/guard.h"
#include "engines/nlp/layer.h"
#include "model/array_sizes.h"

using klvo::api::guarded;
using klvo::api::modifying;
using klvo::api::modifying_any;
using klvo::api::guarded_global;
namespace nlp = klvo::nlp;

extern "C" {

int KSLPcreateprob(KSLPprob *slp, KLVOprob *prob) {
  return guarded_global(__func__, [&](const char *fn) {
    if (!slp) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null argument", fn);
    *slp = nullptr;
    *slp = nlp::create_layer(prob, fn);
  });
}

int KSLPdestroyprob(KSLPprob slp) {
  return guarded_global(__func__, [&](const char *fn) {
    // The layer's formulas leave its problem with it: not under a running solve.
    std::optional<klvo::UseMark> mark;
    if (slp && slp->prob) mark.emplace(*slp->prob, klvo::Use::change, fn);
    nlp::destroy_layer(slp, fn);
  });
}

int KSLPcopyprob(KSLPprob dest, KSLPprob src, const char *name) {
  return modifying(dest, __func__, [&](const char *fn) { nlp::copy_layer(*dest, src, fn); });
}

int KSLPcopycontrols(KSLPprob dest, KSLPprob src) {
  return modifying_any(dest, __func__, [&](const char *fn) { nlp::copy_controls(*dest, src, fn); });
}

int KSLPgetlasterror(KSLPprob slp, int *code, char *errmsg) {
  // Reads the layer's error without touching it, so it never fails itself.
  if (!slp) return KLVO_ERR_INVALID_ARGUMENT;
  if (code) *code = slp->error.code();
  if (errmsg) slp->error.copy_to(errmsg, 512);
  return KLVO_OK;
}

int KSLPinterrupt(KSLPprob slp, int reason) {
  return guarded(slp, __func__, [&] { nlp::interrupt(*slp, reason); });
}

int KSLPsetcbmessage(KSLPprob slp, KSLPmessagecb f, void *data) {
  return guarded(slp, __func__, [&] { slp->set_message_callback(f, data); });
}

int KSLPgetcalist(const int **ids, const char *const **names, const int **flags, int *count) {
  return guarded_global(__func__, [&] { nlp::fill_catalogue(1, ids, names, flags, count); });
}

int KSLPgetKTRcalist(const int **ids, const char *const **names, const int **flags, int *count) {
  return guarded_global(__func__, [&] { nlp::fill_catalogue(2, ids, names, flags, count); });
}

int KSLPcontrolcode(const char *name, int *id, int *flags) {
  return guarded_global(__func__, [&](const char *fn) { nlp::control_code(name, id, flags, fn); });
}

int KSLPgetintcontrol64(KSLPprob slp, int id, int64_t *value) {
  return guarded(slp, __func__, [&](const char *fn) {
    if (!value) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null value pointer", fn);
    *value = nlp::get_int_control(slp, id, fn);
  });
}

int KSLPgetintcontrol(KSLPprob slp, int id, int *value) {
  return guarded(slp, __func__, [&](const char *fn) {
    if (!value) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null value pointer", fn);
    *value = static_cast<int>(nlp::get_int_control(slp, id, fn));
  });
}

int KSLPsetintcontrol64(KSLPprob slp, int id, int64_t value) {
  return modifying_any(slp, __func__, [&](const char *fn) { nlp::set_int_control(slp, id, value, fn); });
}

int KSLPsetintcontrol(KSLPprob slp, int id, int value) {
  return modifying_any(slp, __func__, [&](const char *fn) { nlp::set_int_control(slp, id, value, fn); });
}

int KSLPgetdblcontrol(KSLPprob slp, int id, double *value) {
  return guarded(slp, __func__, [&](const char *fn) {
    if (!value) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null value pointer", fn);
    *value = nlp::get_dbl_control(*slp, id, fn);
  });
}

int KSLPsetdblcontrol(KSLPprob slp, int id, double value) {
  return modifying_any(slp, __func__, [&](const char *fn) { nlp::set_dbl_control(*slp, id, value, fn); });
}

int KSLPgetstringcontrol(KSLPprob slp, int id, char *value, int maxbytes, int *nbytes) {
  return guarded(slp, __func__,
                 [&](const char *fn) { nlp::get_str_control(*slp, id, value, maxbytes, nbytes, fn); });
}

int KSLPsetstrcontrol(KSLPprob slp, int id, const char *value) {
  return modifying_any(slp, __func__, [&](const char *fn) { nlp::set_str_control(*slp, id, value, fn); });
}

int KSLPgetintattrib64(KSLPprob slp, int id, int64_t *value) {
  return guarded(slp, __func__, [&](const char *fn) {
    int64_t v = nlp::get_int_attrib(*slp, id, fn);
    if (!value) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null value pointer", fn);
    *value = v;
  });
}

int KSLPgetintattrib(KSLPprob slp, int id, int *value) {
  return guarded(slp, __func__, [&](const char *fn) {
    int64_t v = nlp::get_int_attrib(*slp, id, fn);
    if (!value) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null value pointer", fn);
    *value = static_cast<int>(v);
  });
}

int KSLPgetdblattrib(KSLPprob slp, int id, double *value) {
  return guarded(slp, __func__, [&](const char *fn) {
    double v = nlp::get_dbl_attrib(*slp, id, fn);
    if (!value) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null value pointer", fn);
    *value = v;
  });
}

int KSLPgetptrattrib(KSLPprob slp, int id, void **value) {
  return guarded(slp, __func__, [&](const char *fn) {
    void *v = nlp::get_ptr_attrib(*slp, id, fn);
    if (!value) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null value pointer", fn);
    *value = v;
  });
}

int KSLPunconstruct(KSLPprob slp) {
  return modifying(slp, __func__, [&] { nlp::unconstruct(*slp); });
}

int KSLPpostsolve(KSLPprob slp) {
  return modifying(slp, __func__, [&] { nlp::postsolve(*slp); });
}

int KSLPsetfunctionerror(KSLPprob slp) {
  return guarded(slp, __func__, [&] { nlp::set_user_function_error(); });
}

int KSLPadduserfunction(KSLPprob slp, const char *name, int type, int nin, int nout, int flags, KSLPuserfunction f,
                        void *data, int *id) {
  return modifying(slp, __func__, [&](const char *fn) {
    int k = nlp::add_user_function(*slp, name, type, nin, nout, flags, f, data, fn);
    if (id) *id = k;
  });
}

}  // extern "C"

// ---- Formula entries.

extern "C" {

int KSLPaddcoefs(KSLPprob slp, int ncoef, const int *rowindex, const int *colindex, const double *factor,
                 const int *fstart, int parsed, const int *type, const double *value) {
  return modifying(slp, __func__, [&](const char *fn) {
    nlp::add_coefs(*slp, ncoef, rowindex, colindex, factor, fstart, parsed, type, value, false, fn);
  });
}

int KSLPloadcoefs(KSLPprob slp, int ncoef, const int *rowindex, const int *colindex, const double *factor,
                  const int *fstart, int parsed, const int *type, const double *value) {
  return modifying(slp, __func__, [&](const char *fn) {
    nlp::add_coefs(*slp, ncoef, rowindex, colindex, factor, fstart, parsed, type, value, true, fn);
  });
}

int KSLPdelcoefs(KSLPprob slp, int ncoef, const int *rowindex, const int *colindex) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::del_coefs(*slp, ncoef, rowindex, colindex, fn); });
}

int KSLPgetcoefs(KSLPprob slp, int *ncoef, int *rowindex, int *colindex) {
  return guarded(slp, __func__, [&] { nlp::get_coefs(slp, ncoef, rowindex, colindex); });
}

int KSLPgetcoefformula(KSLPprob slp, int rowindex, int colindex, double *factor, int parsed, int maxtokens, int *ntokens,
                       int *type, double *value) {
  return guarded(slp, __func__, [&](const char *fn) {
    nlp::get_coef_formula(*slp, rowindex, colindex, factor, parsed, maxtokens, ntokens, type, value, fn);
  });
}

int KLVOslpgetcoefs(KLVOprob prob, int *ncoef, int *rowindex, int *colindex) {
  return guarded(prob, __func__, [&] { nlp::get_coefs(prob->slp, ncoef, rowindex, colindex); });
}

int KLVOslpgetcoefformula(KLVOprob prob, int rowindex, int colindex, double *factor, int parsed, int maxtokens,
                          int *ntokens, int *type, double *value) {
  return guarded(prob, __func__, [&](const char *fn) {
    nlp::get_coef_formula(nlp::require_layer(*prob, fn), rowindex, colindex, factor, parsed, maxtokens, ntokens, type,
                          value, fn);
  });
}

int KLVOnlpaddformulas(KLVOprob prob, int nrows, const int *rowindex, const int *formulastart, int parsed,
                       const int *type, const double *value) {
  return modifying(prob, __func__, [&](const char *fn) {
    nlp::add_formulas(nlp::require_layer(*prob, fn), nrows, rowindex, formulastart, parsed, type, value, false, fn);
  });
}

int KLVOnlploadformulas(KLVOprob prob, int nrows, const int *rowindex, const int *formulastart, int parsed,
                        const int *type, const double *value) {
  return modifying(prob, __func__, [&](const char *fn) {
    nlp::add_formulas(nlp::require_layer(*prob, fn), nrows, rowindex, formulastart, parsed, type, value, true, fn);
  });
}

int KLVOnlpdelformulas(KLVOprob prob, int nrows, const int *rowindex) {
  return modifying(prob, __func__,
                 [&](const char *fn) { nlp::del_formulas(nlp::require_layer(*prob, fn), nrows, rowindex, fn); });
}

int KLVOnlpaddformulas_witharraysizes(KLVOprob prob, int nrows, const int *rowindex, int rowindex_size,
                                      const int *formulastart, int formulastart_size, int parsed, const int *type,
                                      int type_size, const double *value, int value_size) {
  return modifying(prob, __func__, [&](const char *fn) {
    nlp::check_formula_sizes(nrows, rowindex_size, formulastart, formulastart_size, type_size, value_size, fn);
    nlp::add_formulas(nlp::require_layer(*prob, fn), nrows, rowindex, formulastart, parsed, type, value, false, fn);
  });
}

int KLVOnlploadformulas_witharraysizes(KLVOprob prob, int nrows, const int *rowindex, int rowindex_size,
                                       const int *formulastart, int formulastart_size, int parsed, const int *type,
                                       int type_size, const double *value, int value_size) {
  return modifying(prob, __func__, [&](const char *fn) {
    nlp::check_formula_sizes(nrows, rowindex_size, formulastart, formulastart_size, type_size, value_size, fn);
    nlp::add_formulas(nlp::require_layer(*prob, fn), nrows, rowindex, formulastart, parsed, type, value, true, fn);
  });
}

int KLVOnlpdelformulas_witharraysizes(KLVOprob prob, int nrows, const int *rowindex, int rowindex_size) {
  return modifying(prob, __func__, [&](const char *fn) {
    nlp::check_size(rowindex_size, nrows, "rowind", fn);
    nlp::del_formulas(nlp::require_layer(*prob, fn), nrows, rowindex, fn);
  });
}

int KLVOnlpgetformula(KLVOprob prob, int rowindex, int parsed, int maxtokens, int *ntokens, int *type, double *value) {
  return guarded(prob, __func__, [&](const char *fn) {
    nlp::get_formula(*prob, rowindex, parsed, maxtokens, ntokens, type, value, fn);
  });
}

int KLVOnlpgetformularows_witharraysizes(KLVOprob prob, int *nrows, int *rowindex, int maxrows) {
  return guarded(prob, __func__, [&](const char *fn) {
    // The array must be sized for exactly the rows there are.
    int n = 0;
    nlp::get_formula_rows(*prob, &n, nullptr, 0, fn);
    if (rowindex) klvo::check_array_size(maxrows, n, "rowindex", fn);
    nlp::get_formula_rows(*prob, nrows, rowindex, maxrows, fn);
  });
}

int KLVOnlpgetformularows(KLVOprob prob, int *nrows, int *rowindex) {
  return guarded(prob, __func__, [&](const char *fn) { nlp::get_formula_rows(*prob, nrows, rowindex, INT_MAX, fn); });
}

int KLVOnlpsetinitval(KLVOprob prob, int ncols, const int *colindex, const double *initial) {
  return modifying(prob, __func__, [&](const char *fn) {
    nlp::set_initial_values(nlp::require_layer(*prob, fn), ncols, colindex, initial, fn);
  });
}

int KSLPevaluateformula(KSLPprob slp, int parsed, const int *type, const double *value, double *result) {
  return guarded(slp, __func__, [&](const char *fn) {
    double v = nlp::evaluate_formula(*slp, parsed, type, value, fn);
    if (!result) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null argument", fn);
    *result = v;
  });
}

int KSLPformuladerivatives(KSLPprob slp, int parsed, const int *type, const double *value, const double *x, double *f,
                           double *gradient, double *hessian) {
  return guarded(slp, __func__, [&](const char *fn) {
    nlp::formula_derivatives(*slp, parsed, type, value, x, f, gradient, hessian, fn);
  });
}

int KSLPgetslpsol(KSLPprob slp, double *x, double *slack, double *duals, double *djs) {
  return guarded(slp, __func__, [&](const char *fn) { nlp::get_slp_sol(*slp, x, slack, duals, djs, fn); });
}

// ---- Column settings and row statuses.

int KSLPchgvar(KSLPprob slp, int col, const int *detrow, const double *initstepbound, const double *stepbound,
               const double *penalty, const double *damp, const double *initvalue, const double *value,
               const int *tolset, const int *history, const int *converged, const int *vartype) {
  return modifying(slp, __func__, [&](const char *fn) {
    nlp::chg_var(*slp, col, detrow, initstepbound, stepbound, penalty, damp, initvalue, value, tolset, history,
                 converged, vartype, fn);
  });
}

int KSLPgetvar(KSLPprob slp, int col, int *detrow, double *initstepbound, double *stepbound, double *penalty,
               double *damp, double *initvalue, double *value, int *tolset, int *history, int *converged, int *vartype,
               int *delta, int *penaltydelta, int *updaterow, double *oldvalue) {
  return guarded(slp, __func__, [&](const char *fn) {
    nlp::get_var(*slp, col, detrow, initstepbound, stepbound, penalty, damp, initvalue, value, tolset, history,
                 converged, vartype, delta, penaltydelta, updaterow, oldvalue, fn);
  });
}

int KSLPdelvars(KSLPprob slp, int ncols, const int *colind) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::del_vars(*slp, ncols, colind, fn); });
}

int KSLPchgrowstatus(KSLPprob slp, int row, const int *status) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::chg_row_status(*slp, row, status, fn); });
}

int KSLPgetrowstatus(KSLPprob slp, int row, int *status) {
  return guarded(slp, __func__, [&](const char *fn) {
    int v = nlp::get_row_status(*slp, row, fn);
    if (!status) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null status", fn);
    *status = v;
  });
}

int KLVOslpsetdetrow_witharraysizes(KLVOprob prob, int n, const int *colindex, int colindex_size, const int *rowindex,
                                    int rowindex_size) {
  return modifying(prob, __func__, [&](const char *fn) {
    nlp::set_det_rows(nlp::require_layer(*prob, fn), n, colindex, colindex_size, rowindex, rowindex_size, fn);
  });
}

int KLVOslpsetinitstepbounds_witharraysizes(KLVOprob prob, int n, const int *colindex, int colindex_size,
                                            const double *initial, int initial_size) {
  return modifying(prob, __func__, [&](const char *fn) {
    nlp::set_init_step_bounds(nlp::require_layer(*prob, fn), n, colindex, colindex_size, initial, initial_size, fn);
  });
}

}  // extern "C"
