// The solver-call frame and error reporting: every library call made on behalf of a problem
// goes through call(); a failed call ends in raise_error().
#pragma once

#include <initializer_list>
#include <utility>

#include "problem/problem.h"

namespace kelvo {

// Result of a call that returned 0 while an interpreter exception arose during it.
constexpr int pending_exception_code = 884;

// Size of the library's last-error texts, without the terminating zero.
constexpr int error_text_size = 512;

// Before a library call: parks a pending interpreter exception in the owner's slot (true),
// or drops it with a RuntimeWarning when it cannot be parked (false).
bool pre_call(ProblemObject *owner, const char *function, KLVOprob handle);
// After a library call: restores an exception stored for this owner's handle.
void post_call(ProblemObject *owner, int rc);

#ifdef KELVO_TESTING
// Number of library calls made through call() since the module was loaded or the count was
// last reset (the test suite reads it; the interpreter lock guards it). Test builds only.
extern uint64_t library_calls;
#endif

// The thread state this thread gave up when it released the interpreter lock around a library
// call still under way, or null. A callback the library makes on this thread during the call
// takes the lock back with this state directly (PyEval_RestoreThread), which costs less than
// PyGILState_Ensure's lookup; callbacks on other threads go through PyGILState_Ensure.
inline thread_local PyThreadState *released_thread_state = nullptr;

// Releases the interpreter lock for its lifetime, recording the thread state for callbacks
// made on this thread. Nested releases (a callback calling the library again) stack.
class LockReleased {
 public:
  LockReleased() : state_(PyEval_SaveThread()), outer_(std::exchange(released_thread_state, state_)) {}
  ~LockReleased() {
    released_thread_state = outer_;
    PyEval_RestoreThread(state_);
  }
  LockReleased(const LockReleased &) = delete;
  LockReleased &operator=(const LockReleased &) = delete;

 private:
  PyThreadState *state_;
  PyThreadState *outer_;
};

// Takes the interpreter lock for its lifetime on a thread the library called back on: with the
// state this thread released around its library call when there is one, otherwise with
// PyGILState_Ensure (a library thread, or a call made outside any library call).
class LockTaken {
 public:
  LockTaken() : slot_(&released_thread_state), resumed_(std::exchange(*slot_, nullptr)) {
    if (resumed_) PyEval_RestoreThread(resumed_);
    else gil_ = PyGILState_Ensure();
  }
  ~LockTaken() {
    if (resumed_) {
      PyEval_SaveThread();
      *slot_ = resumed_;
    } else {
      PyGILState_Release(gil_);
    }
  }
  LockTaken(const LockTaken &) = delete;
  LockTaken &operator=(const LockTaken &) = delete;

 private:
  PyThreadState **slot_;     // this thread's slot, looked up once (each lookup is a call here)
  PyThreadState *resumed_;   // the state the lock was taken back with, or null
  PyGILState_STATE gil_{};   // when taken with PyGILState_Ensure
};

// Calls fn(args...) with the interpreter lock released. For nonlinear-layer functions the
// caller passes the nonlinear handle among args; the slot still records the main handle.
template <class Fn, class... Args>
int call(Fn fn, const char *function, ProblemObject *owner, Args... args) {
  // Counted as running before pre_call, which can run Python (a warning, a destructor): a thread
  // switching in there must not release the handle that args already carry.
  if (owner) ++owner->calls_running;
  bool parked = pre_call(owner, function, owner ? owner->prob : nullptr);
#ifdef KELVO_TESTING
  ++library_calls;
#endif
  int rc;
  {
    LockReleased unlocked;
    rc = fn(args...);
  }
  if (owner) --owner->calls_running;
  post_call(owner, rc);
  if (rc != 0) return rc;
  return (PyErr_Occurred() && !parked) ? pending_exception_code : 0;
}

// Raises the last error of `owner` (a problem, a branching object, or null for the global
// environment) unless `result` is non-null or an exception is already pending. Returns
// result.
PyObject *check_result(PyObject *owner, PyObject *result);
inline void raise_error(PyObject *owner) { check_result(owner, nullptr); }

// Raises the last error of the given handles of problem p (the main handle's first), which
// need not be p's own any more (a release takes them off first). Returns null.
PyObject *raise_handle_error(ProblemObject *p, KLVOprob prob, KSLPprob slp);

// Issues kelvo.DeprecationWarning "Deprecated in Kelvo major.minor: advice"; -1 when the
// warnings filter turned it into an error.
int deprecation(int major, int minor, const char *advice);

// Parses with kwlist; when that fails and oldkwlist is given, parses again with the old names
// and, on success, issues the old-argument-names deprecation for version 9.minor. Returns
// true when the arguments were parsed.
bool parse_keywords(PyObject *args, PyObject *kwargs, const char *format, const char *const *kwlist,
                    const char *const *oldkwlist, int minor, ...);

// Text of an exception value (or of its type when the value is null) for warnings.
PyObject *exception_text(PyObject *type, PyObject *value);

}  // namespace kelvo
