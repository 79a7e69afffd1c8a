// Process-wide state of the _kelvo module and the type objects it readies.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include <tsl/robin_map.h>

namespace kelvo {

struct ProblemObject;

// Side tables of unlinked variables, keyed by serial id.
using SerialDoubleMap = tsl::robin_map<uint64_t, double>;
using SerialNameMap = tsl::robin_map<uint64_t, PyObject *>;  // owns the string references

struct ModuleState {
  PyObject *module = nullptr;  // set once initialisation succeeded

  PyObject *global_controls = nullptr;   // kelvo.control with no problem
  PyObject *default_controls = nullptr;  // dict: control name -> value for new problems
  PyObject *control_table = nullptr;     // dict: name -> (id, type, source)
  PyObject *attribute_table = nullptr;   // dict: name -> (id, type, source)
  PyObject *msghandlers = nullptr;       // list of [handler, data] entries

  SerialDoubleMap *var_lb = nullptr;
  SerialDoubleMap *var_ub = nullptr;
  SerialDoubleMap *var_threshold = nullptr;
  SerialNameMap *var_names = nullptr;

  int32_t init_count = 0;   // library initialisations not yet released
  int32_t nlp_flag = -1;    // -1 untried, 1 nonlinear layer up, 0 not available
  uint8_t output_enabled = 1;
  uint8_t constraint_operators = 1;

  uint64_t var_serial = 1;
  uint64_t con_serial = 1;
  uint64_t sos_serial = 1;

  ProblemObject *live_problems = nullptr;  // head of the doubly linked list

  PyObject *ModelError = nullptr;
  PyObject *InterfaceError = nullptr;
  PyObject *SolverError = nullptr;
  PyObject *DeprecationWarning = nullptr;

  // The three object dtypes (PyArray_Descr *); null until they are registered.
  PyObject *npvar = nullptr;
  PyObject *npexpr = nullptr;
  PyObject *npconstraint = nullptr;

  // scipy.sparse and its two base classes; null when SciPy is unavailable.
  PyObject *scipy_sparse = nullptr;
  PyObject *scipy_sparray = nullptr;
  PyObject *scipy_spmatrix = nullptr;
};

extern ModuleState g;

// The fifteen types, each defined in the source file of its subsystem.
extern PyTypeObject var_type;
extern PyTypeObject sos_type;
extern PyTypeObject expression_type;
extern PyTypeObject constraint_type;
extern PyTypeObject control_type;
extern PyTypeObject attribute_type;
extern PyTypeObject objattrib_type;
extern PyTypeObject problem_type;
extern PyTypeObject branchobj_type;
extern PyTypeObject poolcut_type;
extern PyTypeObject klvoobject_type;
extern PyTypeObject generic_type;
extern PyTypeObject linterm_type;
extern PyTypeObject quadterm_type;
extern PyTypeObject nonlinear_type;

// Fills in a type's slots and readies it; -1 with an exception on failure.
int ready_var_type();
int ready_sos_type();
int ready_expression_type();
int ready_constraint_type();
int ready_control_type();
int ready_attribute_type();
int ready_objattrib_type();
int ready_problem_type();
int ready_branchobj_type();
int ready_poolcut_type();
int ready_klvoobject_type();
int ready_generic_type();
int ready_linterm_type();
int ready_quadterm_type();
int ready_nonlinear_type();

// Imports NumPy's array and ufunc interfaces; -1 with an exception on failure.
int import_numpy();

// Builds the control and attribute tables from the library's catalogues.
int build_catalogue();

}  // namespace kelvo
