// The nested-collection walk.
#include "module/walk.h"

#include <cstring>

#include "numpy/numpy.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

static int walk_error(const char *message) {
  PyErr_SetString(g.ModelError, message);
  return -1;
}

static const char *const bad_elements = "Incorrect objects used in Sum, Dot, Prod, or aggregate functions";

// Element kinds of the arrays the walk accepts.
enum class ElementKind { model_object, object, float64, int32, boolean, unsupported };

static ElementKind element_kind(PyArrayObject *arr) {
  PyArray_Descr *d = PyArray_DESCR(arr);
  if (is_model_dtype(d)) return ElementKind::model_object;
  switch (d->type_num) {
    case NPY_OBJECT: return ElementKind::object;
    case NPY_DOUBLE: return ElementKind::float64;
    case NPY_INT32: return ElementKind::int32;
    case NPY_BOOL: return ElementKind::boolean;
    default: return ElementKind::unsupported;
  }
}

// The value of one numeric element as a float object.
static PyObject *numeric_element(const char *p, ElementKind kind, bool swapped) {
  switch (kind) {
    case ElementKind::float64: {
      uint64_t bits;
      memcpy(&bits, p, sizeof bits);
      if (swapped) bits = __builtin_bswap64(bits);
      double v;
      memcpy(&v, &bits, sizeof v);
      return PyFloat_FromDouble(v);
    }
    case ElementKind::int32: {
      uint32_t bits;
      memcpy(&bits, p, sizeof bits);
      if (swapped) bits = __builtin_bswap32(bits);
      int32_t v;
      memcpy(&v, &bits, sizeof v);
      return PyFloat_FromDouble(v);
    }
    default:
      return PyFloat_FromDouble(*p ? 1.0 : 0.0);
  }
}

static int walk_array(PyObject *owner, PyArrayObject *arr, LeafHandler handler, void *data, int depth) {
  ElementKind kind = element_kind(arr);
  if (kind == ElementKind::unsupported) return walk_error(bad_elements);
  if (PyArray_SIZE(arr) == 0) return 0;
  bool swapped = PyArray_ISBYTESWAPPED(arr);
  struct Iter {
    NpyIter *it;
    ~Iter() {
      if (it) NpyIter_Deallocate(it);
    }
  } iter{NpyIter_New(arr, NPY_ITER_READONLY | NPY_ITER_REFS_OK, NPY_KEEPORDER, NPY_NO_CASTING, nullptr)};
  if (!iter.it) return -1;
  NpyIter_IterNextFunc *next = NpyIter_GetIterNext(iter.it, nullptr);
  if (!next) return -1;
  char **dataptr = NpyIter_GetDataPtrArray(iter.it);
  int result = 0;
  do {
    const char *p = *dataptr;
    if (kind == ElementKind::model_object || kind == ElementKind::object) {
      PyObject *cell;
      memcpy(&cell, p, sizeof cell);
      if (!cell) return walk_error(bad_elements);
      // A handler may replace the array's element: hold it.
      nb::object item = nb::borrow(cell);
      result = kind == ElementKind::object ? walk(owner, item.ptr(), handler, data, depth - 1)
                                           : handler(owner, item.ptr(), data);
    } else {
      nb::object value = nb::steal(numeric_element(p, kind, swapped));
      result = value ? handler(owner, value.ptr(), data) : -1;
    }
  } while (result == 0 && next(iter.it));
  return result;
}

static int walk_sequence(PyObject *owner, PyObject *c, LeafHandler handler, void *data, int depth) {
  nb::object seq = nb::steal(PySequence_Fast(c, "Cannot iterate over sequence"));
  if (!seq) return -1;
  int result = 0;
  // The size is read again each time: a leaf handler may change a list it is walking.
  for (Py_ssize_t i = 0; result == 0 && i < PySequence_Fast_GET_SIZE(seq.ptr()); ++i) {
    nb::object item = nb::borrow(PySequence_Fast_GET_ITEM(seq.ptr(), i));
    result = walk(owner, item.ptr(), handler, data, depth - 1);
  }
  return result;
}

static int walk_dict(PyObject *owner, PyObject *c, LeafHandler handler, void *data, int depth) {
  nb::object values = nb::steal(PyDict_Values(c));  // a snapshot of our own
  if (!values) return -1;
  int result = 0;
  for (Py_ssize_t i = 0; result == 0 && i < PyList_GET_SIZE(values.ptr()); ++i)
    result = walk(owner, PyList_GET_ITEM(values.ptr(), i), handler, data, depth - 1);
  return result;
}

static int walk_iterator(PyObject *owner, PyObject *c, LeafHandler handler, void *data, int depth) {
  int result = 0;
  while (result == 0) {
    nb::object item = nb::steal(PyIter_Next(c));
    if (!item) return PyErr_Occurred() ? -1 : 0;
    result = walk(owner, item.ptr(), handler, data, depth - 1);
  }
  return result;
}

int walk(PyObject *owner, PyObject *c, LeafHandler handler, void *data, int depth) {
  if (!c)
    return walk_error(
        "Incorrect (nested) array/list/sequence passed. Perhaps this is a NumPy array containing a tuple?");
  if (depth < 0) return walk_error("Maximum recursion (inclusion) level reached");

  if (PyTuple_Check(c) || PyList_Check(c)) return walk_sequence(owner, c, handler, data, depth);
  if (PyArray_Check(c)) {
    nb::object hold = nb::borrow(c);  // a leaf handler may drop the caller's last reference
    return walk_array(owner, reinterpret_cast<PyArrayObject *>(c), handler, data, depth);
  }
  if (PyUnicode_Check(c) || PyBytes_Check(c)) return handler(owner, c, data);
  if (PySequence_Check(c)) return walk_sequence(owner, c, handler, data, depth);
  if (PyDict_Check(c)) return walk_dict(owner, c, handler, data, depth);
  if (PyIter_Check(c)) return walk_iterator(owner, c, handler, data, depth);
  return handler(owner, c, data);
}

}  // namespace kelvo
