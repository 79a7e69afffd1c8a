// The problem record (kelvo.problem) and its pending-exception slot.
#pragma once

#include <klvo.h>

#include <tsl/robin_map.h>
#include <tsl/robin_set.h>

#include "module/state.h"

namespace kelvo {

// An interpreter exception parked while a library call runs, with the library problem on
// which it arose. type == nullptr means the slot is empty.
struct PendingException {
  PyObject *type = nullptr;
  PyObject *value = nullptr;
  PyObject *traceback = nullptr;
  KLVOprob handle = nullptr;

  bool full() const { return type != nullptr; }
  void clear();
  // Moves the interpreter's current exception into the slot.
  void store(KLVOprob h);
  // Hands the stored exception back to the interpreter and empties the slot.
  void restore();
};

// Maps from serial ids of unlinked objects to their index in one problem.
using SerialIndexMap = tsl::robin_map<uint64_t, int>;
// User functions registered with the nonlinear layer (problem/user_functions.h).
struct UserFunctionRegistry;
// Objects of the nonlinear layer's multistart jobs (api/multistart_methods.h).
struct JobObjects;

// Nonlinear-layer controls and attributes the problem sets or reads itself.
constexpr int slp_control_objsense = 12146;     // 1.0 minimise, -1.0 maximise
constexpr int slp_control_derivatives = 12415;  // 0 exact second derivatives
constexpr int slp_attr_coefficients = 12016;    // entries with a column
constexpr int slp_attr_formulas = 12026;        // entries without a column

constexpr int callback_kinds = 46;

struct ProblemObject {
  PyObject_HEAD
  KLVOprob prob;              // null until initialised and after release
  KSLPprob slp;               // nonlinear-layer handle, when the layer is available
  ProblemObject *parent;      // owned; set only on problems built for a callback
  PendingException *pending;  // owned
  PyObject *vars;             // list of kelvo.var, position = column
  PyObject *cons;             // list of kelvo.constraint, position = row
  PyObject *sos;              // list of kelvo.sos, position = set
  PyObject *controls;         // kelvo.control bound to this problem
  PyObject *attributes;       // kelvo.attribute bound to this problem
  PyObject *objattribs;       // kelvo.objattrib
  SerialIndexMap *var_map;    // owned; only while the problem holds unlinked objects
  SerialIndexMap *con_map;
  SerialIndexMap *sos_map;
  PyObject *callbacks[callback_kinds];  // each null or a list of registration records
  PyObject *retired_callbacks;  // list of records removed during a solve, kept until it ends
  int32_t cached_attrib_12013;          // -1 = not read
  int32_t nonlin_cons;                  // successful additions of nonlinear coefficients
  int32_t nonlin_obj;                   // 1 while the objective goes through an auxiliary row
  UserFunctionRegistry *user_functions;  // owned, created on first use
  JobObjects *job_objects;              // owned, created by the first multistart job
  int32_t obj_aux_col;                  // -1 = none
  int32_t obj_aux_row;                  // -1 = none
  int32_t output_enabled;
  int32_t calls_running;   // library calls on this problem under way with the lock released
  int32_t solves_running;  // of which solves
  int32_t changes_running;  // methods under way that change the problem in several library calls
  ProblemObject *prev;
  ProblemObject *next;
};

inline bool is_problem(PyObject *o) { return PyObject_TypeCheck(o, &problem_type); }
inline ProblemObject *problem_of(PyObject *self) { return reinterpret_cast<ProblemObject *>(self); }

// Entry of a method table for a C function taking (self, args, kwargs).
template <class F>
constexpr PyMethodDef keywords_method(const char *name, F function, const char *doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)), METH_VARARGS | METH_KEYWORDS,
          doc};
}

// Entry of a method table for a C function taking only self.
constexpr PyMethodDef plain_method(const char *name, PyObject *(*function)(PyObject *, PyObject *), const char *doc) {
  return {name, function, METH_NOARGS, doc};
}

// Fails with SolverError naming `method` while a library call on the problem is under way (a
// solve, or any call another thread made), or while another method is changing it: releasing,
// rebuilding or renumbering the problem's handles, rows or columns then would pull them from
// under it. -1 with the exception set.
int require_idle(const ProblemObject *p, const char *method);

// Held by a method that changes the problem through several library calls: a solve that
// another thread starts between two of them is refused rather than seeing half the change.
class ChangeScope {
 public:
  explicit ChangeScope(ProblemObject *p) : p_(p) { ++p_->changes_running; }
  ~ChangeScope() { --p_->changes_running; }
  ChangeScope(const ChangeScope &) = delete;
  ChangeScope &operator=(const ChangeScope &) = delete;

 private:
  ProblemObject *p_;
};

// Rebuilds the object lists after the library replaced the whole model (read, restore): the
// old objects are detached and new linked (or, with as_unlinked, unlinked) ones made for every
// column, row and set. keep_user_functions keeps the nonlinear layer's user functions, which
// the replaced model may still call. 0, or -1 with an exception.
int relink_replaced_model(ProblemObject *p, bool as_unlinked, bool keep_user_functions);

// (problem.<getter>, (owner, index)): how a linked variable, constraint or set pickles, so that
// pickled or deep-copied with its problem it comes back linked to the new one.
PyObject *reduce_linked(ProblemObject *owner, const char *getter, uint64_t index);

// The bit of the nonlinear layer's row status word (stored, not interpreted by the layer) that
// marks the objective's auxiliary row, so that a restored state can be checked against it.
constexpr int rowstatus_objective = 0x800;

// Keeps a nonlinear objective's auxiliary row and column at the end of the problem, where the
// object lists expect them (list position = column or row): held by a method that appends
// columns or rows, it takes the objective's formula out with the auxiliary pair and, when the
// method ends, installs it again behind the new ones. failed() with the exception set when
// the formula could not be taken out.
class AuxParking {
 public:
  explicit AuxParking(ProblemObject *p);
  ~AuxParking();
  AuxParking(const AuxParking &) = delete;
  AuxParking &operator=(const AuxParking &) = delete;
  bool failed() const { return failed_; }

 private:
  ProblemObject *p_;
  struct Formula;
  Formula *formula_ = nullptr;  // owned; null when nothing was parked
  bool failed_ = false;
};

// Creates the library side of a problem: makes sure the library is initialised, creates the
// pending-exception slot, the empty object lists, the problem and nonlinear handles, and
// registers the problem's message function. -1 with an exception on failure, after
// releasing what was taken.
int problem_create_handles(ProblemObject *p);

// Releases the problem's contents in order: message function and handles (when the library
// is initialised), callback lists, accessors, objects (marked deleted) and maps, and, when
// free_slot is set, the pending-exception slot. With reuse set, fresh empty object lists
// and counters are put in place for the problem to be loaded again.
void problem_release(ProblemObject *p, bool free_slot, bool reuse);

// The two first steps of problem_release, for releasing several problems at once: taking the
// handles off a problem (no Python runs, so no other thread sees them go) and destroying them.
struct ProblemHandles {
  KLVOprob prob;
  KSLPprob slp;
};
ProblemHandles problem_detach_handles(ProblemObject *p);
void problem_destroy_handles(ProblemObject *p, ProblemHandles handles);

// Objects for what the library has just added: n new columns (rows, sets) from index `first`
// on get objects appended to the problem's list: linked to the problem, or, unlinked, free
// objects carrying the library's names, bounds and types, entered in the problem's map. -1
// with an exception; objects already appended stay, for the caller's deletion to remove.
int append_column_objects(ProblemObject *p, int first, int n, bool unlinked);
int append_row_objects(ProblemObject *p, int first, int n, bool unlinked);
int append_set_objects(ProblemObject *p, int first, int n, bool unlinked);
// Detaches and drops every object of the problem, as before a new model is loaded, leaving
// empty lists. -1 with MemoryError when the new lists could not be made.
int clear_problem_objects(ProblemObject *p);
// Before the objective changes: a problem with nonlinear content has the nonlinear layer drop
// its compiled model and leave its solved state. -1 with the library's error.
int make_objective_editable(ProblemObject *p);

// problem.addConstraint on the tuple of constraints args, for a method that already holds a change
// scope with the auxiliary rows parked (addIndicator): all of them become rows, or none.
PyObject *add_constraints(ProblemObject *p, PyObject *args);

// The per-problem message function registered with the library.
void problem_message(KLVOprob prob, void *data, const char *msg, int len, int msgtype);
void problem_slp_message(KSLPprob slp, void *data, const char *msg, int len, int msgtype);

// The methods of kelvo.problem come from several subsystems; each contributes one table
// (ended by a {nullptr} entry) and the problem type joins them when it is readied.
extern PyMethodDef problem_methods_core[];         // problem/problem.cpp: name, read, write, copy, ...
extern PyMethodDef problem_methods_params[];       // problem/params_methods.cpp: getControl, setControl, getAttrib
extern PyMethodDef problem_methods_variables[];    // problem/variables.cpp: addVariable, addVariables, delVariable
extern PyMethodDef problem_methods_constraints[];  // problem/constraints.cpp: addConstraint, delConstraint
extern PyMethodDef problem_methods_sets[];         // problem/sets.cpp: addSOS, delSOS, addIndicator
extern PyMethodDef problem_methods_objectives[];   // problem/objectives.cpp: setObjective, addObjective
extern PyMethodDef problem_methods_solve[];        // problem/solve.cpp: optimize, getSolution, getDuals, ...
// The thin methods of the library functions (api/*_methods.cpp).
extern PyMethodDef problem_methods_matrix[];
extern PyMethodDef problem_methods_entities[];
extern PyMethodDef problem_methods_solution[];
extern PyMethodDef problem_methods_branching[];  // callbacks/strongbranch.cpp: strongbranchcb
extern PyMethodDef problem_methods_state[];
extern PyMethodDef problem_methods_analysis[];
extern PyMethodDef problem_methods_slp[];         // api/slp_methods.cpp: the successive-linearisation data
extern PyMethodDef problem_methods_multistart[];  // api/multistart_methods.cpp: msaddjob, msclear, ...
extern PyMethodDef problem_methods_arraysized[];  // api/arraysized_methods.cpp: the camel-case array methods
extern PyMethodDef problem_methods_nlp[];         // api/nlp_methods.cpp: formulas, evaluation, validation
extern PyMethodDef problem_methods_cuts[];        // api/cut_methods.cpp: cuts and the cut pool in callbacks

}  // namespace kelvo
