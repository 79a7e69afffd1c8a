// Loading a whole model: a fresh store is built aside, then swapped in, so a failed load
// leaves the previous model untouched.
#include "model/load.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "env/error.h"
#include "model/edit.h"

namespace klvo {

namespace {

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
    check_row(m, row, fn);
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
      check_col(m, j, fn);
      check_col_type(e.coltype[k], fn);
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
      chg_coltype(m, fn, 1, &j, &t);
      if (e.limit && (t == 'S' || t == 'R' || t == 'P')) chg_limit(m, fn, 1, &j, &e.limit[k]);
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

}  // namespace

std::vector<int64_t> widen_starts(const int *start, int ncols, bool with_lengths) {
  // ncols + 1 starts without lengths, ncols with.
  std::vector<int64_t> wide;
  if (start && ncols > 0) wide.assign(start, start + ncols + (with_lengths ? 0 : 1));
  return wide;
}

void load_model(ModelStore &dest, const char *fn, const LinearPart &lp, const QuadObjPart *qo, const QuadRowsPart *qr,
                const EntityPart *ent) {
  ModelStore m;
  build_linear(m, fn, lp);
  if (qo) build_quadobj(m, fn, *qo);
  if (qr) build_quadrows(m, fn, *qr);
  if (ent) build_entities(m, fn, *ent);
  // Formulas come from the nonlinear layer, which stays with the problem; they stay too.
  m.formulas = std::move(dest.formulas);
  m.revision = dest.revision + 1;
  std::swap(dest, m);
}

}  // namespace klvo
