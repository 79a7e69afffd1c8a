// Classic argument conversion: Python objects into work arrays for one library call, and
// result arrays back into the caller's lists.
#include "api/convert.h"

#include <climits>
#include <cstring>

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
    case ek_row:
    case ek_col:
    case ek_int: return sizeof(int32_t);
    case ek_int64: return sizeof(int64_t);
    case ek_real: return sizeof(double);
    case ek_char: return 1;
    case ek_cut: return sizeof(void *);
  }
  return 1;
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

// Looks a row (type 1) or column (type 2) name up in the library.
static int name_index(ProblemObject *p, PyObject *obj, int type, int *index) {
  const char *text = nullptr;
  nb::object encoded;
  if (PyBytes_Check(obj)) {
    text = PyBytes_AS_STRING(obj);
  } else {
    text = PyUnicode_AsUTF8(obj);
    if (!text) {
      PyErr_Clear();
      encoded = nb::steal(PyUnicode_AsASCIIString(obj));
      if (!encoded) return -1;
      text = PyBytes_AS_STRING(encoded.ptr());
    }
  }
  if (call(KLVOgetindex, "KLVOgetindex", p, p->prob, type, text, index) == 0) return 0;
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

// rows + sparerows: where the columns start in the combined range.
static int combined_base(ProblemObject *p, int *base) {
  int rows = 0, spare = 0;
  if (KLVOgetintattrib(p->prob, KLVO_ATTR_ROWS, &rows) != 0 ||
      KLVOgetintattrib(p->prob, KLVO_ATTR_SPAREROWS, &spare) != 0) {
    raise_error(reinterpret_cast<PyObject *>(p));
    return -1;
  }
  *base = rows + spare;
  return 0;
}

int conv_obj2combined(ProblemObject *p, PyObject *obj, int *index, bool *objects_used) {
  if (PyLong_Check(obj)) {
    long long v = PyLong_AsLongLong(obj);
    if (v == -1 && PyErr_Occurred()) return -1;
    if (v >= (1LL << 31)) return fail(g.InterfaceError, "Invalid variable or constraint index");
    *index = static_cast<int>(v);
    return 0;
  }
  if (is_var(obj)) {
    int col = var_column(as_var(obj), p);
    int base = 0;
    if (col < 0 || combined_base(p, &base) < 0) return -1;
    *index = col + base;
    if (objects_used) *objects_used = true;
    return 0;
  }
  if (is_constraint(obj)) {
    int row = resolve_row(obj, p);
    if (row < 0) return -1;
    *index = row;
    if (objects_used) *objects_used = true;
    return 0;
  }
  return fail(g.InterfaceError, "Value is not a variable, constraint or index");
}

PyObject *conv_combined2obj(ProblemObject *p, int index) {
  int base = 0;
  if (combined_base(p, &base) < 0) return nullptr;
  PyObject *list = index >= base ? p->vars : p->cons;
  Py_ssize_t at = index >= base ? index - base : index;
  if (at < 0 || at >= PyList_GET_SIZE(list)) {
    PyErr_SetString(PyExc_IndexError, "list index out of range");
    return nullptr;
  }
  return Py_NewRef(PyList_GET_ITEM(list, at));
}

// ---- arrays

// Converts one element into slot `at` of the array.
static int convert_element(ProblemObject *p, PyObject *item, ElemKind kind, void *data, int64_t at) {
  switch (kind) {
    case ek_row:
    case ek_col:
      return conv_obj2index(p, item, kind, static_cast<int32_t *>(data) + at);
    case ek_int:
      if (!is_integer(item)) return fail(g.InterfaceError, "Value is not an integer");
      return read_int32(item, static_cast<int32_t *>(data) + at);
    case ek_int64: {
      if (!is_integer(item)) return fail(g.InterfaceError, "Value is not an integer");
      long long v = PyLong_AsLongLong(item);
      if (v == -1 && PyErr_Occurred()) return -1;
      static_cast<int64_t *>(data)[at] = v;
      return 0;
    }
    case ek_real: {
      double v = PyFloat_AsDouble(item);
      if (v == -1.0 && PyErr_Occurred()) return -1;
      static_cast<double *>(data)[at] = v;
      return 0;
    }
    case ek_char: {
      Py_UCS4 ch = 0;
      if (!PyUnicode_Check(item)) {
        PyErr_Format(PyExc_TypeError, "expected a character, got %.100s", Py_TYPE(item)->tp_name);
        return -1;
      }
      if (PyUnicode_GET_LENGTH(item) > 1) {
        PyErr_Format(PyExc_TypeError, "expected a character, but string of length %zd found",
                     PyUnicode_GET_LENGTH(item));
        return -1;
      }
      // An empty string stands for the zero byte.
      if (PyUnicode_GET_LENGTH(item) == 1) ch = PyUnicode_ReadChar(item, 0);
      static_cast<char *>(data)[at] = static_cast<char>(ch & 0xff);
      return 0;
    }
    case ek_cut:
      if (!PyObject_TypeCheck(item, &poolcut_type)) return fail(g.InterfaceError, "Value is not a cut object");
      static_cast<void **>(data)[at] = reinterpret_cast<PoolCutObject *>(item)->handle;
      return 0;
  }
  return fail(g.InterfaceError, "Unknown element kind");
}

static int mismatched(int64_t expected, int64_t found) {
  PyErr_Format(g.InterfaceError, "Mismatched lengths in arguments: expected %lld, found %lld",
               static_cast<long long>(expected), static_cast<long long>(found));
  return -1;
}

// Converts the n items of a list or tuple. Converting an item can run Python (a number's
// __float__, a library message handler) that changes a list: each item is held while it is
// converted and read afresh.
static int convert_items(ProblemObject *p, PyObject *seq, Py_ssize_t n, ElemKind kind, WorkArray &out) {
  out.data = array_allocator.allocate(static_cast<size_t>(n) * elem_width(kind));
  if (!out.data) return -1;
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (i >= PySequence_Fast_GET_SIZE(seq)) {
      out.reset();
      return mismatched(n, PySequence_Fast_GET_SIZE(seq));
    }
    nb::object item = nb::borrow(PySequence_Fast_GET_ITEM(seq, i));
    if (convert_element(p, item.ptr(), kind, out.data, i) < 0) {
      out.reset();
      return -1;
    }
  }
  out.count = n;
  return 0;
}

static int convert_iterator(ProblemObject *p, LengthSlot *slot, PyObject *it, ElemKind kind, WorkArray &out) {
  size_t width = elem_width(kind);
  int64_t capacity = 256, count = 0;
  out.data = array_allocator.allocate(capacity * width);
  if (!out.data) return -1;
  while (nb::object item = nb::steal(PyIter_Next(it))) {
    if (count == capacity) {
      void *grown = array_allocator.resize(out.data, 2 * capacity * width);
      if (!grown) {
        out.reset();
        return -1;
      }
      out.data = grown;
      capacity *= 2;
    }
    if (convert_element(p, item.ptr(), kind, out.data, count) < 0) {
      out.reset();
      return -1;
    }
    ++count;
  }
  if (PyErr_Occurred()) {
    out.reset();
    return -1;
  }
  if (slot && *slot >= 0 && *slot != count) {
    out.reset();
    return mismatched(*slot, count);
  }
  if (count == 0) {
    out.reset();
  } else if (count < 2 * capacity / 3) {
    if (void *shrunk = array_allocator.resize(out.data, count * width)) out.data = shrunk;
    else PyErr_Clear();  // the larger block still holds everything
  }
  out.count = count;
  if (slot) *slot = count;
  return 0;
}

int conv_obj2arr(ProblemObject *p, LengthSlot *slot, PyObject *obj, ElemKind kind, WorkArray &out) {
  out.reset();
  if (!obj || obj == Py_None) return 0;
  bool list_like = PyList_Check(obj) || PyTuple_Check(obj);
  bool iterator = !list_like && PyIter_Check(obj);
  bool sequence = !list_like && !iterator && PySequence_Check(obj) && !PyDict_Check(obj);
  Py_ssize_t size = -1;
  if (list_like) size = PySequence_Fast_GET_SIZE(obj);
  else if (sequence) size = PySequence_Size(obj);
  if ((!list_like && !iterator && !sequence) || (!iterator && size < 0)) {
    PyErr_Clear();
    return fail(g.InterfaceError, "Invalid sequence of objects");
  }
  if (!iterator && slot) {
    if (*slot >= 0 && *slot != size) return mismatched(*slot, size);
    *slot = size;
  }
  if (list_like) return convert_items(p, obj, size, kind, out);
  if (iterator) return convert_iterator(p, slot, obj, kind, out);
  nb::object fast = nb::steal(PySequence_Fast(obj, "Unable to scan sequence"));
  if (!fast) return -1;
  return convert_items(p, fast.ptr(), PySequence_Fast_GET_SIZE(fast.ptr()), kind, out);
}

// ---- names

static int expected_strings(Py_ssize_t count, Py_ssize_t found) {
  PyErr_Format(g.InterfaceError, "Expected %zd strings but found %zd", count, found);
  return -1;
}

static int append_name(PyObject *item, std::string &out) {
  Py_ssize_t n = 0;
  const char *text = PyUnicode_AsUTF8AndSize(item, &n);
  if (!text) return -1;
  try {
    out.append(text, static_cast<size_t>(n));
    out.push_back('\0');
  } catch (const std::bad_alloc &) {
    return fail(g.InterfaceError, "Out of memory");
  }
  return 0;
}

int conv_names(PyObject *obj, Py_ssize_t count, std::string &out) {
  out.clear();
  if (count == 0) return 0;
  bool list_like = obj && (PyList_Check(obj) || PyTuple_Check(obj));
  bool iterator = obj && !list_like && PyIter_Check(obj);
  bool sequence = obj && obj != Py_None && !list_like && !iterator && PySequence_Check(obj);
  if (!list_like && !iterator && !sequence) return fail(g.InterfaceError, "Invalid sequence of strings");
  try {
    out.reserve(static_cast<size_t>(count) * 9);
  } catch (const std::bad_alloc &) {
    return fail(g.InterfaceError, "Out of memory");
  }
  if (iterator) {
    for (Py_ssize_t i = 0; i < count; ++i) {
      nb::object item = nb::steal(PyIter_Next(obj));
      if (!item) return PyErr_Occurred() ? -1 : expected_strings(count, i);
      if (append_name(item.ptr(), out) < 0) return -1;
    }
    return 0;
  }
  nb::object fast = nb::steal(PySequence_Fast(obj, "Invalid sequence of strings"));
  if (!fast) return -1;
  Py_ssize_t size = PySequence_Fast_GET_SIZE(fast.ptr());
  if (size < count) return expected_strings(count, size);
  for (Py_ssize_t i = 0; i < size; ++i)
    if (append_name(PySequence_Fast_GET_ITEM(fast.ptr(), i), out) < 0) return -1;
  return 0;
}

// ---- outputs

static PyObject *output_item(ProblemObject *p, const void *data, int64_t i, ElemKind kind) {
  switch (kind) {
    case ek_real: return PyFloat_FromDouble(static_cast<const double *>(data)[i]);
    case ek_int: return PyLong_FromLong(static_cast<const int32_t *>(data)[i]);
    case ek_int64: return PyLong_FromLongLong(static_cast<const int64_t *>(data)[i]);
    case ek_col: {
      int col = static_cast<const int32_t *>(data)[i];
      if (col < 0) return Py_NewRef(Py_None);
      if (col >= PyList_GET_SIZE(p->vars)) return nullptr;
      return Py_NewRef(PyList_GET_ITEM(p->vars, col));
    }
    case ek_row: {
      int row = static_cast<const int32_t *>(data)[i];
      if (row < 0) return Py_NewRef(Py_None);
      if (row >= PyList_GET_SIZE(p->cons)) return nullptr;
      return Py_NewRef(PyList_GET_ITEM(p->cons, row));
    }
    case ek_char: return PyUnicode_FromOrdinal(static_cast<const unsigned char *>(data)[i]);
    default: return nullptr;
  }
}

int conv_arr2obj(ProblemObject *p, int64_t count, const void *data, PyObject *arg, ElemKind kind) {
  if (!data || !arg || arg == Py_None) return 0;
  if (!PyList_Check(arg)) return fail(g.ModelError, "Unexpected argument to conv_arr2obj");
  Py_ssize_t n = static_cast<Py_ssize_t>(count);
  if (PyList_GET_SIZE(arg) > n && PyList_SetSlice(arg, n, PyList_GET_SIZE(arg), nullptr) < 0) return -1;
  Py_ssize_t old = PyList_GET_SIZE(arg);
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *item = output_item(p, data, i, kind);
    if (!item) {
      if (!PyErr_Occurred()) PyErr_Format(g.InterfaceError, "Wrong item returned from API call, type %d", kind);
      return -1;
    }
    if (i < old) {
      if (PyList_SetItem(arg, i, item) < 0) return -1;  // steals item, releases the old one
      continue;
    }
    nb::object appended = nb::steal(item);
    if (PyList_Append(arg, appended.ptr()) < 0) return -1;
  }
  return 0;
}

}  // namespace kelvo
