// Arithmetic of the algebra: one rule per operator, chosen by the highest operand kind, and
// the number protocol shared by kelvo.var, linterm, quadterm, expression and nonlinear.
#include <algorithm>
#include <cmath>

#include "expr/expr.h"
#include "numpy/numpy.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

// The variable and coefficient of a variable or linear term.
static void var_coef(PyObject *o, PyObject **var, double *coef) {
  if (Py_TYPE(o) == &var_type) {
    *var = o;
    *coef = 1.0;
  } else {
    *var = as_lin(o)->var;
    *coef = as_lin(o)->coef;
  }
}

static bool is_number_equal(PyObject *o, double v) {
  if (!is_number(o)) return false;
  double x = number_value(o);
  if (x == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return false;
  }
  return x == v;
}

// Builds a + f*b as an expression; both are numbers, variables, terms or expressions.
static PyObject *sum_expression(PyObject *a, PyObject *b, double f) {
  nb::object r;
  if (kind_of(a) == K_EXPR) {
    r = nb::steal(expr_from_object(a, 1.0));
    if (!r || expr_iadd(as_expr(r.ptr()), b, f) < 0) return nullptr;
  } else if (kind_of(b) == K_EXPR) {
    r = nb::steal(expr_from_object(b, f));
    if (!r || expr_iadd(as_expr(r.ptr()), a, 1.0) < 0) return nullptr;
  } else {
    r = nb::steal(reinterpret_cast<PyObject *>(new_expression()));
    if (!r || expr_iadd(as_expr(r.ptr()), a, 1.0) < 0 || expr_iadd(as_expr(r.ptr()), b, f) < 0) return nullptr;
  }
  return r.release().ptr();
}

PyObject *alg_add(PyObject *a, PyObject *b, double f) {
  int ka = operand_kind(a);
  if (ka < 0) return nullptr;
  int kb = operand_kind(b);
  if (kb < 0) return nullptr;
  int top = std::max(ka, kb);
  if (top == K_NONLIN) return f == 1.0 ? nl_add(a, b, 1.0) : nl_sub(a, b);
  if (check_compatible(a, b) < 0) return nullptr;

  if (top == K_NUMBER) {
    double va = number_value(a), vb = number_value(b);
    if (PyErr_Occurred()) return nullptr;
    return PyFloat_FromDouble(va + f * vb);
  }
  // The number operand's contribution (times f when it is the right one).
  double c = 0.0;
  if (ka == K_NUMBER || kb == K_NUMBER) {
    c = number_value(ka == K_NUMBER ? a : b);
    if (c == -1.0 && PyErr_Occurred()) return nullptr;
    if (kb == K_NUMBER) c *= f;
  }
  switch (top) {
    case K_VAR:
      if (ka == K_NUMBER) break;  // 0 + x is still an expression
      if (kb == K_NUMBER) {
        if (c == 0.0) return Py_NewRef(a);
        break;
      }
      if (a == b) return make_linterm(1.0 + f, a);
      break;
    case K_LIN:
      if (ka == K_NUMBER || kb == K_NUMBER) {
        if (c != 0.0) break;
        return ka == K_LIN ? make_linterm(as_lin(a)->coef, as_lin(a)->var)
                           : make_linterm(f * as_lin(b)->coef, as_lin(b)->var);
      } else {
        PyObject *va, *vb;
        double ca, cb;
        var_coef(a, &va, &ca);
        var_coef(b, &vb, &cb);
        if (va == vb) return make_linterm(ca + f * cb, va);
      }
      break;
    case K_QUAD:
      if (ka == K_NUMBER || kb == K_NUMBER) {
        if (c != 0.0) break;
        return ka == K_QUAD ? scaled_copy(a, 1.0) : scaled_copy(b, f);
      }
      if (ka == K_QUAD && kb == K_QUAD && as_quad(a)->var1 == as_quad(b)->var1 &&
          as_quad(a)->var2 == as_quad(b)->var2)
        return make_quadterm(as_quad(a)->coef + f * as_quad(b)->coef, as_quad(a)->var1, as_quad(a)->var2);
      break;
    default:
      break;
  }
  PyObject *r = sum_expression(a, b, f);
  if (!r && !PyErr_Occurred()) PyErr_SetString(g.ModelError, "Error adding expressions");
  return r;
}

// Variable or linear term o (c*x) times an expression without quadratic map.
static PyObject *linear_times_expression(PyObject *o, ExpressionObject *e) {
  PyObject *x;
  double c;
  var_coef(o, &x, &c);
  ExpressionObject *r = new_expression();
  nb::object owner = nb::steal(reinterpret_cast<PyObject *>(r));
  if (!r || expr_add_linear(r, x, c * e->constant) < 0) return nullptr;
  if (e->lin)
    for (auto &entry : *e->lin) {
      double v = c * entry.second;
      if (v != 0.0 && expr_add_quadratic(r, x, entry.first, v) < 0) return nullptr;
    }
  return owner.release().ptr();
}

static bool has_quadratic(ExpressionObject *e) { return e->quad && !e->quad->empty(); }

// The product of two expressions of degree at most one each.
static PyObject *expand_product(ExpressionObject *a, ExpressionObject *b) {
  ExpressionObject *r = new_expression();
  nb::object owner = nb::steal(reinterpret_cast<PyObject *>(r));
  if (!r) return nullptr;
  r->constant = a->constant * b->constant;
  if (a->lin)
    for (auto &entry : *a->lin) {
      double v = b->constant * entry.second;
      if (v != 0.0 && expr_add_linear(r, entry.first, v) < 0) return nullptr;
    }
  if (b->lin)
    for (auto &entry : *b->lin) {
      double v = a->constant * entry.second;
      if (v != 0.0 && expr_add_linear(r, entry.first, v) < 0) return nullptr;
    }
  if (a->lin && b->lin)
    for (auto &x : *a->lin)
      for (auto &y : *b->lin)
        if (expr_add_quadratic(r, x.first, y.first, x.second * y.second) < 0) return nullptr;
  return owner.release().ptr();
}

PyObject *alg_mul(PyObject *a, PyObject *b) {
  int ka = operand_kind(a);
  if (ka < 0) return nullptr;
  int kb = operand_kind(b);
  if (kb < 0) return nullptr;
  int top = std::max(ka, kb);
  if (top == K_NONLIN) return nl_product(a, b);
  double c;
  if (top == K_EXPR) {
    // A number or constant expression scales the other operand, keeping its kind.
    if (constant_value(a, &c)) return scaled_copy(b, c);
    if (constant_value(b, &c)) return scaled_copy(a, c);
    if (check_compatible(a, b) < 0) return nullptr;
    if (ka == K_VAR || ka == K_LIN)
      return as_expr(b)->quad ? nl_product(a, b) : linear_times_expression(a, as_expr(b));
    if (kb == K_VAR || kb == K_LIN)
      return as_expr(a)->quad ? nl_product(a, b) : linear_times_expression(b, as_expr(a));
    if (ka == K_QUAD || kb == K_QUAD) return nl_product(a, b);
    if (has_quadratic(as_expr(a)) || has_quadratic(as_expr(b))) return nl_product(a, b);
    return expand_product(as_expr(a), as_expr(b));
  }
  if (ka == K_NUMBER || kb == K_NUMBER) {
    c = number_value(ka == K_NUMBER ? a : b);
    if (c == -1.0 && PyErr_Occurred()) return nullptr;
    PyObject *o = ka == K_NUMBER ? b : a;
    switch (kind_of(o)) {
      case K_NUMBER: {
        double v = number_value(o);
        if (v == -1.0 && PyErr_Occurred()) return nullptr;
        return PyFloat_FromDouble(c * v);
      }
      case K_VAR:
        return scaled_copy(o, c);
      case K_LIN:
        return make_linterm(c * as_lin(o)->coef, as_lin(o)->var);
      default:
        return make_quadterm(c * as_quad(o)->coef, as_quad(o)->var1, as_quad(o)->var2);
    }
  }
  if (top == K_QUAD) {
    if (check_compatible(a, b) < 0) return nullptr;
    return nl_product(a, b);
  }
  PyObject *va, *vb;
  double ca, cb;
  var_coef(a, &va, &ca);
  var_coef(b, &vb, &cb);
  return make_quadterm(ca * cb, va, vb);
}

static PyObject *division_by_zero(int kind) {
  switch (kind) {
    case K_VAR:
      return expr_error("Division of variable by zero");
    case K_QUAD:
      return expr_error("Division by zero of a bilinear term");
    default:
      return expr_error("Division by zero");
  }
}

PyObject *alg_div(PyObject *a, PyObject *b) {
  int ka = operand_kind(a);
  if (ka < 0) return nullptr;
  int kb = operand_kind(b);
  if (kb < 0) return nullptr;
  double c;
  if (constant_value(b, &c)) {
    if (c == 0.0) return division_by_zero(ka);
    switch (ka) {
      case K_VAR:
        return c == 1.0 ? Py_NewRef(a) : make_linterm(1.0 / c, a);
      case K_LIN:
      case K_QUAD:
      case K_EXPR:
        return scaled_copy(a, 1.0 / c);
      case K_NONLIN:
        return c == 1.0 ? nl_scaled_copy(a, 1.0) : binary_node(OP_DIV, a, b);
      default: {
        double v;
        if (constant_value(a, &v)) return PyFloat_FromDouble(v / c);
        return nullptr;
      }
    }
  }
  if (check_compatible(a, b) < 0) return nullptr;
  if ((ka == K_VAR || ka == K_LIN) && (kb == K_VAR || kb == K_LIN)) {
    PyObject *va, *vb;
    double ca, cb;
    var_coef(a, &va, &ca);
    var_coef(b, &vb, &cb);
    if (va == vb) {
      if (cb == 0.0) return expr_error("Division by zero");
      return PyFloat_FromDouble(ca / cb);
    }
  }
  if (ka == K_QUAD && (kb == K_VAR || kb == K_LIN)) {
    auto *q = as_quad(a);
    PyObject *z;
    double d;
    var_coef(b, &z, &d);
    if (z == q->var1 || z == q->var2) {
      if (d == 0.0) return expr_error("Division by zero of a bilinear term");
      return make_linterm(q->coef / d, z == q->var1 ? q->var2 : q->var1);
    }
  }
  if ((ka == K_VAR || ka == K_LIN) && kb == K_QUAD) {
    auto *q = as_quad(b);
    PyObject *z;
    double cz;
    var_coef(a, &z, &cz);
    if (z == q->var1 || z == q->var2) {
      if (q->coef == 0.0)
        return expr_error(ka == K_VAR ? "Division by zero of a variable" : "Division by zero of a linear term");
      nb::object num = nb::steal(PyFloat_FromDouble(cz / q->coef));
      if (!num) return nullptr;
      return binary_node(OP_DIV, num.ptr(), z == q->var1 ? q->var2 : q->var1);
    }
  }
  if (ka == K_QUAD && kb == K_QUAD) {
    auto *p = as_quad(a), *q = as_quad(b);
    if (p->var1 == q->var1 && p->var2 == q->var2) {
      if (q->coef == 0.0) return expr_error("Division by zero of a bilinear term");
      return PyFloat_FromDouble(p->coef / q->coef);
    }
    // Cancel one shared variable: tried as u1 = w1, u2 = w2, u1 = w2, u2 = w1.
    PyObject *pairs[4][2] = {{p->var2, q->var2}, {p->var1, q->var1}, {p->var2, q->var1}, {p->var1, q->var2}};
    bool shared[4] = {p->var1 == q->var1, p->var2 == q->var2, p->var1 == q->var2, p->var2 == q->var1};
    for (int i = 0; i < 4; ++i) {
      if (!shared[i]) continue;
      if (q->coef == 0.0) return expr_error("Division by zero of a bilinear term");
      nb::object num = nb::steal(scaled_copy(pairs[i][0], p->coef / q->coef));
      if (!num) return nullptr;
      return binary_node(OP_DIV, num.ptr(), pairs[i][1]);
    }
  }
  if ((kb == K_VAR || kb == K_EXPR || kb == K_NONLIN) && constant_value(a, &c) && c == 0.0)
    return PyFloat_FromDouble(0.0);
  return binary_node(OP_DIV, a, b);
}

PyObject *alg_pow(PyObject *a, PyObject *b) {
  int ka = operand_kind(a);
  if (ka < 0) return nullptr;
  int kb = operand_kind(b);
  if (kb < 0) return nullptr;
  if (kb == K_NUMBER && ka != K_NUMBER) {
    double e = number_value(b);
    if (e == -1.0 && PyErr_Occurred()) return nullptr;
    if (e == 0.0) return PyFloat_FromDouble(1.0);
    if (e == 1.0) {
      if (ka == K_VAR || ka == K_LIN) return Py_NewRef(a);
      return scaled_copy(a, 1.0);
    }
    if (e == 2.0) {
      if (ka == K_VAR) return make_quadterm(1.0, a, a);
      if (ka == K_LIN) return make_quadterm(as_lin(a)->coef * as_lin(a)->coef, as_lin(a)->var, as_lin(a)->var);
      if (ka == K_EXPR) return alg_mul(a, a);
    }
    return binary_node(OP_POW, a, b);
  }
  if (ka == K_NUMBER && kb != K_NUMBER && is_number_equal(a, 1.0)) return PyFloat_FromDouble(1.0);
  if (ka == K_NUMBER && kb == K_NUMBER) return PyNumber_Power(a, b, Py_None);
  return binary_node(OP_POW, a, b);
}

PyObject *alg_neg(PyObject *a) {
  if (kind_of(a) == K_NONLIN) return nl_negate(a);
  return scaled_copy(a, -1.0);
}

PyObject *alg_iadd(PyObject *a, PyObject *b, double f) {
  switch (kind_of(a)) {
    case K_EXPR: {
      if (as_expr(a)->in_constraint) return alg_add(a, b, f);
      int kb = operand_kind(b);
      if (kb < 0) return nullptr;
      if (kb == K_NONLIN) return nl_add(a, b, f);
      if (expr_iadd(as_expr(a), b, f) < 0) return nullptr;
      return Py_NewRef(a);
    }
    case K_NONLIN:
      return nl_iadd(a, b, f);
    default:
      if (is_number_equal(b, 0.0)) return Py_NewRef(a);
      return alg_add(a, b, f);
  }
}

PyObject *alg_imul(PyObject *a, PyObject *b) {
  double c;
  if (kind_of(a) == K_EXPR && !as_expr(a)->in_constraint && constant_value(b, &c)) {
    if (c == 0.0) return PyFloat_FromDouble(0.0);
    if (c != 1.0 && expr_scale(as_expr(a), c) < 0) return nullptr;
    return Py_NewRef(a);
  }
  if (is_number_equal(b, 1.0)) return Py_NewRef(a);
  return alg_mul(a, b);
}

static PyObject *alg_idiv(PyObject *a, PyObject *b) {
  double c;
  if (kind_of(a) == K_EXPR && !as_expr(a)->in_constraint && constant_value(b, &c)) {
    if (c == 0.0) return expr_error("Division by zero");
    if (c != 1.0 && expr_scale(as_expr(a), 1.0 / c) < 0) return nullptr;
    return Py_NewRef(a);
  }
  if (is_number_equal(b, 1.0)) return Py_NewRef(a);
  if (is_number_equal(b, 0.0)) return expr_error("Division by zero");
  return alg_div(a, b);
}

// Number-protocol slots. A right operand that is an array or other sequence is handed back to
// the interpreter so that NumPy applies the operator element by element. A string on the right
// is never such an operand: it is refused naming the operator written and the operand types. A
// string or list on the left is classified like any other operand and refused as an invalid
// object.

static bool is_text(PyObject *b) { return PyUnicode_Check(b) || PyBytes_Check(b); }

static bool is_vector(PyObject *b) {
  if (PyArray_Check(b)) return true;
  return !is_text(b) && kind_of(b) == K_INVALID && PySequence_Check(b);
}

static PyObject *unsupported(const char *op, PyObject *a, PyObject *b) {
  PyErr_Format(PyExc_TypeError, "unsupported operand type(s) for %s: '%s' and '%s'", op, Py_TYPE(a)->tp_name,
               Py_TYPE(b)->tp_name);
  return nullptr;
}

// The element-wise form of a op b; a sequence the interpreter cannot combine is reported as
// the user's own a op b.
template <class F> static PyObject *elementwise(const char *op, PyObject *a, PyObject *b, F f) {
  PyObject *r = f();
  if (!r && !PyArray_Check(b) && PyErr_ExceptionMatches(PyExc_TypeError)) {
    PyErr_Clear();
    return unsupported(op, a, b);
  }
  return r;
}

// a as the operand NumPy combines with each element of b. With an array of our dtypes or of
// numbers, a goes in a zero-dimensional array of our dtypes, so that the module's loops give an
// npexpr array; given a itself NumPy would use its generic object loops. Null with an error.
static nb::object elementwise_operand(PyObject *a, PyObject *b) {
  if (PyArray_CheckExact(b)) {
    PyArray_Descr *d = PyArray_DESCR(reinterpret_cast<PyArrayObject *>(b));
    nb::object float64 = nb::steal(reinterpret_cast<PyObject *>(PyArray_DescrFromType(NPY_DOUBLE)));
    if (!float64) return float64;
    if (is_model_dtype(d) || PyArray_CanCastTypeTo(d, reinterpret_cast<PyArray_Descr *>(float64.ptr()), NPY_SAFE_CASTING))
      return nb::steal(model_scalar_array(a));
  }
  return nb::borrow(a);
}

static PyObject *add_vector(const char *op, PyObject *a, PyObject *b) {
  return elementwise(op, a, b, [&]() -> PyObject * {
    nb::object s = elementwise_operand(a, b);
    return s ? PyNumber_Add(b, s.ptr()) : nullptr;
  });
}

static PyObject *subtract_vector(const char *op, PyObject *a, PyObject *b) {
  return elementwise(op, a, b, [&]() -> PyObject * {
    nb::object s = elementwise_operand(a, b);
    if (!s) return nullptr;
    nb::object neg = nb::steal(PyNumber_Negative(b));
    if (!neg) return nullptr;
    return PyNumber_Add(neg.ptr(), s.ptr());
  });
}

static PyObject *multiply_vector(const char *op, PyObject *a, PyObject *b) {
  return elementwise(op, a, b, [&]() -> PyObject * {
    nb::object s = elementwise_operand(a, b);
    return s ? PyNumber_Multiply(b, s.ptr()) : nullptr;
  });
}

static PyObject *divide_vector(const char *op, PyObject *a, PyObject *b) {
  return elementwise(op, a, b, [&]() -> PyObject * {
    nb::object s = elementwise_operand(a, b);
    if (!s) return nullptr;
    nb::object one = nb::steal(PyFloat_FromDouble(1.0));
    if (!one) return nullptr;
    nb::object inv = nb::steal(PyNumber_TrueDivide(one.ptr(), b));
    if (!inv) return nullptr;
    return PyNumber_Multiply(inv.ptr(), s.ptr());
  });
}

static PyObject *and_vector(const char *op, PyObject *a, PyObject *b) {
  return elementwise(op, a, b, [&]() -> PyObject * {
    nb::object s = elementwise_operand(a, b);
    return s ? PyNumber_And(b, s.ptr()) : nullptr;
  });
}

static PyObject *or_vector(const char *op, PyObject *a, PyObject *b) {
  return elementwise(op, a, b, [&]() -> PyObject * {
    nb::object s = elementwise_operand(a, b);
    return s ? PyNumber_Or(b, s.ptr()) : nullptr;
  });
}

static PyObject *nb_add(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("+", a, b);
  if (is_vector(b)) return add_vector("+", a, b);
  return alg_add(a, b, 1.0);
}

static PyObject *nb_subtract(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("-", a, b);
  if (is_vector(b)) return subtract_vector("-", a, b);
  return alg_add(a, b, -1.0);
}

static PyObject *nb_multiply(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("*", a, b);
  if (is_vector(b)) return multiply_vector("*", a, b);
  return alg_mul(a, b);
}

static PyObject *nb_true_divide(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("/", a, b);
  if (is_vector(b)) return divide_vector("/", a, b);
  return alg_div(a, b);
}

static PyObject *nb_power(PyObject *a, PyObject *b, PyObject *) {
  if (is_text(b)) return unsupported("** or pow()", a, b);
  if (is_vector(b)) return expr_error("Cannot obtain a power with a vector as an exponent");
  return alg_pow(a, b);
}

static PyObject *nb_negative(PyObject *a) { return alg_neg(a); }

static PyObject *nb_absolute(PyObject *a) { return unary_node(OP_ABS, a); }

static PyObject *nb_and(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("&", a, b);
  if (is_vector(b)) return and_vector("&", a, b);
  return flatten_node(OP_AND, a, b);
}

static PyObject *nb_or(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("|", a, b);
  if (is_vector(b)) return or_vector("|", a, b);
  return flatten_node(OP_OR, a, b);
}

static PyObject *nb_inplace_add(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("+=", a, b);
  if (is_vector(b)) return add_vector("+=", a, b);
  return alg_iadd(a, b, 1.0);
}

static PyObject *nb_inplace_subtract(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("-=", a, b);
  if (is_vector(b)) return subtract_vector("-=", a, b);
  return alg_iadd(a, b, -1.0);
}

static PyObject *nb_inplace_multiply(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("*=", a, b);
  if (is_vector(b)) return multiply_vector("*=", a, b);
  return alg_imul(a, b);
}

static PyObject *nb_inplace_true_divide(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("/=", a, b);
  if (is_vector(b)) return divide_vector("/=", a, b);
  return alg_idiv(a, b);
}

static PyObject *nb_inplace_power(PyObject *a, PyObject *b, PyObject *) {
  if (is_text(b)) return unsupported("**=", a, b);
  if (is_vector(b)) return expr_error("Cannot obtain a power with a vector as an exponent");
  // An expression is never amended by **=: e **= 1 is a copy, as e ** 1.
  if (kind_of(a) != K_EXPR && is_number_equal(b, 1.0)) return Py_NewRef(a);
  return alg_pow(a, b);
}

static PyObject *nb_inplace_and(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("&=", a, b);
  if (is_vector(b)) return and_vector("&=", a, b);
  return kind_of(a) == K_NONLIN ? flatten_inplace(OP_AND, a, b) : flatten_node(OP_AND, a, b);
}

static PyObject *nb_inplace_or(PyObject *a, PyObject *b) {
  if (is_text(b)) return unsupported("|=", a, b);
  if (is_vector(b)) return or_vector("|=", a, b);
  return kind_of(a) == K_NONLIN ? flatten_inplace(OP_OR, a, b) : flatten_node(OP_OR, a, b);
}

PyNumberMethods algebra_number_methods = [] {
  PyNumberMethods m{};
  m.nb_add = nb_add;
  m.nb_subtract = nb_subtract;
  m.nb_multiply = nb_multiply;
  m.nb_power = nb_power;
  m.nb_negative = nb_negative;
  m.nb_absolute = nb_absolute;
  m.nb_and = nb_and;
  m.nb_or = nb_or;
  m.nb_inplace_add = nb_inplace_add;
  m.nb_inplace_subtract = nb_inplace_subtract;
  m.nb_inplace_multiply = nb_inplace_multiply;
  m.nb_inplace_power = nb_inplace_power;
  m.nb_inplace_and = nb_inplace_and;
  m.nb_inplace_or = nb_inplace_or;
  m.nb_true_divide = nb_true_divide;
  m.nb_inplace_true_divide = nb_inplace_true_divide;
  return m;
}();

}  // namespace kelvo
