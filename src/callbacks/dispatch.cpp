// Dispatch: the functions the library calls for each event. Each takes the interpreter lock,
// builds a problem object standing for the library problem of the callback, calls the user's
// callable with the event's arguments, and writes the result into the library's
// out-parameters. A failure parks the exception on the user's problem and stops the solve;
// the solving method raises it when the library returns.
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "api/multistart_methods.h"
#include "callbacks/callbacks.h"
#include "module/frame.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

namespace {

// Reason given to the library when a callback failed and the solve must stop.
constexpr int interrupt_by_callback = 7;
// The nonlinear layer's attribute holding its main problem handle.
constexpr int slp_attr_mainproblem = 12601;
// The nonlinear layer's message event.
constexpr int slp_message_kind = first_nonlinear_kind + 18;
// The multistart events.
constexpr int msjobend_kind = first_nonlinear_kind + 11;
constexpr int msjobstart_kind = first_nonlinear_kind + 12;
constexpr int mswinner_kind = first_nonlinear_kind + 13;

PyObject *new_problem_object() { return problem_type.tp_new(&problem_type, nullptr, nullptr); }

// Empties a problem object built for a callback: it lets go of the handles and of everything
// it shares with its parent, so that releasing it touches nothing of theirs. A reference the
// user kept now names a problem without a handle, which every method refuses.
void empty_callback_problem(ProblemObject *cb) {
  cb->prob = nullptr;
  cb->slp = nullptr;
  // Jobs added to a job's own problem never run: that problem ends with its job.
  if (cb->job_objects) job_objects_release(cb);
  Py_CLEAR(cb->vars);
  Py_CLEAR(cb->cons);
  Py_CLEAR(cb->sos);
  // Maps and accessors exist only when the parent had maps or the callback used accessors:
  // the usual dispatch has none and passes with one test.
  if (cb->var_map || cb->con_map || cb->sos_map) {
    delete cb->var_map;
    delete cb->con_map;
    delete cb->sos_map;
    cb->var_map = cb->con_map = cb->sos_map = nullptr;
  }
  // Accessors are its own, made on first use; one the user kept no longer reaches it.
  if (cb->controls || cb->attributes || cb->objattribs) {
    for (PyObject **a : {&cb->controls, &cb->attributes, &cb->objattribs}) {
      detach_accessor(*a);
      Py_CLEAR(*a);
    }
  }
  Py_CLEAR(cb->parent);
}

// A callback problem nobody kept, emptied, for the next dispatch to fill instead of allocating
// one (the interpreter lock guards it).
ProblemObject *spare = nullptr;

// Lets go of a callback problem after its call: emptied, then kept as the spare when the
// user holds no reference to it and there is none yet.
void retire_callback_problem(ProblemObject *cb) {
  empty_callback_problem(cb);
  if (!spare && Py_REFCNT(cb) == 1 && !cb->user_functions) spare = cb;
  else Py_DECREF(cb);
}

// A copy of one of the parent's unlinked maps; false when memory ran out.
bool copy_map(SerialIndexMap *&to, const SerialIndexMap *from) {
  if (!from) return true;
  to = new (std::nothrow) SerialIndexMap();
  if (!to) return false;
  try {
    *to = *from;
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

// A problem object standing for library problem `prob` inside a callback of `parent`: it
// shares the parent's object lists and copies its maps. Its callback lists are the parent's,
// read through the parent (copy_callbacks) rather than shared on every call. Null with an
// exception.
ProblemObject *new_callback_problem(ProblemObject *parent, KLVOprob prob, KSLPprob slp) {
  nb::object o = spare ? nb::steal(reinterpret_cast<PyObject *>(std::exchange(spare, nullptr)))
                       : nb::steal(new_problem_object());
  if (!o) return nullptr;
  auto *cb = problem_of(o.ptr());
  cb->prob = prob;
  cb->slp = slp;
  cb->parent = reinterpret_cast<ProblemObject *>(Py_NewRef(parent));
  cb->vars = Py_XNewRef(parent->vars);
  cb->cons = Py_XNewRef(parent->cons);
  cb->sos = Py_XNewRef(parent->sos);
  if ((parent->var_map || parent->con_map || parent->sos_map) &&
      (!copy_map(cb->var_map, parent->var_map) || !copy_map(cb->con_map, parent->con_map) ||
       !copy_map(cb->sos_map, parent->sos_map))) {
    empty_callback_problem(cb);
    PyErr_NoMemory();
    return nullptr;
  }
  cb->output_enabled = 1;
  cb->cached_attrib_12013 = -1;
  cb->obj_aux_col = cb->obj_aux_row = -1;
  cb->nonlin_cons = cb->nonlin_obj = 0;
  return reinterpret_cast<ProblemObject *>(o.release().ptr());
}

class Dispatch;
// The innermost dispatch under way on this thread.
thread_local Dispatch *current_dispatch = nullptr;

// One call of a user's callback: the constructor takes the interpreter lock and builds the
// callback problem, call() calls the user, and the destructor parks a failure on the user's
// problem, stops the solve, lets go of the callback problem and releases the lock.
class Dispatch {
 public:
  // name: the dispatcher's name in messages, when it is not that of the kind.
  Dispatch(int kind, KLVOprob prob, KSLPprob slp, void *record, const char *name = nullptr)
      : kind_(kind), name_(name), prob_(prob), slp_(slp) {
    if (slp_) {
      void *main = nullptr;
      if (KSLPgetptrattrib(slp_, slp_attr_mainproblem, &main) == 0 && main) prob_ = static_cast<KLVOprob>(main);
    }
    if (PyErr_Occurred()) {
      // Not ours to report to the user's problem: it is dropped with a warning below.
      failed_ = true;
      interrupt();
      return;
    }
    // The record is held by the registration, or by the retired list once removed during the
    // solve; its items are read before anything can run Python.
    auto *r = static_cast<PyObject *>(record);
    if (!PyList_Check(r) || PyList_GET_SIZE(r) <= record_data) {
      failed_ = true;
      return;
    }
    PyObject *parent = PyList_GET_ITEM(r, record_problem);
    // A registration removed, or whose problem was released, after the library chose to
    // call it: there is no one to call.
    if (parent == Py_None || Py_REFCNT(parent) <= 0) return;
    if (!is_problem(parent)) {
      failed_ = true;
      return;
    }
    callable_ = nb::borrow(PyList_GET_ITEM(r, record_callable));
    data_ = nb::borrow(PyList_GET_ITEM(r, record_data));
    cb_ = new_callback_problem(problem_of(parent), prob_, slp_);
    if (!cb_) {
      failed_ = true;
      interrupt();
      return;
    }
    current_ = &current_dispatch;
    previous_ = std::exchange(*current_, this);
  }

  ~Dispatch() {
    if (current_) *current_ = previous_;
    if (failed_) report();
    if (cb_) retire_callback_problem(cb_);
    callable_.reset();
    data_.reset();
  }

  Dispatch(const Dispatch &) = delete;
  Dispatch &operator=(const Dispatch &) = delete;

  // Calls the user with (problem, data, extra...); the result, or null when the user was not
  // called or raised (failed() tells which).
  template <class... Extra>
  nb::object call(const Extra &...extra) {
    if (!cb_) return nb::object();
    if (!(extra.ptr() && ...)) {
      failed_ = true;
      return nb::object();
    }
    // The leading free slot lets a bound method put its object there instead of copying.
    PyObject *args[] = {nullptr, reinterpret_cast<PyObject *>(cb_), data_.ptr(), extra.ptr()...};
    size_t n = (2 + sizeof...(Extra)) | PY_VECTORCALL_ARGUMENTS_OFFSET;
    nb::object result = nb::steal(PyObject_Vectorcall(callable_.ptr(), args + 1, n, nullptr));
    if (!result) failed_ = true;
    return result;
  }

  // A result of the wrong shape.
  void fail(const char *message) {
    PyErr_SetString(g.InterfaceError, message);
    failed_ = true;
  }
  // A failure whose exception is already set.
  void fail_pending() { failed_ = true; }

  bool failed() const { return failed_; }
  ProblemObject *problem() const { return cb_; }
  Dispatch *previous() const { return previous_; }

 private:
  void interrupt() {
    if (slp_) KSLPinterrupt(slp_, interrupt_by_callback);
    else if (prob_) KLVOinterrupt(prob_, interrupt_by_callback);
  }

  // Parks the exception on the user's problem (or drops it with a warning when there is no
  // room or no problem) and stops the solve.
  void report() {
    if (!PyErr_Occurred()) PyErr_SetString(g.InterfaceError, "Unknown problem in callback");
    char function[64];
    snprintf(function, sizeof function, "%s callback", name_ ? name_ : callback_kind_table[kind_].name);
    // The solving method runs on the user's handle; a thread problem of a parallel search
    // has another, which the method would not recognise.
    pre_call(cb_, function, cb_ && cb_->parent ? cb_->parent->prob : prob_);
    if (cb_) interrupt();
  }

  int kind_;
  const char *name_;
  KLVOprob prob_;
  KSLPprob slp_;
  // Taken first and released last, after everything below.
  LockTaken lock_;
  // This thread's current-dispatch slot, looked up once (each lookup is a library call here);
  // set once this dispatch is the thread's current one.
  Dispatch **current_ = nullptr;
  nb::object callable_, data_;
  ProblemObject *cb_ = nullptr;
  bool failed_ = false;
  Dispatch *previous_ = nullptr;
};

nb::object integer(long v) { return nb::steal(PyLong_FromLong(v)); }

nb::object text(const char *s) {
  if (!s) return nb::none();
  return nb::steal(PyUnicode_DecodeUTF8(s, static_cast<Py_ssize_t>(strlen(s)), "replace"));
}

// An integer result: an int (or NumPy signed integer) gives its value, None 0, anything else -1.
int integer_rule(PyObject *r) {
  if (r == Py_None) return 0;
  if (!is_integer(r)) return -1;
  nb::object number = nb::steal(PyNumber_Index(r));
  int overflow = 0;
  long v = number ? PyLong_AsLongAndOverflow(number.ptr(), &overflow) : -1;
  if (!number || (v == -1 && PyErr_Occurred())) {
    PyErr_Clear();
    return -1;
  }
  if (overflow || v < INT_MIN || v > INT_MAX) return -1;
  return static_cast<int>(v);
}

bool is_number(PyObject *o) { return is_integer(o) || PyFloat_Check(o); }

// The value of a number result as a double; false with an exception.
bool number_value(PyObject *o, double *v) {
  *v = PyFloat_AsDouble(o);
  return !(*v == -1.0 && PyErr_Occurred());
}

// ---- main library events

void d_bariteration(KLVOprob prob, void *data, int *action) {
  Dispatch d(KLVO_CB_BARITERATION, prob, nullptr, data);
  if (nb::object r = d.call()) *action = integer_rule(r.ptr());
}

// Log events: the integer rule gives the return value; a failure stops the solve.
template <int Kind>
int d_log(KLVOprob prob, void *data) {
  Dispatch d(Kind, prob, nullptr, data);
  nb::object r = d.call();
  return r ? integer_rule(r.ptr()) : d.failed() ? 1 : 0;
}

// Events that only tell: the result is ignored.
template <int Kind>
void d_notify(KLVOprob prob, void *data) {
  Dispatch d(Kind, prob, nullptr, data);
  d.call();
}

void d_chgbranchobject(KLVOprob prob, void *data, KLVObranchobject branch, KLVObranchobject *newbranch) {
  Dispatch d(KLVO_CB_CHGBRANCHOBJECT, prob, nullptr, data);
  if (!d.problem()) return;
  nb::object candidate = nb::none();
  if (branch) {
    candidate = nb::steal(branchobj_type.tp_alloc(&branchobj_type, 0));
    if (!candidate) {
      d.call(candidate);  // records the failure
      return;
    }
    auto *b = reinterpret_cast<BranchObject *>(candidate.ptr());
    b->handle = branch;
    b->problem = Py_NewRef(reinterpret_cast<PyObject *>(d.problem()));
    b->original_space = 1;
  }
  nb::object r = d.call(candidate);
  // The library's object is not the user's to keep.
  if (branch) reinterpret_cast<BranchObject *>(candidate.ptr())->handle = nullptr;
  if (!r || r.ptr() == Py_None || r.is(candidate)) return;
  if (!is_branchobj(r.ptr())) {
    d.fail("Problem in chgbranchobject callback: must return a branching object or None");
    return;
  }
  auto *b = reinterpret_cast<BranchObject *>(r.ptr());
  if (!b->handle) {
    d.fail("Problem in chgbranchobject callback: the returned branching object was already freed");
    return;
  }
  *newbranch = static_cast<KLVObranchobject>(b->handle);
  b->handle = nullptr;
}

void d_cutround(KLVOprob prob, void *data, int ownrounds, int *action) {
  Dispatch d(KLVO_CB_CUTROUND, prob, nullptr, data);
  nb::object r = d.call(integer(ownrounds));
  if (!r || r.ptr() == Py_None) return;
  if (!is_integer(r.ptr())) return d.fail("Problem in cutround callback: must return an Int or None");
  *action = integer_rule(r.ptr());
}

void d_gapnotify(KLVOprob prob, void *data, double *relgap, double *absgap, double *absgapobj, double *absgapbound) {
  Dispatch d(KLVO_CB_GAPNOTIFY, prob, nullptr, data);
  nb::object r = d.call();
  if (!r) return;
  const char *shape = "Problem in gapnotify callback: must return tuple of four elements, each being a number or None";
  PyObject *t = r.ptr();
  if (!PyTuple_Check(t) || PyTuple_GET_SIZE(t) != 4) return d.fail(shape);
  double *targets[] = {relgap, absgap, absgapobj, absgapbound};
  double values[4];
  for (int i = 0; i < 4; ++i) {
    PyObject *item = PyTuple_GET_ITEM(t, i);
    if (item != Py_None && !is_number(item)) return d.fail(shape);
    if (item != Py_None && !number_value(item, &values[i])) return d.fail(shape);
  }
  // Written only once the whole tuple is known to be good.
  for (int i = 0; i < 4; ++i)
    if (PyTuple_GET_ITEM(t, i) != Py_None) *targets[i] = values[i];
}

void d_message(KLVOprob prob, void *data, const char *msg, int, int msgtype) {
  Dispatch d(KLVO_CB_MESSAGE, prob, nullptr, data);
  d.call(text(msg), integer(msgtype));
}

void d_mipthread(KLVOprob prob, void *data, KLVOprob threadprob) {
  Dispatch d(KLVO_CB_MIPTHREAD, prob, nullptr, data);
  if (!d.problem()) return;
  // The thread's problem stands for the same user's problem, with the thread's handle.
  ProblemObject *thread = new_callback_problem(d.problem()->parent, threadprob, nullptr);
  nb::object held = nb::steal(reinterpret_cast<PyObject *>(thread));
  d.call(held);
  if (thread) retire_callback_problem(reinterpret_cast<ProblemObject *>(held.release().ptr()));
}

void d_newnode(KLVOprob prob, void *data, int parentnode, int node, int branch) {
  Dispatch d(KLVO_CB_NEWNODE, prob, nullptr, data);
  d.call(integer(parentnode), integer(node), integer(branch));
}

void d_nodecutoff(KLVOprob prob, void *data, int node) {
  Dispatch d(KLVO_CB_NODECUTOFF, prob, nullptr, data);
  d.call(integer(node));
}

// Node events whose result, by the integer rule, marks the node infeasible.
template <int Kind>
void d_node(KLVOprob prob, void *data, int *infeasible) {
  Dispatch d(Kind, prob, nullptr, data);
  if (nb::object r = d.call()) *infeasible = integer_rule(r.ptr());
}

void d_preintsol(KLVOprob prob, void *data, int soltype, int *reject, double *cutoff) {
  double entry_cutoff = *cutoff;
  Dispatch d(KLVO_CB_PREINTSOL, prob, nullptr, data);
  nb::object r = d.call(integer(soltype), nb::steal(PyFloat_FromDouble(*cutoff)));
  if (r) {
    const char *shape =
        "Problem in preintsol callback: must return tuple of two elements, both being a number or None";
    PyObject *t = r.ptr();
    PyObject *first = PyTuple_Check(t) && PyTuple_GET_SIZE(t) == 2 ? PyTuple_GET_ITEM(t, 0) : nullptr;
    PyObject *second = first ? PyTuple_GET_ITEM(t, 1) : nullptr;
    double value = 0;
    if (!first || (first != Py_None && !is_integer(first)) || (second != Py_None && !is_number(second)) ||
        (second != Py_None && !number_value(second, &value))) {
      d.fail(shape);
    } else {
      if (first != Py_None) *reject = integer_rule(first);
      if (second != Py_None) *cutoff = value;
    }
  }
  // A solution whose callback failed is rejected.
  if (d.failed()) {
    *cutoff = entry_cutoff;
    *reject = 1;
  }
}

void d_usersolnotify(KLVOprob prob, void *data, const char *solname, int status) {
  Dispatch d(KLVO_CB_USERSOLNOTIFY, prob, nullptr, data);
  d.call(text(solname), integer(status));
}

// A trial of strong branching ended: the integer result goes back to the library, -1 when
// the callable failed.
int d_solvecb(KLVOprob prob, void *data, int ibranch) {
  Dispatch d(KLVO_CB_CHGBRANCHOBJECT, prob, nullptr, data, "solvecb");
  nb::object r = d.call(integer(ibranch));
  return r ? integer_rule(r.ptr()) : -1;
}

// ---- nonlinear layer events

void d_slp_message(KSLPprob slp, void *data, const char *msg, int, int msgtype) {
  Dispatch d(slp_message_kind, nullptr, slp, data);
  d.call(text(msg), integer(msgtype));
}

// Multistart events: the job's object (held by the user's problem) and description.
nb::object job_object(void *job) { return nb::borrow(job ? static_cast<PyObject *>(job) : Py_None); }

// msjobstart and msjobend: the result, converted to an integer (None counts as 0), is the
// job's status.
template <int Kind>
int d_msjob(KSLPprob slp, void *data, void *job, const char *description, int *status) {
  Dispatch d(Kind, nullptr, slp, data);
  nb::object r = d.call(job_object(job), text(description));
  if (!r || r.ptr() == Py_None) return 0;
  nb::object number = nb::steal(PyNumber_Long(r.ptr()));
  int overflow = 0;
  long v = number ? PyLong_AsLongAndOverflow(number.ptr(), &overflow) : -1;
  if (!number || (v == -1 && PyErr_Occurred()) || overflow || v < INT_MIN || v > INT_MAX) {
    PyErr_Clear();
    d.fail(Kind == msjobstart_kind ? "Problem in msjobstart callback: must return an integer or None"
                                      : "Problem in msjobend callback: must return an integer or None");
    return 0;
  }
  *status = static_cast<int>(v);
  return 0;
}

int d_mswinner(KSLPprob slp, void *data, void *job, const char *description) {
  Dispatch d(mswinner_kind, nullptr, slp, data);
  d.call(job_object(job), text(description));
  return 0;
}

// Layer events without arguments: the integer rule gives the return value, 0 on failure.
template <int Kind>
int d_slp_notify(KSLPprob slp, void *data) {
  Dispatch d(Kind, nullptr, slp, data);
  nb::object r = d.call();
  return r ? integer_rule(r.ptr()) : 0;
}

// Layer events on a column: the truth value of the result, 0 on failure.
template <int Kind>
int d_slp_column(KSLPprob slp, void *data, int col) {
  Dispatch d(Kind, nullptr, slp, data);
  nb::object r = d.call(integer(col));
  if (!r) return 0;
  int truth = PyObject_IsTrue(r.ptr());
  if (truth < 0) return d.fail("The callback's result has no truth value"), 0;
  return truth;
}

// Iteration start and end: the integer rule into the out-parameter; a failure stops.
template <int Kind>
int d_slp_iteration(KSLPprob slp, void *data, int *stop) {
  Dispatch d(Kind, nullptr, slp, data);
  nb::object r = d.call();
  *stop = r ? integer_rule(r.ptr()) : 1;
  return 0;
}

int d_slp_itervar(KSLPprob slp, void *data, int col) {
  Dispatch d(first_nonlinear_kind + 10, nullptr, slp, data);
  nb::object r = d.call(integer(col));
  if (!r) return 0;
  if (!is_integer(r.ptr())) {
    PyErr_SetString(g.SolverError, "itervar callback did not return an integer");
    d.fail_pending();
    return 0;
  }
  return integer_rule(r.ptr());
}

int d_slp_coefevalerror(KSLPprob slp, void *data, int row, int col) {
  Dispatch d(first_nonlinear_kind + 4, nullptr, slp, data);
  nb::object r = d.call(integer(row), integer(col));
  if (!r) return 0;
  int truth = PyObject_IsTrue(r.ptr());
  return truth < 0 ? (d.fail("The callback's result has no truth value"), 0) : truth;
}

int d_slp_drcol(KSLPprob slp, void *data, int col, double value, double *newvalue, double lb, double ub) {
  Dispatch d(first_nonlinear_kind + 7, nullptr, slp, data);
  nb::object r = d.call(integer(col), nb::steal(PyFloat_FromDouble(value)), nb::steal(PyFloat_FromDouble(lb)),
                        nb::steal(PyFloat_FromDouble(ub)));
  if (!r) return -1;
  double v = PyFloat_AsDouble(r.ptr());
  if (v == -1.0 && PyErr_Occurred()) return d.fail_pending(), -1;
  *newvalue = v;
  return 0;
}

int d_slp_preupdate(KSLPprob slp, void *data, int *keep) {
  Dispatch d(first_nonlinear_kind + 14, nullptr, slp, data);
  nb::object r = d.call(integer(*keep));
  if (!r) return 0;
  int truth = PyObject_IsTrue(r.ptr());
  if (truth < 0) return d.fail("The callback's result has no truth value"), 0;
  *keep = truth;
  return 0;
}

template <int Kind>
int d_layer_node(KSLPprob slp, void *data, int *infeasible) {
  Dispatch d(Kind, nullptr, slp, data);
  if (nb::object r = d.call()) *infeasible = integer_rule(r.ptr());
  return *infeasible;
}

// Library registration and removal of a main-library kind's dispatcher.
template <auto Add, auto Remove, auto Dispatcher>
struct Library {
  static int add(ProblemObject *p, PyObject *record, int priority) { return Add(p->prob, Dispatcher, record, priority); }
  static int remove(ProblemObject *p, PyObject *record) { return Remove(p->prob, Dispatcher, record); }
};

// The nonlinear layer keeps one function per event, without priorities.
template <auto Set, auto Dispatcher>
struct Layer {
  static int add(ProblemObject *p, PyObject *record, int) { return Set(p->slp, Dispatcher, record); }
};

template <auto Add, auto Remove, auto Dispatcher>
constexpr CallbackKind library_kind(const char *name, const char *add, const char *remove) {
  return {name, add, remove, Library<Add, Remove, Dispatcher>::add, Library<Add, Remove, Dispatcher>::remove};
}

template <auto Set, auto Dispatcher>
constexpr CallbackKind layer_kind(const char *name, const char *set) {
  return {name, set, nullptr, Layer<Set, Dispatcher>::add, nullptr};
}

}  // namespace

KLVOprob callback_handle(ProblemObject *parent) {
  for (Dispatch *d = current_dispatch; d; d = d->previous())
    if (d->problem() && d->problem()->parent == parent) return d->problem()->prob;
  return parent->prob;
}

KLVOstrongbranchsolvecb strongbranch_dispatcher() { return d_solvecb; }

#ifdef KELVO_TESTING
KLVOintsolcb intsol_dispatcher() { return d_notify<KLVO_CB_INTSOL>; }
#endif

const CallbackKind callback_kind_table[callback_kinds] = {
    library_kind<KLVOaddcbbariteration, KLVOremovecbbariteration, d_bariteration>("bariteration", "addcbbariteration",
                                                                                   "removecbbariteration"),
    library_kind<KLVOaddcbbarlog, KLVOremovecbbarlog, d_log<KLVO_CB_BARLOG>>("barlog", "addcbbarlog", "removecbbarlog"),
    library_kind<KLVOaddcbchgbranchobject, KLVOremovecbchgbranchobject, d_chgbranchobject>(
        "chgbranchobject", "addcbchgbranchobject", "removecbchgbranchobject"),
    library_kind<KLVOaddcbcutlog, KLVOremovecbcutlog, d_log<KLVO_CB_CUTLOG>>("cutlog", "addcbcutlog", "removecbcutlog"),
    library_kind<KLVOaddcbcutround, KLVOremovecbcutround, d_cutround>("cutround", "addcbcutround", "removecbcutround"),
    library_kind<KLVOaddcbdestroymt, KLVOremovecbdestroymt, d_notify<KLVO_CB_DESTROYMT>>("destroymt", "addcbdestroymt",
                                                                                        "removecbdestroymt"),
    library_kind<KLVOaddcbgapnotify, KLVOremovecbgapnotify, d_gapnotify>("gapnotify", "addcbgapnotify",
                                                                         "removecbgapnotify"),
    library_kind<KLVOaddcbmiplog, KLVOremovecbmiplog, d_log<KLVO_CB_MIPLOG>>("miplog", "addcbmiplog", "removecbmiplog"),
    library_kind<KLVOaddcbinfnode, KLVOremovecbinfnode, d_notify<KLVO_CB_INFNODE>>("infnode", "addcbinfnode",
                                                                                  "removecbinfnode"),
    library_kind<KLVOaddcbintsol, KLVOremovecbintsol, d_notify<KLVO_CB_INTSOL>>("intsol", "addcbintsol",
                                                                               "removecbintsol"),
    library_kind<KLVOaddcblplog, KLVOremovecblplog, d_log<KLVO_CB_LPLOG>>("lplog", "addcblplog", "removecblplog"),
    library_kind<KLVOaddcbmessage, KLVOremovecbmessage, d_message>("message", "addcbmessage", "removecbmessage"),
    library_kind<KLVOaddcbmipthread, KLVOremovecbmipthread, d_mipthread>("mipthread", "addcbmipthread",
                                                                         "removecbmipthread"),
    library_kind<KLVOaddcbnewnode, KLVOremovecbnewnode, d_newnode>("newnode", "addcbnewnode", "removecbnewnode"),
    library_kind<KLVOaddcbnodecutoff, KLVOremovecbnodecutoff, d_nodecutoff>("nodecutoff", "addcbnodecutoff",
                                                                            "removecbnodecutoff"),
    library_kind<KLVOaddcbnodelpsolved, KLVOremovecbnodelpsolved, d_notify<KLVO_CB_NODELPSOLVED>>(
        "nodelpsolved", "addcbnodelpsolved", "removecbnodelpsolved"),
    library_kind<KLVOaddcboptnode, KLVOremovecboptnode, d_node<KLVO_CB_OPTNODE>>("optnode", "addcboptnode",
                                                                                "removecboptnode"),
    library_kind<KLVOaddcbpreintsol, KLVOremovecbpreintsol, d_preintsol>("preintsol", "addcbpreintsol",
                                                                         "removecbpreintsol"),
    library_kind<KLVOaddcbprenode, KLVOremovecbprenode, d_node<KLVO_CB_PRENODE>>("prenode", "addcbprenode",
                                                                                "removecbprenode"),
    library_kind<KLVOaddcbusersolnotify, KLVOremovecbusersolnotify, d_usersolnotify>(
        "usersolnotify", "addcbusersolnotify", "removecbusersolnotify"),
    library_kind<KLVOaddcbchecktime, KLVOremovecbchecktime, d_log<KLVO_CB_CHECKTIME>>("checktime", "addcbchecktime",
                                                                                     "removecbchecktime"),
    library_kind<KLVOaddcbbeforeobjective, KLVOremovecbbeforeobjective, d_notify<KLVO_CB_BEFOREOBJECTIVE>>(
        "beforeobjective", "addcbbeforeobjective", "removecbbeforeobjective"),
    library_kind<KLVOaddcbafterobjective, KLVOremovecbafterobjective, d_notify<KLVO_CB_AFTEROBJECTIVE>>(
        "afterobjective", "addcbafterobjective", "removecbafterobjective"),
    library_kind<KLVOaddcbpresolve, KLVOremovecbpresolve, d_notify<KLVO_CB_PRESOLVE>>("presolve", "addcbpresolve",
                                                                                     "removecbpresolve"),
    layer_kind<KSLPsetcbcascadeend, d_slp_notify<first_nonlinear_kind + 0>>("cascadeend", "setcbcascadeend"),
    layer_kind<KSLPsetcbcascadestart, d_slp_notify<first_nonlinear_kind + 1>>("cascadestart", "setcbcascadestart"),
    layer_kind<KSLPsetcbcascadevar, d_slp_column<first_nonlinear_kind + 2>>("cascadevar", "setcbcascadevar"),
    layer_kind<KSLPsetcbcascadevarfail, d_slp_column<first_nonlinear_kind + 3>>("cascadevarfail",
                                                                                "setcbcascadevarfail"),
    layer_kind<KSLPsetcbcoefevalerror, d_slp_coefevalerror>("coefevalerror", "setcbcoefevalerror"),
    layer_kind<KSLPsetcbconstruct, d_slp_notify<first_nonlinear_kind + 5>>("construct", "setcbconstruct"),
    layer_kind<KSLPsetcbdestroy, d_slp_notify<first_nonlinear_kind + 6>>("destroy", "setcbdestroy"),
    layer_kind<KSLPsetcbdrcol, d_slp_drcol>("drcol", "setcbdrcol"),
    layer_kind<KSLPsetcbiterend, d_slp_iteration<first_nonlinear_kind + 8>>("iterend", "setcbiterend"),
    layer_kind<KSLPsetcbiterstart, d_slp_iteration<first_nonlinear_kind + 9>>("iterstart", "setcbiterstart"),
    layer_kind<KSLPsetcbitervar, d_slp_itervar>("itervar", "setcbitervar"),
    layer_kind<KSLPsetcbmsjobend, d_msjob<msjobend_kind>>("msjobend", "setcbmsjobend"),
    layer_kind<KSLPsetcbmsjobstart, d_msjob<msjobstart_kind>>("msjobstart", "setcbmsjobstart"),
    layer_kind<KSLPsetcbmswinner, d_mswinner>("mswinner", "setcbmswinner"),
    layer_kind<KSLPsetcbpreupdatelinearization, d_slp_preupdate>("preupdatelinearization",
                                                                 "setcbpreupdatelinearization"),
    layer_kind<KSLPsetcbslpend, d_slp_notify<first_nonlinear_kind + 15>>("slpend", "setcbslpend"),
    layer_kind<KSLPsetcbslpnode, d_slp_notify<first_nonlinear_kind + 16>>("slpnode", "setcbslpnode"),
    layer_kind<KSLPsetcbslpstart, d_slp_notify<first_nonlinear_kind + 17>>("slpstart", "setcbslpstart"),
    {"message", "setcbmessage", nullptr, Layer<KSLPsetcbmessage, d_slp_message>::add, nullptr},
    {"slpintsol", "setcbintsol", nullptr, Layer<KSLPsetcbintsol, d_slp_notify<first_nonlinear_kind + 19>>::add,
     nullptr},
    {"optnode", "setcboptnode", nullptr, Layer<KSLPsetcboptnode, d_layer_node<first_nonlinear_kind + 20>>::add,
     nullptr},
    {"prenode", "setcbprenode", nullptr, Layer<KSLPsetcbprenode, d_layer_node<first_nonlinear_kind + 21>>::add,
     nullptr},
};

}  // namespace kelvo
