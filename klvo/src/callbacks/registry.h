// The event callbacks registered on a problem: per event kind, an ordered list of
// registrations. Firing an event reads the list without holding a lock while the callbacks
// run, so a callback may register or remove callbacks, and other threads may too.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "klvo.h"

namespace klvo {

// Every callback type is stored as this one type and cast back to its kind's type on call.
using AnyCallback = void (*)();

struct Registration {
  AnyCallback fn;
  void *data;
  int priority;
  // Cleared by removal: a firing that took the list before the removal skips it.
  std::atomic<bool> live{true};
};

class EventRegistry {
 public:
  using List = std::vector<std::shared_ptr<Registration>>;

  // Higher priority first; equal priorities in registration order.
  void add(int kind, AnyCallback fn, void *data, int priority);
  // fn null matches every function, data null every data; returns how many were removed.
  int remove(int kind, AnyCallback fn, void *data);

  // Whether anything is registered for the kind: the cheap test made before each event.
  bool any(int kind) const { return counts_[kind].load(std::memory_order_acquire) > 0; }

  // Calls visit(fn, data) for each registration of the kind still registered, in order.
  template <class Fn, class Visit>
  void each(int kind, Visit &&visit) const {
    if (!any(kind)) return;
    std::shared_ptr<const List> list = snapshot(kind);
    for (const auto &r : *list)
      if (r->live.load(std::memory_order_acquire)) visit(reinterpret_cast<Fn>(r->fn), r->data);
  }

 private:
  std::shared_ptr<const List> snapshot(int kind) const;

  mutable std::mutex mutex_;
  // Replaced, never changed in place, so that a snapshot stays valid while it is walked.
  std::array<std::shared_ptr<const List>, KLVO_CB_KINDS> lists_;
  std::array<std::atomic<int>, KLVO_CB_KINDS> counts_{};
};

}  // namespace klvo
