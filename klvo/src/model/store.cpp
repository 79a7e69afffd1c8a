// Name tables and the counts of the model store.
#include "model/store.h"

#include <algorithm>

#include "env/error.h"

namespace klvo {

int NameTable::find(const std::string &name) const {
  auto it = index_.find(name);
  return it == index_.end() ? -1 : it->second;
}

void NameTable::assign(int first, const std::vector<std::string> &names, const char *function, const char *kind) {
  const int n = static_cast<int>(names.size());
  // A name may move between elements of the range in one call, so the range's old names leave
  // the index first; every new name then costs one insertion, and a clash undoes it all.
  std::vector<std::pair<std::string, int>> removed;
  for (int k = 0; k < n; ++k) {
    const std::string &slot = names_[first + k];
    if (slot.empty()) continue;
    auto it = index_.find(slot);
    if (it != index_.end() && it->second == first + k) {
      removed.emplace_back(slot, first + k);
      index_.erase(it);
      max_length_stale_ = true;
    }
  }
  index_.reserve(index_.size() + n);
  for (int k = 0; k < n; ++k) {
    if (names[k].empty()) continue;
    auto [it, fresh] = index_.try_emplace(names[k], first + k);
    if (fresh) continue;
    int holder = it->second;
    undo_assign(first, names, k, removed);
    if (holder >= first && holder < first + n)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: duplicate %s name '%s' (given for %d and %d)", function, kind,
           names[k].c_str(), holder, first + k);
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: duplicate %s name '%s' (already the name of %s %d)", function, kind,
         names[k].c_str(), kind, holder);
  }
  for (int k = 0; k < n; ++k) {
    names_[first + k] = names[k];
    if (!max_length_stale_) max_length_ = std::max(max_length_, names[k].size());
  }
}

void NameTable::undo_assign(int first, const std::vector<std::string> &names, int inserted,
                            std::vector<std::pair<std::string, int>> &removed) {
  for (int k = 0; k < inserted; ++k)
    if (!names[k].empty()) index_.erase(names[k]);
  for (auto &kv : removed) index_.insert(std::move(kv));
}

void NameTable::compact(const std::vector<char> &keep) {
  size_t out = 0;
  bool named = !index_.empty();
  for (size_t i = 0; i < names_.size(); ++i) {
    if (!keep[i]) continue;
    if (out != i) names_[out] = std::move(names_[i]);
    ++out;
  }
  names_.resize(out);
  if (!named) return;
  index_.clear();
  for (size_t i = 0; i < names_.size(); ++i)
    if (!names_[i].empty()) index_[names_[i]] = static_cast<int>(i);
  max_length_stale_ = true;
}

size_t NameTable::max_length() const {
  if (max_length_stale_) {
    max_length_ = 0;
    for (const auto &kv : index_) max_length_ = std::max(max_length_, kv.first.size());
    max_length_stale_ = false;
  }
  return max_length_;
}

int64_t ModelStore::nnz() const {
  int64_t n = 0;
  for (const auto &c : colentries) n += static_cast<int64_t>(c.size());
  return n;
}

int64_t ModelStore::nqobj() const {
  int64_t n = 0;
  for (const auto &c : qobj) n += static_cast<int64_t>(c.size());
  return n;
}

bool ModelStore::has_qobj() const {
  for (const auto &c : qobj)
    if (!c.empty()) return true;
  return false;
}

int ModelStore::nqrows() const {
  int n = 0;
  for (const auto &r : qrows) n += !r.empty();
  return n;
}

int ModelStore::nindicators() const {
  int n = 0;
  for (int c : indcomp) n += c != 0;
  return n;
}

int ModelStore::nentities() const {
  int n = 0;
  for (char t : coltype) n += t != 'C';
  return n;
}

int64_t ModelStore::nsetmembers() const {
  int64_t n = 0;
  for (const auto &s : sets) n += static_cast<int64_t>(s.cols.size());
  return n;
}

size_t ModelStore::max_name_length() const {
  // Unnamed elements read back as "R<i+1>", "C<j+1>", "S<k+1>": one letter and the digits.
  auto default_length = [](int count) { return count == 0 ? size_t(0) : 1 + std::to_string(count).size(); };
  return std::max({rownames.max_length(), colnames.max_length(), setnames.max_length(), default_length(nrows()),
                   default_length(ncols()), default_length(nsets())});
}

}  // namespace klvo
