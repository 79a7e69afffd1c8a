// C entry points of the successive-linearisation engine's data: column settings in bulk,
// tolerance sets, row weights, cascading, and the layer's event functions.
#include "api/guard.h"
#include "engines/nlp/layer.h"

using klvo::api::guarded;
using klvo::api::modifying;
namespace nlp = klvo::nlp;

namespace {

template <class Fn>
int set_event(KSLPprob slp, int kind, Fn f, void *data, const char *fn) {
  return guarded(slp, fn, [&] { slp->set_event(kind, reinterpret_cast<void (*)()>(f), data); });
}

}  // namespace

extern "C" {

int KSLPaddvars(KSLPprob slp, int n, const int *colindex, const int *vartype, const int *detrow, const int *seqnum,
                const int *tolindex, const double *initvalue, const double *stepbound) {
  return modifying(slp, __func__, [&](const char *fn) {
    nlp::add_vars(*slp, n, colindex, vartype, detrow, seqnum, tolindex, initvalue, stepbound, false, fn);
  });
}

int KSLPloadvars(KSLPprob slp, int n, const int *colindex, const int *vartype, const int *detrow, const int *seqnum,
                 const int *tolindex, const double *initvalue, const double *stepbound) {
  return modifying(slp, __func__, [&](const char *fn) {
    nlp::add_vars(*slp, n, colindex, vartype, detrow, seqnum, tolindex, initvalue, stepbound, true, fn);
  });
}

int KSLPaddtolsets(KSLPprob slp, int ntolsets, const double *tols) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::add_tolsets(*slp, ntolsets, tols, false, fn); });
}

int KSLPloadtolsets(KSLPprob slp, int ntolsets, const double *tols) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::add_tolsets(*slp, ntolsets, tols, true, fn); });
}

int KSLPchgtolset(KSLPprob slp, int tolset, const int *status, const double *tols) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::chg_tolset(*slp, tolset, status, tols, fn); });
}

int KSLPgettolset(KSLPprob slp, int tolset, int *status, double *tols) {
  return guarded(slp, __func__, [&](const char *fn) {
    int st = nlp::get_tolset(*slp, tolset, tols, fn);
    if (status) *status = st;
  });
}

int KSLPdeltolsets(KSLPprob slp, int ntolsets, const int *tolsets) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::del_tolsets(*slp, ntolsets, tolsets, fn); });
}

int KSLPchgrowwt(KSLPprob slp, int row, const double *weight) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::chg_row_weight(*slp, row, weight, fn); });
}

int KSLPgetrowwt(KSLPprob slp, int row, double *weight) {
  return guarded(slp, __func__, [&](const char *fn) {
    double w = nlp::get_row_weight(*slp, row, fn);
    if (weight) *weight = w;
  });
}

int KSLPchgcascadenlimit(KSLPprob slp, int col, int limit) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::chg_cascade_limit(*slp, col, limit, fn); });
}

int KSLPcascadeorder(KSLPprob slp) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::cascade_order(*slp, fn); });
}

int KSLPcascade(KSLPprob slp) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::cascade(*slp, fn); });
}

int KSLPconstruct(KSLPprob slp) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::construct(*slp, fn); });
}

int KSLPsetcurrentiv(KSLPprob slp) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::set_current_iv(*slp, fn); });
}

int KSLPreinitialize(KSLPprob slp) {
  return modifying(slp, __func__, [&] { nlp::reinitialize(*slp); });
}

int KSLPgetrowinfo(KSLPprob slp, int infotype, int row, int *datatype, int *ivalue, double *dvalue) {
  return guarded(slp, __func__, [&](const char *fn) {
    int i = 0;
    double d = 0;
    int t = nlp::row_info(*slp, infotype, row, &i, &d, fn);
    if (datatype) *datatype = t;
    if (ivalue) *ivalue = i;
    if (dvalue) *dvalue = d;
  });
}

int KSLPgetcolinfo(KSLPprob slp, int infotype, int col, int *datatype, int *ivalue, double *dvalue) {
  return guarded(slp, __func__, [&](const char *fn) {
    int i = 0;
    double d = 0;
    int t = nlp::col_info(*slp, infotype, col, &i, &d, fn);
    if (datatype) *datatype = t;
    if (ivalue) *ivalue = i;
    if (dvalue) *dvalue = d;
  });
}

int KSLPadddfs(KSLPprob slp, int ndfs, const int *colindex, const int *rowindex, const double *value) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::add_dfs(*slp, ndfs, colindex, rowindex, value, false, fn); });
}

int KSLPloaddfs(KSLPprob slp, int ndfs, const int *colindex, const int *rowindex, const double *value) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::add_dfs(*slp, ndfs, colindex, rowindex, value, true, fn); });
}

int KSLPchgdf(KSLPprob slp, int col, int row, const double *value) {
  return modifying(slp, __func__, [&](const char *fn) {
    if (!value) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null width", fn);
    nlp::add_dfs(*slp, 1, &col, &row, value, false, fn);
  });
}

int KSLPgetdf(KSLPprob slp, int col, int row, double *value) {
  return guarded(slp, __func__, [&](const char *fn) {
    double v = nlp::get_df(*slp, col, row, fn);
    if (value) *value = v;
  });
}

int KSLPchgdeltatype(KSLPprob slp, int nvars, const int *varind, const int *deltatypes, const double *values) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::chg_delta_type(*slp, nvars, varind, deltatypes, values, fn); });
}

int KSLPupdatelinearization(KSLPprob slp) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::update_linearization(*slp, fn); });
}

int KSLPfixpenalties(KSLPprob slp, int *status) {
  return modifying(slp, __func__, [&](const char *fn) {
    int s = nlp::fix_penalties(*slp, fn);
    if (status) *status = s;
  });
}

int KSLPscaling(KSLPprob slp) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::scaling(*slp, fn); });
}

int KSLPpresolve(KSLPprob slp) {
  return modifying(slp, __func__, [&](const char *fn) { nlp::presolve(*slp, fn); });
}

int KSLPsetcbslpstart(KSLPprob slp, KSLPnotifycb f, void *data) {
  return set_event(slp, KSLP_CB_SLPSTART, f, data, __func__);
}
int KSLPsetcbslpend(KSLPprob slp, KSLPnotifycb f, void *data) {
  return set_event(slp, KSLP_CB_SLPEND, f, data, __func__);
}
int KSLPsetcbiterstart(KSLPprob slp, KSLPiterationcb f, void *data) {
  return set_event(slp, KSLP_CB_ITERSTART, f, data, __func__);
}
int KSLPsetcbitervar(KSLPprob slp, KSLPcolumncb f, void *data) {
  return set_event(slp, KSLP_CB_ITERVAR, f, data, __func__);
}
int KSLPsetcbiterend(KSLPprob slp, KSLPiterationcb f, void *data) {
  return set_event(slp, KSLP_CB_ITEREND, f, data, __func__);
}
int KSLPsetcbcascadestart(KSLPprob slp, KSLPnotifycb f, void *data) {
  return set_event(slp, KSLP_CB_CASCADESTART, f, data, __func__);
}
int KSLPsetcbcascadevar(KSLPprob slp, KSLPcolumncb f, void *data) {
  return set_event(slp, KSLP_CB_CASCADEVAR, f, data, __func__);
}
int KSLPsetcbcascadevarfail(KSLPprob slp, KSLPcolumncb f, void *data) {
  return set_event(slp, KSLP_CB_CASCADEVARFAIL, f, data, __func__);
}
int KSLPsetcbcascadeend(KSLPprob slp, KSLPnotifycb f, void *data) {
  return set_event(slp, KSLP_CB_CASCADEEND, f, data, __func__);
}
int KSLPsetcbpreupdatelinearization(KSLPprob slp, KSLPpreupdatecb f, void *data) {
  return set_event(slp, KSLP_CB_PREUPDATELINEARIZATION, f, data, __func__);
}
int KSLPsetcbdrcol(KSLPprob slp, KSLPdrcolcb f, void *data) {
  return set_event(slp, KSLP_CB_DRCOL, f, data, __func__);
}
int KSLPsetcbcoefevalerror(KSLPprob slp, KSLPcoefevalerrorcb f, void *data) {
  return set_event(slp, KSLP_CB_COEFEVALERROR, f, data, __func__);
}
int KSLPsetcbconstruct(KSLPprob slp, KSLPnotifycb f, void *data) {
  return set_event(slp, KSLP_CB_CONSTRUCT, f, data, __func__);
}
int KSLPsetcbdestroy(KSLPprob slp, KSLPnotifycb f, void *data) {
  return set_event(slp, KSLP_CB_DESTROY, f, data, __func__);
}

}  // extern "C"
