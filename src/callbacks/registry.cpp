// Registration of callbacks on a problem: the addcb*/setcb*, removecb* and copycallbacks
// methods and the per-kind lists of registration records.
#include <climits>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "api/convert.h"
#include "callbacks/callbacks.h"
#include "module/frame.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

PyObject *interface_error(const char *message) {
  PyErr_SetString(g.InterfaceError, message);
  return nullptr;
}

// The problems built for one callback share their parent's lists: a record registered there
// would name an object that ends with the callback.
int require_own_problem(ProblemObject *p) {
  if (require_handle(p) < 0) return -1;
  if (!p->parent) return 0;
  PyErr_SetString(g.InterfaceError, "Callbacks can only be added or removed on the user's own problem, not on the "
                                    "problem passed to a callback");
  return -1;
}

// Drops a record from a kind's list at position i without releasing the problem it names.
// While a solve runs, a dispatcher on another thread may have been handed the record by the
// library just before the removal: the record is kept until no solve runs.
int drop_record(ProblemObject *p, PyObject *list, Py_ssize_t i) {
  PyObject *record = PyList_GET_ITEM(list, i);
  if (PyList_Check(record) && PyList_GET_SIZE(record) > record_problem &&
      PyList_GET_ITEM(record, record_problem) != Py_None)
    PyList_SET_ITEM(record, record_problem, Py_NewRef(Py_None));
  if (p->solves_running > 0) {
    if (!p->retired_callbacks && !(p->retired_callbacks = PyList_New(0))) return -1;
    if (PyList_Append(p->retired_callbacks, record) < 0) return -1;
  }
  return PyList_SetSlice(list, i, i + 1, nullptr);
}

// Registers (callable, data, priority) for one kind on p: the library first, then the kind's
// list. 0, or -1 with an exception (the list is then as it was).
int register_callback(ProblemObject *p, int kind, PyObject *callable, PyObject *data, int priority) {
  const CallbackKind &k = callback_kind_table[kind];
  nb::object prio = nb::steal(PyLong_FromLong(priority));
  if (!prio) return -1;
  // Item 0 stays None until the record is stored, so that dropping it on a failure path
  // releases nothing it does not own.
  nb::object record = nb::steal(PyList_New(4));
  if (!record) return -1;
  PyList_SET_ITEM(record.ptr(), record_problem, Py_NewRef(Py_None));
  PyList_SET_ITEM(record.ptr(), record_callable, Py_NewRef(callable));
  PyList_SET_ITEM(record.ptr(), record_data, Py_NewRef(data));
  PyList_SET_ITEM(record.ptr(), record_priority, prio.release().ptr());

  if (kind >= first_nonlinear_kind && !p->slp) {
    PyErr_Format(g.InterfaceError, "%s: the nonlinear layer is not available, so its callbacks cannot be set",
                 k.add_method);
    return -1;
  }
  // Registration runs with the lock held: no frame, and a solve in another thread cannot
  // reach the dispatcher before the record is complete.
  if (k.add(p, record.ptr(), priority) != 0) {
    raise_error(reinterpret_cast<PyObject *>(p));
    return -1;
  }
  PyObject *&list = p->callbacks[kind];
  bool had_list = list != nullptr;
  if (!had_list) list = PyList_New(0);
  if (!list || PyList_Append(list, record.ptr()) < 0) {
    // No list is left behind for a kind that had none, nor a library registration.
    if (!had_list) Py_CLEAR(list);
    if (k.remove) k.remove(p, record.ptr());
    return -1;
  }
  // The record names its problem without owning it.
  PyList_SET_ITEM(record.ptr(), record_problem, reinterpret_cast<PyObject *>(p));
  Py_DECREF(Py_None);
  return 0;
}

PyObject *add_callback(PyObject *self, PyObject *args, PyObject *kwargs, int kind) {
  static const char *const kw[] = {"callback", "data", "priority", nullptr};
  ProblemObject *p = problem_of(self);
  if (require_own_problem(p) < 0) return nullptr;
  PyObject *callable, *data = Py_None;
  long priority = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|Ol", const_cast<char **>(kw), &callable, &data, &priority) ||
      !PyCallable_Check(callable) || priority < INT_MIN || priority > INT_MAX) {
    PyErr_Clear();
    return interface_error("Cannot add callback");
  }
  if (register_callback(p, kind, callable, data, static_cast<int>(priority)) < 0) return nullptr;
  Py_RETURN_NONE;
}

bool given(PyObject *o) { return o && o != Py_None; }

PyObject *remove_callback(PyObject *self, PyObject *args, PyObject *kwargs, int kind) {
  static const char *const kw[] = {"callback", "data", nullptr};
  ProblemObject *p = problem_of(self);
  if (require_own_problem(p) < 0) return nullptr;
  PyObject *callable = nullptr, *data = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO", const_cast<char **>(kw), &callable, &data) ||
      (given(callable) && !PyCallable_Check(callable))) {
    PyErr_Clear();
    return interface_error("Cannot remove callback");
  }
  if (!p->callbacks[kind]) {
    if (given(callable)) return interface_error("Cannot remove callback from an empty set");
    Py_RETURN_NONE;
  }
  if (p->solves_running == 0) Py_CLEAR(p->retired_callbacks);
  // Dropping a record can run the finalisers of its callable and data: hold the list.
  nb::object list = nb::borrow(p->callbacks[kind]);
  bool found = false;
  for (Py_ssize_t i = PyList_GET_SIZE(list.ptr()) - 1; i >= 0; --i) {
    if (i >= PyList_GET_SIZE(list.ptr())) continue;
    PyObject *record = PyList_GET_ITEM(list.ptr(), i);
    if (!PyList_Check(record) || PyList_GET_SIZE(record) <= record_data)
      return interface_error("Incorrect data stored in callback");
    // Identity decides, not equality.
    if ((given(callable) && PyList_GET_ITEM(record, record_callable) != callable) ||
        (given(data) && PyList_GET_ITEM(record, record_data) != data))
      continue;
    if (callback_kind_table[kind].remove(p, record) != 0) {
      raise_error(self);
      return nullptr;
    }
    found = true;
    if (drop_record(p, list.ptr(), i) < 0) return nullptr;
  }
  // The kind's list may have been replaced meanwhile; only ours is dropped.
  if (p->callbacks[kind] == list.ptr() && ((!given(callable) && !given(data)) || PyList_GET_SIZE(list.ptr()) == 0))
    Py_CLEAR(p->callbacks[kind]);
  if (!found) return interface_error("Callback not found");
  Py_RETURN_NONE;
}

PyObject *copy_callbacks_method(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"src", nullptr};
  ProblemObject *p = problem_of(self);
  if (require_own_problem(p) < 0) return nullptr;
  PyObject *src;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O", const_cast<char **>(kw), &src)) return nullptr;
  if (!is_problem(src) || !problem_of(src)->prob)
    return interface_error("copycallbacks() must be called with the source problem as argument");
  if (copy_callbacks(p, problem_of(src)) < 0) return nullptr;
  Py_RETURN_NONE;
}

template <int Kind>
PyObject *m_add(PyObject *self, PyObject *args, PyObject *kwargs) {
  return add_callback(self, args, kwargs, Kind);
}

template <int Kind>
PyObject *m_remove(PyObject *self, PyObject *args, PyObject *kwargs) {
  return remove_callback(self, args, kwargs, Kind);
}

template <class F>
PyCFunction fn(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

const char *const add_doc = "(callback, data=None, priority=0)\nRegisters callback(problem, data, ...) for this event.";
const char *const set_doc = "(callback, data=None, priority=0)\nSets callback(problem, data, ...) for this event of the "
                            "nonlinear layer, which calls only the newest one.";
const char *const remove_doc = "(callback=None, data=None)\nRemoves every registration of this event with that "
                               "callback and data; None matches any.";

template <size_t... Kind>
void add_kind_methods(std::vector<PyMethodDef> &methods, std::index_sequence<Kind...>) {
  (methods.push_back(PyMethodDef{callback_kind_table[Kind].add_method, fn(m_add<Kind>), METH_VARARGS | METH_KEYWORDS,
                                 Kind < first_nonlinear_kind ? add_doc : set_doc}),
   ...);
  (
      [&] {
        if (callback_kind_table[Kind].remove_method)
          methods.push_back(PyMethodDef{callback_kind_table[Kind].remove_method, fn(m_remove<Kind>),
                                        METH_VARARGS | METH_KEYWORDS, remove_doc});
      }(),
      ...);
}

}  // namespace

int copy_callbacks(ProblemObject *dst, ProblemObject *src) {
  // The problem passed to a callback has its parent's registrations.
  if (src->parent) src = src->parent;
  for (int kind = 0; kind < callback_kinds; ++kind) {
    if (!src->callbacks[kind]) continue;
    // A snapshot: registering may change the source's list (it is the same list when a
    // problem copies its own callbacks).
    nb::object records = nb::steal(PyList_GetSlice(src->callbacks[kind], 0, PyList_GET_SIZE(src->callbacks[kind])));
    if (!records) return -1;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(records.ptr()); ++i) {
      PyObject *record = PyList_GET_ITEM(records.ptr(), i);
      if (!PyList_Check(record) || PyList_GET_SIZE(record) <= record_priority) {
        PyErr_SetString(g.InterfaceError, "Invalid callback to be copied");
        return -1;
      }
      nb::object callable = nb::borrow(PyList_GET_ITEM(record, record_callable));
      nb::object data = nb::borrow(PyList_GET_ITEM(record, record_data));
      int overflow = 0;
      long priority = PyLong_AsLongAndOverflow(PyList_GET_ITEM(record, record_priority), &overflow);
      if (priority == -1 && PyErr_Occurred()) return -1;
      if (overflow || priority < INT_MIN || priority > INT_MAX) {
        PyErr_SetString(g.InterfaceError, "Invalid callback to be copied");
        return -1;
      }
      if (register_callback(dst, kind, callable.ptr(), data.ptr(), static_cast<int>(priority)) < 0) return -1;
    }
  }
  return 0;
}

PyMethodDef *callback_methods() {
  static std::vector<PyMethodDef> methods;
  if (methods.empty()) {
    add_kind_methods(methods, std::make_index_sequence<callback_kinds>());
    methods.push_back(PyMethodDef{"copycallbacks", fn(copy_callbacks_method), METH_VARARGS | METH_KEYWORDS,
                                  "(src)\nRegisters on this problem every callback registered on src."});
    // Each doc starts with the method's keywords; the interpreter reads "name(keywords)\n--\n\n"
    // as the signature that inspect and help() show.
    static std::deque<std::string> docs;
    for (PyMethodDef &m : methods) {
      std::string doc = m.ml_doc;
      size_t end = doc.find('\n');
      docs.push_back(std::string(m.ml_name) + "($self, " + doc.substr(1, end - 1) + "\n--\n\n" + doc.substr(end + 1));
      m.ml_doc = docs.back().c_str();
    }
    methods.push_back(PyMethodDef{nullptr});
  }
  return methods.data();
}

}  // namespace kelvo
