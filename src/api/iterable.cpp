// Iterable argument conversion of the array-sized methods: any iterable into a growable array,
// with the failing element's position and argument name in the message.
#include <cmath>
#include <climits>

#include "api/convert.h"
#include "model/model.h"
#include "model/var.h"
#include "module/frame.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

// Replaces the pending exception by "Error in element %d of argument '%s': %s".
void element_error(size_t position, const char *name) {
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  nb::object owned_type = nb::steal(type), owned_value = nb::steal(value), owned_tb = nb::steal(tb);
  nb::object text;
  if (value) text = nb::steal(PyObject_Str(value));
  if (value && !text) PyErr_Clear();
  const char *detail = !value ? "(none)" : text ? PyUnicode_AsUTF8(text.ptr()) : "(error)";
  if (!detail) {
    PyErr_Clear();
    detail = "(error)";
  }
  PyErr_Format(g.InterfaceError, "Error in element %zu of argument '%s': %s", position, name, detail);
}

int error(PyObject *cls, const char *message) {
  PyErr_SetString(cls, message);
  return -1;
}

// Walks obj, calling convert(item) for each element; 0 or -1.
template <class Vec, class Convert>
int for_each_element(PyObject *obj, const char *name, Vec &out, Convert convert) {
  out.clear();
  Py_ssize_t size = PyObject_Size(obj);
  if (size >= 0) out.reserve(static_cast<size_t>(size));
  else PyErr_Clear();
  nb::object it = nb::steal(PyObject_GetIter(obj));
  if (!it) {
    PyErr_Clear();
    PyErr_Format(g.InterfaceError, "Argument '%s' must be iterable", name);
    return -1;
  }
  while (nb::object item = nb::steal(PyIter_Next(it.ptr()))) {
    typename Vec::value_type value{};
    if (convert(item.ptr(), &value) < 0) {
      element_error(out.size(), name);
      return -1;
    }
    out.push_back(value);
  }
  return PyErr_Occurred() ? -1 : 0;
}

// A Python int below 2^31 (read as 64 bits), or -1 with `too_big`.
int small_index(PyObject *item, const char *too_big, int *out) {
  long long v = PyLong_AsLongLong(item);
  if (v == -1 && PyErr_Occurred()) return -1;
  if (v >= (1LL << 31)) return error(g.InterfaceError, too_big);
  *out = static_cast<int>(v);
  return 0;
}

}  // namespace

int iter_indices(ProblemObject *p, PyObject *obj, const char *name, SetKind kind, std::vector<int> &out,
                 bool *objects_used) {
  return for_each_element(obj, name, out, [&](PyObject *item, int *value) {
    if (PyLong_Check(item))
      return small_index(item, kind == sk_row ? "Invalid constraint index" : kind == sk_col ? "Invalid variable index"
                                                                                             : "Invalid SOS index",
                         value);
    if (kind == sk_col && is_var(item)) {
      int col = var_column(as_var(item), p);
      if (col < 0) return -1;
      *value = col;
    } else if (kind == sk_row && PyObject_TypeCheck(item, &constraint_type)) {
      int row = resolve_row(item, p);
      if (row < 0) return -1;
      *value = row;
    } else if (kind == sk_set && PyObject_TypeCheck(item, &sos_type)) {
      auto *s = reinterpret_cast<SosObject *>(item);
      if (s->owner == deleted_marker) return error(g.ModelError, "SOS has been deleted from the problem");
      if (s->owner != p && (!p->parent || s->owner != p->parent))
        return error(g.ModelError, "SOS is from a different problem");
      *value = static_cast<int>(s->index);
    } else {
      return error(g.InterfaceError, kind == sk_row   ? "Value is not a constraint or constraint index"
                                     : kind == sk_col ? "Value is not a variable or variable index"
                                                      : "Value is not a SOS or SOS index");
    }
    if (objects_used) *objects_used = true;
    return 0;
  });
}

int iter_chars(PyObject *obj, const char *name, std::vector<char> &out) {
  return for_each_element(obj, name, out, [](PyObject *item, char *value) {
    long code;
    if (PyLong_Check(item)) {
      code = PyLong_AsLong(item);
      if (code == -1 && PyErr_Occurred()) return -1;
    } else if (PyUnicode_Check(item)) {
      if (PyUnicode_GET_LENGTH(item) != 1) return error(g.InterfaceError, "Value is not a single character");
      code = static_cast<long>(PyUnicode_ReadChar(item, 0));
    } else {
      return error(g.InterfaceError, "Value is not an character");
    }
    if (code < 0 || code > 127) return error(PyExc_OverflowError, "int too big to convert");
    *value = static_cast<char>(code);
    return 0;
  });
}

int iter_ints(PyObject *obj, const char *name, std::vector<int> &out) {
  return for_each_element(obj, name, out, [](PyObject *item, int *value) {
    if (!PyLong_Check(item)) return error(g.InterfaceError, "Value is not an integer");
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(item, &overflow);
    if (v == -1 && PyErr_Occurred()) return -1;
    if (overflow || v > INT_MAX || v < -INT_MAX) return error(PyExc_OverflowError, "int too big to convert");
    *value = static_cast<int>(v);
    return 0;
  });
}

int iter_int64s(PyObject *obj, const char *name, std::vector<int64_t> &out) {
  return for_each_element(obj, name, out, [](PyObject *item, int64_t *value) {
    if (!PyLong_Check(item)) return error(g.InterfaceError, "Value is not an integer");
    long long v = PyLong_AsLongLong(item);
    if (v == -1 && PyErr_Occurred()) return -1;
    *value = v;
    return 0;
  });
}

int iter_reals(PyObject *obj, const char *name, std::vector<double> &out) {
  return for_each_element(obj, name, out, [](PyObject *item, double *value) {
    if (PyFloat_Check(item)) {
      double v = PyFloat_AsDouble(item);
      if (v == -1.0 && PyErr_Occurred()) return -1;
      *value = v;
      return 0;
    }
    if (PyLong_Check(item)) {
      int overflow = 0;
      long long v = PyLong_AsLongLongAndOverflow(item, &overflow);
      if (v == -1 && PyErr_Occurred()) return -1;
      constexpr long long limit = 1LL << 53;
      if (overflow || v > limit || v < -limit) return error(PyExc_OverflowError, "int too big to convert");
      *value = static_cast<double>(v);
      return 0;
    }
    return error(g.InterfaceError, "Value is not a number");
  });
}

template <class T, class Make>
static PyObject *build_list(const T *values, size_t n, Make make) {
  nb::object list = nb::steal(PyList_New(static_cast<Py_ssize_t>(n)));
  if (!list) return nullptr;
  for (size_t i = 0; i < n; ++i) {
    PyObject *item = make(values[i]);
    if (!item) return nullptr;
    PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release().ptr();
}

PyObject *int_list(const int *values, size_t n) { return build_list(values, n, [](int v) { return PyLong_FromLong(v); }); }

PyObject *real_list(const double *values, size_t n) {
  return build_list(values, n, [](double v) { return PyFloat_FromDouble(v); });
}

}  // namespace kelvo
