// kelvo.var: one optimization variable (a column).
#include "kelvo/model.h"

namespace kelvo {

PyTypeObject var_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

void mark_var_deleted(VarObject *v) {
  if (!v->owner || v->owner == deleted_marker) return;
  v->owner = deleted_marker;
  v->index_low = 0;
  v->index_high = 0;
}

int ready_var_type() {
  var_type.tp_name = "kelvo.var";
  var_type.tp_basicsize = sizeof(VarObject);
  var_type.tp_flags = Py_TPFLAGS_DEFAULT;
  var_type.tp_doc = "An optimization variable.";
  return PyType_Ready(&var_type);
}

}  // namespace kelvo
