#include "engines/gencons_milp.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "env/error.h"
#include "model/edit.h"
#include "model/gencons.h"

namespace klvo {

namespace {

constexpr double kInf = 1.0e20;

using Terms = std::vector<std::pair<int, double>>;

class Builder {
 public:
  explicit Builder(const ModelStore &source) : out(source) {
    out.gencons.clear();
    out.pwlcons.clear();
  }

  // The range a column's values lie in; fails when the bound `what` needs is infinite.
  double lower(int j, const char *what, int k) const {
    double v = out.lb[j];
    if (out.coltype[j] == 'S' || out.coltype[j] == 'R') v = std::min(v, 0.0);
    if (v <= -kInf) unbounded(j, "lower", what, k);
    return v;
  }
  double upper(int j, const char *what, int k) const {
    double v = out.ub[j];
    if (out.coltype[j] == 'S' || out.coltype[j] == 'R') v = std::max(v, 0.0);
    if (v >= kInf) unbounded(j, "upper", what, k);
    return v;
  }

  int binary() {
    const double lb = 0.0, ub = 1.0;
    SparseBlock none;
    none.count = 1;
    add_cols(out, fn, nullptr, none, &lb, &ub);
    int j = out.ncols() - 1;
    out.coltype[j] = 'B';
    return j;
  }

  int continuous(double lb, double ub) {
    SparseBlock none;
    none.count = 1;
    add_cols(out, fn, nullptr, none, &lb, &ub);
    return out.ncols() - 1;
  }

  // sum(terms) type rhs; repeated columns are summed first.
  void row(Terms terms, char type, double rhs) {
    std::sort(terms.begin(), terms.end());
    Terms merged;
    for (auto [j, v] : terms) {
      if (!merged.empty() && merged.back().first == j) merged.back().second += v;
      else merged.push_back({j, v});
    }
    std::vector<int> index;
    std::vector<double> value;
    for (auto [j, v] : merged)
      if (v != 0.0) {
        index.push_back(j);
        value.push_back(v);
      }
    int64_t start[2] = {0, static_cast<int64_t>(index.size())};
    SparseBlock b;
    b.count = 1;
    b.nentries = start[1];
    b.start = start;
    b.index = index.data();
    b.value = value.data();
    add_rows(out, fn, &type, &rhs, nullptr, b);
  }

  // The resultant of and / or is 0 or 1 by definition.
  void unit_interval(int j) {
    out.lb[j] = std::max(out.lb[j], 0.0);
    out.ub[j] = std::min(out.ub[j], 1.0);
  }

  void max_min(const GenCons &g, int k) {
    const bool is_max = g.type == KLVO_GENCONS_MAX;
    const char *what = is_max ? "max" : "min";
    const int y = g.resultant;
    // Operands as (column or -1, constant); the constants reduce to their max (min).
    std::vector<std::pair<int, double>> ops;
    for (int j : g.cols) ops.push_back({j, 0.0});
    if (!g.vals.empty()) {
      double c = is_max ? *std::max_element(g.vals.begin(), g.vals.end())
                        : *std::min_element(g.vals.begin(), g.vals.end());
      ops.push_back({-1, c});
    }
    auto lo = [&](const std::pair<int, double> &o) { return o.first < 0 ? o.second : lower(o.first, what, k); };
    auto hi = [&](const std::pair<int, double> &o) { return o.first < 0 ? o.second : upper(o.first, what, k); };
    // The resultant equals the largest operand: never below any, and at most the one chosen.
    // For min, the mirror image.
    double extreme = is_max ? -kInf : kInf;
    for (const auto &o : ops) extreme = is_max ? std::max(extreme, hi(o)) : std::min(extreme, lo(o));
    Terms choose;
    for (const auto &o : ops) {
      int z = binary();
      choose.push_back({z, 1.0});
      Terms bound = {{y, 1.0}};
      if (o.first >= 0) bound.push_back({o.first, -1.0});
      double c = o.first < 0 ? o.second : 0.0;
      row(bound, is_max ? 'G' : 'L', c);
      // max: y - x_i + (extreme - lo_i) z <= extreme - lo_i; min: y - x_i - (hi_i - extreme) z >= -(hi_i - extreme).
      double big = is_max ? extreme - lo(o) : hi(o) - extreme;
      bound.push_back({z, is_max ? big : -big});
      row(bound, is_max ? 'L' : 'G', (is_max ? big : -big) + c);
    }
    row(choose, 'E', 1.0);
  }

  void and_or(const GenCons &g, int k) {
    const int y = g.resultant;
    const double n = static_cast<double>(g.cols.size());
    unit_interval(y);
    Terms all = {{y, 1.0}};
    for (int j : g.cols) {
      bool binary_valued = out.coltype[j] == 'B' || (out.coltype[j] == 'I' && out.lb[j] >= 0.0 && out.ub[j] <= 1.0);
      if (!binary_valued)
        fail(KLVO_ERR_NOT_SUPPORTED, "Cannot solve this problem: general constraint %d (%s) needs binary columns, "
             "and column %d is not one", k, g.type == KLVO_GENCONS_AND ? "and" : "or", j);
      // and: y <= x_j, y >= sum x - (k - 1); or: y >= x_j, y <= sum x.
      row({{y, 1.0}, {j, -1.0}}, g.type == KLVO_GENCONS_AND ? 'L' : 'G', 0.0);
      all.push_back({j, -1.0});
    }
    if (g.type == KLVO_GENCONS_AND) row(all, 'G', 1.0 - n);
    else row(all, 'L', 0.0);
  }

  void absolute(const GenCons &g, int k) {
    const int y = g.resultant, x = g.cols[0];
    const double lo = lower(x, "abs", k), hi = upper(x, "abs", k);
    if (lo >= 0.0 || hi <= 0.0) {  // the sign is known
      row({{y, 1.0}, {x, lo >= 0.0 ? -1.0 : 1.0}}, 'E', 0.0);
      return;
    }
    // z = 1: x >= 0 and y = x; z = 0: x <= 0 and y = -x.
    int z = binary();
    row({{y, 1.0}, {x, -1.0}}, 'G', 0.0);
    row({{y, 1.0}, {x, 1.0}}, 'G', 0.0);
    row({{x, 1.0}, {z, lo}}, 'G', lo);           // x >= lo (1 - z)
    row({{x, 1.0}, {z, -hi}}, 'L', 0.0);         // x <= hi z
    row({{y, 1.0}, {x, -1.0}, {z, -2 * lo}}, 'L', -2 * lo);  // y <= x - 2 lo (1 - z)
    row({{y, 1.0}, {x, 1.0}, {z, -2 * hi}}, 'L', 0.0);       // y <= -x + 2 hi z
  }

  void piecewise(const PwlCons &c, int k) {
    const double lo = lower(c.col, "pwl", k), hi = upper(c.col, "pwl", k);
    // Segments with distinct ends, the outer ones extended beyond the breakpoints.
    struct Segment {
      double a, fa, b, fb;
    };
    std::vector<Segment> all;
    for (size_t p = 0; p + 1 < c.x.size(); ++p)
      if (c.x[p + 1] > c.x[p]) all.push_back({c.x[p], c.y[p], c.x[p + 1], c.y[p + 1]});
    if (all.empty())
      fail(KLVO_ERR_NOT_SUPPORTED,
           "Cannot solve this problem: piecewise-linear constraint %d has all its breakpoints at one abscissa", k);
    auto at = [](const Segment &s, double x) { return s.fa + (s.fb - s.fa) * (x - s.a) / (s.b - s.a); };
    Segment &first = all.front();
    if (lo < first.a) first = {lo, at(first, lo), first.b, first.fb};
    Segment &last = all.back();
    if (hi > last.b) last = {last.a, last.fa, hi, at(last, hi)};
    // Keep what meets [lo, hi], clipped to it.
    std::vector<Segment> used;
    for (const Segment &s : all) {
      if (s.b < lo || s.a > hi) continue;
      double a = std::max(s.a, lo), b = std::min(s.b, hi);
      used.push_back({a, at(s, a), b, at(s, b)});
    }
    if (used.empty()) {
      // The column's range misses every segment only through rounding at a jump's edge.
      fail(KLVO_ERR_NOT_SUPPORTED, "Cannot solve this problem: piecewise-linear constraint %d is not defined on the "
           "range of its column", k);
    }
    // x = sum(a_s z_s + (b_s - a_s) t_s), y = sum(fa_s z_s + (fb_s - fa_s) t_s), 0 <= t_s <= z_s.
    Terms choose, xrow = {{c.col, -1.0}}, yrow = {{c.resultant, -1.0}};
    for (const Segment &s : used) {
      int z = binary(), t = continuous(0.0, 1.0);
      row({{t, 1.0}, {z, -1.0}}, 'L', 0.0);
      choose.push_back({z, 1.0});
      xrow.push_back({z, s.a});
      xrow.push_back({t, s.b - s.a});
      yrow.push_back({z, s.fa});
      yrow.push_back({t, s.fb - s.fa});
    }
    row(choose, 'E', 1.0);
    row(xrow, 'E', 0.0);
    row(yrow, 'E', 0.0);
  }

  ModelStore out;

 private:
  [[noreturn]] void unbounded(int j, const char *side, const char *what, int k) const {
    bool pwl = std::string(what) == "pwl";
    fail(KLVO_ERR_NOT_SUPPORTED,
         "Cannot solve this problem: %s %d needs a finite %s bound on column %d (%s)",
         pwl ? "piecewise-linear constraint" : "general constraint", k, side, j,
         pwl ? "its argument" : what);
  }

  const char *fn = "KLVOoptimize";
};

}  // namespace

ModelStore gencons_as_milp(const ModelStore &m) {
  Builder b(m);
  for (size_t k = 0; k < m.gencons.size(); ++k) {
    const GenCons &g = m.gencons[k];
    switch (g.type) {
      case KLVO_GENCONS_MAX:
      case KLVO_GENCONS_MIN: b.max_min(g, static_cast<int>(k)); break;
      case KLVO_GENCONS_AND:
      case KLVO_GENCONS_OR: b.and_or(g, static_cast<int>(k)); break;
      case KLVO_GENCONS_ABS: b.absolute(g, static_cast<int>(k)); break;
    }
  }
  for (size_t k = 0; k < m.pwlcons.size(); ++k) b.piecewise(m.pwlcons[k], static_cast<int>(k));
  return std::move(b.out);
}

}  // namespace klvo
