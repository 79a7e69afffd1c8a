// What a callback's problem answers during the callback: the search's figures at the moment of
// the event and the event's solution. Set by the event firing for the thread that calls the
// callbacks, so queries from inside a callback see it and queries from elsewhere do not.
#pragma once

#include <cmath>
#include <cstdint>

#include "klvo.h"

namespace klvo {

class NodeCuts;

struct EventState {
  // Negative counts and NaN values mean "not known at this moment": the attribute then
  // answers from the last finished solve.
  int64_t nodes = -1, mipsols = -1, simplexiter = -1, bariter = -1;
  int node = -1, parentnode = -1, depth = -1;
  double bestbound = NAN, mipobjval = NAN, lpobjval = NAN, miprelgap = NAN, time = NAN;
  // The event's solution over the user's columns and rows (null: none at this event). The
  // slacks, duals and reduced costs are optional; slacks are computed from x when absent.
  const double *x = nullptr, *slack = nullptr, *duals = nullptr, *djs = nullptr;
  // The same in the space the engine solves after presolve, when it differs (null: none).
  const double *presolved_x = nullptr;
  int presolved_cols = 0;
  // The search's current node, for the cut functions (null: no search at this event).
  NodeCuts *cuts = nullptr;
};

// The state of the event being handled on this thread for prob, or null outside callbacks
// (callbacks for other problems do not count).
const EventState *event_state(const klvo_problem_s &prob);

// Makes state the one answered for prob on this thread until the scope ends; scopes nest.
class EventScope {
 public:
  EventScope(const klvo_problem_s *prob, const EventState &state);
  ~EventScope();
  EventScope(const EventScope &) = delete;
  EventScope &operator=(const EventScope &) = delete;

 private:
  const klvo_problem_s *prob_;
  const EventState *state_;
  const EventScope *outer_;
  friend const EventState *event_state(const klvo_problem_s &prob);
};

}  // namespace klvo
