// kelvo._kelvo._testing: private entry points that let the test suite drive the frame, error
// retrieval, the nested walk, message output and library initialisation directly. Built only
// with the tests (KELVO_BUILD_TESTS); no wheel carries them.
#include <cstring>
#include <string>
#include <thread>

#include "callbacks/callbacks.h"
#include "model/model.h"
#include "model/var.h"
#include "module/environment.h"
#include "module/frame.h"
#include "module/walk.h"

namespace kelvo {

static int last_rc = 0;

static ProblemObject *problem_arg(PyObject *o) {
  if (!is_problem(o)) {
    PyErr_SetString(PyExc_TypeError, "expected a kelvo.problem");
    return nullptr;
  }
  return reinterpret_cast<ProblemObject *>(o);
}

// A problem with its library handles, empty object lists and message function.
static PyObject *t_problem(PyObject *, PyObject *) {
  PyObject *p = problem_type.tp_new(&problem_type, nullptr, nullptr);
  if (!p) return nullptr;
  if (problem_create_handles(reinterpret_cast<ProblemObject *>(p)) < 0) {
    Py_DECREF(p);
    return nullptr;
  }
  return p;
}

static PyObject *t_has_handle(PyObject *, PyObject *arg) {
  ProblemObject *p = problem_arg(arg);
  return p ? PyBool_FromLong(p->prob != nullptr) : nullptr;
}

static PyObject *t_has_slot(PyObject *, PyObject *arg) {
  ProblemObject *p = problem_arg(arg);
  return p ? PyBool_FromLong(p->pending && p->pending->full()) : nullptr;
}

// A callback problem of `parent`: shares its handle and reports through its slot.
static PyObject *t_callback_problem(PyObject *, PyObject *arg) {
  ProblemObject *parent = problem_arg(arg);
  if (!parent) return nullptr;
  auto *p = reinterpret_cast<ProblemObject *>(problem_type.tp_new(&problem_type, nullptr, nullptr));
  if (!p) return nullptr;
  p->parent = reinterpret_cast<ProblemObject *>(Py_NewRef(parent));
  p->prob = parent->prob;
  p->slp = parent->slp;
  // Empty object lists, for objects linked to the view by link_objects.
  p->vars = PyList_New(0);
  p->cons = PyList_New(0);
  p->sos = PyList_New(0);
  if (!p->vars || !p->cons || !p->sos) Py_CLEAR(p);
  return reinterpret_cast<PyObject *>(p);
}

static PyObject *t_detach_callback_problem(PyObject *, PyObject *arg) {
  ProblemObject *p = problem_arg(arg);
  if (!p) return nullptr;
  // The handles belong to the parent.
  p->prob = nullptr;
  p->slp = nullptr;
  Py_RETURN_NONE;
}

// frame_call(problem, succeed, pending=None): with `pending` (an exception instance) raised
// beforehand, makes one library call through the frame: KLVOinterrupt when succeed is true,
// else the removal of a message callback that was never added, which fails. The call's
// result is kept for last_rc(); returns it, or raises what is pending afterwards.
static PyObject *t_frame_call(PyObject *, PyObject *args) {
  PyObject *obj, *pending = Py_None;
  int succeed;
  if (!PyArg_ParseTuple(args, "Op|O", &obj, &succeed, &pending)) return nullptr;
  ProblemObject *p = problem_arg(obj);
  if (!p) return nullptr;
  if (pending != Py_None) PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(pending)), pending);
  if (succeed)
    last_rc = call(KLVOinterrupt, "KLVOinterrupt", p, p->prob, 1);
  else
    last_rc = call(KLVOremovecbmessage, "KLVOremovecbmessage", p, p->prob, problem_message,
                   static_cast<void *>(&last_rc));
  if (PyErr_Occurred()) return nullptr;
  return PyLong_FromLong(last_rc);
}

static PyObject *t_last_rc(PyObject *, PyObject *) { return PyLong_FromLong(last_rc); }

// park(problem, exception, function="test", handle_of=problem): raises the exception and
// runs the frame's pre-call step as a callback's exit path does; returns whether it parked.
static PyObject *t_park(PyObject *, PyObject *args) {
  PyObject *obj, *exc, *handle_of = nullptr;
  const char *function = "test";
  if (!PyArg_ParseTuple(args, "OO|sO", &obj, &exc, &function, &handle_of)) return nullptr;
  ProblemObject *p = problem_arg(obj);
  if (!p) return nullptr;
  ProblemObject *h = handle_of ? problem_arg(handle_of) : p;
  if (!h) return nullptr;
  PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(exc)), exc);
  bool parked = pre_call(p, function, h->prob);
  if (PyErr_Occurred()) return nullptr;
  return PyBool_FromLong(parked);
}

// unowned_call(pending): a frame without an owner while `pending` is raised.
static PyObject *t_unowned_call(PyObject *, PyObject *exc) {
  PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(exc)), exc);
  int have = 0;
  last_rc = call(KLVOgetcheckedmode, "KLVOgetcheckedmode", nullptr, &have);
  if (PyErr_Occurred()) return nullptr;
  return PyLong_FromLong(last_rc);
}

// raise_error(owner): error retrieval with a null result.
static PyObject *t_raise_error(PyObject *, PyObject *owner) {
  return check_result(owner == Py_None ? nullptr : owner, nullptr);
}

// A branching object of a problem, without a library handle.
static PyObject *t_branchobj(PyObject *, PyObject *arg) {
  if (!problem_arg(arg)) return nullptr;
  auto *b = PyObject_New(BranchObject, &branchobj_type);
  if (!b) return nullptr;
  b->handle = nullptr;
  b->problem = Py_NewRef(arg);
  b->original_space = 1;
  return reinterpret_cast<PyObject *>(b);
}

static int collect_leaf(PyObject *, PyObject *leaf, void *data) {
  auto *state = static_cast<PyObject **>(data);  // [list, stop_at]
  if (state[1] && leaf == state[1]) return 7;
  return PyList_Append(state[0], leaf);
}

// walk(collection, stop_at=None, depth=32) -> (result, leaves): the leaf handler collects
// leaves and returns 7 when it meets stop_at.
static PyObject *t_walk(PyObject *, PyObject *args) {
  PyObject *collection, *stop_at = nullptr;
  int depth = walk_max_depth;
  if (!PyArg_ParseTuple(args, "O|Oi", &collection, &stop_at, &depth)) return nullptr;
  PyObject *leaves = PyList_New(0);
  if (!leaves) return nullptr;
  PyObject *state[2] = {leaves, stop_at == Py_None ? nullptr : stop_at};
  int result = walk(nullptr, collection, collect_leaf, state, depth);
  if (result == -1) {
    Py_DECREF(leaves);
    return nullptr;
  }
  PyObject *r = Py_BuildValue("(iO)", result, leaves);
  Py_DECREF(leaves);
  return r;
}

static PyObject *t_init_count(PyObject *, PyObject *) { return PyLong_FromLong(g.init_count); }
static PyObject *t_nlp_flag(PyObject *, PyObject *) { return PyLong_FromLong(g.nlp_flag); }

static PyObject *t_live_problems(PyObject *, PyObject *) {
  long n = 0;
  for (ProblemObject *p = g.live_problems; p; p = p->next) ++n;
  return PyLong_FromLong(n);
}

static PyObject *t_msghandlers(PyObject *, PyObject *) { return Py_NewRef(g.msghandlers); }

static PyObject *t_scipy(PyObject *, PyObject *) {
  auto ref = [](PyObject *o) { return o ? o : Py_None; };
  return Py_BuildValue("(OOO)", ref(g.scipy_sparse), ref(g.scipy_sparray), ref(g.scipy_spmatrix));
}

// message(problem_or_None, text, msgtype, on_thread=False, source=None): delivers a message
// to the problem's message function (or to the global one, issued by `source`'s handle or
// by no object), the way the library does, optionally from a thread of its own.
static PyObject *t_message(PyObject *, PyObject *args) {
  PyObject *target, *source = Py_None;
  const char *text;
  int msgtype, on_thread = 0;
  if (!PyArg_ParseTuple(args, "Osi|pO", &target, &text, &msgtype, &on_thread, &source)) return nullptr;
  ProblemObject *p = nullptr;
  if (target != Py_None && !(p = problem_arg(target))) return nullptr;
  void *obj = nullptr;
  if (source != Py_None) {
    ProblemObject *s = problem_arg(source);
    if (!s) return nullptr;
    obj = s->prob;
  }
  std::string message(text);
  auto deliver = [&] {
    if (p)
      problem_message(p->prob, p, message.c_str(), static_cast<int>(message.size()), msgtype);
    else
      global_message(obj, nullptr, nullptr, message.c_str(), static_cast<int>(message.size()), msgtype);
  };
  if (on_thread) {
    Py_BEGIN_ALLOW_THREADS
    std::thread t(deliver);
    t.join();
    Py_END_ALLOW_THREADS
  } else {
    deliver();
  }
  Py_RETURN_NONE;
}

// user_message(entry, text, msgtype, source=None, on_thread=False): calls the user
// message-handler trampoline with `entry` as its data, optionally from a thread of its own;
// returns its result, or raises what it left pending on the calling thread.
static PyObject *t_user_message(PyObject *, PyObject *args) {
  PyObject *entry, *source = Py_None;
  const char *text;
  int msgtype, on_thread = 0;
  if (!PyArg_ParseTuple(args, "Osi|Op", &entry, &text, &msgtype, &source, &on_thread)) return nullptr;
  void *obj = nullptr;
  if (source != Py_None) {
    ProblemObject *s = problem_arg(source);
    if (!s) return nullptr;
    obj = s->prob;
  }
  static char thread_marker;
  std::string message(text);
  int rc = 0;
  auto deliver = [&] {
    rc = user_message_handler(obj, entry, &thread_marker, message.c_str(), static_cast<int>(message.size()), msgtype);
  };
  if (on_thread) {
    Py_BEGIN_ALLOW_THREADS
    std::thread th(deliver);
    th.join();
    Py_END_ALLOW_THREADS
  } else {
    deliver();
  }
  if (PyErr_Occurred()) return nullptr;
  return PyLong_FromLong(rc);
}

// link_objects(problem, n): appends n variables, constraints and sets linked to the problem
// at positions 0..n-1 of its lists, as adding them does.
static PyObject *t_link_objects(PyObject *, PyObject *args) {
  PyObject *obj;
  int n;
  if (!PyArg_ParseTuple(args, "Oi", &obj, &n)) return nullptr;
  ProblemObject *p = problem_arg(obj);
  if (!p) return nullptr;
  if (!p->vars) {
    PyErr_SetString(PyExc_RuntimeError, "problem has no object lists");
    return nullptr;
  }
  for (int i = 0; i < n; ++i) {
    auto *v = PyObject_New(VarObject, &var_type);
    auto *c = PyObject_New(ConstraintObject, &constraint_type);
    auto *s = reinterpret_cast<SosObject *>(sos_type.tp_alloc(&sos_type, 0));
    if (v) {
      ++column_epoch;
      v->owner = p;
      v->index_low = static_cast<uint32_t>(PyList_GET_SIZE(p->vars));
      v->index_high = 0;
      v->bound_flags = v->type_byte = 0;
    }
    if (c) {
      c->link = p;
      c->index_low = static_cast<uint32_t>(PyList_GET_SIZE(p->cons));
      c->index_high = 0;
      c->bound_flags = static_cast<uint8_t>(constraint_kind_linked << constraint_kind_shift);
      c->slot_flags = 0;
    }
    if (s) {
      s->owner = p;
      s->index = static_cast<uint64_t>(PyList_GET_SIZE(p->sos));
      s->name = s->indices = s->weights = nullptr;
      s->type = 0;
    }
    int rc = v && c && s ? 0 : -1;
    if (rc == 0) rc = PyList_Append(p->vars, reinterpret_cast<PyObject *>(v));
    if (rc == 0) rc = PyList_Append(p->cons, reinterpret_cast<PyObject *>(c));
    if (rc == 0) rc = PyList_Append(p->sos, reinterpret_cast<PyObject *>(s));
    Py_XDECREF(v);
    Py_XDECREF(c);
    Py_XDECREF(s);
    if (rc < 0) return nullptr;
  }
  return Py_BuildValue("(OOO)", p->vars, p->cons, p->sos);
}

// object_state(obj) -> (state, index) for a variable, constraint or set: state is "linked",
// "deleted" or "unlinked"; for a constraint also its variable kind.
static PyObject *t_object_state(PyObject *, PyObject *o) {
  void *owner;
  uint64_t index;
  int kind = -1;
  if (PyObject_TypeCheck(o, &var_type)) {
    auto *v = reinterpret_cast<VarObject *>(o);
    owner = v->owner;
    index = v->index_low | (uint64_t{v->index_high} << 32);
  } else if (PyObject_TypeCheck(o, &constraint_type)) {
    auto *c = reinterpret_cast<ConstraintObject *>(o);
    owner = constraint_slot_count(c) ? nullptr : c->link;
    index = c->index_low | (uint64_t{c->index_high} << 32);
    kind = c->bound_flags >> constraint_kind_shift;
  } else if (PyObject_TypeCheck(o, &sos_type)) {
    auto *s = reinterpret_cast<SosObject *>(o);
    owner = s->owner;
    index = s->index;
  } else {
    PyErr_SetString(PyExc_TypeError, "expected a variable, constraint or set");
    return nullptr;
  }
  const char *state = owner == deleted_marker ? "deleted" : owner ? "linked" : "unlinked";
  if (kind >= 0) return Py_BuildValue("(sKi)", state, static_cast<unsigned long long>(index), kind);
  return Py_BuildValue("(sK)", state, static_cast<unsigned long long>(index));
}

// add_callback_record(problem, kind, callable) -> the registration record
// [problem (not owned), callable, None, 0] appended to the problem's list of that kind.
static PyObject *t_add_callback_record(PyObject *, PyObject *args) {
  PyObject *obj, *callable;
  int kind;
  if (!PyArg_ParseTuple(args, "OiO", &obj, &kind, &callable)) return nullptr;
  ProblemObject *p = problem_arg(obj);
  if (!p) return nullptr;
  if (kind < 0 || kind >= callback_kinds) {
    PyErr_SetString(PyExc_ValueError, "no such callback kind");
    return nullptr;
  }
  PyObject *record = Py_BuildValue("[OOOi]", Py_None, callable, Py_None, 0);
  if (!record) return nullptr;
  // The record does not own its problem.
  PyList_SET_ITEM(record, 0, obj);
  Py_DECREF(Py_None);
  if (!p->callbacks[kind] && !(p->callbacks[kind] = PyList_New(0))) {
    Py_DECREF(record);
    return nullptr;
  }
  if (PyList_Append(p->callbacks[kind], record) < 0) {
    Py_DECREF(record);
    return nullptr;
  }
  return record;
}

static PyObject *t_callback_count(PyObject *, PyObject *args) {
  PyObject *obj;
  int kind;
  if (!PyArg_ParseTuple(args, "Oi", &obj, &kind)) return nullptr;
  ProblemObject *p = problem_arg(obj);
  if (!p) return nullptr;
  if (kind < 0 || kind >= callback_kinds) {
    PyErr_SetString(PyExc_ValueError, "no such callback kind");
    return nullptr;
  }
  if (!p->callbacks[kind]) Py_RETURN_NONE;
  return PyLong_FromSsize_t(PyList_GET_SIZE(p->callbacks[kind]));
}

// columns(problem) -> [(lb, ub, type letter, name or None), ...] for every library column.
static PyObject *t_columns(PyObject *, PyObject *arg) {
  ProblemObject *p = problem_arg(arg);
  if (!p) return nullptr;
  int n = 0;
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, static_cast<int>(KLVO_ATTR_ORIGINALCOLS), &n) != 0)
    return check_result(arg, nullptr);
  PyObject *result = PyList_New(0);
  for (int j = 0; result && j < n; ++j) {
    double lb = 0, ub = 0;
    char type = 0;
    const char *name = nullptr;
    if (call(KLVOgetlb, "KLVOgetlb", p, p->prob, &lb, j, j) != 0 || call(KLVOgetub, "KLVOgetub", p, p->prob, &ub, j, j) != 0 ||
        call(KLVOgetcoltype, "KLVOgetcoltype", p, p->prob, &type, j, j) != 0 ||
        call(KLVOgetnamepointer, "KLVOgetnamepointer", p, p->prob, KLVO_NAMES_COLUMNS, j, &name) != 0) {
      Py_DECREF(result);
      return check_result(arg, nullptr);
    }
    PyObject *entry = name ? Py_BuildValue("(ddCs)", lb, ub, type, name) : Py_BuildValue("(ddCO)", lb, ub, type, Py_None);
    if (!entry || PyList_Append(result, entry) < 0) Py_CLEAR(result);
    Py_XDECREF(entry);
  }
  return result;
}

// library_calls(reset=False) -> calls made through the solver-call frame; reset sets the
// count back to 0 after reading it.
static PyObject *t_library_calls(PyObject *, PyObject *args) {
  int reset = 0;
  if (!PyArg_ParseTuple(args, "|p", &reset)) return nullptr;
  PyObject *count = PyLong_FromUnsignedLongLong(library_calls);
  if (count && reset) library_calls = 0;
  return count;
}

static PyMethodDef testing_methods[] = {
    {"library_calls", t_library_calls, METH_VARARGS, nullptr},
    {"columns", t_columns, METH_O, nullptr},
    {"problem", t_problem, METH_NOARGS, nullptr},
    {"link_objects", t_link_objects, METH_VARARGS, nullptr},
    {"object_state", t_object_state, METH_O, nullptr},
    {"add_callback_record", t_add_callback_record, METH_VARARGS, nullptr},
    {"callback_count", t_callback_count, METH_VARARGS, nullptr},
    {"has_handle", t_has_handle, METH_O, nullptr},
    {"has_pending", t_has_slot, METH_O, nullptr},
    {"callback_problem", t_callback_problem, METH_O, nullptr},
    {"detach_callback_problem", t_detach_callback_problem, METH_O, nullptr},
    {"frame_call", t_frame_call, METH_VARARGS, nullptr},
    {"last_rc", t_last_rc, METH_NOARGS, nullptr},
    {"park", t_park, METH_VARARGS, nullptr},
    {"unowned_call", t_unowned_call, METH_O, nullptr},
    {"raise_error", t_raise_error, METH_O, nullptr},
    {"branchobj", t_branchobj, METH_O, nullptr},
    {"walk", t_walk, METH_VARARGS, nullptr},
    {"init_count", t_init_count, METH_NOARGS, nullptr},
    {"nlp_flag", t_nlp_flag, METH_NOARGS, nullptr},
    {"live_problems", t_live_problems, METH_NOARGS, nullptr},
    {"msghandlers", t_msghandlers, METH_NOARGS, nullptr},
    {"scipy", t_scipy, METH_NOARGS, nullptr},
    {"message", t_message, METH_VARARGS, nullptr},
    {"user_message", t_user_message, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

static struct PyModuleDef testing_def = {
    PyModuleDef_HEAD_INIT, "kelvo._kelvo._testing", "Private entry points for the test suite.", -1, testing_methods,
};

// The other tables of this folder: the row and objective translation and the nonlinear wiring.
extern PyMethodDef rows_testing_methods[];
extern PyMethodDef nonlinear_testing_methods[];
extern PyMethodDef callbacks_testing_methods[];

PyObject *create_testing_module() {
  PyObject *m = PyModule_Create(&testing_def);
  if (m && PyModule_AddFunctions(m, rows_testing_methods) < 0) Py_CLEAR(m);
  if (m && PyModule_AddFunctions(m, nonlinear_testing_methods) < 0) Py_CLEAR(m);
  if (m && PyModule_AddFunctions(m, callbacks_testing_methods) < 0) Py_CLEAR(m);
  return m;
}

}  // namespace kelvo
