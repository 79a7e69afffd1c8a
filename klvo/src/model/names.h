// Names of one kind of element (rows, columns or sets) with a lookup by name.
//
// Several elements may carry the same name; a lookup gives the lowest index that carries it.
// Elements with equal names form a chain in increasing index order, and a hash table over the
// distinct names points at the head of each chain, so a lookup is one probe whatever the
// number of duplicates, and renaming or deleting an element relinks only its own chain. (Giving
// an element a name that both lower and higher elements carry walks the chain from its head,
// or from the element before when that has the name too.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace klvo {

class NameTable {
 public:
  int size() const { return size_; }
  const std::string &get(int i) const { return names_.empty() ? none_ : names_[i]; }
  // The lowest index carrying the name, or -1 (the empty name is never found).
  int find(std::string_view name) const;
  // Sets the names of elements first.. (an empty name clears). Allocates everything it needs
  // before it changes anything, so a failure leaves the table as it was.
  void assign(int first, std::vector<std::string> names);
  void append_empty(int count);
  // Makes room for `count` more elements, so that append_empty(count) cannot fail.
  void reserve(int count);
  // Removes the elements whose map[i] is negative; the others move to index map[i] (map has
  // size() entries, increasing over the kept ones).
  void remove(const std::vector<int> &map);
  void clear();
  // Longest name, in bytes.
  size_t max_length() const;

 private:
  // One distinct name: the top 32 bits of its hash (the home slot is their top bits) and the
  // head of its chain, -1 for an empty slot. Linear probing without tombstones.
  struct Slot {
    uint32_t hash;
    int32_t head;
  };

  static uint32_t hash_of(std::string_view name);
  size_t home(uint32_t hash) const { return hash >> (32 - bits_); }
  size_t mask() const { return slots_.size() - 1; }
  // The slot holding the name, or the empty slot where it would go.
  size_t probe(std::string_view name, uint32_t hash) const;
  // Makes room for `more` further distinct names.
  void reserve_slots(size_t more);
  void rehash(int bits);
  void erase_slot(size_t pos);
  // Puts element i, whose name is set, into its name's chain (element i-1, when it has the same
  // name, must be in it already); takes it out again.
  void link(int i, uint32_t hash);
  void unlink(int i);

  // Empty until the first name is given (unnamed elements then cost nothing), then size_ long.
  std::vector<std::string> names_;
  int size_ = 0;
  static const std::string none_;
  // Chains of equal names: next_[i] is the next element with i's name (-1 after the last),
  // prev_[i] the previous one, and for a head the last one, so that appending costs one step.
  // Both are empty until the first name is given, then size_ long.
  std::vector<int> next_, prev_;
  std::vector<Slot> slots_;  // empty or a power of two in size, at most half full
  int bits_ = 0;             // slots_.size() == 1 << bits_
  size_t distinct_ = 0;      // occupied slots
  // The longest name is kept up to date on additions and recomputed lazily after removals.
  mutable size_t max_length_ = 0;
  mutable bool max_length_stale_ = false;
};

}  // namespace klvo
