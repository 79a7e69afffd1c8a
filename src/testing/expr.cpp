// Private entry points of the algebra for the test suite (joined to kelvo._kelvo._testing):
// variable records made directly, and views of the records' contents.
#include "kelvo/expr.h"

namespace kelvo {

// unlinked_var(): a free-standing variable record with the next serial id, made without the
// deprecated constructor's warning.
static PyObject *t_unlinked_var(PyObject *, PyObject *) {
  auto *v = PyObject_New(VarObject, &var_type);
  if (!v) return nullptr;
  uint64_t serial = g.var_serial++;
  v->owner = nullptr;
  v->index_low = static_cast<uint32_t>(serial);
  v->index_high = static_cast<uint16_t>(serial >> 32);
  v->bound_flags = 0;
  v->type_byte = 0;
  return reinterpret_cast<PyObject *>(v);
}

static PyObject *t_mark_deleted(PyObject *, PyObject *o) {
  if (Py_TYPE(o) != &var_type) {
    PyErr_SetString(PyExc_TypeError, "expected a kelvo.var");
    return nullptr;
  }
  mark_var_deleted(as_var(o));
  Py_RETURN_NONE;
}

// expr_parts(e): (constant, {var: coef}, {(var1, var2): coef}, sorted serial ids or None);
// the quadratic keys in stored order (outer, inner).
static PyObject *t_expr_parts(PyObject *, PyObject *o) {
  if (Py_TYPE(o) != &expression_type) {
    PyErr_SetString(PyExc_TypeError, "expected a kelvo.expression");
    return nullptr;
  }
  ExpressionObject *e = as_expr(o);
  PyObject *lin = PyDict_New(), *quad = PyDict_New(), *serials = nullptr, *r = nullptr;
  if (!lin || !quad) goto done;
  if (e->lin)
    for (auto &entry : *e->lin) {
      PyObject *c = PyFloat_FromDouble(entry.second);
      int rc = c ? PyDict_SetItem(lin, entry.first, c) : -1;
      Py_XDECREF(c);
      if (rc < 0) goto done;
    }
  if (e->quad)
    for (auto &outer : *e->quad)
      for (auto &inner : *outer.second) {
        PyObject *k = PyTuple_Pack(2, outer.first, inner.first);
        PyObject *c = PyFloat_FromDouble(inner.second);
        int rc = k && c ? PyDict_SetItem(quad, k, c) : -1;
        Py_XDECREF(k);
        Py_XDECREF(c);
        if (rc < 0) goto done;
      }
  if (e->serials) {
    serials = PyList_New(0);
    if (!serials) goto done;
    for (uint64_t s : *e->serials) {
      PyObject *n = PyLong_FromUnsignedLongLong(s);
      int rc = n ? PyList_Append(serials, n) : -1;
      Py_XDECREF(n);
      if (rc < 0) goto done;
    }
    if (PyList_Sort(serials) < 0) goto done;
  } else {
    serials = Py_NewRef(Py_None);
  }
  r = Py_BuildValue("(dOOO)", e->constant, lin, quad, serials);
done:
  Py_XDECREF(lin);
  Py_XDECREF(quad);
  Py_XDECREF(serials);
  return r;
}

// term_parts(t): (coef, var) of a linear term, (coef, var1, var2) of a quadratic term.
static PyObject *t_term_parts(PyObject *, PyObject *o) {
  if (Py_TYPE(o) == &linterm_type) return Py_BuildValue("(dO)", as_lin(o)->coef, as_lin(o)->var);
  if (Py_TYPE(o) == &quadterm_type)
    return Py_BuildValue("(dOO)", as_quad(o)->coef, as_quad(o)->var1, as_quad(o)->var2);
  PyErr_SetString(PyExc_TypeError, "expected a kelvo.linterm or kelvo.quadterm");
  return nullptr;
}

// node_parts(n): (operator code, arguments object).
static PyObject *t_node_parts(PyObject *, PyObject *o) {
  if (Py_TYPE(o) != &nonlinear_type) {
    PyErr_SetString(PyExc_TypeError, "expected a kelvo.nonlinear");
    return nullptr;
  }
  return Py_BuildValue("(iO)", as_nl(o)->op, as_nl(o)->args ? as_nl(o)->args : Py_None);
}

// expr_has_maps(e): (linear map present, quadratic map present).
static PyObject *t_expr_has_maps(PyObject *, PyObject *o) {
  if (Py_TYPE(o) != &expression_type) {
    PyErr_SetString(PyExc_TypeError, "expected a kelvo.expression");
    return nullptr;
  }
  return Py_BuildValue("(NN)", PyBool_FromLong(as_expr(o)->lin != nullptr), PyBool_FromLong(as_expr(o)->quad != nullptr));
}

PyMethodDef expr_testing_methods[] = {
    {"unlinked_var", t_unlinked_var, METH_NOARGS, nullptr},
    {"mark_deleted", t_mark_deleted, METH_O, nullptr},
    {"expr_parts", t_expr_parts, METH_O, nullptr},
    {"expr_has_maps", t_expr_has_maps, METH_O, nullptr},
    {"term_parts", t_term_parts, METH_O, nullptr},
    {"node_parts", t_node_parts, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
