// Analysis of solved problems: bases, the basis matrix, ranging, infeasible sets and solution
// files, each checked against truth computed here (the basis matrix rebuilt from the model,
// textbook ranges, feasibility of subsystems solved on their own).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>
#include <set>
#include <sstream>

#include "test_support.h"

using namespace klvo_test;

namespace {

// Rows of mixed types over 8 columns, feasible and bounded.
DenseModel mixed_lp() {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coef(0.0, 5.0);
  DenseModel m;
  int n = 8, r = 6;
  for (int j = 0; j < n; ++j) m.obj.push_back(-1.0 - j % 3), m.lb.push_back(0.0), m.ub.push_back(j % 2 ? 6.0 : kInf);
  for (int i = 0; i < r; ++i) {
    std::vector<double> row(n);
    for (double &a : row) a = std::round(coef(rng));
    row[i] = 3.0;
    m.rows.push_back(row);
    m.rowtype.push_back(i == 4 ? 'R' : i == 5 ? 'G' : 'L');
    m.rhs.push_back(i == 5 ? 5.0 : 20.0 + i);
    m.range.push_back(i == 4 ? 15.0 : 0.0);
  }
  return m;
}

// Hillier and Lieberman's Wyndor Glass: max 3x + 5y, x <= 4, 2y <= 12, 3x + 2y <= 18.
DenseModel wyndor() {
  DenseModel m;
  m.obj = {3, 5};
  m.lb = {0, 0};
  m.ub = {kInf, kInf};
  m.rows = {{1, 0}, {0, 2}, {3, 2}};
  m.rowtype = {'L', 'L', 'L'};
  m.rhs = {4, 12, 18};
  m.sense = -1;
  return m;
}

std::string temp_file(const char *name) { return ::testing::TempDir() + name; }

// Solves a subsystem loaded on its own: true when infeasible.
bool infeasible(KLVOprob p) {
  int solvestatus, solstatus;
  EXPECT_EQ(KLVOoptimize(p, "", &solvestatus, &solstatus), 0);
  return solstatus == KLVO_SOLSTATUS_INFEASIBLE;
}

}  // namespace

class Analysis : public ProblemTest {};

TEST_F(Analysis, BasisWrittenAndReadIntoAFreshCopyResolvesWithoutIterations) {
  DenseModel m = mixed_lp();
  load(prob, m);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_GT(int_attr(prob, KLVO_ATTR_SIMPLEXITER), 0);
  std::vector<int> rowstat(6), colstat(8);
  ASSERT_EQ(KLVOgetbasis(prob, rowstat.data(), colstat.data()), 0);
  // A binding 'L' row has its slack at its lower bound (0), a 'G' row at its upper bound.
  auto slack = vec(prob, KLVOgetslacks, 6);
  for (int i = 0; i < 6; ++i)
    if (rowstat[i] != KLVO_BASIS_BASIC) {
      EXPECT_NEAR(slack[i], rowstat[i] == KLVO_BASIS_LOWER ? 0.0 : (m.rowtype[i] == 'R' ? 15.0 : 0.0), 1e-9) << i;
      if (m.rowtype[i] == 'G') EXPECT_EQ(rowstat[i], KLVO_BASIS_UPPER);
      if (m.rowtype[i] == 'L') EXPECT_EQ(rowstat[i], KLVO_BASIS_LOWER);
    }
  int rs = -1, cs = -1;
  ASSERT_EQ(KLVOgetbasisval(prob, 5, 3, &rs, &cs), 0);
  EXPECT_EQ(rs, rowstat[5]);
  EXPECT_EQ(cs, colstat[3]);

  std::string file = temp_file("analysis_basis.bss");
  ASSERT_EQ(KLVOwritebasis(prob, file.c_str(), ""), 0) << error();
  KLVOprob copy = fresh();
  load(copy, m);
  EXPECT_NE(KLVOgetbasis(copy, rowstat.data(), nullptr), 0);  // nothing solved or loaded yet
  ASSERT_EQ(KLVOreadbasis(copy, file.c_str(), ""), 0) << error(copy);
  std::vector<int> rowstat2(6), colstat2(8);
  ASSERT_EQ(KLVOgetbasis(copy, rowstat2.data(), colstat2.data()), 0);
  EXPECT_EQ(rowstat2, rowstat);
  EXPECT_EQ(colstat2, colstat);
  ASSERT_EQ(solve(copy), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_EQ(int_attr(copy, KLVO_ATTR_SIMPLEXITER), 0);
  EXPECT_NEAR(dbl_attr(copy, KLVO_ATTR_LPOBJVAL), dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 1e-9);

  // A file for another shape, and a bad status, are refused and load nothing.
  KLVOprob other = fresh();
  DenseModel smaller = m;
  smaller.rows.pop_back(), smaller.rowtype.pop_back(), smaller.rhs.pop_back(), smaller.range.pop_back();
  load(other, smaller);
  EXPECT_EQ(KLVOreadbasis(other, file.c_str(), ""), KLVO_ERR_FILE);
  EXPECT_NE(error(other).find("6 rows and 8 columns"), std::string::npos) << error(other);
  rowstat[0] = 7;
  EXPECT_EQ(KLVOloadbasis(copy, rowstat.data(), colstat.data()), KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KLVOgetbasis(copy, rowstat2.data(), nullptr), 0);
  EXPECT_NE(rowstat2[0], 7);
  std::remove(file.c_str());
}

TEST_F(Analysis, FtranAndBtranInvertTheBasisMatrixBuiltFromTheModel) {
  DenseModel m = mixed_lp();
  load(prob, m);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  const int r = 6;
  std::vector<int> order(r);
  ASSERT_EQ(KLVOgetpivotorder(prob, order.data()), 0);
  // B: column k is the slack's unit column or the model's column of the basic variable.
  std::vector<std::vector<double>> B(r, std::vector<double>(r, 0.0));
  std::set<int> seen;
  for (int k = 0; k < r; ++k) {
    ASSERT_TRUE(seen.insert(order[k]).second);
    for (int i = 0; i < r; ++i) B[i][k] = order[k] < r ? (i == order[k]) : m.rows[i][order[k] - r];
  }
  std::vector<double> v = {1.0, -2.0, 0.5, 3.0, 0.0, 7.0};
  std::vector<double> y = v, z = v;
  ASSERT_EQ(KLVOftran(prob, y.data()), 0);
  ASSERT_EQ(KLVObtran(prob, z.data()), 0);
  for (int i = 0; i < r; ++i) {
    double by = 0, btz = 0;
    for (int k = 0; k < r; ++k) by += B[i][k] * y[k], btz += B[k][i] * z[k];
    EXPECT_NEAR(by, v[i], 1e-9) << i;
    EXPECT_NEAR(btz, v[i], 1e-9) << i;
  }
  // The 1-norm condition number from the columns of B^-1 that ftran gives.
  double normb = 0, norminv = 0;
  for (int k = 0; k < r; ++k) {
    std::vector<double> e(r, 0.0);
    e[k] = 1.0;
    ASSERT_EQ(KLVOftran(prob, e.data()), 0);
    double cb = 0, ci = 0;
    for (int i = 0; i < r; ++i) cb += std::fabs(B[i][k]), ci += std::fabs(e[i]);
    normb = std::max(normb, cb), norminv = std::max(norminv, ci);
  }
  double cond = 0;
  ASSERT_EQ(KLVObasisstability(prob, 0, 1, 0, &cond), 0);
  EXPECT_NEAR(cond, normb * norminv, 1e-9 * cond);
  // Without user factors the engine's basis is the user's.
  double same = 0;
  ASSERT_EQ(KLVObasisstability(prob, 0, 1, 1, &same), 0);
  EXPECT_NEAR(same, cond, 1e-9 * cond);

  // With user factors the engine holds R B D; ftran and btran still invert the user's B, and
  // the scaled measure is that of R B D.
  std::vector<double> rs = {2, 0.5, 3, 1, 0.25, 7}, cs = {1.5, 0.2, 4, 1, 1, 3, 0.5, 2};
  ASSERT_EQ(KLVOscale(prob, rs.data(), cs.data()), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_EQ(KLVOgetpivotorder(prob, order.data()), 0);
  for (int k = 0; k < r; ++k)
    for (int i = 0; i < r; ++i) B[i][k] = order[k] < r ? (i == order[k]) : m.rows[i][order[k] - r];
  y = v, z = v;
  ASSERT_EQ(KLVOftran(prob, y.data()), 0) << error();
  ASSERT_EQ(KLVObtran(prob, z.data()), 0) << error();
  for (int i = 0; i < r; ++i) {
    double by = 0, btz = 0;
    for (int k = 0; k < r; ++k) by += B[i][k] * y[k], btz += B[k][i] * z[k];
    EXPECT_NEAR(by, v[i], 1e-9) << i;
    EXPECT_NEAR(btz, v[i], 1e-9) << i;
  }
  double scaled_norm = 0;  // ||R B D||_1
  for (int k = 0; k < r; ++k) {
    double d = order[k] < r ? 1.0 / rs[order[k]] : cs[order[k] - r], sum = 0;
    for (int i = 0; i < r; ++i) sum += std::fabs(rs[i] * B[i][k] * d);
    scaled_norm = std::max(scaled_norm, sum);
  }
  double got = 0;
  ASSERT_EQ(KLVObasisstability(prob, 1, 1, 1, &got), 0);
  EXPECT_NEAR(got, scaled_norm, 1e-9 * scaled_norm);

  // A changed matrix leaves no basis to work with.
  int row = 0, col = 0;
  double value = 9.0;
  ASSERT_EQ(KLVOchgmcoef(prob, 1, &row, &col, &value), 0);
  EXPECT_EQ(KLVOftran(prob, y.data()), KLVO_ERR_NO_SOLUTION);
}

// Wyndor's optimum x = 2, y = 6 and its ranges are worked out by hand in the book. The user's
// scale factors change what the engine holds, never the answers.
TEST_F(Analysis, RangesMatchTheTextbookOnTheWyndorProblem) {
  load(prob, wyndor());
  double rowscale[] = {3, 0.7, 1.5}, colscale[] = {0.3, 5};
  for (bool scaled : {false, true}) {
    SCOPED_TRACE(scaled ? "scaled" : "unscaled");
    ASSERT_EQ(KLVOscale(prob, scaled ? rowscale : nullptr, scaled ? colscale : nullptr), 0);
    ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
    int cols[] = {0, 1}, rows[] = {0, 1, 2};
    double lo[3], up[3];
    ASSERT_EQ(KLVOobjsa(prob, 2, cols, lo, up), 0) << error();
    EXPECT_NEAR(lo[0], 0.0, 1e-9);
    EXPECT_NEAR(up[0], 7.5, 1e-9);
    EXPECT_NEAR(lo[1], 2.0, 1e-9);
    EXPECT_GE(up[1], KLVO_INFINITY);
    ASSERT_EQ(KLVOrhssa(prob, 3, rows, lo, up), 0) << error();
    EXPECT_NEAR(lo[0], 2.0, 1e-9);
    EXPECT_GE(up[0], KLVO_INFINITY);
    EXPECT_NEAR(lo[1], 6.0, 1e-9);
    EXPECT_NEAR(up[1], 18.0, 1e-9);
    EXPECT_NEAR(lo[2], 12.0, 1e-9);
    EXPECT_NEAR(up[2], 24.0, 1e-9);
    // Both columns are basic: each bound may move up to the column's value.
    double lbl[2], lbu[2], ubl[2], ubu[2];
    ASSERT_EQ(KLVObndsa(prob, 2, cols, lbl, lbu, ubl, ubu), 0);
    EXPECT_NEAR(lbu[0], 2.0, 1e-9);
    EXPECT_NEAR(ubl[1], 6.0, 1e-9);
    int bad = 3;
    EXPECT_EQ(KLVOrhssa(prob, 1, &bad, lo, up), KLVO_ERR_INVALID_ARGUMENT);
  }
}

// A column at its upper bound: max x + y, x + 2y <= 14, 0 <= x <= 4. The optimum x = 4, y = 5
// holds while the bound 4 moves within [0, 14] (y = (14 - u) / 2 stays >= 0), and while the
// cost of x stays above 1/2; ranges checked by re-solving just inside and just outside.
TEST_F(Analysis, BoundRangesHoldJustInsideAndBreakJustOutside) {
  DenseModel m;
  m.obj = {1, 1};
  m.lb = {0, 0};
  m.ub = {4, kInf};
  m.rows = {{1, 2}};
  m.rowtype = {'L'};
  m.rhs = {14};
  m.sense = -1;
  load(prob, m);
  double rowscale[] = {0.25}, colscale[] = {7, 0.1};
  ASSERT_EQ(KLVOscale(prob, rowscale, colscale), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  int col = 0;
  double lbl, lbu, ubl, ubu, clo, cup;
  ASSERT_EQ(KLVObndsa(prob, 1, &col, &lbl, &lbu, &ubl, &ubu), 0) << error();
  EXPECT_NEAR(ubl, 0.0, 1e-9);
  EXPECT_NEAR(ubu, 14.0, 1e-9);
  ASSERT_EQ(KLVOobjsa(prob, 1, &col, &clo, &cup), 0) << error();
  EXPECT_NEAR(clo, 0.5, 1e-9);
  EXPECT_GE(cup, KLVO_INFINITY);
  std::vector<int> rowstat(1), colstat(2);
  ASSERT_EQ(KLVOgetbasis(prob, rowstat.data(), colstat.data()), 0);
  // The same basis stays optimal inside the range and not outside.
  auto basis_holds = [&](char which, double value) {
    KLVOprob p = fresh();
    load(p, m);
    if (which == 'U') {
      char t = 'U';
      EXPECT_EQ(KLVOchgbounds(p, 1, &col, &t, &value), 0);
    } else {
      EXPECT_EQ(KLVOchgobj(p, 1, &col, &value), 0);
    }
    EXPECT_EQ(solve(p), KLVO_SOLSTATUS_OPTIMAL);
    std::vector<int> r(1), c(2);
    EXPECT_EQ(KLVOgetbasis(p, r.data(), c.data()), 0);
    return r == rowstat && c == colstat;
  };
  EXPECT_TRUE(basis_holds('U', 13.9));
  EXPECT_FALSE(basis_holds('U', 14.1));
  EXPECT_TRUE(basis_holds('C', 0.51));
  EXPECT_FALSE(basis_holds('C', 0.49));
}

// Wyndor's optimal basis holds the slack of x <= 4 and both columns. Letting the slack s3 of
// 3x + 2y <= 18 grow moves x = 2 - s3/3 and s1 = 2 + s3/3: x stops it at s3 = 6 (objective 30).
// Letting s2 grow moves y = 6 - s2/2, x = 2 + s2/3, s1 = 2 - s2/3: s1 stops it at 6 (27).
TEST_F(Analysis, PivotsFollowTheRatioTestWorkedByHand) {
  load(prob, wyndor());
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  int out[5], npivots = -1;
  double x[5], obj = 0;
  ASSERT_EQ(KLVOgetpivots(prob, 2, out, x, &obj, &npivots, 5), 0) << error();
  ASSERT_EQ(npivots, 1);
  EXPECT_EQ(out[0], 3);
  std::vector<double> expect = {4, 0, 6, 0, 6};
  for (int k = 0; k < 5; ++k) EXPECT_NEAR(x[k], expect[k], 1e-9) << k;
  EXPECT_NEAR(obj, 30.0, 1e-9);
  ASSERT_EQ(KLVOgetpivots(prob, 1, out, x, &obj, &npivots, 5), 0);
  ASSERT_EQ(npivots, 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_NEAR(x[3], 4.0, 1e-9);
  EXPECT_NEAR(x[4], 3.0, 1e-9);
  EXPECT_NEAR(obj, 27.0, 1e-9);
  EXPECT_EQ(KLVOgetpivots(prob, 3, out, x, &obj, &npivots, 5), KLVO_ERR_INVALID_ARGUMENT);  // x is basic

  // Making the first step: s3 enters, x leaves at its lower bound; a re-solve returns to 36.
  ASSERT_EQ(KLVOpivot(prob, 2, 3), 0) << error();
  int rowstat[3], colstat[2];
  ASSERT_EQ(KLVOgetbasis(prob, rowstat, colstat), 0);
  EXPECT_EQ(std::vector<int>(rowstat, rowstat + 3), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(std::vector<int>(colstat, colstat + 2), (std::vector<int>{0, 1}));
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_GT(int_attr(prob, KLVO_ATTR_SIMPLEXITER), 0);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 36.0, 1e-9);
}

// x + y <= 2 against x >= 3 and y >= 3 (x, y >= 0): three irreducible sets, {r0, r1, y >= 0},
// {r0, r2, x >= 0} and {r0, r1, r2}; r3 and the upper bounds take part in none.
TEST_F(Analysis, IrreducibleSetsAreExactlyTheMinimalInfeasibleSubsystems) {
  DenseModel m;
  m.obj = {1, 1};
  m.lb = {0, 0};
  m.ub = {10, 10};
  m.rows = {{1, 1}, {1, 0}, {0, 1}, {1, -1}};
  m.rowtype = {'L', 'G', 'G', 'L'};
  m.rhs = {2, 3, 3, 100};
  load(prob, m);
  int count = -1;
  ASSERT_EQ(KLVOiisstatus(prob, &count, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(KLVOiisall(prob), 0) << error();
  ASSERT_EQ(KLVOiisstatus(prob, &count, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(count, 3);
  std::vector<int> nr(4), nc(4), numinf(4);
  std::vector<double> suminf(4);
  ASSERT_EQ(KLVOiisstatus(prob, &count, nr.data(), nc.data(), suminf.data(), numinf.data()), 0);
  std::set<std::set<std::string>> found;
  for (int num = 1; num <= count; ++num) {
    int rows = 0, cols = 0;
    ASSERT_EQ(KLVOgetiisdata(prob, num, &rows, &cols, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr),
              0);
    EXPECT_EQ(rows, nr[num]);
    EXPECT_EQ(cols, nc[num]);
    std::vector<int> rowind(rows), colind(cols);
    std::vector<char> bnd(cols), ctype(rows);
    ASSERT_EQ(KLVOgetiisdata(prob, num, &rows, &cols, rowind.data(), colind.data(), ctype.data(), bnd.data(),
                             nullptr, nullptr, nullptr, nullptr),
              0);
    // Members as constraints: rows, and single bounds.
    struct Member {
      bool row;
      int index;
      char bound;
    };
    std::vector<Member> members;
    std::set<std::string> labels;
    for (int i : rowind) members.push_back({true, i, 0}), labels.insert("r" + std::to_string(i));
    for (int k = 0; k < cols; ++k) {
      ASSERT_NE(bnd[k], 'B');
      members.push_back({false, colind[k], bnd[k]});
      labels.insert(std::string(1, bnd[k]) + std::to_string(colind[k]));
    }
    found.insert(labels);
    // The subsystem of the members minus `skip` (-1: none), solved on its own.
    auto sub_infeasible = [&](int skip) {
      DenseModel s = m;
      s.lb = {-kInf, -kInf};
      s.ub = {kInf, kInf};
      for (char &t : s.rowtype) t = 'N';
      for (int k = 0; k < static_cast<int>(members.size()); ++k) {
        if (k == skip) continue;
        const Member &mb = members[k];
        if (mb.row) s.rowtype[mb.index] = m.rowtype[mb.index];
        else if (mb.bound == 'L') s.lb[mb.index] = m.lb[mb.index];
        else s.ub[mb.index] = m.ub[mb.index];
      }
      KLVOprob p = fresh();
      load(p, s);
      return infeasible(p);
    };
    EXPECT_TRUE(sub_infeasible(-1)) << num;
    for (int k = 0; k < static_cast<int>(members.size()); ++k) EXPECT_FALSE(sub_infeasible(k)) << num << " " << k;
    // Least total violation: 1 for {x + y <= 2, x >= 3, y >= 0} (one of them violated at a
    // vertex), 4 for the three rows (their violations add up to at least 4).
    if (cols) {
      EXPECT_NEAR(suminf[num], 1.0, 1e-9);
      EXPECT_EQ(numinf[num], 1);
    } else {
      EXPECT_NEAR(suminf[num], 4.0, 1e-9);
    }
  }
  std::set<std::set<std::string>> expected = {{"r0", "r1", "L1"}, {"r0", "r2", "L0"}, {"r0", "r1", "r2"}};
  EXPECT_EQ(found, expected);
  // Isolations: the members of a set that no other set has.
  for (int num = 1; num <= count; ++num) {
    ASSERT_EQ(KLVOiisisolations(prob, num), 0) << error();
    int rows = 0, cols = 0;
    std::vector<int> rowind(3), colind(3);
    std::vector<char> bnd(3), isorow(3), isocol(3);
    ASSERT_EQ(KLVOgetiisdata(prob, num, &rows, &cols, rowind.data(), colind.data(), nullptr, bnd.data(), nullptr,
                             nullptr, isorow.data(), isocol.data()),
              0);
    std::vector<std::pair<std::string, int>> members;
    for (int k = 0; k < rows; ++k) members.push_back({"r" + std::to_string(rowind[k]), isorow[k]});
    for (int k = 0; k < cols; ++k) members.push_back({std::string(1, bnd[k]) + std::to_string(colind[k]), isocol[k]});
    std::set<std::string> mine;
    for (auto &mb : members) mine.insert(mb.first);
    for (auto &[label, isolated] : members) {
      int elsewhere = 0;
      for (const auto &set : expected) elsewhere += set != mine && set.count(label);
      EXPECT_EQ(isolated, elsewhere == 0 ? 1 : 0) << num << " " << label;
    }
  }
  int status = -1;
  ASSERT_EQ(KLVOiisnext(prob, &status), 0);
  EXPECT_EQ(status, 1);

  // The written subproblem reads back as an infeasible LP.
  std::string file = temp_file("analysis_iis.lp");
  ASSERT_EQ(KLVOiiswrite(prob, 1, file.c_str(), 0, ""), 0) << error();
  KLVOprob back = fresh();
  ASSERT_EQ(KLVOreadprob(back, file.c_str(), ""), 0) << error(back);
  EXPECT_EQ(nrows(back), 2);
  EXPECT_TRUE(infeasible(back));
  std::remove(file.c_str());

  // A change to the problem drops the sets.
  int row = 3;
  double rhs = 50;
  ASSERT_EQ(KLVOchgrhs(prob, 1, &row, &rhs), 0);
  ASSERT_EQ(KLVOiisstatus(prob, &count, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(count, 0);
}

namespace {

// The members of IIS num of p, and whether the subsystem of p made of them, less member skip
// (-1: none), is infeasible: every other row becomes free and every other bound infinite.
struct IisMembers {
  std::vector<int> rows, cols;
  std::vector<char> bounds;
  int size() const { return static_cast<int>(rows.size() + cols.size()); }
};

IisMembers iis_members(KLVOprob p, int num) {
  IisMembers s;
  int nr = 0, nc = 0;
  EXPECT_EQ(KLVOgetiisdata(p, num, &nr, &nc, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  s.rows.resize(nr), s.cols.resize(nc), s.bounds.resize(nc);
  EXPECT_EQ(KLVOgetiisdata(p, num, &nr, &nc, s.rows.data(), s.cols.data(), nullptr, s.bounds.data(), nullptr,
                           nullptr, nullptr, nullptr),
            0);
  return s;
}

bool subsystem_infeasible(KLVOprob p, const IisMembers &s, int skip) {
  KLVOprob sub = nullptr;
  EXPECT_EQ(KLVOcreateprob(&sub), 0);
  EXPECT_EQ(KLVOcopyprob(sub, p, "sub"), 0);
  int m = nrows(p), n = ncols(p);
  std::vector<char> type(m);
  std::vector<double> lb(n), ub(n);
  EXPECT_EQ(KLVOgetrowtype(p, type.data(), 0, m - 1), 0);
  EXPECT_EQ(KLVOgetlb(p, lb.data(), 0, n - 1), 0);
  EXPECT_EQ(KLVOgetub(p, ub.data(), 0, n - 1), 0);
  std::vector<char> newtype(m, 'N');
  std::vector<double> newlb(n, -kInf), newub(n, kInf);
  for (int k = 0; k < static_cast<int>(s.rows.size()); ++k)
    if (k != skip) newtype[s.rows[k]] = type[s.rows[k]];
  for (int k = 0; k < static_cast<int>(s.cols.size()); ++k) {
    if (static_cast<int>(s.rows.size()) + k == skip) continue;
    int j = s.cols[k];
    if (s.bounds[k] != 'U') newlb[j] = lb[j];
    if (s.bounds[k] != 'L') newub[j] = ub[j];
  }
  std::vector<int> all(std::max(m, n));
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(KLVOchgrowtype(sub, m, all.data(), newtype.data()), 0);
  std::vector<char> lo(n, 'L'), up(n, 'U');
  EXPECT_EQ(KLVOchgbounds(sub, n, all.data(), lo.data(), newlb.data()), 0);
  EXPECT_EQ(KLVOchgbounds(sub, n, all.data(), up.data(), newub.data()), 0);
  EXPECT_EQ(KLVOsetintcontrol(sub, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
  int solvestatus, solstatus;
  EXPECT_EQ(KLVOoptimize(sub, "l", &solvestatus, &solstatus), 0);
  EXPECT_EQ(KLVOdestroyprob(sub), 0);
  return solstatus == KLVO_SOLSTATUS_INFEASIBLE;
}

}  // namespace

// woodinfe is infeasible as published; afiro becomes so when its first row with a finite least
// activity over the column bounds is made a <= row with its right-hand side 1 below that least
// activity. Every set found is infeasible alone and feasible less any one member.
TEST_F(Analysis, SetsFoundInPublicInstancesAreIrreducible) {
  ASSERT_EQ(KLVOreadprob(prob, data_file("woodinfe.mps").c_str(), ""), 0);
  int status = -1;
  ASSERT_EQ(KLVOiisfirst(prob, 0, &status), 0) << error();
  ASSERT_EQ(status, 0);
  IisMembers s = iis_members(prob, 1);
  ASSERT_GT(s.size(), 0);
  EXPECT_TRUE(subsystem_infeasible(prob, s, -1));
  for (int k = 0; k < s.size(); ++k) EXPECT_FALSE(subsystem_infeasible(prob, s, k)) << k;
  std::string log;
  auto collect_line = [](KLVOprob, void *data, const char *msg, int len, int) {
    if (msg && len > 0) static_cast<std::string *>(data)->append(msg, len).append("\n");
  };
  ASSERT_EQ(KLVOaddcbmessage(prob, collect_line, &log, 0), 0);
  ASSERT_EQ(KLVOiisprint(prob, 1), 0) << error();
  std::string head = "IIS 1: " + std::to_string(s.rows.size()) + " rows, " + std::to_string(s.cols.size()) + " bounds";
  EXPECT_NE(log.find(head), std::string::npos) << log;
  EXPECT_EQ(KLVOiisprint(prob, 2), KLVO_ERR_INVALID_ARGUMENT);

  KLVOprob afiro = fresh();
  ASSERT_EQ(KLVOreadprob(afiro, data_file("afiro.mps").c_str(), ""), 0);
  int m = nrows(afiro), n = ncols(afiro);
  std::vector<double> lb(n), ub(n);
  ASSERT_EQ(KLVOgetlb(afiro, lb.data(), 0, n - 1), 0);
  ASSERT_EQ(KLVOgetub(afiro, ub.data(), 0, n - 1), 0);
  int row = -1;
  double least = 0;
  for (int i = 0; i < m && row < 0; ++i) {
    int nz = 0;
    ASSERT_EQ(KLVOgetrows(afiro, nullptr, nullptr, nullptr, 0, &nz, i, i), 0);
    if (nz < 2) continue;
    std::vector<int> start(2), ind(nz);
    std::vector<double> val(nz);
    ASSERT_EQ(KLVOgetrows(afiro, start.data(), ind.data(), val.data(), nz, &nz, i, i), 0);
    double sum = 0;
    bool finite = true;
    for (int k = 0; k < nz; ++k) {
      double end = val[k] > 0 ? lb[ind[k]] : ub[ind[k]];
      finite = finite && std::fabs(end) < KLVO_INFINITY;
      sum += val[k] * end;
    }
    if (finite) row = i, least = sum;
  }
  ASSERT_GE(row, 0);
  char l = 'L';
  double below = least - 1;
  ASSERT_EQ(KLVOchgrowtype(afiro, 1, &row, &l), 0);
  ASSERT_EQ(KLVOchgrhs(afiro, 1, &row, &below), 0);
  ASSERT_EQ(KLVOiisall(afiro), 0) << error(afiro);
  int count = 0;
  ASSERT_EQ(KLVOiisstatus(afiro, &count, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_GE(count, 1);
  for (int num = 1; num <= count; ++num) {
    IisMembers t = iis_members(afiro, num);
    // The original is feasible, so every set holds the moved row.
    EXPECT_NE(std::find(t.rows.begin(), t.rows.end(), row), t.rows.end()) << num;
    EXPECT_TRUE(subsystem_infeasible(afiro, t, -1)) << num;
    for (int k = 0; k < t.size(); ++k) EXPECT_FALSE(subsystem_infeasible(afiro, t, k)) << num << " " << k;
  }
}

// Wyndor again: x <= 1 gives x = 1, y = 6 (33); x >= 3 gives x = 3, y = 4.5 (31.5); x >= 5 meets
// the row x <= 4.
TEST_F(Analysis, StrongBranchingSolvesEachBoundChangeAndLeavesTheProblemAlone) {
  load(prob, wyndor());
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  int cols[] = {0, 0, 0};
  char types[] = {'U', 'L', 'L'};
  double values[] = {1, 3, 5}, objval[3];
  int status[3];
  ASSERT_EQ(KLVOstrongbranch(prob, 3, cols, types, values, 100, objval, status), 0) << error();
  EXPECT_EQ(status[0], KLVO_LP_OPTIMAL);
  EXPECT_NEAR(objval[0], 33.0, 1e-9);
  EXPECT_EQ(status[1], KLVO_LP_OPTIMAL);
  EXPECT_NEAR(objval[1], 31.5, 1e-9);
  EXPECT_EQ(status[2], KLVO_LP_INFEAS);
  double lb[2], ub[2];
  ASSERT_EQ(KLVOgetlb(prob, lb, 0, 1), 0);
  ASSERT_EQ(KLVOgetub(prob, ub, 0, 1), 0);
  EXPECT_EQ(lb[0], 0.0);
  EXPECT_EQ(ub[0], kInf);
  types[0] = 'X';
  EXPECT_EQ(KLVOstrongbranch(prob, 1, cols, types, values, 100, objval, status), KLVO_ERR_INVALID_ARGUMENT);
}

// max 5p + z  s.t.  2p + 2z <= 9, p binary, z integer in [0, 10]: p = 1 (a bound), z = 3 (not).
TEST_F(Analysis, FixingIntegerColumnsTakesTheirSolutionValues) {
  DenseModel m;
  m.obj = {5, 1};
  m.lb = {0, 0};
  m.ub = {1, 10};
  m.rows = {{2, 2}};
  m.rowtype = {'L'};
  m.rhs = {9};
  m.coltype = {'B', 'I'};
  m.sense = -1;
  load(prob, m);
  EXPECT_EQ(KLVOfixmipentities(prob, 0), KLVO_ERR_NO_SOLUTION);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  double lb[2], ub[2];
  ASSERT_EQ(KLVOfixmipentities(prob, 1), 0) << error();
  ASSERT_EQ(KLVOgetlb(prob, lb, 0, 1), 0);
  ASSERT_EQ(KLVOgetub(prob, ub, 0, 1), 0);
  EXPECT_EQ(lb[0], 1.0);
  EXPECT_EQ(lb[1], 0.0);
  EXPECT_EQ(ub[1], 10.0);
  ASSERT_EQ(KLVOfixmipentities(prob, 0), 0) << error();
  ASSERT_EQ(KLVOgetlb(prob, lb, 0, 1), 0);
  ASSERT_EQ(KLVOgetub(prob, ub, 0, 1), 0);
  EXPECT_EQ(lb[1], 3.0);
  EXPECT_EQ(ub[1], 3.0);
}

TEST_F(Analysis, SolutionFilesReadBackToTheSameValues) {
  DenseModel m = mixed_lp();
  load(prob, m);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  auto x = vec(prob, KLVOgetsolution, 8), slack = vec(prob, KLVOgetslacks, 6);
  auto duals = vec(prob, KLVOgetduals, 6), djs = vec(prob, KLVOgetredcosts, 8);
  std::string bin = temp_file("analysis.sol"), slx = temp_file("analysis.slx"), csv = temp_file("analysis.csv");
  ASSERT_EQ(KLVOwritebinsol(prob, bin.c_str(), nullptr), 0) << error();
  ASSERT_EQ(KLVOwriteslxsol(prob, slx.c_str(), nullptr), 0) << error();
  ASSERT_EQ(KLVOwritesol(prob, csv.c_str(), nullptr), 0) << error();

  KLVOprob a = fresh(), b = fresh();
  load(a, m);
  load(b, m);
  ASSERT_EQ(KLVOreadbinsol(a, bin.c_str(), ""), 0) << error(a);
  EXPECT_EQ(vec(a, KLVOgetsolution, 8, KLVO_SOLSTATUS_OPTIMAL), x);
  EXPECT_EQ(vec(a, KLVOgetslacks, 6), slack);
  EXPECT_EQ(vec(a, KLVOgetduals, 6, KLVO_SOLSTATUS_OPTIMAL), duals);
  EXPECT_EQ(vec(a, KLVOgetredcosts, 8), djs);
  EXPECT_EQ(dbl_attr(a, KLVO_ATTR_LPOBJVAL), dbl_attr(prob, KLVO_ATTR_LPOBJVAL));

  ASSERT_EQ(KLVOreadslxsol(b, slx.c_str(), ""), 0) << error(b);
  EXPECT_EQ(vec(b, KLVOgetsolution, 8, KLVO_SOLSTATUS_FEASIBLE), x);
  auto slack_b = vec(b, KLVOgetslacks, 6);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(slack_b[i], slack[i], 1e-9);
  // The optimum read back is where the next solve starts: no simplex iterations are left.
  ASSERT_EQ(solve(b), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_EQ(int_attr(b, KLVO_ATTR_SIMPLEXITER), 0);
  EXPECT_NEAR(dbl_attr(b, KLVO_ATTR_LPOBJVAL), dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 1e-9);

  // The CSV's value column for each column.
  std::ifstream in(csv);
  std::string line;
  int seen = 0;
  while (std::getline(in, line))
    if (line.rfind("C,", 0) == 0) {
      std::vector<std::string> f;
      std::stringstream ss(line);
      for (std::string cell; std::getline(ss, cell, ',');) f.push_back(cell);
      EXPECT_EQ(std::stod(f[4]), x[std::stoi(f[1])]);
      ++seen;
    }
  EXPECT_EQ(seen, 8);

  // A file of another problem is refused and the solution stays.
  KLVOprob other = fresh();
  DenseModel smaller = m;
  smaller.rows.pop_back(), smaller.rowtype.pop_back(), smaller.rhs.pop_back(), smaller.range.pop_back();
  load(other, smaller);
  EXPECT_EQ(KLVOreadbinsol(other, bin.c_str(), ""), KLVO_ERR_FILE);
  std::remove(bin.c_str()), std::remove(slx.c_str()), std::remove(csv.c_str());
}

// x + y <= 4, x >= 3, y >= 3, z <= 2 with z in [5, 10]: rows 0 and 1..2 conflict, and row 3
// with z's lower bound. Maximises x + 2y.
DenseModel conflicting() {
  DenseModel m;
  m.obj = {1, 2, 0};
  m.lb = {0, 0, 5};
  m.ub = {10, 10, 10};
  m.rows = {{1, 1, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  m.rowtype = {'L', 'G', 'G', 'L'};
  m.rhs = {4, 3, 3, 2};
  m.sense = -1;
  return m;
}

// lseu's published optimum, written as a text solution and read into a fresh copy, is the MIP
// start of the next solve: stopped at its first solution, that solve returns the optimum.
TEST_F(Analysis, TextSolutionReadIntoAMipStartsItsNextSolve) {
  ASSERT_EQ(KLVOreadprob(prob, data_file("lseu.mps").c_str(), ""), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), 1120, 1e-6);
  std::string slx = temp_file("analysis_lseu.slx");
  ASSERT_EQ(KLVOwriteslxsol(prob, slx.c_str(), ""), 0) << error();
  KLVOprob copy = fresh();
  ASSERT_EQ(KLVOreadprob(copy, data_file("lseu.mps").c_str(), ""), 0);
  ASSERT_EQ(KLVOreadslxsol(copy, slx.c_str(), ""), 0) << error(copy);
  ASSERT_EQ(KLVOsetintcontrol(copy, KLVO_CONTROL_MAXMIPSOL, 1), 0);
  int solvestatus = -1, solstatus = -1;
  ASSERT_EQ(KLVOoptimize(copy, "", &solvestatus, &solstatus), 0) << error(copy);
  EXPECT_NEAR(dbl_attr(copy, KLVO_ATTR_MIPOBJVAL), 1120, 1e-6);
  // Only the columns at 1 listed: a partial start, which the solve completes (at 0, the
  // cheapest, as lseu's costs are positive) before anything else.
  {
    std::ifstream in(slx);
    std::string text, line;
    while (std::getline(in, line))
      if (line.size() < 2 || line.substr(line.size() - 2) != " 0") text += line + "\n";
    std::ofstream out(slx);
    out << text;
  }
  KLVOprob partial = fresh();
  ASSERT_EQ(KLVOreadprob(partial, data_file("lseu.mps").c_str(), ""), 0);
  ASSERT_EQ(KLVOreadslxsol(partial, slx.c_str(), ""), 0) << error(partial);
  ASSERT_EQ(KLVOsetintcontrol(partial, KLVO_CONTROL_MAXMIPSOL, 1), 0);
  ASSERT_EQ(KLVOoptimize(partial, "", &solvestatus, &solstatus), 0) << error(partial);
  EXPECT_NEAR(dbl_attr(partial, KLVO_ATTR_MIPOBJVAL), 1120, 1e-6);
  // A column listed twice is refused, and the solution read before stays.
  {
    std::ofstream out(slx);
    out << "NAME lseu\n C C101 1\n C C101 0\n.\n";
  }
  auto before = vec(copy, KLVOgetsolution, 89);
  EXPECT_EQ(KLVOreadslxsol(copy, slx.c_str(), ""), KLVO_ERR_FILE);
  EXPECT_NE(error(copy).find("given twice"), std::string::npos) << error(copy);
  EXPECT_EQ(vec(copy, KLVOgetsolution, 89), before);
  std::remove(slx.c_str());
}

TEST_F(Analysis, RepairFindsTheLeastWeightedRelaxationAndOptimisesWithinDelta) {
  DenseModel m = conflicting();
  load(prob, m);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_INFEASIBLE);
  // Weights are 1 / preference: row 0 costs 1 a unit, row 1 costs 2, row 2 costs 4, and
  // z's lower bound 2; row 3 stays. By hand: row 0 up by 2 (2) and z's bound down by 3 (6).
  double le[4] = {1, 0, 0, 0}, ge[4] = {0, 0.5, 0.25, 0}, lbp[3] = {0, 0, 0.5}, ubp[3] = {0, 0, 0};
  int status = -1;
  ASSERT_EQ(KLVOrepairweightedinfeas(prob, &status, le, ge, lbp, ubp, 'n', 0, ""), 0) << error();
  EXPECT_EQ(status, KLVO_REPAIR_SOLVED);
  auto x = vec(prob, KLVOgetsolution, 3);
  EXPECT_NEAR(x[0], 3, 1e-7);
  EXPECT_NEAR(x[1], 3, 1e-7);
  EXPECT_NEAR(x[2], 2, 1e-7);
  auto slack = vec(prob, KLVOgetslacks, 4);
  EXPECT_NEAR(slack[0], -2, 1e-7);  // against the problem's own right-hand side

  // Phase two with delta 0.5 lets the penalty reach 12: the 4 to spare go to row 0 (each unit
  // buys 2 of objective, a unit of row 1 only 1 at twice the cost), so y = 7 and the
  // objective is 17.
  ASSERT_EQ(KLVOrepairweightedinfeas(prob, &status, le, ge, lbp, ubp, 'o', 0.5, ""), 0) << error();
  EXPECT_EQ(status, KLVO_REPAIR_SOLVED);
  x = vec(prob, KLVOgetsolution, 3);
  EXPECT_NEAR(x[0], 3, 1e-7);
  EXPECT_NEAR(x[1], 7, 1e-7);
  EXPECT_NEAR(x[2], 2, 1e-7);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 17, 1e-7);

  // Row 0 may move by 1 at most: row 1 gives the rest (1 at 2), 1 + 2 + 6 in all.
  double lerelax[4] = {1, 1e20, 1e20, 1e20};
  ASSERT_EQ(KLVOrepairweightedinfeasbounds(prob, &status, le, ge, lbp, ubp, lerelax, nullptr, nullptr, nullptr, 'n',
                                           0, ""),
            0)
      << error();
  EXPECT_EQ(status, KLVO_REPAIR_SOLVED);
  x = vec(prob, KLVOgetsolution, 3);
  EXPECT_NEAR(x[0], 2, 1e-7);
  EXPECT_NEAR(x[1], 3, 1e-7);
  EXPECT_NEAR(x[2], 2, 1e-7);

  // Squared penalties with equal weights spread the 2 missing units over rows 0..2 evenly:
  // 2/3 each (z's bound moves by 3 as before, at 9 = 3 * 3).
  ASSERT_EQ(KLVOrepairinfeas(prob, &status, 'q', 'n', 0, 1, 1, 1, 0, 0), 0) << error();
  EXPECT_EQ(status, KLVO_REPAIR_SOLVED);
  x = vec(prob, KLVOgetsolution, 3);
  EXPECT_NEAR(x[0], 7.0 / 3, 1e-5);
  EXPECT_NEAR(x[1], 7.0 / 3, 1e-5);

  // Nothing relaxable that helps: infeasible.
  double none[4] = {0, 0, 0, 0};
  ASSERT_EQ(KLVOrepairweightedinfeas(prob, &status, le, none, none, none, 'n', 0, ""), 0) << error();
  EXPECT_EQ(status, KLVO_REPAIR_INFEASIBLE);
  EXPECT_NE(KLVOrepairinfeas(prob, &status, 'x', 'n', 0, 1, 1, 1, 1, 0), 0);

  // The problem itself never changed.
  std::vector<double> rhs(4), lb(3);
  ASSERT_EQ(KLVOgetrhs(prob, rhs.data(), 0, 3), 0);
  ASSERT_EQ(KLVOgetlb(prob, lb.data(), 0, 2), 0);
  EXPECT_EQ(rhs, m.rhs);
  EXPECT_EQ(lb, m.lb);
  EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_INFEASIBLE);
}


namespace {

// Whether x satisfies p's rows, bounds and integrality, checked from the matrix read back.
bool satisfies(KLVOprob p, const std::vector<double> &x) {
  int r = nrows(p), n = ncols(p), nz = 0;
  EXPECT_EQ(KLVOgetrows(p, nullptr, nullptr, nullptr, 0, &nz, 0, r - 1), 0);
  std::vector<int> start(r + 1), ind(nz);
  std::vector<double> val(nz), rhs(r), rng(r), lb(n), ub(n);
  std::vector<char> rt(r), ct(n);
  EXPECT_EQ(KLVOgetrows(p, start.data(), ind.data(), val.data(), nz, &nz, 0, r - 1), 0);
  KLVOgetrhs(p, rhs.data(), 0, r - 1), KLVOgetrhsrange(p, rng.data(), 0, r - 1), KLVOgetrowtype(p, rt.data(), 0, r - 1);
  KLVOgetlb(p, lb.data(), 0, n - 1), KLVOgetub(p, ub.data(), 0, n - 1), KLVOgetcoltype(p, ct.data(), 0, n - 1);
  for (int j = 0; j < n; ++j)
    if (x[j] < lb[j] - 1e-6 || x[j] > ub[j] + 1e-6 || (ct[j] != 'C' && std::fabs(x[j] - std::round(x[j])) > 1e-6))
      return false;
  for (int i = 0; i < r; ++i) {
    double a = 0, tol = 1e-6 * (1 + std::fabs(rhs[i]));
    for (int k = start[i]; k < start[i + 1]; ++k) a += val[k] * x[ind[k]];
    if ((rt[i] == 'L' || rt[i] == 'E' || rt[i] == 'R') && a > rhs[i] + tol) return false;
    if ((rt[i] == 'G' || rt[i] == 'E') && a < rhs[i] - tol) return false;
    if (rt[i] == 'R' && a < rhs[i] - rng[i] - tol) return false;
  }
  return true;
}

void collect(KLVOprob, void *data, const char *msg, int len, int) {
  if (msg && len > 0) static_cast<std::string *>(data)->append(msg, len).append("\n");
}

}  // namespace

TEST_F(Analysis, RefiningAMipSolutionKeepsItFeasibleAndNeverWorsensIt) {
  ASSERT_EQ(KLVOreadprob(prob, data_file("lseu.mps").c_str(), ""), 0) << error();
  // The first solution found is usually far from the optimum 1120.
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MAXMIPSOL, 1), 0);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
  int solvestatus, solstatus;
  ASSERT_EQ(KLVOoptimize(prob, "", &solvestatus, &solstatus), 0);
  int n = ncols(prob);
  auto start = vec(prob, KLVOgetsolution, n);
  ASSERT_TRUE(satisfies(prob, start));
  double start_obj = 0, refined_obj = 0;
  ASSERT_EQ(KLVOcalcobjective(prob, start.data(), &start_obj), 0);
  std::vector<double> refined(n);
  int status = -1;
  ASSERT_EQ(KLVOrefinemipsol(prob, 0, "", start.data(), refined.data(), &status), 0) << error();
  EXPECT_TRUE(satisfies(prob, refined));
  ASSERT_EQ(KLVOcalcobjective(prob, refined.data(), &refined_obj), 0);
  EXPECT_LE(refined_obj, start_obj + 1e-9);
  EXPECT_GE(refined_obj, 1120 - 1e-6);
  EXPECT_EQ(status, refined_obj < start_obj - 1e-9 ? KLVO_REFINE_IMPROVED : KLVO_REFINE_NOT_IMPROVED);
  // A point outside the rows is refused as it is.
  std::vector<double> bad(n, 1.0);
  ASSERT_FALSE(satisfies(prob, bad));
  ASSERT_EQ(KLVOrefinemipsol(prob, 0, "", bad.data(), refined.data(), &status), 0);
  EXPECT_EQ(status, KLVO_REFINE_NOT_FEASIBLE);
  EXPECT_EQ(refined, bad);
}

TEST_F(Analysis, TunerOverThreeInstancesFinishesWithinItsBudgetAndKeepsThemOptimal) {
  const char *files[] = {"egout.mps", "lseu.mps", "flugpl.mps"};
  const double optimum[] = {568.1007, 1120, 1201500};
  std::string setfile = temp_file("tuner_set.txt");
  {
    std::ofstream out(setfile);
    out << "# three MIPs\n";
    for (const char *f : files) out << data_file(f) << "\n";
  }
  std::string log;
  ASSERT_EQ(KLVOaddcbmessage(prob, collect, &log, 0), 0);
  const double budget = 20;
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, budget), 0);
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(KLVOtuneprobsetfile(prob, setfile.c_str(), 1, 1), 0) << error();
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(took, budget + 2) << log;  // reading the files and copies is outside the solves
  EXPECT_NE(log.find("defaults: solved in"), std::string::npos) << log;
  EXPECT_NE(log.find("no heuristics"), std::string::npos) << log;
  EXPECT_TRUE(log.find("applied") != std::string::npos || log.find("they stay") != std::string::npos) << log;
  // Whatever the tuner chose still solves every instance to its published optimum.
  for (int k = 0; k < 3; ++k) {
    KLVOprob p = fresh();
    ASSERT_EQ(KLVOreadprob(p, data_file(files[k]).c_str(), ""), 0);
    ASSERT_EQ(KLVOcopycontrols(p, prob), 0);
    ASSERT_EQ(KLVOsetdblcontrol(p, KLVO_CONTROL_TIMELIMIT, 0), 0);
    ASSERT_EQ(solve(p), KLVO_SOLSTATUS_OPTIMAL) << files[k];
    EXPECT_NEAR(dbl_attr(p, KLVO_ATTR_MIPOBJVAL), optimum[k], 1e-6 * optimum[k]) << files[k];
  }

  // A method file of one set: the next run tries only it, and the file written back says so.
  std::string method = temp_file("tuner_method.txt"), back = temp_file("tuner_method_back.txt");
  {
    std::ofstream out(method);
    out << "set single thread\nthreads 1\n";
  }
  ASSERT_EQ(KLVOtunerreadmethod(prob, method.c_str()), 0) << error();
  ASSERT_EQ(KLVOtunerwritemethod(prob, back.c_str()), 0) << error();
  std::ifstream in(back);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("set single thread\nthreads 1\n"), std::string::npos) << text;
  log.clear();
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, 5), 0);
  ASSERT_EQ(KLVOtuneprobsetfile(prob, setfile.c_str(), 1, 1), 0) << error();
  EXPECT_NE(log.find("1 control sets"), std::string::npos) << log;
  EXPECT_EQ(log.find("no heuristics"), std::string::npos) << log;
  {
    std::ofstream out(method);
    out << "set broken\nnosuchcontrol 1\n";
  }
  EXPECT_EQ(KLVOtunerreadmethod(prob, method.c_str()), KLVO_ERR_FILE);
  std::remove(setfile.c_str()), std::remove(method.c_str()), std::remove(back.c_str());
}

// Tuning one LP: the continuous sets are tried within the budget, the model is left as it was
// and still solves to adlittle's published optimum under whatever controls were chosen.
TEST_F(Analysis, TunerOnOneLpTriesTheContinuousSetsWithinItsBudget) {
  ASSERT_EQ(KLVOreadprob(prob, data_file("adlittle.mps").c_str(), ""), 0);
  std::string log;
  ASSERT_EQ(KLVOaddcbmessage(prob, collect, &log, 0), 0);
  const double budget = 10;
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, budget), 0);
  EXPECT_EQ(KLVOtune(prob, "z"), KLVO_ERR_INVALID_ARGUMENT);
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(KLVOtune(prob, ""), 0) << error();
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(took, budget + 1) << log;
  EXPECT_NE(log.find("primal simplex"), std::string::npos) << log;
  EXPECT_EQ(log.find("no heuristics"), std::string::npos) << log;
  EXPECT_EQ(nrows(prob), 56);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_TIMELIMIT, 0), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 225494.96316, 1e-6 * 225494.96316);
}

namespace {

double activity(const Snapshot &s, int row, const std::vector<double> &x) {
  double sum = 0;
  for (auto it = s.matrix.lower_bound({row, 0}); it != s.matrix.end() && it->first.first == row; ++it)
    sum += it->second * x[it->first.second];
  return sum;
}

double objective(const Snapshot &s, const std::vector<double> &x) {
  double sum = s.constant;
  for (int j = 0; j < s.ncols; ++j) sum += s.obj[j] * x[j];
  return sum;
}

}  // namespace

TEST_F(Analysis, PresolvedFormMapsItsSolutionBackToTheOriginalOptimum) {
  const std::string file = ::testing::TempDir() + "klvo_presolved.mps";
  for (const char *name : {"afiro.mps", "flugpl.mps", "egout.mps"}) {
    SCOPED_TRACE(name);
    KLVOprob p = fresh();
    ASSERT_EQ(KLVOreadprob(p, data_file(name).c_str(), ""), 0);
    ASSERT_EQ(KLVOsetintcontrol(p, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
    const Snapshot original = snapshot(p);
    const bool mip = original.coltype.find_first_not_of('C') != std::string::npos;
    ASSERT_EQ(KLVOoptimize(p, "k", nullptr, nullptr), 0) << error(p);
    const double optimum = dbl_attr(p, KLVO_ATTR_OBJVAL);
    EXPECT_EQ(int_attr(p, KLVO_ATTR_PRESOLVESTATE), mip ? 5 : 3);
    const Snapshot pre = snapshot(p, true);
    EXPECT_LT(pre.ncols, original.ncols);
    EXPECT_EQ(ncols(p), original.ncols);
    EXPECT_EQ(nrows(p), original.nrows);

    // Each presolved row and column comes from its own row and column of the original, and
    // carries its name.
    std::vector<int> rowmap(pre.nrows), colmap(pre.ncols);
    ASSERT_EQ(KLVOgetpresolvemap(p, rowmap.data(), colmap.data()), 0);
    for (const auto &[map, count] : {std::pair(rowmap, original.nrows), std::pair(colmap, original.ncols)}) {
      std::set<int> distinct(map.begin(), map.end());
      EXPECT_EQ(distinct.size(), map.size());
      EXPECT_TRUE(map.empty() || (*distinct.begin() >= 0 && *distinct.rbegin() < count));
    }
    for (int j = 0; j < pre.ncols; ++j) EXPECT_EQ(pre.colnames[j], original.colnames[colmap[j]]);

    // The presolved problem as the queries show it, written out and solved on its own, has the
    // original's optimum.
    ASSERT_EQ(KLVOwriteprob(p, file.c_str(), ""), 0) << error(p);
    KLVOprob alone = fresh();
    ASSERT_EQ(KLVOreadprob(alone, file.c_str(), ""), 0) << error(alone);
    ASSERT_EQ(KLVOsetintcontrol(alone, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
    ASSERT_EQ(KLVOoptimize(alone, "", nullptr, nullptr), 0);
    EXPECT_NEAR(dbl_attr(alone, KLVO_ATTR_OBJVAL), optimum, 1e-6 * (1 + std::fabs(optimum)));

    // Its solution is feasible there; postsolved, it is an optimum of the original problem.
    std::vector<double> prex(pre.ncols), x(original.ncols), caller(original.ncols);
    ASSERT_EQ(KLVOgetpresolvesol(p, prex.data(), nullptr, nullptr, nullptr), 0) << error(p);
    EXPECT_TRUE(satisfies(alone, prex));
    double value = 0;
    ASSERT_EQ(KLVOcalcobjective(alone, prex.data(), &value), 0);
    EXPECT_NEAR(value, optimum, 1e-6 * (1 + std::fabs(optimum)));
    ASSERT_EQ(KLVOpostsolvesol_witharraysizes(p, prex.data(), pre.ncols, x.data(), original.ncols), 0) << error(p);
    KLVOprob copy = fresh();
    ASSERT_EQ(KLVOreadprob(copy, data_file(name).c_str(), ""), 0);
    EXPECT_TRUE(satisfies(copy, x));
    EXPECT_NEAR(objective(original, x), optimum, 1e-6 * (1 + std::fabs(optimum)));
    // The solution getters still give the caller's solution.
    int status = 0;
    ASSERT_EQ(KLVOgetsolution(p, &status, caller.data(), 0, original.ncols - 1), 0);
    EXPECT_EQ(status, KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_NEAR(objective(original, caller), optimum, 1e-6 * (1 + std::fabs(optimum)));

    // A row of the original over columns presolve kept (shifted or scaled as HiGHS may) or
    // fixed has the same activity less right-hand side in both problems; one over a column
    // presolve tied to others has no form.
    int mapped = 0, unmapped = 0;
    for (int i = 0; i < original.nrows; ++i) {
      std::vector<int> cols;
      std::vector<double> coefs;
      for (const auto &[rc, v] : original.matrix)
        if (rc.first == i) cols.push_back(rc.second), coefs.push_back(v);
      int n = 0, st = -2;
      double rhs = 0;
      std::vector<int> ind(cols.size());
      std::vector<double> val(cols.size());
      ASSERT_EQ(KLVOpresolverow(p, 'L', static_cast<int>(cols.size()), cols.data(), coefs.data(), original.rhs[i],
                                static_cast<int>(cols.size()), &n, ind.data(), val.data(), &rhs, &st),
                0);
      if (st == -1) {
        ++unmapped;
        continue;
      }
      ASSERT_EQ(st, 0);
      ++mapped;
      double presolved = -rhs;
      for (int k = 0; k < n; ++k) presolved += val[k] * prex[ind[k]];
      EXPECT_NEAR(activity(original, i, x) - original.rhs[i], presolved, 1e-6) << i;
    }
    EXPECT_GT(mapped, 0);
    EXPECT_GT(unmapped, 0);

    // Changes and analyses are refused and change nothing; postsolve puts the caller's model
    // back exactly.
    int col = colmap[0];
    double cost = 99;
    EXPECT_EQ(KLVOchgobj(p, 1, &col, &cost), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_NE(error(p).find("presolved form"), std::string::npos) << error(p);
    std::vector<int> rowstat(original.nrows), colstat(original.ncols);
    EXPECT_EQ(KLVOgetbasis(p, rowstat.data(), colstat.data()), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_TRUE(diff(pre, snapshot(p, true)).empty());
    ASSERT_EQ(KLVOpostsolve(p), 0);
    EXPECT_EQ(int_attr(p, KLVO_ATTR_PRESOLVESTATE), 1);
    EXPECT_EQ(diff(original, snapshot(p)), "");
    EXPECT_EQ(KLVOchgobj(p, 1, &col, &cost), 0);
  }
  std::remove(file.c_str());
}

TEST_F(Analysis, PresolvedFormKeepsItsBasisUntilTheNextSolve) {
  ASSERT_EQ(KLVOreadprob(prob, data_file("afiro.mps").c_str(), ""), 0);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
  ASSERT_EQ(KLVOlpoptimize(prob, "k"), 0) << error();
  const double optimum = dbl_attr(prob, KLVO_ATTR_OBJVAL);
  const int m = int_attr(prob, KLVO_ATTR_ROWS), n = int_attr(prob, KLVO_ATTR_COLS);
  // An optimal basis of the presolved problem: as many basic variables as rows, and duals and
  // reduced costs that price it out.
  std::vector<int> rowstat(m), colstat(n);
  ASSERT_EQ(KLVOgetpresolvebasis(prob, rowstat.data(), colstat.data()), 0) << error();
  EXPECT_EQ(std::count(rowstat.begin(), rowstat.end(), KLVO_BASIS_BASIC) +
                std::count(colstat.begin(), colstat.end(), KLVO_BASIS_BASIC),
            m);
  std::vector<double> x(n), slack(m), duals(m), djs(n);
  ASSERT_EQ(KLVOgetpresolvesol(prob, x.data(), slack.data(), duals.data(), djs.data()), 0) << error();
  for (int j = 0; j < n; ++j)
    if (colstat[j] == KLVO_BASIS_BASIC) EXPECT_NEAR(djs[j], 0, 1e-9) << j;
  // A basis loaded in the presolved space is the one given back.
  std::swap(rowstat[0], rowstat[m - 1]);
  ASSERT_EQ(KLVOloadpresolvebasis(prob, rowstat.data(), colstat.data()), 0) << error();
  std::vector<int> back(m), backcols(n);
  ASSERT_EQ(KLVOgetpresolvebasis(prob, back.data(), backcols.data()), 0);
  EXPECT_EQ(back, rowstat);
  // The next solve works on the caller's problem again and finds the same optimum.
  ASSERT_EQ(KLVOlpoptimize(prob, ""), 0);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_PRESOLVESTATE), 1);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_COLS), ncols(prob));
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_OBJVAL), optimum, 1e-9);
}

TEST_F(Analysis, PresolvedFormIsKeptOnlyForFeasibleLinearModels) {
  // x + y <= 1 with x, y >= 1: presolve proves it infeasible and keeps nothing.
  DenseModel infeasible_lp;
  infeasible_lp.obj = {1, 1};
  infeasible_lp.lb = {1, 1};
  infeasible_lp.ub = {kInf, kInf};
  infeasible_lp.rows = {{1, 1}};
  infeasible_lp.rowtype = {'L'};
  infeasible_lp.rhs = {1};
  load(prob, infeasible_lp);
  std::string log;
  ASSERT_EQ(KLVOaddcbmessage(prob, collect, &log, 0), 0);
  ASSERT_EQ(KLVOoptimize(prob, "k", nullptr, nullptr), 0) << error();
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_PRESOLVESTATE), 1);
  EXPECT_NE(log.find("no presolved form is kept"), std::string::npos) << log;
  // A quadratic objective is refused before anything is solved.
  int col = 0;
  double q = 2;
  ASSERT_EQ(KLVOchgmqobj(prob, 1, &col, &col, &q), 0);
  EXPECT_EQ(KLVOoptimize(prob, "k", nullptr, nullptr), KLVO_ERR_NOT_SUPPORTED);
  EXPECT_NE(error().find("a quadratic objective"), std::string::npos) << error();
}
