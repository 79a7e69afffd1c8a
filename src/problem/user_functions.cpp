// Python functions inside formulas: registration with the nonlinear layer, the registry on the
// problem record and the trampolines through which the layer calls them.
#include "problem/user_functions.h"

#include <cmath>
#include <limits>
#include <new>
#include <string>

#include "expr/expr.h"
#include "module/frame.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

UserFunctionRecord::~UserFunctionRecord() { Py_XDECREF(function); }

namespace {

// Where a failing function's exception goes: the slot of the first problem holding the record,
// or the unraisable hook when none is left. Returns that problem's nonlinear handle (or null).
KSLPprob report_failure(UserFunctionRecord *r) {
  ProblemObject *p = r->holders.empty() ? nullptr : r->holders.front();
  if (!PyErr_Occurred()) PyErr_SetString(g.ModelError, "User function failed");
  if (p && p->prob) pre_call(p, "user function", p->prob);
  else PyErr_WriteUnraisable(r->function);
  PyErr_Clear();
  return p ? p->slp : nullptr;
}

// Calls the function with n floats (and, when `request` is given, n request numbers after
// them). New reference, or null with an exception.
PyObject *call_function(UserFunctionRecord *r, const double *args, const double *request) {
  int n = r->arity;
  nb::object tuple = nb::steal(PyTuple_New(request ? 2 * n : n));
  if (!tuple) return nullptr;
  for (int i = 0; i < n; ++i) {
    PyObject *v = PyFloat_FromDouble(args[i]);
    if (!v) return nullptr;
    PyTuple_SET_ITEM(tuple.ptr(), i, v);
  }
  if (request) {
    for (int i = 0; i < n; ++i) {
      PyObject *v = PyFloat_FromDouble(request[i]);
      if (!v) return nullptr;
      PyTuple_SET_ITEM(tuple.ptr(), n + i, v);
    }
  }
  nb::object function = nb::borrow(r->function);  // the call may drop the record's hold
  return PyObject_Call(function.ptr(), tuple.ptr(), nullptr);
}

// The function value of a result: a number, or a tuple whose first item is one.
bool result_value(PyObject *result, double *value) {
  PyObject *first = result;
  if (PyTuple_Check(result)) {
    if (PyTuple_GET_SIZE(result) == 0) {
      PyErr_SetString(g.ModelError, "User function returned an empty tuple");
      return false;
    }
    first = PyTuple_GET_ITEM(result, 0);
  }
  if (!PyFloat_Check(first) && !PyLong_Check(first) && !PyNumber_Check(first)) {
    PyErr_Format(g.ModelError, "User function must return a number, not %.200s", Py_TYPE(first)->tp_name);
    return false;
  }
  *value = PyFloat_AsDouble(first);
  return !(*value == -1.0 && PyErr_Occurred());
}

// The function's value at args; false with an exception.
static bool call_for_value(UserFunctionRecord *r, const double *args, double *value) {
  nb::object result = nb::steal(call_function(r, args, nullptr));
  return result && result_value(result.ptr(), value);
}

// Type 2: the value only; the layer differentiates numerically.
double value_trampoline(const double *args, void *data) {
  auto *r = static_cast<UserFunctionRecord *>(data);
  LockTaken lock;
  double value = 0.0;
  if (!call_for_value(r, args, &value)) {
    KSLPprob slp = report_failure(r);
    if (slp) KSLPsetfunctionerror(slp);
    value = std::numeric_limits<double>::quiet_NaN();
  }
  return value;
}

// Type 5: the value and, when the layer asks (request not null), the partial derivatives it
// marks. The on-demand form also passes the request numbers to the function.
int derivative_call(UserFunctionRecord *r, const double *args, const double *request, double *value,
                    double *partials) {
  nb::object owned = nb::steal(call_function(r, args, r->code == OP_USER_ONDEMAND ? request : nullptr));
  if (!owned) return -1;
  PyObject *result = owned.ptr();
  bool ok;
  if (!request) {
    ok = result_value(result, value);
  } else if (!PyTuple_Check(result) || PyTuple_GET_SIZE(result) < r->arity + 1) {
    PyErr_SetString(g.ModelError, "User function must return a tuple containing result and all derivatives");
    ok = false;
  } else {
    ok = result_value(result, value);
    for (int i = 0; ok && i < r->arity; ++i) {
      PyObject *item = PyTuple_GET_ITEM(result, i + 1);
      if (request[i] == 0.0 && !PyFloat_Check(item)) {
        if (partials) partials[i] = 0.0;
        continue;
      }
      double d = PyFloat_AsDouble(item);
      if (d == -1.0 && PyErr_Occurred()) ok = false;
      else if (partials) partials[i] = d;
    }
  }
  return ok ? 0 : -1;
}

int derivative_trampoline(const double *args, const double *request, double *value, double *partials, void *data) {
  auto *r = static_cast<UserFunctionRecord *>(data);
  LockTaken lock;
  int rc = derivative_call(r, args, request, value, partials);
  if (rc != 0) report_failure(r);
  return rc == 0 ? 0 : 1;
}

// The name the layer shows for a function.
std::string function_name(PyObject *f) {
  if (PyFunction_Check(f)) {
    nb::object name = nb::steal(PyObject_GetAttrString(f, "__name__"));
    if (name && PyUnicode_Check(name.ptr())) {
      const char *text = PyUnicode_AsUTF8(name.ptr());
      std::string result = text ? text : "";
      if (text && !result.empty()) return result;
    } else if (name && PyBytes_Check(name.ptr())) {
      std::string result = PyBytes_AS_STRING(name.ptr());
      if (!result.empty()) return result;
    }
    PyErr_Clear();
  }
  char text[65];
  snprintf(text, sizeof text, "Func%p", static_cast<void *>(f));
  return text;
}

int out_of_memory() {
  PyErr_SetString(g.ModelError, "Out of memory");
  return -1;
}

}  // namespace

int user_function_id(ProblemObject *p, PyObject *node_args, int code) {
  if (!PyTuple_Check(node_args) || PyTuple_GET_SIZE(node_args) < 1 || !PyCallable_Check(PyTuple_GET_ITEM(node_args, 0))) {
    PyErr_SetString(g.ModelError, "Invalid user function, must specify at least one argument (the user function itself)");
    return -1;
  }
  if (!p->slp) {
    PyErr_SetString(g.ModelError, "User functions need the nonlinear layer, which is not available");
    return -1;
  }
  PyObject *f = PyTuple_GET_ITEM(node_args, 0);
  int n = static_cast<int>(PyTuple_GET_SIZE(node_args) - 1);
  if (!p->user_functions) {
    p->user_functions = new (std::nothrow) UserFunctionRegistry();
    if (!p->user_functions) return out_of_memory();
  }
  auto &records = p->user_functions->records;
  auto range = records.equal_range(f);
  for (auto it = range.first; it != range.second; ++it)
    if (it->second->arity == n) return it->second->id;

  std::shared_ptr<UserFunctionRecord> r;
  decltype(records.begin()) at;
  try {
    r = std::make_shared<UserFunctionRecord>();
    r->holders.push_back(p);
    // Entered before the layer learns of it, so the layer never holds a record we let go.
    at = records.emplace(f, r);
  } catch (const std::bad_alloc &) {
    return out_of_memory();
  }
  r->function = Py_NewRef(f);
  r->arity = n;
  r->code = code;
  bool derivatives = code == OP_USER_ALWAYS || code == OP_USER_ONDEMAND;
  KSLPuserfunction fn = derivatives ? reinterpret_cast<KSLPuserfunction>(derivative_trampoline)
                                    : reinterpret_cast<KSLPuserfunction>(value_trampoline);
  std::string name = function_name(f);
  int id = 0;
  if (call(KSLPadduserfunction, "KSLPadduserfunction", p, p->slp, name.c_str(), derivatives ? 5 : 2, n, 1, 0, fn,
           static_cast<void *>(r.get()), &id) != 0) {
    records.erase(at);
    raise_error(reinterpret_cast<PyObject *>(p));
    return -1;
  }
  r->id = id;
  return id;
}

static void drop_holder(UserFunctionRecord &r, ProblemObject *p) {
  for (auto it = r.holders.begin(); it != r.holders.end(); ++it)
    if (*it == p) {
      r.holders.erase(it);
      return;
    }
}

void user_functions_release(ProblemObject *p) {
  UserFunctionRegistry *reg = p->user_functions;
  if (!reg) return;
  if (p->slp) {
    // The layer keeps its registrations: retire the records instead of freeing them.
    try {
      for (auto &entry : reg->records) reg->retired.push_back(entry.second);
      reg->records.clear();
      return;
    } catch (const std::bad_alloc &) {
      // Cannot retire them: keep them registered rather than free what the layer may call.
      return;
    }
  }
  for (auto &entry : reg->records) drop_holder(*entry.second, p);
  for (auto &r : reg->retired) drop_holder(*r, p);
  p->user_functions = nullptr;
  delete reg;
}

int user_functions_share(ProblemObject *copy, const ProblemObject *source) {
  const UserFunctionRegistry *from = source->user_functions;
  if (!from) return 0;
  try {
    if (!copy->user_functions) copy->user_functions = new UserFunctionRegistry();
    UserFunctionRegistry *to = copy->user_functions;
    // Into the copy's registry first: a holder entry is only ever dropped through it.
    for (const auto &entry : from->records) {
      to->records.emplace(entry.first, entry.second);
      entry.second->holders.push_back(copy);
    }
    for (const auto &r : from->retired) {
      to->retired.push_back(r);
      r->holders.push_back(copy);
    }
  } catch (const std::bad_alloc &) {
    return out_of_memory();
  }
  return 0;
}

}  // namespace kelvo
