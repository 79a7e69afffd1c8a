// Nonlinear formulas of the model store: entries factor * formula * column added to a row (or
// to the objective). The store keeps them as token arrays, follows deleted rows and columns,
// and indexes them by (row, column); engines compile them when they build their own model.
//
// Token (type, value) pairs, postfix order:
//   0 end of formula; 1 constant; 10 column (index as a double); 11 user function (its id);
//   12 internal function (engines/nlp/formula.h lists the codes); 22 start of an argument
//   list; 31 operator (1 unary minus, 2 power, 3 times, 4 divide, 5 plus, 6 minus).
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace klvo {

struct FormulaToken {
  int type;
  double value;
};

enum TokenType { kEnd = 0, kConst = 1, kColumn = 10, kUserFunc = 11, kFunc = 12, kMarker = 22, kOperator = 31 };

// factor * formula * column in a row (-1 the objective); column KSLP_NOCOLUMN: no column.
struct FormulaEntry {
  int row;
  int col;
  double factor;
  std::vector<FormulaToken> tokens;  // checked when added, without the end token
};

class FormulaStore {
 public:
  FormulaStore();
  // Copies and moves take the entries (under a revision of their own); the index is rebuilt
  // when next needed.
  FormulaStore(const FormulaStore &other);
  FormulaStore(FormulaStore &&other) noexcept;
  FormulaStore &operator=(const FormulaStore &other);
  FormulaStore &operator=(FormulaStore &&other) noexcept;

  // Entries in order of addition.
  const std::vector<FormulaEntry> &entries() const { return entries_; }
  bool empty() const { return entries_.empty(); }
  int size() const { return static_cast<int>(entries_.size()); }
  void assign(std::vector<FormulaEntry> entries);
  void append(std::vector<FormulaEntry> &&more);
  void clear() { assign({}); }

  // Positions of the entries at (row, col), in order of addition.
  const std::vector<int> &at(int row, int col) const;
  // The distinct (row, column) pairs holding entries, in order of first addition.
  const std::vector<std::pair<int, int>> &pairs() const;

  // Follow deleted rows or columns, given the store's deletion map (old index -> new index,
  // -1 deleted): entries in deleted rows, multiplying a deleted column or using one inside
  // the formula are dropped, and later indices shift down.
  void rows_deleted(const std::vector<int> &map);
  void cols_deleted(const std::vector<int> &map);

  // Changes on every change of the entries, and differs between stores, so an engine can
  // keep what it compiled while the number stays the same.
  uint64_t revision() const { return revision_; }

 private:
  void changed();
  void build_index() const;

  std::vector<FormulaEntry> entries_;
  uint64_t revision_ = 0;
  mutable std::unordered_map<uint64_t, std::vector<int>> index_;
  mutable std::vector<std::pair<int, int>> pairs_;
  mutable bool index_valid_ = false;
  mutable std::mutex index_mutex_;  // readers may build the index lazily from several threads
};

}  // namespace klvo
