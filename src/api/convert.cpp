// Classic argument conversion: Python objects into work arrays for one library call, and
// result arrays back into the caller's lists.
#include "api/convert.h"

#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "callbacks/callbacks.h"
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

size_t elem_width(ElemKind kind) {
  switch (kind) {
    case ek_real: return sizeof(double);
    case ek_int64: return sizeof(int64_t);
    case ek_char: return sizeof(char);
    case ek_cut: return sizeof(void *);
    default: return sizeof(int32_t);
  }
}

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

int lookup_name(ProblemObject *p, PyObject *obj, ElemKind kind, int *index) {
  const int type = kind == ek_row ? 1 : 2;
  const char *text = c_text(obj, nullptr);
  if (!text) return -1;
  if (call(KLVOgetindex, "KLVOgetindex", p, p->prob, type, text, index) == 0) return 0;
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

int conv_obj2index(ProblemObject *p, PyObject *obj, ElemKind kind, int *index) {
  if (is_integer(obj)) return int32_value(obj, index);
  if (PyUnicode_Check(obj) || PyBytes_Check(obj)) {
    // A name nobody has must not reach the library as -1, which some functions read as "the
    // objective constant" or "no row".
    if (lookup_name(p, obj, kind, index) < 0) return -1;
    if (*index >= 0) return 0;
    PyErr_Format(g.InterfaceError, kind == ek_row ? "No row is named %R" : "No column is named %R", obj);
    return -1;
  }
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

static int int64_value(PyObject *obj, int64_t *value) {
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
  if (v == -1 && PyErr_Occurred()) return -1;
  if (overflow) {
    PyErr_Format(PyExc_OverflowError, "%R is out of range for a 64-bit integer", obj);
    return -1;
  }
  *value = v;
  return 0;
}

static int one_character(PyObject *item, char *out) {
  if (!PyUnicode_Check(item) || PyUnicode_GET_LENGTH(item) != 1)
    return fail(g.InterfaceError, "Value is not a single character");
  *out = static_cast<char>(PyUnicode_READ_CHAR(item, 0) & 0xff);
  return 0;
}

// Converts one element into slot `at` of the array.
static int convert_element(ProblemObject *p, PyObject *item, ElemKind kind, void *data, int64_t at) {
  switch (kind) {
    case ek_row:
    case ek_col: return conv_obj2index(p, item, kind, static_cast<int32_t *>(data) + at);
    case ek_real: {
      double v = PyFloat_AsDouble(item);
      if (v == -1.0 && PyErr_Occurred()) return -1;
      static_cast<double *>(data)[at] = v;
      return 0;
    }
    case ek_int:
      if (!is_integer(item)) return fail(g.InterfaceError, "Value is not an integer");
      return int32_value(item, static_cast<int32_t *>(data) + at);
    case ek_int64:
      if (!is_integer(item)) return fail(g.InterfaceError, "Value is not an integer");
      return int64_value(item, static_cast<int64_t *>(data) + at);
    case ek_char: return one_character(item, static_cast<char *>(data) + at);
    case ek_cut:
      if (!PyObject_TypeCheck(item, &poolcut_type)) return fail(g.InterfaceError, "Value is not a pool cut");
      static_cast<void **>(data)[at] = reinterpret_cast<PoolCutObject *>(item)->handle;
      return 0;
  }
  return fail(g.InterfaceError, "Invalid element kind");
}

static int mismatched(int64_t expected, int64_t found) {
  PyErr_Format(g.InterfaceError, "Mismatched lengths in arguments: expected %lld, found %lld",
               static_cast<long long>(expected), static_cast<long long>(found));
  return -1;
}

// A one-dimensional buffer of numbers (a NumPy array): its element type as a letter of the
// struct module ('d', 'q', ...), or 0 when the buffer is something else.
static char buffer_letter(const Py_buffer &view) {
  if (view.ndim != 1 || !view.format) return 0;
  const char *f = view.format;
  if (*f == '@' || *f == '=' || (*f == '<' && PY_LITTLE_ENDIAN) || (*f == '>' && !PY_LITTLE_ENDIAN)) ++f;
  if (!f[0] || f[1]) return 0;
  return std::strchr("dfbhilqBHILQ", f[0]) ? f[0] : 0;
}

template <class T> static T buffer_item(const Py_buffer &view, Py_ssize_t i) {
  T v;
  std::memcpy(&v, static_cast<const char *>(view.buf) + i * view.strides[0], sizeof v);
  return v;
}

// Reads element i of a numeric buffer as a double, or as a 64-bit integer (false for floating
// elements, and for unsigned elements beyond the signed range).
static double buffer_real(const Py_buffer &view, char letter, Py_ssize_t i) {
  switch (letter) {
    case 'd': return buffer_item<double>(view, i);
    case 'f': return buffer_item<float>(view, i);
    case 'b': return buffer_item<signed char>(view, i);
    case 'h': return buffer_item<short>(view, i);
    case 'i': return buffer_item<int>(view, i);
    case 'l': return static_cast<double>(buffer_item<long>(view, i));
    case 'q': return static_cast<double>(buffer_item<long long>(view, i));
    case 'B': return buffer_item<unsigned char>(view, i);
    case 'H': return buffer_item<unsigned short>(view, i);
    case 'I': return buffer_item<unsigned int>(view, i);
    case 'L': return static_cast<double>(buffer_item<unsigned long>(view, i));
    default: return static_cast<double>(buffer_item<unsigned long long>(view, i));
  }
}

static long long buffer_signed(const Py_buffer &view, char letter, Py_ssize_t i) {
  switch (letter) {
    case 'b': return buffer_item<signed char>(view, i);
    case 'h': return buffer_item<short>(view, i);
    case 'i': return buffer_item<int>(view, i);
    case 'l': return buffer_item<long>(view, i);
    default: return buffer_item<long long>(view, i);
  }
}

// Fast path for NumPy arrays of one-character strings ('U1' or 'S1'): 1 when converted, 0 when
// the element-by-element path must run (other layouts, and empty elements, which it refuses).
static int conv_char_buffer(PyObject *obj, LengthSlot *slot, WorkArray &out) {
  Py_buffer view;
  if (PyObject_GetBuffer(obj, &view, PyBUF_FORMAT | PyBUF_STRIDES) != 0) {
    PyErr_Clear();
    return 0;
  }
  struct Release {
    Py_buffer *v;
    ~Release() { PyBuffer_Release(v); }
  } release{&view};
  const char *f = view.format ? view.format : "";
  if (*f == '@' || *f == '=' || (*f == '<' && PY_LITTLE_ENDIAN)) ++f;
  bool ucs4 = std::strcmp(f, "1w") == 0 && view.itemsize == 4;
  bool bytes = (std::strcmp(f, "1s") == 0 || std::strcmp(f, "c") == 0) && view.itemsize == 1;
  if (view.ndim != 1 || !(ucs4 || bytes)) return 0;
  Py_ssize_t n = view.shape[0];
  if (slot && *slot >= 0 && *slot != n) return mismatched(*slot, n);
  out.data = array_allocator.allocate(static_cast<size_t>(n));
  if (!out.data) return -1;
  char *dst = out.as<char>();
  for (Py_ssize_t i = 0; i < n; ++i) {
    uint32_t code = ucs4 ? buffer_item<uint32_t>(view, i) : buffer_item<unsigned char>(view, i);
    if (code == 0) {
      out.reset();
      return 0;
    }
    dst[i] = static_cast<char>(code & 0xff);
  }
  out.count = n;
  if (slot) *slot = n;
  return 1;
}

// Fast path for NumPy arrays and other numeric buffers: 1 when converted, 0 when the object
// must take the element-by-element path (which gives the element messages), -1 on error.
// Only signed integers are integers here, as for scalars.
static int conv_buffer(PyObject *obj, LengthSlot *slot, ElemKind kind, WorkArray &out) {
  if (kind == ek_cut || !PyObject_CheckBuffer(obj)) return 0;
  if (kind == ek_char) return conv_char_buffer(obj, slot, out);
  Py_buffer view;
  if (PyObject_GetBuffer(obj, &view, PyBUF_FORMAT | PyBUF_STRIDES) != 0) {
    PyErr_Clear();
    return 0;
  }
  struct Release {
    Py_buffer *v;
    ~Release() { PyBuffer_Release(v); }
  } release{&view};
  char letter = buffer_letter(view);
  bool is_signed = letter && std::strchr("bhilq", letter);
  if (!letter || (kind != ek_real && !is_signed)) return 0;
  Py_ssize_t n = view.shape[0];
  if (slot && *slot >= 0 && *slot != n) return mismatched(*slot, n);
  out.data = array_allocator.allocate(static_cast<size_t>(n) * elem_width(kind));
  if (!out.data) return -1;
  if (kind == ek_real) {
    double *dst = out.as<double>();
    if (letter == 'd' && view.strides[0] == sizeof(double))
      std::memcpy(dst, view.buf, static_cast<size_t>(n) * sizeof(double));
    else
      for (Py_ssize_t i = 0; i < n; ++i) dst[i] = buffer_real(view, letter, i);
  } else if (kind == ek_int64) {
    int64_t *dst = out.as<int64_t>();
    for (Py_ssize_t i = 0; i < n; ++i) dst[i] = buffer_signed(view, letter, i);
  } else {
    int32_t *dst = out.as<int32_t>();
    for (Py_ssize_t i = 0; i < n; ++i) {
      long long v = buffer_signed(view, letter, i);
      if (v < INT_MIN || v > INT_MAX) {
        out.reset();
        PyErr_Format(PyExc_OverflowError, "%lld is out of range for a 32-bit integer", v);
        return -1;
      }
      dst[i] = static_cast<int32_t>(v);
    }
  }
  out.count = n;
  if (slot) *slot = n;
  return 1;
}

// Iterators have no length in advance: the array grows by doubling from 256 elements and is
// shrunk once at the end when much of it is unused.
static int conv_iterator(ProblemObject *p, LengthSlot *slot, PyObject *it, ElemKind kind, WorkArray &out) {
  const size_t width = elem_width(kind);
  int64_t capacity = 256, n = 0;
  out.data = array_allocator.allocate(static_cast<size_t>(capacity) * width);
  if (!out.data) return -1;
  while (nb::object item = nb::steal(PyIter_Next(it))) {
    if (n == capacity) {
      void *grown = array_allocator.resize(out.data, static_cast<size_t>(capacity) * 2 * width);
      if (!grown) {
        out.reset();
        return -1;
      }
      out.data = grown;
      capacity *= 2;
    }
    if (convert_element(p, item.ptr(), kind, out.data, n) < 0) {
      out.reset();
      return -1;
    }
    ++n;
  }
  if (PyErr_Occurred()) {
    out.reset();
    return -1;
  }
  if (slot && *slot >= 0 && *slot != n) {
    out.reset();
    return mismatched(*slot, n);
  }
  if (n == 0) {
    out.reset();
  } else if (n < capacity * 2 / 3) {
    void *shrunk = array_allocator.resize(out.data, static_cast<size_t>(n) * width);
    if (shrunk) out.data = shrunk;
    PyErr_Clear();  // keeping the larger block is fine
  }
  out.count = n;
  if (slot) *slot = n;
  return 0;
}

// Converting an item can run Python (a number's __float__, a library message handler) that
// changes a list: each item is held while it is converted, and the list is read afresh.
int conv_obj2arr(ProblemObject *p, LengthSlot *slot, PyObject *obj, ElemKind kind, WorkArray &out) {
  out.reset();
  if (!obj || obj == Py_None) return 0;
  if (PyIter_Check(obj)) return conv_iterator(p, slot, obj, kind, out);
  if (PyDict_Check(obj) || !PySequence_Check(obj)) return fail(g.InterfaceError, "Invalid sequence of objects");
  if (!PyList_Check(obj) && !PyTuple_Check(obj)) {
    int fast_done = conv_buffer(obj, slot, kind, out);
    if (fast_done != 0) return fast_done < 0 ? -1 : 0;
  }
  nb::object fast = nb::steal(PySequence_Fast(obj, "Unable to scan sequence"));
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

// ---- combined indices

static int combined_base(ProblemObject *p, int *base) {
  int rows, spare;
  if (read_int_attrib(p, KLVO_ATTR_ROWS, &rows) < 0 || read_int_attrib(p, KLVO_ATTR_SPAREROWS, &spare) < 0) return -1;
  *base = rows + spare;
  return 0;
}

int conv_obj2combined(ProblemObject *p, PyObject *obj, int *index) {
  if (PyLong_Check(obj)) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (v == -1 && PyErr_Occurred()) return -1;
    if (overflow || v >= (1LL << 31) || v < INT_MIN)
      return fail(g.InterfaceError, "Invalid variable or constraint index");
    *index = static_cast<int>(v);
    return 0;
  }
  if (is_var(obj)) {
    int col = var_column(as_var(obj), p), base;
    if (col < 0 || combined_base(p, &base) < 0) return -1;
    *index = col + base;
    return 0;
  }
  if (is_constraint(obj)) {
    int row = resolve_row(obj, p);
    if (row < 0) return -1;
    *index = row;
    return 0;
  }
  return fail(g.InterfaceError, "Value is not a variable, constraint or index");
}

PyObject *combined_object(ProblemObject *p, int index) {
  int base;
  if (combined_base(p, &base) < 0) return nullptr;
  PyObject *list = index >= base ? p->vars : p->cons;
  Py_ssize_t at = index >= base ? index - base : index;
  if (at < 0 || at >= PyList_GET_SIZE(list)) {
    PyErr_SetString(PyExc_IndexError, "list index out of range");
    return nullptr;
  }
  return Py_NewRef(PyList_GET_ITEM(list, at));
}

// ---- results

template <class T> static PyObject *number_list(const T *values, size_t n, PyObject *(*make)(T)) {
  nb::object list = nb::steal(PyList_New(static_cast<Py_ssize_t>(n)));
  if (!list) return nullptr;
  for (size_t i = 0; i < n; ++i) {
    PyObject *item = make(values[i]);
    if (!item) return nullptr;
    PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release().ptr();
}

static PyObject *long_of_int(int v) { return PyLong_FromLong(v); }

PyObject *real_list(const double *values, size_t n) { return number_list(values, n, PyFloat_FromDouble); }
PyObject *int_list(const int *values, size_t n) { return number_list(values, n, long_of_int); }

// The object a result index stands for: the problem's object at that position, the plain
// index beyond the list, None for a negative index.
static PyObject *index_item(PyObject *objects, int index) {
  if (index < 0) Py_RETURN_NONE;
  if (index < PyList_GET_SIZE(objects)) return Py_NewRef(PyList_GET_ITEM(objects, index));
  return PyLong_FromLong(index);
}

static PyObject *result_item(ProblemObject *p, const void *values, int64_t i, ElemKind kind) {
  switch (kind) {
    case ek_real: return PyFloat_FromDouble(static_cast<const double *>(values)[i]);
    case ek_int: return PyLong_FromLong(static_cast<const int32_t *>(values)[i]);
    case ek_int64: return PyLong_FromLongLong(static_cast<const int64_t *>(values)[i]);
    case ek_char: return PyUnicode_FromOrdinal(static_cast<unsigned char>(static_cast<const char *>(values)[i]));
    case ek_col: return index_item(p->vars, static_cast<const int32_t *>(values)[i]);
    case ek_row: return index_item(p->cons, static_cast<const int32_t *>(values)[i]);
    case ek_cut: return new_poolcut(static_cast<void *const *>(values)[i]);
  }
  PyErr_Format(g.InterfaceError, "Wrong item returned from API call, type %d", static_cast<int>(kind));
  return nullptr;
}

// Replacing an item releases the old one, which can run Python that changes the list: its
// length is read afresh for every position.
int conv_arr2obj(ProblemObject *p, int64_t count, const void *values, PyObject *arg, ElemKind kind) {
  if (!values || !arg || arg == Py_None) return 0;
  if (!PyList_Check(arg)) return fail(g.ModelError, "Unexpected argument to conv_arr2obj");
  nb::object list = nb::borrow(arg);
  if (PyList_GET_SIZE(arg) > count && PyList_SetSlice(arg, static_cast<Py_ssize_t>(count), PY_SSIZE_T_MAX, nullptr) < 0)
    return -1;
  for (int64_t i = 0; i < count; ++i) {
    nb::object item = nb::steal(result_item(p, values, i, kind));
    if (!item) {
      if (!PyErr_Occurred())
        PyErr_Format(g.InterfaceError, "Wrong item returned from API call, type %d", static_cast<int>(kind));
      return -1;
    }
    int rc = i < PyList_GET_SIZE(arg) ? PyList_SetItem(arg, static_cast<Py_ssize_t>(i), item.release().ptr())
                                      : PyList_Append(arg, item.ptr());
    if (rc < 0) return -1;
  }
  return 0;
}

// ---- names

int conv_names(PyObject *obj, int64_t count, std::string &buffer) {
  buffer.clear();
  if (count == 0) return 0;
  bool iterator = obj && PyIter_Check(obj);
  if (!obj || obj == Py_None || PyDict_Check(obj) || (!iterator && !PySequence_Check(obj)))
    return fail(g.InterfaceError, "Invalid sequence of strings");
  nb::object items;
  if (iterator) {
    items = nb::borrow(obj);
  } else {
    items = nb::steal(PySequence_List(obj));
    if (!items) return -1;
    if (PyList_GET_SIZE(items.ptr()) < count) {
      PyErr_Format(g.InterfaceError, "Expected %lld strings but found %lld", static_cast<long long>(count),
                   static_cast<long long>(PyList_GET_SIZE(items.ptr())));
      return -1;
    }
  }
  try {
    buffer.reserve(static_cast<size_t>(count) * 9);
  } catch (const std::bad_alloc &) {
    return fail(g.InterfaceError, "Out of memory");
  }
  for (int64_t i = 0; i < count; ++i) {
    nb::object name;
    if (iterator) {
      name = nb::steal(PyIter_Next(obj));
      if (!name) {
        if (PyErr_Occurred()) return -1;
        PyErr_Format(g.InterfaceError, "Expected %lld strings but found %lld", static_cast<long long>(count),
                     static_cast<long long>(i));
        return -1;
      }
    } else {
      name = nb::borrow(PyList_GET_ITEM(items.ptr(), static_cast<Py_ssize_t>(i)));
    }
    if (!PyUnicode_Check(name.ptr())) {
      PyErr_Format(PyExc_TypeError, "Name must be a str, not %.200s", Py_TYPE(name.ptr())->tp_name);
      return -1;
    }
    Py_ssize_t n;
    const char *text = c_text(name.ptr(), &n);
    if (!text) return -1;
    try {
      buffer.append(text, static_cast<size_t>(n));
      buffer.push_back('\0');
    } catch (const std::bad_alloc &) {
      return fail(g.InterfaceError, "Out of memory");
    }
  }
  return 0;
}

// ---- required arguments

int array_count(LengthSlot n, int *count) {
  if (n > INT_MAX) {
    PyErr_Format(PyExc_OverflowError, "%lld elements are more than a 32-bit count holds", static_cast<long long>(n));
    return -1;
  }
  *count = n < 0 ? 0 : static_cast<int>(n);
  return 0;
}

int missing_arguments(std::initializer_list<const char *> names) {
  std::string message = names.size() == 1 ? "Must provide argument " : "Must provide arguments ";
  const char *separator = "";
  for (const char *name : names) {
    message += separator;
    message += name;
    separator = ", ";
  }
  if (message.size() > 255) message.resize(255);
  return fail(g.InterfaceError, message.c_str());
}

int require_arguments(std::initializer_list<const char *> names, std::initializer_list<PyObject *> values) {
  for (PyObject *v : values)
    if (!v || v == Py_None) return missing_arguments(names);
  return 0;
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
