// Records of the expression algebra (linear term, quadratic term, expression, nonlinear node)
// and the shared operations that the operators, printing and row translation use.
#pragma once

#include <tsl/robin_map.h>
#include <tsl/robin_set.h>

#include <new>
#include <utility>
#include <vector>

#include "model/var.h"

namespace kelvo {

// The slots that kelvo.var and kelvo.constraint share with the algebra types: the number
// protocol (expr/operators.cpp) and the rich comparison (expr/compare.cpp).
extern PyNumberMethods algebra_number_methods;
PyObject *algebra_richcompare(PyObject *a, PyObject *b, int op);
// e OP number as algebra_richcompare gives it, for an expression e; when e has no constant
// the constraint takes e itself as its body instead of a copy (see in_constraint).
PyObject *compare_expression_number(PyObject *e, PyObject *number, int op);

// Pointer keys are 16-byte aligned and allocated in runs, so the identity hash would fill one
// bucket in sixteen; mix all the bits in. For a pointer only its 256-byte block is mixed: the
// keys of one block (variables made one after another) keep their order in the low four bits
// and so share neighbouring buckets, which spares a long sum most of its cache misses.
struct MixHash {
  size_t operator()(uint64_t k) const noexcept {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    return static_cast<size_t>(k);
  }
  size_t operator()(const PyObject *p) const noexcept {
    uint64_t a = reinterpret_cast<uint64_t>(p);
    return ((*this)(a >> 8) & ~size_t{15}) | static_cast<size_t>((a >> 4) & 15);
  }
};

using LinHash = tsl::robin_map<PyObject *, double, MixHash>;

// A linear part as Dot builds it: n distinct variables with non-zero coefficients, each given
// by its position in a shared tuple of variables. One reference to the tuple stands for all
// of them, so a row costs no hashing and no reference count per term.
struct FlatLinear {
  PyObject *table;  // tuple of variables (one strong reference)
  uint32_t n;
  uint32_t *idx;    // into table; both arrays live in this record's own allocation
  double *coef;
  // A record for up to `capacity` entries (n = 0) holding a new reference to table, or null.
  static FlatLinear *create(PyObject *table, size_t capacity);
  static void destroy(FlatLinear *f);
  PyObject *var(uint32_t i) const { return PyTuple_GET_ITEM(table, idx[i]); }
};

// The linear-term map: variable -> coefficient, keys holding one strong reference each. It
// may start out flat (FlatLinear) and turns into a hash map the first time anything but its
// size, its flat entries or its destruction is asked for; that conversion may throw
// std::bad_alloc like any insertion.
#define LIN_INLINE __attribute__((always_inline)) inline
class LinMap {
 public:
  using iterator = LinHash::iterator;
  using const_iterator = LinHash::const_iterator;
  using value_type = LinHash::value_type;

  LinMap() = default;
  LinMap(const LinMap &o) : map_((o.settle(), o.map_)) {}
  LinMap &operator=(const LinMap &) = delete;
  ~LinMap() {
    if (flat_) FlatLinear::destroy(flat_);
  }

  LIN_INLINE size_t size() const { return flat_ ? flat_->n : map_.size(); }
  LIN_INLINE bool empty() const { return size() == 0; }
  // The flat entries, or null once the map is hashed.
  const FlatLinear *flat() const { return flat_; }
  // One of the variables (the map must not be empty), without hashing a flat map.
  LIN_INLINE PyObject *some_key() const { return flat_ ? flat_->var(0) : map_.begin()->first; }
  // Takes over f as the contents of an empty map.
  void adopt(FlatLinear *f) { flat_ = f; }

  LIN_INLINE iterator begin() { return settle(), map_.begin(); }
  LIN_INLINE iterator end() { return settle(), map_.end(); }
  LIN_INLINE const_iterator begin() const { return settle(), map_.cbegin(); }
  LIN_INLINE const_iterator end() const { return settle(), map_.cend(); }
  template <class K>
  LIN_INLINE iterator find(const K &k) { return settle(), map_.find(k); }
  template <class K>
  LIN_INLINE const_iterator find(const K &k) const { return settle(), map_.find(k); }
  template <class... A>
  LIN_INLINE auto try_emplace(A &&...a) { return settle(), map_.try_emplace(std::forward<A>(a)...); }
  template <class... A>
  LIN_INLINE auto emplace(A &&...a) { return settle(), map_.emplace(std::forward<A>(a)...); }
  template <class A>
  LIN_INLINE auto erase(A &&a) { return settle(), map_.erase(std::forward<A>(a)); }
  LIN_INLINE void reserve(size_t n) { settle(), map_.reserve(n); }
  void max_load_factor(float f) { map_.max_load_factor(f); }
  LIN_INLINE size_t bucket_count() const { return settle(), map_.bucket_count(); }

 private:
  LIN_INLINE void settle() const {
    if (__builtin_expect(flat_ != nullptr, 0)) hash_flat();
  }
  void hash_flat() const;  // expr/core.cpp
  mutable LinHash map_;
  mutable FlatLinear *flat_ = nullptr;
};
#undef LIN_INLINE
using QuadMap = tsl::robin_map<PyObject *, LinMap *, MixHash>;  // inner maps owned
using SerialSet = tsl::robin_set<uint64_t, MixHash>;

struct LintermObject {
  PyObject_HEAD
  double coef;
  PyObject *var;
};

struct QuadtermObject {
  PyObject_HEAD
  double coef;
  PyObject *var1;  // ordering key of var1 <= that of var2
  PyObject *var2;
};

struct ExpressionObject {
  PyObject_HEAD
  double constant;
  LinMap *lin;        // null means empty
  QuadMap *quad;      // first variable -> second variable -> coefficient
  SerialSet *serials; // serial ids of unlinked variables in quadratic terms
  // Set once a constraint holds this object as its body: in-place operators then give a new
  // object instead, so that the constraint never changes behind its back.
  bool in_constraint;
};

struct NonlinearObject {
  PyObject_HEAD
  PyObject *args;  // list (n-ary), tuple (two operands, user functions) or the single operand
  int32_t op;
  // Nodes on the way down by first operands to the first leaf when every one of them has fixed
  // operands (a single one or a tuple); 0 when a list lies on the way. Every node whose count
  // is a multiple of first_leaf_stride keeps its leaf in a side table, so that finding a deep
  // tree's first variable takes at most that many steps (see first_leaf).
  int32_t fixed_depth;
};
constexpr int32_t first_leaf_stride = 32;
// The first leaf of a node whose fixed_depth is a multiple of first_leaf_stride (borrowed: the
// node's fixed operands keep it alive), or null when the table does not have it.
PyObject *first_leaf(NonlinearObject *n);

// Operand kinds.
enum Kind : int { K_INVALID = -1, K_NUMBER = 0, K_VAR = 1, K_LIN = 2, K_QUAD = 3, K_EXPR = 4, K_NONLIN = 5 };

// Operator codes of nonlinear nodes.
enum Op : int32_t {
  OP_PLUS = 0, OP_MINUS = 1, OP_UMINUS = 2, OP_MUL = 3, OP_DIV = 4, OP_POW = 5,
  OP_EXP = 6, OP_LOG = 7, OP_LOG10 = 8, OP_SIN = 9, OP_COS = 10, OP_TAN = 11,
  OP_ASIN = 12, OP_ACOS = 13, OP_ATAN = 14, OP_MAX = 15, OP_MIN = 16, OP_ABS = 17,
  OP_SIGN = 18, OP_ERF = 19, OP_ERFC = 20, OP_SQRT = 21, OP_PWL = 22, OP_SUM = 23,
  OP_PROD = 24, OP_AND = 25, OP_OR = 26, OP_USER = 27, OP_USER_ALWAYS = 28, OP_USER_ONDEMAND = 29,
  OP_COUNT = 30
};

struct OpInfo {
  const char *name;
  int32_t arity;       // 1, 2 or -1 for any number
  int32_t form;        // 0 infix, -1 prefix or function
  int32_t precedence;  // -1 binds like an atom
};
extern const OpInfo op_table[OP_COUNT];
// Formula token class of each code: 31 arithmetic, 12 built-in function, 11 user function.
extern const int32_t op_token_class[OP_COUNT];

inline bool is_user_op(int32_t op) { return op >= OP_USER && op <= OP_USER_ONDEMAND; }

// The extension is built for size; the small steps of the tree walks must still be inlined.
#define KELVO_INLINE __attribute__((always_inline)) inline

// The operands of a node as an array: the items of its list or tuple, or its single operand.
KELVO_INLINE PyObject **node_operands(NonlinearObject *n, Py_ssize_t *count) {
  if (PyList_Check(n->args) || PyTuple_Check(n->args)) {
    *count = PySequence_Fast_GET_SIZE(n->args);
    return PySequence_Fast_ITEMS(n->args);
  }
  *count = n->args ? 1 : 0;
  return &n->args;
}

inline LintermObject *as_lin(PyObject *o) { return reinterpret_cast<LintermObject *>(o); }
inline QuadtermObject *as_quad(PyObject *o) { return reinterpret_cast<QuadtermObject *>(o); }
inline ExpressionObject *as_expr(PyObject *o) { return reinterpret_cast<ExpressionObject *>(o); }
inline NonlinearObject *as_nl(PyObject *o) { return reinterpret_cast<NonlinearObject *>(o); }

// The stack of a tree walk. Trees may be far deeper than the C stack allows, so walks keep
// their own; almost all are shallow, so the first N entries live inline and cost no
// allocation. push() fails with MemoryError set.
template <class T, size_t N>
class WalkStack {
 public:
  WalkStack() = default;
  WalkStack(const WalkStack &) = delete;
  WalkStack &operator=(const WalkStack &) = delete;
  ~WalkStack() {
    while (size_) pop();
  }
  KELVO_INLINE bool empty() const { return size_ == 0; }
  KELVO_INLINE T &back() { return size_ > N ? spill_.back() : slot(size_ - 1); }
  KELVO_INLINE bool push(T &&v) {
    if (size_ < N) {
      new (&slot(size_)) T(std::move(v));
      ++size_;
      return true;
    }
    return spill(std::move(v));
  }
  // A new default entry on top, or null with MemoryError set.
  KELVO_INLINE T *emplace() {
    if (size_ < N) return new (&slot(size_++)) T();
    return spill(T()) ? &spill_.back() : nullptr;
  }
  KELVO_INLINE void pop() {
    if (size_ > N)
      spill_.pop_back();
    else
      slot(size_ - 1).~T();
    --size_;
  }

 private:
  bool spill(T &&v) {
    try {
      spill_.push_back(std::move(v));
    } catch (const std::bad_alloc &) {
      PyErr_NoMemory();
      return false;
    }
    ++size_;
    return true;
  }
  KELVO_INLINE T &slot(size_t i) { return reinterpret_cast<T *>(inline_)[i]; }
  alignas(T) unsigned char inline_[N * sizeof(T)];
  std::vector<T> spill_;
  size_t size_ = 0;
};

// The ordering key of a variable: its 48-bit index field.
inline uint64_t var_key(PyObject *v) {
  return (uint64_t{as_var(v)->index_high} << 32) | as_var(v)->index_low;
}
inline bool is_unlinked_var(PyObject *v) { return as_var(v)->owner == nullptr; }

// Classification. kind_of never sets an error; operand_kind raises "Invalid object in
// operation: <...>" for kind -1.
bool is_number(PyObject *o);
int kind_of(PyObject *o);
int operand_kind(PyObject *o);
// The value of a number as a double (-1 with an error on failure of the float conversion).
// An int is read as such, never through a subclass's __float__: a number in a tree is read
// while the tree is walked by borrowed pointers, where no Python code may run.
inline double number_value(PyObject *o) { return PyLong_Check(o) ? PyLong_AsDouble(o) : PyFloat_AsDouble(o); }
// A number, or a constant expression (no linear nor quadratic map), and its value.
bool constant_value(PyObject *o, double *value);
// An expression with neither map.
inline bool is_constant_expr(PyObject *o) {
  return Py_TYPE(o) == &expression_type && !as_expr(o)->lin && !as_expr(o)->quad;
}

// Term constructors. make_linterm gives float 0.0 for an exact zero coefficient.
PyObject *make_linterm(double coef, PyObject *var);
PyObject *make_quadterm(double coef, PyObject *a, PyObject *b);
// An empty expression.
ExpressionObject *new_expression();
// Releases the maps of e and leaves them null.
void expression_clear(ExpressionObject *e);

// First-variable search: *var is a borrowed variable or null. 0 or -1.
int first_var(PyObject *o, PyObject **var);
// Fails when a and b hold variables of different owners; sets *unlinked when either holds an
// unlinked variable.
int check_compatible(PyObject *a, PyObject *b, bool *unlinked = nullptr);

// Adds coef * var to a linear-term map without any check: a zero coefficient adds nothing and
// an entry whose sum reaches exactly zero is removed. May throw std::bad_alloc.
KELVO_INLINE void lin_map_add(LinMap &m, PyObject *var, double coef) {
  if (coef == 0.0) return;
  auto [it, inserted] = m.try_emplace(var, coef);  // one probe for new and existing keys
  if (inserted) {
    Py_INCREF(var);
    return;
  }
  double sum = it->second + coef;
  if (sum == 0.0) {
    m.erase(it);
    Py_DECREF(var);
  } else {
    it.value() = sum;
  }
}

// Calls fn(entry) for every entry of a linear-term map until fn returns non-zero, which it
// then returns. The variables of a long expression lie scattered over memory, so each is
// fetched a few entries ahead (for writing when Write is 1: its reference count changes).
template <int Write, class Fn>
KELVO_INLINE int for_each_fetching_ahead(const LinMap &m, Fn &&fn) {
  auto ahead = m.begin(), end = m.end();
  for (int i = 0; i < 8 && ahead != end; ++i) ++ahead;
  for (auto it = m.begin(); it != end; ++it) {
    if (ahead != end) {
      __builtin_prefetch(ahead->first, Write);
      ++ahead;
    }
    if (int rc = fn(*it)) return rc;
  }
  return 0;
}

// Amending an expression. 0 or -1.
int expr_add_linear(ExpressionObject *e, PyObject *var, double coef);
int expr_set_linear(ExpressionObject *e, PyObject *var, double coef);
int expr_add_quadratic(ExpressionObject *e, PyObject *a, PyObject *b, double coef);
int expr_set_quadratic(ExpressionObject *e, PyObject *a, PyObject *b, double coef);
// e += f * o for a number, variable, term or expression, after the compatibility check.
int expr_iadd(ExpressionObject *e, PyObject *o, double f);
// Scales e in place by f (f non-zero), removing entries whose product is exactly zero.
int expr_scale(ExpressionObject *e, double f);

// f times o as a new expression (a nonlinear node gives its scaled copy instead).
PyObject *expr_from_object(PyObject *o, double f);
// f times o as a new object of o's own kind.
PyObject *scaled_copy(PyObject *o, double f);

// Operators shared by the five number protocols (new reference or null).
PyObject *alg_add(PyObject *a, PyObject *b, double f);
PyObject *alg_mul(PyObject *a, PyObject *b);
PyObject *alg_div(PyObject *a, PyObject *b);
PyObject *alg_pow(PyObject *a, PyObject *b);
PyObject *alg_neg(PyObject *a);
PyObject *alg_iadd(PyObject *a, PyObject *b, double f);
PyObject *alg_imul(PyObject *a, PyObject *b);

// Nonlinear nodes.
NonlinearObject *new_node(int32_t op, PyObject *args);  // steals args
PyObject *unary_node(int32_t op, PyObject *operand);
PyObject *nary_node(int32_t op, PyObject *container);
PyObject *binary_node(int32_t op, PyObject *a, PyObject *b);
PyObject *flatten_node(int32_t op, PyObject *a, PyObject *b);
PyObject *flatten_inplace(int32_t op, PyObject *a, PyObject *b);
PyObject *nl_scaled_copy(PyObject *n, double f);
PyObject *nl_iadd(PyObject *a, PyObject *b, double f);
PyObject *nl_add(PyObject *a, PyObject *b, double f);
PyObject *nl_sub(PyObject *a, PyObject *b);
PyObject *nl_product(PyObject *a, PyObject *b);
PyObject *nl_negate(PyObject *n);

// Printing.
PyObject *linterm_str(PyObject *o);
PyObject *quadterm_str(PyObject *o);
PyObject *expression_str(PyObject *o);
PyObject *nonlinear_str(PyObject *o);

// The items of Sum-like arguments (the positional tuple) as a new list, None items left out.
PyObject *collect_terms(PyObject *args);

// The number protocol shared by kelvo.var (hooked in when the var type is readied) and the
// four algebra types.
extern PyNumberMethods algebra_number_methods;

// Module functions of the algebra.
extern PyMethodDef expr_methods[];

// Raises ModelError with a fixed text; returns null.
PyObject *expr_error(const char *msg);

}  // namespace kelvo
