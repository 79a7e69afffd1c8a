// Controls and attributes by name: the accessor records, the name tables and the reading and
// setting of single values.
#pragma once

#include "problem/problem.h"

namespace kelvo {

// kelvo.control: a problem's controls, or the global controls object (g.global_controls,
// problem null) whose dictionary holds the library's default values. A problem's accessor
// whose problem let go of it has problem null too; it is told apart from the global object
// by identity.
struct ControlObject {
  PyObject_HEAD
  ProblemObject *problem;  // not owned
  PyObject *dict;          // the control table, or the global object's own value dictionary
};

// kelvo.attribute: a problem's attributes, optionally tied to one objective.
struct AttributeObject {
  PyObject_HEAD
  ProblemObject *problem;  // not owned
  PyObject *table;         // the attribute table
  int32_t objective;       // -1 = not tied to an objective
};

// kelvo.objattrib: one attribute accessor per objective.
struct ObjAttribObject {
  PyObject_HEAD
  ProblemObject *problem;  // not owned
  Py_ssize_t nslots;
  PyObject **accessors;    // owned array of nslots owned references (entries may be null)
};

// New accessors bound to a problem (null for the global controls object).
PyObject *new_control(ProblemObject *problem, PyObject *dict);
PyObject *new_attribute(ProblemObject *problem, PyObject *table, int32_t objective);
PyObject *new_objattrib(ProblemObject *problem);

// Cuts an accessor loose from its problem before the problem lets go of it; later use raises
// "Object is not initialized". Accepts None and any other object (then does nothing).
void detach_accessor(PyObject *accessor);

// Value types of catalogue entries and where an entry comes from.
enum ValueType { type_int = 1, type_double = 2, type_string = 3 };
enum Source { source_optimizer = 0, source_nonlinear = 1, source_nonlinear_ktr = 2 };

// One entry of the control or attribute table: (id, type, source).
struct CatalogueEntry {
  int id = 0;
  int type = 0;
  int source = 0;
};

// The normalised (lower-case) form of a name given as str or bytes: a new reference, or null
// with ModelError for a name that is too long or of mixed case.
PyObject *normalise_name(PyObject *name);

// Looks a normalised name up in a table: 1 found, 0 absent, -1 on error.
int find_entry(PyObject *table, PyObject *name, CatalogueEntry *entry);

// Resolves an integer id given by the user through the library's catalogue: 0 or -1 with
// InterfaceError "Unknown control ID %d" / "Unknown control type %d".
int resolve_id(long long id, CatalogueEntry *entry);

// Reads one control (control = true) or attribute of p by id; objective >= 0 reads the value
// of that objective. Integer values come back wrapped in their kelvo.enums class when the id
// has one.
PyObject *read_value(ProblemObject *p, const CatalogueEntry &e, bool control, int objective);

// Checks that value suits a control of the given type: 0, or -1 with ModelError.
int check_control_value(int type, PyObject *value);
// Sets one control of p by id after checking the value: 0 or -1 with an exception.
int set_control(ProblemObject *p, const CatalogueEntry &e, PyObject *value);

// Integer values of enumerated controls and attributes as members of their kelvo.enums class;
// other ids give the integer back. Steals `value`.
PyObject *wrap_enum(int id, PyObject *value);

// Sets every default control (setdefaultcontrol, _getcontrols) on a new problem:
// 0 or -1 with InterfaceError "Incorrect control name in initialization".
int apply_default_controls(ProblemObject *p);

// Whether o is an interpreter integer (or subclass, booleans included) or a NumPy signed
// integer scalar.
bool is_integer(PyObject *o);

// A dictionary of every control (control = true) or attribute of p with its value, as
// getControl() and getAttrib() give it; objective >= 0 reads the attributes of that objective
// and leaves out string attributes and those of the nonlinear layer.
PyObject *all_values(ProblemObject *p, bool control, int objective);

// Module functions of this subsystem: _getcontrols, setdefaultcontrol, setdefaults.
extern PyMethodDef params_module_methods[];

}  // namespace kelvo
