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
