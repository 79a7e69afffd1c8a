// kelvo.constraint: one row, a body between a lower and an upper bound. A free constraint
// keeps body, bounds and name in its own data block; a linked one keeps only its problem and
// row, and every attribute goes to the library; a deleted one keeps nothing.
#include "model/constraint.h"

#include <cmath>
#include <cstring>

#include "api/convert.h"
#include "callbacks/callbacks.h"
#include "expr/expr.h"
#include "model/var.h"
#include "module/frame.h"
#include "numpy/numpy.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

PyTypeObject constraint_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

static const char *const msg_deleted = "Constraint has been deleted from the problem";
static const char *const msg_uninitialised = "Constraint is not initialized";

static int fail(PyObject *type, const char *message) {
  PyErr_SetString(type, message);
  return -1;
}
static PyObject *fail_null(PyObject *type, const char *message) {
  PyErr_SetString(type, message);
  return nullptr;
}

void mark_constraint_deleted(ConstraintObject *c) {
  // A free constraint (with a data block) is not linked to any problem.
  if (constraint_slot_count(c) != 0) return;
  if (!c->link || c->link == deleted_marker) return;
  c->link = deleted_marker;
  c->index_low = 0;
  c->index_high = 0;
  c->bound_flags = static_cast<uint8_t>((c->bound_flags & 0x3f) | (constraint_kind_linked << constraint_kind_shift));
}

uint64_t next_constraint_serial() { return g.con_serial++ & 0xffffffffffffull; }

// ---- The data block: slot 0 the body, the others a bound (double) or the name (string).

constexpr int max_slots = 7;  // three bits of slot count

static uint64_t *block_of(const ConstraintObject *c) { return static_cast<uint64_t *>(c->link); }
static int lb_state(const ConstraintObject *c) { return c->bound_flags & 7; }
static int ub_state(const ConstraintObject *c) { return (c->bound_flags >> 3) & 7; }
static int name_slot(const ConstraintObject *c) { return c->slot_flags & 7; }

static double slot_double(const ConstraintObject *c, int slot) {
  double d;
  std::memcpy(&d, &block_of(c)[slot], sizeof d);
  return d;
}
static void put_double(ConstraintObject *c, int slot, double d) { std::memcpy(&block_of(c)[slot], &d, sizeof d); }
static PyObject *slot_object(const ConstraintObject *c, int slot) {
  return reinterpret_cast<PyObject *>(block_of(c)[slot]);
}
static void put_object(ConstraintObject *c, int slot, PyObject *o) { block_of(c)[slot] = reinterpret_cast<uint64_t>(o); }

static void set_slot_count(ConstraintObject *c, int n) {
  c->slot_flags = static_cast<uint8_t>((c->slot_flags & 7) | (n << 3));
}

PyObject *constraint_body(const ConstraintObject *c) { return slot_object(c, 0); }

PyObject *constraint_stored_name(const ConstraintObject *c) {
  int s = name_slot(c);
  return s ? slot_object(c, s) : nullptr;
}

static double decode(const ConstraintObject *c, int state, double unbounded) {
  switch (state) {
    case 0: return unbounded;
    case 1: return 0.0;
    case 2: return 1.0;
    default: return slot_double(c, state - 2);
  }
}
double constraint_lb(const ConstraintObject *c) { return decode(c, lb_state(c), -infinity); }
double constraint_ub(const ConstraintObject *c) { return decode(c, ub_state(c), infinity); }

// The lowest slot from 1 up that is neither skip_a nor skip_b (0 skips nothing); grows the
// block by one slot when none is free. -1 with MemoryError.
static int take_slot(ConstraintObject *c, int skip_a, int skip_b) {
  int n = constraint_slot_count(c);
  for (int i = 1; i < n; ++i)
    if (i != skip_a && i != skip_b) return i;
  if (n >= max_slots - 1) {
    PyErr_NoMemory();
    return -1;
  }
  auto *grown = static_cast<uint64_t *>(PyMem_Realloc(c->link, sizeof(uint64_t) * (n + 1)));
  if (!grown) {
    PyErr_NoMemory();
    return -1;
  }
  grown[n] = 0;
  c->link = grown;
  set_slot_count(c, n + 1);
  return n;
}

static int slot_of_state(int state) { return state >= 3 ? state - 2 : 0; }

// Writes a bound through the slot rules: infinities, 0 and 1 are coded in the state bits,
// other values live in the bound's own slot. -1 with MemoryError.
static int set_bound(ConstraintObject *c, bool lower, double value) {
  int own = lower ? lb_state(c) : ub_state(c);
  int other = lower ? ub_state(c) : lb_state(c);
  int state;
  if (lower ? value <= -infinity : value >= infinity)
    state = 0;
  else if (value == 0.0)
    state = 1;
  else if (value == 1.0)
    state = 2;
  else {
    int slot = own >= 3 ? own - 2 : take_slot(c, name_slot(c), slot_of_state(other));
    if (slot < 0) return -1;
    put_double(c, slot, value);
    state = slot + 2;
  }
  int shift = lower ? 0 : 3;
  c->bound_flags = static_cast<uint8_t>((c->bound_flags & ~(7 << shift)) | (state << shift));
  return 0;
}

// Stores the name (a new reference) in the name slot, releasing the old one, or in a free slot.
static int set_stored_name(ConstraintObject *c, PyObject *name) {
  if (int slot = name_slot(c)) {
    nb::object old = nb::steal(slot_object(c, slot));  // the slot's reference, released last
    put_object(c, slot, Py_NewRef(name));
    return 0;
  }
  int slot = take_slot(c, slot_of_state(lb_state(c)), slot_of_state(ub_state(c)));
  if (slot < 0) return -1;
  put_object(c, slot, Py_NewRef(name));
  c->slot_flags = static_cast<uint8_t>((c->slot_flags & ~7) | slot);
  return 0;
}

static void release_block(ConstraintObject *c) {
  if (!constraint_has_block(c)) return;
  // The block's references, released once the block is gone.
  nb::object body = nb::steal(constraint_body(c));
  nb::object name = nb::steal(constraint_stored_name(c));
  PyMem_Free(c->link);
  c->link = nullptr;
  c->slot_flags = 0;
}

// ---- Derived row type, right-hand side and range.

int row_type_of_bounds(double lb, double ub) {
  if (lb == ub) return rt_eq;
  if (lb <= -infinity) return ub >= infinity ? rt_nonbinding : rt_leq;
  return ub >= infinity ? rt_geq : rt_range;
}

double rhs_of_bounds(double lb, double ub) {
  if (ub < infinity) return ub;
  if (lb > -infinity) return lb;
  return 0.0;
}

double range_of_bounds(double lb, double ub) { return std::fmin(ub - lb, infinity); }

static char row_letter(long type) {
  switch (type) {
    case rt_leq: return 'L';
    case rt_geq: return 'G';
    case rt_eq: return 'E';
    case rt_range: return 'R';
    case rt_nonbinding: return 'N';
    default: return 0;
  }
}

// ---- Building.

static bool coded_bound(double v, double unbounded) { return v == unbounded || v == 0.0 || v == 1.0; }

// Fills an uninitialised record: a block of `slots` slots (at least what body, bounds and
// name need), the body and name by new reference, the bounds and the variable kind.
static int fill_block(ConstraintObject *c, int slots, PyObject *body, double lb, double ub, PyObject *name, int kind) {
  lb = std::fmax(lb, -infinity);
  ub = std::fmin(ub, infinity);
  int needed = 1 + (name ? 1 : 0) + (coded_bound(lb, -infinity) ? 0 : 1) + (coded_bound(ub, infinity) ? 0 : 1);
  if (slots < needed) slots = needed;
  auto *block = static_cast<uint64_t *>(PyMem_Calloc(slots, sizeof(uint64_t)));
  if (!block) {
    PyErr_NoMemory();
    return -1;
  }
  c->link = block;
  c->slot_flags = static_cast<uint8_t>(slots << 3);
  c->bound_flags = 0;
  constraint_set_kind(c, kind);
  put_object(c, 0, Py_XNewRef(body));
  // The block is large enough, so none of these grows it.
  if (set_bound(c, true, lb) < 0 || set_bound(c, false, ub) < 0 || (name && set_stored_name(c, name) < 0)) {
    release_block(c);
    c->bound_flags = 0;
    return -1;
  }
  constraint_set_index(c, kind == ck_unlinked ? next_constraint_serial() : 0);
  return 0;
}

int constraint_build(ConstraintObject *c, PyObject *body, double lb, double ub, PyObject *name) {
  int kind = ck_unknown;
  if (body) {
    PyObject *var = nullptr;
    if (first_var(body, &var) < 0) return -1;
    if (var) kind = is_unlinked_var(var) ? ck_unlinked : ck_linked;
  }
  return fill_block(c, 0, body, lb, ub, name, kind);
}

PyObject *new_constraint(PyObject *body, double lb, double ub, PyObject *name) {
  PyObject *o = constraint_type.tp_alloc(&constraint_type, 0);
  if (!o) return nullptr;
  if (constraint_build(as_con(o), body, lb, ub, name) < 0) Py_CLEAR(o);
  return o;
}

PyObject *new_unlinked_constraint(double lb, double ub, PyObject *name) {
  PyObject *o = constraint_type.tp_alloc(&constraint_type, 0);
  if (!o) return nullptr;
  if (fill_block(as_con(o), 0, nullptr, lb, ub, name, ck_unlinked) < 0) Py_CLEAR(o);
  return o;
}

void constraint_link(ConstraintObject *c, ProblemObject *p, int row) {
  release_block(c);
  c->bound_flags = 0;
  c->slot_flags = 0;
  constraint_set_kind(c, ck_linked);
  c->link = p;
  constraint_set_index(c, static_cast<uint64_t>(row));
}

PyObject *new_linked_constraint(ProblemObject *p, int row) {
  PyObject *o = constraint_type.tp_alloc(&constraint_type, 0);
  if (o) constraint_link(as_con(o), p, row);
  return o;
}

int constraint_row(ConstraintObject *c, ProblemObject *p) {
  switch (constraint_kind(c)) {
    case ck_unknown:
      return fail(g.ModelError,
                  constraint_has_block(c) ? "Constraint does not belong to any problem" : msg_uninitialised);
    case ck_unlinked: {
      uint64_t serial = constraint_index(c);
      if (serial == 0) return fail(g.ModelError, msg_uninitialised);
      if (p->con_map) {
        auto it = p->con_map->find(serial);
        if (it != p->con_map->end()) return it->second;
      }
      return fail(g.ModelError, "Constraint does not belong to this problem");
    }
    default: {
      if (constraint_has_block(c)) return fail(g.ModelError, "Constraint does not belong to any problem");
      ProblemObject *owner = constraint_owner(c);
      if (owner && (owner == p || owner == p->parent)) return static_cast<int>(c->index_low);
      return fail(g.ModelError, "Constraint is from a different problem");
    }
  }
}

// ---- Printed name.

PyObject *constraint_name(ConstraintObject *c) {
  if (constraint_deleted(c)) return PyUnicode_FromString("(deleted constraint)");
  if (constraint_uninitialised(c)) {
    fail(g.ModelError, msg_uninitialised);
    return nullptr;
  }
  if (ProblemObject *p = constraint_owner(c)) {
    int row = static_cast<int>(c->index_low);
    const char *name = nullptr;
    if (p->prob && call(KLVOgetnamepointer, "KLVOgetnamepointer", p, p->prob, KLVO_NAMES_ROWS, row, &name) != 0)
      return check_result(reinterpret_cast<PyObject *>(p), nullptr);
    if (name) return PyUnicode_FromString(name);
    return PyUnicode_FromFormat("R%d", row + 1);
  }
  if (PyObject *name = constraint_stored_name(c)) return Py_NewRef(name);
  return PyUnicode_FromFormat("R%llu", static_cast<unsigned long long>(constraint_index(c)));
}

static PyObject *constraint_str(PyObject *self) { return constraint_name(as_con(self)); }

// ---- Linked rows: the library holds everything.

static int require_accessible(ProblemObject *p) { return require_properties_accessible(p, "Constraint"); }

static int row_of(ConstraintObject *c) { return static_cast<int>(c->index_low); }

// Reads the row's type letter, and its rhs and range when asked. -1 with an exception.
static int read_row(ConstraintObject *c, char *letter, double *rhs, double *range) {
  ProblemObject *p = constraint_owner(c);
  if (require_accessible(p) < 0) return -1;
  int row = row_of(c);
  bool ok = (!letter || call(KLVOgetrowtype, "KLVOgetrowtype", p, p->prob, letter, row, row) == 0) &&
            (!rhs || call(KLVOgetrhs, "KLVOgetrhs", p, p->prob, rhs, row, row) == 0) &&
            (!range || call(KLVOgetrhsrange, "KLVOgetrhsrange", p, p->prob, range, row, row) == 0);
  if (ok) return 0;
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

static int type_of_letter_checked(char letter) {
  switch (letter) {
    case 'L': return rt_leq;
    case 'G': return rt_geq;
    case 'E': return rt_eq;
    case 'R': return rt_range;
    case 'N': return rt_nonbinding;
    default:
      PyErr_Format(g.SolverError, "Unexpected row type %c from KLVOgetrowtype", letter);
      return -1;
  }
}

static PyObject *linked_bound(ConstraintObject *c, bool lower) {
  char letter = 0;
  double rhs = 0, range = 0;
  if (read_row(c, &letter, &rhs, nullptr) < 0) return nullptr;
  int type = type_of_letter_checked(letter);
  if (type < 0) return nullptr;
  switch (type) {
    case rt_eq: return PyFloat_FromDouble(rhs);
    case rt_nonbinding: return PyFloat_FromDouble(lower ? -infinity : infinity);
    case rt_geq: return PyFloat_FromDouble(lower ? rhs : infinity);
    case rt_leq: return PyFloat_FromDouble(lower ? -infinity : rhs);
    default:
      if (!lower) return PyFloat_FromDouble(rhs);
      if (read_row(c, nullptr, nullptr, &range) < 0) return nullptr;
      return PyFloat_FromDouble(rhs - range);
  }
}

static PyObject *linked_type(ConstraintObject *c) {
  char letter = 0;
  if (read_row(c, &letter, nullptr, nullptr) < 0) return nullptr;
  int type = type_of_letter_checked(letter);
  return type < 0 ? nullptr : PyLong_FromLong(type);
}

static PyObject *linked_value(ConstraintObject *c, bool range) {
  double v = 0;
  if (read_row(c, nullptr, range ? nullptr : &v, range ? &v : nullptr) < 0) return nullptr;
  return PyFloat_FromDouble(v);
}

// ---- Attribute reads.

static bool named(PyObject *attr, const char *name) {
  return PyUnicode_Check(attr) && PyUnicode_CompareWithASCIIString(attr, name) == 0;
}

static PyObject *free_body(ConstraintObject *c) {
  if (deprecation(9, 5, "access the constraint body with constraint.getBody()") < 0) return nullptr;
  PyObject *body = constraint_body(c);
  return Py_NewRef(body ? body : Py_None);
}

enum class Attr { lb, ub, type, rhs, rhsrange };

static PyObject *read_attr(ConstraintObject *c, Attr a) {
  if (constraint_owner(c)) {
    switch (a) {
      case Attr::lb: return linked_bound(c, true);
      case Attr::ub: return linked_bound(c, false);
      case Attr::type: return linked_type(c);
      case Attr::rhs: return linked_value(c, false);
      default: return linked_value(c, true);
    }
  }
  double lb = constraint_lb(c), ub = constraint_ub(c);
  switch (a) {
    case Attr::lb: return PyFloat_FromDouble(lb);
    case Attr::ub: return PyFloat_FromDouble(ub);
    case Attr::type: return PyLong_FromLong(row_type_of_bounds(lb, ub));
    case Attr::rhs: return PyFloat_FromDouble(rhs_of_bounds(lb, ub));
    default: return PyFloat_FromDouble(range_of_bounds(lb, ub));
  }
}

// Stores a freshly made value (null: its error) under key.
static int dict_put(PyObject *dict, const char *key, PyObject *made) {
  nb::object value = nb::steal(made);
  return value ? PyDict_SetItemString(dict, key, value.ptr()) : -1;
}

// The constraint's properties into d: only the index of a deleted constraint, and no bounds
// or row data while its problem's properties cannot be read.
static int fill_constraint_dict(PyObject *d, ConstraintObject *c) {
  if (constraint_deleted(c)) return dict_put(d, "index", PyLong_FromLong(-1));
  ProblemObject *p = constraint_owner(c);
  static const struct {
    const char *key;
    Attr attr;
  } values[] = {{"lb", Attr::lb}, {"ub", Attr::ub}, {"type", Attr::type}, {"rhs", Attr::rhs}, {"rhsrange", Attr::rhsrange}};
  if (dict_put(d, "name", constraint_name(c)) < 0) return -1;
  if (dict_put(d, "index", p ? PyLong_FromUnsignedLong(c->index_low) : Py_NewRef(Py_None)) < 0) return -1;
  if (p) {
    int a = properties_accessible(p);
    if (a <= 0) return a;
  } else if (constraint_body(c) && dict_put(d, "body", free_body(c)) < 0) {
    return -1;
  }
  for (auto &v : values)
    if (dict_put(d, v.key, read_attr(c, v.attr)) < 0) return -1;
  return 0;
}

static PyObject *constraint_dict(ConstraintObject *c) {
  nb::object d = nb::steal(PyDict_New());
  if (!d || fill_constraint_dict(d.ptr(), c) < 0) return nullptr;
  return d.release().ptr();
}

static PyObject *constraint_getattro(PyObject *self, PyObject *attr) {
  ConstraintObject *c = as_con(self);
  if (constraint_uninitialised(c)) return fail_null(g.ModelError, msg_uninitialised);
  if (named(attr, "__class__")) return Py_NewRef(reinterpret_cast<PyObject *>(Py_TYPE(self)));
  if (named(attr, "name")) return constraint_name(c);
  if (named(attr, "index")) {
    if (constraint_deleted(c)) return PyLong_FromLong(-1);
    return constraint_owner(c) ? PyLong_FromUnsignedLong(c->index_low) : Py_NewRef(Py_None);
  }
  if (named(attr, "__dict__")) return constraint_dict(c);
  static const struct {
    const char *name;
    Attr attr;
  } values[] = {{"lb", Attr::lb}, {"ub", Attr::ub}, {"type", Attr::type}, {"rhs", Attr::rhs}, {"rhsrange", Attr::rhsrange}};
  bool body = named(attr, "body");
  for (auto &v : values)
    if (named(attr, v.name)) {
      if (constraint_deleted(c)) return fail_null(g.ModelError, msg_deleted);
      return read_attr(c, v.attr);
    }
  if (body) {
    if (constraint_deleted(c)) return fail_null(g.ModelError, msg_deleted);
    if (constraint_owner(c))
      return fail_null(g.ModelError, "Constraint body is not available for linked constraints: use constraint.getBody");
    return free_body(c);
  }
  return PyObject_GenericGetAttr(self, attr);
}

// ---- Attribute writes.

static int write_failed(ProblemObject *p) {
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

static int to_double(PyObject *o, double *out) {
  *out = PyFloat_AsDouble(o);
  return (*out == -1.0 && PyErr_Occurred()) ? -1 : 0;
}

// Sets both bounds of a free constraint; on failure (memory) neither changes.
static int set_bounds(ConstraintObject *c, double lb, double ub) {
  double old_lb = constraint_lb(c);
  if (set_bound(c, true, lb) < 0) return -1;
  if (set_bound(c, false, ub) < 0) {
    set_bound(c, true, old_lb);  // a coded or already-held value: cannot fail
    return -1;
  }
  return 0;
}

static int set_rhs(ConstraintObject *c, double r) {
  if (ProblemObject *p = constraint_owner(c)) {
    int row = row_of(c);
    return call(KLVOchgrhs, "KLVOchgrhs", p, p->prob, 1, &row, &r) != 0 ? write_failed(p) : 0;
  }
  double lb = constraint_lb(c), ub = constraint_ub(c);
  switch (int type = row_type_of_bounds(lb, ub)) {
    case rt_leq: return set_bound(c, false, r);
    case rt_geq: return set_bound(c, true, r);
    case rt_eq: return set_bounds(c, r, r);
    case rt_range: return set_bounds(c, r - (ub - lb), r);
    case rt_nonbinding: return 0;
    default:
      PyErr_Format(g.InterfaceError, "Unexpected row type: %d", type);
      return -1;
  }
}

static int set_rhsrange(ConstraintObject *c, double r) {
  if (ProblemObject *p = constraint_owner(c)) {
    int row = row_of(c);
    return call(KLVOchgrhsrange, "KLVOchgrhsrange", p, p->prob, 1, &row, &r) != 0 ? write_failed(p) : 0;
  }
  double lb = constraint_lb(c), ub = constraint_ub(c);
  switch (row_type_of_bounds(lb, ub)) {
    case rt_geq: return r >= 0 ? set_bound(c, false, lb + r) : set_bound(c, true, ub + r);
    case rt_nonbinding: return 0;
    default: return r >= 0 ? set_bound(c, true, ub - r) : set_bound(c, false, lb - r);
  }
}

static int set_type(ConstraintObject *c, PyObject *value) {
  int t = 0;
  if (int32_value(value, &t) < 0) return -1;
  char letter = row_letter(t);
  if (!letter) {
    PyErr_Format(g.ModelError, "Invalid row type %d: expected one of kelvo.leq, kelvo.geq, kelvo.eq, etc.", t);
    return -1;
  }
  if (ProblemObject *p = constraint_owner(c)) {
    int row = row_of(c);
    return call(KLVOchgrowtype, "KLVOchgrowtype", p, p->prob, 1, &row, &letter) != 0 ? write_failed(p) : 0;
  }
  double lb = constraint_lb(c), ub = constraint_ub(c);
  if (t == row_type_of_bounds(lb, ub)) return 0;
  double r = rhs_of_bounds(lb, ub);
  switch (t) {
    case rt_leq: return set_bounds(c, -infinity, r);
    case rt_geq: return set_bounds(c, r, infinity);
    case rt_eq: return set_bounds(c, r, r);
    case rt_range: return set_bounds(c, -infinity, r);
    default: return set_bounds(c, -infinity, infinity);
  }
}

static int set_name(ConstraintObject *c, PyObject *value) {
  if (!PyUnicode_Check(value)) return fail(g.ModelError, "Constraint name must be a string");
  if (ProblemObject *p = constraint_owner(c)) {
    const char *text = c_text(value, nullptr);
    if (!text) return -1;
    int row = row_of(c);
    return call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_ROWS, text, row, row) != 0 ? write_failed(p) : 0;
  }
  return set_stored_name(c, value);
}

static int constraint_setattro(PyObject *self, PyObject *attr, PyObject *value) {
  ConstraintObject *c = as_con(self);
  if (!value) {
    PyErr_Format(g.InterfaceError, "Cannot delete the %U attribute", attr);
    return -1;
  }
  bool lb = named(attr, "lb"), ub = named(attr, "ub");
  bool known = lb || ub || named(attr, "name") || named(attr, "body") || named(attr, "rhs") ||
               named(attr, "rhsrange") || named(attr, "type") || named(attr, "index");
  if (!known) return PyObject_GenericSetAttr(self, attr, value);
  if (named(attr, "index")) return fail(g.InterfaceError, "Constraint index cannot be modified");
  if (constraint_deleted(c)) return fail(g.ModelError, msg_deleted);
  if (constraint_uninitialised(c)) return fail(g.ModelError, msg_uninitialised);
  bool linked = constraint_owner(c) != nullptr;
  if (lb || ub) {
    double x;
    if (to_double(value, &x) < 0) return -1;
    if (linked) return fail(g.ModelError, "Constraint bounds cannot be modified once it has been added to a problem");
    return set_bound(c, lb, x);
  }
  if (named(attr, "name")) return set_name(c, value);
  if (named(attr, "body")) {
    if (linked) return fail(g.ModelError, "Constraint body cannot be modified once it has been added to a problem");
    nb::object old = nb::steal(constraint_body(c));  // the slot's reference, released last
    put_object(c, 0, Py_NewRef(value));
    return 0;
  }
  if (named(attr, "type")) return set_type(c, value);
  double x;
  if (to_double(value, &x) < 0) return -1;
  return named(attr, "rhs") ? set_rhs(c, x) : set_rhsrange(c, x);
}

// ---- Constructor.

// A number argument of the constructor; arrays of one or more dimensions are refused.
static int number_arg(PyObject *o, double *out, const char *message) {
  if (PyArray_Check(o) && PyArray_NDIM(reinterpret_cast<PyArrayObject *>(o)) >= 1) return fail(g.ModelError, message);
  *out = PyFloat_AsDouble(o);
  if (*out == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return fail(g.ModelError, message);
  }
  return 0;
}

// None counts as an argument not given.
static PyObject *given(PyObject *o) { return o == Py_None ? nullptr : o; }

static int constraint_init(PyObject *self, PyObject *args, PyObject *kwargs) {
  ConstraintObject *c = as_con(self);
  if (!constraint_uninitialised(c)) return fail(g.InterfaceError, "Cannot re-initialize a constraint");
  static const char *const kwlist[] = {"constraint", "body", "lb", "ub", "type", "rhs", "name", "rhsrange", nullptr};
  static const char *const oldkwlist[] = {"constraint", "body", "lb", "ub", "sense", "rhs", "name", "rhsrange", nullptr};
  PyObject *con = nullptr, *body = nullptr, *lbo = nullptr, *ubo = nullptr, *rhso = nullptr, *name = nullptr,
           *rangeo = nullptr, *typeo = nullptr;
  if (!parse_keywords(args, kwargs, "|OOOOOOOO", kwlist, oldkwlist, 5, &con, &body, &lbo, &ubo, &typeo, &rhso, &name,
                      &rangeo))
    return -1;
  con = given(con), body = given(body), lbo = given(lbo), ubo = given(ubo), rhso = given(rhso), rangeo = given(rangeo);
  if (name == Py_None) name = nullptr;
  int type = 0;
  if (typeo && typeo != Py_None) {
    if (int32_value(typeo, &type) < 0) return -1;
  }

  if (con) {
    if (body || rhso || rangeo || lbo || ubo || type != 0)
      return fail(g.ModelError,
                  "When the constraint argument is provided, no other arguments except the name may be provided");
  } else {
    if (!body) return fail(g.ModelError, "Constraint body must be provided");
    if (rangeo && !rhso)
      return fail(g.ModelError, "When rhsrange argument is provided, rhs argument must also be provided");
    if (!rhso && !lbo && !ubo) return fail(g.ModelError, "Constraint right-hand side or bounds must be provided");
    if ((lbo || ubo) && type != 0 && type != rt_range)
      return fail(g.ModelError, "Cannot provide both type and bounds arguments");
    if (rhso && (lbo || ubo)) return fail(g.ModelError, "Cannot provide both right-hand side and bounds arguments");
    if (rhso && type == 0) return fail(g.ModelError, "Constraint type must be provided");
    if (rhso && type == rt_range && !rangeo)
      return fail(g.ModelError, "Range constraints require the rhsrange argument");
  }

  double lb = -infinity, ub = infinity;
  if (lbo && number_arg(lbo, &lb, "Invalid lower bound argument: expected a number") < 0) return -1;
  if (ubo && number_arg(ubo, &ub, "Invalid upper bound argument: expected a number") < 0) return -1;
  if (lb > ub + 1e-6) return fail(g.ModelError, "Constraint defined infeasible: lower bound > upper bound");

  if (rhso) {
    double rhs, range = 0;
    if (number_arg(rhso, &rhs, "Invalid rhs argument: expected a number") < 0) return -1;
    if (rangeo && number_arg(rangeo, &range, "Invalid rhsrange argument: expected a number") < 0) return -1;
    switch (type) {
      case rt_leq: lb = -infinity, ub = rhs; break;
      case rt_geq: lb = rhs, ub = infinity; break;
      case rt_eq: lb = ub = rhs; break;
      case rt_range: lb = rhs - std::fabs(range), ub = rhs; break;
      case rt_nonbinding: lb = -infinity, ub = infinity; break;
      default:
        PyErr_Format(g.ModelError, "Invalid type %d: expected kelvo.leq, kelvo.geq, kelvo.eq", type);
        return -1;
    }
  }

  if (name && !PyUnicode_Check(name)) return fail(g.ModelError, "Constraint name must be a string");
  // The empty string, the default, means no name.
  if (name && PyUnicode_GET_LENGTH(name) == 0) name = nullptr;

  nb::object item;  // the element of a zero-dimensional object array
  if (body && PyArray_Check(body)) {
    auto *array = reinterpret_cast<PyArrayObject *>(body);
    if (PyArray_NDIM(array) == 0 && PyArray_DESCR(array)->type_num == NPY_OBJECT) {
      item = nb::steal(PyArray_GETITEM(array, static_cast<const char *>(PyArray_DATA(array))));
      if (!item) return -1;
      body = item.ptr();
    }
  }
  if (body && kind_of(body) == K_INVALID) return fail(g.ModelError, "Invalid expression passed as body of constraint");

  if (con) {
    if (Py_TYPE(con) != &constraint_type) {
      if (PyBool_Check(con))
        return fail(g.ModelError,
                    "Attempt to generate an empty constraint failed. Consider using kelvo.constraint(body=..., "
                    "type=..., rhs=...) instead");
      return fail(g.ModelError, "Invalid constraint object passed to kelvo.constraint");
    }
    ConstraintObject *src = as_con(con);
    if (constraint_deleted(src)) return fail(g.ModelError, msg_deleted);
    if (constraint_uninitialised(src)) return fail(g.ModelError, msg_uninitialised);
    if (!constraint_has_block(src))
      return fail(g.ModelError,
                  "Cannot create a constraint from an existing constraint that has already been added to a problem");
    body = constraint_body(src);
    lb = constraint_lb(src);
    ub = constraint_ub(src);
  }
  return constraint_build(c, body, lb, ub, name);
}

static void constraint_dealloc(PyObject *self) {
  release_block(as_con(self));
  Py_TYPE(self)->tp_free(self);
}

// ---- Methods.

// The errors of a constraint that is deleted or not initialised; 0 otherwise.
static int check_usable(ConstraintObject *c) {
  if (constraint_deleted(c)) return fail(g.ModelError, msg_deleted);
  if (constraint_uninitialised(c)) return fail(g.ModelError, msg_uninitialised);
  return 0;
}

static PyObject *constraint_copy(PyObject *self, PyObject *) {
  ConstraintObject *c = as_con(self);
  if (check_usable(c) < 0) return nullptr;
  if (!constraint_has_block(c))
    return fail_null(g.ModelError, "Constraint cannot be copied because it has been added to a problem");
  PyObject *body = constraint_body(c);
  if (!body) return fail_null(g.ModelError, "Constraint cannot be copied because it has no body");
  nb::object name;
  if (PyObject *stored = constraint_stored_name(c)) {
    name = nb::steal(PyUnicode_FromFormat("%S_copy", stored));
    if (!name) return nullptr;
  }
  nb::object copy = nb::steal(constraint_type.tp_alloc(&constraint_type, 0));
  if (!copy || fill_block(as_con(copy.ptr()), constraint_slot_count(c), body, constraint_lb(c), constraint_ub(c),
                          name.ptr(), constraint_kind(c)) < 0)
    return nullptr;
  return copy.release().ptr();
}

static PyObject *constraint_getBody(PyObject *self, PyObject *) {
  ConstraintObject *c = as_con(self);
  if (check_usable(c) < 0) return nullptr;
  if (ProblemObject *p = constraint_owner(c)) return linked_constraint_body(p, row_of(c));
  PyObject *body = constraint_body(c);
  if (!body) Py_RETURN_NONE;
  nb::object one = nb::steal(PyFloat_FromDouble(1.0));
  if (!one) return nullptr;
  return alg_mul(body, one.ptr());
}

enum class ValueKind { slack, dual, callback_slack, callback_dual };

static PyObject *constraint_value(PyObject *self, ValueKind kind) {
  static const char *const problem_methods[] = {"getSlacks", "getDuals", "getCallbackSlacks", "getCallbackDuals"};
  ConstraintObject *c = as_con(self);
  if (check_usable(c) < 0) return nullptr;
  ProblemObject *p = constraint_owner(c);
  if (!p) {
    PyErr_Format(g.InterfaceError, "For unlinked constraints, call problem.%s(constraint)", problem_methods[int(kind)]);
    return nullptr;
  }
  if (!p->prob) return fail_null(g.ModelError, "Problem is not initialized");
  bool slack = kind == ValueKind::slack || kind == ValueKind::callback_slack;
  int status = 0, row = row_of(c);
  double value = 0;
  // A single value: the interpreter lock is kept for the call.
  int rc;
  bool in_callback = kind == ValueKind::callback_slack || kind == ValueKind::callback_dual;
  if (in_callback) {
    KLVOprob h = callback_handle(p);
    rc = slack ? KLVOgetcallbackslacks(h, &status, &value, row, row) : KLVOgetcallbackduals(h, &status, &value, row, row);
  } else {
    rc = slack ? KLVOgetslacks(p->prob, &status, &value, row, row) : KLVOgetduals(p->prob, &status, &value, row, row);
  }
  post_call(p, rc);
  // Inside a callback, an exception an earlier callback of the solve left comes back here.
  if (rc != 0 || PyErr_Occurred()) return check_result(reinterpret_cast<PyObject *>(p), nullptr);
  // A callback's values come with any non-zero status.
  if (in_callback ? status == 0 : (status != 1 && status != 2)) {
    PyErr_Format(g.ModelError, "%s not available", slack ? "Solution" : "Duals");
    return nullptr;
  }
  return check_result(reinterpret_cast<PyObject *>(p), PyFloat_FromDouble(value));
}

static PyObject *constraint_getSlack(PyObject *self, PyObject *) { return constraint_value(self, ValueKind::slack); }
static PyObject *constraint_getDual(PyObject *self, PyObject *) { return constraint_value(self, ValueKind::dual); }
static PyObject *constraint_getCallbackSlack(PyObject *self, PyObject *) {
  return constraint_value(self, ValueKind::callback_slack);
}
static PyObject *constraint_getCallbackDual(PyObject *self, PyObject *) {
  return constraint_value(self, ValueKind::callback_dual);
}

static PyObject *constraint_reduce(PyObject *self, PyObject *) {
  ConstraintObject *c = as_con(self);
  ProblemObject *owner = constraint_owner(c);
  if (!owner) {
    PyErr_SetString(PyExc_TypeError, constraint_deleted(c) ? "cannot pickle a deleted constraint"
                                                           : "cannot pickle a constraint that belongs to no problem");
    return nullptr;
  }
  return reduce_linked(owner, "getConstraint", constraint_index(c));
}

PyMethodDef constraint_methods[] = {
    {"__reduce__", constraint_reduce, METH_NOARGS, "__reduce__()\nPickles the constraint with its problem."},
    {"copy", constraint_copy, METH_NOARGS, "A new free constraint with the same body, bounds and a derived name."},
    {"getBody", constraint_getBody, METH_NOARGS, "The body of the constraint as an expression."},
    {"getSlack", constraint_getSlack, METH_NOARGS, "Slack of the constraint in the incumbent solution."},
    {"getDual", constraint_getDual, METH_NOARGS, "Dual value of the constraint in the incumbent solution."},
    {"getCallbackSlack", constraint_getCallbackSlack, METH_NOARGS,
     "Slack of the constraint in the solution of the current callback."},
    {"getCallbackDual", constraint_getCallbackDual, METH_NOARGS,
     "Dual value of the constraint in the solution of the current callback."},
    {nullptr}};

int ready_constraint_type() {
  constraint_type.tp_name = "kelvo.constraint";
  constraint_type.tp_basicsize = sizeof(ConstraintObject);
  constraint_type.tp_flags = Py_TPFLAGS_DEFAULT;
  constraint_type.tp_doc =
      "constraint(constraint=None, body=None, lb=-infinity, ub=infinity, type=None, rhs=None, name='', "
      "rhsrange=None)\n\nA constraint: an expression between a lower and an upper bound.";
  constraint_type.tp_new = PyType_GenericNew;
  constraint_type.tp_init = constraint_init;
  constraint_type.tp_dealloc = constraint_dealloc;
  constraint_type.tp_str = constraint_str;
  constraint_type.tp_repr = constraint_str;
  constraint_type.tp_getattro = constraint_getattro;
  constraint_type.tp_setattro = constraint_setattro;
  constraint_type.tp_methods = constraint_methods;
  constraint_type.tp_as_number = &algebra_number_methods;
  return PyType_Ready(&constraint_type);
}

}  // namespace kelvo
