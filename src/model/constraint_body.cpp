// The body of a linked constraint, read back from the library: its linear coefficients,
// quadratic matrix, row formula and nonlinear coefficients.
#include <new>
#include <vector>

#include "expr/expr.h"
#include "model/constraint.h"
#include "module/frame.h"
#include "problem/translate.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

int fail_call(ProblemObject *p) {
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

// Reads one formula with `get` (count first, then the tokens) and decodes it into out; out
// stays null when the formula has no tokens. -1 with an exception.
template <class Get>
int read_formula(ProblemObject *p, Get get, nb::object &out) {
  int ntok = 0;
  if (get(0, &ntok, nullptr, nullptr) != 0) return fail_call(p);
  if (ntok == 0) return 0;
  std::vector<int> type(static_cast<size_t>(ntok));
  std::vector<double> value(static_cast<size_t>(ntok));
  if (get(ntok, &ntok, type.data(), value.data()) != 0) return fail_call(p);
  out = nb::steal(decode_formula(p, type.data(), value.data(), ntok, "constraint.getBody"));
  return out ? 0 : -1;
}

int column_error(const char *function, int col, int nvars) {
  PyErr_Format(g.ModelError, "%s returned a coefficient for column %d, but there are only %d variables in the problem",
               function, col, nvars);
  return -1;
}

// The linear and quadratic part of the row into out (null when the row has neither); -1 with
// an exception.
int read_linear_quadratic(ProblemObject *p, int row, nb::object &out) {
  const int nvars = static_cast<int>(PyList_GET_SIZE(p->vars));
  int64_t n = 0;
  if (call(KLVOgetrows64, "KLVOgetrows64", p, p->prob, static_cast<int64_t *>(nullptr), static_cast<int *>(nullptr),
           static_cast<double *>(nullptr), int64_t{0}, &n, row, row) != 0)
    return fail_call(p);
  std::vector<int64_t> start(2);
  std::vector<int> cols(static_cast<size_t>(n));
  std::vector<double> vals(static_cast<size_t>(n));
  if (n > 0 && call(KLVOgetrows64, "KLVOgetrows64", p, p->prob, start.data(), cols.data(), vals.data(), n, &n, row,
                    row) != 0)
    return fail_call(p);
  auto expression = [&]() -> ExpressionObject * {
    if (!out) out = nb::steal(reinterpret_cast<PyObject *>(new_expression()));
    return as_expr(out.ptr());
  };
  for (int64_t k = 0; k < n; ++k) {
    if (!expression()) return -1;
    if (cols[k] < 0 || cols[k] >= nvars) return column_error("KLVOgetrows", cols[k], nvars);
    if (expr_add_linear(as_expr(out.ptr()), PyList_GET_ITEM(p->vars, cols[k]), vals[k]) < 0) return -1;
  }
  int nq = 0;
  if (call(KLVOgetqrowqmatrixtriplets, "KLVOgetqrowqmatrixtriplets", p, p->prob, row, &nq, static_cast<int *>(nullptr),
           static_cast<int *>(nullptr), static_cast<double *>(nullptr)) != 0)
    return fail_call(p);
  if (nq == 0) return 0;
  std::vector<int> q1(static_cast<size_t>(nq)), q2(static_cast<size_t>(nq));
  std::vector<double> qv(static_cast<size_t>(nq));
  if (call(KLVOgetqrowqmatrixtriplets, "KLVOgetqrowqmatrixtriplets", p, p->prob, row, &nq, q1.data(), q2.data(),
           qv.data()) != 0)
    return fail_call(p);
  if (!expression()) return -1;
  for (int k = 0; k < nq; ++k) {
    for (int c : {q1[k], q2[k]})
      if (c < 0 || c >= nvars) return column_error("KLVOgetqrowqmatrixtriplets", c, nvars);
    // An off-diagonal triplet stands for both symmetric entries.
    double coef = q1[k] == q2[k] ? qv[k] : 2.0 * qv[k];
    if (expr_add_quadratic(as_expr(out.ptr()), PyList_GET_ITEM(p->vars, q1[k]), PyList_GET_ITEM(p->vars, q2[k]),
                           coef) < 0)
      return -1;
  }
  return 0;
}

// The nonlinear coefficient of column col in the row, factor * formula * x, into term; -1 with
// an exception.
int read_coefficient(ProblemObject *p, int row, int col, nb::object &term) {
  double factor = 1.0;
  nb::object cf;
  if (read_formula(p, [&](int max, int *ntok, int *type, double *value) {
        return call(KLVOslpgetcoefformula, "KLVOslpgetcoefformula", p, p->prob, row, col, &factor, 1, max, ntok, type,
                    value);
      }, cf) < 0)
    return -1;
  if (!cf) {
    cf = nb::steal(PyFloat_FromDouble(1.0));
    if (!cf) return -1;
  }
  term = nb::steal(alg_mul(PyList_GET_ITEM(p->vars, col), cf.ptr()));
  if (term && factor != 1.0) {
    nb::object fac = nb::steal(PyFloat_FromDouble(factor));
    term = fac ? nb::steal(alg_mul(fac.ptr(), term.ptr())) : nb::object();
  }
  return term ? 0 : -1;
}

// The nonlinear part of the row, its formula plus its nonlinear coefficients, into out (null
// when there is none); -1 with an exception.
int read_nonlinear(ProblemObject *p, int row, nb::object &out) {
  const int nvars = static_cast<int>(PyList_GET_SIZE(p->vars));
  if (read_formula(p, [&](int max, int *ntok, int *type, double *value) {
        return call(KLVOnlpgetformula, "KLVOnlpgetformula", p, p->prob, row, 1, max, ntok, type, value);
      }, out) < 0)
    return -1;
  int ncoef = 0;
  if (call(KLVOslpgetcoefs, "KLVOslpgetcoefs", p, p->prob, &ncoef, static_cast<int *>(nullptr),
           static_cast<int *>(nullptr)) != 0)
    return fail_call(p);
  std::vector<int> crow(static_cast<size_t>(ncoef)), ccol(static_cast<size_t>(ncoef));
  if (ncoef > 0 && call(KLVOslpgetcoefs, "KLVOslpgetcoefs", p, p->prob, &ncoef, crow.data(), ccol.data()) != 0)
    return fail_call(p);
  for (int k = 0; k < ncoef; ++k) {
    if (crow[k] != row || ccol[k] == formula_no_column) continue;
    if (ccol[k] < 0 || ccol[k] >= nvars) return column_error("KLVOslpgetcoefformula", ccol[k], nvars);
    nb::object term;
    if (read_coefficient(p, row, ccol[k], term) < 0) return -1;
    out = out ? nb::steal(alg_add(out.ptr(), term.ptr(), 1.0)) : std::move(term);
    if (!out) return -1;
  }
  return 0;
}

}  // namespace

static PyObject *read_body(ProblemObject *p, int row) {
  nb::object lq, nl;
  if (read_linear_quadratic(p, row, lq) < 0) return nullptr;
  if (g.nlp_flag == 1 && p->slp && read_nonlinear(p, row, nl) < 0) return nullptr;
  if (lq && nl) return alg_add(lq.ptr(), nl.ptr(), 1.0);
  if (lq) return lq.release().ptr();
  if (nl) return nl.release().ptr();
  return PyFloat_FromDouble(0.0);
}

PyObject *linked_constraint_body(ProblemObject *p, int row) {
  try {
    return read_body(p, row);
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
}

}  // namespace kelvo
