// kelvo.objattrib: the attributes of each objective of a problem.
#include "kelvo/params.h"

namespace kelvo {

PyTypeObject objattrib_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyObject *new_objattrib(ProblemObject *problem) {
  auto *o = PyObject_New(ObjAttribObject, &objattrib_type);
  if (!o) return nullptr;
  o->problem = problem;
  o->nslots = 0;
  o->accessors = nullptr;
  return reinterpret_cast<PyObject *>(o);
}

static void objattrib_dealloc(PyObject *self) {
  auto *o = reinterpret_cast<ObjAttribObject *>(self);
  for (Py_ssize_t i = 0; i < o->nslots; ++i) Py_XDECREF(o->accessors[i]);
  PyMem_Free(o->accessors);
  PyObject_Free(self);
}

int ready_objattrib_type() {
  objattrib_type.tp_name = "kelvo.objattrib";
  objattrib_type.tp_basicsize = sizeof(ObjAttribObject);
  objattrib_type.tp_flags = Py_TPFLAGS_DEFAULT;
  objattrib_type.tp_doc = "The attributes of the objectives of a problem.";
  objattrib_type.tp_dealloc = objattrib_dealloc;
  return PyType_Ready(&objattrib_type);
}

}  // namespace kelvo
