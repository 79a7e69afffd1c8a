// C entry points that load a whole model: build a fresh store, then swap it in, so a failed
// load leaves the previous model untouched.
#include <algorithm>
#include <utility>
#include <vector>

#include "env/problem.h"
#include "model/edit.h"

using klvo::api_call;
using klvo::fail;
using klvo::ModelStore;
using klvo::SparseBlock;

namespace {

struct LinearPart {
  const char *probname;
  int ncols, nrows;
  const char *rowtype;
  const double *rhs, *range, *obj;
  const int64_t *start;
  const int *collen, *rowind;
  const double *rowcoef, *lb, *ub;
};

struct QuadObjPart {
  int64_t n = 0;
  const int *col1 = nullptr, *col2 = nullptr;
  const double *value = nullptr;
};

struct QuadRowsPart {
  int nqrows = 0;
  const int *rowind = nullptr;
  const int64_t *counts = nullptr;
  const int *col1 = nullptr, *col2 = nullptr;
  const double *value = nullptr;
};

struct EntityPart {
  int nentities = 0, nsets = 0;
  const char *coltype = nullptr;
  const int *entind = nullptr;
  const double *limit = nullptr;
  const char *settype = nullptr;
  const int64_t *setstart = nullptr;
  const int *setind = nullptr;
  const double *refval = nullptr;
};

void build_linear(ModelStore &m, const char *fn, const LinearPart &p) {
  if (p.ncols < 0 || p.nrows < 0)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of columns (%d) or rows (%d)", fn, p.ncols, p.nrows);
  m.name = p.probname ? p.probname : "";
  SparseBlock norows;
  norows.count = p.nrows;
  add_rows(m, fn, p.rowtype, p.rhs, p.range, norows);
  SparseBlock cols;
  cols.count = p.ncols;
  if (p.start && p.ncols > 0) {
    cols.start = p.start;
    cols.length = p.collen;
    cols.nentries = p.collen ? 0 : p.start[p.ncols];
    if (p.collen)  // with lengths the entries may have gaps: the count is the furthest end
      for (int j = 0; j < p.ncols; ++j)
        if (p.collen[j] > 0 && p.start[j] + p.collen[j] > cols.nentries) cols.nentries = p.start[j] + p.collen[j];
    cols.index = p.rowind;
    cols.value = p.rowcoef;
  }
  add_cols(m, fn, p.obj, cols, p.lb, p.ub);
}

void build_quadobj(ModelStore &m, const char *fn, const QuadObjPart &q) {
  add_qobj(m, fn, q.n, q.col1, q.col2, q.value);
}

void build_quadrows(ModelStore &m, const char *fn, const QuadRowsPart &q) {
  if (q.nqrows < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of quadratic rows", fn);
  if (q.nqrows == 0) return;
  if (!q.rowind || !q.counts)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: quadratic rows need their row indices and coefficient counts", fn);
  int64_t offset = 0;
  std::vector<char> seen(m.nrows(), 0);
  for (int k = 0; k < q.nqrows; ++k) {
    int row = q.rowind[k];
    klvo::check_row(m, row, fn);
    if (seen[row]) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: quadratic row %d is listed twice", fn, row);
    seen[row] = 1;
    if (q.counts[k] < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative coefficient count for quadratic row %d", fn, row);
    add_qrow(m, fn, row, q.counts[k], q.col1 ? q.col1 + offset : nullptr, q.col2 ? q.col2 + offset : nullptr,
             q.value ? q.value + offset : nullptr);
    offset += q.counts[k];
  }
}

void build_entities(ModelStore &m, const char *fn, const EntityPart &e) {
  if (e.nentities < 0 || e.nsets < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative number of entities or sets", fn);
  if (e.nentities > 0) {
    if (!e.coltype || !e.entind) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: entities need their types and columns", fn);
    for (int k = 0; k < e.nentities; ++k) {
      int j = e.entind[k];
      klvo::check_col(m, j, fn);
      klvo::check_col_type(e.coltype[k], fn);
      if (e.coltype[k] == 'B') {
        // Binary columns keep the part of their bounds that lies in [0, 1].
        double lo = std::max(m.lb[j], 0.0), hi = std::min(m.ub[j], 1.0);
        if (lo > hi) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: binary column %d has bounds outside [0, 1]", fn, j);
        m.coltype[j] = 'B';
        m.lb[j] = lo;
        m.ub[j] = hi;
        continue;
      }
      char t = e.coltype[k];
      klvo::chg_coltype(m, fn, 1, &j, &t);
      if (e.limit && (t == 'S' || t == 'R' || t == 'P')) klvo::chg_limit(m, fn, 1, &j, &e.limit[k]);
    }
  }
  if (e.nsets > 0) {
    if (!e.setstart) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: sets need a start array of nsets + 1 entries", fn);
    SparseBlock b;
    b.count = e.nsets;
    b.nentries = e.setstart[e.nsets];
    b.start = e.setstart;
    b.index = e.setind;
    b.value = e.refval;
    add_sets(m, fn, e.settype, b);
  }
}

// Builds the new model aside and swaps it in; the sense goes back to minimisation.
void load_into(klvo::Problem &prob, const char *fn, const LinearPart &lp, const QuadObjPart *qo,
               const QuadRowsPart *qr, const EntityPart *ent) {
  ModelStore m;
  build_linear(m, fn, lp);
  if (qo) build_quadobj(m, fn, *qo);
  if (qr) build_quadrows(m, fn, *qr);
  if (ent) build_entities(m, fn, *ent);
  // Formulas come from the nonlinear layer, which stays with the problem; they stay too.
  m.formulas = std::move(prob.model.formulas);
  m.revision = prob.model.revision + 1;
  std::swap(prob.model, m);
}

int load(KLVOprob prob, const char *fn, const LinearPart &lp, const QuadObjPart *qo, const QuadRowsPart *qr,
         const EntityPart *ent) {
  return api_call(prob, fn, [&] { load_into(*prob, fn, lp, qo, qr, ent); });
}

}  // namespace

extern "C" {

int KLVOloadlp(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
               const double range[], const double obj[], const int start[], const int collen[], const int rowind[],
               const double rowcoef[], const double lb[], const double ub[]) {
  return api_call(prob, "KLVOloadlp", [&] {
    // Widen the starts: ncols + 1 of them without lengths, ncols with.
    std::vector<int64_t> wide;
    if (start && ncols > 0) wide.assign(start, start + ncols + (collen ? 0 : 1));
    LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, wide.empty() ? nullptr : wide.data(),
                  collen, rowind, rowcoef, lb, ub};
    load_into(*prob, "KLVOloadlp", lp, nullptr, nullptr, nullptr);
  });
}

int KLVOloadlp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
                 const double range[], const double obj[], const int64_t start[], const int collen[],
                 const int rowind[], const double rowcoef[], const double lb[], const double ub[]) {
  LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, start, collen, rowind, rowcoef, lb, ub};
  return load(prob, "KLVOloadlp64", lp, nullptr, nullptr, nullptr);
}

int KLVOloadqp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
                 const double range[], const double obj[], const int64_t start[], const int collen[],
                 const int rowind[], const double rowcoef[], const double lb[], const double ub[],
                 int64_t nobjqcoefs, const int objqcol1[], const int objqcol2[], const double objqcoef[]) {
  LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, start, collen, rowind, rowcoef, lb, ub};
  QuadObjPart qo{nobjqcoefs, objqcol1, objqcol2, objqcoef};
  return load(prob, "KLVOloadqp64", lp, &qo, nullptr, nullptr);
}

int KLVOloadmip64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[], const double rhs[],
                  const double range[], const double obj[], const int64_t start[], const int collen[],
                  const int rowind[], const double rowcoef[], const double lb[], const double ub[], int nentities,
                  int nsets, const char coltype[], const int entind[], const double limit[], const char settype[],
                  const int64_t setstart[], const int setind[], const double refval[]) {
  LinearPart lp{probname, ncols, nrows, rowtype, rhs, range, obj, start, collen, rowind, rowcoef, lb, ub};
  EntityPart e{nentities, nsets, coltype, entind, limit, settype, setstart, setind, refval};
  return load(prob, "KLVOloadmip64", lp, nullptr, nullptr, &e);
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
  return load(prob, "KLVOloadmiqp64", lp, &qo, nullptr, &e);
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
  return load(prob, "KLVOloadqcqp64", lp, &qo, &qr, nullptr);
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
  return load(prob, "KLVOloadmiqcqp64", lp, &qo, &qr, &e);
}

}  // extern "C"
