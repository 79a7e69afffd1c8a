// The callback solution getters: no callback is running, so a solved problem still reports no
// callback solution, and ranges are checked like the ordinary getters.
#include "test_solve_helpers.h"

using namespace klvo_test;

namespace {

using CallbackSolutionTest = SolveFixture;

DenseModel small_lp() {
  DenseModel m;
  m.obj = {1, 1};
  m.rowtype = {'G'};
  m.rhs = {1};
  m.rows = {{1, 1}};
  return m;
}

TEST_F(CallbackSolutionTest, OutsideCallbacksStatusIsNotFoundAndValuesUntouched) {
  load(prob, small_lp());
  int solvestatus = 0, solstatus = 0;
  ASSERT_EQ(KLVOoptimize(prob, "", &solvestatus, &solstatus), 0);
  ASSERT_EQ(solstatus, KLVO_SOLSTATUS_OPTIMAL);
  double x[2] = {-7, -7}, row[1] = {-7};
  int status = 99;
  ASSERT_EQ(KLVOgetcallbacksolution(prob, &status, x, 0, 1), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(x[0], -7);
  status = 99;
  ASSERT_EQ(KLVOgetcallbackduals(prob, &status, row, 0, 0), 0);
  EXPECT_EQ(status, 0);
  status = 99;
  ASSERT_EQ(KLVOgetcallbackslacks(prob, &status, row, 0, 0), 0);
  EXPECT_EQ(status, 0);
  status = 99;
  ASSERT_EQ(KLVOgetcallbackredcosts(prob, &status, x, 0, 1), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(row[0], -7);
}

TEST_F(CallbackSolutionTest, RangesAreChecked) {
  load(prob, small_lp());
  int status = 0;
  EXPECT_EQ(KLVOgetcallbacksolution(prob, &status, nullptr, 0, 2), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(error().find("KLVOgetcallbacksolution"), std::string::npos);
  EXPECT_EQ(KLVOgetcallbackduals(prob, &status, nullptr, 1, 1), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOgetcallbackslacks(prob, &status, nullptr, 0, -1), 0);  // empty range
  EXPECT_EQ(KLVOgetcallbackredcosts(nullptr, &status, nullptr, 0, 0), KLVO_ERR_INVALID_ARGUMENT);
}

}  // namespace
