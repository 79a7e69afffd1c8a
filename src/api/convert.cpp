// Classic argument conversion: Python objects into work arrays for one library call, and
// result arrays back into the caller's lists.
#include "kelvo/convert.h"

#include <climits>
#include <cstring>

#include "kelvo/constraint.h"
#include "kelvo/frame.h"
#include "kelvo/model.h"
#include "kelvo/numpy.h"
#include "kelvo/params.h"
#include "kelvo/var.h"

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
  const char *text = nullptr;
  PyObject *encoded = nullptr;
  if (PyBytes_Check(obj)) {
    text = PyBytes_AS_STRING(obj);
  } else {
    text = PyUnicode_AsUTF8(obj);
    if (!text) {
      PyErr_Clear();
      encoded = PyUnicode_AsASCIIString(obj);
      if (!encoded) return -1;
      text = PyBytes_AS_STRING(encoded);
    }
  }
  int rc = call(KLVOgetindex, "KLVOgetindex", p, p->prob, type, text, index);
  Py_XDECREF(encoded);
  if (rc == 0) return 0;
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

static int read_int32(PyObject *obj, int *value) {
  long long v = PyLong_AsLongLong(obj);
  if (v == -1 && PyErr_Occurred()) return -1;
  if (v < INT_MIN || v > INT_MAX) return fail(PyExc_OverflowError, "Python int too large to convert to C int");
  *value = static_cast<int>(v);
  return 0;
}

int conv_obj2index(ProblemObject *p, PyObject *obj, ElemKind kind, int *index) {
  if (is_integer(obj)) return read_int32(obj, index);
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

int conv_obj2arr(ProblemObject *p, LengthSlot *slot, PyObject *obj, ElemKind kind, WorkArray &out) {
  out.reset();
  if (!obj || obj == Py_None) return 0;
  if (PyDict_Check(obj) || !PySequence_Check(obj)) return fail(g.InterfaceError, "Invalid sequence of objects");
  PyObject *fast = PySequence_Fast(obj, "Invalid sequence of objects");
  if (!fast) return -1;
  Py_ssize_t n = PySequence_Fast_GET_SIZE(fast);
  int rc = 0;
  if (slot && *slot >= 0 && *slot != n) {
    PyErr_Format(g.InterfaceError, "Mismatched lengths in arguments: expected %lld, found %lld",
                 static_cast<long long>(*slot), static_cast<long long>(n));
    rc = -1;
  } else if (!(out.data = array_allocator.allocate(static_cast<size_t>(n) * elem_width(kind)))) {
    rc = -1;
  }
  PyObject **items = PySequence_Fast_ITEMS(fast);
  for (Py_ssize_t i = 0; rc == 0 && i < n; ++i) rc = convert_element(p, items[i], kind, out.data, i);
  Py_DECREF(fast);
  if (rc < 0) {
    out.reset();
    return -1;
  }
  out.count = n;
  if (slot) *slot = n;
  return 0;
}

// ---- results

PyObject *real_list(const double *values, size_t n) {
  PyObject *list = PyList_New(static_cast<Py_ssize_t>(n));
  for (size_t i = 0; list && i < n; ++i) {
    PyObject *item = PyFloat_FromDouble(values[i]);
    if (!item) Py_CLEAR(list);
    else PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

}  // namespace kelvo
