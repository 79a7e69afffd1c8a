// Constraints: the free-constraint data block and its slot rules, the states of a constraint
// record, building a free constraint, linking it to a row, and resolving it to a row index.
#pragma once

#include "model/model.h"
#include "problem/problem.h"

namespace kelvo {

// Row types 1..5 and their row letters L, G, E, R, N.
enum RowType { rt_leq = 1, rt_geq = 2, rt_eq = 3, rt_range = 4, rt_nonbinding = 5 };

// Variable kind of a constraint's body: 0 not known, 1 unlinked variables, 2 linked ones.
enum ConstraintKind { ck_unknown = 0, ck_unlinked = 1, ck_linked = 2 };

inline bool is_constraint(PyObject *o) { return PyObject_TypeCheck(o, &constraint_type); }
inline ConstraintObject *as_con(PyObject *o) { return reinterpret_cast<ConstraintObject *>(o); }

// States of the record.
inline bool constraint_has_block(const ConstraintObject *c) { return constraint_slot_count(c) != 0; }
inline bool constraint_deleted(const ConstraintObject *c) {
  return !constraint_has_block(c) && c->link == deleted_marker;
}
inline bool constraint_uninitialised(const ConstraintObject *c) { return !constraint_has_block(c) && !c->link; }
// The problem of a linked constraint, else null.
inline ProblemObject *constraint_owner(const ConstraintObject *c) {
  if (constraint_has_block(c) || c->link == deleted_marker) return nullptr;
  return static_cast<ProblemObject *>(c->link);
}

inline int constraint_kind(const ConstraintObject *c) { return (c->bound_flags >> constraint_kind_shift) & 3; }
inline void constraint_set_kind(ConstraintObject *c, int kind) {
  c->bound_flags = static_cast<uint8_t>((c->bound_flags & 0x3f) | ((kind & 3) << constraint_kind_shift));
}

// The 48-bit index field: row of a linked constraint, serial id of an unlinked one.
inline uint64_t constraint_index(const ConstraintObject *c) {
  return c->index_low | (uint64_t{c->index_high} << 32);
}
inline void constraint_set_index(ConstraintObject *c, uint64_t index) {
  c->index_low = static_cast<uint32_t>(index);
  c->index_high = static_cast<uint16_t>(index >> 32);
}
// The next value of the constraint serial counter (48 bits).
uint64_t next_constraint_serial();

// Contents of a free constraint (undefined for others): the body (borrowed, null when none),
// the decoded bounds and the stored name (borrowed, null when none).
PyObject *constraint_body(const ConstraintObject *c);
double constraint_lb(const ConstraintObject *c);
double constraint_ub(const ConstraintObject *c);
PyObject *constraint_stored_name(const ConstraintObject *c);

// Derived row type, right-hand side and range of bounds (lb, ub).
int row_type_of_bounds(double lb, double ub);
double rhs_of_bounds(double lb, double ub);
double range_of_bounds(double lb, double ub);

// Makes c, which has neither data block nor owner, a free constraint: bounds clamped to
// +-1e20, variable kind from the body's first variable (1 also takes a serial id), body
// and name (either may be null) stored with new references. -1 with an exception, leaving c
// uninitialised.
int constraint_build(ConstraintObject *c, PyObject *body, double lb, double ub, PyObject *name);
// A new free constraint built as above.
PyObject *new_constraint(PyObject *body, double lb, double ub, PyObject *name);
// A new unlinked constraint without a body (a row read from a file into an unlinked
// problem): bounds and name (may be null) as above, with a fresh serial id.
PyObject *new_unlinked_constraint(double lb, double ub, PyObject *name);

// Turns a free constraint into its linked form: releases body, name and data block, clears
// the bound and slot flags and links it to row `row` of p with kind 2.
void constraint_link(ConstraintObject *c, ProblemObject *p, int row);

// A new constraint linked to row `row` of p (not yet in its constraint list).
PyObject *new_linked_constraint(ProblemObject *p, int row);

// Row index of c in p, or -1 with ModelError. The caller tests for deletion first.
int constraint_row(ConstraintObject *c, ProblemObject *p);

// The printed name (a new string), as str() gives it.
PyObject *constraint_name(ConstraintObject *c);

// The body of row `row` of the linked problem p, read back from the library (a new
// reference: an expression, a nonlinear node or the float 0.0), or null with an exception.
PyObject *linked_constraint_body(ProblemObject *p, int row);

// Module functions of the comparison operators (compare.cpp).
extern PyMethodDef compare_methods[];

}  // namespace kelvo
