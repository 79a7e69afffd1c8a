// The entry points that take each array with its length: a wrong length is refused with the
// array named and the model left as it was; right lengths behave like the size-less calls.
#include <cmath>

#include "test_support.h"

using namespace klvo_test;

namespace {

class ArraySizes : public ProblemTest {
 protected:
  // Three rows over four columns; every row mentions every column.
  void SetUp() override {
    ProblemTest::SetUp();
    DenseModel m;
    m.obj = {1, 2, 3, 4};
    m.lb = {0, 0, 0, 0};
    m.ub = {10, 10, 10, 10};
    m.rowtype = {'G', 'G', 'L'};
    m.rhs = {1, 2, 30};
    m.rows = {{1, 1, 1, 1}, {1, 2, 0, 1}, {3, 1, 1, 2}};
    load(prob, m);
  }
  void expect_refused(int rc, const char *array) {
    EXPECT_EQ(rc, KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_NE(error().find(std::string("array ") + array), std::string::npos) << error();
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_ORIGINALROWS), 3);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_ORIGINALCOLS), 4);
  }
};

TEST_F(ArraySizes, ShortOrLongArraysAreRefusedBeforeAnythingChanges) {
  int ind[3] = {0, 2, 1};
  for (int size : {1, 3}) {
    expect_refused(KLVOdelrows_witharraysizes(prob, 2, ind, size), "rowind");
    expect_refused(KLVOdelcols_witharraysizes(prob, 2, ind, size), "colind");
  }
  char settype[2] = {'1', '2'};
  int64_t start[3] = {0, 2, 4};
  int colind[4] = {0, 1, 2, 3};
  double refval[4] = {1, 2, 1, 2};
  auto add = [&](int ntype, int nstart, int ncol, int nref) {
    return KLVOaddsets64_witharraysizes(prob, 2, 4, settype, ntype, start, nstart, colind, ncol, refval, nref);
  };
  expect_refused(add(1, 2, 4, 4), "settype");
  expect_refused(add(2, 1, 4, 4), "start");
  expect_refused(add(2, 4, 4, 4), "start");
  expect_refused(add(2, 2, 3, 4), "colind");
  expect_refused(add(2, 2, 4, 5), "refval");
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SETS), 0);
  // A start array with its end entry is as good as one without.
  ASSERT_EQ(add(2, 3, 4, 4), 0) << error();
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SETS), 2);
  expect_refused(KLVOdelsets_witharraysizes(prob, 1, ind, 0), "setind");
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SETS), 2);

  ASSERT_EQ(KLVOdelrows_witharraysizes(prob, 2, ind, 2), 0) << error();
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_ORIGINALROWS), 1);
  double rhs = 0;
  ASSERT_EQ(KLVOgetrhs(prob, &rhs, 0, 0), 0);
  EXPECT_EQ(rhs, 2);  // the middle row is what is left
}

TEST_F(ArraySizes, SparseTransformsAgreeWithTheDenseOnes) {
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  const double dense_in[3] = {0.0, -2.0, 5.0};
  for (bool transpose : {false, true}) {
    std::vector<double> dense(dense_in, dense_in + 3);
    ASSERT_EQ(transpose ? KLVObtran(prob, dense.data()) : KLVOftran(prob, dense.data()), 0);
    // Row 2 listed before row 1, and its value split in two entries that must add up.
    double val[3] = {2.0, -2.0, 3.0};
    int ind[3] = {2, 1, 2}, nnz = 3;
    auto sparse = transpose ? KLVOsparsebtran_witharraysizes : KLVOsparseftran_witharraysizes;
    EXPECT_EQ(sparse(prob, val, 2, ind, 3, &nnz), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(nnz, 3);
    ASSERT_EQ(sparse(prob, val, 3, ind, 3, &nnz), 0) << error();
    std::vector<double> spread(3, 0.0);
    for (int k = 0; k < nnz; ++k) {
      if (k > 0) {
        EXPECT_LT(ind[k - 1], ind[k]);
      }
      spread[ind[k]] = val[k];
    }
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(spread[i], dense[i], 1e-12) << i;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(dense[i] == 0.0, std::count(ind, ind + nnz, i) == 0) << i;
  }
}

}  // namespace

TEST_F(ArraySizes, RowFlagsMirrorTheMarksAndClearOnlyWhatTheMasksSay) {
  int delayed = 0, cut = 2, secure[2] = {0, 1};
  ASSERT_EQ(KLVOloaddelayedrows(prob, 1, &delayed), 0);
  ASSERT_EQ(KLVOloadmodelcuts(prob, 1, &cut), 0);
  ASSERT_EQ(KLVOloadsecurevecs(prob, 2, 0, secure, nullptr), 0);
  int flags[4] = {-1, -1, -1, -1};
  for (int size : {2, 4}) {
    expect_refused(KLVOgetrowflags_witharraysizes(prob, flags, size, 0, 2), "flags");
    expect_refused(KLVOclearrowflags_witharraysizes(prob, flags, size, 0, 2), "flags");
  }
  ASSERT_EQ(KLVOgetrowflags_witharraysizes(prob, flags, 3, 0, 2), 0) << error();
  EXPECT_EQ(std::vector<int>(flags, flags + 3),
            (std::vector<int>{KLVO_ROWFLAG_DELAYED | KLVO_ROWFLAG_SECURE, KLVO_ROWFLAG_SECURE, KLVO_ROWFLAG_MODELCUT}));
  int unknown_bit[1] = {8};
  EXPECT_EQ(KLVOclearrowflags(prob, unknown_bit, 1, 1), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOgetrowflags(prob, flags, 2, 3), KLVO_ERR_INVALID_ARGUMENT);
  // Row 0 loses its delay but stays secure; row 2 stops being a model cut.
  int masks[3] = {KLVO_ROWFLAG_DELAYED, 0, KLVO_ROWFLAG_MODELCUT};
  ASSERT_EQ(KLVOclearrowflags_witharraysizes(prob, masks, 3, 0, 2), 0) << error();
  int n = -1, nrows = -1, ncols = -1, rows[3];
  ASSERT_EQ(KLVOgetdelayedrows(prob, &n, nullptr), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(KLVOgetmodelcuts(prob, &n, nullptr), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(KLVOgetsecurevecs(prob, &nrows, rows, &ncols, nullptr), 0);
  EXPECT_EQ(std::vector<int>(rows, rows + nrows), (std::vector<int>{0, 1}));
}

TEST(ArraySizesNlp, FormulaAndColumnArraysMustHaveExactlyTheirCounts) {
  NlpProblem p;
  p.columns(2);
  p.row('L', 4);
  p.row('L', 5);
  Ex f = pow(X(0), 2.0);
  f.push(0, 0);
  int rows[2] = {0, 1}, start[3] = {0, static_cast<int>(f.type.size()), 2 * static_cast<int>(f.type.size())};
  std::vector<int> type = f.type;
  std::vector<double> value = f.value;
  type.insert(type.end(), f.type.begin(), f.type.end());
  value.insert(value.end(), f.value.begin(), f.value.end());
  int nt = static_cast<int>(type.size());
  auto add = [&](int nrow, int nstart, int ntype, int nvalue) {
    return KLVOnlpaddformulas_witharraysizes(p.prob, 2, rows, nrow, start, nstart, 1, type.data(), ntype, value.data(),
                                             nvalue);
  };
  // Short and long arrays alike are refused, and nothing is added.
  for (int d : {-1, 1}) {
    EXPECT_EQ(add(2 + d, 3, nt, nt), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(add(2, 3 + d, nt, nt), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(add(2, 3, nt + d, nt), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(add(2, 3, nt, nt + d), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_NE(p.error().find("array"), std::string::npos) << p.error();
  }
  int n = -1;
  ASSERT_EQ(KLVOnlpgetformularows(p.prob, &n, nullptr), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(add(2, 3, nt, nt), 0) << p.error();
  int found[3] = {-1, -1, -1};
  EXPECT_EQ(KLVOnlpgetformularows_witharraysizes(p.prob, &n, found, 3), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOnlpgetformularows_witharraysizes(p.prob, &n, found, 1), KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KLVOnlpgetformularows_witharraysizes(p.prob, &n, found, 2), 0) << p.error();
  EXPECT_EQ(std::vector<int>(found, found + n), (std::vector<int>{0, 1}));
  EXPECT_EQ(KLVOnlpdelformulas_witharraysizes(p.prob, 1, rows, 2), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOnlpdelformulas_witharraysizes(p.prob, 1, rows, 0), KLVO_ERR_INVALID_ARGUMENT);

  int cols[2] = {0, 1}, detrow[2] = {0, 1};
  double initial[2] = {0.5, 0.25};
  EXPECT_EQ(KLVOslpsetdetrow_witharraysizes(p.prob, 1, cols, 2, detrow, 1), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOslpsetinitstepbounds_witharraysizes(p.prob, 1, cols, 1, initial, 2), KLVO_ERR_INVALID_ARGUMENT);
  double step = -1;
  ASSERT_EQ(KSLPgetvar(p.slp, 0, nullptr, &step, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(step, 0.0);
}
