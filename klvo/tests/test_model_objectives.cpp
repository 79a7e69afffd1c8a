// Further linear objectives: adding, changing, reading back, following column deletions and
// deleting them with their controls.
#include <gtest/gtest.h>

#include <vector>

#include "test_model_support.h"

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
  int objectives() {
    int n = -1;
    EXPECT_EQ(KLVOgetintattrib(prob, KLVO_ATTR_ORIGINALOBJECTIVES, &n), 0);
    return n;
  }
  std::vector<double> objn(int k) {
    std::vector<double> v(3, -1.0);
    EXPECT_EQ(KLVOgetobjn(prob, k, v.data(), 0, 2), 0) << last_error();
    return v;
  }
};

TEST_F(ObjectivesTest, ChgobjnAtTheCountAppendsAnObjectiveThatIsZeroElsewhere) {
  EXPECT_EQ(objectives(), 1);
  const int col[1] = {2};
  const double val[1] = {5.0};
  ASSERT_EQ(KLVOchgobjn(prob, 1, 1, col, val), 0) << last_error();
  EXPECT_EQ(objectives(), 2);
  EXPECT_EQ(objn(1), (std::vector<double>{0, 0, 5}));
  EXPECT_EQ(objn(0), (std::vector<double>{1, 2, 3}));
  // Index 3 would skip objective 2.
  EXPECT_NE(KLVOchgobjn(prob, 3, 1, col, val), 0);
  EXPECT_EQ(objectives(), 2);
}

TEST_F(ObjectivesTest, ChgobjnOnObjectiveZeroChangesTheMainObjective) {
  const int col[1] = {0};
  const double val[1] = {-4.0};
  ASSERT_EQ(KLVOchgobjn(prob, 0, 1, col, val), 0);
  EXPECT_EQ(objn(0), (std::vector<double>{-4, 2, 3}));
  EXPECT_EQ(objectives(), 1);
}

TEST_F(ObjectivesTest, BadColumnsLeaveTheObjectivesUnchanged) {
  const int col[2] = {1, 7};
  const double val[2] = {1.0, 1.0};
  EXPECT_NE(KLVOchgobjn(prob, 1, 2, col, val), 0);
  EXPECT_EQ(objectives(), 1);
  EXPECT_NE(KLVOaddobj(prob, 2, col, val, 0, 1.0), 0);
  EXPECT_EQ(objectives(), 1);
}

TEST_F(ObjectivesTest, AddobjSetsPriorityAndWeight) {
  const int col[1] = {1};
  const double val[1] = {2.5};
  ASSERT_EQ(KLVOaddobj(prob, 1, col, val, 7, 0.25), 0) << last_error();
  EXPECT_EQ(objectives(), 2);
  int priority = 0;
  double weight = 0;
  ASSERT_EQ(KLVOgetobjintcontrol(prob, 1, KLVO_OBJCONTROL_PRIORITY, &priority), 0);
  ASSERT_EQ(KLVOgetobjdblcontrol(prob, 1, KLVO_OBJCONTROL_WEIGHT, &weight), 0);
  EXPECT_EQ(priority, 7);
  EXPECT_EQ(weight, 0.25);
  EXPECT_EQ(objn(1), (std::vector<double>{0, 2.5, 0}));
}

TEST_F(ObjectivesTest, DeletingColumnsShiftsEveryObjective) {
  const int cols[3] = {0, 1, 2};
  const double vals[3] = {10, 20, 30};
  ASSERT_EQ(KLVOaddobj(prob, 3, cols, vals, 0, 1.0), 0);
  const int del[1] = {1};
  ASSERT_EQ(KLVOdelcols(prob, 1, del), 0);
  std::vector<double> v(2);
  ASSERT_EQ(KLVOgetobjn(prob, 1, v.data(), 0, 1), 0);
  EXPECT_EQ(v, (std::vector<double>{10, 30}));
  // A column added afterwards has coefficient 0 in the further objective.
  const int64_t start[2] = {0, 0};
  ASSERT_EQ(KLVOaddcols64(prob, 1, 0, nullptr, start, nullptr, nullptr, nullptr, nullptr), 0);
  std::vector<double> w(3, -1);
  ASSERT_EQ(KLVOgetobjn(prob, 1, w.data(), 0, 2), 0);
  EXPECT_EQ(w, (std::vector<double>{10, 30, 0}));
}

TEST_F(ObjectivesTest, DelobjMovesLaterObjectivesAndTheirControlsDown) {
  const int col[1] = {0};
  const double a[1] = {1.0}, b[1] = {2.0};
  ASSERT_EQ(KLVOaddobj(prob, 1, col, a, 1, 1.0), 0);
  ASSERT_EQ(KLVOaddobj(prob, 1, col, b, 2, 3.0), 0);
  ASSERT_EQ(objectives(), 3);
  ASSERT_EQ(KLVOdelobj(prob, 1), 0) << last_error();
  EXPECT_EQ(objectives(), 2);
  EXPECT_EQ(objn(1), (std::vector<double>{2, 0, 0}));
  double weight = 0;
  ASSERT_EQ(KLVOgetobjdblcontrol(prob, 1, KLVO_OBJCONTROL_WEIGHT, &weight), 0);
  EXPECT_EQ(weight, 3.0);
  EXPECT_NE(KLVOdelobj(prob, 0), 0);
  EXPECT_NE(KLVOdelobj(prob, 2), 0);
}

TEST_F(ObjectivesTest, SolvingSeveralObjectivesFailsWithAMessage) {
  const int col[1] = {0};
  const double a[1] = {1.0};
  ASSERT_EQ(KLVOaddobj(prob, 1, col, a, 0, 1.0), 0);
  EXPECT_NE(KLVOlpoptimize(prob, ""), 0);
  EXPECT_NE(last_error().find("multiple objectives"), std::string::npos) << last_error();
}

}  // namespace
