// Formula entries of the model store and their (row, column) index.
#include "model/formulas.h"

#include <atomic>

#include "model/growth.h"

namespace klvo {

namespace {

// Revisions come from one counter, so no two stores (or states of one) share a number.
uint64_t fresh_revision() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

uint64_t pair_key(int row, int col) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(row)) << 32) | static_cast<uint32_t>(col);
}

// Keeps the entries for which keep(entry) is true (it may change them), in order.
template <class Keep>
void filter(std::vector<FormulaEntry> &entries, Keep keep) {
  size_t out = 0;
  for (size_t i = 0; i < entries.size(); ++i)
    if (keep(entries[i])) {
      if (out != i) entries[out] = std::move(entries[i]);
      ++out;
    }
  entries.resize(out);
}

// A deletion map applied to an index. A model loaded after the formulas may have fewer rows or
// columns than they use (the engine reports that when it builds its model); such indices lie
// beyond the map and shift down by the number deleted.
class Remap {
 public:
  explicit Remap(const std::vector<int> &map) : map_(map) {
    for (int m : map) deleted_ += m < 0;
  }
  int operator()(int i) const { return i < static_cast<int>(map_.size()) ? map_[i] : i - deleted_; }

 private:
  const std::vector<int> &map_;
  int deleted_ = 0;
};

}  // namespace

FormulaStore::FormulaStore() : revision_(fresh_revision()) {}

FormulaStore::FormulaStore(const FormulaStore &other) : entries_(other.entries_), revision_(fresh_revision()) {}

FormulaStore::FormulaStore(FormulaStore &&other) noexcept
    : entries_(std::move(other.entries_)), revision_(fresh_revision()) {
  other.changed();
}

FormulaStore &FormulaStore::operator=(const FormulaStore &other) {
  if (this != &other) {
    entries_ = other.entries_;
    changed();
  }
  return *this;
}

FormulaStore &FormulaStore::operator=(FormulaStore &&other) noexcept {
  if (this != &other) {
    entries_ = std::move(other.entries_);
    other.entries_.clear();
    changed();
    other.changed();
  }
  return *this;
}

void FormulaStore::changed() {
  revision_ = fresh_revision();
  std::lock_guard<std::mutex> lock(index_mutex_);
  index_valid_ = false;
}

void FormulaStore::assign(std::vector<FormulaEntry> entries) {
  entries_ = std::move(entries);
  changed();
}

void FormulaStore::append(std::vector<FormulaEntry> &&more) {
  // Amortised growth: an exact reserve per call would copy every entry on every call. The
  // room comes first, so that the entries are added all or none.
  grow_by(entries_, more.size());
  for (auto &e : more) entries_.push_back(std::move(e));
  changed();
}

void FormulaStore::build_index() const {
  std::lock_guard<std::mutex> lock(index_mutex_);
  if (index_valid_) return;
  index_.clear();
  pairs_.clear();
  for (size_t i = 0; i < entries_.size(); ++i) {
    std::vector<int> &at = index_[pair_key(entries_[i].row, entries_[i].col)];
    if (at.empty()) pairs_.push_back({entries_[i].row, entries_[i].col});
    at.push_back(static_cast<int>(i));
  }
  index_valid_ = true;
}

const std::vector<int> &FormulaStore::at(int row, int col) const {
  static const std::vector<int> none;
  build_index();
  auto it = index_.find(pair_key(row, col));
  return it == index_.end() ? none : it->second;
}

const std::vector<std::pair<int, int>> &FormulaStore::pairs() const {
  build_index();
  return pairs_;
}

void FormulaStore::rows_deleted(const std::vector<int> &map) {
  Remap remap(map);
  filter(entries_, [&](FormulaEntry &e) {
    if (e.row < 0) return true;  // the objective
    int row = remap(e.row);
    if (row < 0) return false;
    e.row = row;
    return true;
  });
  changed();
}

void FormulaStore::cols_deleted(const std::vector<int> &map) {
  Remap remap(map);
  filter(entries_, [&](FormulaEntry &e) {
    if (e.col >= 0 && remap(e.col) < 0) return false;
    for (const FormulaToken &t : e.tokens)
      if (t.type == kColumn && remap(static_cast<int>(t.value)) < 0) return false;
    if (e.col >= 0) e.col = remap(e.col);
    for (FormulaToken &t : e.tokens)
      if (t.type == kColumn) t.value = remap(static_cast<int>(t.value));
    return true;
  });
  changed();
}

}  // namespace klvo
