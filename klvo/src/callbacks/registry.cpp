#include "callbacks/registry.h"

namespace klvo {

void EventRegistry::add(int kind, AnyCallback fn, void *data, int priority) {
  auto reg = std::make_shared<Registration>();
  reg->fn = fn;
  reg->data = data;
  reg->priority = priority;
  std::lock_guard<std::mutex> lock(mutex_);
  auto list = lists_[kind] ? std::make_shared<List>(*lists_[kind]) : std::make_shared<List>();
  auto it = list->begin();
  while (it != list->end() && (*it)->priority >= priority) ++it;
  list->insert(it, std::move(reg));
  counts_[kind].store(static_cast<int>(list->size()), std::memory_order_release);
  lists_[kind] = std::move(list);
}

int EventRegistry::remove(int kind, AnyCallback fn, void *data) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!lists_[kind]) return 0;
  auto list = std::make_shared<List>();
  int removed = 0;
  for (const auto &r : *lists_[kind]) {
    if ((!fn || r->fn == fn) && (!data || r->data == data)) {
      r->live.store(false, std::memory_order_release);
      ++removed;
    } else {
      list->push_back(r);
    }
  }
  counts_[kind].store(static_cast<int>(list->size()), std::memory_order_release);
  if (list->empty()) lists_[kind].reset();
  else lists_[kind] = std::move(list);
  return removed;
}

std::shared_ptr<const EventRegistry::List> EventRegistry::snapshot(int kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  static const auto empty = std::make_shared<const List>();
  return lists_[kind] ? lists_[kind] : empty;
}

}  // namespace klvo
