// The body of a linked constraint, read back from the library: its linear coefficients,
// quadratic matrix, row formula and nonlinear coefficients.
#include <new>
#include <vector>

#include "expr/expr.h"
#include "model/constraint.h"
#include "module/frame.h"
#include "problem/translate.h"

namespace kelvo {

namespace {

struct Owned {
  PyObject *o = nullptr;
  ~Owned() { Py_XDECREF(o); }
  PyObject *release() {
    PyObject *r = o;
    o = nullptr;
    return r;
  }
};

PyObject *fail_call(ProblemObject *p) {
  raise_error(reinterpret_cast<PyObject *>(p));
  return nullptr;
}

// Reads one formula with `get` (count first, then the tokens) and decodes it; *empty is set
// when it has no tokens.
template <class Get>
PyObject *read_formula(ProblemObject *p, Get get, bool *empty) {
  int ntok = 0;
  if (get(0, &ntok, nullptr, nullptr) != 0) return fail_call(p);
  *empty = ntok == 0;
  if (ntok == 0) return nullptr;
  std::vector<int> type(static_cast<size_t>(ntok));
  std::vector<double> value(static_cast<size_t>(ntok));
  if (get(ntok, &ntok, type.data(), value.data()) != 0) return fail_call(p);
  return decode_formula(p, type.data(), value.data(), ntok, "constraint.getBody");
}

PyObject *add_into(PyObject *acc, PyObject *term) {
  if (!acc) return term;
  PyObject *sum = alg_add(acc, term, 1.0);
  Py_DECREF(acc);
  Py_DECREF(term);
  return sum;
}

}  // namespace

static PyObject *read_body(ProblemObject *p, int row) {
  const int nvars = static_cast<int>(PyList_GET_SIZE(p->vars));
  Owned lq;  // linear and quadratic part
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
  ExpressionObject *e = nullptr;
  if (n > 0) {
    e = new_expression();
    if (!e) return nullptr;
    lq.o = reinterpret_cast<PyObject *>(e);
    for (int64_t k = 0; k < n; ++k) {
      if (cols[k] < 0 || cols[k] >= nvars) {
        PyErr_Format(g.ModelError,
                     "KLVOgetrows returned a coefficient for column %d, but there are only %d variables in the problem",
                     cols[k], nvars);
        return nullptr;
      }
      if (expr_add_linear(e, PyList_GET_ITEM(p->vars, cols[k]), vals[k]) < 0) return nullptr;
    }
  }
  int nq = 0;
  if (call(KLVOgetqrowqmatrixtriplets, "KLVOgetqrowqmatrixtriplets", p, p->prob, row, &nq, static_cast<int *>(nullptr),
           static_cast<int *>(nullptr), static_cast<double *>(nullptr)) != 0)
    return fail_call(p);
  if (nq > 0) {
    std::vector<int> q1(static_cast<size_t>(nq)), q2(static_cast<size_t>(nq));
    std::vector<double> qv(static_cast<size_t>(nq));
    if (call(KLVOgetqrowqmatrixtriplets, "KLVOgetqrowqmatrixtriplets", p, p->prob, row, &nq, q1.data(), q2.data(),
             qv.data()) != 0)
      return fail_call(p);
    if (!e) {
      e = new_expression();
      if (!e) return nullptr;
      lq.o = reinterpret_cast<PyObject *>(e);
    }
    for (int k = 0; k < nq; ++k) {
      for (int c : {q1[k], q2[k]})
        if (c < 0 || c >= nvars) {
          PyErr_Format(g.ModelError,
                       "KLVOgetqrowqmatrixtriplets returned a coefficient for column %d, but there are only %d "
                       "variables in the problem",
                       c, nvars);
          return nullptr;
        }
      // An off-diagonal triplet stands for both symmetric entries.
      double coef = q1[k] == q2[k] ? qv[k] : 2.0 * qv[k];
      if (expr_add_quadratic(e, PyList_GET_ITEM(p->vars, q1[k]), PyList_GET_ITEM(p->vars, q2[k]), coef) < 0)
        return nullptr;
    }
  }

  PyObject *nl = nullptr;  // nonlinear part, owned
  if (g.nlp_flag == 1 && p->slp) {
    bool empty = false;
    PyObject *f = read_formula(p, [&](int max, int *ntok, int *type, double *value) {
      return call(KLVOnlpgetformula, "KLVOnlpgetformula", p, p->prob, row, 1, max, ntok, type, value);
    }, &empty);
    if (!f && !empty) return nullptr;
    nl = f;
    int ncoef = 0;
    if (call(KLVOslpgetcoefs, "KLVOslpgetcoefs", p, p->prob, &ncoef, static_cast<int *>(nullptr),
             static_cast<int *>(nullptr)) != 0) {
      Py_XDECREF(nl);
      return fail_call(p);
    }
    std::vector<int> crow(static_cast<size_t>(ncoef)), ccol(static_cast<size_t>(ncoef));
    if (ncoef > 0 && call(KLVOslpgetcoefs, "KLVOslpgetcoefs", p, p->prob, &ncoef, crow.data(), ccol.data()) != 0) {
      Py_XDECREF(nl);
      return fail_call(p);
    }
    for (int k = 0; k < ncoef; ++k) {
      if (crow[k] != row || ccol[k] == formula_no_column) continue;
      if (ccol[k] < 0 || ccol[k] >= nvars) {
        Py_XDECREF(nl);
        PyErr_Format(g.ModelError,
                     "KLVOslpgetcoefformula returned a coefficient for column %d, but there are only %d variables in "
                     "the problem",
                     ccol[k], nvars);
        return nullptr;
      }
      double factor = 1.0;
      int col = ccol[k];
      PyObject *cf = read_formula(p, [&](int max, int *ntok, int *type, double *value) {
        return call(KLVOslpgetcoefformula, "KLVOslpgetcoefformula", p, p->prob, row, col, &factor, 1, max, ntok, type,
                    value);
      }, &empty);
      if (!cf) {
        if (!empty) {
          Py_XDECREF(nl);
          return nullptr;
        }
        cf = PyFloat_FromDouble(1.0);
        if (!cf) {
          Py_XDECREF(nl);
          return nullptr;
        }
      }
      PyObject *term = alg_mul(PyList_GET_ITEM(p->vars, col), cf);
      Py_DECREF(cf);
      if (term && factor != 1.0) {
        PyObject *fac = PyFloat_FromDouble(factor);
        PyObject *scaled = fac ? alg_mul(fac, term) : nullptr;
        Py_XDECREF(fac);
        Py_DECREF(term);
        term = scaled;
      }
      if (!term) {
        Py_XDECREF(nl);
        return nullptr;
      }
      nl = add_into(nl, term);
      if (!nl) return nullptr;
    }
  }

  if (lq.o && nl) {
    PyObject *sum = alg_add(lq.o, nl, 1.0);
    Py_DECREF(nl);
    return sum;
  }
  if (lq.o) return lq.release();
  if (nl) return nl;
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
