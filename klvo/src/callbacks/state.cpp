#include "callbacks/state.h"

namespace klvo {

namespace {
thread_local const EventScope *innermost = nullptr;
}

EventScope::EventScope(const klvo_problem_s *prob, const EventState &state)
    : prob_(prob), state_(&state), outer_(innermost) {
  innermost = this;
}

EventScope::~EventScope() { innermost = outer_; }

const EventState *event_state(const klvo_problem_s &prob) {
  for (const EventScope *s = innermost; s; s = s->outer_)
    if (s->prob_ == &prob) return s->state_;
  return nullptr;
}

}  // namespace klvo
