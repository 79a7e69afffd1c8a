// C entry points that load a whole model: shims over model/load.h.
#include "api/guard.h"
#include "model/load.h"

using klvo::EntityPart;
using klvo::LinearPart;
using klvo::QuadObjPart;
using klvo::QuadRowsPart;
using klvo::api::modifying;

extern "C" {

int KLVOloadlp(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
               const double range[], const double obj[], const int start[], const int collen[], const int rowind[],
               const double rowcoef[], const double lb[], const double ub[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    std::vector<int64_t> wide = klvo::widen_starts(start, ncols, collen != nullptr);
    LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, wide.empty() ? nullptr : wide.data(),
                  collen, rowind, rowcoef, lb, ub};
    klvo::load_model(prob->model, fn, lp, nullptr, nullptr, nullptr);
  });
}

int KLVOloadlp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
                 const double range[], const double obj[], const int64_t start[], const int collen[],
                 const int rowind[], const double rowcoef[], const double lb[], const double ub[]) {
  LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, start, collen, rowind, rowcoef, lb, ub};
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::load_model(prob->model, fn, lp, nullptr, nullptr, nullptr);
  });
}

int KLVOloadqp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
                 const double range[], const double obj[], const int64_t start[], const int collen[],
                 const int rowind[], const double rowcoef[], const double lb[], const double ub[],
                 int64_t nobjqcoefs, const int objqcol1[], const int objqcol2[], const double objqcoef[]) {
  LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, start, collen, rowind, rowcoef, lb, ub};
  QuadObjPart qo{nobjqcoefs, objqcol1, objqcol2, objqcoef};
  return modifying(prob, __func__, [&](const char *fn) { klvo::load_model(prob->model, fn, lp, &qo, nullptr, nullptr); });
}

int KLVOloadmip64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
                  const double range[], const double obj[], const int64_t start[], const int collen[],
                  const int rowind[], const double rowcoef[], const double lb[], const double ub[], int nentities,
                  int nsets, const char coltype[], const int entind[], const double limit[], const char settype[],
                  const int64_t setstart[], const int setind[], const double refval[]) {
  LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, start, collen, rowind, rowcoef, lb, ub};
  EntityPart e{nentities, nsets, coltype, entind, limit, settype, setstart, setind, refval};
  return modifying(prob, __func__, [&](const char *fn) { klvo::load_model(prob->model, fn, lp, nullptr, nullptr, &e); });
}

int KLVOloadmiqp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
                   const double range[], const double obj[], const int64_t start[], const int collen[],
                   const int rowind[], const double rowcoef[], const double lb[], const double ub[],
                   int64_t nobjqcoefs, const int objqcol1[], const int objqcol2[], const double objqcoef[],
                   int nentities, int nsets, const char coltype[], const int entind[], const double limit[],
                   const char settype[], const int64_t setstart[], const int setind[], const double refval[]) {
  LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, start, collen, rowind, rowcoef, lb, ub};
  QuadObjPart qo{nobjqcoefs, objqcol1, objqcol2, objqcoef};
  EntityPart e{nentities, nsets, coltype, entind, limit, settype, setstart, setind, refval};
  return modifying(prob, __func__, [&](const char *fn) { klvo::load_model(prob->model, fn, lp, &qo, nullptr, &e); });
}

int KLVOloadqcqp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
                   const double range[], const double obj[], const int64_t start[], const int collen[],
                   const int rowind[], const double rowcoef[], const double lb[], const double ub[],
                   int64_t nobjqcoefs, const int objqcol1[], const int objqcol2[], const double objqcoef[],
                   int nqrows, const int qrowind[], const int64_t nrowqcoefs[], const int rowqcol1[],
                   const int rowqcol2[], const double rowqcoef[]) {
  LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, start, collen, rowind, rowcoef, lb, ub};
  QuadObjPart qo{nobjqcoefs, objqcol1, objqcol2, objqcoef};
  QuadRowsPart qr{nqrows, qrowind, nrowqcoefs, rowqcol1, rowqcol2, rowqcoef};
  return modifying(prob, __func__, [&](const char *fn) { klvo::load_model(prob->model, fn, lp, &qo, &qr, nullptr); });
}

int KLVOloadmiqcqp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                     const double rhs[], const double range[], const double obj[], const int64_t start[],
                     const int collen[], const int rowind[], const double rowcoef[], const double lb[],
                     const double ub[], int64_t nobjqcoefs, const int objqcol1[], const int objqcol2[],
                     const double objqcoef[], int nqrows, const int qrowind[], const int64_t nrowqcoefs[],
                     const int rowqcol1[], const int rowqcol2[], const double rowqcoef[], int nentities, int nsets,
                     const char coltype[], const int entind[], const double limit[], const char settype[],
                     const int64_t setstart[], const int setind[], const double refval[]) {
  LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, start, collen, rowind, rowcoef, lb, ub};
  QuadObjPart qo{nobjqcoefs, objqcol1, objqcol2, objqcoef};
  QuadRowsPart qr{nqrows, qrowind, nrowqcoefs, rowqcol1, rowqcol2, rowqcoef};
  EntityPart e{nentities, nsets, coltype, entind, limit, settype, setstart, setind, refval};
  return modifying(prob, __func__, [&](const char *fn) { klvo::load_model(prob->model, fn, lp, &qo, &qr, &e); });
}

}  // extern "C"
