// Name tables: names by index, chains of equal names, and the hash table over their heads.
#include "model/names.h"

#include <algorithm>
#include <functional>

#include "model/growth.h"

namespace klvo {

const std::string NameTable::none_;

uint32_t NameTable::hash_of(std::string_view name) {
  return static_cast<uint32_t>(static_cast<uint64_t>(std::hash<std::string_view>{}(name)) >> 32);
}

size_t NameTable::probe(std::string_view name, uint32_t hash) const {
  size_t pos = home(hash);
  for (;;) {
    const Slot &s = slots_[pos];
    if (s.head < 0 || (s.hash == hash && names_[s.head] == name)) return pos;
    pos = (pos + 1) & mask();
  }
}

int NameTable::find(std::string_view name) const {
  if (name.empty() || distinct_ == 0) return -1;
  return slots_[probe(name, hash_of(name))].head;
}

void NameTable::reserve_slots(size_t more) {
  const size_t need = distinct_ + more;
  if (need * 2 <= slots_.size()) return;
  int bits = std::max(bits_, 4);
  while ((size_t(1) << bits) < need * 2) ++bits;
  rehash(bits);
}

void NameTable::rehash(int bits) {
  std::vector<Slot> old;
  grow_by(old, size_t(1) << bits);
  old.resize(size_t(1) << bits, Slot{0, -1});
  old.swap(slots_);
  bits_ = bits;
  // The old slots come roughly in order of their home, so the new table fills front to back.
  for (const Slot &s : old) {
    if (s.head < 0) continue;
    size_t pos = home(s.hash);
    while (slots_[pos].head >= 0) pos = (pos + 1) & mask();
    slots_[pos] = s;
  }
}

void NameTable::erase_slot(size_t pos) {
  // Backward shift: later members of the probe run move into the hole when their home allows.
  size_t hole = pos, next = pos;
  for (;;) {
    next = (next + 1) & mask();
    if (slots_[next].head < 0) break;
    size_t h = home(slots_[next].hash);
    if (((next - h) & mask()) >= ((next - hole) & mask())) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole].head = -1;
  --distinct_;
}

void NameTable::link(int i, uint32_t hash) {
  Slot &s = slots_[probe(names_[i], hash)];
  if (s.head < 0) {
    s = Slot{hash, i};
    ++distinct_;
    next_[i] = -1;
    prev_[i] = i;
    return;
  }
  const int head = s.head, tail = prev_[head];
  if (i > tail) {  // the usual case: new elements come last
    next_[tail] = i;
    prev_[i] = tail;
    next_[i] = -1;
    prev_[head] = i;
  } else if (i < head) {
    next_[i] = head;
    prev_[i] = tail;
    prev_[head] = i;
    s.head = i;
  } else {
    // The walk starts at the element before when it has the same name: it is then linked
    // (callers link in increasing index order within a name) and the walk is one step, so
    // renaming a block of elements to a name that later elements carry stays linear.
    int j = names_[i - 1] == names_[i] ? i - 1 : head;
    while (next_[j] < i) j = next_[j];
    const int k = next_[j];
    next_[j] = i;
    prev_[i] = j;
    next_[i] = k;
    prev_[k] = i;
  }
}

void NameTable::unlink(int i) {
  const int next = next_[i], prev = prev_[i];
  // Inside a chain (not its head, not its tail) the neighbours are all there is to change.
  if (next_[prev] == i && next >= 0) {
    next_[prev] = next;
    prev_[next] = prev;
    return;
  }
  const std::string &name = names_[i];
  const size_t pos = probe(name, hash_of(name));
  Slot &s = slots_[pos];
  const int head = s.head;
  if (i == head) {
    if (next < 0) {
      erase_slot(pos);
    } else {
      prev_[next] = prev;  // the tail
      s.head = next;
    }
  } else {  // the tail of a longer chain
    next_[prev] = -1;
    prev_[head] = prev;
  }
}

void NameTable::assign(int first, std::vector<std::string> names) {
  const int n = static_cast<int>(names.size());
  // Everything that can fail comes first: the positions that change, their hashes, the chain
  // arrays and room in the hash table.
  std::vector<int> changed;
  std::vector<uint32_t> hash(n);
  size_t named = 0;
  for (int k = 0; k < n; ++k) {
    if (get(first + k) == names[k]) continue;
    changed.push_back(k);
    if (!names[k].empty()) {
      hash[k] = hash_of(names[k]);
      ++named;
    }
  }
  if (changed.empty()) return;
  if (named > 0) {
    if (names_.empty()) {
      grow_by(names_, size_);
      grow_by(next_, size_);
      grow_by(prev_, size_);
      names_.resize(size_);
      next_.resize(size_, -1);
      prev_.resize(size_, -1);
    }
    reserve_slots(named);
  }
  // Large batches are linked grouped by the region of the table their names hash to, so that
  // the table is swept front to back instead of touched at random (which, once the table
  // outgrows the caches, costs a cache miss per name).
  std::vector<int> order;
  order.reserve(named);
  if (named >= 4096) {
    const int region_bits = std::min(bits_, 12);
    std::vector<size_t> start((size_t(1) << region_bits) + 1, 0);
    for (int k : changed)
      if (!names[k].empty()) ++start[(hash[k] >> (32 - region_bits)) + 1];
    for (size_t r = 1; r < start.size(); ++r) start[r] += start[r - 1];
    order.resize(named);
    for (int k : changed)
      if (!names[k].empty()) order[start[hash[k] >> (32 - region_bits)]++] = k;
  } else {
    for (int k : changed)
      if (!names[k].empty()) order.push_back(k);
  }

  // Nothing below allocates. The old names leave their chains first, so names may move
  // between elements of the range in one call.
  for (int k : changed) {
    std::string &slot = names_[first + k];
    if (!slot.empty()) {
      if (slot.size() >= max_length_) max_length_stale_ = true;
      unlink(first + k);
    }
    slot = std::move(names[k]);
    if (!max_length_stale_) max_length_ = std::max(max_length_, slot.size());
  }
  for (int k : order) link(first + k, hash[k]);
}

void NameTable::reserve(int count) {
  if (names_.empty()) return;
  grow_by(names_, count);
  grow_by(next_, count);
  grow_by(prev_, count);
}

void NameTable::append_empty(int count) {
  if (!names_.empty()) {
    grow_by(names_, count);
    grow_by(next_, count);
    grow_by(prev_, count);
    names_.resize(size_ + count);
    next_.resize(size_ + count, -1);
    prev_.resize(size_ + count, -1);
  }
  size_ += count;
}

void NameTable::remove(const std::vector<int> &map) {
  const int n = size_;
  int out = 0;
  if (names_.empty()) {
    for (int i = 0; i < n; ++i) out += map[i] >= 0;
    size_ = out;
    return;
  }
  for (int i = 0; i < n; ++i)
    if (map[i] < 0 && !names_[i].empty()) {
      if (names_[i].size() >= max_length_) max_length_stale_ = true;
      unlink(i);
    }
  // The deleted have left their chains, so every link left points at a kept element.
  for (int i = 0; i < n; ++i) {
    if (map[i] < 0) continue;
    if (out != i) names_[out] = std::move(names_[i]);
    const bool named = !names_[out].empty();
    next_[out] = named && next_[i] >= 0 ? map[next_[i]] : -1;
    prev_[out] = named ? map[prev_[i]] : -1;
    ++out;
  }
  names_.resize(out);
  next_.resize(out);
  prev_.resize(out);
  size_ = out;
  for (Slot &s : slots_)
    if (s.head >= 0) s.head = map[s.head];
}

void NameTable::clear() {
  names_.clear();
  size_ = 0;
  next_.clear();
  prev_.clear();
  slots_.clear();
  bits_ = 0;
  distinct_ = 0;
  max_length_ = 0;
  max_length_stale_ = false;
}

size_t NameTable::max_length() const {
  if (max_length_stale_) {
    max_length_ = 0;
    for (const std::string &name : names_) max_length_ = std::max(max_length_, name.size());
    max_length_stale_ = false;
  }
  return max_length_;
}

}  // namespace klvo
