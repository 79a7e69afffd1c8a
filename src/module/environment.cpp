// Library initialisation on first need, its release, and the module-level environment
// functions.
#include "module/environment.h"

#include <climits>
#include <cstring>
#include <vector>

#include "module/frame.h"
#include "module/wrappers.h"
#include "numpy/numpy.h"
#include "problem/problem.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

int ensure_library(const char *path, bool force) {
  if (!force && g.init_count >= 1) return 0;
  int before = g.init_count++;
  if (KLVOinit(path) != 0) {
    --g.init_count;
    raise_error(nullptr);
    return -1;
  }
  bool slp_up = false;
  if (g.nlp_flag != 0) {
    int rc = KSLPinit();
    if (rc == 0) {
      g.nlp_flag = 1;
      slp_up = true;
    } else if (rc == KLVO_ERR_NOT_AVAILABLE) {
      g.nlp_flag = 0;
    } else {
      KLVOfree();
      --g.init_count;
      PyErr_SetString(g.InterfaceError, "Error initializing KSLP environment");
      return -1;
    }
  }
  bool handler_added = false;
  auto undo = [&] {
    if (handler_added) KLVO_ge_removecbmsghandler(global_message, nullptr);
    if (slp_up) KSLPfree();
    KLVOfree();
    --g.init_count;
    return -1;
  };
  if (before == 0) {
    if (KLVO_ge_addcbmsghandler(global_message, nullptr, 1) != 0) {
      raise_error(nullptr);
      return undo();
    }
    handler_added = true;
  }
  if (PyDict_GET_SIZE(g.attribute_table) == 0 && build_catalogue() < 0) return undo();
  return 0;
}

int release_library() {
  if (g.init_count <= 0) return 0;
  // The library refuses too, but the problems' handles would be gone by then.
  for (ProblemObject *p = g.live_problems; p; p = p->next)
    if (require_idle(p, "kelvo.free") < 0) return -1;
  if (g.init_count == 1) {
    KLVO_ge_removecbmsghandler(global_message, nullptr);
    // Hold every live problem while releasing: dropping a problem's lists may run code that
    // deallocates other problems and so changes the list.
    std::vector<nb::object> live;
    for (ProblemObject *p = g.live_problems; p; p = p->next)
      if (Py_REFCNT(p) > 0) live.push_back(nb::borrow(reinterpret_cast<PyObject *>(p)));
    // Every problem loses its handles before any is destroyed: a thread that runs while the
    // lock is released for one destruction cannot start a call on another.
    std::vector<ProblemHandles> handles;
    for (const nb::object &p : live) handles.push_back(problem_detach_handles(reinterpret_cast<ProblemObject *>(p.ptr())));
    for (size_t i = 0; i < live.size(); ++i)
      problem_destroy_handles(reinterpret_cast<ProblemObject *>(live[i].ptr()), handles[i]);
    for (const nb::object &p : live) problem_release(reinterpret_cast<ProblemObject *>(p.ptr()), false, false);
  }
  if (g.nlp_flag != 0) KSLPfree();
  int rc = KLVOfree();
  if (g.init_count > 0) --g.init_count;
  if (rc != 0) raise_error(nullptr);
  return PyErr_Occurred() ? -1 : 0;
}

// --- message output -------------------------------------------------------------------

void print_message(const char *msg, int msgtype) {
  if (!g.output_enabled) return;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (msgtype < 1) {
    PyObject *out = PySys_GetObject("stdout");  // borrowed
    if (out && out != Py_None) nb::steal(PyObject_CallMethod(out, "flush", nullptr));
  } else if (msg) {
    nb::object text = nb::steal(PyUnicode_DecodeUTF8(msg, static_cast<Py_ssize_t>(strlen(msg)), "replace"));
    if (text) PySys_FormatStdout("%U\n", text.ptr());
  }
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
}

void problem_message(KLVOprob, void *data, const char *msg, int, int msgtype) {
  LockTaken lock;
  if (reinterpret_cast<ProblemObject *>(data)->output_enabled) print_message(msg, msgtype);
}

void problem_slp_message(KSLPprob, void *data, const char *msg, int len, int msgtype) {
  problem_message(nullptr, data, msg, len, msgtype);
}

int global_message(void *obj, void *, void *, const char *msg, int, int msgtype) {
  // Problems print their own messages through their message functions.
  if (obj) {
    const char *name = nullptr;
    if (KLVOgetobjecttypename(obj, &name) == 0 && name &&
        (strcmp(name, "KLVOprob") == 0 || strcmp(name, "KSLPprob") == 0))
      return 0;
  }
  LockTaken lock;
  print_message(msg, msgtype);
  return 0;
}

// Calls the [handler, data] entry of a user message handler; the caller holds the interpreter
// lock. The handler's error, if any, is left set.
static int call_user_handler(PyObject *entry, void *obj, void *thread, const char *msg, int len, int msgtype) {
  if (!entry || !PyList_Check(entry) || PyList_GET_SIZE(entry) != 2) {
    PyErr_SetString(g.InterfaceError, "Incorrect general environment message handler detected");
    return -1;
  }
  // The handler may change the entry: hold its items.
  nb::object handler = nb::borrow(PyList_GET_ITEM(entry, 0));
  nb::object udata = nb::borrow(PyList_GET_ITEM(entry, 1));
  nb::object source = nb::steal(wrap_opaque(&klvoobject_type, obj));
  nb::object th = source ? nb::steal(wrap_opaque(&generic_type, thread)) : nb::object();
  if (th)
    nb::steal(PyObject_CallFunction(handler.ptr(), "OOOs#ii", source.ptr(), udata.ptr(), th.ptr(), msg ? msg : "",
                                    static_cast<Py_ssize_t>(msg ? strlen(msg) : 0), len, msgtype));
  return 0;
}

int user_message_handler(void *obj, void *data, void *thread, const char *msg, int len, int msgtype) {
  LockTaken lock;
  return PyErr_Occurred() ? 0 : call_user_handler(static_cast<PyObject *>(data), obj, thread, msg, len, msgtype);
}

// --- module functions -------------------------------------------------------------------

static PyObject *env_init(PyObject *, PyObject *arg) {
  const char *path = nullptr;
  nb::object encoded;  // the path in the file-system encoding
  if (PyUnicode_Check(arg)) {
    PyObject *bytes = nullptr;
    if (!PyUnicode_FSConverter(arg, &bytes)) return nullptr;
    encoded = nb::steal(bytes);
    path = PyBytes_AS_STRING(bytes);
  } else if (arg != Py_None) {
    PyErr_SetString(g.InterfaceError, "The argument of _init must be a path string or None");
    return nullptr;
  }
  if (ensure_library(path, true) < 0) return nullptr;
  Py_RETURN_NONE;
}

static PyObject *env_free(PyObject *, PyObject *) {
  if (release_library() < 0) return nullptr;
  return PyBool_FromLong(g.init_count > 0);
}

static PyObject *env_getlasterror(PyObject *, PyObject *) {
  if (ensure_library() < 0) return nullptr;
  char text[1025] = {0};
  int code = 0;
  if (KLVO_ge_getlasterror(&code, text, sizeof text, nullptr) != 0) return check_result(nullptr, nullptr);
  return Py_BuildValue("(is)", code, text);
}

static PyObject *env_getversion(PyObject *, PyObject *) {
  char text[64] = {0};
  if (KLVOgetversion(text) != 0) return check_result(nullptr, nullptr);
  return PyUnicode_FromString(text);
}

static PyObject *env_getversionnumbers(PyObject *, PyObject *) {
  int major = -1, minor = -1, build = -1;
  if (KLVOgetversionnumbers(&major, &minor, &build) != 0) return check_result(nullptr, nullptr);
  return Py_BuildValue("(iii)", major, minor, build);
}

static PyObject *env_getbanner(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {nullptr};
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "", const_cast<char **>(kwlist))) return nullptr;
  if (ensure_library() < 0) return nullptr;
  char text[513] = {0};
  if (KLVOgetbanner(text) != 0) return check_result(nullptr, nullptr);
  return PyUnicode_FromString(text);
}

static PyObject *env_getcheckedmode(PyObject *, PyObject *) {
  if (ensure_library() < 0) return nullptr;
  int checked = 0;
  if (KLVOgetcheckedmode(&checked) != 0) return check_result(nullptr, nullptr);
  return PyBool_FromLong(checked != 0);
}

static PyObject *env_setcheckedmode(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"checked_mode", nullptr};
  PyObject *mode;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O", const_cast<char **>(kwlist), &mode)) return nullptr;
  if (ensure_library() < 0) return nullptr;
  if (KLVOsetcheckedmode(mode == Py_True ? 1 : 0) != 0) return check_result(nullptr, nullptr);
  Py_RETURN_NONE;
}

static PyObject *env_setarchconsistency(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"ifArchConsistent", nullptr};
  PyObject *flag;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O", const_cast<char **>(kwlist), &flag)) return nullptr;
  if (ensure_library() < 0) return nullptr;
  if (KLVO_ge_setarchconsistency(flag == Py_None || flag == Py_False ? 0 : 1) != 0)
    return check_result(nullptr, nullptr);
  Py_RETURN_NONE;
}

static PyObject *env_getcomputeallowed(PyObject *, PyObject *) {
  if (ensure_library() < 0) return nullptr;
  int allowed = 0;
  if (KLVO_ge_getcomputeallowed(&allowed) != 0) return check_result(nullptr, nullptr);
  return PyLong_FromLong(allowed);
}

static PyObject *env_setcomputeallowed(PyObject *, PyObject *arg) {
  static const char *message = "Incorrect argument in setcomputeallowed: should be 0, 1 or -1";
  int overflow = 0;
  long value = 0;
  if (PyLong_Check(arg) || PyArray_IsScalar(arg, SignedInteger)) {
    nb::object number = nb::steal(PyNumber_Index(arg));
    if (number) value = PyLong_AsLongAndOverflow(number.ptr(), &overflow);
    if (!number || PyErr_Occurred() || overflow || value < INT_MIN || value > INT_MAX) {
      PyErr_Clear();
      overflow = 1;
    }
  } else {
    overflow = 1;
  }
  if (overflow) {
    PyErr_SetString(g.ModelError, message);
    return nullptr;
  }
  if (ensure_library() < 0) return nullptr;
  if (KLVO_ge_setcomputeallowed(static_cast<int>(value)) != 0) return check_result(nullptr, nullptr);
  Py_RETURN_NONE;
}

static PyObject *env_getdebugmode(PyObject *, PyObject *) {
  if (ensure_library() < 0) return nullptr;
  int mode = 0;
  if (KLVO_ge_getdebugmode(&mode) != 0) return check_result(nullptr, nullptr);
  return PyLong_FromLong(mode);
}

// Truth value of a flag argument; -1 with ModelError "Incorrect argument in <fn>: ...".
static int flag_argument(PyObject *arg, const char *function) {
  int truth = PyObject_IsTrue(arg);
  if (truth < 0) {
    PyErr_Clear();
    PyErr_Format(g.ModelError, "Incorrect argument in %s: should be True or False", function);
  }
  return truth;
}

static PyObject *env_setdebugmode(PyObject *, PyObject *arg) {
  int mode = flag_argument(arg, "setdebugmode");
  if (mode < 0 || ensure_library() < 0) return nullptr;
  if (KLVO_ge_setdebugmode(mode) != 0) return check_result(nullptr, nullptr);
  Py_RETURN_NONE;
}

static PyObject *env_featurequery(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"feature", nullptr};
  const char *feature;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "s", const_cast<char **>(kwlist), &feature)) return nullptr;
  if (ensure_library() < 0) return nullptr;
  int status = 0;
  if (KLVOfeaturequery(feature, &status) != 0) return check_result(nullptr, nullptr);
  return PyBool_FromLong(status != 0);
}

static PyObject *env_getoutputenabled(PyObject *, PyObject *) { return PyBool_FromLong(g.output_enabled); }

static PyObject *env_setoutputenabled(PyObject *, PyObject *arg) {
  int flag = flag_argument(arg, "setOutputEnabled");
  if (flag < 0) return nullptr;
  g.output_enabled = static_cast<uint8_t>(flag);
  Py_RETURN_NONE;
}

static PyObject *env_addcbmsghandler(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"msghandler", "data", "priority", nullptr};
  PyObject *handler, *data;
  int priority;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOi", const_cast<char **>(kwlist), &handler, &data, &priority)) {
    PyErr_SetString(g.InterfaceError,
                    "Incorrect arguments in addcbmsghandler. Must provide correct list of three arguments");
    return nullptr;
  }
  nb::object entry = nb::steal(Py_BuildValue("[OO]", handler, data));
  if (!entry || PyList_Append(g.msghandlers, entry.ptr()) < 0) return nullptr;
  if (ensure_library() < 0 || KLVO_ge_addcbmsghandler(user_message_handler, entry.ptr(), priority) != 0) {
    raise_error(nullptr);
    // Take the entry back out so that the list matches what the library holds.
    Py_ssize_t n = PyList_GET_SIZE(g.msghandlers);
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    if (n > 0 && PyList_GET_ITEM(g.msghandlers, n - 1) == entry.ptr())
      PyList_SetSlice(g.msghandlers, n - 1, n, nullptr);
    PyErr_Restore(type, value, traceback);
    return nullptr;
  }
  Py_RETURN_NONE;
}

static PyObject *env_removecbmsghandler(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"msghandler", "data", nullptr};
  PyObject *handler, *data;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO", const_cast<char **>(kwlist), &handler, &data)) {
    PyErr_SetString(g.InterfaceError,
                    "Incorrect arguments in removecbmsghandler. Must provide correct list of two arguments");
    return nullptr;
  }
  bool found = false;
  for (Py_ssize_t i = PyList_GET_SIZE(g.msghandlers) - 1; i >= 0; --i) {
    if (i >= PyList_GET_SIZE(g.msghandlers)) continue;
    // Removing the handler calls the library, whose handlers can run Python: hold the entry.
    nb::object held = nb::borrow(PyList_GET_ITEM(g.msghandlers, i));
    PyObject *entry = held.ptr();
    if (!PyList_Check(entry) || PyList_GET_SIZE(entry) != 2) continue;
    if ((handler != Py_None && handler != PyList_GET_ITEM(entry, 0)) ||
        (data != Py_None && data != PyList_GET_ITEM(entry, 1)))
      continue;
    found = true;
    if (g.init_count > 0 && KLVO_ge_removecbmsghandler(user_message_handler, entry) != 0)
      return check_result(nullptr, nullptr);
    int rc = PyList_SetItem(entry, 0, Py_NewRef(Py_None));
    if (rc == 0) rc = PyList_SetSlice(g.msghandlers, i, i + 1, nullptr);
    if (rc < 0) return nullptr;
  }
  if (!found) {
    PyErr_SetString(g.InterfaceError, "Callback not found");
    return nullptr;
  }
  Py_RETURN_NONE;
}

PyMethodDef environment_methods[] = {
    {"_init", env_init, METH_O, "Initialises the solver library once more, reading defaults from a path (or None)."},
    {"free", env_free, METH_NOARGS, "Releases one initialisation of the solver library; True while more remain."},
    {"getlasterror", env_getlasterror, METH_NOARGS, "The global environment's last error as (code, text)."},
    {"getversion", env_getversion, METH_NOARGS, "The solver library's version string."},
    {"getversionnumbers", env_getversionnumbers, METH_NOARGS, "The solver library's version as (major, minor, build)."},
    {"getbanner", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(env_getbanner)),
     METH_VARARGS | METH_KEYWORDS, "The solver library's banner."},
    {"getcheckedmode", env_getcheckedmode, METH_NOARGS, "Whether the library validates every argument."},
    {"setcheckedmode", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(env_setcheckedmode)),
     METH_VARARGS | METH_KEYWORDS, "Turns checked mode on (True) or off (anything else)."},
    {"setarchconsistency", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(env_setarchconsistency)),
     METH_VARARGS | METH_KEYWORDS, "Asks for results that do not depend on the machine architecture."},
    {"featurequery", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(env_featurequery)),
     METH_VARARGS | METH_KEYWORDS, "Whether the named feature is available."},
    {"getOutputEnabled", env_getoutputenabled, METH_NOARGS, "Whether solver messages are printed."},
    {"setOutputEnabled", env_setoutputenabled, METH_O, "Turns the printing of solver messages on or off."},
    {"getcomputeallowed", env_getcomputeallowed, METH_NOARGS, "The compute permission: -1, 0 or 1."},
    {"setcomputeallowed", env_setcomputeallowed, METH_O, "Sets the compute permission to -1, 0 or 1."},
    {"getdebugmode", env_getdebugmode, METH_NOARGS, "The library's debug mode."},
    {"setdebugmode", env_setdebugmode, METH_O, "Turns the library's debug mode on or off."},
    {"addcbmsghandler", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(env_addcbmsghandler)),
     METH_VARARGS | METH_KEYWORDS, "Adds a handler for every message of the library: msghandler, data, priority."},
    {"removecbmsghandler", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(env_removecbmsghandler)),
     METH_VARARGS | METH_KEYWORDS, "Removes message handlers; None matches any handler or data."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
