// The nonlinear layer's events in the library's branch-and-bound search of a problem with
// formulas and integer columns (KSLPsetcbslpnode, KSLPsetcbprenode, KSLPsetcboptnode,
// KSLPsetcbintsol): one function per event, set and read under a lock since a search may
// be running.
#pragma once

#include <mutex>

#include "klvo.h"

namespace klvo {
namespace nlp {

struct NodeEventFns {
  KSLPnodecb slpnode = nullptr, intsol = nullptr;
  KSLPnodefeascb prenode = nullptr, optnode = nullptr;
  void *slpnode_data = nullptr, *intsol_data = nullptr, *prenode_data = nullptr, *optnode_data = nullptr;

  bool any() const { return slpnode || intsol || prenode || optnode; }
};

struct NodeEvents {
  NodeEventFns get() const {
    std::lock_guard<std::mutex> lock(mutex);
    return fns;
  }
  NodeEventFns fns;
  mutable std::mutex mutex;
};

}  // namespace nlp
}  // namespace klvo
