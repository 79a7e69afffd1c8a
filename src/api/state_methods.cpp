// Thin methods for the problem's saved state, logging and messages, directives, delayed rows,
// model cuts, secure vectors and scaling.
#include <nanobind/nanobind.h>

#include <new>

#include "api/convert.h"
#include "model/var.h"
#include "module/frame.h"
#include "module/state.h"

namespace nb = nanobind;

namespace kelvo {

// The layer takes over saving and restoring when the problem has nonlinear content, so that
// its own part goes with the model.
static bool through_layer(const ProblemObject *p) {
  return (p->nonlin_cons != 0 || p->nonlin_obj != 0) && g.nlp_flag == 1 && p->slp;
}

static PyObject *m_dumpcontrols(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {nullptr};
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "", kw, nullptr, 5)) return nullptr;
  if (call(KLVOdumpcontrols, "KLVOdumpcontrols", p, p->prob)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_setlogfile(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"filename", nullptr};
  ProblemObject *p = problem_of(self);
  const char *filename;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "s", kw, nullptr, 5, &filename)) return nullptr;
  if (call(KLVOsetlogfile, "KLVOsetlogfile", p, p->prob, filename)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getmessagestatus(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"msgcode", nullptr};
  static const char *const oldkw[] = {"errcode", nullptr};
  ProblemObject *p = problem_of(self);
  int code, status = 0;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "i", kw, oldkw, 5, &code)) return nullptr;
  if (call(KLVOgetmessagestatus, "KLVOgetmessagestatus", p, p->prob, code, &status)) return check_result(self, nullptr);
  return PyLong_FromLong(status);
}

static PyObject *m_setmessagestatus(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"msgcode", "status", nullptr};
  static const char *const oldkw[] = {"errcode", "status", nullptr};
  ProblemObject *p = problem_of(self);
  int code, status;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "ii", kw, oldkw, 5, &code, &status)) return nullptr;
  if (call(KLVOsetmessagestatus, "KLVOsetmessagestatus", p, p->prob, code, status)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_save(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"filename", nullptr};
  ProblemObject *p = problem_of(self);
  const char *filename = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "|s", kw, nullptr, 5, &filename)) return nullptr;
  int rc;
  if (through_layer(p))
    rc = filename ? call(KSLPsaveas, "KSLPsaveas", p, p->slp, filename) : call(KSLPsave, "KSLPsave", p, p->slp);
  else
    rc = filename ? call(KLVOsaveas, "KLVOsaveas", p, p->prob, filename) : call(KLVOsave, "KLVOsave", p, p->prob);
  if (rc) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_restore(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"probname", "flags", nullptr};
  ProblemObject *p = problem_of(self);
  const char *probname, *flags = "";
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "s|s", kw, nullptr, 5, &probname, &flags)) return nullptr;
  if (require_idle(p, "problem.restore") < 0) return nullptr;
  ChangeScope change(p);
  // Either way the library restores the layer's part too when the problem has a layer.
  int rc = through_layer(p) ? call(KSLPrestore, "KSLPrestore", p, p->slp, probname, flags)
                            : call(KLVOrestore, "KLVOrestore", p, p->prob, probname, flags);
  if (rc) return check_result(self, nullptr);
  // The model was replaced as a whole: its objects are made anew, as after reading a file.
  if (relink_replaced_model(p, problem_unlinked(p), true) < 0) return nullptr;
  Py_RETURN_NONE;
}

// Pickling and copies: a problem travels as its in-memory snapshot (model, names, controls,
// solution, the nonlinear layer's part) and is rebuilt by kelvo.problem() and __setstate__.
// Callbacks, user functions, message settings and the log file stay behind, as with save().
static int keep_bytes(void *ctx, const char *data, size_t size) {
  try {
    static_cast<std::string *>(ctx)->assign(data, size);
  } catch (const std::bad_alloc &) {
    return 1;
  }
  return 0;
}

static PyObject *not_picklable(const char *why) {
  PyErr_Format(PyExc_TypeError, "cannot pickle a problem %s", why);
  return nullptr;
}

static PyObject *m_reduce(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  if (p->parent) return not_picklable("handed to a callback");
  if (problem_unlinked(p)) return not_picklable("that holds unlinked variables, constraints or sets");
  std::string bytes;
  if (call(KLVOsavetomemory, "KLVOsavetomemory", p, p->prob, keep_bytes, static_cast<void *>(&bytes)))
    return check_result(self, nullptr);
  nb::object state = nb::steal(PyBytes_FromStringAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size())));
  if (!state) return nullptr;
  // A nonlinear objective lives in an auxiliary row and column that the snapshot holds as
  // ordinary ones: their indices travel with it, so that they come back as the objective's
  // and not as the user's.
  if (p->nonlin_obj) {
    state = nb::steal(Py_BuildValue("(Oii)", state.ptr(), p->obj_aux_col, p->obj_aux_row));
    if (!state) return nullptr;
  }
  return Py_BuildValue("(O()O)", reinterpret_cast<PyObject *>(Py_TYPE(self)), state.ptr());
}

PyObject *reduce_linked(ProblemObject *owner, const char *getter, uint64_t index) {
  nb::object get = nb::steal(PyObject_GetAttrString(reinterpret_cast<PyObject *>(&problem_type), getter));
  if (!get) return nullptr;
  return Py_BuildValue("(O(OK))", get.ptr(), reinterpret_cast<PyObject *>(owner),
                       static_cast<unsigned long long>(index));
}

// The snapshot of the problem as it is, to put back when a state turns out inconsistent.
static bool snapshot_of(ProblemObject *p, std::string &bytes) {
  return call(KLVOsavetomemory, "KLVOsavetomemory", p, p->prob, keep_bytes, static_cast<void *>(&bytes)) == 0;
}

// Whether the restored model has the objective's auxiliary row and column where the state
// says: the last row and column, the row marked as the objective's by the nonlinear layer.
static int objective_aux_consistent(ProblemObject *p, int col, int row) {
  int cols = 0, rows = 0, status = 0;
  if (read_int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &cols) < 0 || read_int_attrib(p, KLVO_ATTR_ORIGINALROWS, &rows) < 0)
    return -1;
  if (col != cols - 1 || row != rows - 1 || !p->slp) return 0;
  if (call(KSLPgetrowstatus, "KSLPgetrowstatus", p, p->slp, row, &status)) {
    check_result(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  return (status & rowstatus_objective) ? 1 : 0;
}

static PyObject *m_setstate(PyObject *self, PyObject *state) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  PyObject *snapshot = state;
  int aux_col = -1, aux_row = -1;
  if (PyTuple_Check(state) && !PyArg_ParseTuple(state, "Sii;problem.__setstate__ expects (snapshot, column, row)",
                                                &snapshot, &aux_col, &aux_row))
    return nullptr;
  if (!PyBytes_Check(snapshot)) {
    PyErr_Format(PyExc_TypeError, "problem.__setstate__ expects the bytes of a snapshot, not %.100s",
                 Py_TYPE(state)->tp_name);
    return nullptr;
  }
  if (PyTuple_Check(state) && (aux_col < 0 || aux_row < 0))
    return PyErr_Format(PyExc_ValueError, "problem.__setstate__: invalid objective column %d or row %d", aux_col,
                        aux_row);
  if (require_idle(p, "problem.__setstate__") < 0) return nullptr;
  if (problem_unlinked(p)) return not_picklable("that holds unlinked variables, constraints or sets");
  ChangeScope change(p);
  std::string before;
  if (aux_col >= 0 && !snapshot_of(p, before)) return check_result(self, nullptr);
  // The bytes object is immutable and held by the caller for the whole call.
  if (call(KLVOrestorefrommemory, "KLVOrestorefrommemory", p, p->prob, PyBytes_AS_STRING(snapshot),
           static_cast<size_t>(PyBytes_GET_SIZE(snapshot)), ""))
    return check_result(self, nullptr);
  if (aux_col >= 0) {
    int consistent = objective_aux_consistent(p, aux_col, aux_row);
    if (consistent <= 0) {
      // Put the problem back as it was before reporting, keeping the error being reported.
      {
        nb::error_scope reported;
        call(KLVOrestorefrommemory, "KLVOrestorefrommemory", p, p->prob, before.data(), before.size(), "");
        PyErr_Clear();
      }
      if (PyErr_Occurred()) return nullptr;
      return PyErr_Format(PyExc_ValueError,
                          "problem.__setstate__: column %d and row %d are not the objective's in this snapshot",
                          aux_col, aux_row);
    }
  }
  if (relink_replaced_model(p, false, true) < 0) return nullptr;
  if (aux_col >= 0) {
    // The objective's row and column are no objects of the user's.
    if (PyList_SetSlice(p->vars, aux_col, aux_col + 1, nullptr) < 0 ||
        PyList_SetSlice(p->cons, aux_row, aux_row + 1, nullptr) < 0)
      return nullptr;
    p->nonlin_obj = 1;
    p->obj_aux_col = aux_col;
    p->obj_aux_row = aux_row;
  }
  Py_RETURN_NONE;
}

// loaddirs and loadpresolvedirs: every array has one entry per listed column.
template <int (*Fn)(KLVOprob, int, const int *, const int *, const char *, const double *, const double *)>
static PyObject *load_directives(PyObject *self, PyObject *args, PyObject *kwargs, const char *function) {
  static const char *const kw[] = {"colind", "priority", "dir", "uppseudo", "downpseudo", nullptr};
  static const char *const oldkw[] = {"mcols", "mpri", "qbr", "dupc", "ddpc", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind, *priority = nullptr, *dir = nullptr, *up = nullptr, *down = nullptr;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "O|OOOO", kw, oldkw, 5, &colind, &priority, &dir, &up, &down))
    return nullptr;
  LengthSlot n = -1;
  WorkArray cols, prios, dirs, ups, downs;
  int count;
  if (conv_obj2arr(p, &n, colind, ek_col, cols) < 0 || conv_obj2arr(p, &n, priority, ek_int, prios) < 0 ||
      conv_obj2arr(p, &n, dir, ek_char, dirs) < 0 || conv_obj2arr(p, &n, up, ek_real, ups) < 0 ||
      conv_obj2arr(p, &n, down, ek_real, downs) < 0 || array_count(n, &count) < 0)
    return nullptr;
  if (call(Fn, function, p, p->prob, count, cols.as<int>(), prios.as<int>(), dirs.as<char>(), ups.as<double>(),
           downs.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_loaddirs(PyObject *self, PyObject *args, PyObject *kwargs) {
  return load_directives<KLVOloaddirs>(self, args, kwargs, "KLVOloaddirs");
}

static PyObject *m_loadpresolvedirs(PyObject *self, PyObject *args, PyObject *kwargs) {
  return load_directives<KLVOloadpresolvedirs>(self, args, kwargs, "KLVOloadpresolvedirs");
}

static PyObject *m_loadbranchdirs(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"colind", "dir", nullptr};
  static const char *const oldkw[] = {"mcols", "mbranch", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *colind, *dir = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O|O", kw, oldkw, 5, &colind, &dir)) return nullptr;
  LengthSlot n = -1;
  WorkArray cols, dirs;
  int count;
  if (conv_obj2arr(p, &n, colind, ek_col, cols) < 0 || conv_obj2arr(p, &n, dir, ek_int, dirs) < 0 ||
      array_count(n, &count) < 0)
    return nullptr;
  if (call(KLVOloadbranchdirs, "KLVOloadbranchdirs", p, p->prob, count, cols.as<int>(), dirs.as<int>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_getdirs(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"indices", "prios", "branchdirs", "uppseudo", "downpseudo", nullptr};
  static const char *const oldkw[] = {"mcols", "mpri", "qbr", "dupc", "ddpc", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *lists[5];
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "OOOOO", kw, oldkw, 5, &lists[0], &lists[1], &lists[2], &lists[3], &lists[4]))
    return nullptr;
  bool wanted = false;
  for (PyObject *o : lists) wanted = wanted || o != Py_None;
  if (!wanted) {
    PyErr_SetString(g.InterfaceError, "Must provide arguments (as lists) to getdirs");
    return nullptr;
  }
  int count = 0;
  if (call(KLVOgetdirs, "KLVOgetdirs", p, p->prob, &count, nullptr, nullptr, nullptr, nullptr, nullptr))
    return check_result(self, nullptr);
  static const ElemKind kinds[5] = {ek_col, ek_int, ek_char, ek_real, ek_real};
  WorkArray out[5];
  for (int k = 0; k < 5; ++k)
    if (lists[k] != Py_None && count > 0) {
      out[k].data = array_allocator.allocate(elem_width(kinds[k]) * static_cast<size_t>(count));
      if (!out[k].data) return nullptr;
    }
  if (count > 0 && call(KLVOgetdirs, "KLVOgetdirs", p, p->prob, &count, out[0].as<int>(), out[1].as<int>(),
                        out[2].as<char>(), out[3].as<double>(), out[4].as<double>()))
    return check_result(self, nullptr);
  for (int k = 0; k < 5; ++k) {
    if (lists[k] == Py_None) continue;
    if (count == 0) {
      // No directives: the caller's list is emptied.
      if (!PyList_Check(lists[k])) {
        PyErr_SetString(g.ModelError, "Unexpected argument to conv_arr2obj");
        return nullptr;
      }
      if (PyList_SetSlice(lists[k], 0, PyList_GET_SIZE(lists[k]), nullptr) < 0) return nullptr;
    } else if (conv_arr2obj(p, count, out[k], lists[k], kinds[k]) < 0) {
      return nullptr;
    }
  }
  Py_RETURN_NONE;
}

// readdirs and writedirs: one file name.
template <int (*Fn)(KLVOprob, const char *)>
static PyObject *directive_file(PyObject *self, PyObject *args, PyObject *kwargs, const char *function) {
  static const char *const kw[] = {"filename", nullptr};
  ProblemObject *p = problem_of(self);
  const char *filename;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "s", kw, nullptr, 5, &filename)) return nullptr;
  if (call(Fn, function, p, p->prob, filename)) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_readdirs(PyObject *self, PyObject *args, PyObject *kwargs) {
  return directive_file<KLVOreaddirs>(self, args, kwargs, "KLVOreaddirs");
}

static PyObject *m_writedirs(PyObject *self, PyObject *args, PyObject *kwargs) {
  return directive_file<KLVOwritedirs>(self, args, kwargs, "KLVOwritedirs");
}

// loaddelayedrows and loadmodelcuts: a list of rows.
template <int (*Fn)(KLVOprob, int, const int *)>
static PyObject *row_marks(PyObject *self, PyObject *args, PyObject *kwargs, const char *function) {
  static const char *const kw[] = {"rowind", nullptr};
  static const char *const oldkw[] = {"mrows", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowind;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "O", kw, oldkw, 5, &rowind)) return nullptr;
  LengthSlot n = -1;
  WorkArray rows;
  int count;
  if (conv_obj2arr(p, &n, rowind, ek_row, rows) < 0 || array_count(n, &count) < 0) return nullptr;
  if (call(Fn, function, p, p->prob, count, rows.as<int>())) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_loaddelayedrows(PyObject *self, PyObject *args, PyObject *kwargs) {
  return row_marks<KLVOloaddelayedrows>(self, args, kwargs, "KLVOloaddelayedrows");
}

static PyObject *m_loadmodelcuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  return row_marks<KLVOloadmodelcuts>(self, args, kwargs, "KLVOloadmodelcuts");
}

static PyObject *m_loadsecurevecs(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", "colind", nullptr};
  static const char *const oldkw[] = {"mrow", "mcol", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowind, *colind;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, 5, &rowind, &colind)) return nullptr;
  LengthSlot nr = -1, nc = -1;
  WorkArray rows, cols;
  int nrows, ncols;
  if (conv_obj2arr(p, &nr, rowind, ek_row, rows) < 0 || conv_obj2arr(p, &nc, colind, ek_col, cols) < 0 ||
      array_count(nr, &nrows) < 0 || array_count(nc, &ncols) < 0)
    return nullptr;
  if (call(KLVOloadsecurevecs, "KLVOloadsecurevecs", p, p->prob, nrows, ncols, rows.as<int>(), cols.as<int>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *m_scale(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowscale", "colscale", nullptr};
  static const char *const oldkw[] = {"mrscal", "mcscal", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowscale = nullptr, *colscale = nullptr;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "|OO", kw, oldkw, 5, &rowscale, &colscale))
    return nullptr;
  // One factor per row and per column: the slots start at the sizes, so a list of another
  // length is refused before the library reads it.
  int rows, cols;
  if (read_int_attrib(p, KLVO_ATTR_ROWS, &rows) < 0 || read_int_attrib(p, KLVO_ATTR_COLS, &cols) < 0) return nullptr;
  LengthSlot nr = rows, nc = cols;
  WorkArray rowf, colf;
  if (conv_obj2arr(p, &nr, rowscale, ek_real, rowf) < 0 || conv_obj2arr(p, &nc, colscale, ek_real, colf) < 0)
    return nullptr;
  if (call(KLVOscale, "KLVOscale", p, p->prob, rowf.as<double>(), colf.as<double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

PyMethodDef problem_methods_state[] = {
    keywords_method("dumpcontrols", m_dumpcontrols,
                    "dumpcontrols()\nSends 'name = value' for every control away from its default to the message "
                    "callbacks."),
    keywords_method("setlogfile", m_setlogfile,
                    "setlogfile(filename)\nAppends every message of the problem to the file; '' stops the log."),
    keywords_method("getmessagestatus", m_getmessagestatus,
                    "getmessagestatus(msgcode)\n1 when messages with this code are sent, 0 when suppressed."),
    keywords_method("setmessagestatus", m_setmessagestatus,
                    "setmessagestatus(msgcode, status)\nSuppresses (0) or sends again (1) messages with this code."),
    keywords_method("save", m_save,
                    "save(filename=None)\nWrites a snapshot of the whole problem (default '<problem name>.svf')."),
    keywords_method("restore", m_restore,
                    "restore(probname, flags='')\nReplaces the problem by the snapshot '<probname>.svf'."),
    {"__reduce__", m_reduce, METH_NOARGS,
     "__reduce__()\nPickles the problem as its in-memory snapshot: model, names, controls and solution."},
    {"__setstate__", m_setstate, METH_O, "__setstate__(state)\nReplaces the problem by a pickled snapshot."},
    keywords_method("loaddirs", m_loaddirs,
                    "loaddirs(colind, priority=None, dir=None, uppseudo=None, downpseudo=None)\nReplaces the "
                    "branching directives."),
    keywords_method("loadpresolvedirs", m_loadpresolvedirs,
                    "loadpresolvedirs(colind, priority=None, dir=None, uppseudo=None, downpseudo=None)\nReplaces "
                    "the branching directives of the problem as solved."),
    keywords_method("loadbranchdirs", m_loadbranchdirs,
                    "loadbranchdirs(colind, dir=None)\nReplaces the directives by branching directions (>0 up, <0 "
                    "down)."),
    keywords_method("getdirs", m_getdirs,
                    "getdirs(indices, prios, branchdirs, uppseudo, downpseudo)\nFills the lists with the "
                    "directives."),
    keywords_method("readdirs", m_readdirs, "readdirs(filename)\nReplaces the directives by those of a file."),
    keywords_method("writedirs", m_writedirs, "writedirs(filename)\nWrites the directives to a file."),
    keywords_method("loaddelayedrows", m_loaddelayedrows,
                    "loaddelayedrows(rowind)\nMarks these rows (only) as delayed."),
    keywords_method("loadmodelcuts", m_loadmodelcuts, "loadmodelcuts(rowind)\nMarks these rows (only) as model cuts."),
    keywords_method("loadsecurevecs", m_loadsecurevecs,
                    "loadsecurevecs(rowind, colind)\nMarks the rows and columns a presolve must keep."),
    keywords_method("scale", m_scale,
                    "scale(rowscale=None, colscale=None)\nSets the user's row and column scale factors."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
