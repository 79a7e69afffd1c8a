// Objectives: problem.setObjective and problem.addObjective. Objective 0 may be linear,
// quadratic or nonlinear; a nonlinear objective goes through an auxiliary column with
// objective coefficient 1 tied to the formula by an auxiliary equality row. Further
// objectives are linear.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "api/convert.h"
#include "expr/expr.h"
#include "model/constraint.h"
#include "model/var.h"
#include "module/frame.h"
#include "module/walk.h"
#include "numpy/numpy.h"
#include "problem/problem.h"
#include "problem/translate.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

constexpr int objctl_priority = 20001, objctl_weight = 20002, objctl_abstol = 20003, objctl_reltol = 20004,
              objctl_constant = 20005;
constexpr int nlp_attr_rows = 11999, nlp_attr_cols = 12000, nlp_attr_state = 12062;
constexpr int nlp_ctl_objsense = 12146;
constexpr int ctl_name_check = 8035;

int fail(const char *message) {
  PyErr_SetString(g.ModelError, message);
  return -1;
}

int library_failed(ProblemObject *p) {
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

bool layer_up(ProblemObject *p) { return g.nlp_flag == 1 && p->slp; }
bool nonlinear_content(ProblemObject *p) { return p->nonlin_cons != 0 || p->nonlin_obj != 0; }

int int_attrib(ProblemObject *p, int id, int *value) {
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, id, value) != 0) return library_failed(p);
  return 0;
}

int slp_int_attrib(ProblemObject *p, int id, int *value) {
  if (call(KSLPgetintattrib, "KSLPgetintattrib", p, p->slp, id, value) != 0) return library_failed(p);
  return 0;
}

// Columns and rows as the nonlinear layer counts them when it holds content, else the
// library's.
int column_count(ProblemObject *p, int *n) {
  if (nonlinear_content(p) && layer_up(p)) return slp_int_attrib(p, nlp_attr_cols, n);
  return int_attrib(p, KLVO_ATTR_ORIGINALCOLS, n);
}
int row_count(ProblemObject *p, int *n) {
  if (p->nonlin_cons != 0 && layer_up(p)) return slp_int_attrib(p, nlp_attr_rows, n);
  return int_attrib(p, KLVO_ATTR_ORIGINALROWS, n);
}

struct ObjectiveArgs {
  int first;
  PyObject *priority, *weight, *abstol, *reltol;  // borrowed, null or None when not given
  int count;
};

bool given(PyObject *o) { return o && o != Py_None; }

// A priority is checked before anything changes: an int that fits the library's int.
static int check_priority(PyObject *priority) {
  if (!given(priority)) return 0;
  if (!PyLong_Check(priority)) {
    PyErr_SetString(PyExc_TypeError, "priority must be an integer");
    return -1;
  }
  int v = 0;
  return int32_value(priority, &v);
}

// Sets the given per-objective controls of objective k.
int set_objective_controls(ProblemObject *p, int k, const ObjectiveArgs &a) {
  if (given(a.priority)) {
    int v = 0;
    if (int32_value(a.priority, &v) < 0) return -1;
    if (call(KLVOsetobjintcontrol, "KLVOsetobjintcontrol", p, p->prob, k, objctl_priority, v) != 0)
      return library_failed(p);
  }
  const struct {
    PyObject *value;
    int id;
  } dbl[] = {{a.weight, objctl_weight}, {a.abstol, objctl_abstol}, {a.reltol, objctl_reltol}};
  for (const auto &d : dbl) {
    if (!given(d.value)) continue;
    double v = PyFloat_AsDouble(d.value);
    if (v == -1.0 && PyErr_Occurred()) return -1;
    if (call(KLVOsetobjdblcontrol, "KLVOsetobjdblcontrol", p, p->prob, k, d.id, v) != 0) return library_failed(p);
  }
  return 0;
}

// Removes the auxiliary column and row of a nonlinear objective.
int remove_aux(ProblemObject *p) {
  int col = p->obj_aux_col, row = p->obj_aux_row;
  if (layer_up(p) && p->nonlin_obj) {
    int n = 0;
    if (call(KSLPgetcoefs, "KSLPgetcoefs", p, p->slp, &n, static_cast<int *>(nullptr), static_cast<int *>(nullptr)) != 0)
      return library_failed(p);
    std::vector<int> rows(static_cast<size_t>(n)), cols(static_cast<size_t>(n));
    if (n > 0 && call(KSLPgetcoefs, "KSLPgetcoefs", p, p->slp, &n, rows.data(), cols.data()) != 0)
      return library_failed(p);
    int idx[1] = {col};
    double zero[1] = {0.0};
    if (call(KLVOchgobj, "KLVOchgobj", p, p->prob, 1, static_cast<const int *>(idx), static_cast<const double *>(zero)) != 0)
      return library_failed(p);
    for (int k = n - 1; k >= 0; --k) {
      if (rows[k] != row) continue;
      if (call(KSLPdelcoefs, "KSLPdelcoefs", p, p->slp, 1, &rows[k], &cols[k]) != 0) return library_failed(p);
    }
    int status = 0;
    if (call(KSLPgetrowstatus, "KSLPgetrowstatus", p, p->slp, row, &status) != 0) return library_failed(p);
    status &= ~rowstatus_objective;
    if (call(KSLPchgrowstatus, "KSLPchgrowstatus", p, p->slp, row, static_cast<const int *>(&status)) != 0)
      return library_failed(p);
    int none = -1;
    if (call(KSLPchgvar, "KSLPchgvar", p, p->slp, col, static_cast<const int *>(&none),
             static_cast<const double *>(nullptr), static_cast<const double *>(nullptr),
             static_cast<const double *>(nullptr), static_cast<const double *>(nullptr),
             static_cast<const double *>(nullptr), static_cast<const double *>(nullptr),
             static_cast<const int *>(nullptr), static_cast<const int *>(nullptr), static_cast<const int *>(nullptr),
             static_cast<const int *>(nullptr)) != 0)
      return library_failed(p);
    if (call(KSLPdelvars, "KSLPdelvars", p, p->slp, 1, static_cast<const int *>(&col)) != 0) return library_failed(p);
  }
  if (col >= 0) {
    if (call(KLVOdelcols, "KLVOdelcols", p, p->prob, 1, static_cast<const int *>(&col)) != 0) return library_failed(p);
    // The columns after it moved down by one: so do the variables that name them.
    ++column_epoch;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(p->vars); ++i) {
      PyObject *o = PyList_GET_ITEM(p->vars, i);
      if (!is_var(o) || as_var(o)->owner != p) continue;
      VarObject *v = as_var(o);
      if (var_index(v) > static_cast<uint64_t>(col)) v->index_low = static_cast<uint32_t>(var_index(v) - 1);
    }
    if (p->var_map)
      for (auto it = p->var_map->begin(); it != p->var_map->end(); ++it)
        if (it->second > col) it.value() = it->second - 1;
  }
  if (row >= 0) {
    if (call(KLVOdelrows, "KLVOdelrows", p, p->prob, 1, static_cast<const int *>(&row)) != 0) return library_failed(p);
    // Likewise the rows after it and their constraints.
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(p->cons); ++i) {
      PyObject *o = PyList_GET_ITEM(p->cons, i);
      if (!PyObject_TypeCheck(o, &constraint_type)) continue;
      auto *c = reinterpret_cast<ConstraintObject *>(o);
      if (constraint_has_block(c) || c->link != p) continue;
      if (constraint_index(c) > static_cast<uint64_t>(row)) constraint_set_index(c, constraint_index(c) - 1);
    }
    if (p->con_map)
      for (auto it = p->con_map->begin(); it != p->con_map->end(); ++it)
        if (it->second > row) it.value() = it->second - 1;
  }
  p->obj_aux_col = p->obj_aux_row = -1;
  p->nonlin_obj = 0;
  return 0;
}

// Adds a named auxiliary row or column with the name check control switched off.
template <class Add>
int add_named(ProblemObject *p, Add add, int type, const char *name, int index) {
  int old = 0;
  if (call(KLVOgetintcontrol, "KLVOgetintcontrol", p, p->prob, ctl_name_check, &old) != 0) return library_failed(p);
  if (add() != 0) return library_failed(p);
  if (call(KLVOsetintcontrol, "KLVOsetintcontrol", p, p->prob, ctl_name_check, 0) != 0) return library_failed(p);
  int rc = call(KLVOaddnames, "KLVOaddnames", p, p->prob, type, name, index, index);
  int rc2 = call(KLVOsetintcontrol, "KLVOsetintcontrol", p, p->prob, ctl_name_check, old);
  if (rc != 0 || rc2 != 0) return library_failed(p);
  return 0;
}

// Installs the formula entries of objective 0 in a new auxiliary row and column.
int install_nonlinear(ProblemObject *p, RowEntries &e) {
  if (!layer_up(p)) return fail("Nonlinear objectives need the nonlinear solver, which is not available");
  p->nonlin_obj = 1;
  int row = 0;
  if (row_count(p, &row) < 0) return -1;
  p->obj_aux_row = row;
  const char type_e = 'E';
  const double zero = 0.0;
  const int64_t rstart[2] = {0, 0};
  if (add_named(p, [&] {
        return call(KLVOaddrows64, "KLVOaddrows64", p, p->prob, 1, int64_t{0}, &type_e, &zero, &zero, rstart,
                    static_cast<const int *>(nullptr), static_cast<const double *>(nullptr));
      }, KLVO_NAMES_ROWS, "objtransferrow", row) < 0)
    return -1;
  int col = 0;
  if (column_count(p, &col) < 0) return -1;
  p->obj_aux_col = col;
  const double one = 1.0, minus_one = -1.0, lb = -infinity, ub = infinity;
  const int64_t cstart[2] = {0, 1};
  if (add_named(p, [&] {
        return call(KLVOaddcols64, "KLVOaddcols64", p, p->prob, 1, int64_t{1}, &one, cstart,
                    static_cast<const int *>(&row), &minus_one, &lb, &ub);
      }, KLVO_NAMES_COLUMNS, "objtransfercol", col) < 0)
    return -1;
  if (call(KSLPchgvar, "KSLPchgvar", p, p->slp, col, static_cast<const int *>(&row),
           static_cast<const double *>(nullptr), static_cast<const double *>(nullptr),
           static_cast<const double *>(nullptr), static_cast<const double *>(nullptr),
           static_cast<const double *>(nullptr), static_cast<const double *>(nullptr),
           static_cast<const int *>(nullptr), static_cast<const int *>(nullptr), static_cast<const int *>(nullptr),
           static_cast<const int *>(nullptr)) != 0)
    return library_failed(p);
  int status = 0;
  if (call(KSLPgetrowstatus, "KSLPgetrowstatus", p, p->slp, row, &status) != 0) return library_failed(p);
  status |= rowstatus_objective;
  if (call(KSLPchgrowstatus, "KSLPchgrowstatus", p, p->slp, row, static_cast<const int *>(&status)) != 0)
    return library_failed(p);
  for (int &r : e.f_row) r = row;
  e.f_start.push_back(static_cast<int>(e.tok_type.size()));
  if (call(KSLPaddcoefs, "KSLPaddcoefs", p, p->slp, static_cast<int>(e.f_row.size()), e.f_row.data(),
           e.f_col.data(), e.f_factor.data(), e.f_start.data(), 1, e.tok_type.data(), e.tok_val.data()) != 0)
    return library_failed(p);
  return 0;
}

// Leaves a constructed nonlinear layer (its compiled model and solved state), as a change to
// its objective, columns or rows needs.
int settle_layer(ProblemObject *p) {
  int state = 0;
  if (slp_int_attrib(p, nlp_attr_state, &state) < 0) return -1;
  if ((state & 1) && call(KSLPunconstruct, "KSLPunconstruct", p, p->slp) != 0) return library_failed(p);
  if ((state & (1 << 29)) && call(KSLPpostsolve, "KSLPpostsolve", p, p->slp) != 0) return library_failed(p);
  return 0;
}

// A problem with nonlinear content has the layer drop its compiled model and solved state
// before its objective changes.
int objective_editable(ProblemObject *p) {
  if (!nonlinear_content(p) || !layer_up(p)) return 0;
  return settle_layer(p);
}

// Column indices in e after column `removed`, which is being deleted, move down by one.
void shift_columns_after(RowEntries &e, int removed) {
  auto shift = [removed](int &c) {
    if (c > removed) --c;
  };
  for (int &c : e.lin_col) shift(c);
  for (int &c : e.q_col1) shift(c);
  for (int &c : e.q_col2) shift(c);
  for (int &c : e.f_col) shift(c);  // formula_no_column is negative
  for (size_t t = 0; t < e.tok_type.size(); ++t)
    if (e.tok_type[t] == tok_column && e.tok_val[t] > removed) e.tok_val[t] -= 1.0;
}

// The library refuses coefficients that are not finite (for objective 0, also those of
// magnitude `limit` or more), but only once the old objective has been cleared: finding them
// first keeps the model as it was.
int require_finite(const RowEntries &e, double constant, double limit) {
  auto bad = [limit](double v) { return !std::isfinite(v) || std::fabs(v) >= limit; };
  double found = bad(constant) ? constant : 0.0;
  for (const std::vector<double> *values : {&e.lin_val, &e.q_val})
    for (double v : *values)
      if (bad(v)) found = v;
  for (double v : e.f_factor)
    if (!std::isfinite(v)) found = v;
  for (size_t t = 0; t < e.tok_type.size(); ++t)
    if (e.tok_type[t] == tok_constant && !std::isfinite(e.tok_val[t])) found = e.tok_val[t];
  if (found == 0.0) return 0;
  char text[96];
  std::snprintf(text, sizeof text, "Objective coefficient %g is not a finite number", found);
  return fail(text);
}

// Replaces objective 0 by the translated object. The object is translated before anything is
// cleared, so that one that cannot be (a variable of another problem, a tree too deep) leaves
// the old objective, and a nonlinear one's auxiliary row and column, in place.
int set_primary(ProblemObject *p, PyObject *obj) {
  RowEntries e;
  double constant = 0.0;
  if (translate_body(p, obj, e, &constant, 0, true) < 0 || require_finite(e, constant, infinity) < 0) return -1;
  if (objective_editable(p) < 0) return -1;
  int ncols = 0;
  if (column_count(p, &ncols) < 0) return -1;

  // Clear the old objective: constant, linear and quadratic parts.
  {
    const int minus_one = -1;
    const double zero = 0.0;
    if (call(KLVOchgobj, "KLVOchgobj", p, p->prob, 1, &minus_one, &zero) != 0) return library_failed(p);
    std::vector<int> idx(static_cast<size_t>(ncols));
    std::vector<double> zeros(static_cast<size_t>(ncols), 0.0);
    for (int j = 0; j < ncols; ++j) idx[j] = j;
    if (ncols > 0 && call(KLVOchgobj, "KLVOchgobj", p, p->prob, ncols, static_cast<const int *>(idx.data()),
                          static_cast<const double *>(zeros.data())) != 0)
      return library_failed(p);
    int64_t nq = 0;
    if (ncols > 0 && call(KLVOgetmqobj64, "KLVOgetmqobj64", p, p->prob, static_cast<int64_t *>(nullptr),
                          static_cast<int *>(nullptr), static_cast<double *>(nullptr), int64_t{0}, &nq, 0,
                          ncols - 1) != 0)
      return library_failed(p);
    if (nq > 0) {
      std::vector<int64_t> start(static_cast<size_t>(ncols) + 1);
      std::vector<int> col2(static_cast<size_t>(nq)), col1(static_cast<size_t>(nq));
      std::vector<double> val(static_cast<size_t>(nq));
      if (call(KLVOgetmqobj64, "KLVOgetmqobj64", p, p->prob, start.data(), col2.data(), val.data(), nq, &nq, 0,
               ncols - 1) != 0)
        return library_failed(p);
      for (int j = 0; j < ncols; ++j)
        for (int64_t k = start[j]; k < start[j + 1]; ++k) col1[k] = j;
      std::fill(val.begin(), val.end(), 0.0);
      if (call(KLVOchgmqobj64, "KLVOchgmqobj64", p, p->prob, nq, static_cast<const int *>(col1.data()),
               static_cast<const int *>(col2.data()), static_cast<const double *>(val.data())) != 0)
        return library_failed(p);
    }
  }
  if (p->nonlin_obj && layer_up(p)) {
    int aux = p->obj_aux_col;
    if (remove_aux(p) < 0) return -1;
    if (aux >= 0) shift_columns_after(e, aux);
  }
  if (constant != 0.0) {
    const int minus_one = -1;
    const double v = -constant;
    if (call(KLVOchgobj, "KLVOchgobj", p, p->prob, 1, &minus_one, &v) != 0) return library_failed(p);
  }
  if (!e.lin_col.empty() &&
      call(KLVOchgobj, "KLVOchgobj", p, p->prob, static_cast<int>(e.lin_col.size()),
           static_cast<const int *>(e.lin_col.data()), static_cast<const double *>(e.lin_val.data())) != 0)
    return library_failed(p);
  if (!e.q_col1.empty() &&
      call(KLVOchgmqobj64, "KLVOchgmqobj64", p, p->prob, static_cast<int64_t>(e.q_col1.size()),
           static_cast<const int *>(e.q_col1.data()), static_cast<const int *>(e.q_col2.data()),
           static_cast<const double *>(e.q_val.data())) != 0)
    return library_failed(p);
  if (!e.f_row.empty()) return install_nonlinear(p, e);
  if (p->obj_aux_col >= 0 && remove_aux(p) < 0) return -1;
  return 0;
}

// Replaces linear objective k > 0.
int set_secondary(ProblemObject *p, PyObject *obj, int k) {
  RowEntries e;
  double constant = 0.0;
  if (translate_body(p, obj, e, &constant, 0, true) < 0 || require_finite(e, constant, HUGE_VAL) < 0) return -1;
  int qelems = 0;
  if (int_attrib(p, KLVO_ATTR_QELEMS, &qelems) < 0) return -1;
  if (!e.q_col1.empty() || !e.f_row.empty() || qelems != 0 || p->nonlin_obj)
    return fail("Quadratic and nonlinear objectives are not supported in multi-objective problems");
  int ncols = 0;
  if (int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &ncols) < 0) return -1;
  std::vector<int> idx(static_cast<size_t>(ncols));
  std::vector<double> zeros(static_cast<size_t>(ncols), 0.0);
  for (int j = 0; j < ncols; ++j) idx[j] = j;
  if (call(KLVOchgobjn, "KLVOchgobjn", p, p->prob, k, ncols, static_cast<const int *>(idx.data()),
           static_cast<const double *>(zeros.data())) != 0)
    return library_failed(p);
  if (!e.lin_col.empty() &&
      call(KLVOchgobjn, "KLVOchgobjn", p, p->prob, k, static_cast<int>(e.lin_col.size()),
           static_cast<const int *>(e.lin_col.data()), static_cast<const double *>(e.lin_val.data())) != 0)
    return library_failed(p);
  if (call(KLVOsetobjdblcontrol, "KLVOsetobjdblcontrol", p, p->prob, k, objctl_constant, constant) != 0)
    return library_failed(p);
  return 0;
}

int objective_step_inner(PyObject *self, PyObject *obj, void *data) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  auto &a = *static_cast<ObjectiveArgs *>(data);
  if (kind_of(obj) == K_INVALID) return fail("Invalid object set as objective");
  int k = a.first + a.count;
  if ((k > 0 ? set_secondary(p, obj, k) : set_primary(p, obj)) < 0) return -1;
  if (set_objective_controls(p, k, a) < 0) return -1;
  ++a.count;
  return 0;
}

int objective_step(PyObject *self, PyObject *obj, void *data) {
  try {
    return objective_step_inner(self, obj, data);
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return -1;
  }
}

// Checks the optional weight and tolerances before anything changes, as the library would
// once the objective is in place: a weight must be finite, a tolerance 0 or more (infinite
// meaning no restriction). False with the exception set.
bool objective_numbers_ok(PyObject *weight, PyObject *abstol, PyObject *reltol) {
  const struct {
    PyObject *value;
    const char *name;
    bool allowance;
  } numbers[] = {{weight, "weight", false}, {abstol, "abstol", true}, {reltol, "reltol", true}};
  for (const auto &n : numbers) {
    if (!given(n.value)) continue;
    double v = PyFloat_AsDouble(n.value);
    if (v == -1.0 && PyErr_Occurred()) return false;
    if (n.allowance ? !(v >= 0) : !std::isfinite(v)) {
      PyErr_Format(g.ModelError, "Objective %s must be %s, not %R", n.name, n.allowance ? "0 or more" : "finite",
                   n.value);
      return false;
    }
  }
  return true;
}

PyObject *problem_setObjective(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kwlist[] = {"objective", "sense", "objidx", "priority", "weight", "abstol", "reltol",
                                       nullptr};
  auto *p = reinterpret_cast<ProblemObject *>(self);
  PyObject *objective = Py_None, *sense = nullptr, *priority = nullptr, *weight = nullptr, *abstol = nullptr,
           *reltol = nullptr;
  int objidx = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OOO&OOOO", const_cast<char **>(kwlist), &objective, &sense,
                                   int32_converter, &objidx, &priority, &weight, &abstol, &reltol))
    return nullptr;
  if (check_priority(priority) < 0) return nullptr;
  if (!objective_numbers_ok(weight, abstol, reltol)) return nullptr;
  if (!p->prob) return fail("Problem is not initialized"), nullptr;
  if (objidx < 0) return fail("Invalid objective index"), nullptr;
  if (require_idle(p, "problem.setObjective") < 0) return nullptr;
  ChangeScope change(p);

  nb::object item;  // the objective taken out of a container
  if (objective != Py_None && Py_TYPE(objective) != &expression_type && kind_of(objective) == K_INVALID) {
    if (PyArray_Check(objective)) {
      if (PyArray_SIZE(reinterpret_cast<PyArrayObject *>(objective)) != 1)
        return fail("Use addObjective to add more than one objective to the problem"), nullptr;
      item = nb::steal(PyArray_GETITEM(
          reinterpret_cast<PyArrayObject *>(objective),
          static_cast<const char *>(PyArray_DATA(reinterpret_cast<PyArrayObject *>(objective)))));
      if (!item) return nullptr;
    } else if (PySequence_Check(objective) && !PyUnicode_Check(objective) && !PyBytes_Check(objective)) {
      Py_ssize_t n = PySequence_Size(objective);
      if (n < 0) return nullptr;
      if (n != 1) return fail("Use addObjective to add more than one objective to the problem"), nullptr;
      item = nb::steal(PySequence_GetItem(objective, 0));
      if (!item) return nullptr;
    }
    if (item) objective = item.ptr();
  }

  int rc = 0;
  if (sense && sense != Py_None) {
    long s = PyLong_AsLong(sense);
    if (s == -1 && PyErr_Occurred()) rc = -1;
    else if (s != 1 && s != -1) {
      PyErr_Format(g.ModelError, "Invalid optimization sense: %ld", s);
      rc = -1;
    } else if (objidx > 0) {
      double current = 0.0;
      if (call(KLVOgetdblattrib, "KLVOgetdblattrib", p, p->prob, static_cast<int>(KLVO_ATTR_OBJSENSE), &current) != 0)
        rc = library_failed(p);
      else if (current != static_cast<double>(s))
        rc = fail("All objectives must have the same sense. To use the opposite sense for secondary objectives, set "
                  "the weight to -1.");
    } else {
      if (call(KLVOchgobjsense, "KLVOchgobjsense", p, p->prob, static_cast<int>(s)) != 0)
        rc = library_failed(p);
      else if (layer_up(p) &&
               call(KSLPsetdblcontrol, "KSLPsetdblcontrol", p, p->slp, nlp_ctl_objsense, static_cast<double>(s)) != 0)
        rc = library_failed(p);
    }
  }
  ObjectiveArgs a{objidx, priority, weight, abstol, reltol, 0};
  if (rc == 0) {
    if (objective == Py_None)
      rc = set_objective_controls(p, objidx, a);
    else
      rc = walk(self, objective, objective_step, &a);
  }
  if (rc != 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *problem_addObjective(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kwlist[] = {"priority", "weight", "abstol", "reltol", nullptr};
  auto *p = reinterpret_cast<ProblemObject *>(self);
  PyObject *priority = nullptr, *weight = nullptr, *abstol = nullptr, *reltol = nullptr;
  nb::object empty = nb::steal(PyTuple_New(0));
  if (!empty || !PyArg_ParseTupleAndKeywords(empty.ptr(), kwargs, "|$OOOO", const_cast<char **>(kwlist), &priority,
                                             &weight, &abstol, &reltol))
    return nullptr;
  if (check_priority(priority) < 0) return nullptr;
  if (!objective_numbers_ok(weight, abstol, reltol)) return nullptr;
  if (!p->prob) return fail("Problem is not initialized"), nullptr;
  int k = 0;
  if (int_attrib(p, KLVO_ATTR_ORIGINALOBJECTIVES, &k) < 0) return nullptr;
  if (k == 1) {
    int qelems = 0, ncols = 0;
    if (int_attrib(p, KLVO_ATTR_QELEMS, &qelems) < 0) return nullptr;
    if (qelems == 0) {
      if (int_attrib(p, KLVO_ATTR_COLS, &ncols) < 0) return nullptr;
      std::vector<double> obj;
      try {
        obj.resize(static_cast<size_t>(ncols));
      } catch (const std::bad_alloc &) {
        return PyErr_NoMemory();
      }
      if (ncols > 0 && call(KLVOgetobj, "KLVOgetobj", p, p->prob, obj.data(), 0, ncols - 1) != 0)
        return library_failed(p), nullptr;
      bool all_zero = true;
      for (double v : obj)
        if (v != 0.0) {
          all_zero = false;
          break;
        }
      if (all_zero) k = 0;
    }
  }
  ObjectiveArgs a{k, priority, weight, abstol, reltol, 0};
  if (walk(self, args, objective_step, &a) != 0) return nullptr;
  Py_RETURN_NONE;
}

}  // namespace

int make_objective_editable(ProblemObject *p) { return objective_editable(p); }

struct AuxParking::Formula {
  RowEntries e;
};

// Copies the formula entries of the auxiliary row into e. -1 with the exception set.
static int take_formula(ProblemObject *p, RowEntries &e) {
  int n = 0, row = p->obj_aux_row;
  if (settle_layer(p) < 0) return -1;
  if (call(KSLPgetcoefs, "KSLPgetcoefs", p, p->slp, &n, static_cast<int *>(nullptr), static_cast<int *>(nullptr)) != 0)
    return library_failed(p);
  std::vector<int> rows(static_cast<size_t>(n) + 1), cols(static_cast<size_t>(n) + 1);
  if (n > 0 && call(KSLPgetcoefs, "KSLPgetcoefs", p, p->slp, &n, rows.data(), cols.data()) != 0)
    return library_failed(p);
  for (int k = 0; k < n; ++k) {
    if (rows[k] != row) continue;
    double factor = 0.0;
    int ntok = 0;
    if (call(KSLPgetcoefformula, "KSLPgetcoefformula", p, p->slp, rows[k], cols[k], &factor, 1, 0, &ntok,
             static_cast<int *>(nullptr), static_cast<double *>(nullptr)) != 0)
      return library_failed(p);
    size_t at = e.tok_type.size();
    e.tok_type.resize(at + static_cast<size_t>(ntok));
    e.tok_val.resize(at + static_cast<size_t>(ntok));
    if (ntok > 0 && call(KSLPgetcoefformula, "KSLPgetcoefformula", p, p->slp, rows[k], cols[k], &factor, 1, ntok,
                         &ntok, e.tok_type.data() + at, e.tok_val.data() + at) != 0)
      return library_failed(p);
    e.f_row.push_back(row);
    e.f_col.push_back(cols[k]);
    e.f_factor.push_back(factor);
    e.f_start.push_back(static_cast<int>(at));
  }
  return 0;
}

AuxParking::AuxParking(ProblemObject *p) : p_(p) {
  if (p->obj_aux_col < 0 || !p->nonlin_obj || !layer_up(p)) return;
  try {
    auto saved = std::make_unique<Formula>();
    int col = p->obj_aux_col;
    if (take_formula(p, saved->e) < 0 || remove_aux(p) < 0) {
      failed_ = true;
      return;
    }
    shift_columns_after(saved->e, col);
    formula_ = saved.release();
  } catch (const std::bad_alloc &) {
    failed_ = true;
    PyErr_NoMemory();
  }
}

AuxParking::~AuxParking() {
  if (!formula_) return;
  std::unique_ptr<Formula> saved(formula_);
  // A new objective set meanwhile (by code the method ran) replaces the parked one.
  if (p_->nonlin_obj || p_->obj_aux_col >= 0 || !p_->prob) return;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (settle_layer(p_) < 0 || install_nonlinear(p_, saved->e) < 0) {
    PyErr_WriteUnraisable(reinterpret_cast<PyObject *>(p_));  // the objective has lost its formula
    p_->nonlin_obj = 0;
  }
  PyErr_Restore(type, value, traceback);
}

PyMethodDef problem_methods_objectives[] = {
    {"setObjective", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_setObjective)),
     METH_VARARGS | METH_KEYWORDS,
     "setObjective(objective=None, sense=None, objidx=0, priority=None, weight=None, abstol=None, reltol=None)\n"
     "Sets objective objidx (0: the main objective, which may be linear, quadratic or nonlinear),\n"
     "the optimization sense and the objective's priority, weight and tolerances."},
    {"addObjective", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_addObjective)),
     METH_VARARGS | METH_KEYWORDS,
     "addObjective(*objectives, priority=None, weight=None, abstol=None, reltol=None)\n"
     "Adds linear objectives after the existing ones; on a problem whose objective is empty the\n"
     "first one replaces it."},
    {nullptr}};

}  // namespace kelvo
