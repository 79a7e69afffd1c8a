// Cuts: the rows the search adds to its node relaxations, the problem's cut pool, and the
// view of the current node that the in-callback cut functions act on.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "klvo.h"

namespace klvo {

struct Cut {
  uint64_t id = 0;  // the handle; never reused
  int type = 0;
  char rowtype = 'L';
  double rhs = 0;
  std::vector<int> cols;
  std::vector<double> vals;
  bool managed = false;  // the search adds it wherever it is violated

  double activity(const double *x) const {
    double a = 0;
    for (size_t k = 0; k < cols.size(); ++k) a += vals[k] * x[cols[k]];
    return a;
  }
  // How far x is beyond the cut's bound (negative or zero: it holds).
  double violation(const double *x) const;
  // How far the activity is from the bound it faces (0 for an equation).
  double loose(const double *x) const { return rowtype == 'E' ? 0.0 : -violation(x); }
};
using CutPtr = std::shared_ptr<const Cut>;

inline KLVOcut cut_handle(uint64_t id) { return reinterpret_cast<KLVOcut>(static_cast<uintptr_t>(id)); }
inline uint64_t cut_id(KLVOcut handle) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle)); }

// The type selection of the cut functions; fails naming fn on an unknown interp.
bool type_selected(int type, int cuttype, int interp);
void check_interp(int interp, const char *fn);

// Reads and checks caller arrays into cuts over ncols columns (cuttype may be null); nothing
// is made when anything is wrong.
std::vector<std::shared_ptr<Cut>> read_cuts(int ncuts, const int *cuttype, const char *rowtype, const double *rhs,
                                            const int64_t *start, const int *colind, const double *cutcoef, int ncols,
                                            const char *fn);
// A fresh handle for a new cut.
uint64_t next_cut_id();

// The problem's cut pool. Callbacks of a parallel search may use it at once: every member
// locks.
class CutPool {
 public:
  // Stores the cuts (see KLVOstorecuts64 for nodups) and gives their handles.
  std::vector<uint64_t> store(std::vector<std::shared_ptr<Cut>> cuts, int nodups);
  CutPtr find(uint64_t id) const;
  // The pool cuts of the selected types, in the order they were stored.
  std::vector<CutPtr> select(int cuttype, int interp) const;
  std::vector<CutPtr> managed() const;
  // Removes cuts; all are checked before any is removed.
  void remove(const std::vector<uint64_t> &ids, const char *fn);
  void remove_selected(int cuttype, int interp);
  // Columns were deleted (map: old column to new, -1 deleted): cuts over a deleted column go.
  void columns_deleted(const std::vector<int> &map);
  void clear();
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::vector<CutPtr> cuts_;
  std::unordered_map<uint64_t, size_t> where_;
  void reindex();
};

// The current node of a running search, as the cut functions see it from a callback.
class NodeCuts {
 public:
  virtual ~NodeCuts() = default;
  // Whether a node is current (the functions that need one fail otherwise).
  virtual bool at_node() const = 0;
  // The node's cuts, in order.
  virtual std::vector<CutPtr> active() const = 0;
  // Adds cuts to the node (those it has already are skipped).
  virtual void add(const std::vector<CutPtr> &cuts) = 0;
  // Managed cuts valid in the node's subtree.
  virtual void add_local_managed(const std::vector<CutPtr> &cuts) = 0;
  // Takes cuts out of the node.
  virtual void remove(const std::vector<uint64_t> &ids) = 0;
  // A cut made by the running solve (pool cuts included), or null.
  virtual CutPtr find(uint64_t id) const = 0;
  // Rows of the model, which come before the node's cuts in its relaxation.
  virtual int model_rows() const = 0;
  // The model refuses cuts (quadratic rows or formulas): the reason, else null.
  virtual const char *refused() const = 0;
};

}  // namespace klvo
