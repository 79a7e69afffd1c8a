// Strong branching from a node callback: trial solves of the node's relaxation, each followed
// by a call of the user's callable.
#include <vector>

#include "api/convert.h"
#include "callbacks/callbacks.h"
#include "module/frame.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

PyObject *problem_strongbranchcb(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "bndtype", "bndval", "iterlim", "objval", "status", "callback", "data",
                                   nullptr};
  static const char *const oldkw[] = {"bndind", "bndtype", "bndval", "itrlimit", "objval", "status", "sbsolvecb",
                                      "vContext", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *cols, *types, *vals, *objval, *status, *callback, *data;
  int iterlim;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOiOOOO", kw, oldkw, 6, &cols, &types, &vals, &iterlim,
                                               &objval, &status, &callback, &data))
    return nullptr;
  if (callback != Py_None && !PyCallable_Check(callback)) {
    PyErr_SetString(g.InterfaceError, "strongbranchcb: the callback must be callable or None");
    return nullptr;
  }
  LengthSlot n_slot = -1;
  WorkArray c, t, v;
  if (conv_obj2arr(p, &n_slot, cols, ek_col, c) < 0 || conv_obj2arr(p, &n_slot, types, ek_char, t) < 0 ||
      conv_obj2arr(p, &n_slot, vals, ek_real, v) < 0)
    return nullptr;
  int n;
  if (array_count(n_slot, &n) < 0) return nullptr;
  // The trials' callable sees the user's problem as its parent, as every callback does.
  PyObject *root = reinterpret_cast<PyObject *>(p->parent ? p->parent : p);
  nb::object record = nb::steal(PyList_New(3));
  if (!record) return nullptr;
  PyList_SET_ITEM(record.ptr(), 0, Py_NewRef(root));
  PyList_SET_ITEM(record.ptr(), 1, Py_NewRef(callback));
  PyList_SET_ITEM(record.ptr(), 2, Py_NewRef(data));
  std::vector<double> obj(static_cast<size_t>(n) + 1);
  std::vector<int> st(static_cast<size_t>(n) + 1);
  // Called with the interpreter lock held: the trials' dispatcher takes it again on this thread.
  int rc = KLVOstrongbranchcb(p->prob, n, c.as<int>(), t.as<char>(), v.as<double>(), iterlim, obj.data(), st.data(),
                              callback == Py_None ? nullptr : strongbranch_dispatcher(), record.ptr());
  if (rc != 0) return check_result(self, nullptr);
  if (conv_arr2obj(p, n, obj.data(), objval, ek_real) < 0 || conv_arr2obj(p, n, st.data(), status, ek_int) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

}  // namespace

PyMethodDef problem_methods_branching[] = {
    keywords_method("strongbranchcb", problem_strongbranchcb,
                    "Strong branching from a node callback: solves the node's relaxation once per bound change "
                    "and fills objval and status."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
