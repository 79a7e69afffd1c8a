// Adding and deleting rows and columns: after deletions the model must equal a model built
// afresh from the surviving pieces, index by index (names, bounds, types, coefficients,
// quadratic parts, indicators and sets).
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.h"

using klvo_test::load_empty;
using klvo_test::ProblemTest;
using klvo_test::snapshot;
using klvo_test::Snapshot;

namespace {

struct RefCol {
  double obj, lb, ub;
  char type;
  double limit;
  std::string name;
};
struct RefRow {
  char type;
  double rhs, range;
  std::string name;
  int indcol = -1, indcomp = 0;
};
struct RefSet {
  char type;
  std::vector<std::pair<int, double>> members;
  std::string name;
};

// A model kept in plain containers; build() sends it to a problem through the C interface.
struct Ref {
  std::vector<RefCol> cols;
  std::vector<RefRow> rows;
  std::map<std::pair<int, int>, double> a;            // (row, col)
  std::map<std::pair<int, int>, double> q;            // objective Q_ij, i <= j
  std::map<std::tuple<int, int, int>, double> qr;     // (row, i <= j)
  std::vector<RefSet> sets;

  static Ref random(unsigned seed, int n, int m) {
    std::mt19937 rng(seed);
    auto pick = [&](int k) { return static_cast<int>(rng() % k); };
    Ref r;
    const char ctypes[] = {'C', 'C', 'I', 'B', 'S'};
    for (int j = 0; j < n; ++j) {
      RefCol c{double(pick(9) - 4), double(-pick(3)), double(1 + pick(5)), ctypes[pick(5)], 0.0,
               pick(4) ? "x" + std::to_string(j) : std::string()};
      if (c.type == 'B') c.lb = 0, c.ub = 1;
      if (c.type == 'S') c.limit = 0.5;
      r.cols.push_back(c);
    }
    const char rtypes[] = {'L', 'G', 'E', 'R', 'N'};
    for (int i = 0; i < m; ++i) {
      RefRow row{rtypes[pick(5)], double(pick(20)), 0.0, pick(3) ? "c" + std::to_string(i) : std::string()};
      if (row.type == 'R') row.range = 1 + pick(4);
      r.rows.push_back(row);
      for (int k = 0; k < 3; ++k) r.a[{i, pick(n)}] = double(1 + pick(7));
    }
    for (int k = 0; k < n / 2; ++k) {
      int i = pick(n), j = pick(n);
      r.q[{std::min(i, j), std::max(i, j)}] = double(1 + pick(3));
    }
    for (int i = 0; i < m; ++i) {
      RefRow &row = r.rows[i];
      if ((row.type == 'L' || row.type == 'G') && pick(3) == 0) {
        int c1 = pick(n), c2 = pick(n);
        r.qr[{i, std::min(c1, c2), std::max(c1, c2)}] = 0.5 * (1 + pick(4));
      } else if ((row.type == 'L' || row.type == 'E') && pick(3) == 0) {
        row.indcol = pick(n);
        row.indcomp = pick(2) ? 1 : -1;
      }
    }
    for (int k = 0; k < 3; ++k) {
      RefSet s{k % 2 ? '2' : '1', {}, k == 1 ? std::string() : "s" + std::to_string(k)};
      std::vector<int> members;
      for (int p = 0; p < 4; ++p) members.push_back(pick(n));
      std::sort(members.begin(), members.end());
      members.erase(std::unique(members.begin(), members.end()), members.end());
      for (size_t p = 0; p < members.size(); ++p) s.members.push_back({members[p], double(p + 1)});
      r.sets.push_back(s);
    }
    return r;
  }

  // The model left after deleting the given rows and columns.
  Ref without(const std::vector<int> &delrows, const std::vector<int> &delcols) const {
    auto make_map = [](int count, const std::vector<int> &del) {
      std::vector<int> map(count, 0);
      for (int d : del) map[d] = -1;
      int next = 0;
      for (int &x : map)
        if (x == 0) x = next++;
      return map;
    };
    std::vector<int> rmap = make_map(rows.size(), delrows), cmap = make_map(cols.size(), delcols);
    Ref r;
    for (size_t j = 0; j < cols.size(); ++j)
      if (cmap[j] >= 0) r.cols.push_back(cols[j]);
    for (size_t i = 0; i < rows.size(); ++i)
      if (rmap[i] >= 0) {
        RefRow row = rows[i];
        if (row.indcol >= 0) {
          row.indcol = cmap[row.indcol];
          if (row.indcol < 0) row.indcomp = 0;
        }
        r.rows.push_back(row);
      }
    for (const auto &[k, v] : a)
      if (rmap[k.first] >= 0 && cmap[k.second] >= 0) r.a[{rmap[k.first], cmap[k.second]}] = v;
    for (const auto &[k, v] : q)
      if (cmap[k.first] >= 0 && cmap[k.second] >= 0) r.q[{cmap[k.first], cmap[k.second]}] = v;
    for (const auto &[k, v] : qr)
      if (rmap[std::get<0>(k)] >= 0 && cmap[std::get<1>(k)] >= 0 && cmap[std::get<2>(k)] >= 0)
        r.qr[{rmap[std::get<0>(k)], cmap[std::get<1>(k)], cmap[std::get<2>(k)]}] = v;
    for (const RefSet &s : sets) {
      RefSet t{s.type, {}, s.name};
      for (auto [c, w] : s.members)
        if (cmap[c] >= 0) t.members.push_back({cmap[c], w});
      r.sets.push_back(t);
    }
    return r;
  }

  // Half of the rows first (empty), then the columns with their entries in those rows, then
  // the other rows with their entries: both directions of adding take part.
  void build(KLVOprob prob) const {
    ASSERT_EQ(load_empty(prob, "m"), 0);
    const int n = cols.size(), m = rows.size(), half = m / 2;
    for (int i = 0; i < half; ++i) {
      const RefRow &r = rows[i];
      ASSERT_EQ(KLVOaddrows64(prob, 1, 0, &r.type, &r.rhs, &r.range, nullptr, nullptr, nullptr), 0);
    }
    for (int j = 0; j < n; ++j) {
      std::vector<int> ind;
      std::vector<double> val;
      for (const auto &[k, v] : a)
        if (k.second == j && k.first < half) ind.push_back(k.first), val.push_back(v);
      const RefCol &c = cols[j];
      const int64_t start[] = {0};
      ASSERT_EQ(KLVOaddcols64(prob, 1, ind.size(), &c.obj, start, ind.data(), val.data(), &c.lb, &c.ub), 0);
    }
    for (int i = half; i < m; ++i) {
      std::vector<int> ind;
      std::vector<double> val;
      for (const auto &[k, v] : a)
        if (k.first == i) ind.push_back(k.second), val.push_back(v);
      const RefRow &r = rows[i];
      const int start[] = {0};
      ASSERT_EQ(KLVOaddrows(prob, 1, ind.size(), &r.type, &r.rhs, &r.range, start, ind.data(), val.data()), 0);
    }
    for (int j = 0; j < n; ++j) {
      const RefCol &c = cols[j];
      ASSERT_EQ(KLVOchgcoltype(prob, 1, &j, &c.type), 0);
      if (c.type == 'S') ASSERT_EQ(KLVOchgglblimit(prob, 1, &j, &c.limit), 0);
      if (!c.name.empty()) ASSERT_EQ(KLVOaddnames(prob, 2, c.name.c_str(), j, j), 0);
    }
    for (int i = 0; i < m; ++i) {
      const RefRow &r = rows[i];
      if (!r.name.empty()) ASSERT_EQ(KLVOaddnames(prob, 1, r.name.c_str(), i, i), 0);
      if (r.indcomp != 0) ASSERT_EQ(KLVOsetindicators(prob, 1, &i, &r.indcol, &r.indcomp), 0);
    }
    for (const auto &[k, v] : q) ASSERT_EQ(KLVOchgqobj(prob, k.first, k.second, v), 0);
    for (const auto &[k, v] : qr) {
      int c1 = std::get<1>(k), c2 = std::get<2>(k);
      ASSERT_EQ(KLVOaddqmatrix64(prob, std::get<0>(k), 1, &c1, &c2, &v), 0);
    }
    for (int k = 0; k < static_cast<int>(sets.size()); ++k) {
      const RefSet &s = sets[k];
      std::vector<int> c;
      std::vector<double> w;
      for (auto [col, weight] : s.members) c.push_back(col), w.push_back(weight);
      const int64_t start[] = {0};
      ASSERT_EQ(KLVOaddsets64(prob, 1, c.size(), &s.type, start, c.data(), w.data()), 0);
      if (!s.name.empty()) ASSERT_EQ(KLVOaddnames(prob, 3, s.name.c_str(), k, k), 0);
    }
  }
};

std::vector<int> random_subset(std::mt19937 &rng, int count, int size) {
  std::vector<int> all(count);
  for (int i = 0; i < count; ++i) all[i] = i;
  std::shuffle(all.begin(), all.end(), rng);
  all.resize(size);
  return all;  // deliberately unsorted
}

}  // namespace

TEST_F(ProblemTest, DeletingRowsAndColumnsEqualsRebuildingTheReducedModel) {
  KLVOprob fresh = nullptr;
  ASSERT_EQ(KLVOcreateprob(&fresh), 0);
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const int n = 8 + seed % 5, m = 6 + seed % 4;
    Ref ref = Ref::random(seed, n, m);
    ref.build(prob);
    ref.build(fresh);
    Snapshot built = snapshot(prob), twin = snapshot(fresh);
    ASSERT_TRUE(built == twin) << klvo_test::diff(built, twin);
    ASSERT_EQ(built.ncols, n);
    ASSERT_EQ(built.nrows, m);

    std::mt19937 rng(seed * 7919);
    std::vector<int> delrows = random_subset(rng, m, 1 + seed % 3), delcols = random_subset(rng, n, 1 + seed % 4);
    ASSERT_EQ(KLVOdelrows(prob, delrows.size(), delrows.data()), 0);
    ASSERT_EQ(KLVOdelcols(prob, delcols.size(), delcols.data()), 0);
    Ref reduced = ref.without(delrows, delcols);
    reduced.build(fresh);
    Snapshot after = snapshot(prob), expected = snapshot(fresh);
    EXPECT_TRUE(after == expected) << klvo_test::diff(after, expected);

    // Adding after deleting: a row on the last column and a column in the last row.
    const int last_col = n - static_cast<int>(delcols.size()) - 1;
    const int last_row = m - static_cast<int>(delrows.size()) - 1;
    for (KLVOprob p : {prob, fresh}) {
      const char t = 'G';
      const double rhs = 1, coef = 2.5, obj = 3;
      const int64_t start[] = {0};
      ASSERT_EQ(KLVOaddrows64(p, 1, 1, &t, &rhs, nullptr, start, &last_col, &coef), 0);
      ASSERT_EQ(KLVOaddcols64(p, 1, 1, &obj, start, &last_row, &coef, nullptr, nullptr), 0);
    }
    after = snapshot(prob);
    expected = snapshot(fresh);
    EXPECT_TRUE(after == expected) << klvo_test::diff(after, expected);
    EXPECT_EQ(after.matrix.at({last_row + 1, last_col}), 2.5);
    EXPECT_EQ(after.matrix.at({last_row, last_col + 1}), 2.5);
  }
  EXPECT_EQ(KLVOdestroyprob(fresh), 0);
}

TEST_F(ProblemTest, DeletingEverythingLeavesAnEmptyButUsableModel) {
  Ref ref = Ref::random(99, 5, 4);
  ref.build(prob);
  std::vector<int> rows = {3, 0, 2, 1}, cols = {4, 3, 2, 1, 0};
  ASSERT_EQ(KLVOdelrows(prob, 4, rows.data()), 0);
  ASSERT_EQ(KLVOdelcols(prob, 5, cols.data()), 0);
  Snapshot s = snapshot(prob);
  EXPECT_EQ(s.ncols, 0);
  EXPECT_EQ(s.nrows, 0);
  EXPECT_TRUE(s.qobj.empty());
  ASSERT_EQ(s.sets.size(), 3u);  // sets stay, emptied
  for (const auto &set : s.sets) EXPECT_TRUE(set.second.empty());
  int idx = 0;
  ASSERT_EQ(KLVOgetindex(prob, 2, "x0", &idx), 0);
  EXPECT_EQ(idx, -1);
  // Names of deleted columns are free again.
  ASSERT_EQ(KLVOaddcols(prob, 1, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOaddnames(prob, 2, "x0", 0, 0), 0);
}
