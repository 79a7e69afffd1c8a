// Special ordered sets: the three states of a set object and its resolution to a set index.
#pragma once

#include "model/model.h"
#include "problem/problem.h"

namespace kelvo {

inline bool is_sos(PyObject *o) { return PyObject_TypeCheck(o, &sos_type); }
inline SosObject *as_sos(PyObject *o) { return reinterpret_cast<SosObject *>(o); }

inline bool sos_deleted(const SosObject *s) { return s->owner == deleted_marker; }
inline bool sos_unlinked(const SosObject *s) { return s->owner == nullptr; }

// A new set object linked to set `set` of p (not yet in its SOS list).
PyObject *new_linked_sos(ProblemObject *p, int set);
// A new unlinked set with a fresh serial id holding the given lists (references taken) and
// name (may be null: "sos<serial>").
PyObject *new_unlinked_sos(int type, PyObject *indices, PyObject *weights, PyObject *name);

// Set index of s in p, or -1 with ModelError.
int sos_index(SosObject *s, ProblemObject *p);

}  // namespace kelvo
