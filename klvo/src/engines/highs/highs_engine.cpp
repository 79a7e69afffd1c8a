#include "engines/highs/highs_engine.h"

// The C API header declares a function it never defines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <interfaces/highs_c_api.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <mutex>
#include <string>

#include "env/error.h"

namespace klvo {

namespace {

constexpr double kHighsInf = INFINITY;

double to_highs(double bound) {
  if (bound >= KLVO_INFINITY) return kHighsInf;
  if (bound <= -KLVO_INFINITY) return -kHighsInf;
  return bound;
}

void check(HighsInt status, const char *what) {
  if (status == kHighsStatusError) fail(KLVO_ERR_ENGINE, "HiGHS failed to %s", what);
}

// State shared with HiGHS's callback during one run.
struct RunContext {
  const SolveContext *solve = nullptr;
  int outputlog = KLVO_OUTPUT_ALL;
  int64_t improving = 0;
  std::mutex mutex;
  std::string pending;  // an unfinished log line

  // HiGHS's log types: 1 info, 2 detailed, 3 verbose, 4 warning, 5 error.
  void log(int highs_type, const char *text) noexcept try {
    int type = highs_type == 4   ? KLVO_MSG_WARNING
               : highs_type == 5 ? KLVO_MSG_ERROR
               : highs_type == 1 ? KLVO_MSG_INFO
                                 : KLVO_MSG_DEBUG;
    if (outputlog == KLVO_OUTPUT_NONE) return;
    if (outputlog == KLVO_OUTPUT_ERRORS_AND_WARNINGS && (type == KLVO_MSG_INFO || type == KLVO_MSG_DEBUG)) return;
    if (outputlog == KLVO_OUTPUT_ERRORS && type != KLVO_MSG_ERROR) return;
    std::lock_guard<std::mutex> lock(mutex);
    pending += text;
    size_t pos;
    while ((pos = pending.find('\n')) != std::string::npos) {
      solve->message(type, pending.substr(0, pos));
      pending.erase(0, pos + 1);
    }
  } catch (...) {
    // Out of memory while logging: the line is lost, the solve goes on.
  }

  void flush() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!pending.empty()) solve->message(KLVO_MSG_INFO, pending);
    pending.clear();
  }
};

void highs_callback(int type, const char *message, const HighsCallbackDataOut *out,
                    HighsCallbackDataIn *in, void *user) noexcept {
  auto *ctx = static_cast<RunContext *>(user);
  if (type == kHighsCallbackLogging) {
    if (message) ctx->log(out ? out->log_type : 1, message);
    return;
  }
  if (type == kHighsCallbackMipImprovingSolution) {
    ++ctx->improving;
    return;
  }
  if (in && ctx->solve->interrupt.load() != 0) in->user_interrupt = 1;
}

template <class T>
bool same(const std::vector<T> &a, const std::vector<T> &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// Indices where two equally long vectors differ.
std::vector<HighsInt> changed(const std::vector<double> &a, const std::vector<double> &b) {
  std::vector<HighsInt> out;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(a[i] == b[i])) out.push_back(static_cast<HighsInt>(i));
  return out;
}

std::vector<HighsInt> changed2(const std::vector<double> &a1, const std::vector<double> &b1,
                               const std::vector<double> &a2, const std::vector<double> &b2) {
  std::vector<HighsInt> out;
  for (size_t i = 0; i < a1.size(); ++i)
    if (!(a1[i] == b1[i]) || !(a2[i] == b2[i])) out.push_back(static_cast<HighsInt>(i));
  return out;
}

template <class V>
std::vector<double> pick(const V &v, const std::vector<HighsInt> &idx) {
  std::vector<double> out(idx.size());
  for (size_t k = 0; k < idx.size(); ++k) out[k] = v[idx[k]];
  return out;
}

void set_int(void *h, const char *name, int64_t v) {
  HighsInt value = static_cast<HighsInt>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
  check(Highs_setIntOptionValue(h, name, value), name);
}
void set_dbl(void *h, const char *name, double v) { check(Highs_setDoubleOptionValue(h, name, v), name); }
void set_str(void *h, const char *name, const char *v) { check(Highs_setStringOptionValue(h, name, v), name); }
void set_bool(void *h, const char *name, bool v) { check(Highs_setBoolOptionValue(h, name, v ? 1 : 0), name); }

}  // namespace

void build_highs_model(const ModelStore &m, bool relax, HighsModel &out) {
  int n = m.ncols(), r = m.nrows();
  out.ncols = n;
  out.nrows = r;
  out.sense = m.objsense < 0 ? -1 : 1;
  out.offset = m.objconstant;
  out.cost.assign(m.obj.begin(), m.obj.end());
  out.col_lower.resize(n);
  out.col_upper.resize(n);
  out.integrality.clear();
  bool discrete = false;
  for (int j = 0; j < n; ++j) {
    char t = m.coltype[j];
    double lo = to_highs(m.lb[j]), up = to_highs(m.ub[j]);
    int type = kHighsVarTypeContinuous;
    switch (t) {
      case 'B':
        lo = std::max(lo, 0.0);
        up = std::min(up, 1.0);
        type = kHighsVarTypeInteger;
        break;
      case 'I':
        type = kHighsVarTypeInteger;
        break;
      case 'S':
      case 'R':
        // Either 0 or between the threshold and the upper bound.
        lo = std::max(lo, m.limit[j]);
        type = t == 'S' ? kHighsVarTypeSemiContinuous : kHighsVarTypeSemiInteger;
        if (relax) lo = std::min(lo, 0.0);
        break;
      default:
        break;
    }
    if (relax) type = kHighsVarTypeContinuous;
    if (type != kHighsVarTypeContinuous && !discrete) {
      discrete = true;
      out.integrality.assign(n, kHighsVarTypeContinuous);
    }
    if (discrete) out.integrality[j] = type;
    out.col_lower[j] = lo;
    out.col_upper[j] = up;
  }

  out.row_lower.resize(r);
  out.row_upper.resize(r);
  for (int i = 0; i < r; ++i) {
    double rhs = m.rhs[i];
    double lo = -kHighsInf, up = kHighsInf;
    switch (m.rowtype[i]) {
      case 'L': up = to_highs(rhs); break;
      case 'G': lo = to_highs(rhs); break;
      case 'E': lo = up = rhs; break;
      case 'R':
        up = to_highs(rhs);
        lo = to_highs(rhs - std::fabs(m.range[i]));
        break;
      default: break;  // 'N': a free row
    }
    out.row_lower[i] = lo;
    out.row_upper[i] = up;
  }

  to_csc(m, out.start, out.index, out.value);
  if (m.has_qobj()) {
    qobj_lower_csc(m, out.qstart, out.qindex, out.qvalue);
  } else {
    out.qstart.clear();
    out.qindex.clear();
    out.qvalue.clear();
  }
  apply_user_scaling(m, out);
}

// The user's factors: row i times r_i, column j replaced by c_j times the engine's column.
// Integral and semi-continuous columns keep factor 1, so that their values stay what the
// engine's types mean.
void apply_user_scaling(const ModelStore &m, HighsModel &out) {
  out.rowscale.clear();
  out.colscale.clear();
  if (m.marks.rowscale.empty() && m.marks.colscale.empty()) return;
  const int n = out.ncols, r = out.nrows;
  out.rowscale.resize(r);
  out.colscale.resize(n);
  for (int i = 0; i < r; ++i) {
    double f = m.marks.row_factor(i);
    out.rowscale[i] = f;
    out.row_lower[i] *= f;  // infinities stay infinite
    out.row_upper[i] *= f;
  }
  for (int j = 0; j < n; ++j) {
    double f = m.coltype[j] == 'C' ? m.marks.col_factor(j) : 1.0;
    out.colscale[j] = f;
    out.cost[j] *= f;
    out.col_lower[j] /= f;
    out.col_upper[j] /= f;
    for (int k = out.start[j]; k < out.start[j + 1]; ++k) out.value[k] *= out.rowscale[out.index[k]] * f;
    if (!out.qindex.empty())
      for (int k = out.qstart[j]; k < out.qstart[j + 1]; ++k) out.qvalue[k] *= f * out.colscale[out.qindex[k]];
  }
}

HighsEngine::HighsEngine() : highs_(Highs_create()) {
  if (!highs_) fail(KLVO_ERR_OUT_OF_MEMORY, "Could not create a HiGHS instance");
  // The library never prints: the log reaches the user through the message callbacks.
  Highs_setBoolOptionValue(highs_, "log_to_console", 0);
}

HighsEngine::~HighsEngine() { Highs_destroy(highs_); }

void HighsEngine::sync(const HighsModel &m) {
  bool same_structure = loaded_ && m.ncols == held_.ncols && m.nrows == held_.nrows &&
                        same(m.start, held_.start) && same(m.index, held_.index) &&
                        same(m.value, held_.value);
  incremental_ = same_structure;
  if (!same_structure) {
    // A new matrix loses HiGHS's basis. When rows or columns were only added (a cut, a new
    // column) the old basis, extended by basic new rows and nonbasic new columns, is still a
    // good start; HiGHS repairs it if the matrix changed under it.
    bool carry = loaded_ && m.ncols >= held_.ncols && m.nrows >= held_.nrows;
    HighsInt validity = 0;
    if (carry) Highs_getIntInfoValue(highs_, "basis_validity", &validity);
    std::vector<HighsInt> colst, rowst;
    if (carry && validity == kHighsBasisValidityValid) {
      colst.resize(held_.ncols);
      rowst.resize(held_.nrows);
      if (Highs_getBasis(highs_, colst.data(), rowst.data()) != kHighsStatusOk) colst.clear(), rowst.clear();
    }
    check(Highs_passModel(highs_, m.ncols, m.nrows, static_cast<HighsInt>(m.index.size()),
                          static_cast<HighsInt>(m.qindex.size()), kHighsMatrixFormatColwise,
                          kHighsHessianFormatTriangular, m.sense, m.offset, m.cost.data(),
                          m.col_lower.data(), m.col_upper.data(), m.row_lower.data(),
                          m.row_upper.data(), m.start.data(), m.index.data(), m.value.data(),
                          m.qindex.empty() ? nullptr : m.qstart.data(),
                          m.qindex.empty() ? nullptr : m.qindex.data(),
                          m.qindex.empty() ? nullptr : m.qvalue.data(),
                          m.integrality.empty() ? nullptr : m.integrality.data()),
          "load the model");
    if (!colst.empty() || !rowst.empty()) {
      for (int j = held_.ncols; j < m.ncols; ++j)
        colst.push_back(std::isfinite(m.col_lower[j])   ? kHighsBasisStatusLower
                        : std::isfinite(m.col_upper[j]) ? kHighsBasisStatusUpper
                                                        : kHighsBasisStatusZero);
      rowst.resize(m.nrows, kHighsBasisStatusBasic);
      Highs_setBasis(highs_, colst.data(), rowst.data());  // only a hint: a refusal is harmless
    }
    held_ = m;
    loaded_ = true;
    return;
  }
  // Same matrix: pass only what changed, so HiGHS keeps its basis.
  if (m.sense != held_.sense) check(Highs_changeObjectiveSense(highs_, m.sense), "change the sense");
  if (m.offset != held_.offset) check(Highs_changeObjectiveOffset(highs_, m.offset), "change the offset");
  auto cols = changed(m.cost, held_.cost);
  if (!cols.empty())
    check(Highs_changeColsCostBySet(highs_, static_cast<HighsInt>(cols.size()), cols.data(),
                                    pick(m.cost, cols).data()),
          "change costs");
  if (!same(m.integrality, held_.integrality)) {
    if (m.integrality.empty()) {
      check(Highs_clearIntegrality(highs_), "clear integrality");
    } else {
      check(Highs_changeColsIntegralityByRange(highs_, 0, m.ncols - 1, m.integrality.data()),
            "change column types");
    }
  }
  cols = changed2(m.col_lower, held_.col_lower, m.col_upper, held_.col_upper);
  if (!cols.empty())
    check(Highs_changeColsBoundsBySet(highs_, static_cast<HighsInt>(cols.size()), cols.data(),
                                      pick(m.col_lower, cols).data(), pick(m.col_upper, cols).data()),
          "change column bounds");
  auto rows = changed2(m.row_lower, held_.row_lower, m.row_upper, held_.row_upper);
  if (!rows.empty())
    check(Highs_changeRowsBoundsBySet(highs_, static_cast<HighsInt>(rows.size()), rows.data(),
                                      pick(m.row_lower, rows).data(), pick(m.row_upper, rows).data()),
          "change row bounds");
  if (!same(m.qstart, held_.qstart) || !same(m.qindex, held_.qindex) || !same(m.qvalue, held_.qvalue)) {
    std::vector<int> qstart = m.qstart;
    if (qstart.empty()) qstart.assign(m.ncols + 1, 0);
    check(Highs_passHessian(highs_, m.ncols, static_cast<HighsInt>(m.qindex.size()),
                            kHighsHessianFormatTriangular, qstart.data(),
                            m.qindex.empty() ? nullptr : m.qindex.data(),
                            m.qvalue.empty() ? nullptr : m.qvalue.data()),
          "change the quadratic objective");
  }
  held_ = m;
}

void HighsEngine::load(const ModelStore &m) {
  HighsModel model;
  build_highs_model(m, false, model);
  sync(model);
}

char HighsEngine::apply_controls(const ParamStore &p, const HighsRequest &request, bool mip) {
  void *h = highs_;
  int outputlog = static_cast<int>(p.int_control(KLVO_CONTROL_OUTPUTLOG));
  set_bool(h, "output_flag", outputlog != KLVO_OUTPUT_NONE);
  set_int(h, "log_dev_level", outputlog == KLVO_OUTPUT_DETAILED ? 2 : 0);

  set_str(h, "presolve", p.int_control(KLVO_CONTROL_PRESOLVE) == KLVO_PRESOLVE_NONE ? "off" : "choose");
  // Algorithm: a flag letter wins over lpflags, which wins over defaultalg.
  char alg = request.algorithm;
  if (!alg) {
    int64_t flags = p.int_control(KLVO_CONTROL_LPFLAGS);
    if (flags & KLVO_LPFLAGS_DUAL) alg = 'd';
    else if (flags & KLVO_LPFLAGS_PRIMAL) alg = 'p';
    else if (flags & KLVO_LPFLAGS_BARRIER) alg = 'b';
  }
  if (!alg) {
    switch (p.int_control(KLVO_CONTROL_DEFAULTALG)) {
      case KLVO_ALG_DUAL: alg = 'd'; break;
      case KLVO_ALG_PRIMAL: alg = 'p'; break;
      case KLVO_ALG_BARRIER: alg = 'b'; break;
      default: break;
    }
  }
  set_str(h, "solver", alg == 'b' ? "ipm" : alg ? "simplex" : "choose");
  set_int(h, "simplex_strategy", alg == 'p' ? 4 : 1);
  int64_t crossover = p.int_control(KLVO_CONTROL_CROSSOVER);
  set_str(h, "run_crossover", crossover == KLVO_ANA_NEVER ? "off" : "on");
  set_int(h, "simplex_primal_edge_weight_strategy", p.int_control(KLVO_CONTROL_PRICING));
  int64_t dualgradient = p.int_control(KLVO_CONTROL_DUALGRADIENT);
  set_int(h, "simplex_dual_edge_weight_strategy", dualgradient < 0 ? -1 : dualgradient + 1);
  set_int(h, "simplex_scale_strategy", p.int_control(KLVO_CONTROL_SCALING) == KLVO_OFF ? 0 : 2);
  // Off leaves HiGHS its own default ("choose"), which runs the serial simplex as "off" does;
  // passing "off" would make the options differ from a plain HiGHS run for nothing.
  set_str(h, "parallel", p.int_control(KLVO_CONTROL_PARALLELSIMPLEX) == KLVO_ON ? "on" : "choose");

  double timelimit = p.dbl_control(KLVO_CONTROL_TIMELIMIT);
  set_dbl(h, "time_limit", timelimit > 0 ? timelimit : kHighsInf);
  set_int(h, "simplex_iteration_limit", p.int_control(KLVO_CONTROL_LPITERLIMIT));
  // The QP solver is an active-set method whose iterations are simplex-like.
  set_int(h, "qp_iteration_limit", p.int_control(KLVO_CONTROL_LPITERLIMIT));
  set_int(h, "ipm_iteration_limit", p.int_control(KLVO_CONTROL_BARITERLIMIT));
  set_int(h, "mip_max_nodes", p.int_control(KLVO_CONTROL_MAXNODE));
  int64_t maxsol = p.int_control(KLVO_CONTROL_MAXMIPSOL);
  set_int(h, "mip_max_improving_sols", maxsol > 0 ? maxsol : INT_MAX);
  set_dbl(h, "mip_rel_gap", p.dbl_control(KLVO_CONTROL_MIPRELSTOP));
  set_dbl(h, "mip_abs_gap", p.dbl_control(KLVO_CONTROL_MIPABSSTOP));
  set_dbl(h, "primal_feasibility_tolerance", p.dbl_control(KLVO_CONTROL_FEASTOL));
  set_dbl(h, "dual_feasibility_tolerance", p.dbl_control(KLVO_CONTROL_OPTTOL));
  set_dbl(h, "mip_feasibility_tolerance", p.dbl_control(KLVO_CONTROL_MIPTOL));
  // The cutoff only prunes a MIP search; a continuous solve ignores it. HiGHS takes the bound
  // in the minimising sense.
  double cutoff = p.dbl_control(KLVO_CONTROL_CUTOFF);
  set_dbl(h, "objective_bound", mip && std::fabs(cutoff) < KLVO_INFINITY ? held_.sense * cutoff : kHighsInf);
  set_bool(h, "mip_detect_symmetry", p.int_control(KLVO_CONTROL_SYMMETRY) != KLVO_ANA_NEVER);
  set_bool(h, "mip_allow_restart", p.int_control(KLVO_CONTROL_MIPRESTART) != KLVO_MIPRESTART_OFF);
  set_int(h, "random_seed", p.int_control(KLVO_CONTROL_RANDOMSEED));
  set_int(h, "threads", p.int_control(KLVO_CONTROL_THREADS));
  // Heuristics off, at the engine's own effort, or emphasised.
  int heur = p.int_control(KLVO_CONTROL_ROOTHEURISTICS);
  set_dbl(h, "mip_heuristic_effort", heur == KLVO_ANA_NEVER ? 0.0 : heur == KLVO_ANA_AUTOMATIC ? 0.05 : 0.3);
  return alg;
}

void HighsEngine::solve(const SolveContext &ctx, const HighsRequest &request) {
  HighsModel model;
  build_highs_model(ctx.model, request.relax, model);
  bool mip = !model.integrality.empty();
  sync(model);
  // HiGHS would take the previous solution as a MIP start, even one the cutoff excludes;
  // an integer solve starts clean (an LP keeps its basis).
  if (mip) check(Highs_clearSolver(highs_), "clear its previous solution");
  char alg = apply_controls(ctx.controls, request, mip);
  // A barrier solve of an LP stops before crossover, so that its own solution can be kept for
  // KLVOgetlastbarsol and KLVOcrossoverlpsol; crossover then runs from it here.
  bool barrier = !mip && alg == 'b' && model.qindex.empty();
  bool want_crossover = barrier && ctx.controls.int_control(KLVO_CONTROL_CROSSOVER) != KLVO_ANA_NEVER;
  if (barrier) set_str(highs_, "run_crossover", "off");
  offer_starts(ctx, mip);

  RunContext run;
  run.solve = &ctx;
  run.outputlog = static_cast<int>(ctx.controls.int_control(KLVO_CONTROL_OUTPUTLOG));
  check(Highs_setCallback(highs_, highs_callback, &run), "set its callback");
  // run lives on this frame: HiGHS must forget it on every way out.
  struct Unset {
    void *h;
    ~Unset() { Highs_setCallback(h, nullptr, nullptr); }
  } unset{highs_};
  for (HighsInt type : {kHighsCallbackLogging, kHighsCallbackSimplexInterrupt, kHighsCallbackIpmInterrupt,
                        kHighsCallbackMipInterrupt, kHighsCallbackMipImprovingSolution})
    Highs_startCallback(highs_, type);

  auto started = std::chrono::steady_clock::now();
  HighsInt status = Highs_run(highs_);
  HighsInt model_status = Highs_getModelStatus(highs_);
  if (model_status == kHighsModelStatusUnboundedOrInfeasible &&
      ctx.controls.int_control(KLVO_CONTROL_PRESOLVE) != KLVO_PRESOLVE_NONE) {
    // Presolve could not tell which; the plain algorithm can.
    set_str(highs_, "presolve", "off");
    status = Highs_run(highs_);
  }
  solved_revision_ = ctx.model.revision;
  solved_lp_ = !mip;
  HighsInt ipm_iters = 0;
  if (barrier && status != kHighsStatusError) {
    keep_barrier_solution(ctx);
    Highs_getIntInfoValue(highs_, "ipm_iteration_count", &ipm_iters);
    HighsInt primal = 0;
    Highs_getIntInfoValue(highs_, "primal_solution_status", &primal);
    model_status = Highs_getModelStatus(highs_);
    if (want_crossover && primal != kHighsSolutionStatusNone &&
        (model_status == kHighsModelStatusOptimal || model_status == kHighsModelStatusUnknown)) {
      std::vector<double> x(held_.ncols), cd(held_.ncols), rv(held_.nrows), rd(held_.nrows);
      Highs_getSolution(highs_, x.data(), cd.data(), rv.data(), rd.data());
      crossover_from(x.data());
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.flush();

  SolutionStore &s = ctx.solution;
  s.time = seconds;
  s.mipsols = run.improving;
  if (status == kHighsStatusError) {
    model_status = Highs_getModelStatus(highs_);
    s.solvestatus = KLVO_SOLVESTATUS_FAILED;
    s.lpstatus = KLVO_LP_UNSOLVED;
    fail(KLVO_ERR_ENGINE, "HiGHS could not solve the problem (model status %d)", static_cast<int>(model_status));
  }
  read_result(ctx, model, mip);
  // Crossover resets HiGHS's count of interior point iterations.
  if (barrier) s.bariter = std::max<int64_t>(s.bariter, ipm_iters);
  if (mip && ctx.starts) ctx.starts->mip.clear();
}

void HighsEngine::read_result(const SolveContext &ctx, const HighsModel &model, bool mip) {
  SolutionStore &s = ctx.solution;
  HighsInt model_status = Highs_getModelStatus(highs_);
  HighsInt iters = 0, ipm_iters = 0, primal_status = 0, dual_status = 0;
  int64_t nodes = 0;
  double objective = 0, bound = 0, gap = 0;
  Highs_getIntInfoValue(highs_, "simplex_iteration_count", &iters);
  Highs_getIntInfoValue(highs_, "ipm_iteration_count", &ipm_iters);
  Highs_getIntInfoValue(highs_, "primal_solution_status", &primal_status);
  Highs_getIntInfoValue(highs_, "dual_solution_status", &dual_status);
  Highs_getDoubleInfoValue(highs_, "objective_function_value", &objective);
  s.simplexiter = std::max<HighsInt>(iters, 0);
  s.bariter = std::max<HighsInt>(ipm_iters, 0);
  s.optimizetype = mip ? KLVO_OPTTYPE_MIP : KLVO_OPTTYPE_LP;
  if (mip) {
    Highs_getInt64InfoValue(highs_, "mip_node_count", &nodes);
    Highs_getDoubleInfoValue(highs_, "mip_dual_bound", &bound);
    Highs_getDoubleInfoValue(highs_, "mip_gap", &gap);
    s.nodes = nodes;
    s.bestbound = bound;
    s.miprelgap = gap;
  }

  bool have_primal = primal_status == kHighsSolutionStatusFeasible;
  if (model_status == kHighsModelStatusModelEmpty) {
    // No columns and no rows: the objective is its constant.
    have_primal = true;
    dual_status = kHighsSolutionStatusFeasible;
    objective = model.offset;
  }
  bool optimal = model_status == kHighsModelStatusOptimal || model_status == kHighsModelStatusModelEmpty;
  s.stopstatus = KLVO_STOP_NONE;
  s.solvestatus = KLVO_SOLVESTATUS_COMPLETED;
  int solstatus = KLVO_SOLSTATUS_NOTFOUND;
  int lp = KLVO_LP_UNSTARTED, mipst = KLVO_MIP_NOT_LOADED;
  switch (model_status) {
    case kHighsModelStatusOptimal:
    case kHighsModelStatusModelEmpty:
      solstatus = KLVO_SOLSTATUS_OPTIMAL;
      lp = KLVO_LP_OPTIMAL;
      mipst = KLVO_MIP_OPTIMAL;
      break;
    case kHighsModelStatusInfeasible:
      solstatus = KLVO_SOLSTATUS_INFEASIBLE;
      lp = KLVO_LP_INFEAS;
      mipst = KLVO_MIP_INFEAS;
      have_primal = false;
      break;
    case kHighsModelStatusUnbounded:
    case kHighsModelStatusUnboundedOrInfeasible:
      solstatus = KLVO_SOLSTATUS_UNBOUNDED;
      lp = KLVO_LP_UNBOUNDED;
      mipst = KLVO_MIP_UNBOUNDED;
      have_primal = false;
      break;
    case kHighsModelStatusObjectiveBound:
      lp = KLVO_LP_CUTOFF_IN_DUAL;
      mipst = KLVO_MIP_INFEAS;
      have_primal = false;
      break;
    case kHighsModelStatusTimeLimit:
    case kHighsModelStatusIterationLimit:
    case kHighsModelStatusSolutionLimit:
    case kHighsModelStatusInterrupt: {
      s.solvestatus = KLVO_SOLVESTATUS_STOPPED;
      solstatus = have_primal ? KLVO_SOLSTATUS_FEASIBLE : KLVO_SOLSTATUS_NOTFOUND;
      lp = KLVO_LP_UNFINISHED;
      mipst = have_primal ? KLVO_MIP_SOLUTION : KLVO_MIP_NO_SOL_FOUND;
      if (model_status == kHighsModelStatusTimeLimit) s.stopstatus = KLVO_STOP_TIMELIMIT;
      else if (model_status == kHighsModelStatusIterationLimit) s.stopstatus = KLVO_STOP_ITERLIMIT;
      else if (model_status == kHighsModelStatusInterrupt) s.stopstatus = KLVO_STOP_INTERRUPT;
      else if (nodes >= ctx.controls.int_control(KLVO_CONTROL_MAXNODE)) s.stopstatus = KLVO_STOP_NODELIMIT;
      else s.stopstatus = KLVO_STOP_SOLLIMIT;
      break;
    }
    default:  // kHighsModelStatusUnknown and errors
      s.solvestatus = KLVO_SOLVESTATUS_FAILED;
      solstatus = have_primal ? KLVO_SOLSTATUS_FEASIBLE : KLVO_SOLSTATUS_NOTFOUND;
      lp = KLVO_LP_UNSOLVED;
      mipst = have_primal ? KLVO_MIP_SOLUTION : KLVO_MIP_NO_SOL_FOUND;
      break;
  }
  s.solstatus = solstatus;
  if (mip) {
    s.mipstatus = mipst;
    s.lpstatus = KLVO_LP_UNSTARTED;
  } else {
    s.lpstatus = lp;
    // A problem with discrete columns solved as its relaxation: the integer search has its
    // root relaxation done, and nothing more.
    bool discrete = ctx.model.nentities() > 0;
    s.mipstatus = !discrete ? KLVO_MIP_NOT_LOADED : lp == KLVO_LP_OPTIMAL ? KLVO_MIP_LP_OPTIMAL : KLVO_MIP_LP_NOT_OPTIMAL;
  }

  int n = model.ncols, r = model.nrows;
  s.primal_status = have_primal ? (optimal ? KLVO_SOLSTATUS_OPTIMAL : KLVO_SOLSTATUS_FEASIBLE) : KLVO_SOLSTATUS_NOTFOUND;
  s.dual_status = !mip && optimal && dual_status == kHighsSolutionStatusFeasible ? KLVO_SOLSTATUS_OPTIMAL
                                                                               : KLVO_SOLSTATUS_NOTFOUND;
  s.x.clear();
  s.slack.clear();
  s.duals.clear();
  s.djs.clear();
  if (have_primal) {
    std::vector<double> x(n), coldual(n), rowvalue(r), rowdual(r);
    check(Highs_getSolution(highs_, x.data(), coldual.data(), rowvalue.data(), rowdual.data()),
          "return the solution");
    if (!model.rowscale.empty() || !model.colscale.empty()) {
      // Back from the engine's scaled model to the user's.
      for (int j = 0; j < n; ++j) {
        x[j] *= model.colscale[j];
        coldual[j] /= model.colscale[j];
      }
      for (int i = 0; i < r; ++i) {
        rowvalue[i] /= model.rowscale[i];
        rowdual[i] *= model.rowscale[i];
      }
    }
    s.slack.resize(r);
    for (int i = 0; i < r; ++i) s.slack[i] = ctx.model.rhs[i] - rowvalue[i];
    s.x = std::move(x);
    if (s.dual_status) {
      s.duals = std::move(rowdual);
      s.djs = std::move(coldual);
    }
  }
  if (mip) s.mipobjval = have_primal ? objective : 0.0;
  else s.lpobjval = have_primal ? objective : 0.0;
}

void highs_solve(const SolveContext &ctx, const HighsRequest &request) {
  auto *engine = dynamic_cast<HighsEngine *>(ctx.cache.get());
  if (!engine) {
    ctx.cache = std::make_unique<HighsEngine>();
    engine = static_cast<HighsEngine *>(ctx.cache.get());
  }
  try {
    engine->solve(ctx, request);
  } catch (...) {
    // A failure inside HiGHS (out of memory, an internal error) can leave its instance half
    // updated and unable to solve again, and what this engine holds may no longer match it:
    // the next solve starts from a fresh instance (losing only the warm start). Statuses
    // already stored must not claim a solution that was never read.
    ctx.cache.reset();
    ctx.solution.clear();
    ctx.solution.solvestatus = KLVO_SOLVESTATUS_FAILED;
    ctx.solution.lpstatus = KLVO_LP_UNSOLVED;
    throw;
  }
}

}  // namespace klvo
