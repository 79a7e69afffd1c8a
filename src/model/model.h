// Records of the modelling objects: variables, constraints and special ordered sets.
#pragma once

#include "module/state.h"

namespace kelvo {

// A model object's owner link is its problem (linked), null (unlinked) or this marker
// (deleted). The marker is never a valid object address.
inline ProblemObject *const deleted_marker = reinterpret_cast<ProblemObject *>(uintptr_t{1});

struct VarObject {
  PyObject_HEAD
  ProblemObject *owner;  // non-owning
  uint32_t index_low;    // column (linked) or low 32 bits of the serial id (unlinked)
  uint16_t index_high;   // high 16 bits of the serial id
  uint8_t bound_flags;   // bits 0-1 lb state, 2-3 ub state, 4 threshold, 5 name
  uint8_t type_byte;     // bits 0-2 variable type, bit 3 shared
};

struct ConstraintObject {
  PyObject_HEAD
  void *link;            // data block when the slot count is non-zero, else the owner link
  uint32_t index_low;
  uint16_t index_high;
  uint8_t bound_flags;   // bits 0-2 lb state, 3-5 ub state, 6-7 variable kind
  uint8_t slot_flags;    // bits 0-2 name slot, 3-5 slot count
};

constexpr uint8_t constraint_kind_shift = 6;
constexpr uint8_t constraint_kind_linked = 2;

inline int constraint_slot_count(const ConstraintObject *c) { return (c->slot_flags >> 3) & 7; }

struct SosObject {
  PyObject_HEAD
  ProblemObject *owner;  // non-owning
  uint64_t index;        // set index (linked) or serial id (unlinked)
  PyObject *name;        // unlinked only
  long type;             // unlinked only: 1 or 2
  PyObject *indices;     // unlinked only: list of variables or column indices
  PyObject *weights;     // unlinked only: list of weights
};

// Marks a linked object deleted: owner link to the marker and index 0. Unlinked and
// free objects are left alone.
void mark_var_deleted(VarObject *v);
// Moves on whenever a linked variable changes column or is deleted, so that columns looked up
// earlier can tell whether they still hold.
extern uint64_t column_epoch;
void mark_constraint_deleted(ConstraintObject *c);
void mark_sos_deleted(SosObject *s);

// A linked object's properties are read from the library only outside callbacks and while
// its problem is not presolved: 1 readable, 0 not, -1 with an exception.
int properties_accessible(ProblemObject *p);
// The same as a check: 0 when readable, else -1 with InterfaceError "<what> properties are
// not available ..." (or the error that stopped the test).
int require_properties_accessible(ProblemObject *p, const char *what);

}  // namespace kelvo
