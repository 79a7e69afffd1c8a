#include "engines/nlp/slp/slp_cascade.h"

#include <algorithm>
#include <cmath>

#include "engines/nlp/slp/slp_events.h"
#include "env/problem.h"

namespace klvo {
namespace nlp {

namespace {

const double kBig = 1e20;

// How far the activity a lies outside [lo, hi], signed (positive above).
double residual(double a, double lo, double hi) {
  if (lo > -kBig && a < lo) return a - lo;
  if (hi < kBig && a > hi) return a - hi;
  return 0.0;
}

double scale_of(const CascadeColumn &c) {
  double t = c.lo > -kBig ? std::fabs(c.lo) : (c.hi < kBig ? std::fabs(c.hi) : 0.0);
  return std::max(1.0, t);
}

}  // namespace

CascadeOutcome run_cascade(kslp_problem_s *slp, const std::vector<CascadeColumn> &cols, std::vector<double> &x,
                           const ActivityFn &activity, int passes, double tol) {
  CascadeOutcome out;
  if (cols.empty()) return out;
  if (fire(slp, KSLP_CB_CASCADESTART)) return out;
  out.ran = true;
  std::vector<double> act;
  auto res_at = [&](const CascadeColumn &c, double &r) {
    if (!activity(x.data(), act)) return false;
    r = residual(act[c.row], c.lo, c.hi);
    return std::isfinite(act[c.row]);
  };
  std::vector<char> moved(cols.size(), 0);
  for (int pass = 0; pass < passes; ++pass) {
    bool progress = false;
    for (size_t k = 0; k < cols.size(); ++k) {
      const CascadeColumn &c = cols[k];
      double old = x[c.col], r = 0;
      bool ok = false;
      // Newton steps on the row's activity, the derivative by central differences.
      for (int it = 0; it < c.limit; ++it) {
        if (!res_at(c, r)) break;
        if (std::fabs(r) <= 1e-12 * scale_of(c)) {
          ok = true;
          break;
        }
        double xc = x[c.col], h = 1e-6 * std::max(1.0, std::fabs(xc)), ap, am;
        x[c.col] = xc + h;
        bool okp = activity(x.data(), act);
        ap = okp ? act[c.row] : 0.0;
        x[c.col] = xc - h;
        bool okm = activity(x.data(), act);
        am = okm ? act[c.row] : 0.0;
        x[c.col] = xc;
        double slope = (okp && okm) ? (ap - am) / (2 * h) : 0.0;
        if (slope == 0.0 || !std::isfinite(slope)) break;
        x[c.col] = xc - r / slope;
      }
      if (!ok && res_at(c, r) && std::fabs(r) <= 1e-9 * scale_of(c)) ok = true;
      if (!ok) {
        x[c.col] = old;
        fire_column(slp, KSLP_CB_CASCADEVARFAIL, c.model_col);
        continue;
      }
      if (x[c.col] < c.xl || x[c.col] > c.xu) {
        double nv = std::min(std::max(x[c.col], c.xl), c.xu);
        kslp_problem_s::EventFn e = slp ? slp->event(KSLP_CB_DRCOL) : kslp_problem_s::EventFn();
        if (e.fn) {
          double given = nv;
          reinterpret_cast<KSLPdrcolcb>(e.fn)(slp, e.data, c.model_col, x[c.col], &given, c.xl, c.xu);
          if (std::isfinite(given)) nv = given;
        }
        x[c.col] = nv;
      }
      if (std::fabs(x[c.col] - old) <= tol || fire_column(slp, KSLP_CB_CASCADEVAR, c.model_col)) x[c.col] = old;
      if (x[c.col] != old) moved[k] = 1, progress = true;
    }
    // Another pass only while it moves columns and some determining row is still off (a later
    // column fed an earlier one).
    if (!progress || pass + 1 >= passes || !activity(x.data(), act)) break;
    bool all = true;
    for (const CascadeColumn &c : cols)
      if (std::fabs(residual(act[c.row], c.lo, c.hi)) > 1e-9 * scale_of(c)) all = false;
    if (all) break;
  }
  out.changed = static_cast<int>(std::count(moved.begin(), moved.end(), 1));
  fire(slp, KSLP_CB_CASCADEEND);
  return out;
}

std::vector<CascadeColumn> model_cascade(kslp_problem_s &slp, const char *fn) {
  if (slp.cascade_order.empty()) cascade_order(slp, fn);
  const ModelStore &ms = slp.prob->model;
  int n = ms.ncols(), nr = ms.nrows();
  std::vector<CascadeColumn> cols;
  for (int c : slp.cascade_order) {
    const VarSettings &v = slp.vars[c];
    if (v.detrow < 0 || v.detrow >= nr || c >= n || (v.vartype & KSLP_VAR_NOCASCADE)) continue;
    double r = ms.rhs[v.detrow];
    cols.push_back({c, v.detrow, c, r, r, ms.lb[c], ms.ub[c], v.cascadelimit});
  }
  return cols;
}

}  // namespace nlp
}  // namespace klvo
