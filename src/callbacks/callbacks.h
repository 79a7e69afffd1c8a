// Records of branching objects and pool cuts.
#pragma once

#include "module/state.h"

namespace kelvo {

struct BranchObject {
  PyObject_HEAD
  void *handle;          // library branching object, null once handed to the library
  PyObject *problem;     // owned reference to the kelvo.problem it belongs to
  int32_t original_space;
};

struct PoolCutObject {
  PyObject_HEAD
  void *handle;          // library cut handle
};

inline bool is_branchobj(PyObject *o) { return PyObject_TypeCheck(o, &branchobj_type); }

}  // namespace kelvo
