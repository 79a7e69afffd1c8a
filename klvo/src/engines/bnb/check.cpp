#include "engines/bnb/check.h"

#include <algorithm>
#include <cmath>

#include "engines/solution_info.h"
#include "env/error.h"
#include "klvo/gencons.h"

namespace klvo {
namespace bnb {

namespace {

double pwl_value(const PwlCons &c, double v) {
  const auto &x = c.x, &y = c.y;
  size_t n = x.size();
  if (n == 1) return y[0];
  // Left of the first or right of the last breakpoint: the end segment extended.
  if (v <= x[0]) return x[1] > x[0] ? y[0] + (y[1] - y[0]) * (v - x[0]) / (x[1] - x[0]) : y[0];
  if (v >= x[n - 1])
    return x[n - 1] > x[n - 2] ? y[n - 1] + (y[n - 1] - y[n - 2]) * (v - x[n - 1]) / (x[n - 1] - x[n - 2]) : y[n - 1];
  for (size_t p = 0; p + 1 < n; ++p)
    if (v >= x[p] && v <= x[p + 1] && x[p + 1] > x[p]) return y[p] + (y[p + 1] - y[p]) * (v - x[p]) / (x[p + 1] - x[p]);
  return y[n - 1];
}

// Distance of the resultant from the value(s) a piecewise-linear function allows at v: at a
// jump both ordinates are allowed.
double pwl_violation(const PwlCons &c, double v, double r) {
  double best = std::fabs(r - pwl_value(c, v));
  for (size_t p = 0; p + 1 < c.x.size(); ++p)
    if (c.x[p] == c.x[p + 1] && std::fabs(v - c.x[p]) <= 1e-9 * (1 + std::fabs(v)))
      best = std::min({best, std::fabs(r - c.y[p]), std::fabs(r - c.y[p + 1])});
  return best;
}

}  // namespace

Checker::Checker(const ModelStore &m, const kslp_problem_s *layer, double feastol, double inttol)
    : m_(m), feastol_(feastol), inttol_(inttol) {
  if (layer && m.formulas.size() > 0) nlp_ = std::make_unique<nlp::NlpModel>(m, layer);
}

std::vector<double> Checker::activities(const std::vector<double> &x) {
  if (!nlp_) return row_activities(m_, x.data());
  std::vector<double> act(m_.nrows());
  if (!nlp_->row_activities(x.data(), act.data())) act.assign(m_.nrows(), NAN);
  return act;
}

double Checker::objective(const std::vector<double> &x) {
  if (!nlp_) return objective_value(m_, x.data());
  double f = NAN;
  nlp_->objective(x.data(), f);
  return f;
}

double Checker::violation(const std::vector<double> &x, std::string *what) {
  double worst = 0;
  auto note = [&](double v, const char *kind, int index) {
    if (!(v <= worst)) {  // NaN counts as a violation too
      worst = std::isnan(v) ? INFINITY : v;
      if (what) *what = format("%s %d", kind, index);
    }
  };
  const int n = m_.ncols();
  for (int j = 0; j < n; ++j) {
    double v = x[j], lo = m_.lb[j], up = m_.ub[j];
    char t = m_.coltype[j];
    if (t == 'B') lo = std::max(lo, 0.0), up = std::min(up, 1.0);
    bool semi = t == 'S' || t == 'R';
    if (semi) lo = std::max(lo, m_.limit[j]);
    if (semi && std::fabs(v) <= feastol_) continue;  // off
    double amount = std::max({lo - v, v - up, 0.0});
    note(amount / (1 + std::fabs(amount > 0 && lo - v > 0 ? lo : up)), "column", j);
    bool integral = t == 'B' || t == 'I' || t == 'R' || (t == 'P' && v < m_.limit[j] - inttol_);
    if (integral) note(std::fabs(v - std::round(v)) > inttol_ ? std::fabs(v - std::round(v)) : 0, "integer column", j);
  }
  std::vector<double> act = activities(x);
  const bool indicators = !m_.indcol.empty();
  for (int i = 0; i < m_.nrows(); ++i) {
    if (indicators && m_.indcomp[i] != 0) {
      double b = x[m_.indcol[i]];
      bool enforced = m_.indcomp[i] > 0 ? std::fabs(b - 1) <= inttol_ : std::fabs(b) <= inttol_;
      if (!enforced) continue;
    }
    double rhs = m_.rhs[i], a = act[i], amount = 0, against = rhs;
    switch (m_.rowtype[i]) {
      case 'L': amount = a - rhs; break;
      case 'G': amount = rhs - a; break;
      case 'E': amount = std::fabs(a - rhs); break;
      case 'R':
        amount = std::max(a - rhs, rhs - std::fabs(m_.range[i]) - a);
        if (rhs - std::fabs(m_.range[i]) - a > a - rhs) against = rhs - std::fabs(m_.range[i]);
        break;
      default: break;
    }
    note(std::isnan(a) ? NAN : std::max(amount, 0.0) / (1 + std::fabs(against)), "row", i);
  }
  for (int k = 0; k < m_.nsets(); ++k) {
    const SosSet &s = m_.sets[k];
    std::vector<std::pair<double, int>> order;
    for (size_t p = 0; p < s.cols.size(); ++p) order.push_back({s.weights[p], s.cols[p]});
    std::sort(order.begin(), order.end());
    int first = -1, last = -1, count = 0;
    double smallest = 0;  // the smallest non-zero beyond what the set allows
    std::vector<double> nonzero;
    for (size_t p = 0; p < order.size(); ++p)
      if (std::fabs(x[order[p].second]) > feastol_) {
        if (first < 0) first = static_cast<int>(p);
        last = static_cast<int>(p);
        ++count;
        nonzero.push_back(std::fabs(x[order[p].second]));
      }
    bool ok = s.type == '1' ? count <= 1 : last - first <= 1;
    if (!ok) {
      std::sort(nonzero.begin(), nonzero.end());
      smallest = nonzero.front();
    }
    note(smallest, "set", k);
  }
  for (size_t k = 0; k < m_.gencons.size(); ++k) {
    const GenCons &g = m_.gencons[k];
    double r = x[g.resultant], want = 0;
    switch (g.type) {
      case KLVO_GENCONS_MAX:
      case KLVO_GENCONS_MIN: {
        bool is_max = g.type == KLVO_GENCONS_MAX;
        want = is_max ? -INFINITY : INFINITY;
        for (int j : g.cols) want = is_max ? std::max(want, x[j]) : std::min(want, x[j]);
        for (double c : g.vals) want = is_max ? std::max(want, c) : std::min(want, c);
        break;
      }
      case KLVO_GENCONS_ABS:
        want = g.cols.empty() ? 0 : std::fabs(x[g.cols[0]]);
        break;
      case KLVO_GENCONS_AND:
      case KLVO_GENCONS_OR: {
        bool is_and = g.type == KLVO_GENCONS_AND;
        want = is_and ? 1 : 0;
        for (int j : g.cols) {
          bool one = std::fabs(x[j] - 1) <= inttol_;
          if (is_and && !one) want = 0;
          if (!is_and && one) want = 1;
        }
        break;
      }
      default:
        continue;
    }
    note(std::fabs(r - want) / (1 + std::fabs(want)), "general constraint", static_cast<int>(k));
  }
  for (size_t k = 0; k < m_.pwlcons.size(); ++k) {
    const PwlCons &c = m_.pwlcons[k];
    double r = x[c.resultant];
    note(pwl_violation(c, x[c.col], r) / (1 + std::fabs(r)), "piecewise-linear constraint", static_cast<int>(k));
  }
  return worst;
}

}  // namespace bnb
}  // namespace klvo
