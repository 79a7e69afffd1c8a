// How every C entry point runs: it checks its handle, runs one call into the library and
// turns an exception into the return code plus the handle's last-error text, so no C++
// exception crosses the C boundary. A shim passes its own name (__func__) once; the body
// receives it to name the entry point in its messages, since inside the lambda __func__ would
// name the lambda.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "analysis/presolved.h"
#include "engines/nlp/layer.h"
#include "env/error.h"
#include "env/problem.h"

namespace klvo {
namespace api {

template <class Body>
void run(Body &body, const char *fn) {
  if constexpr (std::is_invocable_v<Body &, const char *>) body(fn);
  else body();
}

inline int null_handle(const char *fn, const char *what) {
  return klvo::guarded(
      global_error(), [&] { fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null %s handle", fn, what); }, fn);
}

// An entry point on a problem: errors go to the problem's last error (to the global one when
// the handle itself is null).
template <class Body>
int guarded(KLVOprob prob, const char *fn, Body &&body) {
  if (!prob) return null_handle(fn, "problem");
  return klvo::guarded(prob->error, [&] { run(body, fn); }, fn);
}

// An entry point on a nonlinear layer.
template <class Body>
int guarded(KSLPprob slp, const char *fn, Body &&body) {
  if (!slp) return null_handle(fn, "nonlinear-layer");
  return klvo::guarded(slp->error, [&] { run(body, fn); }, fn);
}

// Which form of a problem an entry point takes (analysis/presolved.h). Changes and analyses
// take the caller's own form only: on the presolved form they would mix the two problems.
// Settings, solves and the presolve-space functions take either.
enum class Form { own, any };

// An entry point that changes, reloads or solves a problem: it holds the problem's use mark
// for its whole run, so that a change never lands under a running solve and a solve never
// starts twice (see klvo::UseMark). Read-only queries, interrupts and the calls a callback
// makes during a solve use guarded() and stay allowed.
template <class Body>
int marked(KLVOprob prob, Use use, Form form, const char *fn, Body &&body) {
  if (!prob) return null_handle(fn, "problem");
  return klvo::guarded(prob->error, [&] {
    UseMark mark(*prob, use, fn);
    if (form == Form::own) refuse_presolved(*prob, fn);
    run(body, fn);
  }, fn);
}

template <class Body>
int marked(KSLPprob slp, Use use, Form form, const char *fn, Body &&body) {
  if (!slp) return null_handle(fn, "nonlinear-layer");
  return klvo::guarded(slp->error, [&] {
    // A layer whose problem is gone has nothing to mark.
    std::optional<UseMark> mark;
    if (slp->prob) {
      mark.emplace(*slp->prob, use, fn);
      if (form == Form::own) refuse_presolved(*slp->prob, fn);
    }
    run(body, fn);
  }, fn);
}

template <class Handle, class Body>
int modifying(Handle h, const char *fn, Body &&body) {
  return marked(h, Use::change, Form::own, fn, std::forward<Body>(body));
}

template <class Handle, class Body>
int solving(Handle h, const char *fn, Body &&body) {
  return marked(h, Use::solve, Form::own, fn, std::forward<Body>(body));
}

// As modifying() and solving(), on a problem in either form.
template <class Handle, class Body>
int modifying_any(Handle h, const char *fn, Body &&body) {
  return marked(h, Use::change, Form::any, fn, std::forward<Body>(body));
}

template <class Handle, class Body>
int solving_any(Handle h, const char *fn, Body &&body) {
  return marked(h, Use::solve, Form::any, fn, std::forward<Body>(body));
}

// An entry point not tied to a handle (or creating one): errors go to the global last error.
template <class Body>
int guarded_global(const char *fn, Body &&body) {
  return klvo::guarded(global_error(), [&] { run(body, fn); }, fn);
}

}  // namespace api
}  // namespace klvo
