// Calls of the layer's event functions (KSLPsetcb...): each returns what the function
// returned, 0 when none is set.
#pragma once

#include "engines/nlp/layer.h"

namespace klvo {
namespace nlp {

inline int fire(kslp_problem_s *slp, int kind) {
  if (!slp) return 0;
  kslp_problem_s::EventFn e = slp->event(kind);
  return e.fn ? reinterpret_cast<KSLPnotifycb>(e.fn)(slp, e.data) : 0;
}

inline int fire_column(kslp_problem_s *slp, int kind, int col) {
  if (!slp) return 0;
  kslp_problem_s::EventFn e = slp->event(kind);
  return e.fn ? reinterpret_cast<KSLPcolumncb>(e.fn)(slp, e.data, col) : 0;
}

// An event with an integer out-parameter (0 on entry); returns what the function left there.
inline int fire_flag(kslp_problem_s *slp, int kind) {
  if (!slp) return 0;
  kslp_problem_s::EventFn e = slp->event(kind);
  int flag = 0;
  if (e.fn) reinterpret_cast<KSLPiterationcb>(e.fn)(slp, e.data, &flag);
  return flag;
}

}  // namespace nlp
}  // namespace klvo
