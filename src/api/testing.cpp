// Private entry points of the argument conversion for the test suite (joined to
// kelvo._kelvo._testing). Each runs one conversion and shows what the library would receive.
#include "api/convert.h"
#include "module/frame.h"

namespace kelvo {

static ProblemObject *problem_or_none(PyObject *o) {
  if (o == Py_None) return nullptr;
  if (!is_problem(o)) {
    PyErr_SetString(PyExc_TypeError, "expected a kelvo.problem or None");
    return nullptr;
  }
  return reinterpret_cast<ProblemObject *>(o);
}

// The elements of a work array as a list (None for no array).
static PyObject *array_list(const WorkArray &a, ElemKind kind) {
  if (!a.data) Py_RETURN_NONE;
  PyObject *list = PyList_New(static_cast<Py_ssize_t>(a.count));
  if (!list) return nullptr;
  for (int64_t i = 0; i < a.count; ++i) {
    PyObject *item = nullptr;
    switch (kind) {
      case ek_row:
      case ek_col:
      case ek_int: item = PyLong_FromLong(a.as<int32_t>()[i]); break;
      case ek_int64: item = PyLong_FromLongLong(a.as<int64_t>()[i]); break;
      case ek_real: item = PyFloat_FromDouble(a.as<double>()[i]); break;
      case ek_char: item = PyLong_FromLong(a.as<unsigned char>()[i]); break;
      case ek_cut: item = PyLong_FromVoidPtr(a.as<void *>()[i]); break;
    }
    if (!item) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

static bool valid_kind(int kind) {
  if (kind >= ek_row && kind <= ek_cut) return true;
  PyErr_SetString(PyExc_ValueError, "unknown element kind");
  return false;
}

// conv_array(problem, obj, kind, slot=-1, use_slot=True) -> (values or None, slot)
static PyObject *t_conv_array(PyObject *, PyObject *args) {
  PyObject *prob, *obj;
  int kind, use_slot = 1;
  long long slot = -1;
  if (!PyArg_ParseTuple(args, "OOi|Lp", &prob, &obj, &kind, &slot, &use_slot) || !valid_kind(kind)) return nullptr;
  ProblemObject *p = problem_or_none(prob);
  if (!p && PyErr_Occurred()) return nullptr;
  LengthSlot length = slot;
  WorkArray a;
  if (conv_obj2arr(p, use_slot ? &length : nullptr, obj, static_cast<ElemKind>(kind), a) < 0) return nullptr;
  PyObject *values = array_list(a, static_cast<ElemKind>(kind));
  return values ? Py_BuildValue("(NL)", values, static_cast<long long>(length)) : nullptr;
}

// conv_names(obj, count) -> bytes of the name buffer
static PyObject *t_conv_names(PyObject *, PyObject *args) {
  PyObject *obj;
  Py_ssize_t count;
  if (!PyArg_ParseTuple(args, "On", &obj, &count)) return nullptr;
  std::string buffer;
  if (conv_names(obj, count, buffer) < 0) return nullptr;
  return PyBytes_FromStringAndSize(buffer.data(), static_cast<Py_ssize_t>(buffer.size()));
}

// conv_index(problem, obj, kind) -> int
static PyObject *t_conv_index(PyObject *, PyObject *args) {
  PyObject *prob, *obj;
  int kind, index = -1;
  if (!PyArg_ParseTuple(args, "O!Oi", &problem_type, &prob, &obj, &kind)) return nullptr;
  if (kind != ek_row && kind != ek_col) {
    PyErr_SetString(PyExc_ValueError, "kind must be a row or column index");
    return nullptr;
  }
  auto *p = reinterpret_cast<ProblemObject *>(prob);
  if (conv_obj2index(p, obj, static_cast<ElemKind>(kind), &index) < 0) return nullptr;
  return PyLong_FromLong(index);
}

// conv_combined(problem, obj) -> (index, objects_used)
static PyObject *t_conv_combined(PyObject *, PyObject *args) {
  PyObject *prob, *obj;
  if (!PyArg_ParseTuple(args, "O!O", &problem_type, &prob, &obj)) return nullptr;
  int index = -1;
  bool used = false;
  if (conv_obj2combined(reinterpret_cast<ProblemObject *>(prob), obj, &index, &used) < 0) return nullptr;
  return Py_BuildValue("(iO)", index, used ? Py_True : Py_False);
}

// combined_object(problem, index) -> kelvo.var or kelvo.constraint
static PyObject *t_combined_object(PyObject *, PyObject *args) {
  PyObject *prob;
  int index;
  if (!PyArg_ParseTuple(args, "O!i", &problem_type, &prob, &index)) return nullptr;
  return conv_combined2obj(reinterpret_cast<ProblemObject *>(prob), index);
}

// conv_output(problem, values, target, kind): values (ints or floats) into the target list.
static PyObject *t_conv_output(PyObject *, PyObject *args) {
  PyObject *prob, *values, *target;
  int kind;
  if (!PyArg_ParseTuple(args, "OOOi", &prob, &values, &target, &kind) || !valid_kind(kind)) return nullptr;
  ProblemObject *p = problem_or_none(prob);
  if (!p && PyErr_Occurred()) return nullptr;
  ElemKind in_kind = kind == ek_real ? ek_real : kind == ek_int64 ? ek_int64 : kind == ek_char ? ek_char : ek_int;
  WorkArray a;
  if (conv_obj2arr(nullptr, nullptr, values, in_kind, a) < 0) return nullptr;
  if (conv_arr2obj(p, a.count, a.data, target, static_cast<ElemKind>(kind)) < 0) return nullptr;
  Py_RETURN_NONE;
}

// conv_iter(problem, obj, name, kind) with kind one of row, col, set, char, int, int64, real.
static PyObject *t_conv_iter(PyObject *, PyObject *args) {
  PyObject *prob, *obj;
  const char *name, *kind;
  if (!PyArg_ParseTuple(args, "OOss", &prob, &obj, &name, &kind)) return nullptr;
  ProblemObject *p = problem_or_none(prob);
  if (!p && PyErr_Occurred()) return nullptr;
  std::string k = kind;
  if (k == "row" || k == "col" || k == "set") {
    if (!p) {
      PyErr_SetString(PyExc_TypeError, "index conversions need a problem");
      return nullptr;
    }
    std::vector<int> out;
    bool used = false;
    SetKind sk = k == "row" ? sk_row : k == "col" ? sk_col : sk_set;
    if (iter_indices(p, obj, name, sk, out, &used) < 0) return nullptr;
    return Py_BuildValue("(NO)", int_list(out.data(), out.size()), used ? Py_True : Py_False);
  }
  if (k == "char") {
    std::vector<char> out;
    if (iter_chars(obj, name, out) < 0) return nullptr;
    return PyBytes_FromStringAndSize(out.data(), static_cast<Py_ssize_t>(out.size()));
  }
  if (k == "int") {
    std::vector<int> out;
    if (iter_ints(obj, name, out) < 0) return nullptr;
    return int_list(out.data(), out.size());
  }
  if (k == "int64") {
    std::vector<int64_t> out;
    if (iter_int64s(obj, name, out) < 0) return nullptr;
    PyObject *list = PyList_New(0);
    for (int64_t v : out) {
      PyObject *item = list ? PyLong_FromLongLong(v) : nullptr;
      if (!item || PyList_Append(list, item) < 0) {
        Py_XDECREF(item);
        Py_XDECREF(list);
        return nullptr;
      }
      Py_DECREF(item);
    }
    return list;
  }
  if (k == "real") {
    std::vector<double> out;
    if (iter_reals(obj, name, out) < 0) return nullptr;
    return real_list(out.data(), out.size());
  }
  PyErr_SetString(PyExc_ValueError, "unknown iterable kind");
  return nullptr;
}

// old_keywords(*args, **kwargs) -> (rows, cols): parsed with the names (rows, cols) and the
// old names (nrows, ncols).
static PyObject *t_old_keywords(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *const kwlist[] = {"rows", "cols", nullptr};
  static const char *const oldkwlist[] = {"nrows", "ncols", nullptr};
  int rows = -1, cols = -1;
  if (!parse_keywords(args, kwargs, "|ii", kwlist, oldkwlist, 5, &rows, &cols)) return nullptr;
  return Py_BuildValue("(ii)", rows, cols);
}

PyMethodDef convert_testing_methods[] = {
    {"conv_array", t_conv_array, METH_VARARGS, nullptr},
    {"conv_names", t_conv_names, METH_VARARGS, nullptr},
    {"conv_index", t_conv_index, METH_VARARGS, nullptr},
    {"conv_combined", t_conv_combined, METH_VARARGS, nullptr},
    {"combined_object", t_combined_object, METH_VARARGS, nullptr},
    {"conv_output", t_conv_output, METH_VARARGS, nullptr},
    {"conv_iter", t_conv_iter, METH_VARARGS, nullptr},
    {"old_keywords", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(t_old_keywords)),
     METH_VARARGS | METH_KEYWORDS, nullptr},
    {nullptr},
};

}  // namespace kelvo
