// The model store through the C interface: loading, reading back, changing, names, copying,
// and bad input that must leave the model as it was.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

using klvo_test::ProblemTest;
using klvo_test::snapshot;
using klvo_test::Snapshot;

namespace {

// 3 rows (L, R, N) x 4 columns, column-wise.
//   row0: 1 x0 + 2 x1           <= 4
//   row1:        3 x1 + 4 x2    in [10 - 5, 10]
//   row2: 5 x0            + 6 x3 (free)
void load_small(KLVOprob prob, const char *name = "small") {
  const char rowtype[] = {'L', 'R', 'N'};
  const double rhs[] = {4, 10, 0};
  const double range[] = {0, -5, 0};
  const double obj[] = {1, -1, 0.5, 0};
  const int start[] = {0, 2, 4, 5, 6};
  const int rowind[] = {0, 2, 0, 1, 1, 2};
  const double val[] = {1, 5, 2, 3, 4, 6};
  const double lb[] = {0, -2e20, -1, 2};
  const double ub[] = {1e30, 5, 1, 2};
  ASSERT_EQ(KLVOloadlp(prob, name, 4, 3, rowtype, rhs, range, obj, start, nullptr, rowind, val, lb, ub), 0);
}

}  // namespace

TEST_F(ProblemTest, LoadedLpReadsBackWithInfiniteBoundsClampedAndRangeMadePositive) {
  load_small(prob);
  Snapshot s = snapshot(prob);
  EXPECT_EQ(s.name, "small");
  EXPECT_EQ(s.ncols, 4);
  EXPECT_EQ(s.nrows, 3);
  EXPECT_EQ(s.rowtype, "LRN");
  EXPECT_EQ(s.rhs, (std::vector<double>{4, 10, 0}));
  EXPECT_EQ(s.range, (std::vector<double>{0, 5, 0}));
  EXPECT_EQ(s.obj, (std::vector<double>{1, -1, 0.5, 0}));
  EXPECT_EQ(s.lb, (std::vector<double>{0, -1e20, -1, 2}));
  EXPECT_EQ(s.ub, (std::vector<double>{1e20, 5, 1, 2}));
  EXPECT_EQ(s.coltype, "CCCC");
  std::map<std::pair<int, int>, double> expected = {{{0, 0}, 1}, {{2, 0}, 5}, {{0, 1}, 2},
                                                    {{1, 1}, 3}, {{1, 2}, 4}, {{2, 3}, 6}};
  EXPECT_EQ(s.matrix, expected);
  double c = -1;
  ASSERT_EQ(KLVOgetcoef(prob, 2, 3, &c), 0);
  EXPECT_EQ(c, 6);
  ASSERT_EQ(KLVOgetcoef(prob, 0, 3, &c), 0);
  EXPECT_EQ(c, 0);
}

TEST_F(ProblemTest, LoadWithColumnLengthsSkipsTheGapsBetweenColumns) {
  const char rowtype[] = {'E', 'G'};
  const int64_t start[] = {0, 3};
  const int collen[] = {2, 1};
  const int rowind[] = {0, 1, -7, 1};  // entry 2 lies in a gap and is never read
  const double val[] = {1, 2, 99, 3};
  ASSERT_EQ(KLVOloadlp64(prob, "gaps", 2, 2, rowtype, nullptr, nullptr, nullptr, start, collen, rowind, val, nullptr,
                         nullptr),
            0);
  Snapshot s = snapshot(prob);
  std::map<std::pair<int, int>, double> expected = {{{0, 0}, 1}, {{1, 0}, 2}, {{1, 1}, 3}};
  EXPECT_EQ(s.matrix, expected);
  EXPECT_EQ(s.rhs, (std::vector<double>{0, 0}));
  EXPECT_EQ(s.ub, (std::vector<double>{1e20, 1e20}));
}

TEST_F(ProblemTest, LoadMiqcqpKeepsEntitiesSetsAndBothQuadraticParts) {
  const char rowtype[] = {'L', 'G'};
  const double rhs[] = {10, 1};
  const int64_t start[] = {0, 1, 2, 3};
  const int rowind[] = {0, 0, 1};
  const double val[] = {1, 1, 1};
  const double lb[] = {0, 0, 0};
  const double ub[] = {1e20, 8, 2};
  // Objective: (0,1) given in both orders is summed; (2,2) is a diagonal entry.
  const int q1[] = {0, 1, 2};
  const int q2[] = {1, 0, 2};
  const double qv[] = {1.5, 1.5, 4};
  const int qrow[] = {0};
  const int64_t nqc[] = {2};
  const int rq1[] = {1, 0};
  const int rq2[] = {0, 0};
  const double rqv[] = {0.5, 2};
  const char ctype[] = {'B', 'S', 'I'};
  const int entind[] = {0, 1, 2};
  const double limit[] = {0, 3, 0};
  const char settype[] = {'2'};
  const int64_t setstart[] = {0, 3};
  const int setind[] = {2, 0, 1};
  const double refval[] = {1, 2, 3};
  ASSERT_EQ(KLVOloadmiqcqp64(prob, "mq", 3, 2, rowtype, rhs, nullptr, nullptr, start, nullptr, rowind, val, lb, ub,
                             3, q1, q2, qv, 1, qrow, nqc, rq1, rq2, rqv, 3, 1, ctype, entind, limit, settype,
                             setstart, setind, refval),
            0) << error();
  Snapshot s = snapshot(prob);
  EXPECT_EQ(s.coltype, "BSI");
  EXPECT_EQ(s.ub[0], 1.0);  // a binary column keeps the part of its bounds inside [0, 1]
  EXPECT_EQ(s.limit, (std::map<int, double>{{1, 3.0}}));
  std::map<std::pair<int, int>, double> qobj = {{{0, 1}, 3}, {{1, 0}, 3}, {{2, 2}, 4}};
  EXPECT_EQ(s.qobj, qobj);
  std::map<std::tuple<int, int, int>, double> qrows = {{{0, 0, 1}, 0.5}, {{0, 0, 0}, 2}};
  EXPECT_EQ(s.qrows, qrows);
  ASSERT_EQ(s.sets.size(), 1u);
  EXPECT_EQ(s.sets[0].first, '2');
  EXPECT_EQ(s.sets[0].second, (std::vector<std::pair<int, double>>{{2, 1}, {0, 2}, {1, 3}}));
}

TEST_F(ProblemTest, ObjectiveQuadraticIsSymmetricAndZeroRemovesAnEntry) {
  load_small(prob);
  ASSERT_EQ(KLVOchgqobj(prob, 1, 0, 3.0), 0);
  const int c1[] = {2, 3};
  const int c2[] = {2, 1};
  const double v[] = {4.0, -1.0};
  ASSERT_EQ(KLVOchgmqobj64(prob, 2, c1, c2, v), 0);
  double q = 0;
  ASSERT_EQ(KLVOgetqobj(prob, 0, 1, &q), 0);
  EXPECT_EQ(q, 3.0);
  ASSERT_EQ(KLVOgetqobj(prob, 1, 3, &q), 0);
  EXPECT_EQ(q, -1.0);
  int64_t nq = 0;
  ASSERT_EQ(KLVOgetmqobj64(prob, nullptr, nullptr, nullptr, 0, &nq, 0, 3), 0);
  EXPECT_EQ(nq, 5);  // both triangles of the two off-diagonal pairs plus one diagonal entry
  // Column 1 of Q holds rows 0 and 3.
  int64_t start[2];
  int ind[4];
  double val[4];
  ASSERT_EQ(KLVOgetmqobj64(prob, start, ind, val, 4, &nq, 1, 1), 0);
  EXPECT_EQ(nq, 2);
  EXPECT_EQ(ind[0], 0);
  EXPECT_EQ(ind[1], 3);
  EXPECT_EQ(val[1], -1.0);
  ASSERT_EQ(KLVOchgqobj(prob, 0, 1, 0.0), 0);
  ASSERT_EQ(KLVOgetmqobj64(prob, nullptr, nullptr, nullptr, 0, &nq, 0, 3), 0);
  EXPECT_EQ(nq, 3);
}

TEST_F(ProblemTest, QuadraticRowsKeepUpperTriangleAndExpandToFullColumns) {
  load_small(prob);
  const int c1[] = {0, 2, 2, 1};
  const int c2[] = {2, 0, 2, 1};
  const double v[] = {0.25, 0.25, 1.0, 3.0};  // (0,2) and (2,0) refer to one pair: summed to 0.5
  ASSERT_EQ(KLVOaddqmatrix64(prob, 0, 4, c1, c2, v), 0);
  std::map<std::tuple<int, int, int>, double> qrows = {{{0, 0, 2}, 0.5}, {{0, 1, 1}, 3}, {{0, 2, 2}, 1}};
  EXPECT_EQ(snapshot(prob).qrows, qrows);
  double p = 0;
  ASSERT_EQ(KLVOgetqrowcoeff(prob, 0, 2, 0, &p), 0);
  EXPECT_EQ(p, 0.5);
  // Full column 2 of P: rows 0 and 2.
  int start[2], ind[4], nz = 0;
  double val[4];
  ASSERT_EQ(KLVOgetqrowqmatrix(prob, 0, start, ind, val, 4, &nz, 2, 2), 0);
  EXPECT_EQ(std::vector<int>(ind, ind + nz), (std::vector<int>{0, 2}));
  EXPECT_EQ(val[1], 1.0);
  // A zero removes an entry; any row may be quadratic, a range row included; deleting the
  // matrix keeps the row.
  ASSERT_EQ(KLVOchgqrowcoeff(prob, 0, 1, 1, 0.0), 0);
  ASSERT_EQ(KLVOaddqmatrix64(prob, 1, 1, c1, c2, v), 0);
  qrows.erase({0, 1, 1});
  qrows[{1, 0, 2}] = 0.25;
  EXPECT_EQ(snapshot(prob).qrows, qrows);
  int rows[3], nq = -1;
  ASSERT_EQ(KLVOgetqrows(prob, &nq, rows), 0);
  EXPECT_EQ(std::vector<int>(rows, rows + nq), (std::vector<int>{0, 1}));
  ASSERT_EQ(KLVOdelqmatrix(prob, 0), 0);
  ASSERT_EQ(KLVOgetqrows(prob, &nq, rows), 0);
  EXPECT_EQ(std::vector<int>(rows, rows + nq), (std::vector<int>{1}));
  EXPECT_EQ(snapshot(prob).matrix.at({0, 1}), 2.0);
}

TEST_F(ProblemTest, RhsRangeTurnsEachRowTypeIntoTheRightInterval) {
  const char rowtype[] = {'L', 'G', 'E', 'E', 'R'};
  const double rhs[] = {10, 10, 10, 10, 10};
  const double range[] = {0, 0, 0, 0, 4};
  ASSERT_EQ(KLVOaddrows(prob, 5, 0, rowtype, rhs, range, nullptr, nullptr, nullptr), 0);
  const int rows[] = {0, 1, 2, 3, 4};
  const double rng[] = {-3, 3, 3, -3, 7};
  ASSERT_EQ(KLVOchgrhsrange(prob, 5, rows, rng), 0);
  Snapshot s = snapshot(prob);
  EXPECT_EQ(s.rowtype, "RRRRR");
  // Upper ends: L keeps 10, G moves to 13, E with +3 to 13, E with -3 stays 10, R keeps 10.
  EXPECT_EQ(s.rhs, (std::vector<double>{10, 13, 13, 10, 10}));
  EXPECT_EQ(s.range, (std::vector<double>{3, 3, 3, 3, 7}));
}

TEST_F(ProblemTest, ColumnTypesSetBinaryBoundsAndLimits) {
  load_small(prob);
  const int cols[] = {0, 1, 2};
  const char types[] = {'B', 'S', 'P'};
  ASSERT_EQ(KLVOchgcoltype(prob, 3, cols, types), 0);
  Snapshot s = snapshot(prob);
  EXPECT_EQ(s.coltype, "BSPC");
  EXPECT_EQ(s.lb[0], 0.0);
  EXPECT_EQ(s.ub[0], 1.0);
  // Default limits: the lower bound of an S column, the upper bound of a P column.
  EXPECT_EQ(s.limit, (std::map<int, double>{{1, -1e20}, {2, 1.0}}));
  const double lim[] = {2.5};
  ASSERT_EQ(KLVOchgglblimit(prob, 1, &cols[1], lim), 0);
  EXPECT_EQ(snapshot(prob).limit.at(1), 2.5);
  // A binary column has no bound outside [0, 1].
  const char u = 'U';
  const double two = 2;
  EXPECT_NE(KLVOchgbounds(prob, 1, &cols[0], &u, &two), 0);
  const double zero = 0;
  EXPECT_EQ(KLVOchgbounds(prob, 1, &cols[0], &u, &zero), 0);
  double ub = -1;
  ASSERT_EQ(KLVOgetub(prob, &ub, 0, 0), 0);
  EXPECT_EQ(ub, 0.0);
}

TEST_F(ProblemTest, ChangedCoefficientsStayConsistentByRowAndByColumn) {
  load_small(prob);
  const int rows[] = {0, 1, 2};
  const int cols[] = {0, 3, 1};
  const double vals[] = {0.0, 7.0, -2.0};  // removes (0,0), adds (1,3) and (2,1)
  ASSERT_EQ(KLVOchgmcoef(prob, 3, rows, cols, vals), 0);
  ASSERT_EQ(KLVOchgcoef(prob, 1, 2, 8.0), 0);
  Snapshot s = snapshot(prob);
  std::map<std::pair<int, int>, double> expected = {{{2, 0}, 5}, {{0, 1}, 2}, {{1, 1}, 3},
                                                    {{1, 2}, 8}, {{2, 3}, 6}, {{1, 3}, 7}, {{2, 1}, -2}};
  EXPECT_EQ(s.matrix, expected);
  int64_t start[5], nz = 0;
  int ind[16];
  double val[16];
  ASSERT_EQ(KLVOgetcols64(prob, start, ind, val, 16, &nz, 0, 3), 0);
  std::map<std::pair<int, int>, double> bycol;
  for (int j = 0; j < 4; ++j)
    for (int64_t p = start[j]; p < start[j + 1]; ++p) bycol[{ind[p], j}] = val[p];
  EXPECT_EQ(bycol, expected);
}

TEST_F(ProblemTest, MatrixReadingClipsToMaxcoefsButReportsTheTotal) {
  load_small(prob);
  int64_t start[5], nz = 0;
  int ind[3] = {-1, -1, -1};
  double val[3];
  ASSERT_EQ(KLVOgetrows64(prob, start, ind, val, 3, &nz, 0, 2), 0);
  EXPECT_EQ(nz, 6);
  EXPECT_EQ(std::vector<int64_t>(start, start + 4), (std::vector<int64_t>{0, 2, 3, 3}));
  EXPECT_EQ(std::vector<int>(ind, ind + 3), (std::vector<int>{0, 1, 1}));
}

TEST_F(ProblemTest, NamesAreDefaultedAndFoundByIndex) {
  load_small(prob);
  ASSERT_EQ(KLVOaddnames(prob, 1, "r0\0r1", 0, 1), 0);
  EXPECT_EQ(klvo_test::names(prob, 1, 3), (std::vector<std::string>{"r0", "r1", "R3"}));
  const char *p = reinterpret_cast<const char *>(1);
  ASSERT_EQ(KLVOgetnamepointer(prob, 1, 2, &p), 0);
  EXPECT_EQ(p, nullptr);
  ASSERT_EQ(KLVOgetnamepointer(prob, 1, 1, &p), 0);
  EXPECT_STREQ(p, "r1");
  int idx = -2;
  ASSERT_EQ(KLVOgetindex(prob, 1, "R3", &idx), 0);
  EXPECT_EQ(idx, -1);  // a default name is not a stored name
  // Rows, columns and sets have separate name spaces.
  ASSERT_EQ(KLVOaddnames(prob, 2, "r1", 0, 0), 0);
  ASSERT_EQ(KLVOgetindex(prob, 1, "r1", &idx), 0);
  EXPECT_EQ(idx, 1);
  // The buffer size check of the name list.
  int need = 0;
  ASSERT_EQ(KLVOgetnamelist(prob, 1, nullptr, 0, &need, 0, 1), 0);
  EXPECT_EQ(need, 6);  // "r0\0r1\0"
  char small[4];
  EXPECT_NE(KLVOgetnamelist(prob, 1, small, 4, &need, 0, 1), 0);
}

// Random renames, additions and deletions of rows named from a small alphabet, checked after
// every step against a scan for the lowest row carrying each name. The batches are large
// enough for the grouped insertion of big calls, and the alphabet small enough for long runs
// of equal names that are renamed and deleted in the middle.
TEST_F(ProblemTest, RepeatedNamesAreFoundAtTheirLowestIndexThroughRenamesAndDeletions) {
  std::mt19937 rng(7);
  std::vector<std::string> model;  // the names as they should be, by row
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto random_name = [&] { return pick(8) == 0 ? std::string() : "n" + std::to_string(pick(40)); };
  auto add_rows = [&](int n) {
    std::vector<char> type(n, 'N');
    ASSERT_EQ(KLVOaddrows(prob, n, 0, type.data(), nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    model.resize(model.size() + n);
  };
  auto rename = [&](int first, int count) {
    std::string text;
    for (int k = 0; k < count; ++k) {
      model[first + k] = random_name();
      text += model[first + k];
      text.push_back('\0');
    }
    ASSERT_EQ(KLVOaddnames(prob, 1, text.data(), first, first + count - 1), 0);
  };
  auto check = [&](int step) {
    for (int a = 0; a < 40; ++a) {
      std::string name = "n" + std::to_string(a);
      int expected = static_cast<int>(std::find(model.begin(), model.end(), name) - model.begin());
      if (expected == static_cast<int>(model.size())) expected = -1;
      int idx = -2;
      ASSERT_EQ(KLVOgetindex(prob, 1, name.c_str(), &idx), 0);
      ASSERT_EQ(idx, expected) << name << " after step " << step;
    }
  };
  add_rows(5000);
  rename(0, 5000);
  check(0);
  for (int step = 1; step <= 300; ++step) {
    const int n = static_cast<int>(model.size());
    switch (pick(4)) {
      case 0: {  // a few rows renamed, anywhere
        int first = pick(n), count = 1 + pick(std::min(5, n - first));
        rename(first, count);
        break;
      }
      case 1: {  // rows added at the end, some named
        int count = 1 + pick(20);
        add_rows(count);
        rename(n, count);
        break;
      }
      case 2: {  // a handful of rows deleted
        std::vector<int> del;
        for (int k = 0, m = 1 + pick(30); k < m; ++k) del.push_back(pick(n));
        std::sort(del.begin(), del.end());
        del.erase(std::unique(del.begin(), del.end()), del.end());
        ASSERT_EQ(KLVOdelrows(prob, static_cast<int>(del.size()), del.data()), 0);
        for (int k = static_cast<int>(del.size()) - 1; k >= 0; --k) model.erase(model.begin() + del[k]);
        break;
      }
      default: {  // names swap places in one call
        int i = pick(n - 1);
        std::string text = model[i + 1] + std::string(1, '\0') + model[i] + std::string(1, '\0');
        std::swap(model[i], model[i + 1]);
        ASSERT_EQ(KLVOaddnames(prob, 1, text.data(), i, i + 1), 0);
      }
    }
    check(step);
  }
  // Every name the problem gives back is the one last set.
  ASSERT_EQ(klvo_test::names(prob, 1, static_cast<int>(model.size())).size(), model.size());
  std::vector<std::string> got = klvo_test::names(prob, 1, static_cast<int>(model.size()));
  for (size_t i = 0; i < model.size(); ++i)
    if (!model[i].empty()) ASSERT_EQ(got[i], model[i]) << i;
}

// How indicators and sets follow deletions is checked against a rebuilt model in
// test_model_edit.cpp (what is refused, in the bad-input table below); here, the defaults.
TEST_F(ProblemTest, IndicatorsSetAndDeletedReadBackWithTheirDefaults) {
  load_small(prob);
  const int rows[] = {0, 1};
  const int cols[] = {3, 2};
  const int comp[] = {1, -1};
  int ic[3], cc[3];
  const int r1 = 1;
  const char l = 'L';
  ASSERT_EQ(KLVOchgrowtype(prob, 1, &r1, &l), 0);
  ASSERT_EQ(KLVOsetindicators(prob, 2, rows, cols, comp), 0);
  ASSERT_EQ(KLVOdelindicators(prob, 0, 0), 0);
  ASSERT_EQ(KLVOgetindicators(prob, ic, cc, 0, 2), 0);
  EXPECT_EQ(std::vector<int>(ic, ic + 3), (std::vector<int>{-1, 2, -1}));
  EXPECT_EQ(std::vector<int>(cc, cc + 3), (std::vector<int>{0, -1, 0}));
}

// How sets follow column deletions is checked against a rebuilt model in test_model_edit.cpp;
// here, default weights and set deletion.
TEST_F(ProblemTest, SetsGetDefaultWeightsAndDeletionMovesTheRestWithTheirNames) {
  load_small(prob);
  const char types[] = {'1', '2', '1'};
  const int start[] = {0, 2, 4};
  const int cols[] = {0, 1, 1, 3, 2};
  ASSERT_EQ(KLVOaddsets(prob, 3, 5, types, start, cols, nullptr), 0);
  ASSERT_EQ(KLVOaddnames(prob, 3, "s0\0s1\0s2", 0, 2), 0);
  // Default weights count 1, 2, ... inside each set.
  EXPECT_EQ(snapshot(prob).sets[1].second, (std::vector<std::pair<int, double>>{{1, 1}, {3, 2}}));
  const int del_set = 1;
  ASSERT_EQ(KLVOdelsets(prob, 1, &del_set), 0);
  Snapshot s = snapshot(prob);
  EXPECT_EQ(s.setnames, (std::vector<std::string>{"s0", "s2"}));
  EXPECT_EQ(s.sets[1], (std::pair<char, std::vector<std::pair<int, double>>>{'1', {{2, 1}}}));
}

TEST_F(ProblemTest, CopyIsIndependentOfItsSource) {
  load_small(prob);
  ASSERT_EQ(KLVOaddnames(prob, 2, "a\0b\0c\0d", 0, 3), 0);
  ASSERT_EQ(KLVOchgqobj(prob, 0, 1, 2.0), 0);
  KLVOprob other = nullptr;
  ASSERT_EQ(KLVOcreateprob(&other), 0);
  ASSERT_EQ(KLVOcopyprob(other, prob, ""), 0);
  Snapshot source = snapshot(prob);
  Snapshot copy = snapshot(other);
  EXPECT_TRUE(source == copy) << klvo_test::diff(source, copy);
  const int col = 0;
  ASSERT_EQ(KLVOdelcols(prob, 1, &col), 0);
  ASSERT_EQ(KLVOsetprobname(prob, "changed"), 0);
  Snapshot copy_after = snapshot(other);
  EXPECT_TRUE(copy == copy_after) << klvo_test::diff(copy, copy_after);
  ASSERT_EQ(KLVOcopyprob(other, prob, "renamed"), 0);
  EXPECT_EQ(snapshot(other).name, "renamed");
  EXPECT_EQ(snapshot(other).colnames, (std::vector<std::string>{"b", "c", "d"}));
  EXPECT_NE(KLVOcopyprob(other, nullptr, ""), 0);
  EXPECT_EQ(KLVOdestroyprob(other), 0);
}

// Every call below is invalid; each must fail with a message and change nothing.
TEST_F(ProblemTest, BadInputFailsClearlyAndLeavesTheModelUnchanged) {
  load_small(prob);
  ASSERT_EQ(KLVOaddnames(prob, 2, "a\0b\0c\0d", 0, 3), 0);
  ASSERT_EQ(KLVOaddqmatrix64(prob, 0, 1, std::vector<int>{0}.data(), std::vector<int>{1}.data(),
                             std::vector<double>{1.0}.data()),
            0);
  struct Case {
    const char *what;
    std::function<int()> call;
    const char *message;
  };
  const int cols01[] = {0, 1}, col9[] = {9}, colneg[] = {-1}, rows01[] = {0, 1}, row5[] = {5}, dup[] = {1, 1};
  const double v2[] = {1, 2}, nan[] = {std::nan("")};
  const char lu[] = {'L', 'U'}, badb[] = {'L', 'X'}, badrow[] = {'L', 'Q'}, badcol[] = {'C', 'Z'};
  const int64_t start2[] = {0, 1};
  const int colbad[] = {0, 7};
  const char rt2[] = {'L', 'G'}, settype[] = {'1'}, bad_settype[] = {'3'};
  const int start01[] = {0, 2}, start1[] = {0, 1}, row2[] = {2}, two[] = {2};
  std::vector<Case> cases = {
      {"delete a column out of range", [&] { return KLVOdelcols(prob, 1, col9); }, "column index 9 out of range"},
      {"delete a column twice", [&] { return KLVOdelcols(prob, 2, dup); }, "listed twice"},
      {"delete rows with a null array", [&] { return KLVOdelrows(prob, 1, nullptr); }, "must not be NULL"},
      {"bound type letter", [&] { return KLVOchgbounds(prob, 2, cols01, badb, v2); }, "bound type 'X'"},
      {"NaN bound", [&] { return KLVOchgbounds(prob, 1, cols01, lu, nan); }, "NaN"},
      {"bound on a missing column", [&] { return KLVOchgbounds(prob, 1, col9, lu, v2); }, "column index 9"},
      {"row type letter", [&] { return KLVOchgrowtype(prob, 2, rows01, badrow); }, "row type 'Q'"},
      {"column type letter", [&] { return KLVOchgcoltype(prob, 2, cols01, badcol); }, "column type 'Z'"},
      {"objective on column -2", [&] { return KLVOchgobj(prob, 1, std::vector<int>{-2}.data(), v2); }, "column index -2"},
      {"coefficient in a missing row", [&] { return KLVOchgcoef(prob, 5, 0, 1.0); }, "row index 5"},
      {"rhs of a missing row", [&] { return KLVOchgrhs(prob, 1, row5, v2); }, "row index 5"},
      {"rows with a column out of range",
       [&] { return KLVOaddrows64(prob, 2, 2, rt2, v2, nullptr, start2, colbad, v2); }, "column index 7"},
      {"rows without types", [&] { return KLVOaddrows64(prob, 1, 0, nullptr, v2, nullptr, nullptr, nullptr, nullptr); },
       "must not be NULL"},
      {"rows with a repeated column",
       [&] { return KLVOaddrows64(prob, 1, 2, rt2, v2, nullptr, start2, dup, v2); }, "twice"},
      {"columns with decreasing starts",
       [&] {
         const int64_t s[] = {1, 0};
         return KLVOaddcols64(prob, 2, 2, v2, s, rows01, v2, nullptr, nullptr);
       },
       "start array"},
      {"columns with a NaN objective",
       [&] { return KLVOaddcols64(prob, 1, 0, nan, nullptr, nullptr, nullptr, nullptr, nullptr); }, "finite"},
      {"quadratic term on a missing column",
       [&] { return KLVOchgmqobj64(prob, 1, colneg, cols01, v2); }, "out of range"},
      {"quadratic row on a missing row",
       [&] { return KLVOaddqmatrix64(prob, 5, 1, cols01, cols01, v2); }, "row index 5"},
      {"quadratic coefficient NaN", [&] { return KLVOaddqmatrix64(prob, 2, 1, cols01, cols01, nan); }, "finite"},
      {"sense 0", [&] { return KLVOchgobjsense(prob, 0); }, "invalid sense 0"},
      {"reading an empty range", [&] {
         double x[4];
         return KLVOgetlb(prob, x, 2, 1);
       }, "invalid range 2..1"},
      {"reading past the end", [&] {
         double x[8];
         return KLVOgetrhs(prob, x, 0, 3);
       }, "invalid range 0..3"},
      {"name range past the end", [&] { return KLVOaddnames(prob, 2, "e\0f", 3, 4); }, "invalid range 3..4"},
      {"null problem name", [&] { return KLVOsetprobname(prob, nullptr); }, "must not be NULL"},
      {"delete a set that does not exist", [&] { return KLVOdelsets(prob, 1, cols01); }, "set index 0 out of range"},
      {"set with a repeated column", [&] { return KLVOaddsets(prob, 1, 2, settype, start01, dup, nullptr); }, "twice"},
      {"set type '3'", [&] { return KLVOaddsets(prob, 1, 1, bad_settype, start1, cols01, nullptr); }, "set type '3'"},
      {"range on a free row", [&] { return KLVOchgrhsrange(prob, 1, row2, v2); }, "free"},
      {"limit of a continuous column", [&] { return KLVOchgglblimit(prob, 1, cols01, v2); }, "only S, R and P"},
      {"indicators on a good row and a range row",
       [&] { return KLVOsetindicators(prob, 2, rows01, cols01, std::vector<int>{1, 1}.data()); }, "type 'R'"},
      {"indicator complement 2", [&] { return KLVOsetindicators(prob, 1, rows01, cols01, two); }, "complement flag 2"},
      {"name type 4", [&] { return KLVOaddnames(prob, 4, "a", 0, 0); }, "name type 4"},
      {"load with a row index past the rows",
       [&] {
         return KLVOloadlp(prob, "new", 1, 1, rt2, nullptr, nullptr, nullptr, start1, nullptr, row5, v2, nullptr, nullptr);
       },
       "row index 5"},
      {"load with row type 'X'",
       [&] {
         return KLVOloadlp(prob, "new", 1, 1, badb + 1, nullptr, nullptr, nullptr, start1, nullptr, cols01, v2, nullptr,
                           nullptr);
       },
       "row type 'X'"},
  };
  Snapshot before = snapshot(prob);
  for (const Case &c : cases) {
    int rc = c.call();
    EXPECT_NE(rc, 0) << c.what;
    EXPECT_NE(error().find(c.message), std::string::npos) << c.what << ": got \"" << error() << "\"";
    Snapshot after = snapshot(prob);
    EXPECT_TRUE(before == after) << c.what << " changed: " << klvo_test::diff(before, after);
  }
  EXPECT_EQ(KLVOgetlb(nullptr, nullptr, 0, 0), KLVO_ERR_INVALID_ARGUMENT);
}
