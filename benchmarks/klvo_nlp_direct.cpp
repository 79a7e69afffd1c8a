// Formula evaluation against compiled code: the beam problem, chained Rosenbrock (with and
// without bounds) and HS071, each solved through the library from its formulas and through a
// hand-written Ipopt problem with compiled derivatives, with the same Ipopt options in one
// run. Ipopt's own "CPU secs in NLP function evaluations" of each solve is read from its output
// file. Objectives must agree (both give Ipopt the same problem); iterations may differ by
// rounding on long runs.
//
// Usage: klvo_nlp_direct [N [MODELS]]   (default 10000: beam N, Rosenbrock N; HS071 solved 100
// times; MODELS picks some of b beam, r Rosenbrock, B bounded Rosenbrock, h HS071: default brBh)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <IpIpoptApplication.hpp>
#include <IpTNLP.hpp>

#include "klvo.h"
#include "klvo_bench_util.h"

namespace {

using bench::Clock;
using bench::check;
using bench::seconds;
using Ipopt::Index;
using Ipopt::Number;

const double kAlpha = 350.0;
const char *const kOut = "klvo_nlp_direct.out";

// Iterations and evaluation CPU seconds from an Ipopt output file.
void ipopt_report(int &iterations, double &evaluation) {
  std::ifstream in(kOut);
  std::stringstream all;
  all << in.rdbuf();
  std::string text = all.str();
  iterations = -1;
  evaluation = -1;
  size_t p = text.find("Number of Iterations");
  if (p != std::string::npos) iterations = std::atoi(text.c_str() + text.find(':', p) + 1);
  p = text.find("Total CPU secs in NLP function evaluations");
  if (p != std::string::npos) evaluation = std::atof(text.c_str() + text.find('=', p) + 1);
}

struct Outcome {
  double build = 0, solve = 0, objective = 0, evaluation = 0;
  int iterations = 0;
};

// ---- the models as hand-written Ipopt problems --------------------------------------------------

// Dense-free callbacks shared by the three models; the derived class fills in the rest.
class Direct : public Ipopt::TNLP {
 public:
  double objective = 0;
  bool get_starting_point(Index n, bool, Number *x, bool, Number *, Number *, Index, bool, Number *) override {
    for (Index j = 0; j < n; ++j) x[j] = std::min(std::max(0.0, lb_[j]), ub_[j]);
    return true;
  }
  bool get_bounds_info(Index n, Number *xl, Number *xu, Index m, Number *gl, Number *gu) override {
    for (Index j = 0; j < n; ++j) {
      xl[j] = lb_[j];
      xu[j] = ub_[j];
    }
    for (Index i = 0; i < m; ++i) {
      gl[i] = gl_[i];
      gu[i] = gu_[i];
    }
    return true;
  }
  void finalize_solution(Ipopt::SolverReturn, Index, const Number *, const Number *, const Number *, Index,
                         const Number *, const Number *, Number obj, const Ipopt::IpoptData *,
                         Ipopt::IpoptCalculatedQuantities *) override {
    objective = obj;
  }

 protected:
  std::vector<double> lb_, ub_, gl_, gu_;
};

// Columns t (N+1), x (N+1), u (N+1); rows x_{i+1} - x_i - h/2 (sin t_{i+1} + sin t_i) = 0, then
// t_{i+1} - t_i - h/2 (u_{i+1} + u_i) = 0.
class Beam : public Direct {
 public:
  explicit Beam(int n) : n_(n), h_(1.0 / n) {
    int c = 3 * (n + 1);
    lb_.assign(c, -1e20);
    ub_.assign(c, 1e20);
    for (int j = 0; j <= n; ++j) {
      lb_[T(j)] = -1;
      ub_[T(j)] = 1;
      lb_[X(j)] = -0.05;
      ub_[X(j)] = 0.05;
    }
    gl_.assign(2 * n, 0.0);
    gu_.assign(2 * n, 0.0);
  }
  bool get_nlp_info(Index &n, Index &m, Index &nnz_jac, Index &nnz_h, IndexStyleEnum &style) override {
    n = 3 * (n_ + 1);
    m = 2 * n_;
    nnz_jac = 8 * n_;
    nnz_h = 2 * (n_ + 1);
    style = C_STYLE;
    return true;
  }
  bool eval_f(Index, const Number *z, bool, Number &f) override {
    f = 0;
    for (int i = 0; i < n_; ++i)
      f += 0.5 * h_ * (z[U(i + 1)] * z[U(i + 1)] + z[U(i)] * z[U(i)]) +
           0.5 * kAlpha * h_ * (std::cos(z[T(i + 1)]) + std::cos(z[T(i)]));
    return true;
  }
  bool eval_grad_f(Index n, const Number *z, bool, Number *g) override {
    std::fill(g, g + n, 0.0);
    for (int j = 0; j <= n_; ++j) {
      double w = (j == 0 || j == n_) ? 1.0 : 2.0;
      g[T(j)] = -0.5 * kAlpha * h_ * w * std::sin(z[T(j)]);
      g[U(j)] = h_ * w * z[U(j)];
    }
    return true;
  }
  bool eval_g(Index, const Number *z, bool, Index, Number *g) override {
    for (int i = 0; i < n_; ++i) {
      g[i] = z[X(i + 1)] - z[X(i)] - 0.5 * h_ * (std::sin(z[T(i + 1)]) + std::sin(z[T(i)]));
      g[n_ + i] = z[T(i + 1)] - z[T(i)] - 0.5 * h_ * (z[U(i + 1)] + z[U(i)]);
    }
    return true;
  }
  bool eval_jac_g(Index, const Number *z, bool, Index, Index, Index *r, Index *c, Number *v) override {
    for (int i = 0, k = 0; i < n_; ++i, k += 4) {
      if (!v) {
        const int cols[4] = {X(i + 1), X(i), T(i + 1), T(i)}, lin[4] = {T(i + 1), T(i), U(i + 1), U(i)};
        for (int e = 0; e < 4; ++e) {
          r[k + e] = i;
          c[k + e] = cols[e];
          r[4 * n_ + k + e] = n_ + i;
          c[4 * n_ + k + e] = lin[e];
        }
        continue;
      }
      v[k] = 1;
      v[k + 1] = -1;
      v[k + 2] = -0.5 * h_ * std::cos(z[T(i + 1)]);
      v[k + 3] = -0.5 * h_ * std::cos(z[T(i)]);
      v[4 * n_ + k] = 1;
      v[4 * n_ + k + 1] = -1;
      v[4 * n_ + k + 2] = v[4 * n_ + k + 3] = -0.5 * h_;
    }
    return true;
  }
  bool eval_h(Index, const Number *z, bool, Number sigma, Index, const Number *lambda, bool, Index, Index *r, Index *c,
              Number *v) override {
    for (int j = 0; j <= n_; ++j) {
      if (!v) {
        r[j] = c[j] = T(j);
        r[n_ + 1 + j] = c[n_ + 1 + j] = U(j);
        continue;
      }
      double w = (j == 0 || j == n_) ? 1.0 : 2.0, s = 0.5 * h_ * std::sin(z[T(j)]);
      double ht = -sigma * 0.5 * kAlpha * h_ * w * std::cos(z[T(j)]);
      if (j < n_) ht += lambda[j] * s;
      if (j > 0) ht += lambda[j - 1] * s;
      v[j] = ht;
      v[n_ + 1 + j] = sigma * h_ * w;
    }
    return true;
  }

 private:
  int T(int j) const { return j; }
  int X(int j) const { return n_ + 1 + j; }
  int U(int j) const { return 2 * (n_ + 1) + j; }
  int n_;
  double h_;
};

// sum 100 (x_{i+1} - x_i^2)^2 + (1 - x_i)^2 within [lo, hi].
class Rosenbrock : public Direct {
 public:
  Rosenbrock(int n, double lo, double hi) : n_(n) {
    lb_.assign(n, lo);
    ub_.assign(n, hi);
  }
  bool get_nlp_info(Index &n, Index &m, Index &nnz_jac, Index &nnz_h, IndexStyleEnum &style) override {
    n = n_;
    m = 0;
    nnz_jac = 0;
    nnz_h = 2 * n_ - 1;
    style = C_STYLE;
    return true;
  }
  bool eval_f(Index, const Number *x, bool, Number &f) override {
    f = 0;
    for (int i = 0; i + 1 < n_; ++i) {
      double r = x[i + 1] - x[i] * x[i];
      f += 100 * r * r + (1 - x[i]) * (1 - x[i]);
    }
    return true;
  }
  bool eval_grad_f(Index, const Number *x, bool, Number *g) override {
    std::fill(g, g + n_, 0.0);
    for (int i = 0; i + 1 < n_; ++i) {
      double r = x[i + 1] - x[i] * x[i];
      g[i] += -400 * x[i] * r - 2 * (1 - x[i]);
      g[i + 1] += 200 * r;
    }
    return true;
  }
  bool eval_g(Index, const Number *, bool, Index, Number *) override { return true; }
  bool eval_jac_g(Index, const Number *, bool, Index, Index, Index *, Index *, Number *) override { return true; }
  bool eval_h(Index, const Number *x, bool, Number sigma, Index, const Number *, bool, Index, Index *r, Index *c,
              Number *v) override {
    if (!v) {
      for (int j = 0; j < n_; ++j) r[j] = c[j] = j;
      for (int j = 0; j + 1 < n_; ++j) {
        r[n_ + j] = j + 1;
        c[n_ + j] = j;
      }
      return true;
    }
    std::fill(v, v + 2 * n_ - 1, 0.0);
    for (int i = 0; i + 1 < n_; ++i) {
      v[i] += sigma * (1200 * x[i] * x[i] - 400 * x[i + 1] + 2);
      v[i + 1] += sigma * 200;
      v[n_ + i] = sigma * -400 * x[i];
    }
    return true;
  }

 private:
  int n_;
};

class Hs071 : public Direct {
 public:
  Hs071() {
    lb_.assign(4, 1.0);
    ub_.assign(4, 5.0);
    gl_ = {25, 40};
    gu_ = {2e19, 40};
  }
  bool get_nlp_info(Index &n, Index &m, Index &nnz_jac, Index &nnz_h, IndexStyleEnum &style) override {
    n = 4;
    m = 2;
    nnz_jac = 8;
    nnz_h = 10;
    style = C_STYLE;
    return true;
  }
  bool eval_f(Index, const Number *x, bool, Number &f) override {
    f = x[0] * x[3] * (x[0] + x[1] + x[2]) + x[2];
    return true;
  }
  bool eval_grad_f(Index, const Number *x, bool, Number *g) override {
    g[0] = x[0] * x[3] + x[3] * (x[0] + x[1] + x[2]);
    g[1] = x[0] * x[3];
    g[2] = x[0] * x[3] + 1;
    g[3] = x[0] * (x[0] + x[1] + x[2]);
    return true;
  }
  bool eval_g(Index, const Number *x, bool, Index, Number *g) override {
    g[0] = x[0] * x[1] * x[2] * x[3];
    g[1] = x[0] * x[0] + x[1] * x[1] + x[2] * x[2] + x[3] * x[3];
    return true;
  }
  bool eval_jac_g(Index, const Number *x, bool, Index, Index, Index *r, Index *c, Number *v) override {
    if (!v) {
      for (int k = 0; k < 8; ++k) {
        r[k] = k / 4;
        c[k] = k % 4;
      }
      return true;
    }
    v[0] = x[1] * x[2] * x[3];
    v[1] = x[0] * x[2] * x[3];
    v[2] = x[0] * x[1] * x[3];
    v[3] = x[0] * x[1] * x[2];
    for (int k = 0; k < 4; ++k) v[4 + k] = 2 * x[k];
    return true;
  }
  bool eval_h(Index, const Number *x, bool, Number s, Index, const Number *l, bool, Index, Index *r, Index *c,
              Number *v) override {
    if (!v) {
      for (int i = 0, k = 0; i < 4; ++i)
        for (int j = 0; j <= i; ++j, ++k) {
          r[k] = i;
          c[k] = j;
        }
      return true;
    }
    v[0] = s * 2 * x[3] + l[1] * 2;
    v[1] = s * x[3] + l[0] * x[2] * x[3];
    v[2] = l[1] * 2;
    v[3] = s * x[3] + l[0] * x[1] * x[3];
    v[4] = l[0] * x[0] * x[3];
    v[5] = l[1] * 2;
    v[6] = s * (2 * x[0] + x[1] + x[2]) + l[0] * x[1] * x[2];
    v[7] = s * x[0] + l[0] * x[0] * x[2];
    v[8] = s * x[0] + l[0] * x[0] * x[1];
    v[9] = l[1] * 2;
    return true;
  }
};

// The options the library hands Ipopt by default, and the output file.
Outcome solve_direct(Ipopt::SmartPtr<Direct> nlp) {
  Ipopt::SmartPtr<Ipopt::IpoptApplication> app = new Ipopt::IpoptApplication(false);
  Ipopt::OptionsList &o = *app->Options();
  o.SetStringValue("sb", "yes");
  o.SetIntegerValue("max_iter", 3000);
  o.SetNumericValue("tol", 1e-8);
  o.SetNumericValue("constr_viol_tol", 1e-6);
  o.SetNumericValue("acceptable_tol", 1e-6);
  o.SetIntegerValue("acceptable_iter", 15);
  o.SetNumericValue("mu_init", 0.1);
  o.SetStringValue("mu_strategy", "monotone");
  o.SetNumericValue("bound_push", 0.01);
  o.SetNumericValue("bound_frac", 0.01);
  o.SetNumericValue("nlp_lower_bound_inf", -1e19);
  o.SetNumericValue("nlp_upper_bound_inf", 1e19);
  o.SetStringValue("output_file", kOut);
  o.SetIntegerValue("file_print_level", 5);
  Outcome r;
  Clock::time_point t0 = Clock::now();
  if (app->Initialize() != Ipopt::Solve_Succeeded) std::exit(1);
  app->OptimizeTNLP(Ipopt::SmartPtr<Ipopt::TNLP>(GetRawPtr(nlp)));
  r.solve = seconds(t0, Clock::now());
  r.objective = nlp->objective;
  ipopt_report(r.iterations, r.evaluation);
  return r;
}

// ---- the same models through the library -------------------------------------------------------

struct Library {
  KLVOprob prob = nullptr;
  KSLPprob slp = nullptr;
  Library() {
    check(KLVOcreateprob(&prob), nullptr, "KLVOcreateprob");
    check(KSLPcreateprob(&slp, &prob), nullptr, "KSLPcreateprob");
    check(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, 0), prob, "KLVOsetintcontrol");
    std::string options = std::string("output_file ") + kOut + "; file_print_level 5";
    check(KSLPsetstrcontrol(slp, 12106, options.c_str()), prob, "KSLPsetstrcontrol");
  }
  ~Library() {
    KSLPdestroyprob(slp);
    KLVOdestroyprob(prob);
  }
  void columns(int n, double lo, double hi) {
    std::vector<double> obj(n, 0.0), lb(n, lo), ub(n, hi);
    check(KLVOaddcols(prob, n, 0, obj.data(), nullptr, nullptr, nullptr, lb.data(), ub.data()), prob, "KLVOaddcols");
  }
  // Rows of one type and right-hand side, with two or four linear entries each.
  void rows(char type, double rhs, int n, int per, const std::vector<int> &cols, const std::vector<double> &vals) {
    std::vector<char> t(n, type);
    std::vector<double> r(n, rhs);
    std::vector<int> start(n + 1);
    for (int i = 0; i <= n; ++i) start[i] = per * i;
    check(KLVOaddrows(prob, n, per * n, t.data(), r.data(), nullptr, start.data(), cols.data(), vals.data()), prob,
          "KLVOaddrows");
  }
  // One formula entry per row (row -1: the objective), all added in one call.
  void formulas(const std::vector<int> &row, const std::vector<int> &start, const std::vector<int> &type,
                const std::vector<double> &value) {
    int n = static_cast<int>(row.size());
    std::vector<int> col(n, -1000);
    std::vector<double> factor(n, 1.0);
    check(KSLPaddcoefs(slp, n, row.data(), col.data(), factor.data(), start.data(), 1, type.data(), value.data()), prob,
          "KSLPaddcoefs");
  }
  Outcome solve() {
    Outcome r;
    Clock::time_point t0 = Clock::now();
    check(KLVOnlpoptimize(prob, nullptr), prob, "KLVOnlpoptimize");
    r.solve = seconds(t0, Clock::now());
    KSLPgetdblattrib(slp, 12179, &r.objective);
    ipopt_report(r.iterations, r.evaluation);
    return r;
  }
};

// Tokens: 1 constant, 10 column, 12 function (27 sin, 28 cos), 22 start of arguments, 31
// operator (2 power, 3 times, 5 plus, 6 minus), 0 end.
void push(std::vector<int> &type, std::vector<double> &value, std::initializer_list<std::pair<int, double>> tokens) {
  for (auto &t : tokens) {
    type.push_back(t.first);
    value.push_back(t.second);
  }
}

Outcome library_beam(int n) {
  Clock::time_point t0 = Clock::now();
  Library lib;
  double h = 1.0 / n;
  int N1 = n + 1;
  lib.columns(N1, -1, 1);
  lib.columns(N1, -0.05, 0.05);
  lib.columns(N1, -1e20, 1e20);
  auto T = [](int j) { return j; };
  auto X = [&](int j) { return N1 + j; };
  auto U = [&](int j) { return 2 * N1 + j; };
  // The quadratic part of the objective: h/2 w_j u_j^2, w = 1 at the ends and 2 inside.
  std::vector<int> qc(N1);
  std::vector<double> qv(N1);
  for (int j = 0; j < N1; ++j) {
    qc[j] = U(j);
    qv[j] = h * ((j == 0 || j == n) ? 1.0 : 2.0);
  }
  check(KLVOchgmqobj(lib.prob, N1, qc.data(), qc.data(), qv.data()), lib.prob, "KLVOchgmqobj");
  std::vector<int> cols;
  std::vector<double> vals;
  for (int i = 0; i < n; ++i) {
    cols.insert(cols.end(), {X(i), X(i + 1)});
    vals.insert(vals.end(), {-1.0, 1.0});
  }
  lib.rows('E', 0, n, 2, cols, vals);
  cols.clear();
  vals.clear();
  for (int i = 0; i < n; ++i) {
    cols.insert(cols.end(), {T(i), T(i + 1), U(i), U(i + 1)});
    vals.insert(vals.end(), {-1.0, 1.0, -0.5 * h, -0.5 * h});
  }
  lib.rows('E', 0, n, 4, cols, vals);
  // -h/2 (sin t_{i+1} + sin t_i) in row i; alpha h/2 (cos t_{i+1} + cos t_i) in the objective.
  std::vector<int> row, start, type;
  std::vector<double> value;
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < n; ++i) {
      double f = k == 0 ? 28 : 27, c = k == 0 ? 0.5 * kAlpha * h : -0.5 * h;
      row.push_back(k == 0 ? -1 : i);
      start.push_back(static_cast<int>(type.size()));
      push(type, value, {{1, c}, {22, 0}, {10, T(i + 1)}, {12, f}, {22, 0}, {10, T(i)}, {12, f}, {31, 5}, {31, 3}, {0, 0}});
    }
  start.push_back(static_cast<int>(type.size()));
  lib.formulas(row, start, type, value);
  double build = seconds(t0, Clock::now());
  Outcome r = lib.solve();
  r.build = build;
  return r;
}

Outcome library_rosenbrock(int n, double lo, double hi) {
  Clock::time_point t0 = Clock::now();
  Library lib;
  lib.columns(n, lo, hi);
  std::vector<int> row, start, type;
  std::vector<double> value;
  for (int i = 0; i + 1 < n; ++i) {
    row.push_back(-1);
    start.push_back(static_cast<int>(type.size()));
    push(type, value, {{1, 100}, {10, i + 1}, {10, i}, {1, 2}, {31, 2}, {31, 6}, {1, 2}, {31, 2}, {31, 3},
                       {1, 1}, {10, i}, {31, 6}, {1, 2}, {31, 2}, {31, 5}, {0, 0}});
  }
  start.push_back(static_cast<int>(type.size()));
  lib.formulas(row, start, type, value);
  double build = seconds(t0, Clock::now());
  Outcome r = lib.solve();
  r.build = build;
  return r;
}

Outcome library_hs071() {
  Clock::time_point t0 = Clock::now();
  Library lib;
  lib.columns(4, 1, 5);
  int c2 = 2;
  double one = 1;
  check(KLVOchgobj(lib.prob, 1, &c2, &one), lib.prob, "KLVOchgobj");
  char types[2] = {'G', 'E'};
  double rhs[2] = {25, 40};
  check(KLVOaddrows(lib.prob, 2, 0, types, rhs, nullptr, nullptr, nullptr, nullptr), lib.prob, "KLVOaddrows");
  std::vector<int> row = {-1, 0, 1}, start, type;
  std::vector<double> value;
  start.push_back(0);
  push(type, value, {{10, 0}, {10, 3}, {31, 3}, {10, 0}, {10, 1}, {31, 5}, {10, 2}, {31, 5}, {31, 3}, {0, 0}});
  start.push_back(static_cast<int>(type.size()));
  push(type, value, {{10, 0}, {10, 1}, {31, 3}, {10, 2}, {31, 3}, {10, 3}, {31, 3}, {0, 0}});
  start.push_back(static_cast<int>(type.size()));
  push(type, value, {{10, 0}, {1, 2}, {31, 2}, {10, 1}, {1, 2}, {31, 2}, {31, 5}, {10, 2}, {1, 2}, {31, 2}, {31, 5},
                     {10, 3}, {1, 2}, {31, 2}, {31, 5}, {0, 0}});
  start.push_back(static_cast<int>(type.size()));
  lib.formulas(row, start, type, value);
  double build = seconds(t0, Clock::now());
  Outcome r = lib.solve();
  r.build = build;
  return r;
}

void print(const char *model, const char *how, const Outcome &o) {
  std::printf("  %-16s %-9s %9.3f %9.3f %6d %18.10g %9.4f\n", model, how, o.build, o.solve, o.iterations, o.objective,
              o.evaluation);
}

void compare(const char *model, const Outcome &lib, const Outcome &direct) {
  print(model, "library", lib);
  print(model, "compiled", direct);
  bool same = std::fabs(lib.objective - direct.objective) <= 1e-6 * std::max(1.0, std::fabs(direct.objective));
  std::printf("  %-16s library/compiled: solve %.2f, evaluation %.2f%s\n", model, lib.solve / direct.solve,
              direct.evaluation > 0 ? lib.evaluation / direct.evaluation : NAN, same ? "" : "  (OBJECTIVES DIFFER)");
}

}  // namespace

int main(int argc, char **argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
  const std::string models = argc > 2 ? argv[2] : "brBh";
  auto wanted = [&](char c) { return models.find(c) != std::string::npos; };
  check(KLVOinit(nullptr), nullptr, "KLVOinit");
  check(KSLPinit(), nullptr, "KSLPinit");
  std::printf("Formulas through the library against compiled derivatives (same Ipopt, same options)\n");
  std::printf("  %-16s %-9s %9s %9s %6s %18s %9s\n", "model", "how", "build s", "solve s", "iters", "objective", "eval cpu s");
  char label[64];
  std::snprintf(label, sizeof label, "beam %d", n);
  if (wanted('b')) compare(label, library_beam(n), solve_direct(new Beam(n)));
  std::snprintf(label, sizeof label, "rosenbrock %d", n);
  if (wanted('r')) compare(label, library_rosenbrock(n, -1e20, 1e20), solve_direct(new Rosenbrock(n, -1e20, 1e20)));
  std::snprintf(label, sizeof label, "rosenbrock-b %d", n);
  if (wanted('B')) compare(label, library_rosenbrock(n, -5, 0.8), solve_direct(new Rosenbrock(n, -5, 0.8)));
  Outcome lib, direct;
  for (int k = 0; k < (wanted('h') ? 100 : 0); ++k) {
    Outcome a = library_hs071(), b = solve_direct(new Hs071());
    lib.build += a.build;
    lib.solve += a.solve;
    lib.evaluation += a.evaluation;
    direct.solve += b.solve;
    direct.evaluation += b.evaluation;
    lib.iterations = a.iterations;
    lib.objective = a.objective;
    direct.iterations = b.iterations;
    direct.objective = b.objective;
  }
  if (wanted('h')) compare("hs071 x100", lib, direct);
  std::remove(kOut);
  KSLPfree();
  KLVOfree();
  return 0;
}
