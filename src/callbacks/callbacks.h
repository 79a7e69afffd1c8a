// Callbacks: registration records, the per-kind table of library registration functions and
// dispatchers, branching objects and pool cuts.
#pragma once

#include "module/state.h"
#include "problem/problem.h"

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

// A new kelvo.poolcut for a library cut handle; null with the exception set.
PyObject *new_poolcut(void *handle);

inline bool is_branchobj(PyObject *o) { return PyObject_TypeCheck(o, &branchobj_type); }

// A registration record is the list [problem, callable, data, priority]. Item 0 is not owned
// (a registration must not keep its problem alive): it is replaced by None before the record
// can be dropped. The record itself is the user-data pointer the library hands back to the
// dispatcher.
enum RecordItem { record_problem = 0, record_callable = 1, record_data = 2, record_priority = 3 };

// What the registry needs to know about one callback kind.
struct CallbackKind {
  const char *name;           // the dispatcher's name, as used in messages
  const char *add_method;     // addcb... or setcb...
  const char *remove_method;  // removecb..., null for the nonlinear layer's kinds
  // Library registration of the kind's dispatcher with the record; a library return code.
  // Null when the library does not offer the event yet.
  int (*add)(ProblemObject *p, PyObject *record, int priority);
  // Library removal of the kind's dispatcher with the record (main library kinds only).
  int (*remove)(ProblemObject *p, PyObject *record);
};

// Kinds 0 to 23 belong to the main library, 24 to 45 to the nonlinear layer.
constexpr int first_nonlinear_kind = 24;
extern const CallbackKind callback_kind_table[callback_kinds];

// Registers every registration of src on dst, kind by kind and in order; the first failure
// stops the copy (registrations made so far stay). 0, or -1 with an exception.
int copy_callbacks(ProblemObject *dst, ProblemObject *src);

// The library problem of the callback of `parent` running on this thread (the innermost one),
// or the parent's own handle when none runs: where a variable or constraint of the parent
// reads the callback's solution.
KLVOprob callback_handle(ProblemObject *parent);

// The dispatcher of the trials of strongbranchcb, whose record is [problem, callable, data].
KLVOstrongbranchsolvecb strongbranch_dispatcher();

#ifdef KELVO_TESTING
// The intsol event's dispatcher, for timing dispatch without a solve. Test builds only.
KLVOintsolcb intsol_dispatcher();
#endif

// The addcb*, removecb*, setcb* and copycallbacks methods, ended by a {nullptr} entry.
PyMethodDef *callback_methods();

}  // namespace kelvo
