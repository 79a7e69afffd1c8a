// kelvo.klvoobject and kelvo.generic: opaque library pointers handed to message handlers.
#pragma once

#include "module/state.h"

namespace kelvo {

struct OpaqueObject {
  PyObject_HEAD
  void *ptr;  // owned by the library
};

// A new wrapper of `type` (klvoobject_type or generic_type) around ptr.
PyObject *wrap_opaque(PyTypeObject *type, void *ptr);

// Fills in and readies one of the two wrapper types.
int ready_opaque(PyTypeObject *type, const char *name, const char *doc);

}  // namespace kelvo
