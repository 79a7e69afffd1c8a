// Printed forms of terms, expressions and nonlinear trees (str and repr are the same).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "expr/expr.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

constexpr int term_buffer = 1024;  // one printed term
constexpr int name_buffer = 512;   // a product of two names
constexpr int tree_depth = 64;

// UTF-8 name of a variable into out; false with an error set.
static bool name_of(PyObject *v, std::string &out) {
  nb::object s = nb::steal(var_name(as_var(v)));
  if (!s) return false;
  const char *text = PyUnicode_AsUTF8(s.ptr());
  if (text) out = text;
  return text != nullptr;
}

static std::string format_g(double v) {
  char buf[64];
  snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// "x * y" or "x ** 2".
static bool product_text(PyObject *a, PyObject *b, std::string &out) {
  std::string na, nb;
  if (!name_of(a, na)) return false;
  char buf[name_buffer];
  if (a == b) {
    snprintf(buf, sizeof buf, "%s ** 2", na.c_str());
  } else {
    if (!name_of(b, nb)) return false;
    snprintf(buf, sizeof buf, "%s * %s", na.c_str(), nb.c_str());
  }
  out = buf;
  return true;
}

// A single term: "" for 1, "-" for -1, else "%g * " before the term text.
static std::string single_term(double coef, const std::string &text) {
  char buf[term_buffer];
  if (coef == 1.0)
    snprintf(buf, sizeof buf, "%s", text.c_str());
  else if (coef == -1.0)
    snprintf(buf, sizeof buf, "-%s", text.c_str());
  else
    snprintf(buf, sizeof buf, "%g * %s", coef, text.c_str());
  return buf;
}

static bool linterm_text(PyObject *o, std::string &out) {
  std::string name;
  if (!name_of(as_lin(o)->var, name)) return false;
  out = single_term(as_lin(o)->coef, name);
  return true;
}

static bool quadterm_text(PyObject *o, std::string &out) {
  std::string product;
  if (!product_text(as_quad(o)->var1, as_quad(o)->var2, product)) return false;
  out = single_term(as_quad(o)->coef, product);
  return true;
}

// One term of an expression, first in the text or after others.
static void expression_term(std::string &out, bool first, double c, const std::string &t) {
  char buf[term_buffer];
  if (first) {
    if (std::fabs(c) == 1.0)
      snprintf(buf, sizeof buf, "%s%s", c < 0 ? "-" : "", t.c_str());
    else
      snprintf(buf, sizeof buf, "%g * %s", c, t.c_str());
  } else {
    if (std::fabs(c) == 1.0)
      snprintf(buf, sizeof buf, " %s %s", c < 0 ? "-" : "+", t.c_str());
    else
      snprintf(buf, sizeof buf, " %s %g * %s", c >= 0 ? "+" : "-", std::fabs(c), t.c_str());
  }
  out += buf;
}

static bool by_key(PyObject *a, PyObject *b) { return var_key(a) < var_key(b); }

static bool expression_text(PyObject *o, std::string &out) {
  ExpressionObject *e = as_expr(o);
  // The variables are held: reading a name calls the library, whose message handlers are
  // Python code that may change the expression.
  std::vector<std::pair<nb::object, double>> lin;
  if (e->lin)
    for (auto &entry : *e->lin)
      if (entry.second != 0.0) lin.emplace_back(nb::borrow(entry.first), entry.second);
  struct Quad {
    nb::object a, b;
    double c;
  };
  std::vector<Quad> quad;
  if (e->quad)
    for (auto &outer : *e->quad)
      for (auto &inner : *outer.second) quad.push_back({nb::borrow(outer.first), nb::borrow(inner.first), inner.second});
  std::sort(lin.begin(), lin.end(), [](auto &x, auto &y) { return by_key(x.first.ptr(), y.first.ptr()); });
  std::sort(quad.begin(), quad.end(), [](const Quad &x, const Quad &y) {
    if (var_key(x.a.ptr()) != var_key(y.a.ptr())) return var_key(x.a.ptr()) < var_key(y.a.ptr());
    return var_key(x.b.ptr()) < var_key(y.b.ptr());
  });

  out.clear();
  bool terms = !lin.empty() || !quad.empty();
  // Adding zero turns a constant of -0 into 0, so that a zero expression prints as "0".
  if (e->constant != 0.0 || !terms) out = format_g(e->constant + 0.0);
  for (auto &entry : lin) {
    std::string name;
    if (!name_of(entry.first.ptr(), name)) return false;
    expression_term(out, out.empty(), entry.second, name);
  }
  for (auto &q : quad) {
    std::string product;
    if (!product_text(q.a.ptr(), q.b.ptr(), product)) return false;
    expression_term(out, out.empty(), q.c, product);
  }
  return true;
}

// Binding strength of an operand for parentheses; -1 for atoms.
static int precedence(PyObject *o) {
  switch (kind_of(o)) {
    case K_LIN: {
      double c = as_lin(o)->coef;
      return (c == 0.0 || c == 1.0) ? -1 : 3;
    }
    case K_QUAD:
      return as_quad(o)->coef == 0.0 ? -1 : 3;
    case K_EXPR: {
      ExpressionObject *e = as_expr(o);
      size_t items = (e->constant != 0.0) + (e->lin ? e->lin->size() : 0);
      if (e->quad)
        for (auto &outer : *e->quad) items += outer.second->size();
      if (items == 0) return -1;
      if (items == 1) return e->constant != 0.0 ? -1 : 3;
      return 2;
    }
    case K_NONLIN: {
      int32_t op = as_nl(o)->op;
      return (op >= 0 && op < OP_COUNT) ? op_table[op].precedence : -1;
    }
    default:
      return -1;
  }
}

static bool object_text(PyObject *o, std::string &out) {
  nb::object s = nb::steal(PyObject_Str(o));
  if (!s) return false;
  const char *text = PyUnicode_AsUTF8(s.ptr());
  if (text) out = text;
  return text != nullptr;
}

static bool tree_text(PyObject *o, int depth, std::string &out) {
  int kind = kind_of(o);
  if (kind == K_NUMBER) return object_text(o, out);
  if (depth < 0) {
    out = "[MAX RECURS LEV]";
    return true;
  }
  switch (kind) {
    case K_VAR:
      return name_of(o, out);
    case K_LIN:
      return linterm_text(o, out);
    case K_QUAD:
      return quadterm_text(o, out);
    case K_EXPR:
      return expression_text(o, out);
    case K_NONLIN:
      break;
    default:
      if (PyCallable_Check(o)) {
        out = "user";
        return true;
      }
      PyErr_SetString(g.ModelError, "Unexpected object in nonlinear expression");
      return false;
  }
  NonlinearObject *n = as_nl(o);
  if (n->op < 0 || n->op >= OP_COUNT) {
    PyErr_SetString(g.ModelError, "Unexpected object in nonlinear expression");
    return false;
  }
  const OpInfo &info = op_table[n->op];
  if (info.arity == 1) {
    if (!n->args) {
      PyErr_SetString(g.ModelError, "Invalid unary nonlinear expression");
      return false;
    }
    std::string child;
    nb::object arg = nb::borrow(n->args);
    if (!tree_text(arg.ptr(), depth - 1, child)) return false;
    bool parens = true;
    if (n->op == OP_UMINUS) {
      int p = precedence(arg.ptr());
      parens = p > 0 && p < 4;
    }
    out = std::string(info.name) + (parens ? "(" : "") + child + (parens ? ")" : "");
    return true;
  }
  // The operands are held: a number's __str__ may change the node's list.
  std::vector<nb::object> args;
  if (PyList_Check(n->args) || PyTuple_Check(n->args)) {
    Py_ssize_t size = PySequence_Fast_GET_SIZE(n->args);
    for (Py_ssize_t i = 0; i < size; ++i) args.push_back(nb::borrow(PySequence_Fast_GET_ITEM(n->args, i)));
  } else if (n->args) {
    args.push_back(nb::borrow(n->args));
  }
  bool function = info.form != 0;
  if (args.empty()) {
    out = function ? std::string(info.name) + "()" : "0";
    return true;
  }
  out = function ? std::string(info.name) + "(" : "";
  std::string separator = function ? ", " : std::string(" ") + info.name + " ";
  for (size_t i = 0; i < args.size(); ++i) {
    std::string child;
    if (!tree_text(args[i].ptr(), depth - 1, child)) return false;
    if (i > 0) out += separator;
    int P = info.precedence, p = precedence(args[i].ptr());
    bool parens = !function && P > 0 && p > 0 &&
                  (p < P || (p == P && i > 0 && (n->op == OP_DIV || n->op == OP_MINUS)));
    out += parens ? "(" + child + ")" : child;
  }
  if (function) out += ")";
  return true;
}

static PyObject *to_str(bool ok, const std::string &text) {
  return ok ? PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())) : nullptr;
}

PyObject *linterm_str(PyObject *o) {
  std::string text;
  bool ok = linterm_text(o, text);
  return to_str(ok, text);
}

PyObject *quadterm_str(PyObject *o) {
  std::string text;
  bool ok = quadterm_text(o, text);
  return to_str(ok, text);
}

PyObject *expression_str(PyObject *o) {
  std::string text;
  bool ok = expression_text(o, text);
  return to_str(ok, text);
}

PyObject *nonlinear_str(PyObject *o) {
  std::string text;
  bool ok = tree_text(o, tree_depth, text);
  return to_str(ok, text);
}

}  // namespace kelvo
