// kelvo.var: one optimization variable (a column). A variable is linked to a problem (its
// attributes live in the library), unlinked (free-standing, attributes in the process-wide
// side tables) or deleted.
#include "model/var.h"

#include <cmath>
#include <cstring>

#include "api/convert.h"
#include "callbacks/callbacks.h"
#include "expr/expr.h"
#include "module/frame.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

PyTypeObject var_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

uint64_t column_epoch = 0;

void mark_var_deleted(VarObject *v) {
  if (!v->owner || v->owner == deleted_marker) return;
  ++column_epoch;
  v->owner = deleted_marker;
  v->index_low = 0;
  v->index_high = 0;
}

char column_letter(int type) {
  switch (type) {
    case vt_binary: return 'B';
    case vt_integer: return 'I';
    case vt_semicontinuous: return 'S';
    case vt_semiinteger: return 'R';
    case vt_partiallyinteger: return 'P';
    default: return 'C';
  }
}

int type_of_letter(char letter) {
  switch (letter) {
    case 'B': return vt_binary;
    case 'I': return vt_integer;
    case 'P': return vt_partiallyinteger;
    case 'R': return vt_semiinteger;
    case 'S': return vt_semicontinuous;
    default: return vt_continuous;
  }
}

static const char *const msg_deleted = "Variable has been deleted from the problem";

static int model_error(const char *message) {
  PyErr_SetString(g.ModelError, message);
  return -1;
}

int validate_domain(int type, double &lb, double &ub, double threshold) {
  if (type >= var_type_count) {
    PyErr_Format(g.ModelError, "Invalid variable type %d: expected one of kelvo.binary, kelvo.continuous, etc.", type);
    return -1;
  }
  if (type == vt_binary) {
    if (lb < 0 || lb > 1)
      return model_error("Invalid variable domain: binary variables must have a lower bound between 0 and 1");
    if (ub < 0 || ub > 1)
      return model_error("Invalid variable domain: binary variables must have an upper bound between 0 and 1");
  } else if (type >= vt_semicontinuous) {
    if (lb > threshold || threshold > ub)
      return model_error(
          "Incorrect semi-continuous, semi-integer, or partially integer variable; check that its threshold is "
          "between its lower and upper bound");
    return 0;
  }
  if ((type == vt_binary || type == vt_integer) && ub >= lb) {
    lb = std::ceil(lb);
    ub = std::floor(ub);
  }
  return 0;
}

// ---- Unlinked encodings: two bits per bound, other values in the side tables.

static void set_serial(VarObject *v, uint64_t serial) {
  v->index_low = static_cast<uint32_t>(serial);
  v->index_high = static_cast<uint16_t>(serial >> 32);
}

static uint64_t next_serial() {
  uint64_t s = g.var_serial++;
  return s & 0xffffffffffffull;
}

static int lb_state(const VarObject *v) { return v->bound_flags & 3; }
static int ub_state(const VarObject *v) { return (v->bound_flags >> 2) & 3; }

void unlinked_set_lb(VarObject *v, double value) {
  int state = value == 0.0 ? 0 : value <= -infinity ? 1 : value == 1.0 ? 2 : 3;
  uint64_t key = var_index(v);
  if (state == 3)
    (*g.var_lb)[key] = value;
  else if (lb_state(v) == 3)
    g.var_lb->erase(key);
  v->bound_flags = static_cast<uint8_t>((v->bound_flags & ~3) | state);
}

void unlinked_set_ub(VarObject *v, double value) {
  int state = value >= infinity ? 0 : value == 0.0 ? 1 : value == 1.0 ? 2 : 3;
  uint64_t key = var_index(v);
  if (state == 3)
    (*g.var_ub)[key] = value;
  else if (ub_state(v) == 3)
    g.var_ub->erase(key);
  v->bound_flags = static_cast<uint8_t>((v->bound_flags & ~(3 << 2)) | (state << 2));
}

void unlinked_set_threshold(VarObject *v, double value) {
  uint64_t key = var_index(v);
  if (v->bound_flags & (1 << 4)) g.var_threshold->erase(key);
  v->bound_flags &= static_cast<uint8_t>(~(1 << 4));
  if (value != -infinity) {
    (*g.var_threshold)[key] = value;
    v->bound_flags |= 1 << 4;
  }
}

void unlinked_set_name(VarObject *v, PyObject *name) {
  PyObject *&slot = (*g.var_names)[var_index(v)];
  if (!(v->bound_flags & (1 << 5))) slot = nullptr;
  Py_XSETREF(slot, Py_NewRef(name));
  v->bound_flags |= 1 << 5;
}

double unlinked_lb(const VarObject *v) {
  switch (lb_state(v)) {
    case 0: return 0.0;
    case 1: return -infinity;
    case 2: return 1.0;
    default: {
      auto it = g.var_lb->find(var_index(v));
      return it == g.var_lb->end() ? 0.0 : it->second;
    }
  }
}

double unlinked_ub(const VarObject *v) {
  switch (ub_state(v)) {
    case 0: return infinity;
    case 1: return 0.0;
    case 2: return 1.0;
    default: {
      auto it = g.var_ub->find(var_index(v));
      return it == g.var_ub->end() ? infinity : it->second;
    }
  }
}

double unlinked_threshold(const VarObject *v) {
  if (!(v->bound_flags & (1 << 4))) return -infinity;
  auto it = g.var_threshold->find(var_index(v));
  return it == g.var_threshold->end() ? -infinity : it->second;
}

static void unlinked_set_type(VarObject *v, int type) {
  v->type_byte = static_cast<uint8_t>((v->type_byte & ~7) | (type & 7));
}

VarObject *new_linked_var(ProblemObject *p, int col) {
  auto *v = PyObject_New(VarObject, &var_type);
  if (!v) return nullptr;
  v->owner = p;
  v->index_low = static_cast<uint32_t>(col);
  v->index_high = 0;
  v->bound_flags = 0;
  v->type_byte = 0;
  return v;
}

VarObject *new_unlinked_var(int type, double lb, double ub, double threshold) {
  auto *v = PyObject_New(VarObject, &var_type);
  if (!v) return nullptr;
  v->owner = nullptr;
  v->bound_flags = 0;
  v->type_byte = 0;
  set_serial(v, next_serial());
  unlinked_set_lb(v, lb);
  unlinked_set_ub(v, ub);
  unlinked_set_threshold(v, threshold);
  unlinked_set_type(v, type);
  return v;
}

// ---- Resolution and checks.

int var_column(VarObject *v, ProblemObject *p, const char *context) {
  const char *in = context ? " in " : "";
  const char *where = context ? context : "";
  if (var_deleted(v)) {
    PyErr_Format(g.ModelError, "Variable%s%s has been deleted from the problem", in, where);
    return -1;
  }
  if (v->owner) {
    if (v->owner == p || v->owner == p->parent) return static_cast<int>(v->index_low);
    PyErr_Format(g.ModelError, "Variable%s%s is from a different problem", in, where);
    return -1;
  }
  uint64_t serial = var_index(v);
  if (serial == 0) {
    PyErr_Format(g.ModelError, "Variable%s%s is not initialized", in, where);
    return -1;
  }
  if (p->var_map) {
    auto it = p->var_map->find(serial);
    if (it != p->var_map->end()) return it->second;
  }
  PyErr_Format(g.ModelError, "Variable%s%s does not belong to this problem", in, where);
  return -1;
}

int check_var_unlinked(VarObject *v) {
  if (var_deleted(v)) return model_error("Deleted variables cannot be re-used");
  if (v->owner) return model_error("Linked variables cannot be added to another problem");
  if (var_index(v) == 0) return model_error("Variable is not initialized");
  return 0;
}

int check_var_addable(VarObject *v) {
  if (check_var_unlinked(v) < 0) return -1;
  if (v->type_byte & var_shared_flag)
    return deprecation(9, 5, "do not share variables between several problems") < 0 ? -1 : 0;
  return 0;
}

static int require_accessible(ProblemObject *p) { return require_properties_accessible(p, "Variable"); }

// ---- Printed name.

PyObject *var_name(VarObject *v) {
  if (var_deleted(v)) return PyUnicode_FromString("(deleted variable)");
  if (v->owner) {
    ProblemObject *p = v->owner;
    const char *name = nullptr;
    int col = static_cast<int>(v->index_low);
    if (!p->prob) return PyUnicode_FromFormat("C%d", col + 1);
    if (call(KLVOgetnamepointer, "KLVOgetnamepointer", p, p->prob, KLVO_NAMES_COLUMNS, col, &name) != 0)
      return check_result(reinterpret_cast<PyObject *>(p), nullptr);
    if (name) return PyUnicode_FromString(name);
    return PyUnicode_FromFormat("C%d", col + 1);
  }
  if (v->bound_flags & (1 << 5)) {
    auto it = g.var_names->find(var_index(v));
    if (it != g.var_names->end() && it->second) return Py_NewRef(it->second);
  }
  return PyUnicode_FromFormat("C%llu", static_cast<unsigned long long>(var_index(v)));
}

static PyObject *var_str(PyObject *self) { return var_name(as_var(self)); }

static Py_hash_t var_hash(PyObject *self) { return static_cast<Py_hash_t>(as_var(self)->index_low); }

// ---- Attributes.

// Reads one double of the column through a range getter.
template <class Fn>
static PyObject *read_double(VarObject *v, Fn fn, const char *name) {
  ProblemObject *p = v->owner;
  if (require_accessible(p) < 0) return nullptr;
  double value = 0;
  int col = static_cast<int>(v->index_low);
  if (call(fn, name, p, p->prob, &value, col, col) != 0) return check_result(reinterpret_cast<PyObject *>(p), nullptr);
  return PyFloat_FromDouble(value);
}

static PyObject *read_type(VarObject *v) {
  ProblemObject *p = v->owner;
  if (require_accessible(p) < 0) return nullptr;
  char letter = 'C';
  int col = static_cast<int>(v->index_low);
  if (call(KLVOgetcoltype, "KLVOgetcoltype", p, p->prob, &letter, col, col) != 0)
    return check_result(reinterpret_cast<PyObject *>(p), nullptr);
  return PyLong_FromLong(type_of_letter(letter));
}

static PyObject *var_get_lb(VarObject *v) {
  return v->owner ? read_double(v, KLVOgetlb, "KLVOgetlb") : PyFloat_FromDouble(unlinked_lb(v));
}
static PyObject *var_get_ub(VarObject *v) {
  return v->owner ? read_double(v, KLVOgetub, "KLVOgetub") : PyFloat_FromDouble(unlinked_ub(v));
}
static PyObject *var_get_type(VarObject *v) { return v->owner ? read_type(v) : PyLong_FromLong(var_type_of(v)); }

// Stores a freshly made value (null: its error) under key.
static int dict_put(PyObject *dict, const char *key, PyObject *made) {
  nb::object value = nb::steal(made);
  return value ? PyDict_SetItemString(dict, key, value.ptr()) : -1;
}

// The variable's properties into d: only the index of a deleted variable, and no bounds or
// type while its problem's properties cannot be read.
static int fill_var_dict(PyObject *d, VarObject *v) {
  if (var_deleted(v)) return dict_put(d, "index", PyLong_FromLong(-1));
  if (dict_put(d, "name", var_name(v)) < 0) return -1;
  if (dict_put(d, "index", v->owner ? PyLong_FromUnsignedLong(v->index_low) : Py_NewRef(Py_None)) < 0) return -1;
  if (v->owner) {
    int a = properties_accessible(v->owner);
    if (a <= 0) return a;
  }
  if (dict_put(d, "lb", var_get_lb(v)) < 0 || dict_put(d, "ub", var_get_ub(v)) < 0) return -1;
  if (!v->owner && dict_put(d, "threshold", PyFloat_FromDouble(unlinked_threshold(v))) < 0) return -1;
  return dict_put(d, "vartype", var_get_type(v));
}

static PyObject *var_dict(VarObject *v) {
  nb::object d = nb::steal(PyDict_New());
  if (!d || fill_var_dict(d.ptr(), v) < 0) return nullptr;
  return d.release().ptr();
}

static bool named(PyObject *attr, const char *name) {
  return PyUnicode_Check(attr) && PyUnicode_CompareWithASCIIString(attr, name) == 0;
}

static PyObject *var_getattro(PyObject *self, PyObject *attr) {
  VarObject *v = as_var(self);
  if (named(attr, "__class__")) return Py_NewRef(reinterpret_cast<PyObject *>(Py_TYPE(self)));
  if (named(attr, "name")) return var_name(v);
  if (named(attr, "index")) {
    if (var_deleted(v)) return PyLong_FromLong(-1);
    return v->owner ? PyLong_FromUnsignedLong(v->index_low) : Py_NewRef(Py_None);
  }
  if (named(attr, "__dict__")) return var_dict(v);
  bool lb = named(attr, "lb"), ub = named(attr, "ub"), th = named(attr, "threshold"), ty = named(attr, "vartype");
  if (lb || ub || th || ty) {
    if (var_deleted(v)) {
      model_error(msg_deleted);
      return nullptr;
    }
    if (lb) return var_get_lb(v);
    if (ub) return var_get_ub(v);
    if (ty) return var_get_type(v);
    if (v->owner) {
      PyErr_SetString(g.InterfaceError, "Threshold cannot be queried");
      return nullptr;
    }
    return PyFloat_FromDouble(unlinked_threshold(v));
  }
  return PyObject_GenericGetAttr(self, attr);
}

// Passes a failed library call of a write to error retrieval.
static int write_failed(ProblemObject *p) {
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

static int set_bound(VarObject *v, PyObject *value, bool lower) {
  double x = PyFloat_AsDouble(value);
  if (x == -1.0 && PyErr_Occurred()) return -1;
  if (var_deleted(v)) return model_error(msg_deleted);
  if (v->owner) {
    ProblemObject *p = v->owner;
    int col = static_cast<int>(v->index_low);
    char letter = lower ? 'L' : 'U';
    if (call(KLVOchgbounds, "KLVOchgbounds", p, p->prob, 1, &col, &letter, &x) != 0) return write_failed(p);
    return 0;
  }
  int type = var_type_of(v);
  if (type == vt_binary && (x < 0 || x > 1)) unlinked_set_type(v, type = vt_integer);
  if (type == vt_binary || type == vt_integer) x = lower ? std::ceil(x) : std::floor(x);
  if (lower)
    unlinked_set_lb(v, x);
  else
    unlinked_set_ub(v, x);
  return 0;
}

static int set_threshold(VarObject *v, PyObject *value) {
  double x = PyFloat_AsDouble(value);
  if (x == -1.0 && PyErr_Occurred()) return -1;
  if (var_deleted(v)) return model_error(msg_deleted);
  if (v->owner) {
    ProblemObject *p = v->owner;
    int col = static_cast<int>(v->index_low);
    if (call(KLVOchgglblimit, "KLVOchgglblimit", p, p->prob, 1, &col, &x) != 0) return write_failed(p);
    return 0;
  }
  unlinked_set_threshold(v, x);
  return 0;
}

static int set_vartype(VarObject *v, PyObject *value) {
  int type = 0;
  if (int32_value(value, &type) < 0) return -1;
  if (type < 0 || type >= var_type_count)
    return model_error("Invalid variable type: should be one of kelvo.binary, kelvo.continuous, etc.");
  if (var_deleted(v)) return model_error(msg_deleted);
  if (v->owner) {
    ProblemObject *p = v->owner;
    int col = static_cast<int>(v->index_low);
    char letter = column_letter(static_cast<int>(type));
    if (call(KLVOchgcoltype, "KLVOchgcoltype", p, p->prob, 1, &col, &letter) != 0) return write_failed(p);
    return 0;
  }
  int old = var_type_of(v);
  if (type == vt_binary && old != vt_binary) {
    unlinked_set_lb(v, 0.0);
    unlinked_set_ub(v, 1.0);
  } else if (type == vt_integer && old != vt_integer) {
    unlinked_set_lb(v, std::ceil(unlinked_lb(v)));
    unlinked_set_ub(v, std::floor(unlinked_ub(v)));
  }
  unlinked_set_type(v, static_cast<int>(type));
  return 0;
}

static int set_name(VarObject *v, PyObject *value) {
  if (var_deleted(v)) return model_error(msg_deleted);
  if (!PyUnicode_Check(value)) return model_error("Variable name must be a string");
  if (v->owner) {
    ProblemObject *p = v->owner;
    const char *text = c_text(value, nullptr);
    if (!text) return -1;
    int col = static_cast<int>(v->index_low);
    if (call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_COLUMNS, text, col, col) != 0) return write_failed(p);
    return 0;
  }
  unlinked_set_name(v, value);
  return 0;
}

static int var_setattro(PyObject *self, PyObject *attr, PyObject *value) {
  VarObject *v = as_var(self);
  bool known = named(attr, "lb") || named(attr, "ub") || named(attr, "threshold") || named(attr, "vartype") ||
               named(attr, "name") || named(attr, "index");
  if (!value && known) {
    PyErr_Format(g.InterfaceError, "Cannot delete the %U attribute", attr);
    return -1;
  }
  if (named(attr, "lb")) return set_bound(v, value, true);
  if (named(attr, "ub")) return set_bound(v, value, false);
  if (named(attr, "threshold")) return set_threshold(v, value);
  if (named(attr, "vartype")) return set_vartype(v, value);
  if (named(attr, "name")) return set_name(v, value);
  if (named(attr, "index")) {
    PyErr_SetString(g.InterfaceError, "Variable index cannot be modified");
    return -1;
  }
  if (!value) {
    PyErr_Format(g.InterfaceError, "Cannot delete the %U attribute", attr);
    return -1;
  }
  return PyObject_GenericSetAttr(self, attr, value);
}

// ---- Construction and release.

static int var_init(PyObject *self, PyObject *args, PyObject *kwargs) {
  VarObject *v = as_var(self);
  if (v->owner) {
    PyErr_SetString(g.InterfaceError, "Cannot re-initialize a variable");
    return -1;
  }
  if (deprecation(9, 5, "create a linked variable by calling problem.addVariable()") < 0) return -1;
  static const char *const kwlist[] = {"name", "lb", "ub", "threshold", "vartype", nullptr};
  PyObject *name = Py_None;
  double lb = 0.0, ub = infinity, threshold = 1.0;
  int type = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OdddO&", const_cast<char **>(kwlist), &name, &lb, &ub, &threshold,
                                   int32_converter, &type))
    return -1;
  if (type == vt_binary && ub == infinity) ub = 1.0;
  if (type < 0) {
    PyErr_Format(g.ModelError, "Invalid variable type %d: expected one of kelvo.binary, kelvo.continuous, etc.", type);
    return -1;
  }
  if (validate_domain(type, lb, ub, threshold) < 0) return -1;
  if (name != Py_None && !PyUnicode_Check(name)) return model_error("Variable name must be a string");
  if (var_index(v) == 0) set_serial(v, next_serial());
  unlinked_set_lb(v, lb);
  unlinked_set_ub(v, ub);
  unlinked_set_threshold(v, threshold);
  unlinked_set_type(v, type);
  if (name != Py_None) unlinked_set_name(v, name);
  return 0;
}

static void var_dealloc(PyObject *self) {
  VarObject *v = as_var(self);
  // Side tables may be gone after module release.
  if (!v->owner && var_index(v) != 0 && g.var_lb) {
    uint64_t key = var_index(v);
    if (lb_state(v) == 3) g.var_lb->erase(key);
    if (ub_state(v) == 3) g.var_ub->erase(key);
    if (v->bound_flags & (1 << 4)) g.var_threshold->erase(key);
    if (v->bound_flags & (1 << 5)) {
      auto it = g.var_names->find(key);
      if (it != g.var_names->end()) {
        nb::object name = nb::steal(it->second);  // the table's reference
        g.var_names->erase(it);
      }
    }
  }
  Py_TYPE(self)->tp_free(self);
}

// ---- Solution values of one variable.

enum class ValueKind { solution, redcost, callback_solution, callback_redcost };

static PyObject *var_value(PyObject *self, ValueKind kind) {
  static const char *const problem_methods[] = {"getSolution", "getRedCosts", "getCallbackSolution",
                                                "getCallbackRedCosts"};
  VarObject *v = as_var(self);
  if (var_deleted(v)) {
    model_error(msg_deleted);
    return nullptr;
  }
  if (!v->owner) {
    PyErr_Format(g.InterfaceError, "For unlinked variables, call problem.%s(var)", problem_methods[int(kind)]);
    return nullptr;
  }
  ProblemObject *p = v->owner;
  bool solution = kind == ValueKind::solution || kind == ValueKind::callback_solution;
  bool in_callback = kind == ValueKind::callback_solution || kind == ValueKind::callback_redcost;
  if (!p->prob) {
    model_error("Problem is not initialized");
    return nullptr;
  }
  int status = 0;
  double value = 0;
  int col = static_cast<int>(v->index_low);
  // A single value: the interpreter lock is kept for the call.
  int rc;
  if (in_callback) {
    KLVOprob h = callback_handle(p);
    rc = solution ? KLVOgetcallbacksolution(h, &status, &value, col, col)
                  : KLVOgetcallbackredcosts(h, &status, &value, col, col);
  } else {
    rc = solution ? KLVOgetsolution(p->prob, &status, &value, col, col)
                  : KLVOgetredcosts(p->prob, &status, &value, col, col);
  }
  post_call(p, rc);
  // Inside a callback, an exception an earlier callback of the solve left comes back here.
  if (rc != 0 || PyErr_Occurred()) return check_result(reinterpret_cast<PyObject *>(p), nullptr);
  // A callback's values come with any non-zero status.
  if (in_callback ? status == 0 : (status != 1 && status != 2)) {
    PyErr_Format(g.ModelError, "%s not available", solution ? "Solution" : "Reduced costs");
    return nullptr;
  }
  return check_result(reinterpret_cast<PyObject *>(p), PyFloat_FromDouble(value));
}

static PyObject *var_getSolution(PyObject *self, PyObject *) { return var_value(self, ValueKind::solution); }
static PyObject *var_getRedCost(PyObject *self, PyObject *) { return var_value(self, ValueKind::redcost); }
static PyObject *var_getCallbackSolution(PyObject *self, PyObject *) {
  return var_value(self, ValueKind::callback_solution);
}
static PyObject *var_getCallbackRedCost(PyObject *self, PyObject *) {
  return var_value(self, ValueKind::callback_redcost);
}

// A variable pickles as a reference into its problem. Pickled without the problem in the same
// call, it carries a copy that nobody else holds and so comes back deleted, as any variable
// that outlives its problem.
static PyObject *var_reduce(PyObject *self, PyObject *) {
  VarObject *v = as_var(self);
  if (var_deleted(v) || var_unlinked(v)) {
    PyErr_SetString(PyExc_TypeError, var_deleted(v) ? "cannot pickle a deleted variable"
                                                    : "cannot pickle a variable that belongs to no problem");
    return nullptr;
  }
  return reduce_linked(v->owner, "getVariable", var_index(v));
}

PyMethodDef var_methods[] = {
    {"__reduce__", var_reduce, METH_NOARGS, "__reduce__()\nPickles the variable with its problem."},
    {"getSolution", var_getSolution, METH_NOARGS, "Value of the variable in the incumbent solution."},
    {"getRedCost", var_getRedCost, METH_NOARGS, "Reduced cost of the variable in the incumbent solution."},
    {"getCallbackSolution", var_getCallbackSolution, METH_NOARGS,
     "Value of the variable in the solution of the current callback."},
    {"getCallbackRedCost", var_getCallbackRedCost, METH_NOARGS,
     "Reduced cost of the variable in the solution of the current callback."},
    {nullptr}};

int ready_var_type() {
  var_type.tp_name = "kelvo.var";
  var_type.tp_basicsize = sizeof(VarObject);
  var_type.tp_flags = Py_TPFLAGS_DEFAULT;
  var_type.tp_doc = "An optimization variable.";
  var_type.tp_new = PyType_GenericNew;
  var_type.tp_init = var_init;
  var_type.tp_dealloc = var_dealloc;
  var_type.tp_str = var_str;
  var_type.tp_repr = var_str;
  var_type.tp_hash = var_hash;
  var_type.tp_getattro = var_getattro;
  var_type.tp_setattro = var_setattro;
  var_type.tp_methods = var_methods;
  var_type.tp_as_number = &algebra_number_methods;
  var_type.tp_richcompare = algebra_richcompare;
  return PyType_Ready(&var_type);
}

}  // namespace kelvo
