// Special ordered sets and indicator constraints of a problem: problem.addSOS, delSOS and
// addIndicator.
#include "problem/problem.h"

#include <climits>
#include <new>
#include <vector>

#include "api/convert.h"
#include "expr/expr.h"
#include "model/constraint.h"
#include "model/sos.h"
#include "model/var.h"
#include "module/frame.h"
#include "module/walk.h"
#include "numpy/numpy.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

PyObject *self_of(ProblemObject *p) { return reinterpret_cast<PyObject *>(p); }

int model_error(const char *message) {
  PyErr_SetString(g.ModelError, message);
  return -1;
}

int library_failed(ProblemObject *p) {
  raise_error(self_of(p));
  return -1;
}

int int_attrib(ProblemObject *p, int id, int *value) {
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, id, value) != 0) return library_failed(p);
  return 0;
}

bool is_text(PyObject *o) { return PyUnicode_Check(o) || PyBytes_Check(o); }

// What the nested walk would descend into.
bool is_container(PyObject *o) {
  if (is_text(o)) return false;
  return PyTuple_Check(o) || PyList_Check(o) || PyArray_Check(o) || PyDict_Check(o) || PySequence_Check(o) ||
         PyIter_Check(o);
}

int stop_at_leaf(PyObject *, PyObject *leaf, void *data) {
  *static_cast<nb::object *>(data) = nb::borrow(leaf);
  return 1;
}

// The first leaf the nested walk meets in o (null when there is none). -1 with an exception.
int first_leaf_of(PyObject *owner, PyObject *o, nb::object &leaf) {
  return walk(owner, o, stop_at_leaf, &leaf) < 0 ? -1 : 0;
}

// An integer (of the interpreter or NumPy) as a long; *overflow set when it does not fit.
int integer_value(PyObject *o, long *value, int *overflow) {
  nb::object number = nb::steal(PyNumber_Index(o));
  if (!number) return -1;
  *value = PyLong_AsLongAndOverflow(number.ptr(), overflow);
  return *value == -1 && PyErr_Occurred() ? -1 : 0;
}

// Removes sets from `sets` on from the library, and the SOS list's entries from `length` on
// (with their serial ids in the unlinked-SOS map), keeping the pending exception.
void remove_new_sets(ProblemObject *p, int sets, Py_ssize_t length) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  int now = 0;
  bool reverted = call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, KLVO_ATTR_ORIGINALSETS, &now) == 0;
  if (reverted && now > sets) {
    try {
      std::vector<int> idx;
      for (int k = sets; k < now; ++k) idx.push_back(k);
      reverted = call(KLVOdelsets, "KLVOdelsets", p, p->prob, now - sets, static_cast<const int *>(idx.data())) == 0;
    } catch (const std::bad_alloc &) {
      reverted = false;
    }
  }
  PyErr_Clear();
  Py_ssize_t n = PyList_GET_SIZE(p->sos);
  if (p->sos_map)
    for (Py_ssize_t i = length; i < n; ++i) {
      SosObject *s = as_sos(PyList_GET_ITEM(p->sos, i));
      if (sos_unlinked(s)) p->sos_map->erase(s->index);
    }
  if (n > length && PyList_SetSlice(p->sos, length, n, nullptr) < 0) PyErr_Clear();
  if (!reverted && PyErr_WarnEx(PyExc_RuntimeWarning, "Failed to revert new sets", 1) < 0) PyErr_Clear();
  PyErr_Restore(type, value, traceback);
}

// The members of a set as columns and its weights as doubles.
struct SetData {
  std::vector<int> cols;
  std::vector<double> weights;
};

// Reads the lists of a set into d. The linked form takes only ints and floats as weights;
// the unlinked form any number, and only column indices from 0 on.
int read_set(ProblemObject *p, PyObject *indices, PyObject *weights, bool linked, SetData &d) {
  // Snapshots: converting a weight may run Python code that changes the user's lists.
  nb::object members = nb::steal(PyList_GetSlice(indices, 0, PY_SSIZE_T_MAX));
  nb::object values = nb::steal(PyList_GetSlice(weights, 0, PY_SSIZE_T_MAX));
  if (!members || !values) return -1;
  Py_ssize_t n = PyList_GET_SIZE(members.ptr());
  if (n != PyList_GET_SIZE(values.ptr())) return model_error("Number of SOS indices and weights do not match");
  if (n > INT_MAX) return PyErr_NoMemory(), -1;
  d.cols.resize(static_cast<size_t>(n));
  d.weights.resize(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *m = PyList_GET_ITEM(members.ptr(), i);
    long col = 0;
    int overflow = 0;
    if (is_var(m)) {
      col = var_column(as_var(m), p, "SOS");
      if (col < 0) return -1;
    } else if (!is_integer(m)) {
      return model_error(linked ? "SOS indices must be variables or integer indices"
                                : "SOS indices must be passed as a list");
    } else if (integer_value(m, &col, &overflow) < 0) {
      return -1;
    } else if (overflow || col < (linked ? INT_MIN : 0) || col > INT_MAX) {
      if (!linked) return PyErr_Format(g.ModelError, "Invalid variable index %S", m), -1;
      col = -1;  // out of range: the library refuses it
    }
    d.cols[i] = static_cast<int>(col);
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *w = PyList_GET_ITEM(values.ptr(), i);
    if (linked && !PyFloat_Check(w) && !PyLong_Check(w)) return model_error("SOS weights must be numbers");
    d.weights[i] = PyFloat_AsDouble(w);
    if (d.weights[i] != -1.0 || !PyErr_Occurred()) continue;
    if (linked) return -1;
    PyErr_Clear();
    return PyErr_Format(g.ModelError, "Invalid weight %S", w), -1;
  }
  return 0;
}

// ---- addSOS with a list of members and weights: a new linked set.

// The refusal of members that are not a list: set objects get their own message.
PyObject *not_a_member_list(ProblemObject *p, PyObject *args) {
  nb::object leaf;
  if (first_leaf_of(self_of(p), args, leaf) < 0) PyErr_Clear();
  model_error(leaf && is_sos(leaf.ptr()) ? "Cannot use problem.addSOS to add existing SOS to the problem"
                                         : "SOS indices must be a list of variables");
  return nullptr;
}

PyObject *add_linked_sos(ProblemObject *p, PyObject *args, PyObject *kwargs) {
  // Checked before the arguments are counted: addSOS(s) with a set object is told why.
  if (PyTuple_GET_SIZE(args) > 0 && !PyList_Check(PyTuple_GET_ITEM(args, 0))) return not_a_member_list(p, args);
  static const char *const kwlist[] = {"indices", "weights", "type", "name", nullptr};
  PyObject *indices, *weights, *type = Py_None, *name = Py_None;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|OO", const_cast<char **>(kwlist), &indices, &weights, &type,
                                   &name))
    return nullptr;
  if (!PyList_Check(indices)) return not_a_member_list(p, args);
  if (!PyList_Check(weights)) return model_error("SOS weights must be a list of numbers"), nullptr;
  char letter = '1';
  if (type != Py_None) {
    long t = 0;
    int overflow = 0;
    if (is_integer(type) && integer_value(type, &t, &overflow) < 0) return nullptr;
    if (t != 1 && t != 2) return model_error("SOS type must be 1 or 2"), nullptr;
    letter = t == 2 ? '2' : '1';
  }
  if (name != Py_None && !PyUnicode_Check(name)) return model_error("SOS name must be a string"), nullptr;
  const char *text = name != Py_None ? c_text(name, nullptr, "SOS name") : nullptr;
  if (name != Py_None && !text) return nullptr;
  int set = 0;
  SetData d;
  if (int_attrib(p, KLVO_ATTR_SETS, &set) < 0 || read_set(p, indices, weights, true, d) < 0) return nullptr;
  int n = static_cast<int>(d.cols.size());
  const int start[] = {0, n};
  if (call(KLVOaddsets, "KLVOaddsets", p, p->prob, 1, n, &letter, start, d.cols.data(),
           d.weights.data()) != 0)
    return check_result(self_of(p), nullptr);
  Py_ssize_t length = PyList_GET_SIZE(p->sos);
  bool ok = !text || call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_SETS, text, set, set) == 0;
  if (!ok) raise_error(self_of(p));
  nb::object s = nb::steal(ok ? new_linked_sos(p, set) : nullptr);
  if (!s || PyList_Append(p->sos, s.ptr()) < 0) {
    remove_new_sets(p, set, length);
    return nullptr;
  }
  return s.release().ptr();
}

// ---- addSOS with set objects made by the constructor (deprecated).

struct UnlinkedAdd {
  ProblemObject *p;
};

int add_unlinked_set_inner(PyObject *leaf, ProblemObject *p) {
  if (!p->prob) return model_error("Problem is not initialized");
  if (!is_sos(leaf)) return model_error("Object added is not a SOS");
  SosObject *s = as_sos(leaf);
  if (sos_deleted(s)) return model_error("Deleted SOS cannot be re-used");
  if (s->owner) return model_error("Linked SOS cannot be added to another problem");
  if (s->index == 0 || !s->indices || !s->weights) return model_error("SOS is not initialized");
  if (p->sos_map && p->sos_map->find(s->index) != p->sos_map->end())
    return model_error("SOS already added to problem");
  nb::object hold = nb::borrow(leaf);
  SetData d;
  if (read_set(p, s->indices, s->weights, false, d) < 0) return -1;
  int64_t n = static_cast<int64_t>(d.cols.size());
  char letter = s->type == 2 ? '2' : '1';
  const int64_t start[] = {0, n};
  if (call(KLVOaddsets64, "KLVOaddsets64", p, p->prob, 1, n, &letter, start, d.cols.data(),
           d.weights.data()) != 0)
    return library_failed(p);
  int sets = 0;
  if (int_attrib(p, KLVO_ATTR_ORIGINALSETS, &sets) < 0) return -1;
  int set = sets - 1;
  if (s->name && s->name != Py_None) {
    const char *text = c_text(s->name, nullptr, "SOS name");
    if (!text) return -1;
    if (call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_SETS, text, set, set) != 0) return library_failed(p);
  }
  if (PyList_Append(p->sos, leaf) < 0) return -1;
  try {
    if (!p->sos_map) p->sos_map = new SerialIndexMap();
    (*p->sos_map)[s->index] = set;
  } catch (const std::bad_alloc &) {
    return model_error("Could not amend SOS map");
  }
  return 0;
}

int add_unlinked_set(PyObject *, PyObject *leaf, void *data) {
  try {
    return add_unlinked_set_inner(leaf, static_cast<UnlinkedAdd *>(data)->p);
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return -1;
  }
}

PyObject *add_unlinked_sos(ProblemObject *p, PyObject *args, PyObject *kwargs) {
  if (!problem_unlinked(p) && PyList_GET_SIZE(p->vars) + PyList_GET_SIZE(p->cons) + PyList_GET_SIZE(p->sos) > 0)
    return model_error("Cannot use problem.addSOS to add an existing SOS to the problem"), nullptr;
  if (kwargs && PyDict_GET_SIZE(kwargs) > 0) {
    PyErr_SetString(PyExc_TypeError, "addSOS() takes no keyword arguments when adding SOS objects");
    return nullptr;
  }
  int sets = 0;
  if (int_attrib(p, KLVO_ATTR_ORIGINALSETS, &sets) < 0) return nullptr;
  Py_ssize_t length = PyList_GET_SIZE(p->sos);
  UnlinkedAdd data{p};
  if (walk(self_of(p), args, add_unlinked_set, &data) != 0) {
    if (!PyErr_Occurred()) model_error("Cannot add SOS to problem");
    remove_new_sets(p, sets, length);
    return nullptr;
  }
  Py_RETURN_NONE;
}

// Whether addSOS takes its arguments as set objects made by the constructor.
int unlinked_form(ProblemObject *p, PyObject *args, PyObject *kwargs, bool *unlinked) {
  if (problem_unlinked(p)) return *unlinked = true, 0;
  bool empty = PyList_GET_SIZE(p->vars) + PyList_GET_SIZE(p->cons) + PyList_GET_SIZE(p->sos) == 0;
  *unlinked = false;
  if (!empty || (kwargs && PyDict_GET_SIZE(kwargs) > 0) || PyTuple_GET_SIZE(args) == 0) return 0;
  PyObject *first = PyTuple_GET_ITEM(args, 0);
  if (!is_container(first)) return 0;
  if (PyTuple_GET_SIZE(args) >= 2) {
    PyObject *second = PyTuple_GET_ITEM(args, 1);
    if (PyList_Check(first) && PyList_Check(second) && PyList_GET_SIZE(first) == 0 && PyList_GET_SIZE(second) == 0)
      return 0;
  }
  nb::object leaf;
  if (first_leaf_of(self_of(p), first, leaf) < 0) return -1;
  *unlinked = !(leaf && is_var(leaf.ptr()));
  return 0;
}

PyObject *problem_addSOS(PyObject *self, PyObject *args, PyObject *kwargs) {
  ProblemObject *p = problem_of(self);
  if (!p->prob) return model_error("Problem is not initialized"), nullptr;
  if (require_idle(p, "problem.addSOS") < 0) return nullptr;
  ChangeScope change(p);
  // An iterator is read once: its items are collected before the form is chosen from them.
  nb::object held_args = nb::borrow(args);
  if (PyTuple_GET_SIZE(args) > 0) {
    PyObject *first = PyTuple_GET_ITEM(args, 0);
    if (PyIter_Check(first) && !PySequence_Check(first) && !PyDict_Check(first) && !PyArray_Check(first)) {
      nb::object all = nb::steal(PySequence_List(args));
      nb::object items = nb::steal(all ? PySequence_List(first) : nullptr);
      if (!items || PyList_SetItem(all.ptr(), 0, items.release().ptr()) < 0) return nullptr;
      held_args = nb::steal(PyList_AsTuple(all.ptr()));
      if (!held_args) return nullptr;
    }
  }
  bool unlinked = false;
  if (unlinked_form(p, held_args.ptr(), kwargs, &unlinked) < 0) return nullptr;
  try {
    return unlinked ? add_unlinked_sos(p, held_args.ptr(), kwargs) : add_linked_sos(p, held_args.ptr(), kwargs);
  } catch (const std::bad_alloc &) {
    return PyErr_NoMemory();
  }
}

// ---- delSOS.

int resolve_sos(ProblemObject *p, PyObject *o, int *index) {
  if (!is_sos(o)) return 0;
  int set = sos_index(as_sos(o), p);
  if (set < 0) return -1;
  *index = set;
  return 1;
}

PyObject *problem_delSOS(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kwlist[] = {"index", "first", "last", nullptr};
  PyObject *index = nullptr;
  int first = -1, last = -1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO&O&", const_cast<char **>(kwlist), &index, int32_converter, &first,
                                   int32_converter, &last))
    return nullptr;
  return delete_objects(problem_of(self), del_sets, index, first, last, resolve_sos);
}

// ---- addIndicator.

const char *const msg_pairs =
    "Invalid indicator constraints: pass either two constraints or one or more tuples, each containing two "
    "constraints";
const char *const msg_condition = "Invalid indicator expression. Must be var==0 or var==1, where var is a binary variable";

struct Pair {
  nb::object condition, constraint;
};

bool is_pair(PyObject *o) {
  if (!PyTuple_Check(o) || PyTuple_GET_SIZE(o) != 2) return false;
  PyObject *a = PyTuple_GET_ITEM(o, 0), *b = PyTuple_GET_ITEM(o, 1);
  return (is_constraint(a) || is_var(a)) && is_constraint(b);
}

// Collects the (condition, constraint) pairs of o in order: a pair is taken whole, any other
// container is opened like the nested walk opens it, and any other object is an error.
int collect_pairs(PyObject *o, std::vector<Pair> &pairs, int depth) {
  if (depth < 0) return model_error("Maximum recursion (inclusion) level reached");
  if (is_pair(o)) {
    pairs.push_back({nb::borrow(PyTuple_GET_ITEM(o, 0)), nb::borrow(PyTuple_GET_ITEM(o, 1))});
    return 0;
  }
  if (!is_container(o)) return model_error(msg_pairs);
  // The items as a list of our own, so that no borrowed item outlives a change to o.
  nb::object items = nb::steal(PyDict_Check(o) ? PyDict_Values(o) : PySequence_List(o));
  if (!items) return -1;
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.ptr()); ++i)
    if (collect_pairs(PyList_GET_ITEM(items.ptr(), i), pairs, depth - 1) < 0) return -1;
  return 0;
}

// An indicator to set: the constraint, whether it is a row already, the condition's column
// and the complement flag.
struct Indicator {
  ConstraintObject *constraint;
  bool is_row;
  int col;
  int complement;
};

bool row_of_problem(ConstraintObject *c, ProblemObject *p) {
  if (constraint_has_block(c))
    return constraint_kind(c) == ck_unlinked && p->con_map &&
           p->con_map->find(constraint_index(c)) != p->con_map->end();
  return constraint_owner(c) == p;
}

// The variable of a condition's body when it is var or 1.0 * var alone; else null.
PyObject *condition_var(PyObject *body) {
  switch (kind_of(body)) {
    case K_VAR: return body;
    case K_LIN: return as_lin(body)->coef == 1.0 ? as_lin(body)->var : nullptr;
    case K_EXPR: {
      ExpressionObject *e = as_expr(body);
      if (e->constant != 0.0 || (e->quad && !e->quad->empty()) || !e->lin || e->lin->size() != 1) return nullptr;
      auto it = e->lin->begin();
      return it->second == 1.0 ? it->first : nullptr;
    }
    default: return nullptr;
  }
}

// Checks a pair and works out its indicator; nothing is added yet.
int plan_indicator(ProblemObject *p, const Pair &pair, Indicator &out) {
  ConstraintObject *c = as_con(pair.constraint.ptr());
  if (constraint_deleted(c)) return model_error("Constraint has been deleted from the problem");
  if (constraint_uninitialised(c)) return model_error("Constraint is not initialized");
  ProblemObject *owner = constraint_owner(c);
  if (owner && owner != p) return model_error("Indicator constraint has already been added to another problem");
  bool unlinked = problem_unlinked(p);
  if (constraint_has_block(c)) {
    if (!unlinked && constraint_kind(c) == ck_unlinked)
      return model_error("Indicator constraint cannot be added because it contains unlinked variables");
    if (unlinked && constraint_kind(c) == ck_linked)
      return model_error(
          "Indicator constraint cannot be added because one or more variables are linked to another problem");
  }
  out.constraint = c;
  out.is_row = row_of_problem(c, p);
  if (!out.is_row) {
    PyObject *body = constraint_body(c);
    if (!body) return model_error("Indicator constraint cannot be added because it has no body");
    int kind = kind_of(body);
    if (kind == K_INVALID) return model_error("Invalid constraint assigned to indicator");
    if (kind == K_NONLIN) return model_error("Nonlinear indicator constraints are not allowed");
    // The library enforces only single-sided rows and equations conditionally.
    int type = row_type_of_bounds(constraint_lb(c), constraint_ub(c));
    if (type != rt_leq && type != rt_geq && type != rt_eq)
      return model_error("Indicator constraints must be of type <=, >= or ==");
  }

  PyObject *var;
  out.complement = 1;
  if (is_var(pair.condition.ptr())) {
    var = pair.condition.ptr();
  } else {
    ConstraintObject *cond = as_con(pair.condition.ptr());
    if (constraint_deleted(cond)) return model_error("Constraint has been deleted from the problem");
    if (constraint_uninitialised(cond)) return model_error("Constraint is not initialized");
    if (ProblemObject *o = constraint_owner(cond)) {
      PyErr_Format(g.ModelError, "Indicator condition has already been added as a constraint to %s problem",
                   o == p ? "the" : "another");
      return -1;
    }
    if (row_of_problem(cond, p)) {
      PyErr_SetString(g.ModelError, "Indicator condition has already been added as a constraint to the problem");
      return -1;
    }
    PyObject *body = constraint_body(cond);
    if (!body) return model_error("Indicator constraint cannot be added because the condition has no body");
    var = condition_var(body);
    double lb = constraint_lb(cond), ub = constraint_ub(cond);
    if (!var || lb != ub || (lb != 0.0 && lb != 1.0)) return model_error(msg_condition);
    out.complement = lb == 0.0 ? -1 : 1;
  }
  out.col = var_column(as_var(var), p, "indicator condition");
  return out.col < 0 ? -1 : 0;
}

int add_indicators(ProblemObject *p, PyObject *args) {
  std::vector<Pair> pairs;
  if (collect_pairs(args, pairs, walk_max_depth) < 0) return -1;
  std::vector<Indicator> plan(pairs.size());
  for (size_t k = 0; k < pairs.size(); ++k)
    if (plan_indicator(p, pairs[k], plan[k]) < 0) return -1;

  // Rows that exist already must be of a type that can carry an indicator.
  for (const Indicator &ind : plan) {
    if (!ind.is_row) continue;
    int row = constraint_row(ind.constraint, p);
    char letter = 0;
    if (row < 0) return -1;
    if (call(KLVOgetrowtype, "KLVOgetrowtype", p, p->prob, &letter, row, row) != 0) return library_failed(p);
    if (letter != 'L' && letter != 'G' && letter != 'E')
      return model_error("Indicator constraints must be of type <=, >= or ==");
  }

  // The new constraints become rows together, in the order of their pairs.
  int r0 = 0;
  if (int_attrib(p, KLVO_ATTR_ORIGINALROWS, &r0) < 0) return -1;
  nb::object fresh = nb::steal(PyList_New(0));
  if (!fresh) return -1;
  for (const Indicator &ind : plan)
    if (!ind.is_row && PyList_Append(fresh.ptr(), reinterpret_cast<PyObject *>(ind.constraint)) < 0) return -1;
  if (PyList_GET_SIZE(fresh.ptr()) > 0) {
    nb::object tuple = nb::steal(PyList_AsTuple(fresh.ptr()));
    nb::object added = nb::steal(tuple ? add_constraints(p, tuple.ptr()) : nullptr);
    if (!added) return -1;
  }

  std::vector<int> rows(plan.size()), cols(plan.size()), complements(plan.size());
  int rc = 0;
  for (size_t k = 0; k < plan.size() && rc == 0; ++k) {
    rows[k] = constraint_row(plan[k].constraint, p);
    cols[k] = plan[k].col;
    complements[k] = plan[k].complement;
    if (rows[k] < 0) rc = -1;
  }
  if (rc == 0 && !plan.empty() &&
      call(KLVOsetindicators, "KLVOsetindicators", p, p->prob, static_cast<int>(plan.size()), rows.data(), cols.data(),
           complements.data()) != 0)
    rc = library_failed(p);
  if (rc == 0) return 0;

  // Take the new rows out again: the library sets all indicators or none.
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  int r1 = r0;
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, KLVO_ATTR_ORIGINALROWS, &r1) == 0 && r1 > r0) {
    try {
      std::vector<int> added;
      for (int r = r0; r < r1; ++r) added.push_back(r);
      delete_indices(p, del_rows, added);
    } catch (const std::bad_alloc &) {
    }
  }
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
  return -1;
}

PyObject *problem_addIndicator(PyObject *self, PyObject *args) {
  ProblemObject *p = problem_of(self);
  if (!p->prob) return model_error("Problem is not initialized"), nullptr;
  if (require_idle(p, "problem.addIndicator") < 0) return nullptr;
  ChangeScope change(p);
  AuxParking parked(p);
  if (parked.failed()) return nullptr;
  int rc;
  try {
    rc = add_indicators(p, args);
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    rc = -1;
  }
  if (rc < 0) return nullptr;
  Py_RETURN_NONE;
}

}  // namespace

PyMethodDef problem_methods_sets[] = {
    {"addSOS", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_addSOS)), METH_VARARGS | METH_KEYWORDS,
     "addSOS(indices, weights, type=1, name=None)\n"
     "Adds a special ordered set of type 1 or 2 over the variables (or column indices) with one\n"
     "weight each and returns it. Given set objects made by kelvo.sos(), adds those (deprecated)."},
    {"delSOS", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_delSOS)), METH_VARARGS | METH_KEYWORDS,
     "delSOS(index=None, first=-1, last=-1)\n"
     "Deletes sets given as objects, indices or names, or the range first..last."},
    {"addIndicator", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_addIndicator)), METH_VARARGS,
     "addIndicator(condition, constraint) or addIndicator((condition, constraint), ...)\n"
     "Makes each constraint hold only when its condition holds: a variable or var == 1 (the\n"
     "variable is 1) or var == 0 (the variable is 0). Either every pair is added or none."},
    {nullptr}};

}  // namespace kelvo
