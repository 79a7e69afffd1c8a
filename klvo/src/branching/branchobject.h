// Branching objects: branches of bound changes and rows that a caller or the search proposes
// for splitting a node (see klvo/branching.h).
#pragma once

#include <string>
#include <vector>

#include "cuts/pool.h"
#include "env/error.h"
#include "klvo.h"

namespace klvo {

struct BranchBound {
  char type;  // 'L', 'U' or 'B'
  int col;
  double value;
};

struct BranchData {
  std::vector<BranchBound> bounds;
  // Rows in sparse form: row r holds entries start[r] .. start[r+1]-1.
  std::vector<char> rowtype;
  std::vector<double> rhs;
  std::vector<int> start{0};
  std::vector<int> col;
  std::vector<double> coef;
  // Pool cuts the branch's child holds besides its parent's. Held here, they outlive their
  // removal from the pool, as a node's cuts do.
  std::vector<CutPtr> cuts;

  int nrows() const { return static_cast<int>(rowtype.size()); }
};

}  // namespace klvo

struct klvo_branchobject_s {
  KLVOprob prob = nullptr;
  bool original = true;
  int id = 0;
  int priority = 500;
  int preferred = 0;
  // The search's own object, offered to a callback: the search owns it and it is read-only.
  bool offered = false;
  std::vector<klvo::BranchData> branches;
  klvo::ErrorSlot error;
};

namespace klvo {

using BranchObject = klvo_branchobject_s;

// Why an object cannot be used (0: it can): 1 no branches, 2 a column at or beyond ncols
// (ncols < 0: not checked).
int branch_object_status(const BranchObject &bo, int ncols, std::string *why = nullptr);

// A new object with a fresh id.
BranchObject *new_branch_object(KLVOprob prob, bool original);

}  // namespace klvo
