// Cuts and node events in the library's own search: lazy subtour elimination on a small
// travelling-salesman instance (optimum by enumerating every tour), cover cuts on a knapsack
// (optimum by dynamic programming), the cut pool read back and measured at a relaxation point
// computed by hand, and the order of the node events of a search on two workers.
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <numeric>

#include "test_support.h"

using namespace klvo_test;

namespace {

// A symmetric travelling-salesman instance over one binary column per edge (i < j), with a
// degree-2 equation per city; the subtour constraints are left to the test. The cities sit in
// three clusters, so that the degree equations alone pick subtours.
struct Tsp {
  int n = 0;
  std::vector<std::pair<int, int>> edges;
  std::vector<double> cost;

  explicit Tsp(int cities, unsigned seed) : n(cities) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> coord(0, 100);
    std::vector<double> px(n), py(n);
    for (int i = 0; i < n; ++i) px[i] = coord(rng) / 5 + 40 * (i % 3), py[i] = coord(rng) / 5 + 60 * (i % 3 == 1);
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) {
        edges.emplace_back(i, j);
        cost.push_back(std::round(std::hypot(px[i] - px[j], py[i] - py[j])));
      }
  }
  int ncols() const { return static_cast<int>(edges.size()); }

  DenseModel model() const {
    DenseModel m;
    m.obj = cost;
    m.lb.assign(ncols(), 0.0);
    m.ub.assign(ncols(), 1.0);
    m.coltype.assign(ncols(), 'B');
    for (int i = 0; i < n; ++i) {
      std::vector<double> row(ncols(), 0.0);
      for (int e = 0; e < ncols(); ++e) row[e] = edges[e].first == i || edges[e].second == i;
      m.rows.push_back(row);
      m.rowtype.push_back('E');
      m.rhs.push_back(2);
    }
    return m;
  }

  // The shortest tour, every tour from city 0 enumerated.
  double brute_force() const {
    std::vector<int> perm(n - 1);
    std::iota(perm.begin(), perm.end(), 1);
    double best = 1e300;
    do {
      double len = dist(0, perm[0]) + dist(perm.back(), 0);
      for (int k = 0; k + 1 < n - 1; ++k) len += dist(perm[k], perm[k + 1]);
      best = std::min(best, len);
    } while (std::next_permutation(perm.begin(), perm.end()));
    return best;
  }
  double dist(int i, int j) const {
    if (i > j) std::swap(i, j);
    for (int e = 0; e < ncols(); ++e)
      if (edges[e].first == i && edges[e].second == j) return cost[e];
    return 0;
  }

  // The connected components of the edges with x above the threshold.
  std::vector<std::vector<int>> components(const std::vector<double> &x, double threshold) const {
    std::vector<int> root(n);
    std::iota(root.begin(), root.end(), 0);
    std::function<int(int)> find = [&](int i) { return root[i] == i ? i : root[i] = find(root[i]); };
    for (int e = 0; e < ncols(); ++e)
      if (x[e] > threshold) root[find(edges[e].first)] = find(edges[e].second);
    std::map<int, std::vector<int>> groups;
    for (int i = 0; i < n; ++i) groups[find(i)].push_back(i);
    std::vector<std::vector<int>> out;
    for (auto &g : groups) out.push_back(g.second);
    return out;
  }

  // The subtour constraint sum over edges inside S of x_e <= |S| - 1 of each component, in
  // the arrays of the cut functions.
  struct Cuts {
    std::vector<int> type;
    std::vector<char> rowtype;
    std::vector<double> rhs;
    std::vector<int64_t> start{0};
    std::vector<int> cols;
    std::vector<double> coefs;
    int count() const { return static_cast<int>(rhs.size()); }
  };
  Cuts subtour_cuts(const std::vector<std::vector<int>> &parts) const {
    Cuts c;
    for (const auto &s : parts) {
      std::vector<char> in(n, 0);
      for (int i : s) in[i] = 1;
      for (int e = 0; e < ncols(); ++e)
        if (in[edges[e].first] && in[edges[e].second]) c.cols.push_back(e), c.coefs.push_back(1.0);
      c.type.push_back(1);
      c.rowtype.push_back('L');
      c.rhs.push_back(static_cast<double>(s.size()) - 1);
      c.start.push_back(static_cast<int64_t>(c.cols.size()));
    }
    return c;
  }
};

struct LazyRun {
  const Tsp *tsp;
  bool cut_in_preintsol = true;
  int added = 0, rejected = 0, failures = 0;
};

void add_subtour_cuts(KLVOprob p, LazyRun *run, const std::vector<std::vector<int>> &parts) {
  Tsp::Cuts c = run->tsp->subtour_cuts(parts);
  if (KLVOaddcuts64(p, c.count(), c.type.data(), c.rowtype.data(), c.rhs.data(), c.start.data(), c.cols.data(),
                    c.coefs.data()) != 0)
    ++run->failures;
  run->added += c.count();
}

void preintsol_subtours(KLVOprob p, void *d, int, int *reject, double *) {
  auto *run = static_cast<LazyRun *>(d);
  auto parts = run->tsp->components(callback_x(p, run->tsp->ncols()), 0.5);
  if (parts.size() == 1) return;
  *reject = 1;
  ++run->rejected;
  if (run->cut_in_preintsol) add_subtour_cuts(p, run, parts);
}

void optnode_subtours(KLVOprob p, void *d, int *) {
  auto *run = static_cast<LazyRun *>(d);
  auto parts = run->tsp->components(callback_x(p, run->tsp->ncols()), 1e-6);
  if (parts.size() > 1) add_subtour_cuts(p, run, parts);
}

class CutsTest : public ProblemTest {
 protected:
  void SetUp() override {
    ProblemTest::SetUp();
    ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
  }
  // The best solution must be one tour through every city, of the enumerated length.
  void expect_optimal_tour(const Tsp &tsp) {
    std::vector<double> x(tsp.ncols());
    ASSERT_EQ(KLVOgetmipsol(prob, x.data(), nullptr), 0) << error();
    EXPECT_EQ(tsp.components(x, 0.5).size(), 1u);
    EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), tsp.brute_force(), 1e-6);
  }
};

}  // namespace

TEST_F(CutsTest, SubtourEliminationFromPreintsolAloneOrWithOptnodeFindsTheShortestTour) {
  Tsp tsp(9, 4);
  load(prob, tsp.model());
  // Without subtour constraints the best solution is no tour.
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  std::vector<double> x(tsp.ncols());
  ASSERT_EQ(KLVOgetmipsol(prob, x.data(), nullptr), 0);
  ASSERT_GT(tsp.components(x, 0.5).size(), 1u);

  // Cuts from preintsol only: each rejected candidate adds the constraints it breaks.
  LazyRun lazy{&tsp};
  ASSERT_EQ(KLVOaddcbpreintsol(prob, preintsol_subtours, &lazy, 0), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  expect_optimal_tour(tsp);
  EXPECT_GT(lazy.added, 0);
  EXPECT_EQ(lazy.failures, 0);

  // Cuts from optnode at every relaxation whose support falls apart; preintsol only rejects
  // (a heuristic's candidate never reaches optnode).
  ASSERT_EQ(KLVOremovecbpreintsol(prob, nullptr, nullptr), 0);
  LazyRun separated{&tsp, false};
  ASSERT_EQ(KLVOaddcbpreintsol(prob, preintsol_subtours, &separated, 0), 0);
  ASSERT_EQ(KLVOaddcboptnode(prob, optnode_subtours, &separated, 0), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  expect_optimal_tour(tsp);
  EXPECT_GT(separated.added, 0);
  EXPECT_EQ(separated.failures, 0);
  // The model itself never changed.
  EXPECT_EQ(nrows(prob), tsp.n);
}

TEST_F(CutsTest, SubtourRowsAsDelayedRowsModelCutsOrManagedCutsGiveTheShortestTour) {
  Tsp tsp(8, 11);
  // Every subtour constraint of a set of at most half the cities (the others follow from the
  // degree equations).
  std::vector<std::vector<int>> sets;
  for (int mask = 1; mask < (1 << tsp.n); ++mask) {
    int size = __builtin_popcount(mask);
    if (size < 2 || size > tsp.n / 2) continue;
    std::vector<int> s;
    for (int i = 0; i < tsp.n; ++i)
      if (mask >> i & 1) s.push_back(i);
    sets.push_back(s);
  }
  Tsp::Cuts all = tsp.subtour_cuts(sets);
  const double best = tsp.brute_force();
  // Without them the degree equations fall short of a tour.
  load(prob, tsp.model());
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_LT(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), best - 0.5);

  for (int how = 0; how < 2; ++how) {
    KLVOprob p = fresh();
    load(p, tsp.model());
    ASSERT_EQ(KLVOsetintcontrol(p, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
    ASSERT_EQ(KLVOsetintcontrol(p, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_OWN), 0);
    std::vector<int> start32(all.start.begin(), all.start.end());
    ASSERT_EQ(KLVOaddrows(p, all.count(), static_cast<int>(all.cols.size()), all.rowtype.data(), all.rhs.data(),
                          nullptr, start32.data(), all.cols.data(), all.coefs.data()),
              0);
    std::vector<int> rows(all.count());
    std::iota(rows.begin(), rows.end(), tsp.n);
    ASSERT_EQ((how == 0 ? KLVOloaddelayedrows : KLVOloadmodelcuts)(p, all.count(), rows.data()), 0);
    ASSERT_EQ(solve(p), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(p, KLVO_ATTR_MIPOBJVAL), best, 1e-6) << how;
  }

  // Managed cuts: the model keeps its degree rows only, the search adds the violated subtour
  // constraints itself, never all of them at one node.
  load(prob, tsp.model());
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_OWN), 0);
  ASSERT_EQ(KLVOaddmanagedcuts64(prob, 1, all.count(), all.rowtype.data(), all.rhs.data(), all.start.data(),
                                 all.cols.data(), all.coefs.data()),
            0);
  int most = 0;
  ASSERT_EQ(KLVOaddcboptnode(prob, [](KLVOprob p, void *d, int *) {
    int count = 0;
    EXPECT_EQ(KLVOgetcutlist(p, 0, -1, &count, 0, nullptr), 0);
    *static_cast<int *>(d) = std::max(*static_cast<int *>(d), count);
  }, &most, 0), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  expect_optimal_tour(tsp);
  EXPECT_GT(most, 0);
  EXPECT_LT(most, all.count());
  EXPECT_EQ(nrows(prob), tsp.n);
}

namespace {

// A 0-1 knapsack with a single row; its optimum by dynamic programming over the capacity.
struct Knapsack {
  std::vector<double> value, weight;
  double capacity = 0;

  Knapsack(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> w(30, 99);
    double sum = 0;
    for (int j = 0; j < n; ++j) {
      weight.push_back(w(rng));
      value.push_back(weight.back() + std::uniform_int_distribution<int>(-5, 5)(rng));
      sum += weight.back();
    }
    capacity = std::floor(sum / 2);
  }
  DenseModel model() const {
    DenseModel m;
    m.obj = value;
    m.rows.push_back(weight);
    m.rowtype.push_back('L');
    m.rhs.push_back(capacity);
    m.coltype.assign(value.size(), 'B');
    m.sense = -1;
    return m;
  }
  double dynamic_programming() const {
    std::vector<double> best(static_cast<size_t>(capacity) + 1, 0.0);
    for (size_t j = 0; j < value.size(); ++j)
      for (int c = static_cast<int>(capacity); c >= static_cast<int>(weight[j]); --c)
        best[c] = std::max(best[c], best[c - static_cast<int>(weight[j])] + value[j]);
    return best.back();
  }
  // A cover for x: items taken by decreasing x until they overflow; its inequality
  // sum_C x_j <= |C| - 1 when x violates it, else false.
  bool cover(const std::vector<double> &x, std::vector<int> &items) const {
    std::vector<int> order(value.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return x[a] > x[b]; });
    double w = 0, slack = 0;
    items.clear();
    for (int j : order) {
      items.push_back(j);
      w += weight[j];
      slack += 1 - x[j];
      if (w > capacity) return slack < 1 - 1e-6;
    }
    return false;
  }
};

// Adds the cover inequality sum_C x_j <= |C| - 1 at the node, with the given cut type.
int add_cover(KLVOprob p, const std::vector<int> &items, int type) {
  std::vector<int64_t> start{0, static_cast<int64_t>(items.size())};
  std::vector<double> ones(items.size(), 1.0);
  double rhs = static_cast<double>(items.size()) - 1;
  return KLVOaddcuts64(p, 1, &type, "L", &rhs, start.data(), items.data(), ones.data());
}

struct CoverRun {
  const Knapsack *k;
  int cuts = 0;
};

}  // namespace

TEST_F(CutsTest, CoverCutsFromOptnodeLowerTheNodeCountOfAKnapsack) {
  Knapsack k(35, 3);
  load(prob, k.model());
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_OWN), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  const double best = k.dynamic_programming();
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), best, 1e-6);
  const int64_t plain = int_attr(prob, KLVO_ATTR_NODES);

  CoverRun run{&k};
  ASSERT_EQ(KLVOaddcboptnode(prob, [](KLVOprob p, void *d, int *) {
    auto *r = static_cast<CoverRun *>(d);
    std::vector<int> items;
    if (!r->k->cover(callback_x(p, static_cast<int>(r->k->value.size())), items)) return;
    ASSERT_EQ(add_cover(p, items, 2), 0);
    ++r->cuts;
  }, &run, 0), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), best, 1e-6);
  EXPECT_GT(run.cuts, 0);
  EXPECT_LT(int_attr(prob, KLVO_ATTR_NODES), plain);
}

namespace {

struct PoolRun {
  const Knapsack *k;
  std::vector<KLVOcut> stored;
  std::vector<double> root_x;
  int count = -1, listed = -1, failures = 0;
  std::vector<double> viol, slack;
  std::vector<int> map;
};

}  // namespace

TEST_F(CutsTest, PoolCutsAreStoredOnceMeasuredAtTheRootAndLoadedIntoTheNode) {
  Knapsack k(12, 8);
  load(prob, k.model());
  const int n = static_cast<int>(k.value.size());

  // The root relaxation by hand: items by value per weight, the last one taken in part.
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return k.value[a] / k.weight[a] > k.value[b] / k.weight[b]; });
  std::vector<double> root(n, 0.0);
  double room = k.capacity;
  for (int j : order) {
    root[j] = std::min(1.0, room / k.weight[j]);
    room -= root[j] * k.weight[j];
    if (room <= 0) break;
  }
  // Two cuts: the cover the root violates and the loose sum of all items; the first stored twice.
  std::vector<int> cover;
  ASSERT_TRUE(k.cover(root, cover));
  std::vector<int> cols = cover;
  for (int j = 0; j < n; ++j) cols.push_back(j);
  std::vector<double> coefs(cols.size(), 1.0);
  const auto ncover = static_cast<int64_t>(cover.size());
  std::vector<int64_t> start{0, ncover, ncover + n, 2 * ncover + n};
  std::vector<int> all_cols = cols;
  all_cols.insert(all_cols.end(), cover.begin(), cover.end());
  std::vector<double> all_coefs(all_cols.size(), 1.0);
  std::vector<double> rhs{static_cast<double>(ncover) - 1, static_cast<double>(n), static_cast<double>(ncover) - 1};
  std::vector<int> type{1, 2, 1};
  std::vector<KLVOcut> handles(3);
  ASSERT_EQ(KLVOstorecuts64(prob, 3, 1, type.data(), "LLL", rhs.data(), start.data(), handles.data(), all_cols.data(),
                            all_coefs.data()),
            0)
      << error();
  EXPECT_EQ(handles[0], handles[2]);
  EXPECT_NE(handles[0], handles[1]);

  // Read back as stored.
  int types[2];
  char rowtypes[2];
  int64_t starts[3];
  std::vector<int> got_cols(cols.size());
  double got_rhs[2];
  ASSERT_EQ(KLVOgetcpcuts64(prob, handles.data(), 2, static_cast<int64_t>(cols.size()), types, rowtypes, starts,
                            got_cols.data(), nullptr, got_rhs),
            0);
  EXPECT_EQ(types[1], 2);
  EXPECT_EQ(rowtypes[0], 'L');
  EXPECT_EQ(starts[2], static_cast<int64_t>(cols.size()));
  EXPECT_EQ(got_cols, cols);
  EXPECT_EQ(got_rhs[1], n);
  // Too little room for the coefficients fails.
  EXPECT_NE(KLVOgetcpcuts64(prob, handles.data(), 2, 1, nullptr, nullptr, nullptr, got_cols.data(), nullptr, nullptr),
            0);

  // At the root: the violated pool cut with its violation, then loaded into the node.
  PoolRun run{&k, {handles[0], handles[1]}, root};
  ASSERT_EQ(KLVOaddcboptnode(prob, [](KLVOprob p, void *d, int *) {
    auto *r = static_cast<PoolRun *>(d);
    if (r->count >= 0 || int_attr(p, KLVO_ATTR_CURRENTNODE) != 1) return;
    r->root_x = callback_x(p, static_cast<int>(r->k->value.size()));
    KLVOcut listed[4];
    double viol[4];
    r->failures += KLVOgetcpcutlist(p, 0, -1, 1e-9, &r->count, 4, listed, viol) != 0;
    if (r->count >= 1) r->viol.assign(viol, viol + 1), r->failures += listed[0] != r->stored[0];
    r->failures += KLVOloadcuts(p, 0, -1, 2, r->stored.data()) != 0;
    // Loading twice changes nothing.
    r->failures += KLVOloadcuts(p, 1, 0, 0, nullptr) != 0;
    r->failures += KLVOgetcutlist(p, 0, -1, &r->listed, 0, nullptr) != 0;
    r->map.assign(2, -7);
    r->failures += KLVOgetcutmap(p, 2, r->stored.data(), r->map.data()) != 0;
    for (KLVOcut c : r->stored) {
      double s = 0;
      r->failures += KLVOgetcutslack(p, c, &s) != 0;
      r->slack.push_back(s);
    }
  }, &run, 0), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), k.dynamic_programming(), 1e-6);
  EXPECT_EQ(run.failures, 0);
  for (int j = 0; j < n; ++j) EXPECT_NEAR(run.root_x[j], root[j], 1e-7) << j;
  double activity = 0;
  for (int j : cover) activity += root[j];
  ASSERT_EQ(run.count, 1);  // the loose cut holds at the root
  EXPECT_NEAR(run.viol[0], activity - rhs[0], 1e-7);
  EXPECT_EQ(run.listed, 2);
  EXPECT_EQ(run.map, (std::vector<int>{1, 2}));  // after the one model row
  ASSERT_EQ(run.slack.size(), 2u);
  EXPECT_NEAR(run.slack[0], rhs[0] - activity, 1e-7);
  EXPECT_NEAR(run.slack[1], n - std::accumulate(root.begin(), root.end(), 0.0), 1e-7);

  // Outside a node, the node functions refuse; removing a pool cut ends its handle.
  EXPECT_EQ(KLVOaddcuts64(prob, 1, type.data(), "L", rhs.data(), start.data(), cols.data(), coefs.data()),
            KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KLVOdelcpcuts(prob, 0, -1, 1, &handles[1]), 0);
  EXPECT_EQ(KLVOgetcpcuts64(prob, &handles[1], 1, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOdelcpcuts(prob, 0, -1, 1, &handles[1]), KLVO_ERR_INVALID_ARGUMENT);
  int left = 0;
  ASSERT_EQ(KLVOgetcpcutlist(prob, 1, 0, 0.0, &left, 0, nullptr, nullptr), 0);
  EXPECT_EQ(left, 1);
  // A bad cut stores nothing.
  std::vector<int64_t> bad_start{0, 1};
  int bad_col = n;
  double one = 1;
  EXPECT_EQ(KLVOstorecuts64(prob, 1, 0, nullptr, "L", &one, bad_start.data(), nullptr, &bad_col, &one),
            KLVO_ERR_INVALID_ARGUMENT);
  // Nor does a cut naming a column twice, after a good one.
  std::vector<int64_t> two_start{0, 1, 3};
  int two_cols[] = {0, 1, 1};
  double two_coefs[] = {1, 1, 1}, two_rhs[] = {1, 1};
  EXPECT_EQ(KLVOstorecuts64(prob, 2, 0, nullptr, "LL", two_rhs, two_start.data(), nullptr, two_cols, two_coefs),
            KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KLVOgetcpcutlist(prob, 0, -1, 0.0, &left, 0, nullptr, nullptr), 0);
  EXPECT_EQ(left, 1);
}

namespace {

// The node events of a parallel search as one log. The search fires its events one at a time,
// so the calls of one firing sit next to each other in it.
struct NodeEventLog {
  struct Call {
    int kind, priority, node;
    // newnode: parent; optnode: 1 cut added, 2 node dropped; cutround: another round asked;
    // nodecutoff: solutions so far; mipthread: the worker problem's columns
    int extra;
    std::thread::id thread;
    int seen = 0;  // the out-parameter on entry
  };
  const Knapsack *k = nullptr;
  double optimum = 0;
  std::mutex mutex;
  std::vector<Call> calls;
  std::set<int> asked;  // nodes whose first cut round asked for another
  void add(int kind, int priority, int node, int extra = 0, int seen = 0) {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back({kind, priority, node, extra, std::this_thread::get_id(), seen});
  }
};

// One registration: the log and the priority it was registered with. Only the first in order
// (priority 3) acts; the other one only records.
struct EventReg {
  NodeEventLog *log;
  int priority;
  bool acts() const { return priority == 3; }
};

int node_of(KLVOprob p) { return int_attr(p, KLVO_ATTR_CURRENTNODE); }

void log_prenode(KLVOprob p, void *d, int *) {
  auto *r = static_cast<EventReg *>(d);
  r->log->add(KLVO_CB_PRENODE, r->priority, node_of(p));
}

void log_infnode(KLVOprob p, void *d) {
  auto *r = static_cast<EventReg *>(d);
  r->log->add(KLVO_CB_INFNODE, r->priority, node_of(p));
}

void register_node_events(KLVOprob prob, EventReg *reg) {
  ASSERT_EQ(KLVOaddcbprenode(prob, log_prenode, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcbnodelpsolved(prob, [](KLVOprob p, void *d) {
    auto *r = static_cast<EventReg *>(d);
    r->log->add(KLVO_CB_NODELPSOLVED, r->priority, node_of(p));
  }, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcboptnode(prob, [](KLVOprob p, void *d, int *infeasible) {
    auto *r = static_cast<EventReg *>(d);
    std::vector<int> items;
    int added = 0, seen = *infeasible;
    // A node whose bound is below the optimum found by dynamic programming cannot hold it.
    if (r->acts() && dbl_attr(p, KLVO_ATTR_LPOBJVAL) < r->log->optimum - 0.5) {
      *infeasible = 1;
      added = 2;
    } else if (r->acts() && r->log->k->cover(callback_x(p, static_cast<int>(r->log->k->value.size())), items)) {
      EXPECT_EQ(add_cover(p, items, 0), 0);
      added = 1;
    }
    r->log->add(KLVO_CB_OPTNODE, r->priority, node_of(p), added, seen);
  }, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcbcutround(prob, [](KLVOprob p, void *d, int, int *action) {
    auto *r = static_cast<EventReg *>(d);
    int node = node_of(p), seen = *action;
    // The first round of every node asks for one more.
    bool more = r->acts() && r->log->asked.insert(node).second;
    if (more) *action = 1;
    r->log->add(KLVO_CB_CUTROUND, r->priority, node, more, seen);
  }, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcbcutlog(prob, [](KLVOprob p, void *d) {
    auto *r = static_cast<EventReg *>(d);
    r->log->add(KLVO_CB_CUTLOG, r->priority, node_of(p));
    return 0;
  }, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcbchgbranchobject(prob, [](KLVOprob p, void *d, KLVObranchobject, KLVObranchobject *) {
    auto *r = static_cast<EventReg *>(d);
    r->log->add(KLVO_CB_CHGBRANCHOBJECT, r->priority, node_of(p));
  }, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcbnewnode(prob, [](KLVOprob, void *d, int parent, int node, int) {
    auto *r = static_cast<EventReg *>(d);
    r->log->add(KLVO_CB_NEWNODE, r->priority, node, parent);
  }, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcbinfnode(prob, log_infnode, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcbnodecutoff(prob, [](KLVOprob p, void *d, int node) {
    auto *r = static_cast<EventReg *>(d);
    r->log->add(KLVO_CB_NODECUTOFF, r->priority, node, int_attr(p, KLVO_ATTR_MIPSOLS));
  }, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcbmipthread(prob, [](KLVOprob p, void *d, KLVOprob worker) {
    auto *r = static_cast<EventReg *>(d);
    // A worker's problem is its own and holds the model.
    r->log->add(KLVO_CB_MIPTHREAD, r->priority, -1, worker != p ? ncols(worker) : -1);
  }, reg, reg->priority), 0);
  ASSERT_EQ(KLVOaddcbdestroymt(prob, [](KLVOprob, void *d) {
    auto *r = static_cast<EventReg *>(d);
    r->log->add(KLVO_CB_DESTROYMT, r->priority, -1);
  }, reg, reg->priority), 0);
}

}  // namespace

// Every node event of a two-worker search, each registered twice (the lower priority first):
// each firing calls the higher priority, then the lower, on a worker thread between that
// worker's start and end; per node the events come in the order of the search, a cut round
// asked for by cutround runs (optnode again), and a cut that optnode adds is logged by cutlog.
TEST_F(CutsTest, NodeEventsFireAtTheirMomentsInPriorityOrderOnTheWorkerThreads) {
  Knapsack k(30, 11);
  load(prob, k.model());
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_THREADS, 2), 0);
  NodeEventLog log;
  log.k = &k;
  log.optimum = k.dynamic_programming();
  EventReg low{&log, -2}, high{&log, 3};
  register_node_events(prob, &low);
  register_node_events(prob, &high);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), k.dynamic_programming(), 1e-6);

  // Pairs in priority order, nothing else between them.
  const auto &calls = log.calls;
  ASSERT_EQ(calls.size() % 2, 0u);
  std::vector<NodeEventLog::Call> fired;
  for (size_t i = 0; i < calls.size(); i += 2) {
    const auto &a = calls[i], &b = calls[i + 1];
    ASSERT_EQ(a.priority, 3) << "call " << i;
    ASSERT_EQ(b.priority, -2) << "call " << i;
    ASSERT_EQ(a.kind, b.kind);
    ASSERT_EQ(a.node, b.node);
    ASSERT_EQ(a.thread, b.thread);
    // An out-parameter passes from one registration to the next.
    EXPECT_EQ(a.seen, 0);
    if (a.kind == KLVO_CB_OPTNODE) EXPECT_EQ(b.seen, a.extra == 2 ? 1 : 0);
    if (a.kind == KLVO_CB_CUTROUND) EXPECT_EQ(b.seen, a.extra);
    fired.push_back(a);
  }

  // Threads: two workers, each started once and ended once; node events between.
  std::map<std::thread::id, std::pair<size_t, size_t>> span;  // thread: (start, end) in fired
  for (size_t i = 0; i < fired.size(); ++i) {
    if (fired[i].kind == KLVO_CB_MIPTHREAD) {
      EXPECT_TRUE(span.emplace(fired[i].thread, std::make_pair(i, SIZE_MAX)).second);
      EXPECT_EQ(fired[i].extra, 30);
    }
    if (fired[i].kind == KLVO_CB_DESTROYMT) {
      ASSERT_TRUE(span.count(fired[i].thread));
      EXPECT_EQ(span[fired[i].thread].second, SIZE_MAX);
      span[fired[i].thread].second = i;
    }
  }
  ASSERT_EQ(span.size(), 2u);
  std::map<int, int> count;
  for (size_t i = 0; i < fired.size(); ++i) {
    ++count[fired[i].kind];
    if (fired[i].kind == KLVO_CB_MIPTHREAD || fired[i].kind == KLVO_CB_DESTROYMT) continue;
    auto it = span.find(fired[i].thread);
    ASSERT_NE(it, span.end()) << "event " << fired[i].kind << " on a thread that is no worker";
    EXPECT_GT(i, it->second.first);
    EXPECT_LT(i, it->second.second);
  }
  for (int kind : {KLVO_CB_PRENODE, KLVO_CB_NODELPSOLVED, KLVO_CB_OPTNODE, KLVO_CB_CUTROUND, KLVO_CB_CUTLOG,
                   KLVO_CB_CHGBRANCHOBJECT, KLVO_CB_NEWNODE})
    EXPECT_GT(count[kind], 0) << "event " << kind << " never fired";
  // Whether a node waits long enough for a worker's incumbent to cut it off depends on how the
  // two workers are scheduled; the one-worker test below makes sure nodecutoff fires.

  // Per node, in the order the search meets them. A node is created (the root excepted),
  // solved once, and ends infeasible, cut off, integral or branched; children come in pairs
  // after the parent's chgbranchobject.
  std::map<int, std::vector<NodeEventLog::Call>> at;
  for (const auto &c : fired) {
    if (c.kind == KLVO_CB_MIPTHREAD || c.kind == KLVO_CB_DESTROYMT) continue;
    if (c.kind == KLVO_CB_NEWNODE) {
      at[c.extra].push_back(c);  // the parent branched
      at[c.node].push_back({-1, 0, c.node, 0, c.thread});  // the child created
    } else {
      at[c.node].push_back(c);
    }
  }
  for (const auto &[node, ev] : at) {
    SCOPED_TRACE("node " + std::to_string(node));
    size_t i = 0;
    if (node != 1) {
      ASSERT_EQ(ev[0].kind, -1);
      ++i;
    }
    // The node ends at event i when that is one of `kinds`: nothing follows, and a cutoff has an
    // incumbent to be cut off against.
    auto ends = [&](std::initializer_list<int> kinds) {
      if (std::find(kinds.begin(), kinds.end(), ev[i].kind) == kinds.end()) return false;
      if (ev[i].kind == KLVO_CB_NODECUTOFF) EXPECT_GT(ev[i].extra, 0);
      EXPECT_EQ(i + 1, ev.size());
      return true;
    };
    if (i == ev.size() || ends({KLVO_CB_NODECUTOFF})) continue;  // cut off while waiting
    ASSERT_EQ(ev[i++].kind, KLVO_CB_PRENODE);
    ASSERT_LT(i, ev.size());
    if (ends({KLVO_CB_INFNODE, KLVO_CB_NODECUTOFF})) continue;
    ASSERT_EQ(ev[i++].kind, KLVO_CB_NODELPSOLVED);
    ASSERT_LT(i, ev.size());
    if (ends({KLVO_CB_NODECUTOFF})) continue;  // its bound is no better than the incumbent
    // Cut rounds: optnode (which may add a cut, then the node is solved again and cutlog tells
    // of it), then cutround; a round asked for starts with optnode again.
    bool ended = false;
    while (i < ev.size() && ev[i].kind == KLVO_CB_OPTNODE) {
      const int what = ev[i++].extra;
      const bool added = what == 1;
      if (what == 2) {  // dropped by the callback
        ASSERT_LT(i, ev.size());
        EXPECT_EQ(ev[i].kind, KLVO_CB_INFNODE);
        ended = true;
        ++i;
        break;
      }
      ASSERT_LT(i, ev.size());
      if (added && (ev[i].kind == KLVO_CB_INFNODE || ev[i].kind == KLVO_CB_NODECUTOFF)) {
        ended = true;
        ++i;
        break;
      }
      if (added) ASSERT_EQ(ev[i++].kind, KLVO_CB_CUTLOG);
      ASSERT_LT(i, ev.size());
      if (ev[i].kind == KLVO_CB_NODECUTOFF) {  // the cut lifted the bound over the incumbent
        ended = true;
        ++i;
        break;
      }
      ASSERT_EQ(ev[i].kind, KLVO_CB_CUTROUND);
      const bool more = ev[i++].extra;
      if (added || more) {
        if (i < ev.size()) EXPECT_EQ(ev[i].kind, KLVO_CB_OPTNODE);
      } else {
        break;
      }
    }
    if (ended) {
      EXPECT_EQ(i, ev.size());
      continue;
    }
    if (i == ev.size()) continue;  // integral: no branching
    EXPECT_EQ(ev[i++].kind, KLVO_CB_CHGBRANCHOBJECT);
    ASSERT_EQ(ev.size(), i + 2);
    EXPECT_EQ(ev[i].kind, KLVO_CB_NEWNODE);
    EXPECT_EQ(ev[i + 1].kind, KLVO_CB_NEWNODE);
  }
}

// x - 2y = 0.5 has no integer solution: every branch of the tree ends infeasible, each told by
// infnode (in priority order) at a node that was solved.
// One worker: the knapsack's search cuts nodes off once it holds an incumbent, and says so
// with the node's number; the node was created before and is never solved afterwards.
TEST_F(CutsTest, NodecutoffReportsNodesDroppedBelowTheIncumbent) {
  Knapsack k(30, 11);
  load(prob, k.model());
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_THREADS, 1), 0);
  NodeEventLog log;
  EventReg reg{&log, 0};
  ASSERT_EQ(KLVOaddcbnewnode(prob, [](KLVOprob, void *d, int parent, int node, int) {
    static_cast<EventReg *>(d)->log->add(KLVO_CB_NEWNODE, 0, node, parent);
  }, &reg, 0), 0);
  ASSERT_EQ(KLVOaddcbprenode(prob, log_prenode, &reg, 0), 0);
  ASSERT_EQ(KLVOaddcbnodecutoff(prob, [](KLVOprob p, void *d, int node) {
    static_cast<EventReg *>(d)->log->add(KLVO_CB_NODECUTOFF, 0, node, int_attr(p, KLVO_ATTR_MIPSOLS));
  }, &reg, 0), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), k.dynamic_programming(), 1e-6);
  std::set<int> created, cut_off;
  for (const auto &c : log.calls) {
    if (c.kind == KLVO_CB_NEWNODE) created.insert(c.node);
    if (c.kind == KLVO_CB_PRENODE) EXPECT_FALSE(cut_off.count(c.node)) << "node " << c.node << " solved after its cutoff";
    if (c.kind == KLVO_CB_NODECUTOFF) {
      EXPECT_GT(c.extra, 0) << "node " << c.node << " cut off without an incumbent";
      EXPECT_TRUE(created.count(c.node)) << c.node;
      EXPECT_TRUE(cut_off.insert(c.node).second) << c.node;
    }
  }
  EXPECT_FALSE(cut_off.empty());
}

TEST_F(CutsTest, InfnodeEndsEveryBranchOfAModelWithoutIntegerSolutions) {
  DenseModel m;
  m.obj = {1, 0}, m.lb = {0, 0}, m.ub = {10, 10}, m.coltype = {'I', 'I'}, m.sense = -1;
  m.rows = {{1, -2}}, m.rowtype = {'E'}, m.rhs = {0.5};
  load(prob, m);
  NodeEventLog log;
  EventReg low{&log, -2}, high{&log, 3};
  for (EventReg *r : {&low, &high}) {
    ASSERT_EQ(KLVOaddcbprenode(prob, log_prenode, r, r->priority), 0);
    ASSERT_EQ(KLVOaddcbinfnode(prob, log_infnode, r, r->priority), 0);
  }
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_INFEASIBLE);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_INFEAS);
  std::set<int> solved, infeasible;
  ASSERT_EQ(log.calls.size() % 2, 0u);
  for (size_t i = 0; i < log.calls.size(); i += 2) {
    const auto &a = log.calls[i], &b = log.calls[i + 1];
    EXPECT_EQ(a.priority, 3);
    EXPECT_EQ(b.priority, -2);
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.node, b.node);
    if (a.kind == KLVO_CB_PRENODE) solved.insert(a.node);
    if (a.kind == KLVO_CB_INFNODE) {
      EXPECT_TRUE(solved.count(a.node)) << a.node;
      EXPECT_TRUE(infeasible.insert(a.node).second) << a.node;
    }
  }
  // A binary tree whose every leaf is infeasible: one leaf more than branched nodes.
  EXPECT_EQ(static_cast<int>(solved.size()), int_attr(prob, KLVO_ATTR_NODES));
  EXPECT_EQ(2 * infeasible.size(), solved.size() + 1);
}
