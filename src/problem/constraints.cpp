// Adding and deleting constraints: problem.addConstraint, delConstraint, and the constraint
// objects made for rows that the low-level row methods add.
#include "problem/problem.h"

#include <new>
#include <string>
#include <vector>

#include "api/convert.h"
#include "model/constraint.h"
#include "model/var.h"
#include "module/frame.h"
#include "module/walk.h"
#include "problem/translate.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

int fail(PyObject *type, const char *message) {
  PyErr_SetString(type, message);
  return -1;
}

int library_failed(ProblemObject *p) {
  raise_error(reinterpret_cast<PyObject *>(p));
  return -1;
}

int row_count(ProblemObject *p, int *rows) {
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, static_cast<int>(KLVO_ATTR_ORIGINALROWS), rows) != 0)
    return library_failed(p);
  return 0;
}

// Grows v's capacity to hold `need` elements: 2048 at first, doubled until enough.
template <class V>
void grow(V &v, size_t need) {
  if (v.capacity() >= need) return;
  size_t cap = v.capacity() < 2048 ? 2048 : v.capacity();
  while (cap < need) cap *= 2;
  v.reserve(cap);
}

// Rows collected for one bulk addition.
struct RowBatch {
  RowEntries e;
  std::vector<int64_t> starts{0};  // one more than the rows
  std::vector<int64_t> qcounts;
  std::vector<double> rhs, range;
  std::vector<char> types;
  std::string names;
  bool named = false;

  int rows() const { return static_cast<int>(types.size()); }
  void clear() {
    e.clear();
    starts.assign(1, 0);
    qcounts.clear();
    rhs.clear();
    range.clear();
    types.clear();
    names.clear();
    named = false;
  }
  // Room for one more row with the counted entries and name; false when memory ran out.
  bool reserve(const EntryCounts &c, size_t name_bytes) {
    try {
      size_t r = types.size() + 1;
      grow(starts, r + 1);
      grow(qcounts, r);
      grow(rhs, r);
      grow(range, r);
      grow(types, r);
      grow(names, names.size() + name_bytes + 1);
      size_t nl = e.lin_col.size() + static_cast<size_t>(c.lin);
      grow(e.lin_col, nl);
      grow(e.lin_val, nl);
      size_t nq = e.q_col1.size() + static_cast<size_t>(c.quad);
      grow(e.q_col1, nq);
      grow(e.q_col2, nq);
      grow(e.q_val, nq);
      size_t nf = e.f_row.size() + static_cast<size_t>(c.formulas);
      grow(e.f_row, nf);
      grow(e.f_col, nf);
      grow(e.f_factor, nf);
      grow(e.f_start, nf + 1);
      size_t nt = e.tok_type.size() + static_cast<size_t>(c.tokens);
      grow(e.tok_type, nt);
      grow(e.tok_val, nt);
      return true;
    } catch (const std::bad_alloc &) {
      return false;
    }
  }
};

// Sends the batch to the library as rows first_row, first_row + 1, ... and empties it.
int flush(ProblemObject *p, RowBatch &b, int *first_row) {
  int n = b.rows();
  if (n == 0) return 0;
  int r0 = 0;
  if (row_count(p, &r0) < 0) return -1;
  int rc = call(KLVOaddrows64, "KLVOaddrows64", p, p->prob, n, static_cast<int64_t>(b.e.lin_col.size()),
                b.types.data(), b.rhs.data(), b.range.data(), b.starts.data(), b.e.lin_col.data(), b.e.lin_val.data());
  if (rc == 0 && b.named)
    rc = call(KLVOaddnames, "KLVOaddnames", p, p->prob, KLVO_NAMES_ROWS, b.names.data(), r0, r0 + n - 1);
  int64_t qoff = 0;
  for (int i = 0; rc == 0 && i < n; ++i) {
    int64_t nq = b.qcounts[i];
    if (nq == 0) continue;
    rc = call(KLVOaddqmatrix64, "KLVOaddqmatrix64", p, p->prob, r0 + i, nq, b.e.q_col1.data() + qoff,
              b.e.q_col2.data() + qoff, b.e.q_val.data() + qoff);
    qoff += nq;
  }
  int nf = static_cast<int>(b.e.f_row.size());
  if (rc == 0 && nf > 0) {
    if (!p->slp) {
      b.clear();
      return fail(g.ModelError, "Nonlinear constraints need the nonlinear solver, which is not available");
    }
    b.e.f_start.push_back(static_cast<int>(b.e.tok_type.size()));
    rc = call(KSLPaddcoefs, "KSLPaddcoefs", p, p->slp, nf, b.e.f_row.data(), b.e.f_col.data(), b.e.f_factor.data(),
              b.e.f_start.data(), 1, b.e.tok_type.data(), b.e.tok_val.data());
    if (rc == 0) ++p->nonlin_cons;
  }
  b.clear();
  if (rc != 0) return library_failed(p);
  *first_row = r0 + n;
  return 0;
}

// Linear entries gathered before a call sends its rows on.
constexpr size_t chunk_entries = size_t{1} << 16;

struct AddContext {
  ProblemObject *p;
  RowBatch batch;
  int next_row;   // library index of the batch's first row
  bool unlinked;  // the problem is in unlinked mode
  tsl::robin_set<PyObject *> seen;  // constraints of this call (linked mode)
  ColumnCache columns;
};

const char *encode_name(PyObject *name, Py_ssize_t *size) {
  if (PyUnicode_Check(name)) return c_text(name, size);
  if (PyBytes_Check(name)) {
    *size = PyBytes_GET_SIZE(name);
    return PyBytes_AS_STRING(name);
  }
  PyErr_SetString(g.ModelError, "Constraint name must be a string");
  return nullptr;
}

int add_one_inner(PyObject *o, void *data) {
  auto &ctx = *static_cast<AddContext *>(data);
  ProblemObject *p = ctx.p;
  RowBatch &b = ctx.batch;
  if (!is_constraint(o)) return fail(g.ModelError, "Invalid constraint");
  ConstraintObject *c = as_con(o);
  if (constraint_deleted(c)) return fail(g.ModelError, "Constraint has been deleted from the problem");
  if (constraint_uninitialised(c)) return fail(g.ModelError, "Constraint is not initialized");
  if (ProblemObject *owner = constraint_owner(c)) {
    PyErr_Format(g.ModelError, "Constraint already added to %s problem", owner == p ? "this" : "another");
    return -1;
  }
  int kind = constraint_kind(c);
  if (!ctx.unlinked && kind == ck_unlinked)
    return fail(g.ModelError, "Constraint cannot be added because it contains unlinked variables");
  if (ctx.unlinked && kind == ck_linked)
    return fail(g.ModelError, "Constraint cannot be added because one or more variables are linked to another problem");
  PyObject *body = constraint_body(c);
  if (!body) return fail(g.ModelError, "Constraint cannot be added because it has no body");
  if (kind == ck_unknown) {
    kind = ctx.unlinked ? ck_unlinked : ck_linked;
    constraint_set_kind(c, kind);
    if (kind == ck_unlinked) constraint_set_index(c, next_constraint_serial());
  }
  if (kind == ck_unlinked) {
    if (p->con_map && p->con_map->find(constraint_index(c)) != p->con_map->end())
      return fail(g.ModelError, "Constraint already added to problem");
  } else if (!ctx.seen.insert(o).second) {
    return fail(g.ModelError, "Constraint already added to this problem");
  }
  if (PyList_Append(p->cons, o) < 0) return -1;

  Py_ssize_t name_size = 0;
  const char *name = nullptr;
  if (PyObject *stored = constraint_stored_name(c)) {
    name = encode_name(stored, &name_size);
    if (!name) return -1;
  }
  if (b.rows() > 0 && b.named != (name != nullptr) && flush(p, b, &ctx.next_row) < 0) return -1;

  EntryCounts counts;
  if (translate_count(p, body, &counts) < 0) return -1;
  if (!b.reserve(counts, static_cast<size_t>(name_size))) {
    if (b.rows() == 0) {
      PyErr_NoMemory();
      return -1;
    }
    if (flush(p, b, &ctx.next_row) < 0) return -1;
    if (!b.reserve(counts, static_cast<size_t>(name_size))) {
      PyErr_NoMemory();
      return -1;
    }
  }
  int row = ctx.next_row + b.rows();
  double constant = 0.0;
  size_t nq_before = b.e.q_col1.size();
  if (translate_body(p, body, b.e, &constant, row, false, &ctx.columns) < 0) return -1;

  double lb = constraint_lb(c), ub = constraint_ub(c);
  double rhs = -constant, range = 0.0;
  char type;
  if (lb <= -infinity && ub >= infinity) {
    type = 'N';
  } else if (lb <= -infinity) {
    type = 'L';
    rhs += ub;
  } else if (ub >= infinity) {
    type = 'G';
    rhs += lb;
  } else if (lb == ub) {
    type = 'E';
    rhs += lb;
  } else {
    type = 'R';
    rhs += ub;
    range = ub - lb;
  }
  b.types.push_back(type);
  b.rhs.push_back(rhs);
  b.range.push_back(range);
  b.starts.push_back(static_cast<int64_t>(b.e.lin_col.size()));
  b.qcounts.push_back(static_cast<int64_t>(b.e.q_col1.size() - nq_before));
  if (name) {
    b.names.append(name, static_cast<size_t>(name_size));
    b.names.push_back('\0');
    b.named = true;
  }
  if (kind == ck_unlinked) {
    try {
      if (!p->con_map) p->con_map = new SerialIndexMap();
      (*p->con_map)[constraint_index(c)] = row;
    } catch (const std::bad_alloc &) {
      return fail(g.ModelError, "Cannot add constraint to problem");
    }
  }
  // A long call sends its rows in chunks: the buffers stay small and warm in the cache instead
  // of being moved to fresh memory as they grow. A later failure still removes every row.
  if (b.e.lin_col.size() >= chunk_entries && flush(p, b, &ctx.next_row) < 0) return -1;
  return 0;
}

int add_one(PyObject *, PyObject *o, void *data) {
  try {
    return add_one_inner(o, data);
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return -1;
  }
}

// Removes what a failed addConstraint added: rows from r0 on, list entries from old_len on
// and their serial ids in the unlinked-constraint map. The pending exception is kept.
void roll_back(ProblemObject *p, int r0, Py_ssize_t old_len) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  int rows = 0;
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, static_cast<int>(KLVO_ATTR_ORIGINALROWS), &rows) == 0 &&
      rows > r0) {
    try {
      std::vector<int> idx(static_cast<size_t>(rows - r0));
      for (int i = 0; i < rows - r0; ++i) idx[i] = r0 + i;
      call(KLVOdelrows, "KLVOdelrows", p, p->prob, rows - r0, static_cast<const int *>(idx.data()));
    } catch (const std::bad_alloc &) {
    }
  }
  Py_ssize_t n = PyList_GET_SIZE(p->cons);
  if (p->con_map)
    for (Py_ssize_t i = old_len; i < n; ++i) {
      ConstraintObject *c = as_con(PyList_GET_ITEM(p->cons, i));
      if (constraint_has_block(c) && constraint_kind(c) == ck_unlinked) p->con_map->erase(constraint_index(c));
    }
  PyList_SetSlice(p->cons, old_len, n, nullptr);
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
}

// addConstraint's work, inside a change scope with the objective's auxiliary rows parked.
PyObject *add_constraints_in_scope(ProblemObject *p, PyObject *args) {
  AddContext ctx{p, {}, 0, problem_unlinked(p), {}, {}};
  Py_ssize_t old_len = PyList_GET_SIZE(p->cons);
  int r0 = 0;
  if (row_count(p, &r0) < 0) return nullptr;
  ctx.next_row = r0;
  int rc = walk(reinterpret_cast<PyObject *>(p), args, add_one, &ctx);
  if (rc == 0) {
    try {
      rc = flush(p, ctx.batch, &ctx.next_row);
    } catch (const std::bad_alloc &) {
      PyErr_NoMemory();
      rc = -1;
    }
  }
  if (rc != 0) {
    if (!PyErr_Occurred()) PyErr_SetString(g.ModelError, "Cannot add constraint to problem");
    roll_back(p, r0, old_len);
    return nullptr;
  }
  if (!p->con_map) {
    Py_ssize_t n = PyList_GET_SIZE(p->cons);
    for (Py_ssize_t i = old_len; i < n; ++i)
      constraint_link(as_con(PyList_GET_ITEM(p->cons, i)), p, r0 + static_cast<int>(i - old_len));
  }
  Py_RETURN_NONE;
}

PyObject *problem_addConstraint(PyObject *self, PyObject *args) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  if (!p->prob) return fail(g.ModelError, "Problem is not initialized"), nullptr;
  if (require_idle(p, "problem.addConstraint") < 0) return nullptr;
  ChangeScope change(p);
  AuxParking parked(p);
  if (parked.failed()) return nullptr;
  return add_constraints_in_scope(p, args);
}

int resolve_constraint(ProblemObject *p, PyObject *o, int *index) {
  if (!is_constraint(o)) return 0;
  ConstraintObject *c = as_con(o);
  if (constraint_deleted(c)) return fail(g.ModelError, "Constraint has been deleted from the problem");
  int row = constraint_row(c, p);
  if (row < 0) return -1;
  *index = row;
  return 1;
}

PyObject *problem_delConstraint(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kwlist[] = {"index", "first", "last", nullptr};
  PyObject *index = nullptr;
  int first = -1, last = -1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO&O&", const_cast<char **>(kwlist), &index, int32_converter, &first,
                                   int32_converter, &last))
    return nullptr;
  return delete_objects(reinterpret_cast<ProblemObject *>(self), del_rows, index, first, last, resolve_constraint);
}

}  // namespace

PyObject *add_constraints(ProblemObject *p, PyObject *args) { return add_constraints_in_scope(p, args); }

PyMethodDef problem_methods_constraints[] = {
    {"addConstraint", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_addConstraint)),
     METH_VARARGS,
     "addConstraint(*constraints)\n"
     "Adds constraints, given singly or in any nesting of lists, tuples, dicts, iterators and\n"
     "arrays, as rows of the problem. Either all of them are added or none."},
    {"delConstraint", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_delConstraint)),
     METH_VARARGS | METH_KEYWORDS,
     "delConstraint(index=None, first=-1, last=-1)\n"
     "Deletes constraints given as objects, indices or names, or the range first..last."},
    {nullptr}};

}  // namespace kelvo
