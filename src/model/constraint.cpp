// kelvo.constraint: one row, a body between a lower and an upper bound.
#include "kelvo/model.h"

namespace kelvo {

PyTypeObject constraint_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

void mark_constraint_deleted(ConstraintObject *c) {
  // A free constraint (with a data block) is not linked to any problem.
  if (constraint_slot_count(c) != 0) return;
  if (!c->link || c->link == deleted_marker) return;
  c->link = deleted_marker;
  c->index_low = 0;
  c->index_high = 0;
  c->bound_flags = static_cast<uint8_t>((c->bound_flags & 0x3f) | (constraint_kind_linked << constraint_kind_shift));
}

static void constraint_dealloc(PyObject *self) {
  auto *c = reinterpret_cast<ConstraintObject *>(self);
  if (int n = constraint_slot_count(c)) {
    auto *block = static_cast<uint64_t *>(c->link);
    Py_XDECREF(reinterpret_cast<PyObject *>(block[0]));  // the body
    int name_slot = c->slot_flags & 7;
    if (name_slot > 0 && name_slot < n) Py_XDECREF(reinterpret_cast<PyObject *>(block[name_slot]));
    PyMem_Free(block);
  }
  Py_TYPE(self)->tp_free(self);
}

int ready_constraint_type() {
  constraint_type.tp_name = "kelvo.constraint";
  constraint_type.tp_basicsize = sizeof(ConstraintObject);
  constraint_type.tp_flags = Py_TPFLAGS_DEFAULT;
  constraint_type.tp_doc = "A constraint: an expression between a lower and an upper bound.";
  constraint_type.tp_dealloc = constraint_dealloc;
  return PyType_Ready(&constraint_type);
}

}  // namespace kelvo
