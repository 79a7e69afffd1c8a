// The solver-call frame, the pending-exception slot and error retrieval.
#include "module/frame.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "callbacks/callbacks.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

#ifdef KELVO_TESTING
uint64_t library_calls = 0;
#endif

void PendingException::clear() {
  Py_CLEAR(type);
  Py_CLEAR(value);
  Py_CLEAR(traceback);
  handle = nullptr;
}

void PendingException::store(KLVOprob h) {
  clear();
  PyErr_Fetch(&type, &value, &traceback);
  handle = h;
}

void PendingException::restore() {
  PyErr_Restore(type, value, traceback);  // steals the three references
  type = value = traceback = nullptr;
  handle = nullptr;
}

PyObject *exception_text(PyObject *type, PyObject *value) {
  PyObject *source = value ? value : type;
  if (!source) return PyUnicode_FromString("(none)");
  PyObject *text = PyObject_Str(source);
  if (!text) {
    PyErr_Clear();
    text = PyUnicode_FromString("(error)");
  }
  return text;
}

// The slot an owner's exceptions go to: its originating problem's for a callback problem.
static PendingException *slot_of(ProblemObject *owner) {
  if (!owner) return nullptr;
  return owner->parent ? owner->parent->pending : owner->pending;
}

// Issues a RuntimeWarning at stack level 0; a failure to issue it is not reported.
static void runtime_warning(const char *format, const char *a, PyObject *b) {
  int rc = b ? PyErr_WarnFormat(PyExc_RuntimeWarning, 0, format, a, PyUnicode_AsUTF8(b))
             : PyErr_WarnFormat(PyExc_RuntimeWarning, 0, format, a);
  if (rc < 0) PyErr_Clear();
}

bool pre_call(ProblemObject *owner, const char *function, KLVOprob handle) {
  if (!PyErr_Occurred()) return false;
  PendingException *slot = slot_of(owner);
  if (slot && !slot->full()) {
    slot->store(handle);
    return true;
  }
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  nb::object dropped_type = nb::steal(type), dropped_value = nb::steal(value), dropped_tb = nb::steal(traceback);
  nb::object text = nb::steal(exception_text(type, value));
  if (text)
    runtime_warning(slot ? "Exception masked by another exception in %s: %s" : "Unhandled exception in %s: %s",
                    function, text.ptr());
  else
    PyErr_Clear();
  return false;
}

void post_call(ProblemObject *owner, int rc) {
  PendingException *slot = slot_of(owner);
  if (!slot || !slot->full() || slot->handle != owner->prob) return;
  // The stored exception supersedes anything raised since.
  PyErr_Clear();
  if (rc != 0 && owner->prob) {
    char text[error_text_size + 1] = {0};
    if (KLVOgetlasterror(owner->prob, text) == 0 && text[0])
      runtime_warning("Exception masked by another exception: %s", text, nullptr);
  }
  slot->restore();
}

PyObject *raise_handle_error(ProblemObject *p, KLVOprob prob, KSLPprob slp) {
  char text[error_text_size + 1] = {0};
  int code = 0;
  if (prob) call(KLVOgetlasterror, "KLVOgetlasterror", p, prob, text);
  if (!text[0] && g.nlp_flag != 0 && slp) call(KSLPgetlasterror, "KSLPgetlasterror", p, slp, &code, text);
  // A frame may have handed back an exception stored for this problem: it wins.
  if (PyErr_Occurred()) return nullptr;
  if (code == 0 && !text[0]) strcpy(text, "Unidentified error associated with optimization problem");
  // Messages may quote file names in any encoding: undecodable bytes are replaced.
  nb::object message = nb::steal(PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(strlen(text)), "replace"));
  if (message) PyErr_SetObject(g.SolverError ? g.SolverError : PyExc_RuntimeError, message.ptr());
  return nullptr;
}

PyObject *check_result(PyObject *owner, PyObject *result) {
  if (result || PyErr_Occurred()) return result;
  char text[error_text_size + 1] = {0};
  PyObject *cls;
  if (!owner) {
    int code = 0;
    KLVO_ge_getlasterror(&code, text, error_text_size + 1, nullptr);
    if (code == 0 && !text[0]) strcpy(text, "Unidentified error associated with the global environment");
    cls = g.InterfaceError;
  } else if (is_problem(owner)) {
    auto *p = reinterpret_cast<ProblemObject *>(owner);
    return raise_handle_error(p, p->prob, p->slp);
  } else if (is_branchobj(owner)) {
    auto *b = reinterpret_cast<BranchObject *>(owner);
    int code = 0;
    if (b->handle)
      KLVO_bo_getlasterror(static_cast<KLVObranchobject>(b->handle), &code, text, error_text_size + 1, nullptr);
    if (code == 0 && !text[0]) strcpy(text, "Unidentified error associated with a branching object");
    cls = g.SolverError;
  } else {
    cls = g.InterfaceError;
  }
  // After module release the classes are gone; the text still reaches the caller.
  // Messages may quote file names in any encoding: undecodable bytes are replaced.
  nb::object message = nb::steal(PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(strlen(text)), "replace"));
  if (message) PyErr_SetObject(cls ? cls : PyExc_RuntimeError, message.ptr());
  return nullptr;
}

int deprecation(int major, int minor, const char *advice) {
  return PyErr_WarnFormat(g.DeprecationWarning, 1, "Deprecated in Kelvo %d.%d: %s", major, minor, advice);
}

bool parse_keywords(PyObject *args, PyObject *kwargs, const char *format, const char *const *kwlist,
                    const char *const *oldkwlist, int minor, ...) {
  va_list va, va_old;
  va_start(va, minor);
  va_copy(va_old, va);
  bool ok = PyArg_VaParseTupleAndKeywords(args, kwargs, format, const_cast<char **>(kwlist), va);
  if (!ok && oldkwlist) {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    ok = PyArg_VaParseTupleAndKeywords(args, kwargs, format, const_cast<char **>(oldkwlist), va_old);
    if (ok) {
      // The old names fit: the first error is dropped.
      nb::steal(type), nb::steal(value), nb::steal(traceback);
      ok = deprecation(9, minor,
                       "function called with old argument names: check the documentation for the new "
                       "argument names") == 0;
    } else {
      PyErr_Clear();
      PyErr_Restore(type, value, traceback);
    }
  }
  va_end(va_old);
  va_end(va);
  return ok;
}

}  // namespace kelvo
