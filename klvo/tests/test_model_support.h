// Test support: reads a whole model back through the C interface into plain containers so
// that two models can be compared field by field.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "klvo.h"

namespace klvo_test {

// Number of elements of a name type, found by probing which indices the library accepts.
inline int count_of(KLVOprob prob, int type) {
  auto valid = [&](int i) {
    const char *p = nullptr;
    return KLVOgetnamepointer(prob, type, i, &p) == 0;
  };
  int lo = 0, hi = 1;
  while (valid(hi - 1)) hi *= 2;  // valid(lo - 1) holds, valid(hi - 1) does not
  while (hi - lo > 1) {
    int mid = (lo + hi) / 2;
    if (valid(mid - 1)) lo = mid; else hi = mid;
  }
  return lo;
}
inline int ncols(KLVOprob p) { return count_of(p, 2); }
inline int nrows(KLVOprob p) { return count_of(p, 1); }
inline int nsets(KLVOprob p) { return count_of(p, 3); }

inline std::vector<std::string> names(KLVOprob prob, int type, int count) {
  std::vector<std::string> out;
  if (count == 0) return out;
  int need = 0;
  EXPECT_EQ(KLVOgetnamelist(prob, type, nullptr, 0, &need, 0, count - 1), 0);
  std::string buf(need, '\0');
  EXPECT_EQ(KLVOgetnamelist(prob, type, &buf[0], need, nullptr, 0, count - 1), 0);
  size_t pos = 0;
  for (int i = 0; i < count; ++i) {
    size_t end = buf.find('\0', pos);
    out.push_back(buf.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

struct Snapshot {
  std::string name;
  int ncols = 0, nrows = 0;
  std::vector<double> obj, lb, ub, rhs, range;
  std::string coltype, rowtype;
  std::map<int, double> limit;                            // column -> limit (S, R, P columns)
  std::map<std::pair<int, int>, double> matrix;           // (row, col) -> value
  std::map<std::pair<int, int>, double> qobj;             // (i, j) -> Q_ij, both triangles
  std::map<std::tuple<int, int, int>, double> qrows;      // (row, i <= j) -> P_ij
  std::vector<int> indcol, indcomp;
  std::vector<std::pair<char, std::vector<std::pair<int, double>>>> sets;
  std::vector<std::string> rownames, colnames, setnames;

  bool operator==(const Snapshot &o) const {
    return std::tie(name, ncols, nrows, obj, lb, ub, rhs, range, coltype, rowtype, limit, matrix, qobj, qrows, indcol,
                    indcomp, sets, rownames, colnames, setnames) ==
           std::tie(o.name, o.ncols, o.nrows, o.obj, o.lb, o.ub, o.rhs, o.range, o.coltype, o.rowtype, o.limit,
                    o.matrix, o.qobj, o.qrows, o.indcol, o.indcomp, o.sets, o.rownames, o.colnames, o.setnames);
  }
};

// Which fields differ, for failure messages.
inline std::string diff(const Snapshot &a, const Snapshot &b) {
  std::string out;
  auto note = [&](bool same, const char *what) {
    if (!same) out += std::string(what) + " ";
  };
  note(a.name == b.name, "name");
  note(a.ncols == b.ncols, "ncols");
  note(a.nrows == b.nrows, "nrows");
  note(a.obj == b.obj, "obj");
  note(a.lb == b.lb, "lb");
  note(a.ub == b.ub, "ub");
  note(a.rhs == b.rhs, "rhs");
  note(a.range == b.range, "range");
  note(a.coltype == b.coltype, "coltype");
  note(a.rowtype == b.rowtype, "rowtype");
  note(a.limit == b.limit, "limit");
  note(a.matrix == b.matrix, "matrix");
  note(a.qobj == b.qobj, "qobj");
  note(a.qrows == b.qrows, "qrows");
  note(a.indcol == b.indcol && a.indcomp == b.indcomp, "indicators");
  note(a.sets == b.sets, "sets");
  note(a.rownames == b.rownames, "rownames");
  note(a.colnames == b.colnames, "colnames");
  note(a.setnames == b.setnames, "setnames");
  return out;
}

inline Snapshot snapshot(KLVOprob prob) {
  Snapshot s;
  char pname[1024];
  EXPECT_EQ(KLVOgetprobname(prob, pname), 0);
  s.name = pname;
  const int n = s.ncols = ncols(prob), m = s.nrows = nrows(prob);
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
  return s;
}

// A problem handle for one test, with the library initialised around it.
class ProblemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(KLVOinit(nullptr), 0);
    ASSERT_EQ(KLVOcreateprob(&prob), 0);
  }
  void TearDown() override {
    EXPECT_EQ(KLVOdestroyprob(prob), 0);
    EXPECT_EQ(KLVOfree(), 0);
  }
  std::string last_error() const {
    char text[512];
    KLVOgetlasterror(prob, text);
    return text;
  }
  KLVOprob prob = nullptr;
};

}  // namespace klvo_test
