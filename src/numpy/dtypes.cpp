// The three object dtypes (npvar, npexpr, npconstraint): their element functions, the casts
// between them and NumPy's object dtype, and the loops that let NumPy's arithmetic and
// comparison ufuncs apply the expression algebra element by element.
#include <cstring>

#include "expr/expr.h"
#include "numpy/numpy.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

static int var_typenum = -1;
static int expr_typenum = -1;
static int con_typenum = -1;

int npvar_typenum() { return var_typenum; }
int npexpr_typenum() { return expr_typenum; }
int npconstraint_typenum() { return con_typenum; }

// Cells may be unaligned: NumPy hands the element functions any address.
static inline PyObject *load(const void *p) {
  PyObject *o;
  memcpy(&o, p, sizeof o);
  return o;
}

// Stores a new reference, then releases the one the cell held (which may run Python).
static inline void store(void *p, PyObject *o) {
  PyObject *old = load(p);
  memcpy(p, &o, sizeof o);
  Py_XDECREF(old);
}

// ---- Element functions.

static PyObject *element_get(void *p, void *) {
  PyObject *o = load(p);
  if (!o) {
    PyErr_SetString(g.ModelError, "Uninitialized element in an array of variables, expressions or constraints");
    return nullptr;
  }
  return Py_NewRef(o);
}

static int element_set(PyObject *value, void *p, void *) {
  store(p, Py_NewRef(value));
  return 0;
}

static void element_copyswapn(void *dst, npy_intp dstride, void *src, npy_intp sstride, npy_intp n, int, void *) {
  if (!src) return;
  auto *d = static_cast<char *>(dst);
  auto *s = static_cast<char *>(src);
  for (npy_intp i = 0; i < n; ++i, d += dstride, s += sstride) store(d, Py_XNewRef(load(s)));
}

static void element_copyswap(void *dst, void *src, int, void *) {
  if (src) store(dst, Py_XNewRef(load(src)));
}

static npy_bool always_true(void *, void *) { return NPY_TRUE; }

// An expression is true when it has a non-zero constant or any term left.
static npy_bool expression_truth(void *p, void *) {
  PyObject *o = load(p);
  if (!o) return NPY_FALSE;
  switch (kind_of(o)) {
    case K_EXPR: {
      ExpressionObject *e = as_expr(o);
      if (e->constant != 0.0 || (e->lin && !e->lin->empty())) return NPY_TRUE;
      if (e->quad)
        for (auto &outer : *e->quad)
          if (!outer.second->empty()) return NPY_TRUE;
      return NPY_FALSE;
    }
    case K_NUMBER: {
      double v = number_value(o);
      if (v == -1.0 && PyErr_Occurred()) PyErr_Clear();
      return v != 0.0;
    }
    case K_LIN: return as_lin(o)->coef != 0.0;
    case K_QUAD: return as_quad(o)->coef != 0.0;
    default: return NPY_TRUE;
  }
}

// Cast between two of npvar, npexpr and object: the references are copied unchanged.
static void copy_references(void *from, void *to, npy_intp n, void *, void *) {
  auto *s = static_cast<char *>(from);
  auto *d = static_cast<char *>(to);
  for (npy_intp i = 0; i < n; ++i, s += sizeof(PyObject *), d += sizeof(PyObject *)) store(d, Py_XNewRef(load(s)));
}

PyObject *model_scalar_array(PyObject *o) {
  PyObject *descr = Py_TYPE(o) == &var_type ? g.npvar : g.npexpr;
  // PyArray_NewFromDescr takes over the descriptor reference; the cell starts null.
  PyObject *a = PyArray_NewFromDescr(&PyArray_Type, reinterpret_cast<PyArray_Descr *>(Py_NewRef(descr)), 0, nullptr,
                                     nullptr, nullptr, 0, nullptr);
  if (a) store(PyArray_DATA(reinterpret_cast<PyArrayObject *>(a)), Py_NewRef(o));
  return a;
}

// ---- Registering a dtype.

// NumPy keeps pointers to both for the life of the process.
static PyArray_DescrProto prototypes[3];
static PyArray_ArrFuncs element_functions[3];

static int register_dtype(int slot, char type_char, PyTypeObject *scalar, const char *field,
                          PyArray_NonzeroFunc *truth, PyObject **descr_out, int *typenum_out) {
  PyArray_DescrProto *proto = &prototypes[slot];
  PyArray_ArrFuncs *funcs = &element_functions[slot];
  nb::object object_descr = nb::steal(reinterpret_cast<PyObject *>(PyArray_DescrFromType(NPY_OBJECT)));
  if (!object_descr) return -1;
  // Before NumPy 2 a descriptor and its prototype share a layout: start from the object
  // dtype's own; later releases take a zeroed prototype.
  if (PyArray_GetNDArrayCFeatureVersion() < NPY_2_0_API_VERSION)
    memcpy(proto, object_descr.ptr(), sizeof *proto);
  else
    memset(proto, 0, sizeof *proto);
  Py_SET_REFCNT(proto, 1);
  Py_SET_TYPE(proto, &PyArrayDescr_Type);

  PyArray_InitArrFuncs(funcs);
  funcs->getitem = element_get;
  funcs->setitem = element_set;
  funcs->copyswapn = element_copyswapn;
  funcs->copyswap = element_copyswap;
  funcs->nonzero = truth;

  // One field of NumPy's object dtype at offset 0: NumPy then counts the references held.
  nb::object offset = nb::steal(PyLong_FromLong(0));
  nb::object entry = offset ? nb::steal(PyTuple_Pack(2, object_descr.ptr(), offset.ptr())) : nb::object();
  nb::object fields = nb::steal(PyDict_New());
  nb::object name = nb::steal(PyUnicode_FromString(field));
  if (!entry || !fields || !name || PyDict_SetItem(fields.ptr(), name.ptr(), entry.ptr()) < 0) return -1;
  nb::object names = nb::steal(PyTuple_Pack(1, name.ptr()));
  if (!names) return -1;

  proto->f = funcs;
  proto->flags = static_cast<char>(NPY_OBJECT_DTYPE_FLAGS);
  proto->kind = 'O';
  proto->type = type_char;
  proto->byteorder = '|';
  proto->typeobj = scalar;
  proto->elsize = sizeof(PyObject *);
  proto->alignment = alignof(PyObject *);
  proto->subarray = nullptr;
  proto->metadata = nullptr;
  proto->c_metadata = nullptr;
  proto->fields = fields.release().ptr();  // the registered type keeps them for the process
  proto->names = names.release().ptr();

  int typenum = PyArray_RegisterDataType(proto);
  if (typenum < 21) {
    // NumPy's own reason, if it gave one, becomes the cause.
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    nb::object cause = nb::steal(value);
    Py_XDECREF(type);
    Py_XDECREF(tb);
    PyErr_Format(g.InterfaceError, "Unexpected dtype returned from PyArray_RegisterDataType: %d", typenum);
    if (cause) {
      PyErr_Fetch(&type, &value, &tb);
      PyErr_NormalizeException(&type, &value, &tb);
      PyException_SetCause(value, cause.release().ptr());
      PyErr_Restore(type, value, tb);
    }
    return -1;
  }
  PyArray_Descr *descr = PyArray_DescrFromType(typenum);
  if (!descr) return -1;
  *descr_out = reinterpret_cast<PyObject *>(descr);
  *typenum_out = typenum;
  return 0;
}

static int register_casts() {
  PyArray_Descr *var = reinterpret_cast<PyArray_Descr *>(g.npvar);
  PyArray_Descr *expr = reinterpret_cast<PyArray_Descr *>(g.npexpr);
  nb::object object_ref = nb::steal(reinterpret_cast<PyObject *>(PyArray_DescrFromType(NPY_OBJECT)));
  if (!object_ref) return -1;
  auto *object = reinterpret_cast<PyArray_Descr *>(object_ref.ptr());
  const struct {
    PyArray_Descr *from;
    int to;
  } pairs[] = {{var, expr_typenum},   {var, NPY_OBJECT},   {expr, var_typenum},
               {expr, NPY_OBJECT},    {object, var_typenum}, {object, expr_typenum}};
  for (auto &p : pairs)
    if (PyArray_RegisterCastFunc(p.from, p.to, copy_references) < 0 ||
        PyArray_RegisterCanCast(p.from, p.to, NPY_NOSCALAR) < 0)
      return -1;
  return 0;
}

// ---- Ufunc loops.

using BinaryOp = PyObject *(*)(PyObject *, PyObject *);
using UnaryOp = PyObject *(*)(PyObject *);

static PyObject *op_add(PyObject *a, PyObject *b) { return alg_add(a, b, 1.0); }
static PyObject *op_subtract(PyObject *a, PyObject *b) { return alg_add(a, b, -1.0); }
static PyObject *op_and(PyObject *a, PyObject *b) { return flatten_node(OP_AND, a, b); }
static PyObject *op_or(PyObject *a, PyObject *b) { return flatten_node(OP_OR, a, b); }
// A number on the left is compared as the interpreter would: by the right operand's reflected
// comparison, so that 2 <= x gives the same constraint as x >= 2. An expression compared with
// a number becomes the constraint's body itself rather than a copy.
template <int Op, int Reflected> static PyObject *op_compare(PyObject *a, PyObject *b) {
  if (is_number(a))
    return Py_TYPE(b) == &expression_type ? compare_expression_number(b, a, Reflected)
                                          : algebra_richcompare(b, a, Reflected);
  if (Py_TYPE(a) == &expression_type && is_number(b)) return compare_expression_number(a, b, Op);
  return algebra_richcompare(a, b, Op);
}
static PyObject *op_square(PyObject *a) { return alg_mul(a, a); }

// One operand of a binary loop: a float64 operand is boxed as a float, reusing the box while
// the value stays the same; an element of an object dtype is held for the operation, which
// may run code that writes into the array.
template <bool Float> struct Operand {
  nb::object held;
  uint64_t bits = 0;

  PyObject *at(const char *p) {
    if constexpr (Float) {
      uint64_t b;
      memcpy(&b, p, sizeof b);
      if (!held || b != bits) {
        double v;
        memcpy(&v, &b, sizeof v);
        held = nb::steal(PyFloat_FromDouble(v));
        bits = b;
      }
    } else {
      PyObject *o = load(p);
      held = nb::borrow(o ? o : Py_None);
    }
    return held.ptr();
  }
};

// The loops build Python objects. NumPy keeps the interpreter lock for dtypes that hold
// references; taking it here as well costs one check per call, not per element.
struct HoldLock {
  PyGILState_STATE state = PyGILState_Ensure();
  ~HoldLock() { PyGILState_Release(state); }
};

template <bool LeftFloat, bool RightFloat>
static void binary_loop(char **args, npy_intp const *dims, npy_intp const *steps, void *data) {
  HoldLock lock;
  auto op = reinterpret_cast<BinaryOp>(data);
  char *a = args[0], *b = args[1], *out = args[2];
  Operand<LeftFloat> left;
  Operand<RightFloat> right;
  for (npy_intp i = 0, n = dims[0]; i < n; ++i, a += steps[0], b += steps[1], out += steps[2]) {
    PyObject *l = left.at(a), *r = right.at(b);
    if (!l || !r) return;
    PyObject *result = op(l, r);
    if (!result) return;  // NumPy reports the pending error
    store(out, result);
  }
}

static void unary_loop(char **args, npy_intp const *dims, npy_intp const *steps, void *data) {
  HoldLock lock;
  auto op = reinterpret_cast<UnaryOp>(data);
  char *a = args[0], *out = args[1];
  Operand<false> operand;
  for (npy_intp i = 0, n = dims[0]; i < n; ++i, a += steps[0], out += steps[1]) {
    PyObject *result = op(operand.at(a));
    if (!result) return;
    store(out, result);
  }
}

static int register_loops() {
  nb::object numpy = nb::steal(PyImport_ImportModule("numpy"));
  if (!numpy) return -1;
  const struct {
    const char *ufunc;
    BinaryOp op;
    bool comparison;
  } binary[] = {{"less_equal", op_compare<Py_LE, Py_GE>, true}, {"equal", op_compare<Py_EQ, Py_EQ>, true},
                {"greater_equal", op_compare<Py_GE, Py_LE>, true},
                // Strict comparisons fail element by element as on single objects.
                {"less", op_compare<Py_LT, Py_GT>, true}, {"greater", op_compare<Py_GT, Py_LT>, true},
                {"not_equal", op_compare<Py_NE, Py_NE>, true}, {"add", op_add, false},
                {"subtract", op_subtract, false},     {"multiply", alg_mul, false},
                {"divide", alg_div, false},           {"true_divide", alg_div, false},
                {"power", alg_pow, false},            {"bitwise_and", op_and, false},
                {"bitwise_or", op_or, false}};
  const int operand_types[] = {NPY_DOUBLE, var_typenum, expr_typenum};
  nb::object done = nb::steal(PySet_New(nullptr));  // divide and true_divide may be one ufunc
  if (!done) return -1;
  for (auto &u : binary) {
    nb::object ufunc = nb::steal(PyObject_GetAttrString(numpy.ptr(), u.ufunc));
    if (!ufunc) return -1;
    int seen = PySet_Contains(done.ptr(), ufunc.ptr());
    if (seen < 0 || PySet_Add(done.ptr(), ufunc.ptr()) < 0) return -1;
    if (seen) continue;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        if (i == 0 && j == 0) continue;
        int types[3] = {operand_types[i], operand_types[j], u.comparison ? NPY_OBJECT : expr_typenum};
        PyUFuncGenericFunction loop = i == 0 ? binary_loop<true, false>
                                      : j == 0 ? binary_loop<false, true>
                                               : binary_loop<false, false>;
        // Registered for the operand type with the larger position (npexpr after npvar).
        int owner = operand_types[i > j ? i : j];
        if (PyUFunc_RegisterLoopForType(reinterpret_cast<PyUFuncObject *>(ufunc.ptr()), owner, loop, types,
                                        reinterpret_cast<void *>(u.op)) < 0)
          return -1;
      }
    if (!u.comparison) continue;
    // A single object on either side reaches the loops as a zero-dimensional object array:
    // without these, NumPy's generic object loops would give truth values.
    for (int t : {var_typenum, expr_typenum})
      for (bool left : {true, false}) {
        int types[3] = {left ? t : NPY_OBJECT, left ? NPY_OBJECT : t, NPY_OBJECT};
        if (PyUFunc_RegisterLoopForType(reinterpret_cast<PyUFuncObject *>(ufunc.ptr()), t, binary_loop<false, false>,
                                        types, reinterpret_cast<void *>(u.op)) < 0)
          return -1;
      }
  }
  const struct {
    const char *ufunc;
    UnaryOp op;
  } unary[] = {{"negative", alg_neg}, {"square", op_square}};
  for (auto &u : unary) {
    nb::object ufunc = nb::steal(PyObject_GetAttrString(numpy.ptr(), u.ufunc));
    if (!ufunc) return -1;
    for (int t : {var_typenum, expr_typenum}) {
      int types[2] = {t, expr_typenum};
      if (PyUFunc_RegisterLoopForType(reinterpret_cast<PyUFuncObject *>(ufunc.ptr()), t, unary_loop, types,
                                      reinterpret_cast<void *>(u.op)) < 0)
        return -1;
    }
  }
  return 0;
}

int register_dtypes() {
  if (register_dtype(0, 'c', &constraint_type, "constraint", always_true, &g.npconstraint, &con_typenum) < 0 ||
      register_dtype(1, 'v', &var_type, "variable", always_true, &g.npvar, &var_typenum) < 0 ||
      register_dtype(2, 'e', &expression_type, "expression", expression_truth, &g.npexpr, &expr_typenum) < 0)
    return -1;
  return register_casts() < 0 || register_loops() < 0 ? -1 : 0;
}

}  // namespace kelvo
