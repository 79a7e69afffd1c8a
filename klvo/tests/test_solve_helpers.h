// Small helpers shared by the solve and control tests: building models through the C API,
// reading solutions and statuses.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "klvo.h"

namespace klvo_test {

// A model given densely, row by row.
struct DenseModel {
  std::vector<double> obj, lb, ub;
  std::vector<char> rowtype;
  std::vector<double> rhs, range;
  std::vector<std::vector<double>> rows;  // rows x cols
  std::vector<char> coltype;              // empty: all continuous
  int sense = 1;
  double constant = 0.0;
};

// Initialises the library for each test and gives it a fresh problem.
class SolveFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(KLVOinit(nullptr), 0);
    ASSERT_EQ(KLVOcreateprob(&prob), 0);
  }
  void TearDown() override {
    for (KLVOprob p : extra) KLVOdestroyprob(p);
    KLVOdestroyprob(prob);
    KLVOfree();
  }
  KLVOprob fresh() {
    KLVOprob p = nullptr;
    EXPECT_EQ(KLVOcreateprob(&p), 0);
    extra.push_back(p);
    return p;
  }
  std::string error(KLVOprob p = nullptr) {
    char text[512] = {0};
    KLVOgetlasterror(p ? p : prob, text);
    return text;
  }

  KLVOprob prob = nullptr;
  std::vector<KLVOprob> extra;
};

inline void load(KLVOprob prob, const DenseModel &m) {
  int n = static_cast<int>(m.obj.size()), r = static_cast<int>(m.rhs.size());
  std::vector<int> start(1, 0), rowind;
  std::vector<double> coef;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < r; ++i)
      if (m.rows[i][j] != 0) {
        rowind.push_back(i);
        coef.push_back(m.rows[i][j]);
      }
    start.push_back(static_cast<int>(rowind.size()));
  }
  std::vector<double> range = m.range.empty() ? std::vector<double>(r, 0.0) : m.range;
  ASSERT_EQ(KLVOloadlp(prob, "test", n, r, m.rowtype.data(), m.rhs.data(), range.data(), m.obj.data(),
                       start.data(), nullptr, rowind.data(), coef.data(), m.lb.empty() ? nullptr : m.lb.data(),
                       m.ub.empty() ? nullptr : m.ub.data()),
            0);
  if (!m.coltype.empty()) {
    std::vector<int> idx;
    for (int j = 0; j < n; ++j) idx.push_back(j);
    ASSERT_EQ(KLVOchgcoltype(prob, n, idx.data(), m.coltype.data()), 0);
  }
  ASSERT_EQ(KLVOchgobjsense(prob, m.sense), 0);
  if (m.constant != 0) {
    int minus_one = -1;
    double value = -m.constant;
    ASSERT_EQ(KLVOchgobj(prob, 1, &minus_one, &value), 0);
  }
}

inline int int_attr(KLVOprob prob, int id) {
  int v = -12345;
  EXPECT_EQ(KLVOgetintattrib(prob, id, &v), 0);
  return v;
}

inline double dbl_attr(KLVOprob prob, int id) {
  double v = -12345;
  EXPECT_EQ(KLVOgetdblattrib(prob, id, &v), 0);
  return v;
}

// A whole vector from one of the (status, values, first, last) getters; status checked.
template <class Getter>
std::vector<double> vec(KLVOprob prob, Getter getter, int count, int want_status = -1) {
  std::vector<double> v(count, -777.0);
  int status = -1;
  EXPECT_EQ(getter(prob, &status, v.data(), 0, count - 1), 0);
  if (want_status >= 0) EXPECT_EQ(status, want_status);
  return v;
}

inline std::vector<double> solution(KLVOprob prob) {
  return vec(prob, KLVOgetsolution, int_attr(prob, KLVO_ATTR_INPUTCOLS), KLVO_SOLSTATUS_OPTIMAL);
}

// A multi-dimensional 0-1 knapsack (maximise): always feasible (all zero), rarely closed at the root.
inline DenseModel multi_knapsack(int rows, int cols, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> coef(10, 99);
  DenseModel m;
  for (int j = 0; j < cols; ++j) m.obj.push_back(coef(rng));
  for (int i = 0; i < rows; ++i) {
    std::vector<double> row(cols);
    double sum = 0;
    for (int j = 0; j < cols; ++j) sum += row[j] = coef(rng);
    m.rows.push_back(row);
    m.rowtype.push_back('L');
    m.rhs.push_back(std::floor(sum / 3));
  }
  m.coltype.assign(cols, 'B');
  m.sense = -1;
  return m;
}

}  // namespace klvo_test
