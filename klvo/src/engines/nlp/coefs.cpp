// Formula entries of the nonlinear layer: adding, loading, deleting and reading them back. The
// entries live in the model store; here they are checked against the layer's user functions.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engines/nlp/formula_access.h"
#include "engines/nlp/layer.h"
#include "env/problem.h"

using klvo::fail;
using klvo::FormulaEntry;
using klvo::FormulaStore;
using klvo::kConst;
using klvo::kEnd;
using klvo::kOperator;
using namespace klvo::nlp;

namespace {

void require_parsed(int parsed, const char *function) { check_parsed(parsed, function); }

// Builds and checks the entries of one call; nothing is stored here.
std::vector<FormulaEntry> build_entries(kslp_problem_s *slp, int n, const int *rowindex, const int *colindex,
                                 const double *factor, const int *fstart, int parsed, const int *type,
                                 const double *value, const char *function) {
  require_parsed(parsed, function);
  if (n < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative entry count %d", function, n);
  if (n == 0) return {};
  if (!rowindex || !fstart) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null row or formula-start array", function);
  int nrows = slp->nrows(), ncols = slp->ncols();
  if (fstart[0] < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative formula start %d", function, fstart[0]);
  std::vector<FormulaEntry> out;
  out.reserve(n);
  for (int k = 0; k < n; ++k) {
    int row = rowindex[k];
    int col = colindex ? colindex[k] : KSLP_NOCOLUMN;
    double f = factor ? factor[k] : 1.0;
    if (row < -1 || row >= nrows)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: entry %d: row %d is out of range (the problem has %d rows; -1 is the objective)",
           function, k, row, nrows);
    if (col != KSLP_NOCOLUMN && (col < 0 || col >= ncols))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: entry %d: column %d is out of range (the problem has %d columns; -1000 is none)",
           function, k, col, ncols);
    if (!std::isfinite(f)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: entry %d: the factor is not finite", function, k);
    if (fstart[k + 1] < fstart[k])
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: entry %d: formula starts must not decrease (%d after %d)", function, k,
           fstart[k + 1], fstart[k]);
    int len = fstart[k + 1] - fstart[k];
    if (len == 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: entry %d: the formula is empty", function, k);
    try {
      std::vector<Token> tokens =
          to_postfix(*slp, parsed, type ? type + fstart[k] : nullptr, value ? value + fstart[k] : nullptr, len);
      out.push_back(FormulaEntry{row, col, f, std::move(tokens)});
    } catch (const klvo::Error &e) {
      fail(e.code(), "%s: entry %d (row %d, column %d): %s", function, k, row, col, e.what());
    }
  }
  return out;
}

// The formula read back at (row, col): one entry as it is, several as one sum with factor 1.
bool combined(const FormulaStore &formulas, int row, int col, double &factor, std::vector<Token> &tokens) {
  std::vector<const FormulaEntry *> found;
  for (int i : formulas.at(row, col)) found.push_back(&formulas.entries()[i]);
  tokens.clear();
  if (found.empty()) return false;
  if (found.size() == 1) {
    factor = found[0]->factor;
    tokens = found[0]->tokens;
  } else {
    factor = 1.0;
    for (size_t i = 0; i < found.size(); ++i) {
      tokens.insert(tokens.end(), found[i]->tokens.begin(), found[i]->tokens.end());
      if (found[i]->factor != 1.0) {
        tokens.push_back(Token{kConst, found[i]->factor});
        tokens.push_back(Token{kOperator, 3});
      }
      if (i > 0) tokens.push_back(Token{kOperator, 5});
    }
  }
  tokens.push_back(Token{kEnd, 0});
  return true;
}

void write_tokens(const std::vector<Token> &tokens, int maxtokens, int *ntokens, int *type, double *value,
                  const char *function) {
  int n = static_cast<int>(tokens.size());
  if (ntokens) *ntokens = n;
  if (!type && !value) return;
  if (maxtokens < n)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the buffers hold %d tokens but the formula has %d", function, maxtokens, n);
  for (int i = 0; i < n; ++i) {
    if (type) type[i] = tokens[i].type;
    if (value) value[i] = tokens[i].value;
  }
}

}  // namespace

namespace klvo {
namespace nlp {

kslp_problem_s &require_layer(const Problem &prob, const char *fn) {
  if (!prob.slp)
    fail(KLVO_ERR_NOT_INITIALIZED, "%s: the problem has no nonlinear layer; create one with KSLPcreateprob", fn);
  return *prob.slp;
}

void add_coefs(kslp_problem_s &slp, int ncoef, const int *rowindex, const int *colindex, const double *factor,
               const int *fstart, int parsed, const int *type, const double *value, bool replace, const char *fn) {
  std::vector<FormulaEntry> add = build_entries(&slp, ncoef, rowindex, colindex, factor, fstart, parsed, type, value, fn);
  if (replace) slp.formulas(fn).assign(std::move(add));
  else slp.formulas(fn).append(std::move(add));
}

void del_coefs(kslp_problem_s &slp, int ncoef, const int *rowindex, const int *colindex, const char *fn) {
  if (ncoef < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative count %d", fn, ncoef);
  if (ncoef > 0 && (!rowindex || !colindex)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null index array", fn);
  if (ncoef == 0) return;
  const FormulaStore &formulas = slp.formulas();
  const std::vector<FormulaEntry> &entries = formulas.entries();
  std::vector<char> drop(entries.size(), 0);
  for (int k = 0; k < ncoef; ++k) {
    const std::vector<int> &at = formulas.at(rowindex[k], colindex[k]);
    if (at.empty()) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no entry at row %d, column %d", fn, rowindex[k], colindex[k]);
    for (int i : at) drop[i] = 1;
  }
  std::vector<FormulaEntry> kept;
  kept.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i)
    if (!drop[i]) kept.push_back(entries[i]);
  slp.formulas(fn).assign(std::move(kept));
}

void get_coefs(const kslp_problem_s *slp, int *ncoef, int *rowindex, int *colindex) {
  if (!slp) {
    if (ncoef) *ncoef = 0;
    return;
  }
  const std::vector<std::pair<int, int>> &pairs = slp->formulas().pairs();
  if (ncoef) *ncoef = static_cast<int>(pairs.size());
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (rowindex) rowindex[i] = pairs[i].first;
    if (colindex) colindex[i] = pairs[i].second;
  }
}

void get_coef_formula(const kslp_problem_s &slp, int rowindex, int colindex, double *factor, int parsed,
                      int maxtokens, int *ntokens, int *type, double *value, const char *fn) {
  require_parsed(parsed, fn);
  double f = 0.0;
  std::vector<Token> tokens;
  if (!combined(slp.formulas(), rowindex, colindex, f, tokens))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no entry at row %d, column %d", fn, rowindex, colindex);
  write_tokens(output_tokens(std::move(tokens), parsed, fn), maxtokens, ntokens, type, value, fn);
  if (factor) *factor = f;
}

void add_formulas(kslp_problem_s &slp, int nrows, const int *rowindex, const int *formulastart, int parsed,
                  const int *type, const double *value, bool replace, const char *fn) {
  std::vector<int> cols(nrows > 0 ? nrows : 0, KSLP_NOCOLUMN);
  add_coefs(slp, nrows, rowindex, cols.data(), nullptr, formulastart, parsed, type, value, replace, fn);
}

void del_formulas(kslp_problem_s &slp, int nrows, const int *rowindex, const char *fn) {
  if (nrows < 0 || (nrows > 0 && !rowindex)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bad row list", fn);
  for (int k = 0; k < nrows; ++k)
    if (rowindex[k] < -1 || rowindex[k] >= slp.nrows())
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d is out of range", fn, rowindex[k]);
  std::vector<int> rows(rowindex, rowindex + nrows);
  std::sort(rows.begin(), rows.end());
  FormulaStore &formulas = slp.formulas(fn);
  std::vector<FormulaEntry> kept;
  for (const FormulaEntry &e : formulas.entries())
    if (e.col != KSLP_NOCOLUMN || !std::binary_search(rows.begin(), rows.end(), e.row)) kept.push_back(e);
  formulas.assign(std::move(kept));
}

void get_formula(const Problem &prob, int rowindex, int parsed, int maxtokens, int *ntokens, int *type, double *value,
                 const char *fn) {
  require_parsed(parsed, fn);
  if (rowindex < -1 || rowindex >= prob.model.nrows())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d is out of range", fn, rowindex);
  std::vector<Token> tokens;
  double f = 1.0;
  if (prob.slp && combined(prob.model.formulas, rowindex, KSLP_NOCOLUMN, f, tokens) && f != 1.0) {
    tokens.pop_back();
    tokens.push_back(Token{kConst, f});
    tokens.push_back(Token{kOperator, 3});
    tokens.push_back(Token{kEnd, 0});
  }
  write_tokens(output_tokens(std::move(tokens), parsed, fn), maxtokens, ntokens, type, value, fn);
}

void get_formula_rows(const Problem &prob, int *nrows, int *rowindex, int maxrows, const char *fn) {
  std::vector<int> rows;
  if (prob.slp)
    for (const FormulaEntry &e : prob.model.formulas.entries())
      if (e.col == KSLP_NOCOLUMN) rows.push_back(e.row);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  if (nrows) *nrows = static_cast<int>(rows.size());
  if (rowindex) {
    if (maxrows < static_cast<int>(rows.size()))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the array holds %d rows but %d have formulas", fn, maxrows,
           static_cast<int>(rows.size()));
    std::copy(rows.begin(), rows.end(), rowindex);
  }
}

void set_initial_values(kslp_problem_s &slp, int ncols, const int *colindex, const double *initial, const char *fn) {
  if (ncols < 0 || (ncols > 0 && (!colindex || !initial)))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: bad column or value array", fn);
  for (int k = 0; k < ncols; ++k) {
    if (colindex[k] < 0 || colindex[k] >= slp.ncols())
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d is out of range", fn, colindex[k]);
    if (!std::isfinite(initial[k]))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the initial value of column %d is not finite", fn, colindex[k]);
  }
  for (int k = 0; k < ncols; ++k) slp.initval[colindex[k]] = initial[k];
}

double evaluate_formula(const kslp_problem_s &slp, int parsed, const int *type, const double *value, const char *fn) {
  require_parsed(parsed, fn);
  if (!type || !value) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null argument", fn);
  int n = 0;
  while (type[n] != kEnd) ++n;  // the end token is required here: it gives the length
  int ncols = slp.ncols();
  std::vector<Token> tokens = to_postfix(slp, parsed, type, value, n);
  Evaluator ev;
  ev.add(tokens.data(), static_cast<int>(tokens.size()), ncols, slp.users.get(), -1, 1.0, 0);
  ev.finish();
  std::vector<double> x(ncols, 0.0);
  if (slp.results.has_solution && static_cast<int>(slp.results.x.size()) == ncols) x = slp.results.x;
  else
    for (const auto &kv : slp.initval) x[kv.first] = kv.second;
  double result;
  if (!ev.values(x.data(), 0, &result))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the formula cannot be evaluated at the current point", fn);
  return result;
}

void formula_derivatives(const kslp_problem_s &slp, int parsed, const int *type, const double *value, const double *x,
                         double *f, double *gradient, double *hessian, const char *fn) {
  require_parsed(parsed, fn);
  if (!type || !value || !x) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null argument", fn);
  int n = 0;
  while (type[n] != kEnd) ++n;
  int ncols = slp.ncols();
  std::vector<Token> tokens = to_postfix(slp, parsed, type, value, n);
  Evaluator ev;
  ev.add(tokens.data(), static_cast<int>(tokens.size()), ncols, slp.users.get(), -1, 1.0, 0);
  ev.finish();
  int k = ev.nlocal(0), np = ev.npattern(0);
  for (int l = 0; l < k; ++l) ev.set_gradient_target(0, l, l);
  for (int e = 0; e < np; ++e) ev.set_hessian_target(0, e, e);
  std::vector<double> g(k, 0.0), h(np, 0.0);
  double fv;
  bool ok = ev.values(x, 0, &fv) && ev.gradients(x, 0, nullptr, g.data()) && (!hessian || ev.hessians(x, 1, nullptr, h.data()));
  if (!ok) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the formula cannot be evaluated at this point", fn);
  if (f) *f = fv;
  if (gradient) {
    std::fill(gradient, gradient + ncols, 0.0);
    for (int l = 0; l < k; ++l) gradient[ev.local_col(0, l)] = g[l];
  }
  if (hessian) {
    std::fill(hessian, hessian + static_cast<size_t>(ncols) * ncols, 0.0);
    for (int e = 0; e < np; ++e) {
      std::pair<int, int> ij = ev.pattern(0, e);
      size_t i = ev.local_col(0, ij.first), j = ev.local_col(0, ij.second);
      hessian[i * ncols + j] = hessian[j * ncols + i] = h[e];
    }
  }
}

void get_slp_sol(const kslp_problem_s &slp, double *x, double *slack, double *duals, double *djs, const char *fn) {
  const Results &r = slp.results;
  if (!r.has_solution) fail(KLVO_ERR_NO_SOLUTION, "%s: no nonlinear solution is available", fn);
  if (x) std::copy(r.x.begin(), r.x.end(), x);
  if (slack) std::copy(r.slack.begin(), r.slack.end(), slack);
  if (duals) std::copy(r.duals.begin(), r.duals.end(), duals);
  if (djs) std::copy(r.djs.begin(), r.djs.end(), djs);
}

}  // namespace nlp
}  // namespace klvo

void kslp_problem_s::load_formulas(int n, const int *row, const int *col, const double *factor, const int *start,
                                   const int *type, const double *value) {
  // The layer's last error tells of a failure too, as after a failed KSLPloadcoefs.
  int rc = klvo::guarded(error, [&] { add_coefs(*this, n, row, col, factor, start, 1, type, value, true, "KSLPloadcoefs"); });
  if (rc != 0) throw klvo::Error(rc, error.text());
}
