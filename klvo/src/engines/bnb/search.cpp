#include "engines/bnb/search.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cuts/pool.h"
#include "branching/node_access.h"
#include "engines/bnb/check.h"
#include "engines/bnb/relaxation.h"
#include "engines/gencons_milp.h"
#include "engines/solution_info.h"
#include "engines/nlp/solve.h"
#include "env/error.h"
#include "model/edit.h"

namespace klvo {
namespace bnb {

namespace {

constexpr double kInf = KLVO_INFINITY;
// Larger big-M coefficients than this make the relaxation numerically poor; such indicators
// are branched on instead.
constexpr double kMaxBigM = 1e6;
// Pseudo-costs of a column count as reliable after this many observations in each direction.
constexpr int kReliable = 4;
// Candidates strong branching looks at, at most, per node.
constexpr int kStrongCandidates = 8;
// Workers of one search, at most, whatever the threads control asks.
constexpr int64_t kMaxWorkers = 64;
// Cut rounds at one node, at most: a callback that keeps adding cuts cannot hold a node forever.
constexpr int kMaxCutRounds = 200;

using CutList = std::shared_ptr<const std::vector<CutPtr>>;

enum Kind : char { kContinuous, kInteger, kSemiInteger, kSemiContinuous, kPartial };

struct Change {
  int col;
  double lo, hi;
};

// A branching row held by the nodes below the branch that made it; when the last of them goes,
// its relaxation row goes back to the free slots and is reused for the next branching row.
struct BranchRow {
  int slot;
  std::shared_ptr<std::vector<int>> free;
  BranchRow(int s, std::shared_ptr<std::vector<int>> f) : slot(s), free(std::move(f)) {}
  ~BranchRow() { free->push_back(slot); }
  BranchRow(const BranchRow &) = delete;
  BranchRow &operator=(const BranchRow &) = delete;
};
using RowRef = std::shared_ptr<const BranchRow>;

struct Node {
  int64_t id = 0, parent = 0;
  int depth = 0;
  double bound = -kInf;     // best known lower bound (minimising sense)
  double estimate = -kInf;  // bound plus the expected cost of the branching that made it
  std::vector<Change> changes;  // from the root, applied in order
  std::vector<RowRef> rows;     // branching rows that hold here
  // The branching that made this node, for the pseudo-costs.
  int col = -1, dir = 0;
  double distance = 0.0;
  // Cuts in the node's relaxation and managed cuts valid in its subtree, shared with the
  // parent until the node changes them.
  CutList cuts, managed;
  int revisits = 0;
};
using NodePtr = std::unique_ptr<Node>;

struct ByBound {
  bool operator()(const NodePtr &a, const NodePtr &b) const {
    return a->bound > b->bound || (a->bound == b->bound && a->id > b->id);
  }
};

struct Pseudo {
  double sum[2] = {0, 0};
  int count[2] = {0, 0};
};

// An indicator whose row is switched on and off by the search.
struct Switch {
  int row, col, comp;
};

struct Branch {
  BranchInfo::Kind kind = BranchInfo::Column;
  int index = -1;
  double value = 0;
  // Each child's bound changes.
  std::vector<Change> child[2];
  int first = 0;  // the child to plunge into
  double gain[2] = {0, 0};
  double distance[2] = {0, 0};
};

class Search;

// What the workers of one search share: the open nodes, the incumbent, the pseudo-costs and the
// counts. mutex guards all of it; a worker holds it except while its relaxation solves, so
// the search's events fire one at a time, each from the worker that meets it.
struct Tree {
  std::mutex mutex;
  std::condition_variable wake;  // open nodes arrived, or the search ended
  bool done = false;
  std::vector<Search *> workers;

  std::vector<NodePtr> open;
  std::vector<Pseudo> pseudo;
  int64_t next_id = 1, nodes = 0, mipsols = 0, lost = 0, rejected = 0;
  double incumbent = kInf;  // minimising sense
  std::vector<double> best_x;
  double pruned_bound = kInf, lost_bound = kInf, root_bound = -kInf, cutoff = kInf, last_log = 0;
  int stop = KLVO_STOP_NONE;
  bool root_done = false, root_infeasible = false, unbounded = false;
  std::exception_ptr failure;  // the first worker's error, raised once all have stopped
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

using ObjectPtr = std::unique_ptr<BranchObject>;

class Search : public NodeCuts, public NodeAccess {
 public:
  // worker: 0 for the search that prepares, reports and finishes; others only solve nodes.
  Search(const SolveContext &ctx, kslp_problem_s *layer, SearchEvents *events, Tree &tree, int worker = 0)
      : ctx_(ctx), m_(ctx.model), layer_(layer), events_(events ? events : &no_events_), tree_(tree),
        worker_(worker), lock_(tree.mutex, std::defer_lock),
        checker_(ctx.model, layer, std::max(1e-6, 10 * ctx.controls.dbl_control(KLVO_CONTROL_FEASTOL)),
                 ctx.controls.dbl_control(KLVO_CONTROL_MIPTOL)) {}

  void run();

  // The current node's cuts, for the cut functions called from callbacks.
  bool at_node() const override { return current_ != nullptr; }
  std::vector<CutPtr> active() const override;
  void add(const std::vector<CutPtr> &cuts) override;
  void add_local_managed(const std::vector<CutPtr> &cuts) override;
  void remove(const std::vector<uint64_t> &ids) override;
  CutPtr find(uint64_t id) const override;
  int model_rows() const override { return m_.nrows(); }
  const char *refused() const override {
    return nonlinear_ ? "the search's node relaxations have quadratic rows or formulas, which take no cuts" : nullptr;
  }
  // Calls from node callbacks.
  void store(BranchObject *bo, const char *fn) override;
  void strong_branch(KLVOprob prob, int n, const int *col, const char *type, const double *val, int itrlimit,
                     double *objval, int *status, KLVOstrongbranchsolvecb cb, void *data, const char *fn) override;

 private:
  void prepare();
  void work();
  void process();
  bool others_busy() const;
  Relaxation::Status solve_relaxation(double cutoff, int iterlimit = 0);
  void log(const std::string &line) const;
  double elapsed() const { return std::chrono::duration<double>(clock::now() - start_).count(); }
  double seconds_left() const { return timelimit_ > 0 ? std::max(1e-3, timelimit_ - elapsed()) : 0.0; }
  double prune_limit() const;
  double lower_bound() const;
  bool stop_requested();

  void node_bounds(const Node &node, std::vector<double> &lo, std::vector<double> &hi) const;
  void load(const std::vector<double> &lo, const std::vector<double> &hi);
  Relaxation::Status solve_node(const std::vector<double> &lo, const std::vector<double> &hi);

  bool find_branch(const Node &node, const std::vector<double> &x, const std::vector<double> &lo,
                   const std::vector<double> &hi, Branch &out, bool &infeasible);
  bool column_branch(const Node &node, const std::vector<double> &x, std::vector<double> lo, std::vector<double> hi,
                     Branch &out, bool &infeasible);
  double pseudo(int j, int dir) const;
  void observe(int j, int dir, double gain, double distance);

  bool try_solution(const std::vector<double> &x, bool heuristic);
  void try_start(const MipStart &start);
  // What the latest candidate given to try_solution came to.
  enum Outcome { kInfeasible, kNotBetter, kRejected, kAccepted } outcome_ = kInfeasible;
  void round_and_check(const std::vector<double> &x);
  void fix_and_solve(const std::vector<double> &x, const std::vector<double> &lo, const std::vector<double> &hi);
  void finish(bool completed, bool root_infeasible, bool unbounded);
  void make_children(Node &node);

  // Cuts: the node's cuts switched on in the relaxation; rounds of managed-cut separation and
  // optnode callbacks, each solving the node again when it added cuts.
  enum class Rounds { keep, dropped, infeasible, cutoff, lost };
  void apply_cuts();
  bool separate(Node &node, const std::vector<double> &x);
  bool add_delayed(const std::vector<double> &x);
  bool switch_on_violated(std::vector<int> &rows, const std::vector<double> &x, double tol);
  Rounds cut_rounds(Node &node, NodeInfo &info);
  std::unordered_map<uint64_t, int> cut_row_;   // engine row of each cut that joined the relaxation
  std::unordered_map<uint64_t, CutPtr> made_;   // the cuts callbacks gave this solve
  std::vector<int> on_rows_;                    // engine rows of the cuts switched on
  std::vector<char> row_wanted_;
  uint64_t cut_changes_ = 0;                    // changes of the current node's cuts
  uint64_t applied_changes_ = 0;                // ... of which the relaxation has seen these
  std::vector<int> model_cuts_, delayed_;       // rows not yet in the relaxation
  int64_t cut_rounds_ = 0, cuts_added_ = 0;
  bool revisit_ = false;                        // the current node is solved again

  void plunge_or_wait(NodePtr *kids, int count, int first);
  // Branching objects: those stored by callbacks and the one chgbranchobject callbacks give.
  bool branch_on_objects(Node &node, const std::vector<double> &x);
  ObjectPtr own_object() const;
  bool make_object_children(Node &node, const BranchObject &bo);
  Branch branch_;
  std::vector<ObjectPtr> stored_;
  bool at_node_ = false;                 // a node's relaxation is solved and it is not split yet
  bool choosing_ = false;                // chgbranchobject callbacks are running
  std::vector<RowRef> node_rows_;        // the current node's branching rows
  std::vector<int> pool_rows_;           // relaxation row of each branching-row slot
  std::vector<std::vector<int>> slot_cols_;  // the columns of each slot's row
  std::vector<char> row_on_;             // which slots are switched on
  std::shared_ptr<std::vector<int>> free_slots_ = std::make_shared<std::vector<int>>();
  int64_t branch_rows_ = 0;              // branching rows made, slots reused or not
  bool warned_rows_ = false;

  using clock = std::chrono::steady_clock;
  const SolveContext &ctx_;
  const ModelStore &m_;
  kslp_problem_s *layer_;
  SearchEvents no_events_;
  SearchEvents *events_;
  Tree &tree_;
  const int worker_;
  std::unique_lock<std::mutex> lock_;  // on tree_.mutex while this worker runs
  Checker checker_;

  ModelStore work_;
  int n_ = 0;        // columns of the working model
  int n_user_ = 0;   // the model's own columns (the first ones)
  std::vector<char> kind_;
  std::vector<double> threshold_;  // semi-continuous: the least value when on; partial: the limit
  std::vector<double> lo0_, hi0_;
  std::vector<int> priority_;
  std::vector<char> direction_;
  std::vector<Switch> switches_;
  std::vector<std::vector<std::pair<double, int>>> sets_;  // members by weight
  std::vector<char> set_type_;
  std::vector<Pseudo> &pseudo_ = tree_.pseudo;
  std::unique_ptr<Relaxation> relax_;
  bool nonlinear_ = false;

  double inttol_ = 1e-6, absstop_ = 0, relstop_ = 0, timelimit_ = 0;
  double &cutoff_ = tree_.cutoff;
  int64_t maxnode_ = 0, maxsol_ = 0;
  int outputlog_ = KLVO_OUTPUT_ALL;

  // Open nodes as a heap on their bounds (front: least bound).
  std::vector<NodePtr> &open_ = tree_.open;
  void push(NodePtr node) {
    open_.push_back(std::move(node));
    std::push_heap(open_.begin(), open_.end(), ByBound());
    tree_.wake.notify_one();
  }
  NodePtr pop() {
    std::pop_heap(open_.begin(), open_.end(), ByBound());
    NodePtr node = std::move(open_.back());
    open_.pop_back();
    return node;
  }
  NodePtr current_;  // this worker's node
  int64_t &next_id_ = tree_.next_id, &nodes_ = tree_.nodes, &mipsols_ = tree_.mipsols, &lost_ = tree_.lost,
          &rejected_ = tree_.rejected;
  double &incumbent_ = tree_.incumbent;
  std::vector<double> &best_x_ = tree_.best_x;
  double &pruned_bound_ = tree_.pruned_bound;  // least bound of the nodes dropped by the gap tolerances
  double &lost_bound_ = tree_.lost_bound;      // least bound of nodes whose relaxation failed
  double &root_bound_ = tree_.root_bound;
  int &stop_ = tree_.stop;
  const clock::time_point &start_ = tree_.start;
  double &last_log_ = tree_.last_log;
  double sense_ = 1;
  std::vector<double> lo_, hi_;  // scratch bounds of the current node
};

void Search::log(const std::string &line) const {
  if (outputlog_ == KLVO_OUTPUT_NONE || outputlog_ == KLVO_OUTPUT_ERRORS ||
      outputlog_ == KLVO_OUTPUT_ERRORS_AND_WARNINGS)
    return;
  ctx_.message(KLVO_MSG_INFO, line);
}

// Positive semi-definite by an LDL' factorisation with a small tolerance; matrices of more
// than 300 columns are not examined (false).
bool positive_semidefinite(const std::vector<QTerm> &terms, double sign) {
  std::vector<int> cols;
  for (const QTerm &t : terms) cols.push_back(t.col1), cols.push_back(t.col2);
  std::sort(cols.begin(), cols.end());
  cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
  const size_t k = cols.size();
  if (k > 300) return false;
  std::vector<double> a(k * k, 0.0);
  auto pos = [&](int c) { return static_cast<size_t>(std::lower_bound(cols.begin(), cols.end(), c) - cols.begin()); };
  for (const QTerm &t : terms) {
    size_t p = pos(t.col1), q = pos(t.col2);
    a[p * k + q] += sign * t.value;
    if (p != q) a[q * k + p] += sign * t.value;
  }
  for (size_t j = 0; j < k; ++j) {
    double d = a[j * k + j];
    if (d < -1e-9) return false;
    if (d <= 1e-12) {
      for (size_t i = j + 1; i < k; ++i)
        if (std::fabs(a[i * k + j]) > 1e-9) return false;
      continue;
    }
    for (size_t i = j + 1; i < k; ++i) {
      double l = a[i * k + j] / d;
      for (size_t c = j + 1; c <= i; ++c) a[i * k + c] -= l * a[c * k + j];
    }
  }
  return true;
}

void Search::prepare() {
  const ParamStore &p = ctx_.controls;
  inttol_ = p.dbl_control(KLVO_CONTROL_MIPTOL);
  absstop_ = p.dbl_control(KLVO_CONTROL_MIPABSSTOP);
  relstop_ = p.dbl_control(KLVO_CONTROL_MIPRELSTOP);
  timelimit_ = p.dbl_control(KLVO_CONTROL_TIMELIMIT);
  maxnode_ = p.int_control(KLVO_CONTROL_MAXNODE);
  maxsol_ = p.int_control(KLVO_CONTROL_MAXMIPSOL);
  outputlog_ = static_cast<int>(p.int_control(KLVO_CONTROL_OUTPUTLOG));
  sense_ = m_.objsense < 0 ? -1.0 : 1.0;
  double cutoff = p.dbl_control(KLVO_CONTROL_CUTOFF);
  if (std::fabs(cutoff) < kInf) cutoff_ = sense_ * cutoff;

  // General and piecewise-linear constraints become rows over extra columns; the model's own
  // columns and rows come first and keep their indices.
  work_ = m_.gencons.empty() && m_.pwlcons.empty() ? m_ : gencons_as_milp(m_);
  work_.marks.rowscale.clear();
  work_.marks.colscale.clear();
  n_user_ = m_.ncols();
  n_ = work_.ncols();
  const int formulas = layer_ ? m_.formulas.size() : 0;
  nonlinear_ = m_.nqrows() > 0 || formulas > 0;

  kind_.assign(n_, kContinuous);
  threshold_.assign(n_, 0.0);
  lo0_.resize(n_);
  hi0_.resize(n_);
  for (int j = 0; j < n_; ++j) {
    char t = work_.coltype[j];
    double lo = work_.lb[j], hi = work_.ub[j];
    switch (t) {
      case 'B':
        kind_[j] = kInteger;
        lo = std::max(lo, 0.0), hi = std::min(hi, 1.0);
        break;
      case 'I':
        kind_[j] = kInteger;
        break;
      case 'S':
      case 'R': {
        double th = std::max(lo, work_.limit[j]);
        if (th <= 0) {  // zero lies in the range already: an ordinary column
          kind_[j] = t == 'R' ? kInteger : kContinuous;
          lo = th;
          break;
        }
        kind_[j] = t == 'R' ? kSemiInteger : kSemiContinuous;
        threshold_[j] = th;
        lo = 0;
        hi = hi >= th ? hi : 0.0;
        break;
      }
      case 'P':
        kind_[j] = kPartial;
        threshold_[j] = work_.limit[j];
        break;
      default:
        break;
    }
    if (kind_[j] == kInteger) {
      if (lo > -kInf) lo = std::ceil(lo - inttol_);
      if (hi < kInf) hi = std::floor(hi + inttol_);
    }
    lo0_[j] = lo;
    hi0_[j] = hi;
  }

  // Indicators: an exact big-M row where the row's activity is bounded, else a row the
  // search switches on once its column is fixed at the value that enforces it.
  std::vector<char> formula_row(m_.nrows(), 0);
  if (formulas)
    for (const FormulaEntry &e : m_.formulas.entries())
      if (e.row >= 0 && e.row < m_.nrows()) formula_row[e.row] = 1;
  int bigm = 0;
  for (int i = 0; i < m_.nrows(); ++i) {
    if (m_.indcomp.empty() || m_.indcomp[i] == 0) continue;
    int b = m_.indcol[i], comp = m_.indcomp[i];
    if (kind_[b] == kContinuous) {
      // The condition is "column equals 0" or "equals 1": the search keeps the column integral.
      kind_[b] = kInteger;
      lo0_[b] = std::ceil(lo0_[b] - inttol_);
      hi0_[b] = std::floor(hi0_[b] + inttol_);
    }
    bool linear = (work_.qrows.empty() || work_.qrows[i].empty()) && !formula_row[i];
    double amin = 0, amax = 0, coef_b = 0;
    for (const Entry &e : work_.rowentries[i]) {
      if (e.index == b) {
        coef_b = e.value;
        continue;
      }
      double l = lo0_[e.index], h = hi0_[e.index];
      amin += e.value > 0 ? (l <= -kInf ? -INFINITY : e.value * l) : (h >= kInf ? -INFINITY : e.value * h);
      amax += e.value > 0 ? (h >= kInf ? INFINITY : e.value * h) : (l <= -kInf ? INFINITY : e.value * l);
    }
    // The enforcing value of b is known, so its own term is constant where the row counts.
    double bval = comp > 0 ? 1.0 : 0.0;
    double shift = coef_b * bval;
    char t = work_.rowtype[i];
    double rhs = work_.rhs[i];
    double up = t == 'L' || t == 'E' || t == 'R' ? rhs - shift : INFINITY;
    double low = t == 'G' || t == 'E' ? rhs - shift : t == 'R' ? rhs - std::fabs(work_.range[i]) - shift : -INFINITY;
    bool need_up = std::isfinite(up) && amax > up, need_low = std::isfinite(low) && amin < low;
    double mu = need_up ? amax - up : 0, ml = need_low ? low - amin : 0;
    bool exact = linear && std::isfinite(amin) && std::isfinite(amax) && mu <= kMaxBigM && ml <= kMaxBigM &&
                 std::fabs(coef_b) < kInf;
    if (!exact) {
      switches_.push_back({i, b, comp});
      continue;
    }
    ++bigm;
    // s = 1 - b (comp 1) or b (comp -1) is 0 where the row holds:
    //   a'x <= up + mu s   and   a'x >= low - ml s   (a without b's term).
    // b's own coefficient is replaced; the row's other entries stay.
    auto state = [&](char type, double bound, double m, int row) {
      // a'x + sign * m * s  type bound, written in b: s = 1 - b or s = b.
      double sign = type == 'L' ? -1.0 : 1.0;
      double cb = comp > 0 ? -sign * m : sign * m;
      double rhs_new = bound + (comp > 0 ? -sign * m : 0.0);
      chg_coefs(work_, "search", 1, &row, &b, &cb);
      chg_rhs(work_, "search", 1, &row, &rhs_new);
      char ty = type;
      chg_rowtype(work_, "search", 1, &row, &ty);
    };
    if (need_up && need_low) {
      // The lower side goes to a new row with the same entries.
      std::vector<int64_t> start = {0, 0};
      std::vector<int> idx;
      std::vector<double> val;
      for (const Entry &e : work_.rowentries[i])
        if (e.index != b) idx.push_back(e.index), val.push_back(e.value);
      start[1] = static_cast<int64_t>(idx.size());
      char g = 'G';
      double zero = 0;
      add_rows(work_, "search", &g, &zero, nullptr, sparse_block(1, start[1], start.data(), idx.data(), val.data()));
      state('G', low, ml, work_.nrows() - 1);
      state('L', up, mu, i);
    } else if (need_up) {
      state('L', up, mu, i);
    } else if (need_low) {
      state('G', low, ml, i);
    } else {
      // Holds whatever the columns do: b's term, constant where it counts, goes into the bounds.
      double zero = 0;
      chg_coefs(work_, "search", 1, &i, &b, &zero);
      char n = 'N';
      chg_rowtype(work_, "search", 1, &i, &n);
    }
  }
  if (!work_.indcol.empty()) del_indicators(work_, "search", 0, work_.nrows() - 1);

  for (const SosSet &s : m_.sets) {
    std::vector<std::pair<double, int>> members;
    for (size_t k = 0; k < s.cols.size(); ++k) members.push_back({s.weights[k], s.cols[k]});
    std::sort(members.begin(), members.end());
    sets_.push_back(std::move(members));
    set_type_.push_back(s.type);
  }

  priority_.assign(n_, kDefaultPriority);
  direction_.assign(n_, 'N');
  pseudo_.assign(n_, Pseudo());
  for (const auto &kv : m_.marks.dirs) {
    if (kv.first >= n_) continue;
    priority_[kv.first] = kv.second.priority;
    direction_[kv.first] = kv.second.dir;
    if (kv.second.downpseudo > 0) pseudo_[kv.first].sum[0] = kv.second.downpseudo, pseudo_[kv.first].count[0] = 1;
    if (kv.second.uppseudo > 0) pseudo_[kv.first].sum[1] = kv.second.uppseudo, pseudo_[kv.first].count[1] = 1;
  }

  int discrete = 0;
  for (char k : kind_) discrete += k != kContinuous;
  if (worker_ == 0)
    log(format("Branch and bound: %d columns (%d discrete), %d rows, %d sets, %d indicators (%d as big-M rows)", n_,
             discrete, work_.nrows(), static_cast<int>(sets_.size()), bigm + static_cast<int>(switches_.size()), bigm));
  if (nonlinear_ && worker_ == 0) {
    bool convex = formulas == 0;
    for (int i = 0; i < m_.nrows() && convex; ++i) {
      if (m_.qrows.empty() || m_.qrows[i].empty()) continue;
      char t = m_.rowtype[i];
      convex = (t == 'L' && positive_semidefinite(m_.qrows[i], 1.0)) || (t == 'G' && positive_semidefinite(m_.qrows[i], -1.0));
    }
    log(convex ? "Quadratic rows are convex: node relaxations are solved to optimality and the search proves its result"
               : "The nonlinear part is not known to be convex: each node relaxation is solved to a local optimum only, "
                 "so the result is a local optimum and the bound is not proven");
  }
  relax_ = make_relaxation(ctx_, work_, layer_, nonlinear_);

  // Model cuts and delayed rows start outside the relaxation (indicator rows stay, as the
  // search switches those itself).
  auto outside = [&](const std::vector<int> &rows, std::vector<int> &out) {
    for (int i : rows) {
      if (i < 0 || i >= m_.nrows() || (!m_.indcomp.empty() && m_.indcomp[i] != 0)) continue;
      out.push_back(i);
      relax_->set_row_active(i, false);
    }
  };
  outside(m_.marks.modelcuts, model_cuts_);
  outside(m_.marks.delayed, delayed_);
}

double Search::prune_limit() const {
  double limit = cutoff_;
  if (incumbent_ < kInf) limit = std::min(limit, incumbent_ - std::max(absstop_, relstop_ * std::fabs(incumbent_)));
  return limit;
}

double Search::lower_bound() const {
  double b = std::min(pruned_bound_, lost_bound_);
  for (const Search *w : tree_.workers)
    if (w->current_) b = std::min(b, w->current_->bound);
  if (!open_.empty()) b = std::min(b, open_.front()->bound);
  return std::min(b, incumbent_);
}

bool Search::stop_requested() {
  if (stop_ != KLVO_STOP_NONE) return true;
  if (ctx_.interrupt.load() != 0) stop_ = KLVO_STOP_INTERRUPT;
  else if (timelimit_ > 0 && elapsed() >= timelimit_) stop_ = KLVO_STOP_TIMELIMIT;
  else if (nodes_ >= maxnode_) stop_ = KLVO_STOP_NODELIMIT;
  else if (maxsol_ > 0 && mipsols_ >= maxsol_) stop_ = KLVO_STOP_SOLLIMIT;
  else if (!events_->checktime()) stop_ = KLVO_STOP_INTERRUPT;
  return stop_ != KLVO_STOP_NONE;
}

void Search::node_bounds(const Node &node, std::vector<double> &lo, std::vector<double> &hi) const {
  lo = lo0_;
  hi = hi0_;
  for (const Change &c : node.changes) {
    lo[c.col] = std::max(lo[c.col], c.lo);
    hi[c.col] = std::min(hi[c.col], c.hi);
  }
}

void Search::load(const std::vector<double> &lo, const std::vector<double> &hi) {
  relax_->set_bounds(lo, hi);
  for (const Switch &s : switches_) {
    bool enforced = s.comp > 0 ? lo[s.col] >= 1 - inttol_ : hi[s.col] <= inttol_;
    relax_->set_row_active(s.row, enforced);
  }
  if (row_on_.empty()) return;
  std::vector<char> want(row_on_.size(), 0);
  for (const RowRef &r : node_rows_) want[r->slot] = 1;
  for (size_t r = 0; r < want.size(); ++r)
    if (want[r] != row_on_[r]) {
      relax_->set_row_active(pool_rows_[r], want[r] != 0);
      row_on_[r] = want[r];
    }
}

Relaxation::Status Search::solve_node(const std::vector<double> &lo, const std::vector<double> &hi) {
  for (int j = 0; j < n_; ++j)
    if (lo[j] > hi[j] + 1e-9) return Relaxation::Infeasible;
  load(lo, hi);
  apply_cuts();
  double limit = prune_limit();
  return solve_relaxation(limit);
}

// Other workers go on with the tree while this one's relaxation solves.
Relaxation::Status Search::solve_relaxation(double cutoff, int iterlimit) {
  const double seconds = seconds_left();
  lock_.unlock();
  Relaxation::Status st;
  try {
    st = relax_->solve(cutoff, seconds, iterlimit);
  } catch (...) {
    lock_.lock();
    throw;
  }
  lock_.lock();
  return st;
}

// ---- Cuts

std::vector<CutPtr> Search::active() const {
  if (!current_ || !current_->cuts) return {};
  return *current_->cuts;
}

void Search::add(const std::vector<CutPtr> &cuts) {
  if (!current_) return;
  auto next = std::make_shared<std::vector<CutPtr>>();
  if (current_->cuts) *next = *current_->cuts;
  size_t before = next->size();
  for (const CutPtr &c : cuts) {
    bool have = false;
    for (const CutPtr &d : *next) have = have || d->id == c->id;
    if (have) continue;
    next->push_back(c);
    made_.emplace(c->id, c);
  }
  if (next->size() == before) return;
  cuts_added_ += static_cast<int64_t>(next->size() - before);
  current_->cuts = std::move(next);
  ++cut_changes_;
}

void Search::add_local_managed(const std::vector<CutPtr> &cuts) {
  if (!current_ || cuts.empty()) return;
  auto next = std::make_shared<std::vector<CutPtr>>();
  if (current_->managed) *next = *current_->managed;
  for (const CutPtr &c : cuts) next->push_back(c), made_.emplace(c->id, c);
  current_->managed = std::move(next);
  ++cut_changes_;  // the node is checked against them again
}

void Search::remove(const std::vector<uint64_t> &ids) {
  if (!current_ || !current_->cuts || ids.empty()) return;
  auto next = std::make_shared<std::vector<CutPtr>>();
  for (const CutPtr &c : *current_->cuts)
    if (std::find(ids.begin(), ids.end(), c->id) == ids.end()) next->push_back(c);
  if (next->size() == current_->cuts->size()) return;
  current_->cuts = std::move(next);
  ++cut_changes_;
}

CutPtr Search::find(uint64_t id) const {
  auto it = made_.find(id);
  return it == made_.end() ? nullptr : it->second;
}

// Switches on the rows of the current node's cuts and off those of the previous node's; a
// cut joins the relaxation as a row the first time a node has it.
void Search::apply_cuts() {
  applied_changes_ = cut_changes_;
  if (on_rows_.empty() && (!current_ || !current_->cuts || current_->cuts->empty())) return;
  std::vector<int> rows;
  if (current_ && current_->cuts)
    for (const CutPtr &c : *current_->cuts) {
      auto it = cut_row_.find(c->id);
      int r;
      if (it != cut_row_.end()) {
        r = it->second;
      } else {
        double lo = c->rowtype == 'L' ? -kInf : c->rhs, hi = c->rowtype == 'G' ? kInf : c->rhs;
        r = relax_->add_row(c->cols, c->vals, lo, hi, true);
        if (r < 0) fail(KLVO_ERR_NOT_SUPPORTED, "The search's node relaxations take no cuts for this model");
        cut_row_.emplace(c->id, r);
      }
      rows.push_back(r);
    }
  // Branching rows share the relaxation's row numbers with cuts.
  size_t need = 0;
  for (int r : rows) need = std::max(need, static_cast<size_t>(r) + 1);
  if (row_wanted_.size() < need) row_wanted_.resize(need + 64, 0);
  for (int r : rows) row_wanted_[r] = 1;
  for (int r : on_rows_)
    if (!row_wanted_[r]) relax_->set_row_active(r, false);
  for (int r : rows) relax_->set_row_active(r, true), row_wanted_[r] = 0;
  on_rows_ = std::move(rows);
}

// Adds to the node the managed cuts that x violates and switches on the model cuts it
// violates (for good); true when anything was added.
bool Search::separate(Node &node, const std::vector<double> &x) {
  const double tol = checker_.feastol();
  std::vector<CutPtr> violated;
  auto check = [&](const std::vector<CutPtr> &cuts) {
    for (const CutPtr &c : cuts)
      if (c->violation(x.data()) > tol * (1 + std::fabs(c->rhs))) violated.push_back(c);
  };
  if (ctx_.cuts && ctx_.cuts->size()) check(ctx_.cuts->managed());
  if (node.managed) check(*node.managed);
  bool added = false;
  if (!violated.empty()) {
    uint64_t before = cut_changes_;
    add(violated);
    added = cut_changes_ != before;
  }
  if (!model_cuts_.empty() && switch_on_violated(model_cuts_, x, tol)) added = true;
  return added;
}

// Switches on, for good, the rows of `rows` that x violates by more than tol (relative to the
// right-hand side) and drops them from the list; true when there were any.
bool Search::switch_on_violated(std::vector<int> &rows, const std::vector<double> &x, double tol) {
  std::vector<double> act = row_activities(work_, x.data());
  size_t w = 0;
  bool added = false;
  for (int i : rows) {
    double v = 0, rhs = work_.rhs[i];
    switch (work_.rowtype[i]) {
      case 'L': v = act[i] - rhs; break;
      case 'G': v = rhs - act[i]; break;
      case 'E': v = std::fabs(act[i] - rhs); break;
      case 'R': v = std::max(act[i] - rhs, rhs - std::fabs(work_.range[i]) - act[i]); break;
      default: break;
    }
    if (v > tol * (1 + std::fabs(rhs))) {
      relax_->set_row_active(i, true);
      added = true;
    } else {
      rows[w++] = i;
    }
  }
  rows.resize(w);
  return added;
}

// Switches on, for good, the delayed rows that x violates; true when there were any.
bool Search::add_delayed(const std::vector<double> &x) {
  return !delayed_.empty() && switch_on_violated(delayed_, x, checker_.feastol());
}

// Rounds at an optimal node: the search's own separation first; when it finds nothing the
// optnode callbacks, which may add cuts or drop the node. A round that added cuts solves the
// node again; cutround callbacks may ask for one more round.
Search::Rounds Search::cut_rounds(Node &node, NodeInfo &info) {
  for (int round = 0;; ++round) {
    bool own = separate(node, relax_->x);
    // Cuts that nodelpsolved or the last cutround callbacks added count as this round's.
    bool added = own || cut_changes_ != applied_changes_;
    if (!added) {
      if (!events_->optnode(info, relax_->x)) return Rounds::dropped;
      added = cut_changes_ != applied_changes_;
    }
    if (added) {
      ++cut_rounds_;
      apply_cuts();
      Relaxation::Status st = solve_relaxation(prune_limit());
      if (st == Relaxation::Infeasible) return Rounds::infeasible;
      if (st == Relaxation::Cutoff) return Rounds::cutoff;
      if (st != Relaxation::Optimal) return Rounds::lost;
      node.bound = std::max(node.bound, relax_->objective);
      info.bound = node.bound;
      if (nodes_ == 1)
        log(format("Cut round %d at the root: %d cuts in the relaxation, objective %.10g", round + 1,
                   node.cuts ? static_cast<int>(node.cuts->size()) : 0, sense_ * relax_->objective));
      if (!events_->cutlog(info)) stop_ = KLVO_STOP_INTERRUPT;
      if (node.bound > prune_limit()) return Rounds::cutoff;
    }
    bool more = events_->cutround(info, relax_->x, own);
    if ((!added && !more && cut_changes_ == applied_changes_) || round + 1 >= kMaxCutRounds) return Rounds::keep;
  }
}

double Search::pseudo(int j, int dir) const {
  const Pseudo &p = pseudo_[j];
  if (p.count[dir] > 0) return p.sum[dir] / p.count[dir];
  // Nothing known of this column: the average over the columns observed, or 1.
  double sum = 0;
  int count = 0;
  for (const Pseudo &q : pseudo_)
    if (q.count[dir] > 0) sum += q.sum[dir] / q.count[dir], ++count;
  return count ? sum / count : 1.0;
}

void Search::observe(int j, int dir, double gain, double distance) {
  if (!(distance > 1e-9) || !std::isfinite(gain)) return;
  pseudo_[j].sum[dir] += std::max(gain, 0.0) / distance;
  ++pseudo_[j].count[dir];
}

// The integer columns (and the integral parts of semi-integer and partially integer columns)
// with fractional values, chosen by reliability branching.
bool Search::column_branch(const Node &node, const std::vector<double> &x, std::vector<double> lo,
                           std::vector<double> hi, Branch &out, bool &infeasible) {
  struct Cand {
    int j;
    double f, score;
  };
  std::vector<Cand> cands;
  int best_priority = INT_MAX;
  for (int j = 0; j < n_; ++j) {
    double v = x[j];
    switch (kind_[j]) {
      case kInteger:
        break;
      case kSemiInteger:
        if (v < threshold_[j] - inttol_) continue;  // off or below: the semi-continuous branch
        break;
      case kPartial:
        if (v >= threshold_[j] - inttol_) continue;
        break;
      default:
        continue;
    }
    double f = v - std::floor(v);
    if (f <= inttol_ || f >= 1 - inttol_) continue;
    if (priority_[j] < best_priority) best_priority = priority_[j], cands.clear();
    if (priority_[j] == best_priority) cands.push_back({j, f, 0});
  }
  if (cands.empty()) return false;
  auto score = [](double down, double up) { return std::max(down, 1e-6) * std::max(up, 1e-6); };
  for (Cand &c : cands) c.score = score(pseudo(c.j, 0) * c.f, pseudo(c.j, 1) * (1 - c.f));
  std::sort(cands.begin(), cands.end(), [](const Cand &a, const Cand &b) { return a.score > b.score; });
  int chosen = cands[0].j;
  double chosen_f = cands[0].f;

  // Strong branching on the unreliable candidates of the highest pseudo-cost scores: trial
  // solves of both children with few iterations.
  if (relax_->supports_trials()) {
    std::vector<Cand> trial;
    for (const Cand &c : cands)
      if (pseudo_[c.j].count[0] < kReliable || pseudo_[c.j].count[1] < kReliable) trial.push_back(c);
    if (trial.size() > static_cast<size_t>(kStrongCandidates)) trial.resize(kStrongCandidates);
    if (!trial.empty()) {
      const double base = relax_->objective;
      const std::vector<double> x_keep = x;
      relax_->save_start();
      double best = -1;
      double limit = prune_limit();
      int forced = -1;
      for (const Cand &c : trial) {
        double gain[2];
        for (int dir = 0; dir < 2; ++dir) {
          double keep_lo = lo[c.j], keep_hi = hi[c.j];
          if (dir == 0) hi[c.j] = std::floor(x_keep[c.j]);
          else lo[c.j] = std::ceil(x_keep[c.j]);
          load(lo, hi);
          Relaxation::Status st = solve_relaxation(limit, 200);
          lo[c.j] = keep_lo, hi[c.j] = keep_hi;
          if (st == Relaxation::Infeasible || st == Relaxation::Cutoff) gain[dir] = INFINITY;
          else if (st == Relaxation::Optimal) gain[dir] = std::max(relax_->objective - base, 0.0);
          else gain[dir] = pseudo(c.j, dir) * (dir == 0 ? c.f : 1 - c.f);
          if (st == Relaxation::Optimal) observe(c.j, dir, gain[dir], dir == 0 ? c.f : 1 - c.f);
        }
        if (std::isinf(gain[0]) && std::isinf(gain[1])) {
          infeasible = true;
          break;
        }
        if (std::isinf(gain[0]) || std::isinf(gain[1])) {
          forced = c.j;  // one child is empty: branching here costs one node
          chosen_f = c.f;
          break;
        }
        double s = score(gain[0], gain[1]);
        if (s > best) best = s, chosen = c.j, chosen_f = c.f;
      }
      load(lo, hi);
      relax_->restore_start();
      relax_->objective = base;
      relax_->x = x_keep;
      if (infeasible) return true;
      if (forced >= 0) chosen = forced;
    }
  }

  int j = chosen;
  double v = x[j];
  out.kind = BranchInfo::Column;
  out.index = j;
  out.value = v;
  out.child[0] = {{j, -kInf, std::floor(v)}};
  out.child[1] = {{j, std::ceil(v), kInf}};
  out.distance[0] = chosen_f;
  out.distance[1] = 1 - chosen_f;
  out.gain[0] = pseudo(j, 0) * chosen_f;
  out.gain[1] = pseudo(j, 1) * (1 - chosen_f);
  out.first = direction_[j] == 'U' ? 1 : direction_[j] == 'D' ? 0 : out.gain[1] < out.gain[0] ? 1 : 0;
  (void)node;
  return true;
}

bool Search::find_branch(const Node &node, const std::vector<double> &x, const std::vector<double> &lo,
                         const std::vector<double> &hi, Branch &out, bool &infeasible) {
  if (column_branch(node, x, lo, hi, out, infeasible)) return true;
  // Semi-continuous columns strictly between 0 and their threshold: off or on.
  int worst = -1;
  double worst_amount = 0;
  for (int j = 0; j < n_; ++j) {
    if (kind_[j] != kSemiContinuous && kind_[j] != kSemiInteger) continue;
    double v = x[j], th = threshold_[j];
    if (v <= inttol_ || v >= th - inttol_ * std::max(1.0, th)) continue;
    double amount = std::min(v, th - v) / th;
    if (amount > worst_amount) worst_amount = amount, worst = j;
  }
  if (worst >= 0) {
    out.kind = BranchInfo::SemiContinuous;
    out.index = worst;
    out.value = x[worst];
    out.child[0] = {{worst, 0.0, 0.0}};
    out.child[1] = {{worst, threshold_[worst], kInf}};
    out.first = x[worst] < 0.5 * threshold_[worst] ? 0 : 1;
    return true;
  }
  // Sets with too many non-zeros: split the members by weight so that each side loses one of
  // the non-zeros found.
  const double feastol = checker_.feastol();
  for (size_t k = 0; k < sets_.size(); ++k) {
    const auto &members = sets_[k];
    int first = -1, last = -1, count = 0;
    double wsum = 0, wx = 0;
    for (size_t p = 0; p < members.size(); ++p) {
      double a = std::fabs(x[members[p].second]);
      if (a <= feastol) continue;
      if (first < 0) first = static_cast<int>(p);
      last = static_cast<int>(p);
      ++count;
      wsum += a;
      wx += a * static_cast<double>(p);
    }
    bool ok = set_type_[k] == '1' ? count <= 1 : last - first <= 1;
    if (ok) continue;
    // Split position r near the weighted centre: type 1 keeps members <= r on one side and
    // > r on the other; type 2 keeps members <= r and >= r.
    int r = static_cast<int>(std::floor(wx / wsum));
    std::vector<Change> left, right;
    if (set_type_[k] == '1') {
      r = std::min(std::max(r, first), last - 1);
      for (size_t p = 0; p < members.size(); ++p)
        (static_cast<int>(p) <= r ? right : left).push_back({members[p].second, 0.0, 0.0});
    } else {
      r = std::min(std::max(r, first + 1), last - 1);
      for (size_t p = 0; p < members.size(); ++p) {
        if (static_cast<int>(p) > r) left.push_back({members[p].second, 0.0, 0.0});
        if (static_cast<int>(p) < r) right.push_back({members[p].second, 0.0, 0.0});
      }
    }
    out.kind = BranchInfo::Set;
    out.index = static_cast<int>(k);
    out.value = r;
    out.child[0] = std::move(left);
    out.child[1] = std::move(right);
    out.first = 0;
    return true;
  }
  // Indicator rows not yet switched on whose column sits at the enforcing value.
  if (!switches_.empty()) {
    std::vector<double> act = row_activities(work_, x.data());
    for (const Switch &s : switches_) {
      double b = x[s.col];
      bool at = s.comp > 0 ? b >= 1 - inttol_ : b <= inttol_;
      bool fixed = s.comp > 0 ? lo[s.col] >= 1 - inttol_ : hi[s.col] <= inttol_;
      if (!at || fixed) continue;
      int i = s.row;
      double a = act[i], rhs = work_.rhs[i], v = 0;
      switch (work_.rowtype[i]) {
        case 'L': v = a - rhs; break;
        case 'G': v = rhs - a; break;
        case 'E': v = std::fabs(a - rhs); break;
        case 'R': v = std::max(a - rhs, rhs - std::fabs(work_.range[i]) - a); break;
        default: break;
      }
      if (v / (1 + std::fabs(rhs)) <= feastol) continue;
      double on = s.comp > 0 ? 1.0 : 0.0;
      out.kind = BranchInfo::Indicator;
      out.index = i;
      out.value = b;
      out.child[0] = {{s.col, on, on}};
      out.child[1] = {{s.col, 1 - on, 1 - on}};
      out.first = 0;
      return true;
    }
  }
  // Rows of a nonlinear model that only hold approximately are left to the final check.
  (void)node;
  return false;
}

bool Search::try_solution(const std::vector<double> &xw, bool heuristic) {
  std::vector<double> x(xw.begin(), xw.begin() + n_user_);
  for (int j = 0; j < n_user_; ++j) {
    char t = m_.coltype[j];
    bool integral = t == 'B' || t == 'I' || (t == 'R' && std::fabs(x[j]) > inttol_) ||
                    (t == 'P' && x[j] < m_.limit[j] - inttol_) || kind_[j] == kInteger;
    if (integral && std::fabs(x[j] - std::round(x[j])) <= inttol_) x[j] = std::round(x[j]);
    if ((t == 'S' || t == 'R') && std::fabs(x[j]) <= inttol_) x[j] = 0;
  }
  outcome_ = kInfeasible;
  if (!checker_.feasible(x)) return false;
  double obj = sense_ * checker_.objective(x);
  outcome_ = kNotBetter;
  if (!(obj < incumbent_ - 1e-9 * (1 + std::fabs(incumbent_)))) return true;
  if (obj > cutoff_) return true;
  double cutoff = sense_ * cutoff_;
  bool accepted = events_->preintsol(x, sense_ * obj, heuristic, cutoff);
  if (std::isfinite(cutoff) && std::fabs(cutoff) < kInf) cutoff_ = std::min(cutoff_, sense_ * cutoff);
  if (!accepted) {
    ++rejected_;
    outcome_ = kRejected;
    return true;
  }
  outcome_ = kAccepted;
  incumbent_ = obj;
  best_x_ = std::move(x);
  ++mipsols_;
  events_->intsol(best_x_, sense_ * obj);
  double bound = lower_bound();
  log(format("%c %9lld nodes  %7d open  solution %.10g  bound %.10g  %.1fs", heuristic ? 'H' : '*',
             static_cast<long long>(nodes_), static_cast<int>(open_.size()), sense_ * incumbent_, sense_ * bound,
             elapsed()));
  return true;
}

// A solution the user gave: a complete one as it is; a partial one with its columns fixed
// (integral ones at the nearest integer) and the rest solved for: the relaxation over them,
// then, if that is not a solution, its discrete columns rounded and the continuous ones solved
// again. The user hears what became of it.
void Search::try_start(const MipStart &start) {
  outcome_ = kInfeasible;
  if (start.colind.empty()) {
    if (static_cast<int>(start.values.size()) == n_user_) {
      std::vector<double> x(start.values);
      x.resize(n_, 0.0);
      try_solution(x, true);
    }
  } else {
    std::vector<double> lo = lo0_, hi = hi0_;
    bool within = true;
    for (size_t k = 0; k < start.colind.size() && within; ++k) {
      int j = start.colind[k];
      double v = kind_[j] == kInteger ? std::round(start.values[k]) : start.values[k];
      within = j >= 0 && j < n_user_ && v >= lo[j] - checker_.feastol() && v <= hi[j] + checker_.feastol();
      if (within) lo[j] = hi[j] = v;
    }
    if (within) {
      relax_->save_start();
      load(lo, hi);
      if (solve_relaxation(kInf) == Relaxation::Optimal) {
        std::vector<double> x = relax_->x;
        if (!try_solution(x, true)) fix_and_solve(x, lo, hi);
      }
      load(lo0_, hi0_);
      relax_->restore_start();
    }
  }
  static const int status[] = {KLVO_USERSOL_INFEASIBLE, KLVO_USERSOL_NOT_BETTER, KLVO_USERSOL_REJECTED,
                               KLVO_USERSOL_ACCEPTED};
  events_->usersolnotify(start.name, status[outcome_]);
}

// Simple rounding: integral parts to the nearest integer, semi-continuous columns to 0 or
// their threshold, whichever is nearer; kept if the model accepts the point as it stands.
void Search::round_and_check(const std::vector<double> &x) {
  std::vector<double> r = x;
  for (int j = 0; j < n_; ++j) {
    switch (kind_[j]) {
      case kInteger:
        r[j] = std::round(r[j]);
        break;
      case kPartial:
        if (r[j] < threshold_[j]) r[j] = std::round(r[j]);
        break;
      case kSemiContinuous:
      case kSemiInteger:
        if (r[j] < 0.5 * threshold_[j]) r[j] = 0;
        else r[j] = std::max(r[j], threshold_[j]);
        if (kind_[j] == kSemiInteger) r[j] = std::round(r[j]);
        break;
      default:
        break;
    }
  }
  try_solution(r, true);
}

// Fixes the discrete columns at their rounded values (within the node's bounds) and solves
// for the continuous ones.
void Search::fix_and_solve(const std::vector<double> &x, const std::vector<double> &lo, const std::vector<double> &hi) {
  std::vector<double> l = lo, h = hi;
  bool any_continuous = false;
  for (int j = 0; j < n_; ++j) {
    double v = x[j];
    switch (kind_[j]) {
      case kInteger:
        l[j] = h[j] = std::min(std::max(std::round(v), lo[j]), hi[j]);
        break;
      case kPartial:
        if (v < threshold_[j]) l[j] = h[j] = std::min(std::max(std::round(v), lo[j]), hi[j]);
        else any_continuous = true;
        break;
      case kSemiContinuous:
      case kSemiInteger:
        if (v < 0.5 * threshold_[j]) l[j] = h[j] = 0;
        else l[j] = std::max(l[j], threshold_[j]);
        if (kind_[j] == kSemiInteger && v >= 0.5 * threshold_[j]) l[j] = h[j] = std::max(std::round(v), l[j]);
        break;
      default:
        any_continuous = true;
        break;
    }
  }
  // Set members at zero stay there, so that the sets hold if they hold now.
  for (size_t k = 0; k < sets_.size(); ++k)
    for (const auto &mbr : sets_[k])
      if (std::fabs(x[mbr.second]) <= checker_.feastol()) l[mbr.second] = std::max(l[mbr.second], 0.0), h[mbr.second] = std::min(h[mbr.second], 0.0);
  if (!any_continuous) {
    std::vector<double> r(l);
    try_solution(r, true);
    return;
  }
  for (int j = 0; j < n_; ++j)
    if (l[j] > h[j]) return;
  relax_->save_start();
  load(l, h);
  Relaxation::Status st = solve_relaxation(prune_limit());
  if (st == Relaxation::Optimal) try_solution(relax_->x, true);
  load(lo, hi);
  relax_->restore_start();
}

void Search::run() {
  prepare();
  const int64_t threads = ctx_.controls.int_control(KLVO_CONTROL_THREADS);
  const int workers = threads > 1 ? static_cast<int>(std::min<int64_t>(threads, kMaxWorkers)) : 1;
  // Workers under the threads control: this one and helpers on threads of their own, each with
  // its own relaxation engine, all taking nodes from the one tree. Helpers prepare before any
  // start is tried, since preparing sets the shared cutoff and pseudo-costs afresh.
  std::vector<std::unique_ptr<Search>> helpers;
  tree_.workers.push_back(this);
  for (int k = 1; k < workers; ++k) {
    helpers.push_back(std::make_unique<Search>(ctx_, layer_, events_ == &no_events_ ? nullptr : events_, tree_, k));
    helpers.back()->prepare();
    tree_.workers.push_back(helpers.back().get());
  }
  if (events_ != &no_events_) events_->figures = [this] {
    SearchFigures f;
    f.nodes = nodes_;
    f.solutions = mipsols_;
    f.bound = lower_bound();
    f.incumbent = incumbent_;
    f.seconds = elapsed();
    f.sense = sense_ < 0 ? -1 : 1;
    return f;
  };
  // The starts the user gave before the solve may give the first incumbent.
  lock_.lock();
  if (ctx_.starts)
    for (const MipStart &s : ctx_.starts->mip) try_start(s);
  lock_.unlock();

  auto root = std::make_unique<Node>();
  root->id = next_id_++;
  current_ = std::move(root);

  std::vector<std::thread> running;
  try {
    for (auto &h : helpers) running.emplace_back([w = h.get()] { w->work(); });
  } catch (...) {
    // No thread for a helper: the workers started finish the search.
  }
  work();
  for (std::thread &t : running) t.join();
  if (tree_.failure) std::rethrow_exception(tree_.failure);
  bool completed = stop_ == KLVO_STOP_NONE;
  finish(completed, tree_.root_infeasible, tree_.unbounded);
}

// Takes nodes from the tree until it is empty or the search stops. A worker of a parallel
// search tells its start and end through the worker events, on its own thread.
void Search::work() {
  // Cut functions called from callbacks on this thread reach this worker's node.
  NodeCuts *outer = std::exchange(thread_node_cuts(), this);
  // Calls from node callbacks on this thread reach this worker (branching objects, strong
  // branching).
  std::unique_ptr<NodeAccessScope> access;
  if (events_ != &no_events_ && ctx_.events) access = std::make_unique<NodeAccessScope>(ctx_.events->problem(), this);
  lock_.lock();
  const bool parallel = tree_.workers.size() > 1;
  try {
    if (parallel) events_->worker_started(worker_);
    process();
  } catch (...) {
    if (!lock_.owns_lock()) lock_.lock();
    if (!tree_.failure) tree_.failure = std::current_exception();
  }
  tree_.done = true;
  tree_.wake.notify_all();
  try {
    if (parallel) events_->worker_ended(worker_);
  } catch (...) {
    if (!lock_.owns_lock()) lock_.lock();
    if (!tree_.failure) tree_.failure = std::current_exception();
  }
  lock_.unlock();
  thread_node_cuts() = outer;
}

bool Search::others_busy() const {
  for (const Search *w : tree_.workers)
    if (w != this && w->current_) return true;
  return false;
}

void Search::process() {
  bool &root_done = tree_.root_done, &root_infeasible = tree_.root_infeasible, &unbounded = tree_.unbounded;
  Branch &branch = branch_;
  while (!tree_.done) {
    if (!current_) {
      while (!open_.empty() && open_.front()->bound > prune_limit()) {
        const Node &top = *open_.front();
        if (top.bound < incumbent_) pruned_bound_ = std::min(pruned_bound_, top.bound);
        events_->nodecutoff({top.id, top.parent, top.depth, top.bound});
        pop();
      }
      if (open_.empty()) {
        // Another worker's node may still split.
        if (others_busy()) {
          tree_.wake.wait(lock_);
          continue;
        }
        break;
      }
      current_ = pop();
    }
    for (const MipStart &s : events_->offered()) try_start(s);
    if (stop_requested()) break;
    if (incumbent_ < kInf) {
      double b = lower_bound();
      double gap = incumbent_ - b;
      if (gap <= absstop_ || gap <= relstop_ * std::fabs(incumbent_)) break;
    }
    Node &node = *current_;
    NodeInfo info{node.id, node.parent, node.depth, node.bound};
    const bool again = std::exchange(revisit_, false);
    node_rows_ = node.rows;
    at_node_ = false;
    stored_.clear();
    if (!again && !events_->prenode(info)) {
      current_.reset();
      continue;
    }
    // Counted before it is solved, so that workers meeting at a node limit stop at it; the
    // heuristics go by this node's own count, which other workers do not move meanwhile.
    const int64_t count = again ? nodes_ : ++nodes_;
    node_bounds(node, lo_, hi_);
    Relaxation::Status st = solve_node(lo_, hi_);
    at_node_ = st == Relaxation::Optimal;
    if (st == Relaxation::Optimal)
      events_->nodelpsolved({node.id, node.parent, node.depth, std::max(node.bound, relax_->objective)}, relax_->x);
    if (st == Relaxation::Unbounded && !switches_.empty()) {
      // Rows switched off may be all that bounds the relaxation: fix an indicator column
      // whose row is off, if any, before calling the problem unbounded.
      for (const Switch &s : switches_) {
        bool fixed = lo_[s.col] == hi_[s.col];
        if (fixed) continue;
        double on = s.comp > 0 ? 1.0 : 0.0;
        branch = Branch();
        branch.kind = BranchInfo::Indicator;
        branch.index = s.row;
        branch.value = NAN;
        branch.child[0] = {{s.col, on, on}};
        branch.child[1] = {{s.col, 1 - on, 1 - on}};
        st = Relaxation::Optimal;  // branched below without a point
        break;
      }
      if (st == Relaxation::Optimal) {
        root_done = true;
        make_children(node);
        continue;
      }
    }
    if (!root_done) {
      root_done = true;
      if (st == Relaxation::Infeasible) root_infeasible = true;
      if (st == Relaxation::Unbounded) {
        unbounded = true;
        break;
      }
      if (st == Relaxation::Failed)
        fail(KLVO_ERR_ENGINE, "The search could not solve the root relaxation of the problem");
      if (st == Relaxation::Optimal) {
        root_bound_ = relax_->objective;
        log(format("Root relaxation: objective %.10g", sense_ * root_bound_));
      }
    }
    if (st == Relaxation::Infeasible || st == Relaxation::Cutoff || st == Relaxation::Unbounded ||
        st == Relaxation::Failed) {
      if (st == Relaxation::Infeasible) {
        events_->infnode(info);
      } else if (st == Relaxation::Cutoff) {
        // Its bound is at least the limit, which the gap tolerances may put below the incumbent.
        double limit = prune_limit();
        if (limit < incumbent_) pruned_bound_ = std::min(pruned_bound_, std::max(limit, node.bound));
        events_->nodecutoff(info);
      } else {
        // An unfinished node relaxation: the node is lost and the search can no longer prove
        // optimality below its bound.
        ++lost_;
        lost_bound_ = std::min(lost_bound_, node.bound);
      }
      current_.reset();
      continue;
    }
    const double obj = relax_->objective;
    if (node.col >= 0) observe(node.col, node.dir, obj - node.bound, node.distance);
    node.bound = std::max(node.bound, obj);
    info.bound = node.bound;
    if (node.bound > prune_limit()) {
      if (node.bound < incumbent_) pruned_bound_ = std::min(pruned_bound_, node.bound);
      events_->nodecutoff(info);
      current_.reset();
      continue;
    }
    Rounds rounds = cut_rounds(node, info);
    if (rounds != Rounds::keep) {
      if (rounds == Rounds::dropped || rounds == Rounds::infeasible) {
        events_->infnode(info);
      } else if (rounds == Rounds::cutoff) {
        if (node.bound < incumbent_) pruned_bound_ = std::min(pruned_bound_, std::max(prune_limit(), node.bound));
        events_->nodecutoff(info);
      } else {
        ++lost_;
        lost_bound_ = std::min(lost_bound_, node.bound);
      }
      current_.reset();
      continue;
    }
    std::vector<double> x = relax_->x;
    bool infeasible = false;
    branch = Branch();
    bool split = find_branch(node, x, lo_, hi_, branch, infeasible);
    if (infeasible) {
      events_->infnode(info);
      current_.reset();
      continue;
    }
    if (!split) {
      // Every entity holds at the relaxation's point. Delayed rows it violates, or cuts that
      // its preintsol callbacks add, send the node back to its relaxation.
      if (node.revisits < kMaxCutRounds && add_delayed(x)) {
        ++node.revisits;
        revisit_ = true;
        continue;
      }
      int64_t before = mipsols_;
      uint64_t changes = cut_changes_;
      bool checked = try_solution(x, false);
      if (cut_changes_ != changes && node.revisits < kMaxCutRounds) {
        ++node.revisits;
        revisit_ = true;
        continue;
      }
      if (!checked) {
        fix_and_solve(x, lo_, hi_);
        if (mipsols_ == before && !(incumbent_ <= node.bound)) {
          ++lost_;
          lost_bound_ = std::min(lost_bound_, node.bound);
        }
      }
      current_.reset();
      continue;
    }
    if (count == 1 || count % 16 == 0) round_and_check(x);
    if (count == 1 || (incumbent_ >= kInf && count % 50 == 0) || count % 500 == 0) fix_and_solve(x, lo_, hi_);
    if (!branch_on_objects(node, x)) make_children(node);
    at_node_ = false;
    if (elapsed() - last_log_ >= 2.0) {
      last_log_ = elapsed();
      double b = lower_bound();
      log(format("  %9lld nodes  %7d open  solution %s  bound %.10g  %.1fs", static_cast<long long>(nodes_),
                 static_cast<int>(open_.size()),
                 incumbent_ < kInf ? format("%.10g", sense_ * incumbent_).c_str() : "none", sense_ * b, elapsed()));
    }
  }
}

// Two children of the current node by branch_; the preferred one is processed next while it
// stays promising, the other waits among the open nodes.
void Search::make_children(Node &node) {
  const Branch &branch = branch_;
  NodePtr kids[2];
  for (int side = 0; side < 2; ++side) {
    auto child = std::make_unique<Node>();
    child->id = next_id_++;
    child->parent = node.id;
    child->depth = node.depth + 1;
    child->bound = node.bound;
    child->estimate = node.bound + (std::isfinite(branch.gain[side]) ? branch.gain[side] : 0);
    child->changes = node.changes;
    child->changes.insert(child->changes.end(), branch.child[side].begin(), branch.child[side].end());
    child->cuts = node.cuts;
    child->managed = node.managed;
    if (branch.kind == BranchInfo::Column) {
      child->col = branch.index;
      child->dir = side;
      child->distance = branch.distance[side];
    }
    events_->newnode({child->id, child->parent, child->depth, child->bound}, {branch.kind, branch.index, branch.value, side});
    kids[side] = std::move(child);
  }
  plunge_or_wait(kids, 2, branch.first);
}

// The preferred child is processed next while it stays promising; the others wait among the
// open nodes.
void Search::plunge_or_wait(NodePtr *kids, int count, int first) {
  current_.reset();
  NodePtr next = std::move(kids[first]);
  for (int k = 0; k < count; ++k)
    if (k != first) push(std::move(kids[k]));
  if (open_.empty()) {
    current_ = std::move(next);
    return;
  }
  double best = open_.front()->bound;
  bool plunge = incumbent_ >= kInf || next->estimate <= best + 0.5 * (incumbent_ - best);
  if (plunge) current_ = std::move(next);
  else push(std::move(next));
}

// The search's own choice as a branching object, offered to chgbranchobject callbacks.
ObjectPtr Search::own_object() const {
  const Branch &b = branch_;
  ObjectPtr bo(new_branch_object(ctx_.events ? ctx_.events->problem() : nullptr, true));
  bo->offered = true;
  bo->preferred = b.first;
  if (b.kind == BranchInfo::Column) bo->priority = priority_[b.index];
  bo->branches.resize(2);
  for (int side = 0; side < 2; ++side)
    for (const Change &c : b.child[side]) {
      if (c.col >= n_user_) bo->original = false;
      auto &bounds = bo->branches[side].bounds;
      if (c.lo == c.hi) bounds.push_back({'B', c.col, c.lo});
      else {
        if (c.lo > -kInf) bounds.push_back({'L', c.col, c.lo});
        if (c.hi < kInf) bounds.push_back({'U', c.col, c.hi});
      }
    }
  return bo;
}

// Branches the node on the best stored object, or on what chgbranchobject callbacks choose:
// true when the children were made here, false when the search's own branching stands.
bool Search::branch_on_objects(Node &node, const std::vector<double> &x) {
  const bool ask = events_->wants_branching();
  if (stored_.empty() && !ask) return false;
  std::vector<ObjectPtr> stored = std::move(stored_);
  stored_.clear();
  ObjectPtr candidate;
  if (!stored.empty()) {
    size_t best = 0;
    for (size_t k = 1; k < stored.size(); ++k)
      if (stored[k]->priority < stored[best]->priority) best = k;
    candidate = std::move(stored[best]);
    candidate->offered = true;
  } else {
    candidate = own_object();
  }
  const bool own = stored.empty();
  ObjectPtr replacement;
  if (ask) {
    choosing_ = true;
    KLVObranchobject chosen = events_->chgbranchobject({node.id, node.parent, node.depth, node.bound}, x, candidate.get());
    choosing_ = false;
    if (chosen && chosen != candidate.get()) replacement.reset(chosen);
  }
  at_node_ = false;
  if (replacement) {
    std::string why;
    int limit = replacement->original ? n_user_ : n_;
    if (branch_object_status(*replacement, limit, &why) == 0 && make_object_children(node, *replacement)) return true;
    if (!why.empty())
      ctx_.message(KLVO_MSG_WARNING, format("The branching object of a chgbranchobject callback is not used: %s", why.c_str()));
  }
  if (own) return false;
  return make_object_children(node, *candidate);
}

// One child per branch of bo: the node's bounds, rows and cuts plus the branch's.
bool Search::make_object_children(Node &node, const BranchObject &bo) {
  const int count = static_cast<int>(bo.branches.size());
  bool has_rows = false, has_cuts = false;
  for (const BranchData &d : bo.branches) has_rows = has_rows || d.nrows() > 0, has_cuts = has_cuts || !d.cuts.empty();
  // Rows are added to this worker's relaxation only, and another worker may take the children.
  // Cuts become rows in whichever worker's relaxation meets them, but only a linear one.
  if ((has_rows && (nonlinear_ || tree_.workers.size() > 1)) || (has_cuts && nonlinear_)) {
    if (!warned_rows_)
      ctx_.message(KLVO_MSG_WARNING, nonlinear_ ? "Branching objects with rows or cuts are not used in a search with nonlinear relaxations"
                                                : "Branching objects with rows are not used in a search with several threads");
    warned_rows_ = true;
    return false;
  }
  std::vector<NodePtr> kids(count);
  for (int b = 0; b < count; ++b) {
    const BranchData &d = bo.branches[b];
    auto child = std::make_unique<Node>();
    child->parent = node.id;
    child->depth = node.depth + 1;
    child->bound = node.bound;
    child->estimate = node.bound;
    child->changes = node.changes;
    for (const BranchBound &x : d.bounds) {
      double lo = x.type == 'U' ? -kInf : x.value, hi = x.type == 'L' ? kInf : x.value;
      child->changes.push_back({x.col, lo, hi});
    }
    child->rows = node.rows;
    child->cuts = node.cuts;
    if (!d.cuts.empty()) {
      auto cuts = std::make_shared<std::vector<CutPtr>>();
      if (node.cuts) *cuts = *node.cuts;
      for (const CutPtr &c : d.cuts) {
        bool have = false;
        for (const CutPtr &e : *cuts) have = have || e->id == c->id;
        if (have) continue;
        cuts->push_back(c);
        // Handles of the child's cuts resolve in callbacks even once the pool lets them go.
        made_.emplace(c->id, c);
      }
      child->cuts = std::move(cuts);
    }
    child->managed = node.managed;
    for (int r = 0; r < d.nrows(); ++r) {
      std::vector<int> cols(d.col.begin() + d.start[r], d.col.begin() + d.start[r + 1]);
      std::vector<double> vals(d.coef.begin() + d.start[r], d.coef.begin() + d.start[r + 1]);
      double lo = d.rowtype[r] == 'L' ? -kInf : d.rhs[r], hi = d.rowtype[r] == 'G' ? kInf : d.rhs[r];
      int slot;
      if (!free_slots_->empty()) {
        // A row no open node holds any more: switched off and given the new coefficients.
        slot = free_slots_->back();
        free_slots_->pop_back();
        relax_->set_row_active(pool_rows_[slot], false);
        row_on_[slot] = 0;
        if (!relax_->replace_row(pool_rows_[slot], slot_cols_[slot], cols, vals, lo, hi)) {
          free_slots_->push_back(slot);
          return false;
        }
        slot_cols_[slot] = cols;
      } else {
        int row = relax_->add_row(cols, vals, lo, hi, false);
        if (row < 0) return false;
        slot = static_cast<int>(pool_rows_.size());
        pool_rows_.push_back(row);
        slot_cols_.push_back(cols);
        row_on_.push_back(0);
      }
      child->rows.push_back(std::make_shared<const BranchRow>(slot, free_slots_));
      ++branch_rows_;
    }
    kids[b] = std::move(child);
  }
  // Numbered once all children exist, so that a failure above leaves no gap in the numbering.
  for (int b = 0; b < count; ++b) {
    Node &child = *kids[b];
    child.id = next_id_++;
    events_->newnode({child.id, child.parent, child.depth, child.bound},
                     {BranchInfo::Object, bo.id, 0.0, b});
  }
  int first = bo.preferred >= 0 && bo.preferred < count ? bo.preferred : 0;
  plunge_or_wait(kids.data(), count, first);
  return true;
}

void Search::store(BranchObject *bo, const char *fn) {
  if (!at_node_) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: there is no node to branch at this moment", fn);
  // The node's branching is being decided from the objects stored before.
  if (choosing_)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: a chgbranchobject callback gives its object back as its result instead", fn);
  std::string why;
  if (!bo->original && branch_object_status(*bo, n_, &why) != 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s", fn, why.c_str());
  stored_.emplace_back(bo);
}

void Search::strong_branch(KLVOprob prob, int n, const int *col, const char *type, const double *val, int itrlimit,
                           double *objval, int *status, KLVOstrongbranchsolvecb cb, void *data, const char *fn) {
  if (!at_node_) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: there is no solved node relaxation at this moment", fn);
  for (int k = 0; k < n; ++k)
    if (col[k] >= n_) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d is out of range (%d columns)", fn, col[k], n_);
  const double keep_obj = relax_->objective;
  const std::vector<double> keep_x = relax_->x;
  std::vector<double> lo = lo_, hi = hi_;
  relax_->save_start();
  bool stopped = false;
  for (int k = 0; k < n; ++k) {
    status[k] = KLVO_LP_UNSTARTED;
    objval[k] = NAN;
    if (stopped) continue;
    int j = col[k];
    if (type[k] != 'U') lo[j] = std::max(lo_[j], val[k]);
    if (type[k] != 'L') hi[j] = std::min(hi_[j], val[k]);
    Relaxation::Status st = Relaxation::Infeasible;
    if (lo[j] <= hi[j] + 1e-9) {
      load(lo, hi);
      st = relax_->solve(kInf, seconds_left(), relax_->supports_trials() ? std::max(itrlimit, 0) : 0);
    }
    lo[j] = lo_[j], hi[j] = hi_[j];
    switch (st) {
      case Relaxation::Optimal:
        status[k] = relax_->limited ? KLVO_LP_UNFINISHED : KLVO_LP_OPTIMAL;
        objval[k] = sense_ * relax_->objective;
        break;
      case Relaxation::Infeasible: status[k] = KLVO_LP_INFEAS; break;
      case Relaxation::Unbounded: status[k] = KLVO_LP_UNBOUNDED; break;
      default: status[k] = KLVO_LP_UNSOLVED; break;
    }
    if (cb && cb(prob, data, k) != 0) stopped = true;
  }
  load(lo_, hi_);
  relax_->restore_start();
  relax_->objective = keep_obj;
  relax_->x = keep_x;
}

void Search::finish(bool completed, bool root_infeasible, bool unbounded) {
  SolutionStore s;
  s.optimizetype = KLVO_OPTTYPE_MIP;
  s.nodes = nodes_;
  s.mipsols = mipsols_;
  int64_t iterations = 0;
  for (const Search *w : tree_.workers) iterations += w->relax_ ? w->relax_->iterations : 0;
  if (nonlinear_) s.bariter = iterations;
  else s.simplexiter = iterations;
  s.time = elapsed();
  s.lpstatus = KLVO_LP_UNSTARTED;
  s.lpobjval = root_bound_ > -kInf ? sense_ * root_bound_ : 0.0;
  const bool have = !best_x_.empty();
  // Open nodes count too: a search ended by the gap tolerances leaves some.
  double bound = lower_bound();
  s.solvestatus = completed ? KLVO_SOLVESTATUS_COMPLETED : KLVO_SOLVESTATUS_STOPPED;
  s.stopstatus = stop_;
  if (unbounded) {
    s.mipstatus = KLVO_MIP_UNBOUNDED;
    s.solstatus = KLVO_SOLSTATUS_UNBOUNDED;
  } else if (completed && !have) {
    // Nothing feasible anywhere in the tree (unless a node was lost on the way).
    s.mipstatus = lost_ ? KLVO_MIP_NO_SOL_FOUND : KLVO_MIP_INFEAS;
    s.solstatus = lost_ ? KLVO_SOLSTATUS_NOTFOUND : KLVO_SOLSTATUS_INFEASIBLE;
    if (lost_) s.solvestatus = KLVO_SOLVESTATUS_FAILED;
  } else if (completed && !lost_) {
    s.mipstatus = KLVO_MIP_OPTIMAL;
    s.solstatus = KLVO_SOLSTATUS_OPTIMAL;
  } else {
    s.mipstatus = have ? KLVO_MIP_SOLUTION : KLVO_MIP_NO_SOL_FOUND;
    s.solstatus = have ? KLVO_SOLSTATUS_FEASIBLE : KLVO_SOLSTATUS_NOTFOUND;
  }
  (void)root_infeasible;
  if (have) {
    s.primal_status = s.solstatus;
    s.x = best_x_;
    std::vector<double> act = checker_.activities(best_x_);
    s.slack.resize(m_.nrows());
    for (int i = 0; i < m_.nrows(); ++i) s.slack[i] = m_.rhs[i] - act[i];
    s.mipobjval = sense_ * incumbent_;
  }
  if (have || std::isfinite(bound)) {
    s.bestbound = sense_ * (have ? std::min(bound, incumbent_) : bound);
    s.miprelgap = have ? std::fabs(incumbent_ - std::min(bound, incumbent_)) / std::max(std::fabs(incumbent_), 1e-10)
                       : INFINITY;
  } else {
    s.bestbound = sense_ * kInf;
    s.miprelgap = INFINITY;
  }
  if (lost_ && outputlog_ != KLVO_OUTPUT_NONE && outputlog_ != KLVO_OUTPUT_ERRORS) {
    ctx_.message(KLVO_MSG_WARNING,
                 format("%lld node relaxations could not be solved; the search cannot prove optimality",
                        static_cast<long long>(lost_)));
  }
  const char *how = unbounded                                   ? "the relaxation is unbounded"
                    : s.mipstatus == KLVO_MIP_OPTIMAL             ? "optimal"
                    : s.mipstatus == KLVO_MIP_INFEAS              ? "infeasible"
                    : s.solvestatus == KLVO_SOLVESTATUS_STOPPED ? "stopped"
                                                                  : "finished without proof";
  log(format("Search %s after %lld nodes in %.2fs: solution %s, bound %.10g, gap %.4g%%", how,
             static_cast<long long>(nodes_), s.time, have ? format("%.10g", s.mipobjval).c_str() : "none",
             s.bestbound, have ? 100 * s.miprelgap : INFINITY));
  if (branch_rows_)
    log(format("Branching rows: %lld made, %d rows in the relaxation for them", static_cast<long long>(branch_rows_),
               static_cast<int>(pool_rows_.size())));
  ctx_.solution = std::move(s);
  if (ctx_.starts) ctx_.starts->mip.clear();
  // Given from a callback too late to be looked at.
  for (const MipStart &st : events_->offered()) events_->usersolnotify(st.name, KLVO_USERSOL_NOT_USED);
}

}  // namespace

void solve(const SolveContext &ctx, kslp_problem_s *layer, SearchEvents *events) {
  try {
    Tree tree;
    Search search(ctx, layer, events, tree);
    search.run();
  } catch (...) {
    ctx.solution.clear();
    ctx.solution.solvestatus = KLVO_SOLVESTATUS_FAILED;
    throw;
  }
}

}  // namespace bnb
}  // namespace klvo
