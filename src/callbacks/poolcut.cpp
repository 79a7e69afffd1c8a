// kelvo.poolcut: an opaque handle to a cut in the library's cut pool.
#include "callbacks/callbacks.h"

namespace kelvo {

PyTypeObject poolcut_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_poolcut_type() {
  poolcut_type.tp_name = "kelvo.poolcut";
  poolcut_type.tp_basicsize = sizeof(PoolCutObject);
  poolcut_type.tp_flags = Py_TPFLAGS_DEFAULT;
  poolcut_type.tp_doc = "A cut in the cut pool.";
  return PyType_Ready(&poolcut_type);
}

}  // namespace kelvo
