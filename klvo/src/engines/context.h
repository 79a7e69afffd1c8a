// What an engine sees of a problem during one solve: the model (read-only), the controls, the
// solution to fill, the interrupt flag and the message sink, plus the slot where the engine
// keeps its state between solves of the same problem. Engines never see the problem handle.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "cuts/pool.h"
#include "engines/engine_cache.h"
#include "engines/events.h"
#include "engines/solution.h"
#include "engines/starts.h"
#include "model/store.h"
#include "params/params.h"

namespace klvo {

// Delivers one message (a KLVO_MSG_* type and a line of text) to the problem's callbacks.
using MessageSink = std::function<void(int msgtype, const std::string &text)>;

struct SolveContext {
  const ModelStore &model;
  const ParamStore &controls;
  SolutionStore &solution;
  // Non-zero asks a running solve to stop at its next safe point; the solve clears it first.
  std::atomic<int> &interrupt;
  MessageSink message;
  // The engine's per-problem state; an engine replaces what another engine left there.
  std::unique_ptr<EngineCache> &cache;
  // Starting points the solve takes and the barrier solution it leaves (null: none kept).
  StartStore *starts = nullptr;
  // The solver events to fire (null: none, as for an engine's inner solves).
  const Events *events = nullptr;
  // The problem's cut pool, whose managed cuts the search applies (null: none).
  CutPool *cuts = nullptr;
};

}  // namespace klvo
