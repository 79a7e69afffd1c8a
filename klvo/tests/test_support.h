// Shared test support: a problem fixture, a whole model read back through the C interface
// for field-by-field comparison, dense models and solve helpers, the published instances of
// the data directory, and formulas written as C++ expressions for the nonlinear layer.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "klvo.h"

namespace klvo_test {

inline std::string last_error(KLVOprob p) {
  char text[512] = "";
  KLVOgetlasterror(p, text);
  return text;
}

// A problem handle for one test, with the library initialised around it; fresh() gives more.
class ProblemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(KLVOinit(nullptr), 0);
    ASSERT_EQ(KLVOcreateprob(&prob), 0);
  }
  void TearDown() override {
    for (KLVOprob p : extra) EXPECT_EQ(KLVOdestroyprob(p), 0);
    EXPECT_EQ(KLVOdestroyprob(prob), 0);
    EXPECT_EQ(KLVOfree(), 0);
  }
  KLVOprob fresh() {
    KLVOprob p = nullptr;
    EXPECT_EQ(KLVOcreateprob(&p), 0);
    extra.push_back(p);
    return p;
  }
  std::string error(KLVOprob p = nullptr) const { return last_error(p ? p : prob); }
  KLVOprob prob = nullptr;
  std::vector<KLVOprob> extra;
};

// ---- Reading a whole model back ----

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
inline int int_control(KLVOprob prob, int id) {
  int v = -12345;
  EXPECT_EQ(KLVOgetintcontrol(prob, id, &v), 0);
  return v;
}
inline double dbl_control(KLVOprob prob, int id) {
  double v = -12345;
  EXPECT_EQ(KLVOgetdblcontrol(prob, id, &v), 0);
  return v;
}
inline int ncols(KLVOprob p) { return int_attr(p, KLVO_ATTR_ORIGINALCOLS); }
inline int nrows(KLVOprob p) { return int_attr(p, KLVO_ATTR_ORIGINALROWS); }

inline std::vector<std::string> names(KLVOprob prob, int type, int count) {
  std::vector<std::string> out;
  if (count == 0) return out;
  int need = 0;
  EXPECT_EQ(KLVOgetnamelist(prob, type, nullptr, 0, &need, 0, count - 1), 0);
  std::string buf(need, '\0');
  EXPECT_EQ(KLVOgetnamelist(prob, type, &buf[0], need, nullptr, 0, count - 1), 0);
  for (size_t pos = 0; out.size() < static_cast<size_t>(count);) {
    size_t end = buf.find('\0', pos);
    out.push_back(buf.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

// Every general constraint: (type, resultant, columns, values).
inline std::vector<std::tuple<int, int, std::vector<int>, std::vector<double>>> gencons(KLVOprob prob) {
  std::vector<std::tuple<int, int, std::vector<int>, std::vector<double>>> out;
  int n = int_attr(prob, KLVO_ATTR_GENCONS);
  if (n == 0) return out;
  int64_t nc = 0, nv = 0;
  // The attribute counts both kinds; the library refuses a range beyond the general ones.
  while (n > 0 && KLVOgetgencons64(prob, nullptr, nullptr, nullptr, nullptr, 0, &nc, nullptr, nullptr, 0, &nv, 0,
                                   n - 1) != 0)
    --n;
  if (n == 0) return out;
  std::vector<int> type(n), res(n), cols(nc);
  std::vector<int64_t> cs(n + 1), vs(n + 1);
  std::vector<double> vals(nv);
  EXPECT_EQ(KLVOgetgencons64(prob, type.data(), res.data(), cs.data(), cols.data(), nc, &nc, vs.data(), vals.data(),
                             nv, &nv, 0, n - 1),
            0);
  for (int k = 0; k < n; ++k)
    out.emplace_back(type[k], res[k], std::vector<int>(cols.begin() + cs[k], cols.begin() + cs[k + 1]),
                     std::vector<double>(vals.begin() + vs[k], vals.begin() + vs[k + 1]));
  return out;
}

// Every piecewise-linear constraint: (column, resultant, x, y).
inline std::vector<std::tuple<int, int, std::vector<double>, std::vector<double>>> pwlcons(KLVOprob prob) {
  std::vector<std::tuple<int, int, std::vector<double>, std::vector<double>>> out;
  int n = int_attr(prob, KLVO_ATTR_GENCONS);
  int64_t np = 0;
  while (n > 0 && KLVOgetpwlcons64(prob, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &np, 0, n - 1) != 0) --n;
  if (n == 0) return out;
  std::vector<int> col(n), res(n);
  std::vector<int64_t> start(n + 1);
  std::vector<double> x(np), y(np);
  EXPECT_EQ(KLVOgetpwlcons64(prob, col.data(), res.data(), start.data(), x.data(), y.data(), np, &np, 0, n - 1), 0);
  for (int k = 0; k < n; ++k)
    out.emplace_back(col[k], res[k], std::vector<double>(x.begin() + start[k], x.begin() + start[k + 1]),
                     std::vector<double>(y.begin() + start[k], y.begin() + start[k + 1]));
  return out;
}

struct Snapshot {
  std::string name;
  int ncols = 0, nrows = 0;
  double sense = 1, constant = 0;
  std::vector<double> obj, lb, ub, rhs, range;
  std::string coltype, rowtype;
  std::map<int, double> limit;                            // column -> limit (S, R, P columns)
  std::map<std::pair<int, int>, double> matrix;           // (row, col) -> value
  std::map<std::pair<int, int>, double> qobj;             // (i, j) -> Q_ij, both triangles
  std::map<std::tuple<int, int, int>, double> qrows;      // (row, i <= j) -> P_ij
  std::vector<int> indcol, indcomp;
  std::vector<std::pair<char, std::vector<std::pair<int, double>>>> sets;
  std::vector<std::string> rownames, colnames, setnames;
  // General constraints (type, resultant, columns, values), piecewise-linear ones
  // (column, resultant, x, y).
  std::vector<std::tuple<int, int, std::vector<int>, std::vector<double>>> gencons;
  std::vector<std::tuple<int, int, std::vector<double>, std::vector<double>>> pwlcons;
};

// The fields in which two snapshots differ, for failure messages; empty when they are equal.
inline std::string diff(const Snapshot &a, const Snapshot &b) {
  std::string out;
  auto note = [&](bool same, const char *what) { out += same ? "" : std::string(what) + " "; };
  note(a.name == b.name, "name");
  note(a.ncols == b.ncols && a.nrows == b.nrows, "size");
  note(a.sense == b.sense && a.constant == b.constant, "sense/constant");
  note(a.obj == b.obj, "obj");
  note(a.lb == b.lb && a.ub == b.ub, "bounds");
  note(a.rhs == b.rhs && a.range == b.range, "rhs/range");
  note(a.coltype == b.coltype && a.limit == b.limit, "coltype/limit");
  note(a.rowtype == b.rowtype, "rowtype");
  note(a.matrix == b.matrix, "matrix");
  note(a.qobj == b.qobj, "qobj");
  note(a.qrows == b.qrows, "qrows");
  note(a.indcol == b.indcol && a.indcomp == b.indcomp, "indicators");
  note(a.sets == b.sets, "sets");
  note(a.rownames == b.rownames && a.colnames == b.colnames && a.setnames == b.setnames, "names");
  note(a.gencons == b.gencons, "gencons");
  note(a.pwlcons == b.pwlcons, "pwlcons");
  return out;
}
inline bool operator==(const Snapshot &a, const Snapshot &b) { return diff(a, b).empty(); }

// as_solved: the problem in the form it stands in (its rows and cols attributes), which for a
// problem kept presolved is the presolved one.
inline Snapshot snapshot(KLVOprob prob, bool as_solved = false) {
  Snapshot s;
  std::string pname(static_cast<size_t>(std::max(int_attr(prob, KLVO_ATTR_PROBNAMELENGTH), 0)) + 1, '\0');
  EXPECT_EQ(KLVOgetprobname(prob, &pname[0]), 0);
  s.name = pname.c_str();
  const int n = s.ncols = as_solved ? int_attr(prob, KLVO_ATTR_COLS) : ncols(prob);
  const int m = s.nrows = as_solved ? int_attr(prob, KLVO_ATTR_ROWS) : nrows(prob);
  s.sense = dbl_attr(prob, KLVO_ATTR_OBJSENSE);
  // The objective at 0 is its constant (the caller's: KLVOcalcobjective takes its columns).
  std::vector<double> zero(std::max(n, ncols(prob)) + 1, 0.0);
  EXPECT_EQ(KLVOcalcobjective(prob, zero.data(), &s.constant), 0);
  if (n > 0) {
    s.obj.resize(n);
    s.lb.resize(n);
    s.ub.resize(n);
    s.coltype.resize(n);
    EXPECT_EQ(KLVOgetobj(prob, s.obj.data(), 0, n - 1), 0);
    EXPECT_EQ(KLVOgetlb(prob, s.lb.data(), 0, n - 1), 0);
    EXPECT_EQ(KLVOgetub(prob, s.ub.data(), 0, n - 1), 0);
    EXPECT_EQ(KLVOgetcoltype(prob, &s.coltype[0], 0, n - 1), 0);
    int64_t nq = 0;
    EXPECT_EQ(KLVOgetmqobj64(prob, nullptr, nullptr, nullptr, 0, &nq, 0, n - 1), 0);
    std::vector<int64_t> start(n + 1);
    std::vector<int> ind(nq);
    std::vector<double> val(nq);
    EXPECT_EQ(KLVOgetmqobj64(prob, start.data(), ind.data(), val.data(), nq, &nq, 0, n - 1), 0);
    for (int j = 0; j < n; ++j)
      for (int64_t p = start[j]; p < start[j + 1]; ++p) s.qobj[{ind[p], j}] = val[p];
  }
  if (m > 0) {
    s.rhs.resize(m);
    s.range.resize(m);
    s.rowtype.resize(m);
    s.indcol.resize(m);
    s.indcomp.resize(m);
    EXPECT_EQ(KLVOgetrhs(prob, s.rhs.data(), 0, m - 1), 0);
    EXPECT_EQ(KLVOgetrhsrange(prob, s.range.data(), 0, m - 1), 0);
    EXPECT_EQ(KLVOgetrowtype(prob, &s.rowtype[0], 0, m - 1), 0);
    EXPECT_EQ(KLVOgetindicators(prob, s.indcol.data(), s.indcomp.data(), 0, m - 1), 0);
    int64_t nz = 0;
    EXPECT_EQ(KLVOgetrows64(prob, nullptr, nullptr, nullptr, 0, &nz, 0, m - 1), 0);
    std::vector<int64_t> start(m + 1);
    std::vector<int> ind(nz);
    std::vector<double> val(nz);
    EXPECT_EQ(KLVOgetrows64(prob, start.data(), ind.data(), val.data(), nz, &nz, 0, m - 1), 0);
    for (int i = 0; i < m; ++i)
      for (int64_t p = start[i]; p < start[i + 1]; ++p) s.matrix[{i, ind[p]}] = val[p];
    for (int i = 0; i < m; ++i) {
      int nt = 0;
      EXPECT_EQ(KLVOgetqrowqmatrixtriplets(prob, i, &nt, nullptr, nullptr, nullptr), 0);
      std::vector<int> c1(nt), c2(nt);
      std::vector<double> v(nt);
      EXPECT_EQ(KLVOgetqrowqmatrixtriplets(prob, i, &nt, c1.data(), c2.data(), v.data()), 0);
      for (int k = 0; k < nt; ++k) s.qrows[{i, c1[k], c2[k]}] = v[k];
    }
  }
  int nent = 0, nset = 0;
  EXPECT_EQ(KLVOgetmipentities64(prob, &nent, &nset, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  std::vector<char> et(nent), st(nset);
  std::vector<int> ec(nent);
  std::vector<double> el(nent);
  std::vector<int64_t> sstart(nset + 1);
  EXPECT_EQ(KLVOgetmipentities64(prob, nullptr, nullptr, et.data(), ec.data(), el.data(), st.data(), sstart.data(),
                                 nullptr, nullptr),
            0);
  std::vector<int> scols(sstart[nset]);
  std::vector<double> sref(sstart[nset]);
  EXPECT_EQ(KLVOgetmipentities64(prob, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, scols.data(),
                                 sref.data()),
            0);
  for (int k = 0; k < nent; ++k)
    if (et[k] == 'S' || et[k] == 'R' || et[k] == 'P') s.limit[ec[k]] = el[k];
  for (int k = 0; k < nset; ++k) {
    std::vector<std::pair<int, double>> members;
    for (int64_t p = sstart[k]; p < sstart[k + 1]; ++p) members.push_back({scols[p], sref[p]});
    s.sets.push_back({st[k], members});
  }
  s.rownames = names(prob, 1, m);
  s.colnames = names(prob, 2, n);
  s.setnames = names(prob, 3, nset);
  s.gencons = gencons(prob);
  s.pwlcons = pwlcons(prob);
  return s;
}

// ---- Dense models and solves ----

constexpr double kInf = KLVO_INFINITY;

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

// Replaces the model by an empty one with ncols free-of-rows columns; returns the call's code.
inline int load_empty(KLVOprob prob, const char *name = "", int ncols = 0) {
  return KLVOloadlp(prob, name, ncols, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr);
}

// Each entry wanted is near the one at its index.
inline void expect_near(const std::vector<double> &got, const std::vector<double> &want, double tol) {
  ASSERT_GE(got.size(), want.size());
  for (size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(got[k], want[k], tol) << "entry " << k;
}

// Solves with KLVOoptimize and returns the solution status, which must match the attributes.
inline int solve(KLVOprob prob, const char *flags = "") {
  int solvestatus = -1, solstatus = -1;
  EXPECT_EQ(KLVOoptimize(prob, flags, &solvestatus, &solstatus), 0);
  EXPECT_EQ(solvestatus, int_attr(prob, KLVO_ATTR_SOLVESTATUS));
  EXPECT_EQ(solstatus, int_attr(prob, KLVO_ATTR_SOLSTATUS));
  return solstatus;
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

// Checks an LP optimum against the model read back: slack = rhs - activity, reduced cost =
// c - A'y, primal feasibility, dual signs and complementary slackness in the problem's sense
// (a dual or reduced cost may be nonzero only where its row or bound is active), and that the
// library's own calc functions agree.
inline void expect_lp_optimal(KLVOprob prob, double tol = 1e-6) {
  Snapshot s = snapshot(prob);
  const int n = s.ncols, m = s.nrows;
  auto x = vec(prob, KLVOgetsolution, n, KLVO_SOLSTATUS_OPTIMAL);
  auto slack = vec(prob, KLVOgetslacks, m, KLVO_SOLSTATUS_OPTIMAL);
  auto y = vec(prob, KLVOgetduals, m, KLVO_SOLSTATUS_OPTIMAL);
  auto d = vec(prob, KLVOgetredcosts, n, KLVO_SOLSTATUS_OPTIMAL);
  std::vector<double> act(m, 0.0), dj(s.obj);
  for (const auto &[ij, a] : s.matrix) {
    act[ij.first] += a * x[ij.second];
    dj[ij.second] -= a * y[ij.first];
  }
  // With the sense folded in, a positive dual or reduced cost belongs to an active lower end.
  double vtol = tol;
  for (double c : s.obj) vtol = std::max(vtol, tol * std::fabs(c));
  auto check = [&](const char *what, int k, double value, double lo, double hi, double level) {
    double t = tol * (1 + std::fabs(level)), v = value * s.sense;
    EXPECT_GE(level, lo - t) << what << " " << k;
    EXPECT_LE(level, hi + t) << what << " " << k;
    if (level > lo + t) EXPECT_LE(v, vtol) << what << " " << k << " is above its lower end";
    if (level < hi - t) EXPECT_GE(v, -vtol) << what << " " << k << " is below its upper end";
  };
  for (int i = 0; i < m; ++i) {
    EXPECT_NEAR(slack[i], s.rhs[i] - act[i], tol * (1 + std::fabs(s.rhs[i]))) << "row " << i;
    char t = s.rowtype[i];
    double lo = t == 'L' || t == 'N' ? -kInf : t == 'R' ? s.rhs[i] - s.range[i] : s.rhs[i];
    double hi = t == 'G' || t == 'N' ? kInf : s.rhs[i];
    check("row", i, y[i], lo, hi, act[i]);
  }
  for (int j = 0; j < n; ++j) {
    EXPECT_NEAR(d[j], dj[j], vtol) << "column " << j;
    check("column", j, d[j], s.lb[j], s.ub[j], x[j]);
  }
  double objval = 0, calc_objval = 0;
  for (int j = 0; j < n; ++j) objval += s.obj[j] * x[j];
  std::vector<double> calc_slack(m), calc_d(n);
  ASSERT_EQ(KLVOcalcobjective(prob, x.data(), &calc_objval), 0);
  EXPECT_NEAR(calc_objval, objval + s.constant, tol * (1 + std::fabs(objval)));
  EXPECT_NEAR(calc_objval, dbl_attr(prob, KLVO_ATTR_LPOBJVAL), tol * (1 + std::fabs(objval)));
  ASSERT_EQ(KLVOcalcslacks(prob, x.data(), calc_slack.data()), 0);
  ASSERT_EQ(KLVOcalcreducedcosts(prob, y.data(), x.data(), calc_d.data()), 0);
  for (int i = 0; i < m; ++i) EXPECT_NEAR(calc_slack[i], slack[i], 1e-9 * (1 + std::fabs(slack[i])));
  for (int j = 0; j < n; ++j) EXPECT_NEAR(calc_d[j], d[j], 1e-9 * (1 + std::fabs(d[j])));
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

// Market split: equality knapsacks over binaries, hard for branch and bound.
inline DenseModel market_split(int rows, int cols, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> coef(0, 99);
  DenseModel m;
  m.obj.assign(cols, 0.0);
  for (int j = 0; j < cols; ++j) m.obj[j] = coef(rng) % 3;
  for (int i = 0; i < rows; ++i) {
    std::vector<double> row(cols);
    double sum = 0;
    for (int j = 0; j < cols; ++j) sum += row[j] = coef(rng);
    m.rows.push_back(row);
    m.rowtype.push_back('E');
    m.rhs.push_back(std::floor(sum / 2));
  }
  m.coltype.assign(cols, 'B');
  return m;
}

// The optimum of a maximising 0-1 model with <= rows, every column set enumerated.
inline double enumerate_binary_max(const DenseModel &m) {
  const int n = static_cast<int>(m.obj.size());
  double best = 0;
  for (int mask = 0; mask < (1 << n); ++mask) {
    bool fits = true;
    for (size_t i = 0; i < m.rows.size() && fits; ++i) {
      double w = 0;
      for (int j = 0; j < n; ++j) w += (mask >> j & 1) * m.rows[i][j];
      fits = w <= m.rhs[i];
    }
    double v = 0;
    for (int j = 0; j < n; ++j) v += (mask >> j & 1) * m.obj[j];
    if (fits) best = std::max(best, v);
  }
  return best;
}

// ---- The published instances ----

struct Instance {
  std::string file;
  bool mip;
  int rows, cols;
  double optimum;  // NaN: infeasible
};

// The table of the data directory's README: file, kind, "rows x cols", optimum.
inline std::vector<Instance> instances() {
  std::ifstream in(std::string(KLVO_TEST_DATA_DIR) + "/README.md");
  std::regex row(R"(^\|\s*(\S+\.mps)\s*\|([^|]*)\|\s*(\d+)\s*x\s*(\d+)\s*\|\s*(\S+)\s*\|)");
  std::vector<Instance> out;
  std::smatch m;
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, m, row))
      out.push_back({m[1], m[2].str().find("MILP") != std::string::npos, std::stoi(m[3]), std::stoi(m[4]),
                     m[5] == "infeasible" ? NAN : std::stod(m[5])});
  return out;
}

inline std::string data_file(const std::string &name) { return std::string(KLVO_TEST_DATA_DIR) + "/" + name; }

// Reads a published instance with the log off.
inline void read_instance(KLVOprob p, const std::string &file) {
  ASSERT_EQ(KLVOreadprob(p, data_file(file).c_str(), ""), 0) << last_error(p);
  ASSERT_EQ(KLVOsetintcontrol(p, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE), 0);
}

// ---- Files and messages ----

inline std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A private temporary directory, removed with what it holds (one level of folders) at the end.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/klvo_test_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  ~TempDir() {
    for (const std::string &name : entries())
      if (rmdir(path(name).c_str()) != 0) unlink(path(name).c_str());
    rmdir(dir_.c_str());
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::string path(const std::string &name) const { return dir_ + "/" + name; }
  const std::string &dir() const { return dir_; }
  std::set<std::string> entries() const {
    std::set<std::string> out;
    if (DIR *d = opendir(dir_.c_str())) {
      while (dirent *e = readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) out.insert(e->d_name);
      closedir(d);
    }
    return out;
  }

 private:
  std::string dir_;
};

// A message callback keeping every line it receives (flushes aside) in a std::vector<std::string>.
inline void keep_lines(KLVOprob, void *data, const char *msg, int len, int type) {
  if (msg && type != KLVO_MSG_FLUSH) static_cast<std::vector<std::string> *>(data)->emplace_back(msg, len);
}
inline bool any_contains(const std::vector<std::string> &lines, const std::string &what) {
  for (const auto &l : lines)
    if (l.find(what) != std::string::npos) return true;
  return false;
}

// The point of the node a callback runs at.
inline std::vector<double> callback_x(KLVOprob p, int n = -1) {
  if (n < 0) EXPECT_EQ(KLVOgetintattrib(p, KLVO_ATTR_ORIGINALCOLS, &n), 0);
  std::vector<double> x(n);
  int status = 0;
  EXPECT_EQ(KLVOgetcallbacksolution(p, &status, x.data(), 0, n - 1), 0);
  return x;
}

// ---- Formulas for the nonlinear layer ----

// A formula as postfix tokens.
struct Ex {
  std::vector<int> type;
  std::vector<double> value;
  void push(int t, double v) {
    type.push_back(t);
    value.push_back(v);
  }
  void append(const Ex &o) {
    type.insert(type.end(), o.type.begin(), o.type.end());
    value.insert(value.end(), o.value.begin(), o.value.end());
  }
  // The tokens followed by the end token.
  Ex ended() const {
    Ex e = *this;
    e.push(0, 0);
    return e;
  }
};

inline Ex token(int type, double value) {
  Ex e;
  e.push(type, value);
  return e;
}
inline Ex X(int col) { return token(10, col); }
inline Ex C(double c) { return token(1, c); }
inline Ex apply(const Ex &a, const Ex &b, int op) {
  Ex e = a;
  e.append(b);
  e.push(31, op);
  return e;
}
inline Ex operator+(const Ex &a, const Ex &b) { return apply(a, b, 5); }
inline Ex operator-(const Ex &a, const Ex &b) { return apply(a, b, 6); }
inline Ex operator*(const Ex &a, const Ex &b) { return apply(a, b, 3); }
inline Ex operator/(const Ex &a, const Ex &b) { return apply(a, b, 4); }
inline Ex operator-(const Ex &a) { return apply(a, Ex(), 1); }  // the unary minus
inline Ex pow(const Ex &a, const Ex &b) { return apply(a, b, 2); }
inline Ex operator+(const Ex &a, double c) { return a + C(c); }
inline Ex operator-(const Ex &a, double c) { return a - C(c); }
inline Ex operator*(double c, const Ex &a) { return C(c) * a; }
inline Ex pow(const Ex &a, double c) { return pow(a, C(c)); }

// A function of `type` (12 built-in, 11 user) with the given code; operands are pushed in the
// given order (pass them last to first where order matters).
inline Ex nary(int type, int code, const std::vector<Ex> &args) {
  Ex e;
  e.push(22, 0);
  for (const Ex &a : args) e.append(a);
  e.push(type, code);
  return e;
}
enum Fn {
  LOG10 = 14, LOG = 15, EXP = 16, ABS = 17, SQRT = 18, SIN = 27, COS = 28, TAN = 29, ASIN = 30, ACOS = 31,
  ATAN = 32, MIN = 33, MAX = 34, PWL = 35, SUM = 36, PROD = 37, SIGN = 46, ERF = 49, ERFC = 50
};
inline Ex fn(int code, const Ex &a) { return nary(12, code, {a}); }
inline Ex exp(const Ex &a) { return fn(EXP, a); }
inline Ex log(const Ex &a) { return fn(LOG, a); }
inline Ex sin(const Ex &a) { return fn(SIN, a); }
inline Ex cos(const Ex &a) { return fn(COS, a); }
inline Ex sum(const std::vector<Ex> &a) { return nary(12, SUM, a); }
inline Ex prod(const std::vector<Ex> &a) { return nary(12, PROD, a); }

// Ids of the nonlinear layer's controls and attributes.
constexpr int kSlpRows = 11999, kSlpCols = 12000, kSlpStatus = 12044, kSlpIterLimit = 12100, kSlpLog = 12101,
              kSlpTimeLimit = 12102, kSlpEngineOptions = 12106, kSlpObjSense = 12146, kSlpObjVal = 12179,
              kSlpIterations = 12180;

// A problem with its nonlinear layer; columns are added by the tests.
struct NlpProblem {
  KLVOprob prob = nullptr;
  KSLPprob slp = nullptr;
  NlpProblem() {
    EXPECT_EQ(KLVOinit(nullptr), 0);
    EXPECT_EQ(KSLPinit(), 0);
    EXPECT_EQ(KLVOcreateprob(&prob), 0);
    EXPECT_EQ(KSLPcreateprob(&slp, &prob), 0);
  }
  ~NlpProblem() {
    KSLPdestroyprob(slp);
    KLVOdestroyprob(prob);
    KSLPfree();
    KLVOfree();
  }
  NlpProblem(const NlpProblem &) = delete;
  NlpProblem &operator=(const NlpProblem &) = delete;

  // n columns with the given bounds (empty: free) and objective (empty: 0).
  void columns(int n, std::vector<double> lb = {}, std::vector<double> ub = {}, std::vector<double> obj = {}) {
    if (lb.empty()) lb.assign(n, -KLVO_INFINITY);
    if (ub.empty()) ub.assign(n, KLVO_INFINITY);
    if (obj.empty()) obj.assign(n, 0.0);
    ASSERT_EQ(KLVOaddcols(prob, n, 0, obj.data(), nullptr, nullptr, nullptr, lb.data(), ub.data()), 0) << error();
  }
  // A row `type` rhs with linear part `lin` (column, value) and nonlinear part f; returns its index.
  int row(char type, double rhs, const Ex *f = nullptr, std::vector<std::pair<int, double>> lin = {}) {
    std::vector<int> cols;
    std::vector<double> vals;
    for (auto &p : lin) {
      cols.push_back(p.first);
      vals.push_back(p.second);
    }
    int start[2] = {0, static_cast<int>(cols.size())};
    EXPECT_EQ(KLVOaddrows(prob, 1, static_cast<int>(cols.size()), &type, &rhs, nullptr, start, cols.data(), vals.data()), 0)
        << error();
    int r = int_attr(kSlpRows) - 1;
    if (f) add(r, -1000, 1.0, *f);
    return r;
  }
  void objective(const Ex &f) { add(-1, -1000, 1.0, f); }
  void add(int row, int col, double factor, const Ex &f) {
    int fstart[2] = {0, static_cast<int>(f.type.size())};
    ASSERT_EQ(KSLPaddcoefs(slp, 1, &row, &col, &factor, fstart, 1, f.type.data(), f.value.data()), 0) << slp_error();
  }
  // Initial values of the first x0.size() columns.
  void start(std::vector<double> x0) {
    std::vector<int> cols(x0.size());
    for (size_t j = 0; j < x0.size(); ++j) cols[j] = static_cast<int>(j);
    ASSERT_EQ(KLVOnlpsetinitval(prob, static_cast<int>(x0.size()), cols.data(), x0.data()), 0) << error();
  }
  int int_attr(int id) {
    int v = -1;
    EXPECT_EQ(KSLPgetintattrib(slp, id, &v), 0);
    return v;
  }
  int status() { return int_attr(kSlpStatus); }
  // Solves through KLVOnlpoptimize; returns the layer's status.
  int optimize() {
    EXPECT_EQ(KLVOnlpoptimize(prob, nullptr), 0) << error();
    return status();
  }
  int iterations() { return int_attr(kSlpIterations); }
  double objval() {
    double v = 0;
    EXPECT_EQ(KSLPgetdblattrib(slp, kSlpObjVal, &v), 0);
    return v;
  }
  std::vector<double> x() {
    std::vector<double> v(int_attr(kSlpCols));
    EXPECT_EQ(KSLPgetslpsol(slp, v.data(), nullptr, nullptr, nullptr), 0) << slp_error();
    return v;
  }
  int coefs() {
    int n = -1;
    EXPECT_EQ(KSLPgetcoefs(slp, &n, nullptr, nullptr), 0);
    return n;
  }
  std::string error() { return last_error(prob); }
  std::string slp_error() {
    char text[512] = "";
    int code = 0;
    KSLPgetlasterror(slp, &code, text);
    return text;
  }
};

// A column's settings and state in the nonlinear layer, as KSLPgetvar gives them.
struct SlpVar {
  int detrow = -5, tolset = -5, history = -5, converged = -5, vartype = -5, delta = -5, penaltydelta = -5,
      updaterow = -5;
  double initstepbound = -5, stepbound = -5, penalty = -5, damp = -5, initvalue = -5, value = -5, oldvalue = -5;
};
inline SlpVar slp_var(KSLPprob slp, int col) {
  SlpVar v;
  EXPECT_EQ(KSLPgetvar(slp, col, &v.detrow, &v.initstepbound, &v.stepbound, &v.penalty, &v.damp, &v.initvalue,
                       &v.value, &v.tolset, &v.history, &v.converged, &v.vartype, &v.delta, &v.penaltydelta,
                       &v.updaterow, &v.oldvalue),
            0);
  return v;
}

}  // namespace klvo_test
