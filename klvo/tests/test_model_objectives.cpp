// Further linear objectives: adding at the end only, following column deletions, deleting
// them with their controls, and refusing what is wrong without a trace.
#include <vector>

#include "test_support.h"

using klvo_test::ProblemTest;

namespace {

class ObjectivesTest : public ProblemTest {
 protected:
  void SetUp() override {
    ProblemTest::SetUp();
    // Three columns, objective 0 = x0 + 2 x1 + 3 x2.
    const double obj[3] = {1, 2, 3};
    const int64_t start[4] = {0, 0, 0, 0};
    ASSERT_EQ(KLVOaddcols64(prob, 3, 0, obj, start, nullptr, nullptr, nullptr, nullptr), 0);
  }
  int objectives() { return klvo_test::int_attr(prob, KLVO_ATTR_ORIGINALOBJECTIVES); }
  std::vector<double> objn(int k, int cols = 3) {
    std::vector<double> v(cols, -1.0);
    EXPECT_EQ(KLVOgetobjn(prob, k, v.data(), 0, cols - 1), 0) << error();
    return v;
  }
};

TEST_F(ObjectivesTest, ChgobjnAppendsOnlyAtTheCountAndIndexZeroIsTheMainObjective) {
  const int col[2] = {2, 7};
  const double val[2] = {5.0, 1.0};
  ASSERT_EQ(KLVOchgobjn(prob, 1, 1, col, val), 0) << error();
  EXPECT_EQ(objectives(), 2);
  EXPECT_EQ(objn(1), (std::vector<double>{0, 0, 5}));
  ASSERT_EQ(KLVOchgobjn(prob, 0, 1, col, val), 0);
  EXPECT_EQ(objn(0), (std::vector<double>{1, 2, 5}));
  // Index 3 would skip objective 2; column 7 does not exist.
  EXPECT_NE(KLVOchgobjn(prob, 3, 1, col, val), 0);
  EXPECT_NE(KLVOchgobjn(prob, 2, 2, col, val), 0);
  EXPECT_NE(KLVOaddobj(prob, 2, col, val, 0, 1.0), 0);
  EXPECT_EQ(objectives(), 2);
  EXPECT_EQ(objn(1), (std::vector<double>{0, 0, 5}));
}

TEST_F(ObjectivesTest, DeletingColumnsShiftsEveryObjective) {
  const int cols[3] = {0, 1, 2};
  const double vals[3] = {10, 20, 30};
  ASSERT_EQ(KLVOaddobj(prob, 3, cols, vals, 0, 1.0), 0);
  const int del[1] = {1};
  ASSERT_EQ(KLVOdelcols(prob, 1, del), 0);
  EXPECT_EQ(objn(1, 2), (std::vector<double>{10, 30}));
  // A column added afterwards has coefficient 0 in the further objective.
  const int64_t start[2] = {0, 0};
  ASSERT_EQ(KLVOaddcols64(prob, 1, 0, nullptr, start, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(objn(1), (std::vector<double>{10, 30, 0}));
}

TEST_F(ObjectivesTest, DelobjMovesLaterObjectivesAndTheirControlsDown) {
  const int col[1] = {0};
  const double a[1] = {1.0}, b[1] = {2.0};
  ASSERT_EQ(KLVOaddobj(prob, 1, col, a, 1, 1.0), 0);
  ASSERT_EQ(KLVOaddobj(prob, 1, col, b, 2, 3.0), 0);
  ASSERT_EQ(objectives(), 3);
  ASSERT_EQ(KLVOdelobj(prob, 1), 0) << error();
  EXPECT_EQ(objectives(), 2);
  EXPECT_EQ(objn(1), (std::vector<double>{2, 0, 0}));
  double weight = 0;
  int priority = 0;
  ASSERT_EQ(KLVOgetobjdblcontrol(prob, 1, KLVO_OBJCONTROL_WEIGHT, &weight), 0);
  ASSERT_EQ(KLVOgetobjintcontrol(prob, 1, KLVO_OBJCONTROL_PRIORITY, &priority), 0);
  EXPECT_EQ(weight, 3.0);
  EXPECT_EQ(priority, 2);
  EXPECT_NE(KLVOdelobj(prob, 0), 0);
  EXPECT_NE(KLVOdelobj(prob, 2), 0);
}

}  // namespace
