// Shared operations of the expression algebra: operand classification, the first-variable
// search and compatibility check, amending expressions, and scaled copies.
#include <cmath>
#include <new>
#include <vector>

#include "expr/expr.h"
#include "numpy/numpy.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

PyObject *expr_error(const char *msg) {
  PyErr_SetString(g.ModelError, msg);
  return nullptr;
}

static int expr_error_int(const char *msg) {
  PyErr_SetString(g.ModelError, msg);
  return -1;
}

bool is_number(PyObject *o) {
  if (PyFloat_Check(o) || PyLong_Check(o)) return true;
  PyTypeObject *t = Py_TYPE(o);
  return t == &PyHalfArrType_Type || t == &PyFloatArrType_Type || t == &PyDoubleArrType_Type ||
         t == &PyByteArrType_Type || t == &PyShortArrType_Type || t == &PyIntArrType_Type ||
         t == &PyLongArrType_Type || t == &PyLongLongArrType_Type;
}

int kind_of(PyObject *o) {
  PyTypeObject *t = Py_TYPE(o);
  if (t == &var_type) return K_VAR;
  if (t == &linterm_type) return K_LIN;
  if (t == &quadterm_type) return K_QUAD;
  if (t == &expression_type) return K_EXPR;
  if (t == &nonlinear_type) return K_NONLIN;
  return is_number(o) ? K_NUMBER : K_INVALID;
}

int operand_kind(PyObject *o) {
  int k = kind_of(o);
  if (k == K_INVALID) PyErr_Format(g.ModelError, "Invalid object in operation: <%S>", o);
  return k;
}

bool constant_value(PyObject *o, double *value) {
  if (is_constant_expr(o)) {
    *value = as_expr(o)->constant;
    return true;
  }
  if (!is_number(o)) return false;
  *value = number_value(o);
  if (*value == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return false;
  }
  return true;
}

PyObject *make_linterm(double coef, PyObject *var) {
  if (coef == 0.0) return PyFloat_FromDouble(0.0);
  auto *t = PyObject_New(LintermObject, &linterm_type);
  if (!t) return nullptr;
  t->coef = coef;
  t->var = Py_NewRef(var);
  return reinterpret_cast<PyObject *>(t);
}

PyObject *make_quadterm(double coef, PyObject *a, PyObject *b) {
  if (check_compatible(a, b) < 0) return nullptr;
  if (var_key(b) < var_key(a)) std::swap(a, b);
  auto *t = PyObject_New(QuadtermObject, &quadterm_type);
  if (!t) return nullptr;
  t->coef = coef;
  t->var1 = Py_NewRef(a);
  t->var2 = Py_NewRef(b);
  return reinterpret_cast<PyObject *>(t);
}

ExpressionObject *new_expression() {
  auto *e = PyObject_New(ExpressionObject, &expression_type);
  if (!e) return nullptr;
  e->constant = 0.0;
  e->lin = nullptr;
  e->quad = nullptr;
  e->serials = nullptr;
  e->in_constraint = false;
  return e;
}

// The variable a leaf operand holds first (borrowed, or null); -1 for an object of no known kind.
static int leaf_var(PyObject *o, PyObject **var) {
  PyObject *v = nullptr;
  switch (kind_of(o)) {
    case K_VAR:
      v = o;
      break;
    case K_LIN:
      v = as_lin(o)->var;
      break;
    case K_QUAD:
      v = as_quad(o)->var1;
      break;
    case K_EXPR: {
      ExpressionObject *e = as_expr(o);
      if (e->lin && !e->lin->empty())
        v = e->lin->some_key();
      else if (e->quad && !e->quad->empty())
        v = e->quad->begin()->first;
      break;
    }
    case K_NUMBER:
      break;
    default:
      return expr_error_int("Invalid operand in expression");
  }
  *var = v;
  return 0;
}

// Most searches end by following the first operand at every level. 1 when that finds a
// variable (in *var), 0 when it cannot tell, -1 on error.
static int first_operand_var(PyObject *o, PyObject **var) {
  for (;;) {
    NonlinearObject *n = as_nl(o);
    // Deep chains keep their first leaf every few nodes.
    if (n->fixed_depth >= first_leaf_stride && n->fixed_depth % first_leaf_stride == 0)
      if (PyObject *leaf = first_leaf(n)) {
        if (leaf_var(leaf, var) < 0) return -1;
        return *var ? 1 : 0;
      }
    Py_ssize_t count;
    PyObject **items = node_operands(n, &count);
    Py_ssize_t first = (is_user_op(n->op) && items != &n->args) ? 1 : 0;
    if (first >= count) return 0;
    o = items[first];
    if (kind_of(o) == K_NONLIN) continue;
    if (leaf_var(o, var) < 0) return -1;
    return *var ? 1 : 0;
  }
}

int first_var(PyObject *o, PyObject **var) {
  PyObject *v = nullptr;
  if (Py_TYPE(o) != &nonlinear_type) {
    if (leaf_var(o, &v) < 0) return -1;
  } else if (int found = first_operand_var(o, &v); found <= 0) {
    if (found < 0) return -1;
    // Depth-first search in argument order, on an explicit stack: trees may be far deeper than
    // the C stack allows. Nothing here runs Python code, so the item arrays stay valid.
    struct Frame {
      PyObject **items = nullptr;
      Py_ssize_t next = 0, count = 0;
    };
    WalkStack<Frame, 32> stack;
    auto push = [&stack](PyObject *node) __attribute__((always_inline)) {
      NonlinearObject *n = as_nl(node);
      Frame f;
      f.items = node_operands(n, &f.count);
      f.next = (is_user_op(n->op) && f.items != &n->args) ? 1 : 0;
      return stack.push(std::move(f));
    };
    if (!push(o)) return -1;
    while (!stack.empty() && !v) {
      Frame &f = stack.back();
      if (f.next == f.count) {
        stack.pop();
        continue;
      }
      PyObject *item = f.items[f.next++];
      if (kind_of(item) == K_NONLIN) {
        if (!push(item)) return -1;
      } else if (leaf_var(item, &v) < 0) {
        return -1;
      }
    }
  }
  if (v && as_var(v)->owner == deleted_marker) return expr_error_int("Deleted variable in expression");
  *var = v;
  return 0;
}

int check_compatible(PyObject *a, PyObject *b, bool *unlinked) {
  PyObject *va = nullptr, *vb = nullptr;
  if (first_var(a, &va) < 0 || first_var(b, &vb) < 0) return -1;
  if (unlinked) *unlinked = (va && is_unlinked_var(va)) || (vb && is_unlinked_var(vb));
  if (va && vb && as_var(va)->owner != as_var(vb)->owner) {
    if (!as_var(va)->owner || !as_var(vb)->owner)
      return expr_error_int("Linked variables and unlinked variables cannot be combined in expression");
    return expr_error_int("Variables from different problems in expression");
  }
  return 0;
}

// Map primitives: no checks, no error reporting beyond std::bad_alloc.

static void lin_add_raw(LinMap &m, PyObject *var, double coef) { lin_map_add(m, var, coef); }

static void quad_add_raw(QuadMap &q, PyObject *a, PyObject *b, double coef) {
  auto it = q.find(a);
  if (it == q.end()) {
    if (coef == 0.0) return;
    auto *inner = new LinMap();
    try {
      q.emplace(a, inner);
    } catch (...) {
      delete inner;
      throw;
    }
    Py_INCREF(a);
    inner->emplace(b, coef);
    Py_INCREF(b);
    return;
  }
  LinMap *inner = it->second;
  lin_add_raw(*inner, b, coef);
  if (inner->empty()) {
    q.erase(it);
    delete inner;
    Py_DECREF(a);
  }
}

FlatLinear *FlatLinear::create(PyObject *table, size_t capacity) {
  // The record, then the indices, then the coefficients, each part aligned for its type.
  size_t idx_at = (sizeof(FlatLinear) + 7) & ~size_t{7};
  size_t coef_at = (idx_at + capacity * sizeof(uint32_t) + 7) & ~size_t{7};
  void *block = PyMem_RawMalloc(coef_at + capacity * sizeof(double));
  if (!block) return nullptr;
  auto *f = static_cast<FlatLinear *>(block);
  f->table = Py_NewRef(table);
  f->n = 0;
  f->idx = reinterpret_cast<uint32_t *>(static_cast<char *>(block) + idx_at);
  f->coef = reinterpret_cast<double *>(static_cast<char *>(block) + coef_at);
  return f;
}

void FlatLinear::destroy(FlatLinear *f) {
  Py_DECREF(f->table);
  PyMem_RawFree(f);
}

void LinMap::hash_flat() const {
  FlatLinear *f = flat_;
  map_.reserve(f->n);  // may throw: nothing has changed yet
  for (uint32_t i = 0; i < f->n; ++i) map_.emplace(f->var(i), f->coef[i]);
  // The keys take their own references before the tuple's goes.
  for (auto &entry : map_) Py_INCREF(entry.first);
  flat_ = nullptr;
  FlatLinear::destroy(f);
}

static void free_lin(LinMap *m) {
  if (!m) return;
  if (m->flat()) {  // one reference for all its variables
    delete m;
    return;
  }
  for_each_fetching_ahead<1>(*m, [](const std::pair<PyObject *, double> &entry) {
    Py_DECREF(entry.first);
    return 0;
  });
  delete m;
}

static void free_quad(QuadMap *q) {
  if (!q) return;
  for (auto &entry : *q) {
    free_lin(entry.second);
    Py_DECREF(entry.first);
  }
  delete q;
}

void expression_clear(ExpressionObject *e) {
  free_lin(e->lin);
  free_quad(e->quad);
  delete e->serials;
  e->lin = nullptr;
  e->quad = nullptr;
  e->serials = nullptr;
}

static void record_serials(ExpressionObject *e, PyObject *a, PyObject *b) {
  if (!is_unlinked_var(a)) return;
  if (!e->serials) e->serials = new SerialSet();
  e->serials->insert(var_key(a));
  e->serials->insert(var_key(b));
}

int expr_add_linear(ExpressionObject *e, PyObject *var, double coef) {
  if (check_compatible(reinterpret_cast<PyObject *>(e), var) < 0) return -1;
  try {
    if (!e->lin) {
      if (coef == 0.0) return 0;
      e->lin = new LinMap();
    }
    lin_add_raw(*e->lin, var, coef);
  } catch (...) {
    return expr_error_int("Error amending linear expression");
  }
  return 0;
}

int expr_set_linear(ExpressionObject *e, PyObject *var, double coef) {
  try {
    if (e->lin) {
      if (check_compatible(reinterpret_cast<PyObject *>(e), var) < 0) return -1;
      auto it = e->lin->find(var);
      if (it != e->lin->end()) {
        if (coef == 0.0) {
          e->lin->erase(it);
          Py_DECREF(var);
        } else {
          it.value() = coef;
        }
        return 0;
      }
    } else if (coef != 0.0) {
      if (check_compatible(reinterpret_cast<PyObject *>(e), var) < 0) return -1;
      e->lin = new LinMap();
    }
    if (coef != 0.0) {
      e->lin->emplace(var, coef);
      Py_INCREF(var);
    }
  } catch (...) {
    return expr_error_int("Error amending expression");
  }
  return 0;
}

static int quad_amend(ExpressionObject *e, PyObject *a, PyObject *b, double coef, const char *msg) {
  if (var_key(b) < var_key(a)) std::swap(a, b);
  if (check_compatible(reinterpret_cast<PyObject *>(e), a) < 0 || check_compatible(a, b) < 0) return -1;
  try {
    if (!e->quad) e->quad = new QuadMap();
    record_serials(e, a, b);
    quad_add_raw(*e->quad, a, b, coef);
  } catch (...) {
    return expr_error_int(msg);
  }
  return 0;
}

int expr_add_quadratic(ExpressionObject *e, PyObject *a, PyObject *b, double coef) {
  return quad_amend(e, a, b, coef, "Cannot amend quadratic expression");
}

int expr_set_quadratic(ExpressionObject *e, PyObject *a, PyObject *b, double coef) {
  if (coef == 0.0 && !e->quad) return 0;
  return quad_amend(e, a, b, coef, "Error setting quadratic expression");
}

// Adds f times the parts of src into e; the caller has checked compatibility.
static void merge_expression(ExpressionObject *e, ExpressionObject *src, double f) {
  e->constant += f * src->constant;
  if (src->lin && !src->lin->empty()) {
    if (!e->lin) e->lin = new LinMap();
    for (auto &entry : *src->lin) lin_add_raw(*e->lin, entry.first, f * entry.second);
  }
  if (src->quad && !src->quad->empty()) {
    if (!e->quad) e->quad = new QuadMap();
    for (auto &outer : *src->quad)
      for (auto &inner : *outer.second) {
        record_serials(e, outer.first, inner.first);
        quad_add_raw(*e->quad, outer.first, inner.first, f * inner.second);
      }
  }
}

int expr_iadd(ExpressionObject *e, PyObject *o, double f) {
  switch (operand_kind(o)) {
    case K_NUMBER: {
      double v = number_value(o);
      if (v == -1.0 && PyErr_Occurred()) return -1;
      e->constant += f * v;
      return 0;
    }
    case K_VAR:
      return expr_add_linear(e, o, f);
    case K_LIN:
      return expr_add_linear(e, as_lin(o)->var, f * as_lin(o)->coef);
    case K_QUAD:
      return expr_add_quadratic(e, as_quad(o)->var1, as_quad(o)->var2, f * as_quad(o)->coef);
    case K_EXPR: {
      if (check_compatible(reinterpret_cast<PyObject *>(e), o) < 0) return -1;
      auto *src = as_expr(o);
      if (src == e) {
        // e += f*e: scale instead of iterating a map while it changes.
        if (f != -1.0) return expr_scale(e, 1.0 + f);
        expression_clear(e);
        e->constant = 0.0;
        return 0;
      }
      try {
        merge_expression(e, src, f);
      } catch (...) {
        return expr_error_int(src->quad ? "Could not add quadratic part" : "Could not add linear part");
      }
      return 0;
    }
    case K_NONLIN:
      return expr_error_int("Invalid object in operation");
    default:
      return -1;
  }
}

int expr_scale(ExpressionObject *e, double f) {
  e->constant *= f;
  if (e->lin) {
    for (auto it = e->lin->begin(); it != e->lin->end();) {
      double v = it->second * f;
      if (v == 0.0) {
        PyObject *var = it->first;
        it = e->lin->erase(it);
        Py_DECREF(var);
      } else {
        it.value() = v;
        ++it;
      }
    }
  }
  if (e->quad) {
    for (auto ot = e->quad->begin(); ot != e->quad->end();) {
      LinMap *inner = ot->second;
      for (auto it = inner->begin(); it != inner->end();) {
        double v = it->second * f;
        if (v == 0.0) {
          PyObject *var = it->first;
          it = inner->erase(it);
          Py_DECREF(var);
        } else {
          it.value() = v;
          ++it;
        }
      }
      if (inner->empty()) {
        PyObject *var = ot->first;
        delete inner;
        ot = e->quad->erase(ot);
        Py_DECREF(var);
      } else {
        ++ot;
      }
    }
  }
  return 0;
}

// A copy of m with every coefficient times f (a straight copy when f is 1 within 1e-15).
// A table that is not mostly empty is copied as it is, which spares rehashing every key;
// entries that would be zero are dropped.
static LinMap *copy_lin(const LinMap &m, double f) {
  bool scale = std::fabs(f - 1.0) > 1e-15;
  LinMap *out;
  if (m.size() * 8 >= m.bucket_count()) {
    out = new LinMap(m);
    for (auto it = out->begin(); it != out->end();) {
      if ((scale ? it->second * f : it->second) == 0.0)
        it = out->erase(it);
      else
        ++it;
    }
    if (scale)
      for (auto it = out->begin(); it != out->end(); ++it) it.value() *= f;
  } else {
    out = new LinMap();
    try {
      out->reserve(m.size());
      for (auto &entry : m) {
        double v = scale ? entry.second * f : entry.second;
        if (v != 0.0) out->emplace(entry.first, v);
      }
    } catch (...) {
      delete out;  // no reference taken yet
      throw;
    }
  }
  for_each_fetching_ahead<1>(*out, [](const std::pair<PyObject *, double> &entry) {
    Py_INCREF(entry.first);
    return 0;
  });
  return out;
}

PyObject *expr_from_object(PyObject *o, double f) {
  int kind = kind_of(o);
  if (kind == K_NONLIN) return nl_scaled_copy(o, f);
  PyObject *found = nullptr;
  if (first_var(o, &found) < 0) return nullptr;
  bool unlinked = found && is_unlinked_var(found);
  ExpressionObject *e = new_expression();
  nb::object owner = nb::steal(reinterpret_cast<PyObject *>(e));
  if (!e || f == 0.0) return owner.release().ptr();
  const char *msg = "Cannot copy expression";
  try {
    switch (kind) {
      case K_NUMBER: {
        double v = number_value(o);
        if (v == -1.0 && PyErr_Occurred()) return nullptr;
        e->constant = v * f;
        break;
      }
      case K_VAR:
        e->lin = new LinMap();
        e->lin->emplace(o, f);
        Py_INCREF(o);
        break;
      case K_LIN:
        msg = "Cannot copy linear term into expression";
        e->lin = new LinMap();
        lin_add_raw(*e->lin, as_lin(o)->var, f * as_lin(o)->coef);
        break;
      case K_QUAD: {
        msg = "Cannot copy quadratic term into expression";
        auto *q = as_quad(o);
        e->quad = new QuadMap();
        if (unlinked) record_serials(e, q->var1, q->var2);
        // Stored as it is, even a zero coefficient of the term.
        auto *inner = new LinMap();
        try {
          inner->emplace(q->var2, f * q->coef);
          e->quad->emplace(q->var1, inner);
        } catch (...) {
          delete inner;
          throw;
        }
        Py_INCREF(q->var1);
        Py_INCREF(q->var2);
        break;
      }
      case K_EXPR: {
        auto *src = as_expr(o);
        e->constant = f * src->constant;
        if (src->lin) e->lin = copy_lin(*src->lin, f);
        if (src->quad) {
          e->quad = new QuadMap();
          if (unlinked && src->serials) e->serials = new SerialSet(*src->serials);
          e->quad->reserve(src->quad->size());
          for (auto &outer : *src->quad) {
            LinMap *inner = copy_lin(*outer.second, f);
            if (inner->empty()) {
              delete inner;
              continue;
            }
            try {
              e->quad->emplace(outer.first, inner);
            } catch (...) {
              free_lin(inner);
              throw;
            }
            Py_INCREF(outer.first);
          }
        }
        break;
      }
      default:
        PyErr_SetString(g.ModelError, "Invalid operand in expression");
        return nullptr;
    }
  } catch (...) {
    PyErr_SetString(g.ModelError, msg);
    return nullptr;
  }
  return owner.release().ptr();
}

// f times a copy (a new reference, null on error) of an array or sequence, through the number
// protocol.
static PyObject *scaled_by_protocol(PyObject *made_copy, double f) {
  nb::object copy = nb::steal(made_copy);
  if (!copy || f == 1.0) return copy.release().ptr();
  nb::object factor = nb::steal(PyFloat_FromDouble(f));
  return factor ? PyNumber_Multiply(factor.ptr(), copy.ptr()) : nullptr;
}

PyObject *scaled_copy(PyObject *o, double f) {
  if (PyArray_Check(o)) return scaled_by_protocol(PyArray_NewCopy(reinterpret_cast<PyArrayObject *>(o), NPY_CORDER), f);
  switch (kind_of(o)) {
    case K_NUMBER: {
      if (f == 1.0) return Py_NewRef(o);
      double v = number_value(o);
      if (v == -1.0 && PyErr_Occurred()) return nullptr;
      return PyFloat_FromDouble(v * f);
    }
    case K_VAR:
      if (f == 1.0) return Py_NewRef(o);
      return make_linterm(f, o);
    case K_LIN:
      return make_linterm(f * as_lin(o)->coef, as_lin(o)->var);
    case K_QUAD:
      return make_quadterm(f * as_quad(o)->coef, as_quad(o)->var1, as_quad(o)->var2);
    case K_EXPR:
      return expr_from_object(o, f);
    case K_NONLIN:
      return nl_scaled_copy(o, f);
    default:
      break;
  }
  if (PySequence_Check(o) && !PyUnicode_Check(o)) return scaled_by_protocol(PySequence_Repeat(o, 1), f);
  return expr_error("Invalid object being copied");
}

}  // namespace kelvo
