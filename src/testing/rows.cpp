// Private test entry points of the row and objective translation: they read rows, formulas
// and objectives back from the library so that tests can check what was sent, and make or
// open nonlinear nodes of shapes the algebra never builds.
#include <vector>

#include "kelvo/expr.h"
#include "kelvo/frame.h"
#include "kelvo/translate.h"

namespace kelvo {

namespace {

ProblemObject *problem_of(PyObject *o) {
  if (!is_problem(o) || !reinterpret_cast<ProblemObject *>(o)->prob) {
    PyErr_SetString(PyExc_TypeError, "an initialised kelvo.problem is required");
    return nullptr;
  }
  return reinterpret_cast<ProblemObject *>(o);
}

PyObject *failed(ProblemObject *p) { return check_result(reinterpret_cast<PyObject *>(p), nullptr); }

PyObject *token_list(const int *type, const double *value, size_t n) {
  PyObject *list = PyList_New(static_cast<Py_ssize_t>(n));
  for (size_t i = 0; list && i < n; ++i) {
    PyObject *t = Py_BuildValue("(id)", type[i], value[i]);
    if (!t) Py_CLEAR(list);
    else PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), t);
  }
  return list;
}

// rows(problem) -> [(type letter, rhs, range, name or None, [(col, coef)], [(col1, col2, coef)])]
// for every library row; quadratic entries as the library stores them (upper triangle).
PyObject *t_rows(PyObject *, PyObject *arg) {
  ProblemObject *p = problem_of(arg);
  if (!p) return nullptr;
  int n = 0;
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, static_cast<int>(KLVO_ATTR_ORIGINALROWS), &n) != 0)
    return failed(p);
  PyObject *result = PyList_New(0);
  for (int i = 0; result && i < n; ++i) {
    char type = 0;
    double rhs = 0, range = 0;
    const char *name = nullptr;
    int64_t nz = 0;
    if (call(KLVOgetrowtype, "KLVOgetrowtype", p, p->prob, &type, i, i) != 0 ||
        call(KLVOgetrhs, "KLVOgetrhs", p, p->prob, &rhs, i, i) != 0 ||
        call(KLVOgetrhsrange, "KLVOgetrhsrange", p, p->prob, &range, i, i) != 0 ||
        call(KLVOgetnamepointer, "KLVOgetnamepointer", p, p->prob, KLVO_NAMES_ROWS, i, &name) != 0 ||
        call(KLVOgetrows64, "KLVOgetrows64", p, p->prob, static_cast<int64_t *>(nullptr), static_cast<int *>(nullptr),
             static_cast<double *>(nullptr), int64_t{0}, &nz, i, i) != 0) {
      Py_DECREF(result);
      return failed(p);
    }
    std::vector<int64_t> start(2);
    std::vector<int> cols(static_cast<size_t>(nz) + 1);
    std::vector<double> vals(static_cast<size_t>(nz) + 1);
    int nq = 0;
    if ((nz > 0 && call(KLVOgetrows64, "KLVOgetrows64", p, p->prob, start.data(), cols.data(), vals.data(), nz, &nz,
                        i, i) != 0) ||
        call(KLVOgetqrowqmatrixtriplets, "KLVOgetqrowqmatrixtriplets", p, p->prob, i, &nq, static_cast<int *>(nullptr),
             static_cast<int *>(nullptr), static_cast<double *>(nullptr)) != 0) {
      Py_DECREF(result);
      return failed(p);
    }
    std::vector<int> q1(static_cast<size_t>(nq) + 1), q2(static_cast<size_t>(nq) + 1);
    std::vector<double> qv(static_cast<size_t>(nq) + 1);
    if (nq > 0 && call(KLVOgetqrowqmatrixtriplets, "KLVOgetqrowqmatrixtriplets", p, p->prob, i, &nq, q1.data(),
                       q2.data(), qv.data()) != 0) {
      Py_DECREF(result);
      return failed(p);
    }
    PyObject *lin = PyList_New(0), *quad = PyList_New(0);
    for (int64_t k = 0; lin && k < nz; ++k) {
      PyObject *t = Py_BuildValue("(id)", cols[k], vals[k]);
      if (!t || PyList_Append(lin, t) < 0) Py_CLEAR(lin);
      Py_XDECREF(t);
    }
    for (int k = 0; quad && k < nq; ++k) {
      PyObject *t = Py_BuildValue("(iid)", q1[k], q2[k], qv[k]);
      if (!t || PyList_Append(quad, t) < 0) Py_CLEAR(quad);
      Py_XDECREF(t);
    }
    PyObject *entry = (lin && quad) ? Py_BuildValue("(CddzOO)", type, rhs, range, name, lin, quad) : nullptr;
    Py_XDECREF(lin);
    Py_XDECREF(quad);
    if (!entry || PyList_Append(result, entry) < 0) Py_CLEAR(result);
    Py_XDECREF(entry);
  }
  return result;
}

// formulas(problem) -> [(row, col, factor, [(type, value), ...])] for every nonlinear
// coefficient held by the nonlinear layer, in order of addition.
PyObject *t_formulas(PyObject *, PyObject *arg) {
  ProblemObject *p = problem_of(arg);
  if (!p) return nullptr;
  PyObject *result = PyList_New(0);
  if (!result || !p->slp) return result;
  int n = 0;
  if (call(KSLPgetcoefs, "KSLPgetcoefs", p, p->slp, &n, static_cast<int *>(nullptr), static_cast<int *>(nullptr)) != 0) {
    Py_DECREF(result);
    return failed(p);
  }
  std::vector<int> rows(static_cast<size_t>(n) + 1), cols(static_cast<size_t>(n) + 1);
  if (n > 0 && call(KSLPgetcoefs, "KSLPgetcoefs", p, p->slp, &n, rows.data(), cols.data()) != 0) {
    Py_DECREF(result);
    return failed(p);
  }
  for (int k = 0; result && k < n; ++k) {
    double factor = 0;
    int ntok = 0;
    if (call(KSLPgetcoefformula, "KSLPgetcoefformula", p, p->slp, rows[k], cols[k], &factor, 1, 0, &ntok,
             static_cast<int *>(nullptr), static_cast<double *>(nullptr)) != 0) {
      Py_DECREF(result);
      return failed(p);
    }
    std::vector<int> type(static_cast<size_t>(ntok) + 1);
    std::vector<double> value(static_cast<size_t>(ntok) + 1);
    if (call(KSLPgetcoefformula, "KSLPgetcoefformula", p, p->slp, rows[k], cols[k], &factor, 1, ntok, &ntok,
             type.data(), value.data()) != 0) {
      Py_DECREF(result);
      return failed(p);
    }
    PyObject *tokens = token_list(type.data(), value.data(), static_cast<size_t>(ntok));
    PyObject *entry = tokens ? Py_BuildValue("(iidO)", rows[k], cols[k], factor, tokens) : nullptr;
    Py_XDECREF(tokens);
    if (!entry || PyList_Append(result, entry) < 0) Py_CLEAR(result);
    Py_XDECREF(entry);
  }
  return result;
}

// translate(problem, body, objective=False) -> (constant, [(col, coef)], [(col1, col2, coef)],
// [(col, factor, [(type, value), ...])]): the body translation without adding anything.
PyObject *t_translate(PyObject *, PyObject *args) {
  PyObject *obj, *body;
  int objective = 0;
  if (!PyArg_ParseTuple(args, "OO|p", &obj, &body, &objective)) return nullptr;
  ProblemObject *p = problem_of(obj);
  if (!p) return nullptr;
  EntryCounts counts;
  if (translate_count(p, body, &counts) < 0) return nullptr;
  RowEntries e;
  double constant = 0.0;
  if (translate_body(p, body, e, &constant, 0, objective != 0) < 0) return nullptr;
  // The count pass gives upper bounds of what the fill pass writes.
  if (static_cast<int64_t>(e.lin_col.size()) > counts.lin || static_cast<int64_t>(e.q_col1.size()) > counts.quad ||
      static_cast<int64_t>(e.f_row.size()) > counts.formulas || static_cast<int64_t>(e.tok_type.size()) > counts.tokens) {
    PyErr_SetString(PyExc_AssertionError, "the count pass counted less than the fill pass wrote");
    return nullptr;
  }
  PyObject *lin = PyList_New(0), *quad = PyList_New(0), *forms = PyList_New(0);
  for (size_t k = 0; lin && k < e.lin_col.size(); ++k) {
    PyObject *t = Py_BuildValue("(id)", e.lin_col[k], e.lin_val[k]);
    if (!t || PyList_Append(lin, t) < 0) Py_CLEAR(lin);
    Py_XDECREF(t);
  }
  for (size_t k = 0; quad && k < e.q_col1.size(); ++k) {
    PyObject *t = Py_BuildValue("(iid)", e.q_col1[k], e.q_col2[k], e.q_val[k]);
    if (!t || PyList_Append(quad, t) < 0) Py_CLEAR(quad);
    Py_XDECREF(t);
  }
  e.f_start.push_back(static_cast<int>(e.tok_type.size()));
  for (size_t k = 0; forms && k < e.f_row.size(); ++k) {
    size_t b = static_cast<size_t>(e.f_start[k]), end = static_cast<size_t>(e.f_start[k + 1]);
    PyObject *tokens = token_list(e.tok_type.data() + b, e.tok_val.data() + b, end - b);
    PyObject *t = tokens ? Py_BuildValue("(idO)", e.f_col[k], e.f_factor[k], tokens) : nullptr;
    Py_XDECREF(tokens);
    if (!t || PyList_Append(forms, t) < 0) Py_CLEAR(forms);
    Py_XDECREF(t);
  }
  PyObject *r = (lin && quad && forms) ? Py_BuildValue("(dOOO)", constant, lin, quad, forms) : nullptr;
  Py_XDECREF(lin);
  Py_XDECREF(quad);
  Py_XDECREF(forms);
  return r;
}

// decode(problem, [(type, value), ...]) -> the nonlinear expression of the tokens.
PyObject *t_decode(PyObject *, PyObject *args) {
  PyObject *obj, *tokens;
  if (!PyArg_ParseTuple(args, "OO!", &obj, &PyList_Type, &tokens)) return nullptr;
  ProblemObject *p = problem_of(obj);
  if (!p) return nullptr;
  Py_ssize_t n = PyList_GET_SIZE(tokens);
  std::vector<int> type(static_cast<size_t>(n) + 1);
  std::vector<double> value(static_cast<size_t>(n) + 1);
  for (Py_ssize_t i = 0; i < n; ++i)
    if (!PyArg_ParseTuple(PyList_GET_ITEM(tokens, i), "id", &type[i], &value[i])) return nullptr;
  return decode_formula(p, type.data(), value.data(), static_cast<int>(n), "constraint.getBody");
}

// objective(problem) -> ([coef per column], {(i, j): Q_ij for i <= j}, objective count,
// (nonlinear flag, auxiliary column, auxiliary row)).
PyObject *t_objective(PyObject *, PyObject *arg) {
  ProblemObject *p = problem_of(arg);
  if (!p) return nullptr;
  int n = 0, nobj = 0;
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, static_cast<int>(KLVO_ATTR_ORIGINALCOLS), &n) != 0 ||
      call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, static_cast<int>(KLVO_ATTR_ORIGINALOBJECTIVES), &nobj) != 0)
    return failed(p);
  std::vector<double> obj(static_cast<size_t>(n) + 1);
  int64_t nq = 0;
  if (n > 0 && (call(KLVOgetobj, "KLVOgetobj", p, p->prob, obj.data(), 0, n - 1) != 0 ||
                call(KLVOgetmqobj64, "KLVOgetmqobj64", p, p->prob, static_cast<int64_t *>(nullptr),
                     static_cast<int *>(nullptr), static_cast<double *>(nullptr), int64_t{0}, &nq, 0, n - 1) != 0))
    return failed(p);
  std::vector<int64_t> start(static_cast<size_t>(n) + 2);
  std::vector<int> col(static_cast<size_t>(nq) + 1);
  std::vector<double> val(static_cast<size_t>(nq) + 1);
  if (nq > 0 && call(KLVOgetmqobj64, "KLVOgetmqobj64", p, p->prob, start.data(), col.data(), val.data(), nq, &nq, 0,
                     n - 1) != 0)
    return failed(p);
  PyObject *coefs = PyList_New(n), *q = PyDict_New();
  for (int j = 0; coefs && j < n; ++j) PyList_SET_ITEM(coefs, j, PyFloat_FromDouble(obj[j]));
  for (int j = 0; q && j < n && nq > 0; ++j)
    for (int64_t k = start[j]; q && k < start[j + 1]; ++k) {
      if (j > col[k]) continue;
      PyObject *key = Py_BuildValue("(ii)", j, col[k]), *v = PyFloat_FromDouble(val[k]);
      if (!key || !v || PyDict_SetItem(q, key, v) < 0) Py_CLEAR(q);
      Py_XDECREF(key);
      Py_XDECREF(v);
    }
  PyObject *r = (coefs && q) ? Py_BuildValue("(OOi(iii))", coefs, q, nobj, p->nonlin_obj, p->obj_aux_col,
                                             p->obj_aux_row)
                             : nullptr;
  Py_XDECREF(coefs);
  Py_XDECREF(q);
  return r;
}

// objn(problem, k) -> ([coef per column], priority, weight, abstol, reltol, constant) of
// objective k.
PyObject *t_objn(PyObject *, PyObject *args) {
  PyObject *obj;
  int k;
  if (!PyArg_ParseTuple(args, "Oi", &obj, &k)) return nullptr;
  ProblemObject *p = problem_of(obj);
  if (!p) return nullptr;
  int n = 0, priority = 0;
  double d[4] = {0, 0, 0, 0};
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, static_cast<int>(KLVO_ATTR_ORIGINALCOLS), &n) != 0)
    return failed(p);
  std::vector<double> coef(static_cast<size_t>(n) + 1);
  if ((n > 0 && call(KLVOgetobjn, "KLVOgetobjn", p, p->prob, k, coef.data(), 0, n - 1) != 0) ||
      call(KLVOgetobjintcontrol, "KLVOgetobjintcontrol", p, p->prob, k, 20001, &priority) != 0)
    return failed(p);
  for (int i = 0; i < 4; ++i)
    if (call(KLVOgetobjdblcontrol, "KLVOgetobjdblcontrol", p, p->prob, k, 20002 + i, &d[i]) != 0) return failed(p);
  PyObject *coefs = PyList_New(n);
  for (int j = 0; coefs && j < n; ++j) PyList_SET_ITEM(coefs, j, PyFloat_FromDouble(coef[j]));
  if (!coefs) return nullptr;
  PyObject *r = Py_BuildValue("(Oidddd)", coefs, priority, d[0], d[1], d[2], d[3]);
  Py_DECREF(coefs);
  return r;
}

// node(op, args) -> a nonlinear node with exactly these arguments, as the algebra never
// builds some shapes (a flat product of a variable, formulas and numbers).
PyObject *t_node(PyObject *, PyObject *args) {
  int op;
  PyObject *operands;
  if (!PyArg_ParseTuple(args, "iO", &op, &operands)) return nullptr;
  if (op < 0 || op >= OP_COUNT) {
    PyErr_SetString(PyExc_ValueError, "no such operator");
    return nullptr;
  }
  return reinterpret_cast<PyObject *>(new_node(op, Py_NewRef(operands)));
}

// node_parts(n): (operator code, arguments object).
PyObject *t_node_parts(PyObject *, PyObject *o) {
  if (Py_TYPE(o) != &nonlinear_type) {
    PyErr_SetString(PyExc_TypeError, "expected a kelvo.nonlinear");
    return nullptr;
  }
  return Py_BuildValue("(iO)", as_nl(o)->op, as_nl(o)->args ? as_nl(o)->args : Py_None);
}

}  // namespace

PyMethodDef rows_testing_methods[] = {
    {"node", t_node, METH_VARARGS, nullptr},
    {"node_parts", t_node_parts, METH_O, nullptr},
    {"rows", t_rows, METH_O, nullptr},
    {"formulas", t_formulas, METH_O, nullptr},
    {"translate", t_translate, METH_VARARGS, nullptr},
    {"decode", t_decode, METH_VARARGS, nullptr},
    {"objective", t_objective, METH_O, nullptr},
    {"objn", t_objn, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr}};

}  // namespace kelvo
