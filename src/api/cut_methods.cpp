// The cut methods of a problem, meant for callbacks of the library's search: cuts added to
// the current node, the cut pool (cuts as kelvo.poolcut objects), and managed cuts.
#include <algorithm>
#include <climits>
#include <new>
#include <vector>

#include "api/convert.h"
#include "callbacks/callbacks.h"
#include "module/frame.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

// Keyword names older than the current ones are still accepted, with a deprecation.
constexpr int old_names_minor = 6;

bool fits_int(long v, const char *what) {
  if (v >= INT_MIN && v <= INT_MAX) return true;
  PyErr_Format(PyExc_OverflowError, "%s %ld does not fit a 32-bit integer", what, v);
  return false;
}

// A work array of n elements of a kind for the library to fill.
bool allocate(WorkArray &a, int64_t n, ElemKind kind) {
  a.data = array_allocator.allocate(static_cast<size_t>(n > 0 ? n : 1) * elem_width(kind));
  a.count = n;
  return a.data != nullptr;
}

// The arrays that describe cuts: row types first (their number is the cut count), then types,
// right-hand sides, n + 1 starts and the coefficients those give.
struct CutArrays {
  WorkArray types, rowtypes, rhs, starts, cols, coefs;
  int n = 0;
  int64_t ncoefs = 0;

  int convert(ProblemObject *p, PyObject *cuttype, PyObject *rowtype, PyObject *rhs_o, PyObject *start,
              PyObject *colind, PyObject *cutcoef) {
    LengthSlot n_slot = -1;
    if (conv_obj2arr(p, &n_slot, rowtype, ek_char, rowtypes) < 0 || array_count(n_slot, &n) < 0 ||
        conv_obj2arr(p, &n_slot, cuttype, ek_int, types) < 0 || conv_obj2arr(p, &n_slot, rhs_o, ek_real, rhs) < 0)
      return -1;
    if (n == 0) return 0;
    LengthSlot start_slot = static_cast<LengthSlot>(n) + 1;
    if (conv_obj2arr(p, &start_slot, start, ek_int64, starts) < 0) return -1;
    if (!starts.data) return 0;  // the library names what is missing
    ncoefs = starts.as<int64_t>()[n];
    if (ncoefs <= 0) return 0;
    LengthSlot coef_slot = ncoefs;
    return conv_obj2arr(p, &coef_slot, colind, ek_col, cols) < 0 || conv_obj2arr(p, &coef_slot, cutcoef, ek_real, coefs) < 0
               ? -1
               : 0;
  }
};

// Cut handles from a sequence of kelvo.poolcut (None: no array).
int cut_handles(ProblemObject *p, PyObject *obj, WorkArray &out, int *count) {
  LengthSlot slot = -1;
  if (conv_obj2arr(p, &slot, obj, ek_cut, out) < 0) return -1;
  return array_count(slot, count);
}

PyObject *m_addcuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"cuttype", "rowtype", "rhs", "start", "colind", "cutcoef", nullptr};
  static const char *const oldkw[] = {"mtype", "rtype", "rhs", "mstart", "mcols", "dmatval", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *cuttype, *rowtype, *rhs, *start, *colind, *cutcoef;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OOOOOO", kw, oldkw, old_names_minor, &cuttype, &rowtype,
                                               &rhs, &start, &colind, &cutcoef))
    return nullptr;
  CutArrays a;
  if (a.convert(p, cuttype, rowtype, rhs, start, colind, cutcoef) < 0) return nullptr;
  if (call(KLVOaddcuts64, "KLVOaddcuts64", p, p->prob, a.n, a.types.as<const int>(), a.rowtypes.as<const char>(),
           a.rhs.as<const double>(), a.starts.as<const int64_t>(), a.cols.as<const int>(), a.coefs.as<const double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

PyObject *m_storecuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"nodups", "cuttype", "rowtype", "rhs", "start", "cutind", "colind", "cutcoef",
                                   nullptr};
  static const char *const oldkw[] = {"nodupl", "mtype", "rtype", "rhs", "mstart", "mindex", "mcols", "dmatval",
                                      nullptr};
  ProblemObject *p = problem_of(self);
  long nodups;
  PyObject *cuttype, *rowtype, *rhs, *start, *cutind, *colind, *cutcoef;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "lOOOOOOO", kw, oldkw, old_names_minor, &nodups, &cuttype,
                                               &rowtype, &rhs, &start, &cutind, &colind, &cutcoef))
    return nullptr;
  CutArrays a;
  WorkArray handles;
  if (!fits_int(nodups, "nodups") || a.convert(p, cuttype, rowtype, rhs, start, colind, cutcoef) < 0) return nullptr;
  if (!allocate(handles, a.n, ek_cut)) return nullptr;
  if (call(KLVOstorecuts64, "KLVOstorecuts64", p, p->prob, a.n, static_cast<int>(nodups), a.types.as<const int>(),
           a.rowtypes.as<const char>(), a.rhs.as<const double>(), a.starts.as<const int64_t>(), handles.as<KLVOcut>(),
           a.cols.as<const int>(), a.coefs.as<const double>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, a.n, handles, cutind, ek_cut) < 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *m_loadcuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"cuttype", "interp", "cutind", nullptr};
  static const char *const old1[] = {"coltype", "interp", "cutind", nullptr};
  static const char *const old2[] = {"itype", "interp", "cutind", nullptr};
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  long cuttype, interp;
  PyObject *cutind;
  if (!parse_keywords(args, kwargs, "llO", kw, old1, old_names_minor, &cuttype, &interp, &cutind)) {
    // A second set of older names; when it fails too, the error of the current names stands.
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    nb::object t = nb::steal(type), v = nb::steal(value), b = nb::steal(tb);
    if (!parse_keywords(args, kwargs, "llO", old2, nullptr, old_names_minor, &cuttype, &interp, &cutind)) {
      PyErr_Clear();
      PyErr_Restore(t.release().ptr(), v.release().ptr(), b.release().ptr());
      return nullptr;
    }
    if (deprecation(9, old_names_minor,
                    "function called with old argument names: check the documentation for the new argument names") < 0)
      return nullptr;
  }
  WorkArray handles;
  int n;
  if (!fits_int(cuttype, "cuttype") || !fits_int(interp, "interp") || cut_handles(p, cutind, handles, &n) < 0)
    return nullptr;
  if (call(KLVOloadcuts, "KLVOloadcuts", p, p->prob, static_cast<int>(cuttype), static_cast<int>(interp), n,
           handles.as<const KLVOcut>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

PyObject *m_delcuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"basis", "cuttype", "interp", "delta", "cutind", nullptr};
  static const char *const oldkw[] = {"ibasis", "itype", "interp", "delta", "cutind", nullptr};
  ProblemObject *p = problem_of(self);
  long basis, cuttype, interp;
  double delta;
  PyObject *cutind;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "llldO", kw, oldkw, old_names_minor, &basis, &cuttype,
                                               &interp, &delta, &cutind))
    return nullptr;
  WorkArray handles;
  int n;
  if (!fits_int(basis, "basis") || !fits_int(cuttype, "cuttype") || !fits_int(interp, "interp") ||
      cut_handles(p, cutind, handles, &n) < 0)
    return nullptr;
  if (call(KLVOdelcuts, "KLVOdelcuts", p, p->prob, static_cast<int>(basis), static_cast<int>(cuttype),
           static_cast<int>(interp), delta, n, handles.as<const KLVOcut>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

PyObject *m_delcpcuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"cuttype", "interp", "cutind", nullptr};
  static const char *const oldkw[] = {"itype", "interp", "cutind", nullptr};
  ProblemObject *p = problem_of(self);
  long cuttype, interp;
  PyObject *cutind;
  if (require_handle(p) < 0 ||
      !parse_keywords(args, kwargs, "llO", kw, oldkw, old_names_minor, &cuttype, &interp, &cutind))
    return nullptr;
  WorkArray handles;
  int n;
  if (!fits_int(cuttype, "cuttype") || !fits_int(interp, "interp") || cut_handles(p, cutind, handles, &n) < 0)
    return nullptr;
  if (call(KLVOdelcpcuts, "KLVOdelcpcuts", p, p->prob, static_cast<int>(cuttype), static_cast<int>(interp), n,
           handles.as<const KLVOcut>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

PyObject *m_getcutlist(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"cuttype", "interp", "maxcuts", "cutind", nullptr};
  static const char *const oldkw[] = {"itype", "interp", "size", "cutind", nullptr};
  ProblemObject *p = problem_of(self);
  long cuttype, interp, maxcuts;
  PyObject *cutind;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "lllO", kw, oldkw, old_names_minor, &cuttype, &interp,
                                               &maxcuts, &cutind))
    return nullptr;
  if (!fits_int(cuttype, "cuttype") || !fits_int(interp, "interp") || !fits_int(maxcuts, "maxcuts")) return nullptr;
  int count = 0;
  if (call(KLVOgetcutlist, "KLVOgetcutlist", p, p->prob, static_cast<int>(cuttype), static_cast<int>(interp), &count,
           0, static_cast<KLVOcut *>(nullptr)))
    return check_result(self, nullptr);
  int room = std::max(0, std::min(count, static_cast<int>(maxcuts)));
  WorkArray handles;
  if (!allocate(handles, room, ek_cut)) return nullptr;
  if (call(KLVOgetcutlist, "KLVOgetcutlist", p, p->prob, static_cast<int>(cuttype), static_cast<int>(interp), &count,
           room, handles.as<KLVOcut>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, std::min(room, count), handles, cutind, ek_cut) < 0) return nullptr;
  return PyLong_FromLong(count);
}

PyObject *m_getcpcutlist(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"cuttype", "interp", "delta", "maxcuts", "cutind", "viol", nullptr};
  static const char *const oldkw[] = {"itype", "interp", "delta", "size", "cutind", "viol", nullptr};
  ProblemObject *p = problem_of(self);
  long cuttype, interp, maxcuts;
  double delta;
  PyObject *cutind, *viol;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "lldlOO", kw, oldkw, old_names_minor, &cuttype, &interp,
                                               &delta, &maxcuts, &cutind, &viol))
    return nullptr;
  if (!fits_int(cuttype, "cuttype") || !fits_int(interp, "interp") || !fits_int(maxcuts, "maxcuts")) return nullptr;
  int count = 0;
  if (call(KLVOgetcpcutlist, "KLVOgetcpcutlist", p, p->prob, static_cast<int>(cuttype), static_cast<int>(interp), delta,
           &count, 0, static_cast<KLVOcut *>(nullptr), static_cast<double *>(nullptr)))
    return check_result(self, nullptr);
  int room = std::max(0, std::min(count, static_cast<int>(maxcuts)));
  WorkArray handles, violations;
  if (!allocate(handles, room, ek_cut) || !allocate(violations, room, ek_real)) return nullptr;
  if (call(KLVOgetcpcutlist, "KLVOgetcpcutlist", p, p->prob, static_cast<int>(cuttype), static_cast<int>(interp), delta,
           &count, room, handles.as<KLVOcut>(), violations.as<double>()))
    return check_result(self, nullptr);
  int got = std::min(room, count);
  if (conv_arr2obj(p, got, handles, cutind, ek_cut) < 0 || conv_arr2obj(p, got, violations, viol, ek_real) < 0)
    return nullptr;
  return PyLong_FromLong(count);
}

PyObject *m_getcpcuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"rowind", "maxcoefs", "cuttype", "rowtype", "start", "colind", "cutcoef", "rhs",
                                   nullptr};
  static const char *const oldkw[] = {"index", "size", "type", "rtype", "mstart", "mcols", "dmatval", "drhs", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *rowind, *cuttype, *rowtype, *start, *colind, *cutcoef, *rhs;
  long maxcoefs;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OlOOOOOO", kw, oldkw, old_names_minor, &rowind, &maxcoefs,
                                               &cuttype, &rowtype, &start, &colind, &cutcoef, &rhs))
    return nullptr;
  WorkArray handles, types, rowtypes, starts, cols, coefs, rhss;
  int n;
  if (cut_handles(p, rowind, handles, &n) < 0) return nullptr;
  const int64_t room = std::max(0L, maxcoefs);
  if (!allocate(types, n, ek_int) || !allocate(rowtypes, n, ek_char) || !allocate(starts, int64_t(n) + 1, ek_int64) ||
      !allocate(cols, room, ek_int) || !allocate(coefs, room, ek_real) || !allocate(rhss, n, ek_real))
    return nullptr;
  if (call(KLVOgetcpcuts64, "KLVOgetcpcuts64", p, p->prob, handles.as<const KLVOcut>(), n, room, types.as<int>(),
           rowtypes.as<char>(), starts.as<int64_t>(), cols.as<int>(), coefs.as<double>(), rhss.as<double>()))
    return check_result(self, nullptr);
  int64_t ncoefs = starts.as<int64_t>()[n];
  if (conv_arr2obj(p, n, types, cuttype, ek_int) < 0 || conv_arr2obj(p, n, rowtypes, rowtype, ek_char) < 0 ||
      conv_arr2obj(p, int64_t(n) + 1, starts, start, ek_int64) < 0 || conv_arr2obj(p, ncoefs, cols, colind, ek_col) < 0 ||
      conv_arr2obj(p, ncoefs, coefs, cutcoef, ek_real) < 0 || conv_arr2obj(p, n, rhss, rhs, ek_real) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

PyObject *m_getcutmap(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"cutind", "cutmap", nullptr};
  static const char *const oldkw[] = {"cuts", "cutmap", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *cutind, *cutmap;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "OO", kw, oldkw, old_names_minor, &cutind, &cutmap))
    return nullptr;
  WorkArray handles, rows;
  int n;
  if (cut_handles(p, cutind, handles, &n) < 0 || !allocate(rows, n, ek_int)) return nullptr;
  if (call(KLVOgetcutmap, "KLVOgetcutmap", p, p->prob, n, handles.as<const KLVOcut>(), rows.as<int>()))
    return check_result(self, nullptr);
  if (conv_arr2obj(p, n, rows, cutmap, ek_int) < 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *m_getcutslack(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"cutind", nullptr};
  static const char *const oldkw[] = {"cut", nullptr};
  ProblemObject *p = problem_of(self);
  PyObject *cut = nullptr;
  if (require_handle(p) < 0) return nullptr;
  if (!parse_keywords(args, kwargs, "O", kw, oldkw, old_names_minor, &cut) || !PyObject_TypeCheck(cut, &poolcut_type)) {
    PyErr_Clear();
    PyErr_SetString(g.InterfaceError, "getcutslack must be provided a single cut as the only argument");
    return nullptr;
  }
  double slack = 0;
  if (call(KLVOgetcutslack, "KLVOgetcutslack", p, p->prob, static_cast<KLVOcut>(reinterpret_cast<PoolCutObject *>(cut)->handle),
           &slack))
    return check_result(self, nullptr);
  return PyFloat_FromDouble(slack);
}

PyObject *m_addmanagedcuts(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"globalvalid", "rowtype", "rhs", "start", "colind", "cutcoef", nullptr};
  static const char *const oldkw[] = {"globalvalid", "rtype", "rhs", "mstart", "mcols", "dmatval", nullptr};
  ProblemObject *p = problem_of(self);
  long globalvalid;
  PyObject *rowtype, *rhs, *start, *colind, *cutcoef;
  if (require_handle(p) < 0 || !parse_keywords(args, kwargs, "lOOOOO", kw, oldkw, old_names_minor, &globalvalid,
                                               &rowtype, &rhs, &start, &colind, &cutcoef))
    return nullptr;
  CutArrays a;
  if (!fits_int(globalvalid, "globalvalid") || a.convert(p, nullptr, rowtype, rhs, start, colind, cutcoef) < 0)
    return nullptr;
  if (call(KLVOaddmanagedcuts64, "KLVOaddmanagedcuts64", p, p->prob, static_cast<int>(globalvalid), a.n,
           a.rowtypes.as<const char>(), a.rhs.as<const double>(), a.starts.as<const int64_t>(), a.cols.as<const int>(),
           a.coefs.as<const double>()))
    return check_result(self, nullptr);
  Py_RETURN_NONE;
}

}  // namespace

PyMethodDef problem_methods_cuts[] = {
    keywords_method("addcuts", m_addcuts, "Adds cuts to the current node of the search (in a callback)"),
    keywords_method("storecuts", m_storecuts, "Stores cuts in the cut pool; cutind receives their kelvo.poolcut objects"),
    keywords_method("loadcuts", m_loadcuts, "Loads pool cuts into the current node of the search (in a callback)"),
    keywords_method("delcuts", m_delcuts, "Takes cuts out of the current node of the search (in a callback)"),
    keywords_method("delcpcuts", m_delcpcuts, "Removes cuts from the cut pool"),
    keywords_method("getcutlist", m_getcutlist, "The cuts of the current node: their number; cutind receives them"),
    keywords_method("getcpcutlist", m_getcpcutlist,
                    "The pool cuts violated at the callback's solution: their number; cutind and viol receive them"),
    keywords_method("getcpcuts", m_getcpcuts, "The rows of cuts given as kelvo.poolcut objects"),
    keywords_method("getcutmap", m_getcutmap, "The rows of cuts in the current node's relaxation (-1: not there)"),
    keywords_method("getcutslack", m_getcutslack, "The slack of a cut at the callback's solution"),
    keywords_method("addmanagedcuts", m_addmanagedcuts,
                    "Adds cuts the search applies wherever they are violated (globally valid, or in this subtree)"),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
