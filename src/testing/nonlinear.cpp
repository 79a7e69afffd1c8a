// Private test entry points of the nonlinear wiring: the layer's own control values, the
// user-function registry and formula evaluation through the registered functions.
#include <algorithm>
#include <vector>

#include "kelvo/frame.h"
#include "kelvo/user_functions.h"

namespace kelvo {

namespace {

ProblemObject *layer_problem(PyObject *o) {
  if (!is_problem(o) || !reinterpret_cast<ProblemObject *>(o)->slp) {
    PyErr_SetString(PyExc_TypeError, "a kelvo.problem with a nonlinear handle is required");
    return nullptr;
  }
  return reinterpret_cast<ProblemObject *>(o);
}

// slp_control(problem, id, is_double) -> the control as the layer handle holds it.
PyObject *t_slp_control(PyObject *, PyObject *args) {
  PyObject *obj;
  int id, is_double;
  if (!PyArg_ParseTuple(args, "Oip", &obj, &id, &is_double)) return nullptr;
  ProblemObject *p = layer_problem(obj);
  if (!p) return nullptr;
  if (is_double) {
    double v = 0;
    if (call(KSLPgetdblcontrol, "KSLPgetdblcontrol", p, p->slp, id, &v) != 0) return check_result(obj, nullptr);
    return PyFloat_FromDouble(v);
  }
  int v = 0;
  if (call(KSLPgetintcontrol, "KSLPgetintcontrol", p, p->slp, id, &v) != 0) return check_result(obj, nullptr);
  return PyLong_FromLong(v);
}

// user_functions(problem) -> ([(function, arity, code, id, holders)], retired count), records
// in registration order of their ids.
PyObject *t_user_functions(PyObject *, PyObject *obj) {
  if (!is_problem(obj)) {
    PyErr_SetString(PyExc_TypeError, "a kelvo.problem is required");
    return nullptr;
  }
  auto *p = reinterpret_cast<ProblemObject *>(obj);
  PyObject *list = PyList_New(0);
  if (!list) return nullptr;
  Py_ssize_t retired = 0;
  if (p->user_functions) {
    std::vector<UserFunctionRecord *> records;
    for (auto &entry : p->user_functions->records) records.push_back(entry.second.get());
    std::sort(records.begin(), records.end(), [](auto *a, auto *b) { return a->id < b->id; });
    for (UserFunctionRecord *r : records) {
      PyObject *t = Py_BuildValue("(Oiiin)", r->function, r->arity, r->code, r->id,
                                  static_cast<Py_ssize_t>(r->holders.size()));
      if (!t || PyList_Append(list, t) < 0) {
        Py_XDECREF(t);
        Py_DECREF(list);
        return nullptr;
      }
      Py_DECREF(t);
    }
    retired = static_cast<Py_ssize_t>(p->user_functions->retired.size());
  }
  return Py_BuildValue("(Nn)", list, retired);
}

// Reads [(type, value), ...] into token arrays ending with the end token.
bool read_tokens(PyObject *tokens, std::vector<int> &type, std::vector<double> &value) {
  if (!PyList_Check(tokens)) {
    PyErr_SetString(PyExc_TypeError, "tokens must be a list of (type, value)");
    return false;
  }
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(tokens); ++i) {
    int t;
    double v;
    if (!PyArg_ParseTuple(PyList_GET_ITEM(tokens, i), "id", &t, &v)) return false;
    type.push_back(t);
    value.push_back(v);
  }
  if (type.empty() || type.back() != 0) {
    type.push_back(0);
    value.push_back(0);
  }
  return true;
}

// derivatives(problem, tokens, x) -> (value, gradient): the formula at the point x, evaluated
// by the solver's differentiation (which calls the registered user functions).
PyObject *t_derivatives(PyObject *, PyObject *args) {
  PyObject *obj, *tokens, *point;
  if (!PyArg_ParseTuple(args, "OOO", &obj, &tokens, &point)) return nullptr;
  ProblemObject *p = layer_problem(obj);
  if (!p) return nullptr;
  std::vector<int> type;
  std::vector<double> value;
  if (!read_tokens(tokens, type, value)) return nullptr;
  PyObject *seq = PySequence_Fast(point, "x must be a sequence");
  if (!seq) return nullptr;
  std::vector<double> x;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq); ++i) {
    x.push_back(PyFloat_AsDouble(PySequence_Fast_GET_ITEM(seq, i)));
    if (PyErr_Occurred()) {
      Py_DECREF(seq);
      return nullptr;
    }
  }
  Py_DECREF(seq);
  int ncols = static_cast<int>(PyList_GET_SIZE(p->vars));
  if (static_cast<int>(x.size()) != ncols) {
    PyErr_SetString(PyExc_ValueError, "x needs one value per column");
    return nullptr;
  }
  std::vector<double> gradient(static_cast<size_t>(ncols) + 1);
  double f = 0;
  if (call(KSLPformuladerivatives, "KSLPformuladerivatives", p, p->slp, 1, type.data(), value.data(), x.data(), &f,
           gradient.data(), static_cast<double *>(nullptr)) != 0)
    return check_result(obj, nullptr);
  // An exception a user function raised comes back through the frame.
  if (PyErr_Occurred()) return nullptr;
  PyObject *g = PyList_New(ncols);
  for (int i = 0; g && i < ncols; ++i) PyList_SET_ITEM(g, i, PyFloat_FromDouble(gradient[static_cast<size_t>(i)]));
  return g ? Py_BuildValue("(dN)", f, g) : nullptr;
}

}  // namespace

PyMethodDef nonlinear_testing_methods[] = {
    {"slp_control", t_slp_control, METH_VARARGS, nullptr},
    {"user_functions", t_user_functions, METH_O, nullptr},
    {"derivatives", t_derivatives, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr}};

}  // namespace kelvo
