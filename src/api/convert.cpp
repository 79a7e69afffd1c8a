// Classic argument conversion: Python objects into work arrays for one library call, and
// result arrays back into the caller's lists.
#include "api/convert.h"

#include <climits>
#include <cstring>

#include "model/constraint.h"
#include "model/model.h"
#include "model/var.h"
#include "module/frame.h"
#include "numpy/numpy.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

// ---- allocator

static void *raw_allocate(size_t bytes) {
  void *p = PyMem_RawMalloc(bytes ? bytes : 1);
  if (!p && PyGILState_Check()) PyErr_NoMemory();
  return p;
}

static void *raw_resize(void *block, size_t bytes) {
  void *p = PyMem_RawRealloc(block, bytes ? bytes : 1);
  if (!p && PyGILState_Check()) PyErr_NoMemory();
  return p;
}

static void raw_release(void *block) { PyMem_RawFree(block); }

const ArrayAllocator array_allocator = {raw_allocate, raw_resize, raw_release};

size_t elem_width(ElemKind kind) { return kind == ek_real ? sizeof(double) : sizeof(int32_t); }

// ---- small shared pieces

int require_handle(ProblemObject *p) {
  if (p->prob) return 0;
  PyErr_SetString(g.ModelError, "Problem is not initialized");
  return -1;
}

int read_int_attrib(ProblemObject *p, int id, int *value) {
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, id, value) == 0) return 0;
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

int read_dbl_attrib(ProblemObject *p, int id, double *value) {
  if (call(KLVOgetdblattrib, "KLVOgetdblattrib", p, p->prob, id, value) == 0) return 0;
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

static int fail(PyObject *cls, const char *message) {
  PyErr_SetString(cls, message);
  return -1;
}

// Row of a constraint in p; deleted constraints are refused here, the rest by constraint_row.
int resolve_row(PyObject *obj, ProblemObject *p) {
  if (constraint_deleted(as_con(obj))) return fail(g.ModelError, "Constraint has been deleted from the problem");
  return constraint_row(as_con(obj), p);
}

// ---- one object to an index

// Looks a row (type 1) or column (type 2) name up in the library.
static int name_index(ProblemObject *p, PyObject *obj, int type, int *index) {
  const char *text = c_text(obj, nullptr);
  if (!text) return -1;
  if (call(KLVOgetindex, "KLVOgetindex", p, p->prob, type, text, index) == 0) return 0;
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

int conv_obj2index(ProblemObject *p, PyObject *obj, ElemKind kind, int *index) {
  if (is_integer(obj)) return int32_value(obj, index);
  if (PyUnicode_Check(obj) || PyBytes_Check(obj)) return name_index(p, obj, kind == ek_row ? 1 : 2, index);
  if (kind == ek_col && is_var(obj)) {
    int col = var_column(as_var(obj), p);
    if (col < 0) return -1;
    *index = col;
    return 0;
  }
  if (kind == ek_row && is_constraint(obj)) {
    int row = resolve_row(obj, p);
    if (row < 0) return -1;
    *index = row;
    return 0;
  }
  PyErr_Format(g.ModelError, kind == ek_col ? "Invalid variable object %S" : "Invalid constraint object %S", obj);
  return -1;
}

// ---- arrays

// Converts one element into slot `at` of the array.
static int convert_element(ProblemObject *p, PyObject *item, ElemKind kind, void *data, int64_t at) {
  if (kind != ek_real) return conv_obj2index(p, item, kind, static_cast<int32_t *>(data) + at);
  double v = PyFloat_AsDouble(item);
  if (v == -1.0 && PyErr_Occurred()) return -1;
  static_cast<double *>(data)[at] = v;
  return 0;
}

static int mismatched(int64_t expected, int64_t found) {
  PyErr_Format(g.InterfaceError, "Mismatched lengths in arguments: expected %lld, found %lld",
               static_cast<long long>(expected), static_cast<long long>(found));
  return -1;
}

// Converting an item can run Python (a number's __float__, a library message handler) that
// changes a list: each item is held while it is converted, and the list is read afresh.
int conv_obj2arr(ProblemObject *p, LengthSlot *slot, PyObject *obj, ElemKind kind, WorkArray &out) {
  out.reset();
  if (!obj || obj == Py_None) return 0;
  if (PyDict_Check(obj) || !PySequence_Check(obj)) return fail(g.InterfaceError, "Invalid sequence of objects");
  nb::object fast = nb::steal(PySequence_Fast(obj, "Invalid sequence of objects"));
  if (!fast) return -1;
  Py_ssize_t n = PySequence_Fast_GET_SIZE(fast.ptr());
  if (slot && *slot >= 0 && *slot != n) return mismatched(*slot, n);
  out.data = array_allocator.allocate(static_cast<size_t>(n) * elem_width(kind));
  if (!out.data) return -1;
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (i >= PySequence_Fast_GET_SIZE(fast.ptr())) {
      out.reset();
      return mismatched(n, PySequence_Fast_GET_SIZE(fast.ptr()));
    }
    nb::object item = nb::borrow(PySequence_Fast_GET_ITEM(fast.ptr(), i));
    if (convert_element(p, item.ptr(), kind, out.data, i) < 0) {
      out.reset();
      return -1;
    }
  }
  out.count = n;
  if (slot) *slot = n;
  return 0;
}

// ---- results

PyObject *real_list(const double *values, size_t n) {
  nb::object list = nb::steal(PyList_New(static_cast<Py_ssize_t>(n)));
  if (!list) return nullptr;
  for (size_t i = 0; i < n; ++i) {
    PyObject *item = PyFloat_FromDouble(values[i]);
    if (!item) return nullptr;
    PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release().ptr();
}

// ---- texts and integers the library takes in C types

const char *c_text(PyObject *obj, Py_ssize_t *size, const char *what) {
  const char *text;
  Py_ssize_t n;
  if (PyBytes_Check(obj)) {
    text = PyBytes_AS_STRING(obj);
    n = PyBytes_GET_SIZE(obj);
  } else {
    text = PyUnicode_AsUTF8AndSize(obj, &n);
    if (!text) return nullptr;
  }
  if (std::memchr(text, '\0', static_cast<size_t>(n))) {
    PyErr_Format(PyExc_ValueError, "%s %R contains a NUL character", what, obj);
    return nullptr;
  }
  if (size) *size = n;
  return text;
}

int int32_value(PyObject *obj, int *value) {
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
  if (v == -1 && PyErr_Occurred()) return -1;
  if (overflow || v < INT_MIN || v > INT_MAX) {
    PyErr_Format(PyExc_OverflowError, "%R is out of range for a 32-bit integer", obj);
    return -1;
  }
  *value = static_cast<int>(v);
  return 0;
}

int int32_converter(PyObject *obj, void *value) {
  nb::object number = nb::steal(PyNumber_Index(obj));
  if (!number) return 0;
  return int32_value(number.ptr(), static_cast<int *>(value)) == 0 ? 1 : 0;
}

}  // namespace kelvo
