// kelvo.problem: the record, its library handles, its release and the live-problem list.
#include "problem/problem.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "api/convert.h"
#include "callbacks/callbacks.h"
#include "model/constraint.h"
#include "model/model.h"
#include "model/sos.h"
#include "model/var.h"
#include "module/environment.h"
#include "module/frame.h"
#include "module/walk.h"
#include "numpy/numpy.h"
#include "problem/params.h"
#include "problem/user_functions.h"
#include "api/multistart_methods.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

PyTypeObject problem_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

static void reset_counters(ProblemObject *p) {
  p->cached_attrib_12013 = -1;
  p->obj_aux_col = -1;
  p->obj_aux_row = -1;
  p->nonlin_cons = 0;
  p->nonlin_obj = 0;
}

static int new_object_lists(ProblemObject *p) {
  p->vars = PyList_New(0);
  p->cons = PyList_New(0);
  p->sos = PyList_New(0);
  return p->vars && p->cons && p->sos ? 0 : -1;
}

// The steps of problem_create_handles; -1 with an exception, leaving what was taken.
static int create_handles(ProblemObject *p) {
  p->pending = new (std::nothrow) PendingException();
  if (!p->pending) {
    PyErr_NoMemory();
    return -1;
  }
  if (new_object_lists(p) < 0) return -1;
  // A problem that is reset still holds None in place of its old accessors.
  Py_XSETREF(p->controls, new_control(p, g.control_table));
  Py_XSETREF(p->attributes, p->controls ? new_attribute(p, g.attribute_table, -1) : nullptr);
  Py_XSETREF(p->objattribs, p->attributes ? new_objattrib(p) : nullptr);
  if (!p->objattribs) return -1;
  p->slp = nullptr;
  reset_counters(p);

  // The handles are built aside and published together: another thread holding the problem
  // (a reset runs with the lock released) never starts a call on a half-made one.
  KLVOprob prob = nullptr;
  KSLPprob slp = nullptr;
  int rc = call(KLVOcreateprob, "KLVOcreateprob", p, &prob);
  if (rc == 0 && g.nlp_flag != 0) rc = call(KSLPcreateprob, "KSLPcreateprob", p, &slp, &prob);
  // Exact second derivatives unless the user asks for an approximation.
  if (rc == 0 && slp) rc = call(KSLPsetintcontrol, "KSLPsetintcontrol", p, slp, slp_control_derivatives, 0);
  if (rc != 0) {
    // The problem does not exist yet as far as the library is concerned.
    raise_error(nullptr);
  } else {
    rc = call(KLVOaddcbmessage, "KLVOaddcbmessage", p, prob, problem_message, static_cast<void *>(p), 1);
    if (rc == 0 && slp)
      rc = call(KSLPsetcbmessage, "KSLPsetcbmessage", p, slp, problem_slp_message, static_cast<void *>(p));
    if (rc != 0) raise_handle_error(p, prob, slp);
  }
  // What was made is published either way: the caller's clean-up destroys it.
  p->prob = prob;
  p->slp = slp;
  return rc == 0 ? 0 : -1;
}

int problem_create_handles(ProblemObject *p) {
  if (ensure_library() < 0) return -1;
  if (create_handles(p) == 0) return 0;
  // Release what was taken, keeping the error that stopped it.
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  problem_release(p, true, false);
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
  return -1;
}

// Detaches the objects of one list (marks the linked ones deleted) and drops the list.
template <class Record>
static void detach_list(PyObject *&list, PyTypeObject *type, void (*mark)(Record *), bool has_unlinked_map) {
  if (!list) return;
  if (!has_unlinked_map) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
      PyObject *o = PyList_GET_ITEM(list, i);
      if (PyObject_TypeCheck(o, type)) mark(reinterpret_cast<Record *>(o));
    }
  }
  Py_CLEAR(list);
}

// Detaches the objects (marks the linked ones deleted), drops the lists and maps and empties
// the user-function registry; with reuse, fresh empty lists and counters are put in place.
static void release_objects(ProblemObject *p, bool reuse, bool keep_user_functions = false) {
  detach_list<VarObject>(p->vars, &var_type, mark_var_deleted, p->var_map != nullptr);
  detach_list<ConstraintObject>(p->cons, &constraint_type, mark_constraint_deleted, p->con_map != nullptr);
  detach_list<SosObject>(p->sos, &sos_type, mark_sos_deleted, p->sos_map != nullptr);
  delete p->var_map;
  delete p->con_map;
  delete p->sos_map;
  p->var_map = p->con_map = p->sos_map = nullptr;
  if (!keep_user_functions) user_functions_release(p);
  if (reuse) {
    if (new_object_lists(p) < 0) PyErr_Clear();
    reset_counters(p);
  }
}

// Cuts the registration records of a problem loose from it: a dispatcher that the library
// still calls (while the handles are destroyed) then finds no problem and calls no one. The
// records themselves stay alive until the lists are dropped.
static void disown_records(ProblemObject *p) {
  for (PyObject *list : p->callbacks) {
    if (!list) continue;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
      PyObject *record = PyList_GET_ITEM(list, i);
      if (PyList_Check(record) && PyList_GET_SIZE(record) > 0 && PyList_GET_ITEM(record, 0) != Py_None)
        PyList_SET_ITEM(record, 0, Py_NewRef(Py_None));  // item 0 was not owned
    }
  }
}

ProblemHandles problem_detach_handles(ProblemObject *p) {
  disown_records(p);
  ProblemHandles handles{p->prob, p->slp};
  p->prob = nullptr;
  p->slp = nullptr;
  return handles;
}

void problem_destroy_handles(ProblemObject *p, ProblemHandles handles) {
  if (g.init_count == 0) return;  // the library freed them already
  // A step that fails takes its error from the handle it names, while that is still alive;
  // the first error is raised once the other steps have run. The calls count as the
  // problem's own (require_idle sees them) though it no longer holds the handles.
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);  // an exception already pending stays the first
  auto step = [&](int rc, KLVOprob prob, KSLPprob slp) {
    if (rc == 0) return;
    raise_handle_error(p, prob, slp);
    if (type) PyErr_Clear();
    else PyErr_Fetch(&type, &value, &traceback);
  };
  KLVOprob prob = handles.prob;
  KSLPprob slp = handles.slp;
  if (prob)
    step(call(KLVOremovecbmessage, "KLVOremovecbmessage", p, prob, problem_message, static_cast<void *>(p)),
         prob, nullptr);
  if (slp) step(call(KSLPdestroyprob, "KSLPdestroyprob", p, slp), nullptr, slp);
  if (prob) step(call(KLVOdestroyprob, "KLVOdestroyprob", p, prob), prob, nullptr);
  if (type) PyErr_Restore(type, value, traceback);
}

void problem_release(ProblemObject *p, bool free_slot, bool reuse) {
  // The handles leave the problem before the lock is first released, so that no other thread
  // reaches them while they are destroyed; dispatchers the library still calls meanwhile find
  // no problem (disowned records) and call no one.
  problem_destroy_handles(p, problem_detach_handles(p));

  // Callback registrations, disowned above, now that the library no longer calls them.
  for (PyObject *&list : p->callbacks) {
    if (!list) continue;
    for (Py_ssize_t i = PyList_GET_SIZE(list) - 1; i >= 0; --i) {
      if (i >= PyList_GET_SIZE(list)) continue;
      if (PyList_SetSlice(list, i, i + 1, nullptr) < 0) PyErr_Clear();
    }
    Py_CLEAR(list);
  }
  Py_CLEAR(p->retired_callbacks);
  // The library's jobs went with the nonlinear handle.
  job_objects_release(p);

  // Accessors: one the user still holds no longer reaches this problem.
  detach_accessor(p->controls);
  detach_accessor(p->attributes);
  detach_accessor(p->objattribs);
  if (p->controls) Py_SETREF(p->controls, Py_NewRef(Py_None));
  if (p->attributes) Py_SETREF(p->attributes, Py_NewRef(Py_None));
  if (p->objattribs) Py_SETREF(p->objattribs, Py_NewRef(Py_None));

  // Objects, maps and the user-function registry.
  release_objects(p, reuse);

  // Pending-exception slot.
  if (free_slot && p->pending) {
    p->pending->clear();
    delete p->pending;
    p->pending = nullptr;
  }
}

int require_idle(const ProblemObject *p, const char *method) {
  if (p->solves_running > 0)
    PyErr_Format(g.SolverError, "%s: the problem is being solved", method);
  else if (p->calls_running > 0)
    PyErr_Format(g.SolverError, "%s: the problem is in use by a library call in another thread", method);
  // A change under way (addConstraint reading a generator, say) holds rows or columns by index
  // between library calls: a structural change from user code it runs would shift them.
  else if (p->changes_running > 0)
    PyErr_Format(g.SolverError, "%s: the problem is being changed by another call", method);
  else
    return 0;
  return -1;
}

static PyObject *problem_new(PyTypeObject *type, PyObject *, PyObject *) {
  auto *p = reinterpret_cast<ProblemObject *>(type->tp_alloc(type, 0));
  if (!p) return nullptr;
  reset_counters(p);
  p->output_enabled = 1;
  Py_INCREF(g.module);
  p->next = g.live_problems;
  if (p->next) p->next->prev = p;
  g.live_problems = p;
  return reinterpret_cast<PyObject *>(p);
}

static PyObject *owner_of(ProblemObject *p) { return reinterpret_cast<PyObject *>(p); }

static PyObject *model_error(const char *message) {
  PyErr_SetString(g.ModelError, message);
  return nullptr;
}

static PyObject *not_initialized() { return model_error("Problem is not initialized"); }

// Releases a problem whose construction failed and hands back the exception that stopped it
// (or the global environment's error when there is none).
static int fail_construction(ProblemObject *p) {
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  problem_release(p, true, false);
  PyErr_Clear();
  if (type) PyErr_Restore(type, value, traceback);
  else raise_error(nullptr);
  return -1;
}

// Loads an empty problem of that name with the library's log switched off, then puts the log
// back as it was.
static int load_empty(ProblemObject *p, const char *name) {
  int64_t log = 0;
  int rc = call(KLVOgetintcontrol64, "KLVOgetintcontrol64", p, p->prob, KLVO_CONTROL_OUTPUTLOG, &log);
  if (rc == 0) rc = call(KLVOsetintcontrol64, "KLVOsetintcontrol64", p, p->prob, KLVO_CONTROL_OUTPUTLOG, int64_t{0});
  if (rc == 0) {
    rc = call(KLVOloadlp, "KLVOloadlp", p, p->prob, name, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
              nullptr, nullptr, nullptr, nullptr);
    int rc2 = call(KLVOsetintcontrol64, "KLVOsetintcontrol64", p, p->prob, KLVO_CONTROL_OUTPUTLOG, log);
    if (rc == 0) rc = rc2;
  }
  if (rc != 0) raise_error(owner_of(p));
  return rc == 0 ? 0 : -1;
}

static int set_sense(ProblemObject *p, int sense) {
  int rc = call(KLVOchgobjsense, "KLVOchgobjsense", p, p->prob, sense);
  // The nonlinear layer keeps its own copy of the sense.
  if (rc == 0 && p->slp)
    rc = call(KSLPsetdblcontrol, "KSLPsetdblcontrol", p, p->slp, slp_control_objsense, sense > 0 ? 1.0 : -1.0);
  if (rc != 0) {
    raise_error(owner_of(p));
    return -1;
  }
  return 0;
}

// --- positional elements of the constructor ---------------------------------------------

enum class ElementKind { variable, constraint, sos, objective };

struct FirstLeaf {
  nb::object leaf;
};

static int first_leaf(PyObject *, PyObject *leaf, void *data) {
  static_cast<FirstLeaf *>(data)->leaf = nb::borrow(leaf);
  return 1;
}

// The kind of element a first leaf makes; -1 with an exception for a leaf that is none.
static int classify_leaf(ProblemObject *p, PyObject *leaf, ElementKind *kind) {
  if (is_var(leaf)) {
    VarObject *v = as_var(leaf);
    if (check_var_unlinked(v) < 0) return -1;
    // A variable already in this problem is an objective made of one variable. Any other
    // goes to addVariable, which also warns when the variable is shared.
    bool present = p->var_map && p->var_map->find(var_index(v)) != p->var_map->end();
    *kind = present ? ElementKind::objective : ElementKind::variable;
    return 0;
  }
  if (PyObject_TypeCheck(leaf, &constraint_type)) {
    *kind = ElementKind::constraint;
    return 0;
  }
  if (PyObject_TypeCheck(leaf, &sos_type)) {
    *kind = ElementKind::sos;
    return 0;
  }
  if (PyObject_TypeCheck(leaf, &expression_type) || PyObject_TypeCheck(leaf, &linterm_type) ||
      PyObject_TypeCheck(leaf, &quadterm_type) || PyObject_TypeCheck(leaf, &nonlinear_type)) {
    *kind = ElementKind::objective;
    return 0;
  }
  model_error(
      "Erroneous problem declaration; argument contained object that was not a variable, constraint, or expression");
  return -1;
}

// Hands an element to the method that adds its kind. The adding methods come from their own
// subsystems' method tables; a kind whose subsystem is not built in is refused.
static int add_element(ProblemObject *p, ElementKind kind, PyObject *args) {
  static const char *const methods[] = {"addVariable", "addConstraint", "addSOS", "addObjective"};
  static const char *const what[] = {"variables", "constraints", "special ordered sets", "objectives"};
  int k = static_cast<int>(kind);
  nb::object method = nb::steal(PyObject_GetAttrString(owner_of(p), methods[k]));
  if (!method) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    PyErr_Format(g.ModelError, "Adding %s in the problem declaration is not available yet: problem.%s is missing",
                 what[k], methods[k]);
    return -1;
  }
  nb::object result = nb::steal(PyObject_Call(method.ptr(), args, nullptr));
  return result ? 0 : -1;
}

// Pulls items from an iterator into `taken` until one holds a leaf (found), or the iterator
// ends. 0, or -1 with an exception.
static int pull_until_leaf(ProblemObject *p, PyObject *iterator, PyObject *taken, FirstLeaf &found) {
  for (;;) {
    nb::object item = nb::steal(PyIter_Next(iterator));
    if (!item) return PyErr_Occurred() ? -1 : 0;
    if (PyList_Append(taken, item.ptr()) < 0) return -1;
    int rc = walk(owner_of(p), item.ptr(), first_leaf, &found);
    if (rc != 0) return rc < 0 ? -1 : 0;
  }
}

// One positional element of the constructor: the problem's name or model objects.
static int declare_element(ProblemObject *p, PyObject *element, bool *named) {
  if (PyUnicode_Check(element) || PyBytes_Check(element)) {
    if (*named) return model_error("More than one string passed in problem declaration"), -1;
    *named = true;
    const char *name = c_text(element, nullptr);
    if (!name) return -1;
    if (call(KLVOsetprobname, "KLVOsetprobname", p, p->prob, name) != 0) {
      raise_error(owner_of(p));
      return -1;
    }
    return 0;
  }
  bool iterator = PyIter_Check(element) && !PySequence_Check(element) && !PyDict_Check(element) &&
                  !PyArray_Check(element);
  FirstLeaf found;
  nb::object taken;  // the iterator's items the walk consumed; they are handed on ahead of the rest
  int rc;
  if (iterator) {
    taken = nb::steal(PyList_New(0));
    rc = taken ? pull_until_leaf(p, element, taken.ptr(), found) : -1;
  } else {
    rc = walk(owner_of(p), element, first_leaf, &found);
  }
  if (rc < 0) {
    if (!PyErr_Occurred()) model_error("Error declaring problem");
    return -1;
  }
  // An empty collection declares nothing.
  if (!found.leaf) return 0;
  ElementKind kind;
  if (PyUnicode_Check(found.leaf.ptr()) || PyBytes_Check(found.leaf.ptr()))
    return model_error(
               "Erroneous problem declaration; argument contained object that was not a variable, constraint, or "
               "expression"),
           -1;
  if (classify_leaf(p, found.leaf.ptr(), &kind) < 0) return -1;
  nb::object args;
  if (iterator) {
    if (PyList_Append(taken.ptr(), element) < 0) return -1;
    args = nb::steal(PyList_AsTuple(taken.ptr()));
  } else {
    args = nb::steal(PyTuple_Pack(1, element));
  }
  return args ? add_element(p, kind, args.ptr()) : -1;
}

// Initialisation from the keywords and positional elements; the handle must be null.
static int initialise(ProblemObject *p, PyObject *elements, const char *name, int sense) {
  if (problem_create_handles(p) < 0) return -1;
  if (load_empty(p, name ? name : "noname") < 0) return fail_construction(p);
  if (apply_default_controls(p) < 0) return fail_construction(p);
  if (set_sense(p, sense) < 0) return fail_construction(p);
  bool named = false;
  Py_ssize_t n = elements ? PyTuple_GET_SIZE(elements) : 0;
  for (Py_ssize_t i = 0; i < n; ++i)
    if (declare_element(p, PyTuple_GET_ITEM(elements, i), &named) < 0) return fail_construction(p);
  return 0;
}

static int problem_init(PyObject *self, PyObject *args, PyObject *kwargs) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  if (p->prob) return model_error("Problem is already initialized"), -1;
  static const char *kwlist[] = {"name", "sense", nullptr};
  const char *name = nullptr;
  PyObject *sense_obj = nullptr;
  nb::object empty = nb::steal(PyTuple_New(0));
  if (!empty) return -1;
  if (!PyArg_ParseTupleAndKeywords(empty.ptr(), kwargs, "|$zO", const_cast<char **>(kwlist), &name, &sense_obj))
    return -1;
  long sense = 1;
  if (sense_obj) {
    if (!is_integer(sense_obj)) return model_error("Invalid optimization sense"), -1;
    int overflow = 0;
    nb::object number = nb::steal(PyNumber_Index(sense_obj));
    if (!number) return -1;
    sense = PyLong_AsLongAndOverflow(number.ptr(), &overflow);
    if (overflow) sense = 0;
  }
  if (sense != 1 && sense != -1) return model_error("Invalid optimization sense"), -1;
  return initialise(p, args, name, static_cast<int>(sense));
}

// --- objects for what the library holds -------------------------------------------------

static PyObject *linked_var(ProblemObject *p, int col) {
  return reinterpret_cast<PyObject *>(new_linked_var(p, col));
}

// Appends n new linked objects at indices first.. to a list; -1 with an exception.
static int append_linked(PyObject *list, ProblemObject *p, int first, int n, PyObject *(*make)(ProblemObject *, int)) {
  for (int i = 0; i < n; ++i) {
    nb::object o = nb::steal(make(p, first + i));
    if (!o || PyList_Append(list, o.ptr()) < 0) return -1;
  }
  return 0;
}

static int int_attrib(ProblemObject *p, int id, int *value) {
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, id, value) != 0) {
    raise_error(owner_of(p));
    return -1;
  }
  return 0;
}


// Names of elements from..from+n-1 of a kind, read in chunks of 256; -1 with an exception.
static int read_names(ProblemObject *p, int kind, int from, int n, std::vector<nb::object> &names) {
  int length = 0;
  if (int_attrib(p, KLVO_ATTR_NAMELENGTH, &length) < 0) return -1;
  constexpr int chunk = 256;
  std::string buffer(static_cast<size_t>(chunk) * (8 * static_cast<size_t>(length) + 1), '\0');
  for (int first = from; first < from + n; first += chunk) {
    int last = std::min(from + n, first + chunk) - 1;
    if (call(KLVOgetnames, "KLVOgetnames", p, p->prob, kind, &buffer[0], first, last) != 0) {
      raise_error(owner_of(p));
      return -1;
    }
    const char *text = buffer.c_str();
    for (int i = first; i <= last; ++i) {
      size_t len = strlen(text);
      nb::object name = nb::steal(PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(len), "replace"));
      if (!name) return -1;
      names.push_back(std::move(name));
      text += len + 1;
    }
  }
  return 0;
}

// Appends a new object to a list and enters its serial id in the map (created when absent)
// at the object's position; -1 with an exception.
static int append_unlinked(PyObject *list, SerialIndexMap *&map, PyObject *made, uint64_t serial,
                           const char *failure) {
  nb::object o = nb::steal(made);
  if (!o || PyList_Append(list, o.ptr()) < 0) return -1;
  try {
    if (!map) map = new SerialIndexMap();
    (*map)[serial] = static_cast<int>(PyList_GET_SIZE(list) - 1);
  } catch (const std::bad_alloc &) {
    model_error(failure);
    return -1;
  }
  return 0;
}

// One new unlinked variable per column first..first+cols-1, with its name, bounds and type.
static int read_unlinked_columns(ProblemObject *p, int first, int cols) {
  if (cols == 0) return 0;
  std::vector<nb::object> names;
  std::vector<double> lb(cols), ub(cols);
  std::vector<char> types(cols);
  int last = first + cols - 1;
  if (read_names(p, KLVO_NAMES_COLUMNS, first, cols, names) < 0) return -1;
  if (call(KLVOgetlb, "KLVOgetlb", p, p->prob, lb.data(), first, last) != 0 ||
      call(KLVOgetub, "KLVOgetub", p, p->prob, ub.data(), first, last) != 0 ||
      call(KLVOgetcoltype, "KLVOgetcoltype", p, p->prob, types.data(), first, last) != 0) {
    raise_error(owner_of(p));
    return -1;
  }
  for (int i = 0; i < cols; ++i) {
    VarObject *v = new_unlinked_var(type_of_letter(types[i]), lb[i], ub[i], -infinity);
    if (!v) return -1;
    unlinked_set_name(v, names[i].ptr());
    if (append_unlinked(p->vars, p->var_map, reinterpret_cast<PyObject *>(v), var_index(v),
                        "Could not amend variable map") < 0)
      return -1;
  }
  return 0;
}

// One new unlinked constraint per row first..first+rows-1, with its bounds and name.
static int read_unlinked_rows(ProblemObject *p, int first, int rows) {
  if (rows == 0) return 0;
  std::vector<nb::object> names;
  std::vector<double> rhs(rows), range(rows);
  std::vector<char> types(rows);
  int last = first + rows - 1;
  if (read_names(p, KLVO_NAMES_ROWS, first, rows, names) < 0) return -1;
  if (call(KLVOgetrhs, "KLVOgetrhs", p, p->prob, rhs.data(), first, last) != 0 ||
      call(KLVOgetrhsrange, "KLVOgetrhsrange", p, p->prob, range.data(), first, last) != 0 ||
      call(KLVOgetrowtype, "KLVOgetrowtype", p, p->prob, types.data(), first, last) != 0) {
    raise_error(owner_of(p));
    return -1;
  }
  for (int i = 0; i < rows; ++i) {
    double lb, ub;
    switch (types[i]) {
      case 'E': lb = ub = rhs[i]; break;
      case 'L': lb = -infinity, ub = rhs[i]; break;
      case 'G': lb = rhs[i], ub = infinity; break;
      case 'R': lb = rhs[i] - std::fabs(range[i]), ub = rhs[i]; break;
      default:
        PyErr_Format(g.InterfaceError, "Unexpected constraint type %c in row %d", types[i], first + i);
        return -1;
    }
    PyObject *c = new_unlinked_constraint(lb, ub, names[i].ptr());
    if (!c) return -1;
    uint64_t serial = constraint_index(as_con(c));
    if (append_unlinked(p->cons, p->con_map, c, serial, "Could not amend constraint map") < 0) return -1;
  }
  return 0;
}

// One new unlinked set per set first..first+n-1, with its name, type, weights and, as
// members, the problem's variables at the set's columns.
static int read_unlinked_sets(ProblemObject *p, int first, int n) {
  if (n == 0) return 0;
  int nsets = 0;
  if (call(KLVOgetmipentities64, "KLVOgetmipentities64", p, p->prob, nullptr, &nsets, nullptr, nullptr, nullptr,
           nullptr, nullptr, nullptr, nullptr) != 0) {
    raise_error(owner_of(p));
    return -1;
  }
  std::vector<int64_t> start(static_cast<size_t>(nsets) + 1);
  if (call(KLVOgetmipentities64, "KLVOgetmipentities64", p, p->prob, nullptr, &nsets, nullptr, nullptr, nullptr,
           nullptr, start.data(), nullptr, nullptr) != 0) {
    raise_error(owner_of(p));
    return -1;
  }
  std::vector<char> types(static_cast<size_t>(nsets));
  std::vector<int> members(static_cast<size_t>(start[nsets]));
  std::vector<double> weights(members.size());
  std::vector<nb::object> names;
  if (call(KLVOgetmipentities64, "KLVOgetmipentities64", p, p->prob, nullptr, &nsets, nullptr, nullptr, nullptr,
           types.data(), start.data(), members.data(), weights.data()) != 0) {
    raise_error(owner_of(p));
    return -1;
  }
  if (read_names(p, KLVO_NAMES_SETS, first, n, names) < 0) return -1;
  Py_ssize_t ncols = PyList_GET_SIZE(p->vars);
  for (int k = first; k < first + n; ++k) {
    nb::object indices = nb::steal(PyList_New(0)), refs = nb::steal(PyList_New(0));
    if (!indices || !refs) return -1;
    for (int64_t e = start[k]; e < start[k + 1]; ++e) {
      // Without a variable object at the column (none is ever missing after a read) the
      // column index itself is the member.
      nb::object member = members[e] < ncols ? nb::borrow(PyList_GET_ITEM(p->vars, members[e]))
                                             : nb::steal(PyLong_FromLong(members[e]));
      nb::object weight = nb::steal(PyFloat_FromDouble(weights[e]));
      if (!member || !weight || PyList_Append(indices.ptr(), member.ptr()) < 0 ||
          PyList_Append(refs.ptr(), weight.ptr()) < 0)
        return -1;
    }
    PyObject *s = new_unlinked_sos(types[k] == '2' ? 2 : 1, indices.ptr(), refs.ptr(), names[k - first].ptr());
    if (!s) return -1;
    uint64_t serial = as_sos(s)->index;
    if (append_unlinked(p->sos, p->sos_map, s, serial, "Could not amend SOS map") < 0) return -1;
  }
  return 0;
}

static void problem_dealloc(PyObject *self) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  problem_release(p, true, false);
  if (PyErr_Occurred()) PyErr_WriteUnraisable(self);
  PyErr_Restore(type, value, traceback);

  Py_CLEAR(p->controls);
  Py_CLEAR(p->attributes);
  Py_CLEAR(p->objattribs);
  Py_CLEAR(p->parent);
  user_functions_release(p);
  if (p->prev) p->prev->next = p->next;
  else if (g.live_problems == p) g.live_problems = p->next;
  if (p->next) p->next->prev = p->prev;
  PyObject *module = g.module;
  Py_TYPE(self)->tp_free(self);
  Py_XDECREF(module);
}

// --- methods ------------------------------------------------------------------------------

static PyObject *problem_name(PyObject *self, PyObject *) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  if (!p->prob) return not_initialized();
  int length = 0;
  if (int_attrib(p, KLVO_ATTR_PROBNAMELENGTH, &length) < 0) return nullptr;
  std::string name(static_cast<size_t>(length) + 1, '\0');
  if (call(KLVOgetprobname, "KLVOgetprobname", p, p->prob, &name[0]) != 0) return check_result(self, nullptr);
  return PyUnicode_DecodeUTF8(name.c_str(), static_cast<Py_ssize_t>(strlen(name.c_str())), "replace");
}

static PyObject *problem_str(PyObject *self) { return problem_name(self, nullptr); }

static PyObject *problem_read(PyObject *self, PyObject *args, PyObject *kwargs) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  static const char *kwlist[] = {"filename", "options", "unlinked", nullptr};
  PyObject *path = nullptr;  // the file name in the file-system encoding
  const char *options = "";
  PyObject *unlinked = Py_None;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O&|sO", const_cast<char **>(kwlist), PyUnicode_FSConverter, &path,
                                   &options, &unlinked))
    return nullptr;
  nb::object held = nb::steal(path);
  const char *filename = PyBytes_AS_STRING(path);
  if (!p->prob) return not_initialized();
  if (require_idle(p, "problem.read") < 0) return nullptr;
  ChangeScope change(p);
  bool as_unlinked;
  if (unlinked == Py_None) {
    as_unlinked = problem_unlinked(p);
  } else if (PyBool_Check(unlinked)) {
    as_unlinked = unlinked == Py_True;
    if (as_unlinked && deprecation(9, 5, "unlinked variables and constraints are deprecated") < 0) return nullptr;
  } else {
    return model_error("The unlinked argument must be a Boolean value");
  }
  // Read first: a file the library refuses leaves the model and its objects as they were.
  if (call(KLVOreadprob, "KLVOreadprob", p, p->prob, filename, options) != 0) return check_result(self, nullptr);
  if (relink_replaced_model(p, as_unlinked, false) < 0) return nullptr;
  Py_RETURN_NONE;
}

int relink_replaced_model(ProblemObject *p, bool as_unlinked, bool keep_user_functions) {
  PyObject *self = owner_of(p);
  release_objects(p, true, keep_user_functions);
  if (!p->vars || !p->cons || !p->sos) {
    PyErr_NoMemory();
    return -1;
  }
  int cols = 0, rows = 0, sets = 0;
  if (int_attrib(p, KLVO_ATTR_ORIGINALCOLS, &cols) < 0 || int_attrib(p, KLVO_ATTR_ORIGINALROWS, &rows) < 0 ||
      int_attrib(p, KLVO_ATTR_ORIGINALSETS, &sets) < 0)
    return -1;
  if (p->slp) {
    // Formula entries read with the problem count as nonlinear constraints.
    int formulas = 0, coefficients = 0;
    if (call(KSLPgetintattrib, "KSLPgetintattrib", p, p->slp, slp_attr_formulas, &formulas) != 0 ||
        call(KSLPgetintattrib, "KSLPgetintattrib", p, p->slp, slp_attr_coefficients, &coefficients) != 0) {
      check_result(self, nullptr);
      return -1;
    }
    p->nonlin_cons = formulas + coefficients;
  }
  if (cols == 0 && rows == 0 && sets == 0) return 0;
  if (as_unlinked) {
    return read_unlinked_columns(p, 0, cols) < 0 || read_unlinked_rows(p, 0, rows) < 0 ||
                   read_unlinked_sets(p, 0, sets) < 0
               ? -1
               : 0;
  }
  if (append_linked(p->vars, p, 0, cols, linked_var) < 0 ||
      append_linked(p->cons, p, 0, rows, new_linked_constraint) < 0 || append_linked(p->sos, p, 0, sets, new_linked_sos) < 0)
    return -1;
  return 0;
}

static bool has_nonlinear_content(const ProblemObject *p) { return p->nonlin_cons != 0 || p->nonlin_obj != 0; }

int append_column_objects(ProblemObject *p, int first, int n, bool unlinked) {
  if (unlinked) return read_unlinked_columns(p, first, n);
  return append_linked(p->vars, p, first, n, linked_var);
}

int append_row_objects(ProblemObject *p, int first, int n, bool unlinked) {
  if (unlinked) return read_unlinked_rows(p, first, n);
  return append_linked(p->cons, p, first, n, new_linked_constraint);
}

int append_set_objects(ProblemObject *p, int first, int n, bool unlinked) {
  if (unlinked) return read_unlinked_sets(p, first, n);
  return append_linked(p->sos, p, first, n, new_linked_sos);
}

int clear_problem_objects(ProblemObject *p) {
  release_objects(p, true);
  if (!p->vars || !p->cons || !p->sos) {
    PyErr_NoMemory();
    return -1;
  }
  return 0;
}

static PyObject *problem_write(PyObject *self, PyObject *args, PyObject *kwargs) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  static const char *kwlist[] = {"filename", "flags", nullptr};
  PyObject *path = nullptr;  // the file name in the file-system encoding
  const char *flags = "";
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O&|s", const_cast<char **>(kwlist), PyUnicode_FSConverter, &path,
                                   &flags))
    return nullptr;
  nb::object held = nb::steal(path);
  const char *filename = PyBytes_AS_STRING(path);
  if (!p->prob) return not_initialized();
  int rc;
  if (has_nonlinear_content(p) || strchr(flags, 'g')) {
    // The layer writes the model together with its formulas.
    if (!p->slp) {
      PyErr_SetString(g.InterfaceError, "Writing nonlinear problems needs the nonlinear layer, which is not available");
      return nullptr;
    }
    rc = call(KSLPwriteprob, "KSLPwriteprob", p, p->slp, filename, flags);
  } else {
    rc = call(KLVOwriteprob, "KLVOwriteprob", p, p->prob, filename, flags);
  }
  if (rc != 0) return check_result(self, nullptr);
  Py_RETURN_NONE;
}

static PyObject *problem_reset(PyObject *self, PyObject *) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  if (!p->prob) return not_initialized();
  if (require_idle(p, "problem.reset") < 0) return nullptr;
  // The problem passed to a callback shares its parent's objects and is being solved.
  if (p->parent) {
    PyErr_SetString(g.SolverError, "problem.reset: the problem is being solved");
    return nullptr;
  }
  ChangeScope change(p);  // a solve another thread starts meanwhile is refused
  problem_release(p, true, false);
  if (PyErr_Occurred()) return nullptr;
  if (initialise(p, nullptr, nullptr, 1) < 0) return nullptr;
  Py_RETURN_NONE;
}

// A copy of one of the source's object lists: objects linked to a problem get new objects
// linked to the copy at the same index, any other entry is shared.
static PyObject *copy_list(PyObject *source, ProblemObject *copy, PyObject *(*relink)(PyObject *, ProblemObject *)) {
  Py_ssize_t n = PyList_GET_SIZE(source);
  nb::object list = nb::steal(PyList_New(n));
  if (!list) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *o = relink(PyList_GET_ITEM(source, i), copy);
    if (!o) return nullptr;
    PyList_SET_ITEM(list.ptr(), i, o);
  }
  return list.release().ptr();
}

static bool linked_owner(const void *owner) { return owner && owner != deleted_marker; }

static PyObject *relink_var(PyObject *o, ProblemObject *copy) {
  auto *v = reinterpret_cast<VarObject *>(o);
  if (!PyObject_TypeCheck(o, &var_type) || !linked_owner(v->owner)) return Py_NewRef(o);
  return linked_var(copy, static_cast<int>(v->index_low));
}

static PyObject *relink_constraint(PyObject *o, ProblemObject *copy) {
  auto *c = reinterpret_cast<ConstraintObject *>(o);
  if (!PyObject_TypeCheck(o, &constraint_type) || constraint_slot_count(c) != 0 || !linked_owner(c->link))
    return Py_NewRef(o);
  return new_linked_constraint(copy, static_cast<int>(c->index_low));
}

static PyObject *relink_sos(PyObject *o, ProblemObject *copy) {
  auto *s = reinterpret_cast<SosObject *>(o);
  if (!PyObject_TypeCheck(o, &sos_type) || !linked_owner(s->owner)) return Py_NewRef(o);
  return new_linked_sos(copy, static_cast<int>(s->index));
}

static SerialIndexMap *copy_map(const SerialIndexMap *map, bool *failed) {
  if (!map) return nullptr;
  auto *copy = new (std::nothrow) SerialIndexMap(*map);
  if (!copy) *failed = true;
  return copy;
}

static PyObject *problem_copy(PyObject *self, PyObject *) {
  auto *src = reinterpret_cast<ProblemObject *>(self);
  if (!src->prob) return not_initialized();
  nb::object result = nb::steal(problem_new(Py_TYPE(self), nullptr, nullptr));
  if (!result) return nullptr;
  auto *p = reinterpret_cast<ProblemObject *>(result.ptr());
  bool failed = false;
  if (problem_create_handles(p) < 0 || apply_default_controls(p) < 0) {
    failed = true;
  } else {
    // The layer's formulas and controls come along when both problems have one.
    bool both_slp = p->slp && src->slp;
    int rc = call(KLVOcopyprob, "KLVOcopyprob", src, p->prob, src->prob, "");
    if (rc == 0 && both_slp) rc = call(KSLPcopyprob, "KSLPcopyprob", src, p->slp, src->slp, "");
    // The copied layer calls the source's user-function records: the copy shares them.
    if (rc == 0 && both_slp && user_functions_share(p, src) < 0) failed = true;
    if (rc == 0 && !failed) rc = call(KLVOcopycontrols, "KLVOcopycontrols", src, p->prob, src->prob);
    if (rc == 0 && !failed && both_slp) rc = call(KSLPcopycontrols, "KSLPcopycontrols", src, p->slp, src->slp);
    if (rc != 0) {
      raise_error(self);
      failed = true;
    }
  }
  if (!failed && copy_callbacks(p, src) < 0) failed = true;
  if (!failed) {
    Py_SETREF(p->vars, copy_list(src->vars, p, relink_var));
    Py_SETREF(p->cons, p->vars ? copy_list(src->cons, p, relink_constraint) : nullptr);
    Py_SETREF(p->sos, p->cons ? copy_list(src->sos, p, relink_sos) : nullptr);
    failed = !p->sos;
  }
  if (!failed) {
    p->var_map = copy_map(src->var_map, &failed);
    p->con_map = copy_map(src->con_map, &failed);
    p->sos_map = copy_map(src->sos_map, &failed);
    if (failed) PyErr_NoMemory();
  }
  if (failed) return nullptr;
  p->output_enabled = src->output_enabled;
  p->cached_attrib_12013 = src->cached_attrib_12013;
  p->nonlin_cons = src->nonlin_cons;
  p->nonlin_obj = src->nonlin_obj;
  p->obj_aux_col = src->obj_aux_col;
  p->obj_aux_row = src->obj_aux_row;
  return result.release().ptr();
}

// --- looking objects up ---------------------------------------------------------------------

static long long index_of_constraint(ProblemObject *p, ConstraintObject *c) {
  if (constraint_deleted(c)) return model_error("Constraint has been deleted from the problem"), -1;
  return constraint_row(c, p);
}

static PyObject *problem_getindex(PyObject *self, PyObject *obj) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  if (!p->prob) return not_initialized();
  long long index;
  if (is_var(obj)) index = var_column(as_var(obj), p);
  else if (PyObject_TypeCheck(obj, &constraint_type))
    index = index_of_constraint(p, reinterpret_cast<ConstraintObject *>(obj));
  else if (PyObject_TypeCheck(obj, &sos_type)) index = sos_index(as_sos(obj), p);
  else return model_error("Incorrect object(s) passed: need variable, constraint, or SOS");
  return index < 0 ? nullptr : PyLong_FromLongLong(index);
}

struct IndexCollector {
  PyObject *list;    // the problem's list
  PyObject *result;  // the objects found
};

static int collect_index(PyObject *, PyObject *leaf, void *data) {
  auto *c = static_cast<IndexCollector *>(data);
  if (!is_integer(leaf) || PyBool_Check(leaf)) return model_error("Error in index list(s): must contain only integers"), -1;
  Py_ssize_t i = PyNumber_AsSsize_t(leaf, PyExc_IndexError);
  if (i == -1 && PyErr_Occurred()) return -1;
  if (i < 0 || i >= PyList_GET_SIZE(c->list)) {
    PyErr_SetString(PyExc_IndexError, "list index out of range");
    return -1;
  }
  return PyList_Append(c->result, PyList_GET_ITEM(c->list, i));
}

// getVariable, getConstraint and getSOS over one of the problem's lists.
static PyObject *get_objects(PyObject *self, PyObject *args, PyObject *kwargs, PyObject *ProblemObject::*member) {
  auto *p = reinterpret_cast<ProblemObject *>(self);
  static const char *kwlist[] = {"index", "first", "last", nullptr};
  PyObject *index = Py_None;
  long long first = -1, last = -1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OLL", const_cast<char **>(kwlist), &index, &first, &last))
    return nullptr;
  if (!p->prob) return not_initialized();
  PyObject *list = p->*member;
  Py_ssize_t n = PyList_GET_SIZE(list);
  if (index != Py_None) {
    if (first >= 0 || last >= 0)
      return model_error("Parameters 'first' and 'last' cannot be specified if 'index' is also specified");
    if (is_integer(index) && !PyBool_Check(index)) {
      Py_ssize_t i = PyNumber_AsSsize_t(index, PyExc_IndexError);
      if (i == -1 && PyErr_Occurred()) return nullptr;
      if (i < 0 || i >= n) {
        PyErr_SetString(PyExc_IndexError, "list index out of range");
        return nullptr;
      }
      return Py_NewRef(PyList_GET_ITEM(list, i));
    }
    nb::object result = nb::steal(PyList_New(0));
    if (!result) return nullptr;
    IndexCollector c{list, result.ptr()};
    if (walk(self, index, collect_index, &c) != 0) return nullptr;
    return result.release().ptr();
  }
  if (first < 0 && last < 0) return PyList_GetSlice(list, 0, n);
  if (first < 0 || last < 0) return model_error("Parameters 'first' and 'last' must be both nonnegative when specified");
  if (first >= n || last >= n) return model_error("Parameters 'first' and 'last' are out of range");
  // first > last gives an empty list.
  return PyList_GetSlice(list, static_cast<Py_ssize_t>(first), static_cast<Py_ssize_t>(last) + 1);
}

static PyObject *problem_getvariable(PyObject *self, PyObject *args, PyObject *kwargs) {
  return get_objects(self, args, kwargs, &ProblemObject::vars);
}
static PyObject *problem_getconstraint(PyObject *self, PyObject *args, PyObject *kwargs) {
  return get_objects(self, args, kwargs, &ProblemObject::cons);
}
static PyObject *problem_getsos(PyObject *self, PyObject *args, PyObject *kwargs) {
  return get_objects(self, args, kwargs, &ProblemObject::sos);
}

static PyObject *problem_getoutputenabled(PyObject *self, PyObject *) {
  return PyBool_FromLong(reinterpret_cast<ProblemObject *>(self)->output_enabled);
}

static PyObject *problem_setoutputenabled(PyObject *self, PyObject *flag) {
  if (!is_integer(flag)) return model_error("Incorrect argument in setOutputEnabled: should be True or False");
  int truth = PyObject_IsTrue(flag);
  if (truth < 0) return nullptr;
  reinterpret_cast<ProblemObject *>(self)->output_enabled = truth;
  Py_RETURN_NONE;
}

// A problem built for a callback makes its accessors on first use, from its parent's tables:
// most callbacks never look at them, and the problem is built for every call.
static PyObject *accessor(ProblemObject *p, PyObject *ProblemObject::*field) {
  PyObject *&a = p->*field;
  if (!a && p->parent && p->prob) {
    if (field == &ProblemObject::controls) {
      PyObject *pc = p->parent->controls;
      a = new_control(p, pc && PyObject_TypeCheck(pc, &control_type) ? reinterpret_cast<ControlObject *>(pc)->dict
                                                                      : g.control_table);
    } else if (field == &ProblemObject::attributes) {
      PyObject *pa = p->parent->attributes;
      a = new_attribute(p, pa && PyObject_TypeCheck(pa, &attribute_type) ? reinterpret_cast<AttributeObject *>(pa)->table
                                                                          : g.attribute_table,
                        -1);
    } else {
      a = new_objattrib(p);
    }
    if (!a) return nullptr;
  }
  return Py_NewRef(a ? a : Py_None);
}

static PyObject *problem_getcontrols(PyObject *self, void *) { return accessor(problem_of(self), &ProblemObject::controls); }
static PyObject *problem_getattributes(PyObject *self, void *) {
  return accessor(problem_of(self), &ProblemObject::attributes);
}
static PyObject *problem_getobjattribs(PyObject *self, void *) {
  return accessor(problem_of(self), &ProblemObject::objattribs);
}

static PyGetSetDef problem_getset[] = {
    {"controls", problem_getcontrols, nullptr, "The problem's controls by name.", nullptr},
    {"attributes", problem_getattributes, nullptr, "The problem's attributes by name.", nullptr},
    {"objattribs", problem_getobjattribs, nullptr, "The attributes of each objective.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

template <class F>
static PyCFunction keywords_method(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

PyMethodDef problem_methods_core[] = {
    {"name", problem_name, METH_NOARGS, "The problem's name."},
    {"read", keywords_method(problem_read), METH_VARARGS | METH_KEYWORDS,
     "Reads a problem file (MPS or LP) into this problem: filename, options='', unlinked=None."},
    {"write", keywords_method(problem_write), METH_VARARGS | METH_KEYWORDS,
     "Writes the problem to a file (MPS, or LP with the flag 'l'): filename, flags=''."},
    {"reset", problem_reset, METH_NOARGS, "Empties the problem; its old objects are marked deleted."},
    {"copy", problem_copy, METH_NOARGS, "A new problem with the same model, controls and objects at the same indices."},
    {"getIndex", problem_getindex, METH_O, "The index of a variable (column), constraint (row) or SOS (set)."},
    {"getVariable", keywords_method(problem_getvariable), METH_VARARGS | METH_KEYWORDS,
     "Variables by index, by a list of indices, by first and last (both included), or all of them."},
    {"getConstraint", keywords_method(problem_getconstraint), METH_VARARGS | METH_KEYWORDS,
     "Constraints by index, by a list of indices, by first and last (both included), or all of them."},
    {"getSOS", keywords_method(problem_getsos), METH_VARARGS | METH_KEYWORDS,
     "Special ordered sets by index, by a list of indices, by first and last (both included), or all of them."},
    {"getOutputEnabled", problem_getoutputenabled, METH_NOARGS, "Whether this problem's solver messages are printed."},
    {"setOutputEnabled", problem_setoutputenabled, METH_O, "Turns the printing of this problem's messages on or off."},
    {nullptr, nullptr, 0, nullptr},
};


// Joins the subsystems' method tables into the one the type needs.
static PyMethodDef *joined_problem_methods() {
  static std::vector<PyMethodDef> methods;
  if (methods.empty()) {
    for (PyMethodDef *table : {problem_methods_core, problem_methods_params, problem_methods_variables,
                              problem_methods_constraints, problem_methods_sets, problem_methods_objectives, problem_methods_solve,
                              problem_methods_matrix, problem_methods_entities, problem_methods_solution,
                              problem_methods_state, problem_methods_analysis, problem_methods_arraysized,
                              problem_methods_nlp, problem_methods_slp, problem_methods_multistart, problem_methods_cuts,
                              problem_methods_branching,
                              callback_methods()})
      for (PyMethodDef *m = table; m->ml_name; ++m) methods.push_back(*m);
    methods.push_back(PyMethodDef{nullptr});
  }
  return methods.data();
}

int ready_problem_type() {
  problem_type.tp_name = "kelvo.problem";
  problem_type.tp_basicsize = sizeof(ProblemObject);
  problem_type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  problem_type.tp_doc = "An optimization problem.";
  problem_type.tp_new = problem_new;
  problem_type.tp_init = problem_init;
  problem_type.tp_dealloc = problem_dealloc;
  problem_type.tp_str = problem_str;
  problem_type.tp_getset = problem_getset;
  problem_type.tp_methods = joined_problem_methods();
  return PyType_Ready(&problem_type);
}

}  // namespace kelvo
