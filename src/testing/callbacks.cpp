// Private entry points for the callback tests: dispatch timed without a solve.
#include <chrono>

#include "callbacks/callbacks.h"
#include "module/frame.h"

namespace kelvo {

// dispatch_intsol(problem, n) -> seconds: calls the intsol dispatcher n times for the
// problem's first intsol registration, with the interpreter lock released as the library
// calls it.
static PyObject *t_dispatch_intsol(PyObject *, PyObject *args) {
  PyObject *obj;
  long n;
  if (!PyArg_ParseTuple(args, "Ol", &obj, &n)) return nullptr;
  if (!is_problem(obj)) return PyErr_Format(PyExc_TypeError, "expected a problem");
  ProblemObject *p = problem_of(obj);
  PyObject *list = p->callbacks[KLVO_CB_INTSOL];
  if (!list || PyList_GET_SIZE(list) == 0) return PyErr_Format(PyExc_ValueError, "no intsol callback");
  PyObject *record = Py_NewRef(PyList_GET_ITEM(list, 0));
  KLVOintsolcb dispatcher = intsol_dispatcher();
  auto start = std::chrono::steady_clock::now();
  {
    LockReleased unlocked;
    for (long i = 0; i < n; ++i) dispatcher(p->prob, record);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Py_DECREF(record);
  post_call(p, 0);
  if (PyErr_Occurred()) return nullptr;
  return PyFloat_FromDouble(seconds);
}

PyMethodDef callbacks_testing_methods[] = {
    {"dispatch_intsol", t_dispatch_intsol, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
