// kelvo.problem: the record, its library handles, its release and the live-problem list.
#include "kelvo/problem.h"
#include "kelvo/problem_methods.h"

#include <vector>

#include <new>

#include "kelvo/environment.h"
#include "kelvo/frame.h"
#include "kelvo/model.h"
#include "kelvo/params.h"

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

int problem_create_handles(ProblemObject *p) {
  if (ensure_library() < 0) return -1;
  int rc = 0;
  p->pending = new (std::nothrow) PendingException();
  if (!p->pending) {
    PyErr_NoMemory();
    goto fail;
  }
  if (new_object_lists(p) < 0) goto fail;
  p->controls = new_control(p, g.control_table);
  p->attributes = p->controls ? new_attribute(p, g.attribute_table, -1) : nullptr;
  p->objattribs = p->attributes ? new_objattrib(p) : nullptr;
  if (!p->objattribs) goto fail;
  p->slp = nullptr;
  reset_counters(p);

  rc = call(KLVOcreateprob, "KLVOcreateprob", p, &p->prob);
  if (rc == 0 && g.nlp_flag != 0) rc = call(KSLPcreateprob, "KSLPcreateprob", p, &p->slp, &p->prob);
  if (rc != 0) {
    // The problem does not exist yet as far as the library is concerned.
    raise_error(nullptr);
    goto fail;
  }
  rc = call(KLVOaddcbmessage, "KLVOaddcbmessage", p, p->prob, problem_message, static_cast<void *>(p), 1);
  if (rc == 0 && p->slp)
    rc = call(KSLPsetcbmessage, "KSLPsetcbmessage", p, p->slp, problem_slp_message, static_cast<void *>(p));
  if (rc != 0) {
    raise_error(reinterpret_cast<PyObject *>(p));
    goto fail;
  }
  return 0;

fail:
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  problem_release(p, true, false);
  PyErr_Clear();
  PyErr_Restore(type, value, traceback);
  return -1;
}

// Reports a failed library call during release without stopping it.
static void release_step(ProblemObject *p, int rc) {
  if (rc != 0) raise_error(reinterpret_cast<PyObject *>(p));
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

void problem_release(ProblemObject *p, bool free_slot, bool reuse) {
  // 1-2. Library side.
  if (g.init_count != 0) {
    if (p->prob)
      release_step(p, call(KLVOremovecbmessage, "KLVOremovecbmessage", p, p->prob, problem_message,
                           static_cast<void *>(p)));
    if (p->slp) release_step(p, call(KSLPdestroyprob, "KSLPdestroyprob", p, p->slp));
    if (p->prob) release_step(p, call(KLVOdestroyprob, "KLVOdestroyprob", p, p->prob));
  }
  p->prob = nullptr;
  p->slp = nullptr;

  // 3. Callback registrations: a record does not own its problem (item 0), so that item is
  // overwritten without being released.
  for (PyObject *&list : p->callbacks) {
    if (!list) continue;
    for (Py_ssize_t i = PyList_GET_SIZE(list) - 1; i >= 0; --i) {
      if (i >= PyList_GET_SIZE(list)) continue;
      PyObject *record = PyList_GET_ITEM(list, i);
      if (PyList_Check(record) && PyList_GET_SIZE(record) > 0) PyList_SET_ITEM(record, 0, Py_NewRef(Py_None));
      if (PyList_SetSlice(list, i, i + 1, nullptr) < 0) PyErr_Clear();
    }
    Py_CLEAR(list);
  }

  // 4. Accessors.
  if (p->controls) Py_SETREF(p->controls, Py_NewRef(Py_None));
  if (p->attributes) Py_SETREF(p->attributes, Py_NewRef(Py_None));
  if (p->objattribs) Py_SETREF(p->objattribs, Py_NewRef(Py_None));

  // 5. Objects, maps and the user-function registry.
  detach_list<VarObject>(p->vars, &var_type, mark_var_deleted, p->var_map != nullptr);
  detach_list<ConstraintObject>(p->cons, &constraint_type, mark_constraint_deleted, p->con_map != nullptr);
  detach_list<SosObject>(p->sos, &sos_type, mark_sos_deleted, p->sos_map != nullptr);
  delete p->var_map;
  delete p->con_map;
  delete p->sos_map;
  p->var_map = p->con_map = p->sos_map = nullptr;
  if (p->user_functions) {
    UserFunctionSet functions;
    functions.swap(*p->user_functions);
    for (PyObject *f : functions) Py_DECREF(f);
  }
  if (reuse) {
    if (new_object_lists(p) < 0) PyErr_Clear();
    reset_counters(p);
  }

  // 6. Pending-exception slot.
  if (free_slot && p->pending) {
    p->pending->clear();
    delete p->pending;
    p->pending = nullptr;
  }
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

static int problem_init(PyObject *, PyObject *, PyObject *) {
  PyErr_SetString(PyExc_NotImplementedError, "Building a kelvo.problem is not implemented yet");
  return -1;
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
  delete p->user_functions;
  p->user_functions = nullptr;
  if (p->prev) p->prev->next = p->next;
  else if (g.live_problems == p) g.live_problems = p->next;
  if (p->next) p->next->prev = p->prev;
  PyObject *module = g.module;
  Py_TYPE(self)->tp_free(self);
  Py_XDECREF(module);
}

PyMethodDef problem_methods_core[] = {{nullptr}};

// Joins the subsystems' method tables into the one the type needs.
static PyMethodDef *joined_problem_methods() {
  static std::vector<PyMethodDef> methods;
  if (methods.empty()) {
    for (PyMethodDef *table : {problem_methods_core, problem_methods_params, problem_methods_variables})
      for (PyMethodDef *m = table; m->ml_name; ++m) methods.push_back(*m);
    methods.push_back(PyMethodDef{nullptr});
  }
  return methods.data();
}

int ready_problem_type() {
  problem_type.tp_name = "kelvo.problem";
  problem_type.tp_basicsize = sizeof(ProblemObject);
  problem_type.tp_flags = Py_TPFLAGS_DEFAULT;
  problem_type.tp_doc = "An optimization problem.";
  problem_type.tp_new = problem_new;
  problem_type.tp_init = problem_init;
  problem_type.tp_dealloc = problem_dealloc;
  problem_type.tp_methods = joined_problem_methods();
  return PyType_Ready(&problem_type);
}

}  // namespace kelvo
