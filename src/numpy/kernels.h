// The accumulator behind every product kernel of Dot: one result element, built by adding
// products term by term straight into an expression's maps. Only products the maps cannot
// hold (nonlinear operands) go through the operator algebra.
#pragma once

#include <new>

#include "expr/expr.h"
#include "model/var.h"

#include <nanobind/nanobind.h>

namespace kelvo {

namespace nb = nanobind;

class Accumulator {
 public:
  // Starts from a fresh expression, or from a copy of an existing element of an output array
  // (an expression or a nonlinear node; null or None count as empty). `terms` is the expected
  // number of linear terms, reserved up front. 0 or -1 with an exception.
  int start(PyObject *existing, size_t terms) {
    owner_known_ = false;
    if (!existing || existing == Py_None) {
      e_ = new_expression();
      acc_ = nb::steal(reinterpret_cast<PyObject *>(e_));
      if (!e_) return -1;
      if (terms > 0) {
        // A product's map rarely grows after it is built: fill its table further than usual,
        // which often halves its memory.
        e_->lin = new LinMap();
        e_->lin->max_load_factor(0.85f);
        e_->lin->reserve(terms);
      }
      return 0;
    }
    acc_ = nb::steal(Py_TYPE(existing) == &nonlinear_type ? nl_scaled_copy(existing, 1.0)
                                                            : expr_from_object(existing, 1.0));
    if (!acc_) return -1;
    e_ = Py_TYPE(acc_.ptr()) == &expression_type ? as_expr(acc_.ptr()) : nullptr;
    if (e_ && terms > 0) {
      if (!e_->lin) e_->lin = new LinMap();
      e_->lin->reserve(e_->lin->size() + terms);
    }
    return 0;
  }

  // c * var for a kelvo.var.
  KELVO_INLINE int add_linear(PyObject *var, double c) {
    if (c == 0.0) return 0;
    if (e_ && owner_known_ && as_var(var)->owner == owner_ && e_->lin) {
      lin_map_add(*e_->lin, var, c);
      return 0;
    }
    return add_linear_checked(var, c);
  }

  // c * o for any operand; `number_first` keeps the factors' order for the algebra.
  KELVO_INLINE int add_scaled(PyObject *o, double c, bool number_first) {
    PyTypeObject *t = Py_TYPE(o);
    if (t == &var_type) return add_linear(o, c);
    if (t == &linterm_type) return add_linear(as_lin(o)->var, c * as_lin(o)->coef);
    return add_scaled_other(o, c, number_first);
  }

  // a * b for two operands.
  int add_product(PyObject *a, PyObject *b) {
    PyTypeObject *ta = Py_TYPE(a), *tb = Py_TYPE(b);
    if (e_) {
      bool la = ta == &var_type || ta == &linterm_type, lb = tb == &var_type || tb == &linterm_type;
      if (la && lb) {
        double ca = ta == &var_type ? 1.0 : as_lin(a)->coef, cb = tb == &var_type ? 1.0 : as_lin(b)->coef;
        PyObject *va = ta == &var_type ? a : as_lin(a)->var, *vb = tb == &var_type ? b : as_lin(b)->var;
        return expr_add_quadratic(e_, va, vb, ca * cb);
      }
      if (la && is_number(b)) {
        double v = number_value(b);
        if (v == -1.0 && PyErr_Occurred()) return -1;
        return add_scaled(a, v, false);
      }
      if (lb && is_number(a)) {
        double v = number_value(a);
        if (v == -1.0 && PyErr_Occurred()) return -1;
        return add_scaled(b, v, true);
      }
    }
    nb::object hold_a = nb::borrow(a), hold_b = nb::borrow(b);
    nb::object term = nb::steal(alg_mul(a, b));
    return term ? add_term(term.ptr()) : -1;
  }

  // The finished element (a new reference).
  nb::object finish() {
    e_ = nullptr;
    return std::move(acc_);
  }

 private:
  int add_linear_checked(PyObject *var, double c) {
    if (!e_) {
      nb::object term = nb::steal(make_linterm(c, var));
      return term ? add_term(term.ptr()) : -1;
    }
    if (expr_add_linear(e_, var, c) < 0) return -1;
    // Every variable of the expression now shares this owner: later ones need only compare.
    owner_ = as_var(var)->owner;
    owner_known_ = true;
    return 0;
  }

  int add_scaled_other(PyObject *o, double c, bool number_first) {
    int kind = operand_kind(o);
    if (kind < 0) return -1;
    if (e_ && kind == K_NUMBER) {
      double v = number_value(o);
      if (v == -1.0 && PyErr_Occurred()) return -1;
      e_->constant += c * v;
      return 0;
    }
    if (e_ && (kind == K_QUAD || kind == K_EXPR)) return expr_iadd(e_, o, c);
    nb::object hold = nb::borrow(o);
    nb::object factor = nb::steal(PyFloat_FromDouble(c));
    if (!factor) return -1;
    nb::object term = nb::steal(number_first ? alg_mul(factor.ptr(), o) : alg_mul(o, factor.ptr()));
    return term ? add_term(term.ptr()) : -1;
  }

  // Adds a product the algebra has formed.
  int add_term(PyObject *t) {
    if (e_) {
      switch (kind_of(t)) {
        case K_VAR: return add_linear(t, 1.0);
        case K_LIN: return add_linear(as_lin(t)->var, as_lin(t)->coef);
        case K_NUMBER:
        case K_QUAD:
        case K_EXPR: return expr_iadd(e_, t, 1.0);
        default: break;
      }
    }
    nb::object next = nb::steal(alg_iadd(acc_.ptr(), t, 1.0));
    if (!next) return -1;
    acc_ = std::move(next);
    e_ = Py_TYPE(acc_.ptr()) == &expression_type ? as_expr(acc_.ptr()) : nullptr;
    return 0;
  }

  nb::object acc_;
  ExpressionObject *e_ = nullptr;  // acc_ while it is an expression
  ProblemObject *owner_ = nullptr;
  bool owner_known_ = false;
};

}  // namespace kelvo
