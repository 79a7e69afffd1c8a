// kelvo.branchobj: a branching object, built by the user or handed over by the library.
#include "callbacks/callbacks.h"

namespace kelvo {

PyTypeObject branchobj_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

static void branchobj_dealloc(PyObject *self) {
  // Objects are only created with a null handle until the library offers branching objects.
  Py_XDECREF(reinterpret_cast<BranchObject *>(self)->problem);
  Py_TYPE(self)->tp_free(self);
}

int ready_branchobj_type() {
  branchobj_type.tp_name = "kelvo.branchobj";
  branchobj_type.tp_basicsize = sizeof(BranchObject);
  branchobj_type.tp_flags = Py_TPFLAGS_DEFAULT;
  branchobj_type.tp_doc = "A branching object: a set of branches for the branch-and-bound search.";
  branchobj_type.tp_dealloc = branchobj_dealloc;
  return PyType_Ready(&branchobj_type);
}

}  // namespace kelvo
