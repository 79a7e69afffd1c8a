// Dot: products of NumPy arrays and SciPy sparse matrices, folded left to right over the
// factors. Products of numbers are NumPy's own; products involving modelling objects are
// built by the kernels below, which add each term straight into its result expression.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "numpy/kernels.h"
#include "numpy/numpy.h"

namespace kelvo {

namespace {

PyObject *interface_error(const char *msg) {
  PyErr_SetString(g.InterfaceError, msg);
  return nullptr;
}

const char *const msg_dense_out =
    "Output argument set with wrong type: must be float/int for products of floats/ints and expression/nonlin for "
    "products of variables/expressions/nonlinear";
const char *const msg_sparse_out = "Invalid output argument: must be an array of objects";
const char *const msg_out_of_memory = "Out of memory when creating expression";

// 1 for an instance of scipy.sparse's sparray or spmatrix, 0 otherwise, -1 with an exception.
int is_sparse(PyObject *o) {
  for (PyObject *cls : {g.scipy_sparray, g.scipy_spmatrix}) {
    if (!cls) continue;
    int r = PyObject_IsInstance(o, cls);
    if (r != 0) return r;
  }
  return 0;
}

enum class Elements { numeric, objects, unsupported };

Elements elements_of(PyArrayObject *a) {
  const PyArray_Descr *d = PyArray_DESCR(a);
  int t = d->type_num;
  if (t == NPY_OBJECT || (is_model_dtype(d) && t != npconstraint_typenum())) return Elements::objects;
  switch (t) {
    case NPY_BYTE:
    case NPY_SHORT:
    case NPY_INT:
    case NPY_LONG:
    case NPY_LONGLONG:
    case NPY_HALF:
    case NPY_FLOAT:
    case NPY_DOUBLE: return Elements::numeric;
    default: return Elements::unsupported;
  }
}

// Element number `flat` (C order) of any array, whatever its strides.
char *element_at(PyArrayObject *a, npy_intp flat) {
  char *p = PyArray_BYTES(a);
  for (int d = PyArray_NDIM(a) - 1; d >= 0; --d) {
    npy_intp dim = PyArray_DIM(a, d);
    p += (flat % dim) * PyArray_STRIDE(a, d);
    flat /= dim;
  }
  return p;
}

PyObject *object_at(PyArrayObject *a, npy_intp flat) {
  PyObject *o;
  memcpy(&o, element_at(a, flat), sizeof o);
  return o;
}

// An output array for object products: object elements, the result's shape, and elements
// that are empty or that a product can extend. -1 with InterfaceError(msg).
int check_object_out(PyArrayObject *out, int nd, const npy_intp *dims, const char *msg) {
  bool ok = elements_of(out) == Elements::objects && PyArray_ISWRITEABLE(out) && PyArray_NDIM(out) == nd &&
            std::equal(dims, dims + nd, PyArray_DIMS(out));
  for (npy_intp i = 0, n = ok ? PyArray_SIZE(out) : 0; i < n && ok; ++i) {
    PyObject *o = object_at(out, i);
    ok = !o || o == Py_None || Py_TYPE(o) == &expression_type || Py_TYPE(o) == &nonlinear_type;
  }
  if (ok) return 0;
  PyErr_SetString(g.InterfaceError, msg);
  return -1;
}

// The existing element of the output array the result element `i` extends, or null.
PyObject *out_element(PyArrayObject *out, npy_intp i) { return out ? object_at(out, i) : nullptr; }

void swap_contents(ExpressionObject *a, ExpressionObject *b) {
  std::swap(a->constant, b->constant);
  std::swap(a->lin, b->lin);
  std::swap(a->quad, b->quad);
  std::swap(a->serials, b->serials);
}

// Hands the finished elements (C order) over: into the output array, where an existing
// expression keeps its identity and takes the new contents, or into a new array of
// expressions; a zero-dimensional result without output array is its single element.
PyObject *deliver(std::vector<nb::object> &results, int nd, const npy_intp *dims, PyArrayObject *out) {
  if (out) {
    std::vector<nb::object> replaced;  // released once the array is consistent again
    replaced.reserve(results.size());
    for (size_t i = 0; i < results.size(); ++i) {
      char *slot = element_at(out, static_cast<npy_intp>(i));
      PyObject *old;
      memcpy(&old, slot, sizeof old);
      PyObject *r = results[i].ptr();
      // An expression that is a constraint's body is replaced rather than changed.
      if (old && Py_TYPE(old) == &expression_type && !as_expr(old)->in_constraint &&
          Py_TYPE(r) == &expression_type) {
        swap_contents(as_expr(old), as_expr(r));
        continue;
      }
      replaced.push_back(nb::steal(old));
      PyObject *fresh = results[i].release().ptr();
      memcpy(slot, &fresh, sizeof fresh);
    }
    return Py_NewRef(reinterpret_cast<PyObject *>(out));
  }
  if (nd == 0) return results[0].release().ptr();
  int typenum = npexpr_typenum();
  PyArray_Descr *descr = PyArray_DescrFromType(typenum >= 0 ? typenum : NPY_OBJECT);
  if (!descr) return nullptr;
  nb::object arr = nb::steal(PyArray_NewFromDescr(&PyArray_Type, descr, nd, const_cast<npy_intp *>(dims), nullptr,
                                                  nullptr, 0, nullptr));
  if (!arr) return interface_error("Could not initialize result of dot product");
  auto **slots = static_cast<PyObject **>(PyArray_DATA(reinterpret_cast<PyArrayObject *>(arr.ptr())));
  for (size_t i = 0; i < results.size(); ++i) Py_XSETREF(slots[i], results[i].release().ptr());
  return arr.release().ptr();
}

// ---- Flat rows.

// The objects of a contiguous object array as a tuple when they are distinct variables of one
// problem: a product of numbers with them is then a row of distinct terms that needs neither
// hashing nor merging, kept flat (FlatLinear). Otherwise, or when memory runs short, an empty
// handle and the kernels build maps as usual.
nb::object flat_table(PyObject *const *items, npy_intp n) {
  if (n <= 0 || n > npy_intp{UINT32_MAX}) return nb::object();
  nb::object table = nb::steal(PyTuple_New(n));
  if (!table) {
    PyErr_Clear();
    return nb::object();
  }
  // One pass over the variables, which are scattered over memory. Distinct columns mean
  // distinct objects: the same object always has the same column.
  ProblemObject *owner = n > 0 && items[0] && Py_TYPE(items[0]) == &var_type ? as_var(items[0])->owner : nullptr;
  if (!owner || owner == deleted_marker) return nb::object();
  std::vector<uint64_t> seen;
  for (npy_intp i = 0; i < n; ++i) {
    if (i + 8 < n) __builtin_prefetch(items[i + 8], 1);
    PyObject *o = items[i];
    if (!o || Py_TYPE(o) != &var_type) return nb::object();
    const VarObject *v = as_var(o);
    if (v->owner != owner || v->index_high != 0) return nb::object();
    uint32_t c = v->index_low;
    if (c / 64 >= seen.size()) seen.resize(std::max<size_t>(c / 64 + 1, 2 * seen.size()), 0);
    uint64_t bit = uint64_t{1} << (c % 64);
    if (seen[c / 64] & bit) return nb::object();
    seen[c / 64] |= bit;
    PyTuple_SET_ITEM(table.ptr(), i, Py_NewRef(o));
  }
  return table;
}

// Collects the terms of one flat row into a new expression.
class FlatRow {
 public:
  // Room for `capacity` terms over `table`. May throw std::bad_alloc.
  FlatRow(PyObject *table, size_t capacity) : f_(FlatLinear::create(table, capacity)) {
    if (!f_) throw std::bad_alloc();
  }
  FlatRow(const FlatRow &) = delete;
  FlatRow &operator=(const FlatRow &) = delete;
  ~FlatRow() {
    if (f_) FlatLinear::destroy(f_);
  }
  // c times the variable at `index` of the table, which this row has not seen yet.
  KELVO_INLINE void add(npy_intp index, double c) {
    if (c == 0.0) return;
    f_->idx[f_->n] = static_cast<uint32_t>(index);
    f_->coef[f_->n++] = c;
  }
  // The expression (null with an exception). May throw std::bad_alloc.
  nb::object finish() {
    nb::object e = nb::steal(reinterpret_cast<PyObject *>(new_expression()));
    if (!e || f_->n == 0) return e;
    auto *lin = new LinMap();
    lin->adopt(f_);
    f_ = nullptr;
    as_expr(e.ptr())->lin = lin;
    return e;
  }

 private:
  FlatLinear *f_;
};

// ---- Dense kernels.

// One result element of the dense product: a[p, :] contracted with b[q, :, m], for a numeric
// left factor (ANum), a numeric right factor (BNum) or two object factors.
template <bool ANum, bool BNum>
int dense_element(Accumulator &acc, const char *a, const char *b, npy_intp K, npy_intp M) {
  for (npy_intp k = 0; k < K; ++k) {
    if constexpr (ANum) {
      PyObject *o = reinterpret_cast<PyObject *const *>(b)[k * M];
      if (!o) return expr_error("Incorrect objects used in Sum, Dot, Prod, or aggregate functions"), -1;
      if (acc.add_scaled(o, reinterpret_cast<const double *>(a)[k], true) < 0) return -1;
    } else if constexpr (BNum) {
      PyObject *o = reinterpret_cast<PyObject *const *>(a)[k];
      if (!o) return expr_error("Incorrect objects used in Sum, Dot, Prod, or aggregate functions"), -1;
      if (acc.add_scaled(o, reinterpret_cast<const double *>(b)[k * M], false) < 0) return -1;
    } else {
      PyObject *x = reinterpret_cast<PyObject *const *>(a)[k], *y = reinterpret_cast<PyObject *const *>(b)[k * M];
      if (!x || !y) return expr_error("Incorrect objects used in Sum, Dot, Prod, or aggregate functions"), -1;
      if (acc.add_product(x, y) < 0) return -1;
    }
  }
  return 0;
}

// a (P x K, C order) times b (Bn x K x M, C order) into P x Bn x M result elements.
template <bool ANum, bool BNum>
int dense_kernel(PyArrayObject *a, PyArrayObject *b, npy_intp P, npy_intp K, npy_intp Bn, npy_intp M,
                 PyArrayObject *out, std::vector<nb::object> &results) {
  const char *ad = PyArray_BYTES(a), *bd = PyArray_BYTES(b);
  size_t asize = ANum ? sizeof(double) : sizeof(PyObject *), bsize = BNum ? sizeof(double) : sizeof(PyObject *);
  // Products with a numeric factor have at most K linear terms each.
  size_t terms = (ANum || BNum) ? static_cast<size_t>(K) : 0;
  // Numbers times distinct variables (and no output array to extend): flat rows.
  nb::object table;
  if constexpr (ANum != BNum) {
    if (!out)
      table = ANum ? flat_table(reinterpret_cast<PyObject *const *>(bd), Bn * K * M)
                   : flat_table(reinterpret_cast<PyObject *const *>(ad), P * K);
  }
  Accumulator acc;
  npy_intp i = 0;
  for (npy_intp p = 0; p < P; ++p)
    for (npy_intp q = 0; q < Bn; ++q)
      for (npy_intp m = 0; m < M; ++m, ++i) {
        if constexpr (ANum != BNum) {
          if (table) {
            const double *nums = reinterpret_cast<const double *>(ANum ? ad : bd);
            auto number = [&](npy_intp k) { return ANum ? nums[p * K + k] : nums[q * K * M + k * M + m]; };
            FlatRow row(table.ptr(), static_cast<size_t>(K));
            for (npy_intp k = 0; k < K; ++k) row.add(ANum ? q * K * M + k * M + m : p * K + k, number(k));
            nb::object e = row.finish();
            if (!e) return -1;
            results.push_back(std::move(e));
            continue;
          }
        }
        if (acc.start(out_element(out, i), terms) < 0) return -1;
        const char *arow = ad + static_cast<size_t>(p * K) * asize;
        const char *bcol = bd + static_cast<size_t>(q * K * M + m) * bsize;
        if (dense_element<ANum, BNum>(acc, arow, bcol, K, M) < 0) return -1;
        results.push_back(acc.finish());
      }
  return 0;
}

// An array in C order with aligned native elements: numeric ones as float64, object ones as
// they are. A new reference.
nb::object contiguous(PyArrayObject *a, bool numeric) {
  if (numeric)
    return nb::steal(PyArray_FROMANY(reinterpret_cast<PyObject *>(a), NPY_DOUBLE, 0, 0, NPY_ARRAY_CARRAY));
  return nb::steal(reinterpret_cast<PyObject *>(PyArray_GETCONTIGUOUS(a)));
}

// The product of two arrays at least one of which holds objects, shaped as NumPy's dot.
PyObject *dense_product(PyArrayObject *a, PyArrayObject *b, bool a_numeric, bool b_numeric, PyArrayObject *out) {
  int na = PyArray_NDIM(a), nbd = PyArray_NDIM(b);
  npy_intp K = PyArray_DIM(a, na - 1);
  if (K != PyArray_DIM(b, nbd == 1 ? 0 : nbd - 2))
    return interface_error(
        "Dot product must occur between NumPy vectors with matching sizes in the multiplying dimension");
  std::vector<npy_intp> dims(PyArray_DIMS(a), PyArray_DIMS(a) + na - 1);
  npy_intp P = 1, Bn = 1, M = 1;
  for (npy_intp d : dims) P *= d;
  if (nbd >= 2) {
    for (int d = 0; d < nbd - 2; ++d) {
      dims.push_back(PyArray_DIM(b, d));
      Bn *= PyArray_DIM(b, d);
    }
    M = PyArray_DIM(b, nbd - 1);
    dims.push_back(M);
  }
  int nd = static_cast<int>(dims.size());
  if (nd > NPY_MAXDIMS) return interface_error("Could not initialize result of dot product");
  if (out && check_object_out(out, nd, dims.data(), msg_dense_out) < 0) return nullptr;

  nb::object ac = contiguous(a, a_numeric), bc = contiguous(b, b_numeric);
  if (!ac || !bc) return nullptr;
  auto *aa = reinterpret_cast<PyArrayObject *>(ac.ptr()), *bb = reinterpret_cast<PyArrayObject *>(bc.ptr());
  std::vector<nb::object> results;
  int rc;
  try {
    results.reserve(static_cast<size_t>(P * Bn * M));
    if (a_numeric)
      rc = dense_kernel<true, false>(aa, bb, P, K, Bn, M, out, results);
    else if (b_numeric)
      rc = dense_kernel<false, true>(aa, bb, P, K, Bn, M, out, results);
    else
      rc = dense_kernel<false, false>(aa, bb, P, K, Bn, M, out, results);
  } catch (const std::bad_alloc &) {
    return interface_error(msg_out_of_memory);
  }
  if (rc < 0) return nullptr;
  return deliver(results, nd, dims.data(), out);
}

// ---- Sparse kernel.

// A contiguous native array of type `typenum` from attribute `name` of s; null with the
// "missing or incorrect attribute" error when s has no such array.
nb::object sparse_array(PyObject *s, const char *name, int *typenum) {
  nb::object attr = nb::steal(PyObject_GetAttrString(s, name));
  if (!attr || !PyArray_Check(attr.ptr())) {
    PyErr_Clear();
    PyErr_Format(g.InterfaceError, "Invalid sparse matrix in dot product: missing or incorrect %s attribute", name);
    return nb::object();
  }
  *typenum = PyArray_TYPE(reinterpret_cast<PyArrayObject *>(attr.ptr()));
  return attr;
}

// The stored entries of a compressed matrix, checked so that the kernels may index freely.
struct Compressed {
  bool csr;
  npy_intp rows, cols;
  nb::object indptr, indices, data;  // C-ordered native arrays
  const int32_t *ptr() const { return static_cast<const int32_t *>(PyArray_DATA(arr(indptr))); }
  const int32_t *idx() const { return static_cast<const int32_t *>(PyArray_DATA(arr(indices))); }
  static PyArrayObject *arr(const nb::object &o) { return reinterpret_cast<PyArrayObject *>(o.ptr()); }
  npy_intp compressed() const { return csr ? rows : cols; }
  npy_intp other() const { return csr ? cols : rows; }
};

// Reads the index arrays and the data (as type `typenum`) of s. -1 with InterfaceError.
int read_compressed(PyObject *s, int typenum, Compressed &c) {
  int t_ptr = 0, t_idx = 0, t_data = 0;
  nb::object indptr = sparse_array(s, "indptr", &t_ptr);
  if (!indptr) return -1;
  nb::object indices = sparse_array(s, "indices", &t_idx);
  if (!indices) return -1;
  nb::object data = sparse_array(s, "data", &t_data);
  if (!data) return -1;
  if (t_ptr != NPY_INT32 || t_idx != NPY_INT32) {
    PyErr_Format(g.InterfaceError, "Only sparse matrices with int32 indices are supported, but found dtypes %d and %d",
                 t_ptr, t_idx);
    return -1;
  }
  auto native = [](const nb::object &o, int type) {
    return nb::steal(PyArray_FROMANY(o.ptr(), type, 1, 1, NPY_ARRAY_CARRAY));
  };
  c.indptr = native(indptr, NPY_INT32);
  c.indices = native(indices, NPY_INT32);
  c.data = native(data, typenum);
  if (!c.indptr || !c.indices || !c.data) return -1;
  npy_intp n = c.compressed();
  npy_intp len_ptr = PyArray_SIZE(Compressed::arr(c.indptr));
  if (len_ptr != n + 1) {
    PyErr_Format(g.InterfaceError, "Invalid sparse matrix in dot product: expected indptr array to have length %zd but it was %zd",
                 static_cast<Py_ssize_t>(n + 1), static_cast<Py_ssize_t>(len_ptr));
    return -1;
  }
  npy_intp stored = std::min(PyArray_SIZE(Compressed::arr(c.indices)), PyArray_SIZE(Compressed::arr(c.data)));
  const int32_t *ptr = c.ptr(), *idx = c.idx();
  for (npy_intp j = 0; j <= n; ++j)
    if (ptr[j] < 0 || ptr[j] > stored || (j > 0 && ptr[j] < ptr[j - 1])) {
      PyErr_Format(g.InterfaceError, "Invalid sparse matrix in dot product: index out of range in indptr array: %d",
                   ptr[j]);
      return -1;
    }
  npy_intp other = c.other();
  for (npy_intp p = ptr[0]; p < ptr[n]; ++p)
    if (idx[p] < 0 || idx[p] >= other) {
      PyErr_Format(g.InterfaceError, "Invalid sparse matrix in dot product: index out of range in indices array: %d",
                   idx[p]);
      return -1;
    }
  return 0;
}

// S v or v S for a compressed S of data type T; v holds objects. A result element whose
// stored entries sit in one row (csr, S v) or one column (csc, v S) is summed in one pass; the
// other orientation gathers each stored entry into the element it belongs to.
template <typename T>
int sparse_kernel(const Compressed &c, PyObject *const *v, bool sparse_left, PyArrayObject *out,
                  std::vector<nb::object> &results) {
  const int32_t *ptr = c.ptr(), *idx = c.idx();
  const T *data = static_cast<const T *>(PyArray_DATA(Compressed::arr(c.data)));
  npy_intp n = c.compressed();
  auto operand = [&](npy_intp i, PyObject **o) {
    *o = v[i];
    if (*o) return 0;
    PyErr_SetString(g.ModelError, "Incorrect objects used in Sum, Dot, Prod, or aggregate functions");
    return -1;
  };
  if (c.csr == sparse_left) {
    // Without an output array to extend, rows over distinct variables stay flat; a row
    // listing an index twice is summed in a map instead.
    nb::object table = out ? nb::object() : flat_table(v, sparse_left ? c.cols : c.rows);
    Accumulator acc;
    for (npy_intp j = 0; j < n; ++j) {
      if (table) {
        bool ascending = true;
        for (int32_t p = ptr[j] + 1; p < ptr[j + 1] && ascending; ++p) ascending = idx[p - 1] < idx[p];
        if (ascending) {
          FlatRow row(table.ptr(), static_cast<size_t>(ptr[j + 1] - ptr[j]));
          for (int32_t p = ptr[j]; p < ptr[j + 1]; ++p) row.add(idx[p], static_cast<double>(data[p]));
          nb::object e = row.finish();
          if (!e) return -1;
          results.push_back(std::move(e));
          continue;
        }
      }
      if (acc.start(out_element(out, j), static_cast<size_t>(ptr[j + 1] - ptr[j])) < 0) return -1;
      for (int32_t p = ptr[j]; p < ptr[j + 1]; ++p) {
        // The operands are scattered over memory and each takes a reference: fetch ahead, their
        // slots in v first (reading a slot to fetch its object would wait for it otherwise).
        if (p + 16 < ptr[n]) __builtin_prefetch(&v[idx[p + 16]], 0);
        if (p + 8 < ptr[n]) __builtin_prefetch(v[idx[p + 8]], 1);
        PyObject *o;
        if (operand(idx[p], &o) < 0 || acc.add_scaled(o, static_cast<double>(data[p]), sparse_left) < 0) return -1;
      }
      results.push_back(acc.finish());
    }
    return 0;
  }
  npy_intp m = c.other();
  std::vector<size_t> counts(static_cast<size_t>(m), 0);
  for (int32_t p = ptr[0]; p < ptr[n]; ++p) ++counts[static_cast<size_t>(idx[p])];
  std::vector<Accumulator> accs(static_cast<size_t>(m));
  for (npy_intp i = 0; i < m; ++i)
    if (accs[i].start(out_element(out, i), counts[i]) < 0) return -1;
  for (npy_intp j = 0; j < n; ++j) {
    if (ptr[j] == ptr[j + 1]) continue;
    PyObject *o;
    if (operand(j, &o) < 0) return -1;
    for (int32_t p = ptr[j]; p < ptr[j + 1]; ++p)
      if (accs[idx[p]].add_scaled(o, static_cast<double>(data[p]), sparse_left) < 0) return -1;
  }
  for (auto &acc : accs) results.push_back(acc.finish());
  return 0;
}

// A pair of integers from a shape attribute; false when it is not one.
bool read_shape(PyObject *shape, npy_intp *rows, npy_intp *cols) {
  if (!PyTuple_Check(shape) || PyTuple_GET_SIZE(shape) != 2) return false;
  npy_intp v[2];
  for (int i = 0; i < 2; ++i) {
    PyObject *item = PyTuple_GET_ITEM(shape, i);
    if (!PyIndex_Check(item)) return false;
    v[i] = PyNumber_AsSsize_t(item, nullptr);
    if (v[i] < 0) {
      PyErr_Clear();
      return false;
    }
  }
  *rows = v[0];
  *cols = v[1];
  return true;
}

PyObject *sparse_product(PyObject *s, PyArrayObject *v, bool sparse_left, PyArrayObject *out) {
  if (PyArray_NDIM(v) != 1) {
    PyErr_Format(g.InterfaceError,
                 "Dot product with a sparse matrix requires the other argument to be a 1D array, but it is %dD",
                 PyArray_NDIM(v));
    return nullptr;
  }
  if (elements_of(v) != Elements::objects)
    return interface_error("Dot product with a sparse matrix requires the other argument to be an array of objects");

  nb::object dtype = nb::steal(PyObject_GetAttrString(s, "dtype"));
  if (!dtype || !PyArray_DescrCheck(dtype.ptr())) {
    PyErr_Clear();
    return interface_error("Invalid sparse matrix in dot product: missing or incorrect dtype attribute");
  }
  nb::object format = nb::steal(PyObject_GetAttrString(s, "format"));
  if (!format || !PyUnicode_Check(format.ptr())) {
    PyErr_Clear();
    return interface_error("Invalid sparse matrix in dot product: missing or incorrect format attribute");
  }
  nb::object shape = nb::steal(PyObject_GetAttrString(s, "shape"));
  Compressed c;
  if (!shape || !read_shape(shape.ptr(), &c.rows, &c.cols)) {
    PyErr_Clear();
    return interface_error("Invalid sparse matrix in dot product: missing or incorrect shape attribute");
  }
  int typenum = reinterpret_cast<PyArray_Descr *>(dtype.ptr())->type_num;
  if (typenum == NPY_LONGLONG) typenum = NPY_INT64;
  if (typenum != NPY_FLOAT32 && typenum != NPY_FLOAT64 && typenum != NPY_INT32 && typenum != NPY_INT64) {
    PyErr_Format(g.InterfaceError,
                 "Dot product only supports sparse matrices with dtype float32, float64, int32 or int64, but found %S",
                 dtype.ptr());
    return nullptr;
  }
  const char *fmt = PyUnicode_AsUTF8(format.ptr());
  if (!fmt) return nullptr;
  if (strcmp(fmt, "csr") != 0 && strcmp(fmt, "csc") != 0) {
    PyErr_Format(g.InterfaceError, "Dot product only supports sparse matrices in csc or csr format, but found %s", fmt);
    return nullptr;
  }
  c.csr = fmt[2] == 'r';
  npy_intp len = PyArray_DIM(v, 0);
  if (len != (sparse_left ? c.cols : c.rows)) {
    PyErr_Format(g.InterfaceError,
                 "Incompatible objects in dot product: array of shape (%zd,) is not compatible with matrix of shape "
                 "(%zd, %zd)",
                 static_cast<Py_ssize_t>(len), static_cast<Py_ssize_t>(c.rows), static_cast<Py_ssize_t>(c.cols));
    return nullptr;
  }
  npy_intp n_result = sparse_left ? c.rows : c.cols;
  if (out) {
    if (elements_of(out) != Elements::objects) return interface_error(msg_sparse_out);
    if (PyArray_NDIM(out) != 1 || PyArray_DIM(out, 0) != n_result) {
      PyErr_Format(g.InterfaceError, "Invalid output argument: must be an array of dimension (%zd,)",
                   static_cast<Py_ssize_t>(n_result));
      return nullptr;
    }
    if (check_object_out(out, 1, &n_result, msg_sparse_out) < 0) return nullptr;
  }
  if (read_compressed(s, typenum, c) < 0) return nullptr;

  nb::object vc = contiguous(v, false);
  if (!vc) return nullptr;
  auto *items = static_cast<PyObject *const *>(PyArray_DATA(reinterpret_cast<PyArrayObject *>(vc.ptr())));
  std::vector<nb::object> results;
  int rc;
  try {
    results.reserve(static_cast<size_t>(n_result));
    switch (typenum) {
      case NPY_FLOAT32: rc = sparse_kernel<float>(c, items, sparse_left, out, results); break;
      case NPY_FLOAT64: rc = sparse_kernel<double>(c, items, sparse_left, out, results); break;
      case NPY_INT32: rc = sparse_kernel<int32_t>(c, items, sparse_left, out, results); break;
      default: rc = sparse_kernel<int64_t>(c, items, sparse_left, out, results); break;
    }
  } catch (const std::bad_alloc &) {
    return interface_error(msg_out_of_memory);
  }
  if (rc < 0) return nullptr;
  return deliver(results, 1, &n_result, out);
}

// ---- One multiplication step and the fold.

// The element of a zero-dimensional array (a new reference).
nb::object scalar_element(PyArrayObject *a) {
  return nb::steal(PyArray_GETITEM(a, PyArray_BYTES(a)));
}

// a times b; a null `a` is the start of the fold.
PyObject *step(PyObject *a, PyObject *b, PyObject *out_arg) {
  if (out_arg && !PyArray_Check(out_arg)) return interface_error("Output argument must be a NumPy array");
  auto *out = reinterpret_cast<PyArrayObject *>(out_arg);
  int sa = a ? is_sparse(a) : 0;
  if (sa < 0) return nullptr;
  int sb = is_sparse(b);
  if (sb < 0) return nullptr;
  if (sa && sb) {
    if (out)
      return interface_error("Cannot specify output argument when computing dot product between two sparse matrices");
    return PyNumber_MatrixMultiply(a, b);
  }
  if (!a) return Py_NewRef(b);
  if ((!sa && !PyArray_Check(a)) || (!sb && !PyArray_Check(b)))
    return interface_error("Dot product can only occur between NumPy arrays and SciPy sparse matrices");

  auto *aa = reinterpret_cast<PyArrayObject *>(a), *ba = reinterpret_cast<PyArrayObject *>(b);
  bool a_scalar = !sa && PyArray_NDIM(aa) == 0, b_scalar = !sb && PyArray_NDIM(ba) == 0;
  if (a_scalar && b_scalar) {
    nb::object x = scalar_element(aa), y = scalar_element(ba);
    if (!x || !y) return nullptr;
    if (is_number(x.ptr()) && is_number(y.ptr())) {
      double u = number_value(x.ptr()), w = number_value(y.ptr());
      if (PyErr_Occurred()) return nullptr;
      return PyFloat_FromDouble(u * w);
    }
    return alg_mul(x.ptr(), y.ptr());
  }
  if (a_scalar) return interface_error("Dot product between incompatible objects: first one is a scalar");
  if (b_scalar) return interface_error("Dot product between incompatible objects: second one is a scalar");
  if (sa) return sparse_product(a, ba, true, out);
  if (sb) return sparse_product(b, aa, false, out);

  Elements ka = elements_of(aa), kb = elements_of(ba);
  if (ka == Elements::unsupported || kb == Elements::unsupported)
    return interface_error("Dot product must be between long, double, and expressions/variables");
  if (ka == Elements::numeric && kb == Elements::numeric) {
    PyObject *r = PyArray_MatrixProduct2(a, b, out);
    return r ? PyArray_Return(reinterpret_cast<PyArrayObject *>(r)) : nullptr;
  }
  return dense_product(aa, ba, ka == Elements::numeric, kb == Elements::numeric, out);
}

// The factors of Dot's positional arguments, None left out. -1 with an exception.
int collect_factors(PyObject *args, std::vector<nb::object> &factors) {
  auto take = [&](PyObject *f) {
    if (f != Py_None) factors.push_back(nb::borrow(f));
  };
  auto take_all = [&](PyObject *seq) {
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq); ++i) take(PySequence_Fast_GET_ITEM(seq, i));
  };
  if (PyTuple_GET_SIZE(args) != 1) {
    take_all(args);
    return 0;
  }
  PyObject *c = PyTuple_GET_ITEM(args, 0);
  // An array or a sparse matrix is one factor, not a collection of them.
  int sparse = is_sparse(c);
  if (sparse < 0) return -1;
  if (sparse || PyArray_Check(c) || PyUnicode_Check(c) || PyBytes_Check(c)) {
    take(c);
    return 0;
  }
  if (PyTuple_Check(c) || PyList_Check(c)) {
    nb::object seq = nb::borrow(c);
    take_all(c);
    return 0;
  }
  if (PyDict_Check(c)) {
    nb::object values = nb::steal(PyDict_Values(c));
    if (!values) return -1;
    take_all(values.ptr());
    return 0;
  }
  if (PyIter_Check(c)) {
    while (nb::object item = nb::steal(PyIter_Next(c))) take(item.ptr());
    return PyErr_Occurred() ? -1 : 0;
  }
  if (PySequence_Check(c)) {
    if (PySequence_Size(c) < 0) {
      PyErr_Clear();
      PyErr_SetString(g.ModelError, "Invalid sequence of objects");
      return -1;
    }
    nb::object seq = nb::steal(PySequence_Fast(c, "Cannot iterate over sequence"));
    if (!seq) return -1;
    take_all(seq.ptr());
    return 0;
  }
  take(c);
  return 0;
}

PyObject *Dot(PyObject *, PyObject *args, PyObject *kwargs) {
  PyObject *out = nullptr;
  if (kwargs) {
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!PyUnicode_Check(key) || PyUnicode_CompareWithASCIIString(key, "out") != 0) {
        PyErr_Format(PyExc_TypeError, "Dot() got an unexpected keyword argument '%S'", key);
        return nullptr;
      }
      out = value == Py_None ? nullptr : value;
    }
  }
  nb::object hold_out = nb::borrow(out);
  std::vector<nb::object> factors;
  try {
    if (collect_factors(args, factors) < 0) return nullptr;
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
  if (factors.empty()) return PyFloat_FromDouble(0.0);
  nb::object result;
  for (size_t i = 0; i < factors.size(); ++i) {
    PyObject *r = step(result.ptr(), factors[i].ptr(), i + 1 == factors.size() ? out : nullptr);
    if (!r) return nullptr;
    result = nb::steal(r);
  }
  return result.release().ptr();
}

}  // namespace

PyMethodDef numpy_methods[] = {
    {"Dot", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Dot)), METH_VARARGS | METH_KEYWORDS,
     "Dot(*factors, out=None)\n"
     "Product of NumPy arrays and SciPy sparse matrices from left to right, contracting axes as\n"
     "NumPy's dot does; products involving variables or expressions give expressions."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
