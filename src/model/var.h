// Variables: the encodings of unlinked variables, domain checks, resolution of a variable to
// a column of a problem, and the deletion of columns, rows or sets with their objects.
#pragma once

#include <vector>

#include "model/model.h"
#include "problem/problem.h"

namespace kelvo {

constexpr double infinity = 1e20;

// Variable types 0..5 and their column letters C, B, I, S, R, P.
enum VarType { vt_continuous = 0, vt_binary, vt_integer, vt_semicontinuous, vt_semiinteger, vt_partiallyinteger };
constexpr int var_type_count = 6;
constexpr uint8_t var_shared_flag = 1 << 3;

char column_letter(int type);
int type_of_letter(char letter);

inline bool is_var(PyObject *o) { return PyObject_TypeCheck(o, &var_type); }
inline VarObject *as_var(PyObject *o) { return reinterpret_cast<VarObject *>(o); }

// The 48-bit index field: column of a linked variable, serial id of an unlinked one.
inline uint64_t var_index(const VarObject *v) { return v->index_low | (uint64_t{v->index_high} << 32); }
// Orders variables in terms and in printed and translated output.
inline uint64_t var_order_key(const VarObject *v) { return var_index(v); }
inline bool var_deleted(const VarObject *v) { return v->owner == deleted_marker; }
inline bool var_unlinked(const VarObject *v) { return v->owner == nullptr; }
inline int var_type_of(const VarObject *v) { return v->type_byte & 7; }

// A problem holding any unlinked-object map is in unlinked mode.
inline bool problem_unlinked(const ProblemObject *p) { return p->var_map || p->con_map || p->sos_map; }

// Checks a variable's domain, rounding the bounds of binary and integer variables in place.
// -1 with ModelError when the domain is invalid.
int validate_domain(int type, double &lb, double &ub, double threshold);

// A new variable linked to column `col` of p (not yet in its variable list).
VarObject *new_linked_var(ProblemObject *p, int col);
// A new unlinked variable with a fresh serial id and the given domain (already validated).
VarObject *new_unlinked_var(int type, double lb, double ub, double threshold);

// Writers and readers of the unlinked encodings.
void unlinked_set_lb(VarObject *v, double value);
void unlinked_set_ub(VarObject *v, double value);
void unlinked_set_threshold(VarObject *v, double value);
void unlinked_set_name(VarObject *v, PyObject *name);  // takes a new reference to name
double unlinked_lb(const VarObject *v);
double unlinked_ub(const VarObject *v);
double unlinked_threshold(const VarObject *v);

// The printed name of a variable (a new string), as str() gives it.
PyObject *var_name(VarObject *v);

// Column of v in p; -1 with ModelError otherwise. context, when given, names the place in
// the message ("Variable in <context> ...").
int var_column(VarObject *v, ProblemObject *p, const char *context = nullptr);

// Checks that a variable is a live unlinked one (not deleted, not linked, initialised); -1
// with ModelError otherwise.
int check_var_unlinked(VarObject *v);
// The same, then warns when the variable is already shared with a problem: a variable about
// to join a problem. -1 with an exception.
int check_var_addable(VarObject *v);

// Object kinds of the deletion routine.
enum DeleteKind { del_rows = 0, del_columns = 1, del_sets = 2 };

// Deletes the listed rows, columns or sets from the library and from the problem: compacts
// the kind's object list (marking the deleted objects deleted and renumbering the others in a
// linked problem) or renumbers the kind's unlinked map. -1 with an exception on failure, in
// which case nothing was changed.
// sized calls the library functions that also take the array's length.
int delete_indices(ProblemObject *p, DeleteKind kind, std::vector<int> &indices, bool sized = false);

// Resolves one object of a kind to its index: 1 when obj is of that kind (index set), 0 when
// it is not, -1 with an exception.
using IndexResolver = int (*)(ProblemObject *p, PyObject *obj, int *index);

// The deletion methods' argument handling (index, or first and last) over one kind.
PyObject *delete_objects(ProblemObject *p, DeleteKind kind, PyObject *index, int first, int last,
                         IndexResolver resolve);

// The module function vars.
extern PyMethodDef variable_module_methods[];

}  // namespace kelvo
