// kelvo.nonlinear: expression trees of operator nodes, their builders and their arithmetic.
#include "expr/expr.h"

#include <nanobind/nanobind.h>

#include <climits>
#include <cstdint>
#include <new>
#include <vector>

namespace nb = nanobind;

namespace kelvo {

PyTypeObject nonlinear_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

const OpInfo op_table[OP_COUNT] = {
    {"+", -1, 0, 2},       {"-", 2, 0, 2},        {"-", 1, -1, 4},      {"*", -1, 0, 3},
    {"/", 2, 0, 3},        {"**", 2, 0, 5},       {"exp", 1, -1, -1},   {"log", 1, -1, -1},
    {"log10", 1, -1, -1},  {"sin", 1, -1, -1},    {"cos", 1, -1, -1},   {"tan", 1, -1, -1},
    {"asin", 1, -1, -1},   {"acos", 1, -1, -1},   {"atan", 1, -1, -1},  {"max", -1, -1, -1},
    {"min", -1, -1, -1},   {"abs", 1, -1, -1},    {"sign", 1, -1, -1},  {"erf", 1, -1, -1},
    {"erfc", 1, -1, -1},   {"sqrt", 1, -1, -1},   {"pwl", -1, -1, -1},  {"sum", -1, -1, -1},
    {"prod", -1, -1, -1},  {"and", -1, -1, -1},   {"or", -1, -1, -1},   {"user", -1, -1, -1},
    {"user", -1, -1, -1},  {"user", -1, -1, -1},
};

const int32_t op_token_class[OP_COUNT] = {31, 31, 31, 31, 31, 31, 12, 12, 12, 12, 12, 12, 12, 12, 12,
                                          12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 11, 11, 11};

static bool is_node(PyObject *o, int32_t op) {
  return Py_TYPE(o) == &nonlinear_type && as_nl(o)->op == op;
}

// A number equal to v (no error left behind).
static bool number_equals(PyObject *o, double v) {
  if (!is_number(o)) return false;
  double x = number_value(o);
  if (x == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return false;
  }
  return x == v;
}

// Leaves of the nodes whose fixed_depth is a multiple of the stride; entries leave with
// their nodes. Under the interpreter lock.
static tsl::robin_map<const NonlinearObject *, PyObject *> *deep_leaves = nullptr;

static bool has_leaf_entry(const NonlinearObject *n) {
  return n->fixed_depth > 0 && n->fixed_depth % first_leaf_stride == 0;
}

PyObject *first_leaf(NonlinearObject *n) {
  if (!deep_leaves) return nullptr;
  auto it = deep_leaves->find(n);
  return it == deep_leaves->end() ? nullptr : it->second;
}

// The first operand of a node with fixed operands, or null.
static PyObject *fixed_first(int32_t op, PyObject *args) {
  if (!args || PyList_Check(args)) return nullptr;
  if (!PyTuple_Check(args)) return args;
  Py_ssize_t i = is_user_op(op) ? 1 : 0;
  return PyTuple_GET_SIZE(args) > i ? PyTuple_GET_ITEM(args, i) : nullptr;
}

// Sets n's fixed_depth and, every stride nodes, its table entry, found in at most a stride of
// steps from the entry below. Without memory for the entry the search just walks further.
static void note_first_leaf(NonlinearObject *n) {
  n->fixed_depth = 0;
  PyObject *first = fixed_first(n->op, n->args);
  if (!first) return;
  if (Py_TYPE(first) != &nonlinear_type) {
    n->fixed_depth = 1;
    return;
  }
  int32_t below = as_nl(first)->fixed_depth;
  if (below == 0 || below == INT32_MAX) return;
  n->fixed_depth = below + 1;
  if (!has_leaf_entry(n)) return;
  PyObject *o = first;
  while (Py_TYPE(o) == &nonlinear_type) {
    NonlinearObject *m = as_nl(o);
    if (has_leaf_entry(m))
      if (PyObject *leaf = first_leaf(m)) {
        o = leaf;
        break;
      }
    o = fixed_first(m->op, m->args);
  }
  try {
    if (!deep_leaves) deep_leaves = new tsl::robin_map<const NonlinearObject *, PyObject *>();
    deep_leaves->emplace(n, o);
  } catch (const std::bad_alloc &) {
  }
}

NonlinearObject *new_node(int32_t op, PyObject *args) {
  auto *n = PyObject_New(NonlinearObject, &nonlinear_type);
  if (!n) {
    Py_XDECREF(args);
    return nullptr;
  }
  n->args = args;
  n->op = op;
  note_first_leaf(n);
  return n;
}

static PyObject *node(int32_t op, PyObject *args) { return reinterpret_cast<PyObject *>(new_node(op, args)); }

PyObject *unary_node(int32_t op, PyObject *operand) {
  if (PyList_Check(operand) || PyTuple_Check(operand))
    return expr_error("Could not create a unary nonlinear expression: the argument must be a single expression");
  if (kind_of(operand) == K_INVALID) return expr_error("Invalid object in unary nonlinear expression");
  PyObject *v;
  if (first_var(operand, &v) < 0) return nullptr;
  return node(op, Py_NewRef(operand));
}

PyObject *nary_node(int32_t op, PyObject *container) {
  if (!PyList_Check(container) && !PyTuple_Check(container))
    return expr_error(
        "Could not create an n-ary nonlinear expression: the arguments must be in a list or tuple");
  Py_ssize_t n = PySequence_Fast_GET_SIZE(container);
  PyObject **items = PySequence_Fast_ITEMS(container);
  Py_ssize_t start = 0;
  if (is_user_op(op)) {
    if (n == 0 || !PyCallable_Check(items[0]))
      return expr_error("First argument in a user function expression must be a function");
    start = 1;
  }
  PyObject *holder = nullptr;  // first element that holds a variable
  for (Py_ssize_t i = start; i < n; ++i) {
    if (kind_of(items[i]) == K_INVALID) return expr_error("Invalid object in n-ary nonlinear expression");
    if (holder) {
      if (check_compatible(holder, items[i]) < 0) return nullptr;
    } else {
      PyObject *v;
      if (first_var(items[i], &v) < 0) return nullptr;
      if (v) holder = items[i];
    }
  }
  return node(op, Py_NewRef(container));
}

PyObject *binary_node(int32_t op, PyObject *a, PyObject *b) {
  if (operand_kind(a) < 0 || operand_kind(b) < 0) return nullptr;
  if (check_compatible(a, b) < 0) return nullptr;
  if (op == OP_PLUS || op == OP_MUL || op == OP_AND || op == OP_OR) {
    if (is_number(a)) std::swap(a, b);
    PyObject *list = PyList_New(2);
    if (!list) return nullptr;
    PyList_SET_ITEM(list, 0, Py_NewRef(a));
    PyList_SET_ITEM(list, 1, Py_NewRef(b));
    return node(op, list);
  }
  PyObject *tuple = PyTuple_Pack(2, a, b);
  return tuple ? node(op, tuple) : nullptr;
}

// Appends o's arguments to list when o is a node with this code, else o itself.
static int extend_flat(PyObject *list, int32_t op, PyObject *o) {
  if (is_node(o, op) && (PyList_Check(as_nl(o)->args) || PyTuple_Check(as_nl(o)->args))) {
    PyObject *args = as_nl(o)->args;
    Py_ssize_t n = PySequence_Fast_GET_SIZE(args);
    for (Py_ssize_t i = 0; i < n; ++i)
      if (PyList_Append(list, PySequence_Fast_GET_ITEM(args, i)) < 0) return -1;
    return 0;
  }
  return PyList_Append(list, o);
}

PyObject *flatten_node(int32_t op, PyObject *a, PyObject *b) {
  if (operand_kind(a) < 0 || operand_kind(b) < 0) return nullptr;
  if (check_compatible(a, b) < 0) return nullptr;
  nb::object list = nb::steal(PyList_New(0));
  if (!list || extend_flat(list.ptr(), op, a) < 0 || extend_flat(list.ptr(), op, b) < 0) return nullptr;
  return node(op, list.release().ptr());
}

PyObject *flatten_inplace(int32_t op, PyObject *a, PyObject *b) {
  if (!is_node(a, op) || !PyList_Check(as_nl(a)->args)) return flatten_node(op, a, b);
  if (operand_kind(b) < 0) return nullptr;
  if (check_compatible(a, b) < 0) return nullptr;
  if (b == a) {
    // Appending a node's arguments to itself: snapshot them first.
    nb::object copy = nb::steal(PyList_GetSlice(as_nl(a)->args, 0, PyList_GET_SIZE(as_nl(a)->args)));
    if (!copy) return nullptr;
    Py_ssize_t n = PyList_GET_SIZE(as_nl(a)->args);
    if (PyList_SetSlice(as_nl(a)->args, n, n, copy.ptr()) < 0) return nullptr;
    return Py_NewRef(a);
  }
  if (extend_flat(as_nl(a)->args, op, b) < 0) return nullptr;
  return Py_NewRef(a);
}

PyObject *nl_negate(PyObject *n) { return node(OP_UMINUS, Py_NewRef(n)); }

// f times b: b itself for 1, its negation for -1.
static PyObject *times(PyObject *b, double f) {
  if (f == 1.0) return Py_NewRef(b);
  if (f == -1.0) return alg_neg(b);
  return scaled_copy(b, f);
}

PyObject *nl_product(PyObject *a, PyObject *b) {
  if (check_compatible(a, b) < 0) return nullptr;
  for (int side = 0; side < 2; ++side) {
    PyObject *num = side ? b : a, *other = side ? a : b;
    if (!is_number(num)) continue;
    double c = number_value(num);
    if (c == -1.0 && PyErr_Occurred()) return nullptr;
    if (c == 0.0) return PyFloat_FromDouble(0.0);
    if (c == 1.0) return scaled_copy(other, 1.0);
    if (c == -1.0) return nl_negate(other);
  }
  return binary_node(OP_MUL, a, b);
}

PyObject *nl_sub(PyObject *a, PyObject *b) {
  if (check_compatible(a, b) < 0) return nullptr;
  if (number_equals(a, 0.0)) return alg_neg(b);
  if (number_equals(b, 0.0)) return scaled_copy(a, 1.0);
  if (is_node(a, OP_PLUS)) return nl_add(a, b, -1.0);
  return binary_node(OP_MINUS, a, b);
}

PyObject *nl_add(PyObject *a, PyObject *b, double f) {
  nb::object copy = nb::steal(scaled_copy(a, 1.0));
  if (!copy) return nullptr;
  return nl_iadd(copy.ptr(), b, f);
}

static bool is_linquad(int kind) { return kind >= K_NUMBER && kind <= K_EXPR; }

// Index of the linear-quadratic element of a sum node's list (among its last three), or -1;
// -2 with an error for an element of no known kind.
static Py_ssize_t find_element(PyObject *list) {
  Py_ssize_t n = PySequence_Fast_GET_SIZE(list);
  for (Py_ssize_t i = n - 1; i >= 0 && i >= n - 3; --i) {
    PyObject *item = PySequence_Fast_GET_ITEM(list, i);
    int k = operand_kind(item);
    if (k == K_INVALID) return -2;
    if (is_linquad(k)) return i;
  }
  return -1;
}

// Removes the linear-quadratic element from a sum node's own list into element, which stays
// null when there is none. -1 on error.
static int take_element(PyObject *list, nb::object &element) {
  Py_ssize_t i = find_element(list);
  if (i == -2) return -1;
  if (i < 0) return 0;
  element = nb::borrow(PyList_GET_ITEM(list, i));
  if (PyList_SetSlice(list, i, i + 1, nullptr) < 0) {
    element.reset();
    return -1;
  }
  return 0;
}

// element + f*b for a linear-quadratic element and operand. An expression that nothing else
// refers to is amended in place. Null on error.
static nb::object merge_element(nb::object element, PyObject *b, double f) {
  if (Py_TYPE(element.ptr()) == &expression_type && Py_REFCNT(element.ptr()) == 1) {
    if (expr_iadd(as_expr(element.ptr()), b, f) < 0) return nb::object();
    return element;
  }
  return nb::steal(alg_add(element.ptr(), b, f));
}

// Appends element to list unless it is null or the number 0.
static int put_back(PyObject *list, const nb::object &element) {
  if (!element || number_equals(element.ptr(), 0.0)) return 0;
  return PyList_Append(list, element.ptr());
}

// Appends f times every item of src except the one at index skip.
static int append_terms(PyObject *list, PyObject *src, Py_ssize_t skip, double f) {
  Py_ssize_t n = PySequence_Fast_GET_SIZE(src);
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (i == skip) continue;
    nb::object t = nb::steal(times(PySequence_Fast_GET_ITEM(src, i), f));
    if (!t || PyList_Append(list, t.ptr()) < 0) return -1;
  }
  return 0;
}

static bool is_sum_node(PyObject *o) { return is_node(o, OP_PLUS) && PyList_Check(as_nl(o)->args); }

// a += f*b for a sum node a: its list is amended, keeping at most one linear-quadratic
// element. New reference to a, or null.
static PyObject *iadd_to_sum(PyObject *a, PyObject *b, int kb, double f) {
  PyObject *list = as_nl(a)->args;
  nb::object ea;
  if (take_element(list, ea) < 0) return nullptr;
  if (is_sum_node(b)) {
    PyObject *blist = as_nl(b)->args;
    Py_ssize_t ib = find_element(blist);
    if (ib == -2 || append_terms(list, blist, ib, f) < 0) return nullptr;
    if (ib >= 0) {
      PyObject *eb = PyList_GET_ITEM(blist, ib);
      ea = ea ? merge_element(std::move(ea), eb, f) : nb::steal(times(eb, f));
      if (!ea) return nullptr;
    }
  } else if (kb == K_NONLIN || !ea) {
    nb::object t = nb::steal(times(b, f));
    if (!t || PyList_Append(list, t.ptr()) < 0) return nullptr;
  } else {
    ea = merge_element(std::move(ea), b, f);
    if (!ea) return nullptr;
  }
  if (put_back(list, ea) < 0) return nullptr;
  return Py_NewRef(a);
}

// a + f*b as a new sum node, for an a that is not a sum node.
static PyObject *new_sum(PyObject *a, int ka, PyObject *b, double f) {
  nb::object list = nb::steal(PyList_New(0));
  if (!list) return nullptr;
  if (is_sum_node(b)) {
    PyObject *blist = as_nl(b)->args;
    Py_ssize_t ib = find_element(blist);
    if (ib == -2) return nullptr;
    if (!is_linquad(ka) && PyList_Append(list.ptr(), a) < 0) return nullptr;
    if (append_terms(list.ptr(), blist, ib, f) < 0) return nullptr;
    // At most one linear-quadratic element: a merged with b's.
    nb::object element;
    if (is_linquad(ka))
      element = ib >= 0 ? nb::steal(alg_add(a, PyList_GET_ITEM(blist, ib), f)) : nb::borrow(a);
    else if (ib >= 0)
      element = nb::steal(times(PyList_GET_ITEM(blist, ib), f));
    if ((is_linquad(ka) || ib >= 0) && !element) return nullptr;
    if (put_back(list.ptr(), element) < 0) return nullptr;
  } else {
    nb::object t = nb::steal(times(b, f));
    if (!t) return nullptr;
    PyObject *first = a, *second = t.ptr();
    if (is_number(first)) std::swap(first, second);
    if (PyList_Append(list.ptr(), first) < 0 || PyList_Append(list.ptr(), second) < 0) return nullptr;
  }
  return node(OP_PLUS, list.release().ptr());
}

PyObject *nl_iadd(PyObject *a, PyObject *b, double f) {
  if (f == 0.0) return Py_NewRef(a);
  if (a == b && Py_TYPE(a) == &nonlinear_type) {
    // n += n: add a copy, so that the list is not read while it grows.
    nb::object copy = nb::steal(nl_scaled_copy(b, 1.0));
    if (!copy) return nullptr;
    return nl_iadd(a, copy.ptr(), f);
  }
  int ka = operand_kind(a), kb = ka < 0 ? -1 : operand_kind(b);
  if (ka < 0 || kb < 0) return nullptr;
  if (check_compatible(a, b) < 0) return nullptr;
  if (ka == K_EXPR && (kb == K_VAR || kb == K_LIN)) {
    if (expr_iadd(as_expr(a), b, f) < 0) return nullptr;
    return Py_NewRef(a);
  }
  if (number_equals(a, 0.0)) return times(b, f);
  if (number_equals(b, 0.0)) return scaled_copy(a, 1.0);
  if (ka != K_NONLIN && kb != K_NONLIN) return alg_add(a, b, f);
  return is_sum_node(a) ? iadd_to_sum(a, b, kb, f) : new_sum(a, ka, b, f);
}

// A copy of the tree under node o: every node rebuilt, every other operand copied, a user
// function's callable shared; *root_first receives the tree's first variable. The walk keeps
// its own stack, as trees may be far deeper than the C stack allows; a node whose first
// variable has been deleted fails, as its own search would. Null on error.
static nb::object copy_tree(PyObject *o, PyObject **root_first) {
  struct Frame {
    nb::object src;   // the node being copied, kept alive while its copy is built
    nb::object args;  // the new list or tuple; for a single operand, its copy once made
    Py_ssize_t next = 0, count = 0;
    PyObject *first = nullptr;  // first variable met so far in this subtree (the copy holds it)
    bool list = false, sequence = false;
  };
  WalkStack<Frame, 16> stack;
  auto push = [&stack](PyObject *node) __attribute__((always_inline)) -> bool {
    NonlinearObject *n = as_nl(node);
    Frame *f = stack.emplace();
    if (!f) return false;
    f->src = nb::borrow(node);
    node_operands(n, &f->count);
    f->list = PyList_Check(n->args);
    f->sequence = f->list || PyTuple_Check(n->args);
    if (f->sequence) {
      f->args = nb::steal(f->list ? PyList_New(f->count) : PyTuple_New(f->count));
      if (!f->args) return false;
    }
    return true;
  };
  // Places a finished operand copy c (stolen) at the current position of frame f.
  auto place = [](Frame &f, PyObject *c, PyObject *var) __attribute__((always_inline)) {
    if (!f.sequence)
      f.args = nb::steal(c);
    else if (f.list)
      PyList_SET_ITEM(f.args.ptr(), f.next, c);
    else
      PyTuple_SET_ITEM(f.args.ptr(), f.next, c);
    if (!f.first) f.first = var;
    ++f.next;
  };
  if (!push(o)) return nb::object();
  for (;;) {
    Frame &f = stack.back();
    NonlinearObject *n = as_nl(f.src.ptr());
    Py_ssize_t count;
    PyObject **items = node_operands(n, &count);
    if (count != f.count) {
      PyErr_SetString(PyExc_RuntimeError, "Nonlinear expression changed while being copied");
      return nb::object();
    }
    if (f.next < f.count) {
      PyObject *item = items[f.next];
      if (f.next == 0 && f.sequence && is_user_op(n->op)) {
        place(f, Py_NewRef(item), nullptr);
      } else if (kind_of(item) == K_NONLIN) {
        if (!push(item)) return nb::object();
      } else {
        // Converting a number of a foreign type may run Python code.
        nb::object keep;
        if (!PyFloat_CheckExact(item) && !PyLong_CheckExact(item)) keep = nb::borrow(item);
        PyObject *var = nullptr;
        if (!f.first && first_var(item, &var) < 0) return nb::object();
        PyObject *c = scaled_copy(item, 1.0);
        if (!c) return nb::object();
        place(f, c, var);
      }
      continue;
    }
    if (f.first && as_var(f.first)->owner == deleted_marker) {
      expr_error("Deleted variable in expression");
      return nb::object();
    }
    PyObject *first = f.first;
    nb::object copy = nb::steal(node(n->op, f.args.release().ptr()));
    if (!copy) return copy;
    stack.pop();
    if (stack.empty()) {
      *root_first = first;
      return copy;
    }
    place(stack.back(), copy.release().ptr(), first);
  }
}

// The same copy by plain recursion, which is faster for the shallow trees that models are
// made of; below the first levels the copy goes on with its own stack.
static constexpr int recursive_copy_levels = 200;

static nb::object copy_node(PyObject *o, int levels, PyObject **first) {
  if (levels == 0) return copy_tree(o, first);
  NonlinearObject *n = as_nl(o);
  *first = nullptr;
  nb::object args;
  if (!PyList_Check(n->args) && !PyTuple_Check(n->args)) {
    PyObject *item = n->args;
    if (Py_TYPE(item) == &nonlinear_type) {
      args = copy_node(item, levels - 1, first);
    } else {
      if (first_var(item, first) < 0) return nb::object();
      args = nb::steal(scaled_copy(item, 1.0));
    }
    if (!args) return args;
  } else {
    bool list = PyList_Check(n->args);
    Py_ssize_t size = PySequence_Fast_GET_SIZE(n->args);
    args = nb::steal(list ? PyList_New(size) : PyTuple_New(size));
    if (!args) return args;
    for (Py_ssize_t i = 0; i < size; ++i) {
      if (size != PySequence_Fast_GET_SIZE(n->args)) {
        PyErr_SetString(PyExc_RuntimeError, "Nonlinear expression changed while being copied");
        return nb::object();
      }
      PyObject *item = PySequence_Fast_GET_ITEM(n->args, i), *var = nullptr, *c;
      if (i == 0 && is_user_op(n->op)) {
        c = Py_NewRef(item);
      } else if (Py_TYPE(item) == &nonlinear_type) {
        c = copy_node(item, levels - 1, &var).release().ptr();
      } else {
        // Converting a number of a foreign type may run Python code.
        nb::object keep;
        if (!PyFloat_CheckExact(item) && !PyLong_CheckExact(item)) keep = nb::borrow(item);
        if (!*first && first_var(item, &var) < 0) return nb::object();
        c = scaled_copy(item, 1.0);
      }
      if (!c) return nb::object();
      if (!*first) *first = var;
      if (list)
        PyList_SET_ITEM(args.ptr(), i, c);
      else
        PyTuple_SET_ITEM(args.ptr(), i, c);
    }
  }
  if (*first && as_var(*first)->owner == deleted_marker) {
    expr_error("Deleted variable in expression");
    return nb::object();
  }
  return nb::steal(node(n->op, args.release().ptr()));
}

PyObject *nl_scaled_copy(PyObject *o, double f) {
  PyObject *v;
  if (first_var(o, &v) < 0) return nullptr;
  // A negation scaled by f is its operand scaled by -f.
  while (f != 1.0 && Py_TYPE(o) == &nonlinear_type && as_nl(o)->op == OP_UMINUS && as_nl(o)->args)
    o = as_nl(o)->args, f = -f;
  if (Py_TYPE(o) != &nonlinear_type) return scaled_copy(o, f);
  NonlinearObject *n = as_nl(o);

  PyObject *first;
  nb::object copy = copy_node(o, recursive_copy_levels, &first);
  if (!copy || f == 1.0) return copy.release().ptr();
  PyObject *args = as_nl(copy.ptr())->args;  // the copy's own, kept alive by the copy

  nb::object factor = nb::steal(PyFloat_FromDouble(f));
  if (!factor) return nullptr;
  if (n->op == OP_MUL && PyList_Check(args)) {
    // A product takes the factor into a number among its first two items, or as a new item.
    Py_ssize_t size = PyList_GET_SIZE(args);
    if (size == 0) return factor.release().ptr();
    for (Py_ssize_t i = 0; i < size && i < 2; ++i) {
      PyObject *item = PyList_GET_ITEM(args, i);
      if (!is_number(item)) continue;
      double x = number_value(item);
      PyObject *scaled = PyFloat_FromDouble(x * f);
      if (!scaled || size == 1) return scaled;
      PyList_SetItem(args, i, scaled);  // steals scaled, releases the old item
      return copy.release().ptr();
    }
    if (size == 1) {
      // [A, f] around the single element.
      if (PyList_Append(args, factor.ptr()) < 0) return nullptr;
      return copy.release().ptr();
    }
  }
  nb::object list = nb::steal(PyList_New(2));
  if (!list) return nullptr;
  PyList_SET_ITEM(list.ptr(), 0, copy.release().ptr());
  PyList_SET_ITEM(list.ptr(), 1, factor.release().ptr());
  return node(OP_MUL, list.release().ptr());
}

// Releasing a node can release a whole tree. A node released while another release is under
// way only queues its operands; the outermost release drains the queue, so the C stack stays
// flat however deep the tree. Should the drain run code that lets another thread in, that
// thread's nodes join the same queue.
static bool releasing = false;                        // under the interpreter lock
static std::vector<PyObject *> *pending = nullptr;    // never freed: late releases still use it

static void nonlinear_dealloc(PyObject *self) {
  PyObject *args = as_nl(self)->args;
  if (has_leaf_entry(as_nl(self)) && deep_leaves) deep_leaves->erase(as_nl(self));
  Py_TYPE(self)->tp_free(self);
  if (!args) return;
  if (releasing) {
    // Only a chain of single operands needs the queue: lists and tuples bound their own
    // nesting when released.
    if (Py_TYPE(args) != &nonlinear_type || Py_REFCNT(args) > 1) {
      Py_DECREF(args);
      return;
    }
    try {
      if (!pending) pending = new std::vector<PyObject *>();
      pending->push_back(args);
      return;
    } catch (const std::bad_alloc &) {
      // No memory to queue it: release it right here.
    }
    Py_DECREF(args);
    return;
  }
  releasing = true;
  Py_DECREF(args);
  while (pending && !pending->empty()) {
    PyObject *next = pending->back();
    pending->pop_back();
    Py_DECREF(next);
  }
  releasing = false;
}

int ready_nonlinear_type() {
  nonlinear_type.tp_name = "kelvo.nonlinear";
  nonlinear_type.tp_basicsize = sizeof(NonlinearObject);
  nonlinear_type.tp_flags = Py_TPFLAGS_DEFAULT;
  nonlinear_type.tp_doc = "A nonlinear expression tree.";
  nonlinear_type.tp_dealloc = nonlinear_dealloc;
  nonlinear_type.tp_str = nonlinear_str;
  nonlinear_type.tp_repr = nonlinear_str;
  nonlinear_type.tp_as_number = &algebra_number_methods;
  nonlinear_type.tp_richcompare = algebra_richcompare;
  return PyType_Ready(&nonlinear_type);
}

}  // namespace kelvo
