// Blocks of the matrix added in bulk and read back: rows and columns added in several batches,
// on top of each other, must read back by row and by column as the dense matrix they make up;
// the 32-bit readers agree with the 64-bit ones, and the 32-bit quadratic change is all or
// nothing.
#include <random>
#include <thread>
#include <vector>

#include "test_support.h"

using klvo_test::load_empty;
using klvo_test::ProblemTest;

namespace {

using Dense = std::vector<std::vector<double>>;

// Sparse rows (or columns) of a dense block in the start/index/value layout.
void compress(const Dense &d, bool by_row, std::vector<int64_t> &start, std::vector<int> &index,
              std::vector<double> &value) {
  size_t outer = by_row ? d.size() : d[0].size(), inner = by_row ? d[0].size() : d.size();
  start.assign(1, 0);
  index.clear();
  value.clear();
  for (size_t o = 0; o < outer; ++o) {
    for (size_t i = 0; i < inner; ++i) {
      double v = by_row ? d[o][i] : d[i][o];
      if (v != 0) index.push_back(static_cast<int>(i)), value.push_back(v);
    }
    start.push_back(static_cast<int64_t>(index.size()));
  }
}

// The matrix read back row by row (or column by column) through the 64-bit reader.
Dense read_back(KLVOprob prob, int rows, int cols, bool by_row) {
  Dense d(rows, std::vector<double>(cols, 0.0));
  int outer = by_row ? rows : cols;
  int64_t n = 0;
  auto reader = by_row ? KLVOgetrows64 : KLVOgetcols64;
  EXPECT_EQ(reader(prob, nullptr, nullptr, nullptr, 0, &n, 0, outer - 1), 0);
  std::vector<int64_t> start(outer + 1);
  std::vector<int> index(n);
  std::vector<double> value(n);
  EXPECT_EQ(reader(prob, start.data(), index.data(), value.data(), n, &n, 0, outer - 1), 0);
  for (int o = 0; o < outer; ++o)
    for (int64_t k = start[o]; k < start[o + 1]; ++k) {
      if (k > start[o]) EXPECT_LT(index[k - 1], index[k]);  // sorted within a row or column
      (by_row ? d[o][index[k]] : d[index[k]][o]) = value[k];
    }
  return d;
}

Dense random_block(std::mt19937 &rng, int rows, int cols) {
  std::uniform_int_distribution<int> coin(0, 2), coef(-5, 5);
  Dense d(rows, std::vector<double>(cols, 0.0));
  for (auto &r : d)
    for (double &v : r)
      if (coin(rng) == 0) v = coef(rng);  // zeros among the values given are not stored
  return d;
}

}  // namespace

TEST_F(ProblemTest, RowsAndColumnsAddedInBatchesReadBackAsTheDenseMatrix) {
  std::mt19937 rng(7);
  ASSERT_EQ(load_empty(prob, "m"), 0);
  Dense all;  // the whole matrix, grown alongside
  int rows = 0, cols = 0;
  std::vector<int64_t> start;
  std::vector<int> index;
  std::vector<double> value;
  for (int round = 0; round < 4; ++round) {
    // A batch of columns over the rows so far, then a batch of rows over all columns.
    int nc = 3 + round, nr = 2 + round;
    Dense block = random_block(rng, rows, nc);
    if (rows > 0) compress(block, false, start, index, value);
    else start.assign(nc + 1, 0), index.clear(), value.clear();
    ASSERT_EQ(KLVOaddcols64(prob, nc, static_cast<int64_t>(index.size()), nullptr, start.data(), index.data(),
                            value.data(), nullptr, nullptr),
              0)
        << error();
    for (int r = 0; r < rows; ++r) all[r].insert(all[r].end(), block[r].begin(), block[r].end());
    cols += nc;
    Dense more = random_block(rng, nr, cols);
    compress(more, true, start, index, value);
    std::vector<char> types(nr, 'L');
    std::vector<double> rhs(nr, 1.0);
    ASSERT_EQ(KLVOaddrows64(prob, nr, static_cast<int64_t>(index.size()), types.data(), rhs.data(), nullptr,
                            start.data(), index.data(), value.data()),
              0)
        << error();
    all.insert(all.end(), more.begin(), more.end());
    rows += nr;
    ASSERT_EQ(read_back(prob, rows, cols, true), all);
    ASSERT_EQ(read_back(prob, rows, cols, false), all);
  }

  // The 32-bit reader gives the 64-bit offsets and entries for any range, clipped alike.
  for (int first = 0; first < rows; first += 3) {
    int last = std::min(rows - 1, first + 4);
    for (int64_t max : {int64_t{0}, int64_t{3}, int64_t{1000}}) {
      int64_t n64 = 0;
      int n32 = 0;
      std::vector<int64_t> s64(last - first + 2);
      std::vector<int> s32(last - first + 2), i64(1000), i32(1000);
      std::vector<double> v64(1000), v32(1000);
      ASSERT_EQ(KLVOgetrows64(prob, s64.data(), i64.data(), v64.data(), max, &n64, first, last), 0);
      ASSERT_EQ(KLVOgetrows(prob, s32.data(), i32.data(), v32.data(), static_cast<int>(max), &n32, first, last), 0);
      EXPECT_EQ(n32, n64);
      EXPECT_EQ(std::vector<int64_t>(s32.begin(), s32.end()), s64);
      EXPECT_EQ(i32, i64);
      EXPECT_EQ(v32, v64);
    }
  }
  int n = 0;
  EXPECT_NE(KLVOgetrows(prob, nullptr, nullptr, nullptr, 0, &n, 2, 1), 0);
  EXPECT_NE(KLVOgetrows(prob, nullptr, nullptr, nullptr, 0, &n, 0, rows), 0);
}

TEST_F(ProblemTest, QuadraticObjectiveInThirtyTwoBitsIsSetWholeOrNotAtAll) {
  ASSERT_EQ(load_empty(prob, "q", 3), 0);
  const int c1[] = {0, 0, 2}, c2[] = {0, 1, 2};
  const double v[] = {2, 1, 4};
  ASSERT_EQ(KLVOchgmqobj(prob, 3, c1, c2, v), 0) << error();
  // Full symmetric columns: Q = [[2, 1, 0], [1, 0, 0], [0, 0, 4]].
  int start[4], index[8], n = 0;
  double value[8];
  ASSERT_EQ(KLVOgetmqobj(prob, start, index, value, 8, &n, 0, 2), 0);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(std::vector<int>(start, start + 4), (std::vector<int>{0, 2, 3, 4}));
  EXPECT_EQ(std::vector<int>(index, index + 4), (std::vector<int>{0, 1, 0, 2}));
  EXPECT_EQ(std::vector<double>(value, value + 4), (std::vector<double>{2, 1, 1, 4}));
  // A bad column in the last entry: the earlier entries are not applied either.
  const int b1[] = {1, 5}, b2[] = {1, 0};
  const double bv[] = {7, 1};
  EXPECT_NE(KLVOchgmqobj(prob, 2, b1, b2, bv), 0);
  double q11 = -1;
  ASSERT_EQ(KLVOgetqobj(prob, 1, 1, &q11), 0);
  EXPECT_EQ(q11, 0);
}

// Column lists catch up with rows added in bulk on their first use; every kind of first use
// (a copy, a change, a deletion, readers on two threads at once) must see the whole matrix.
TEST_F(ProblemTest, ColumnsCatchUpWithAddedRowsWhateverUsesThemFirst) {
  std::mt19937 rng(11);
  const int rows = 40, cols = 30;
  Dense d = random_block(rng, rows, cols);
  std::vector<int64_t> start;
  std::vector<int> index;
  std::vector<double> value;
  compress(d, true, start, index, value);
  std::vector<char> types(rows, 'G');
  auto fresh_model = [&](KLVOprob p) {
    ASSERT_EQ(load_empty(p, "lazy", cols), 0);
    ASSERT_EQ(KLVOaddrows64(p, rows, static_cast<int64_t>(index.size()), types.data(), nullptr, nullptr,
                            start.data(), index.data(), value.data()),
              0);
  };

  fresh_model(prob);
  KLVOprob copy = fresh();
  ASSERT_EQ(KLVOcopyprob(copy, prob, ""), 0);
  EXPECT_EQ(read_back(copy, rows, cols, false), d);
  EXPECT_EQ(read_back(prob, rows, cols, false), d);

  fresh_model(prob);
  const int r[] = {3, 7}, c[] = {5, 0};
  const double v[] = {9, 0};
  ASSERT_EQ(KLVOchgmcoef(prob, 2, r, c, v), 0);
  Dense changed = d;
  changed[3][5] = 9, changed[7][0] = 0;
  EXPECT_EQ(read_back(prob, rows, cols, false), changed);

  fresh_model(prob);
  const int gone[] = {0, 17};
  ASSERT_EQ(KLVOdelrows(prob, 2, gone), 0);
  Dense fewer = d;
  fewer.erase(fewer.begin() + 17);
  fewer.erase(fewer.begin());
  EXPECT_EQ(read_back(prob, rows - 2, cols, false), fewer);

  fresh_model(prob);
  Dense seen[2];
  std::thread other([&] { seen[1] = read_back(prob, rows, cols, false); });
  seen[0] = read_back(prob, rows, cols, false);
  other.join();
  EXPECT_EQ(seen[0], d);
  EXPECT_EQ(seen[1], d);
}
