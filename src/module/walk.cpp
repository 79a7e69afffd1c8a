// The nested-collection walk.
#include "module/walk.h"

#include <cstring>

#include "numpy/numpy.h"

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
  PyObject *descr = reinterpret_cast<PyObject *>(d);
  if (descr == g.npvar || descr == g.npexpr || descr == g.npconstraint) return ElementKind::model_object;
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
  NpyIter *it = NpyIter_New(arr, NPY_ITER_READONLY | NPY_ITER_REFS_OK, NPY_KEEPORDER, NPY_NO_CASTING, nullptr);
  if (!it) return -1;
  NpyIter_IterNextFunc *next = NpyIter_GetIterNext(it, nullptr);
  if (!next) {
    NpyIter_Deallocate(it);
    return -1;
  }
  char **dataptr = NpyIter_GetDataPtrArray(it);
  int result = 0;
  do {
    const char *p = *dataptr;
    if (kind == ElementKind::model_object || kind == ElementKind::object) {
      PyObject *item;
      memcpy(&item, p, sizeof item);
      if (!item) {
        result = walk_error(bad_elements);
      } else {
        Py_INCREF(item);
        result = kind == ElementKind::object ? walk(owner, item, handler, data, depth - 1) : handler(owner, item, data);
        Py_DECREF(item);
      }
    } else {
      PyObject *value = numeric_element(p, kind, swapped);
      result = value ? handler(owner, value, data) : -1;
      Py_XDECREF(value);
    }
  } while (result == 0 && next(it));
  NpyIter_Deallocate(it);
  return result;
}

static int walk_sequence(PyObject *owner, PyObject *c, LeafHandler handler, void *data, int depth) {
  PyObject *seq = PySequence_Fast(c, "Cannot iterate over sequence");
  if (!seq) return -1;
  int result = 0;
  // The size is read again each time: a leaf handler may change a list it is walking.
  for (Py_ssize_t i = 0; result == 0 && i < PySequence_Fast_GET_SIZE(seq); ++i) {
    PyObject *item = Py_NewRef(PySequence_Fast_GET_ITEM(seq, i));
    result = walk(owner, item, handler, data, depth - 1);
    Py_DECREF(item);
  }
  Py_DECREF(seq);
  return result;
}

static int walk_dict(PyObject *owner, PyObject *c, LeafHandler handler, void *data, int depth) {
  PyObject *values = PyDict_Values(c);
  if (!values) return -1;
  int result = 0;
  for (Py_ssize_t i = 0; result == 0 && i < PyList_GET_SIZE(values); ++i)
    result = walk(owner, PyList_GET_ITEM(values, i), handler, data, depth - 1);
  Py_DECREF(values);
  return result;
}

static int walk_iterator(PyObject *owner, PyObject *c, LeafHandler handler, void *data, int depth) {
  int result = 0;
  while (result == 0) {
    PyObject *item = PyIter_Next(c);
    if (!item) return PyErr_Occurred() ? -1 : 0;
    result = walk(owner, item, handler, data, depth - 1);
    Py_DECREF(item);
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
    PyObject *hold = Py_NewRef(c);  // a leaf handler may drop the caller's last reference
    int result = walk_array(owner, reinterpret_cast<PyArrayObject *>(c), handler, data, depth);
    Py_DECREF(hold);
    return result;
  }
  if (PyUnicode_Check(c) || PyBytes_Check(c)) return handler(owner, c, data);
  if (PySequence_Check(c)) return walk_sequence(owner, c, handler, data, depth);
  if (PyDict_Check(c)) return walk_dict(owner, c, handler, data, depth);
  if (PyIter_Check(c)) return walk_iterator(owner, c, handler, data, depth);
  return handler(owner, c, data);
}

}  // namespace kelvo
