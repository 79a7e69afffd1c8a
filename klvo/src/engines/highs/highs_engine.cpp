#include "engines/highs/highs_engine.h"

// The C API header declares a function it never defines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <interfaces/highs_c_api.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <chrono>
#include <deque>
#include <cmath>
#include <climits>
#include <mutex>
#include <string>

#include "engines/highs/instances.h"
#include "engines/solution_info.h"
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
  const Events *events = nullptr;  // null: no event is fired
  bool mip = false, barrier = false;
  int outputlog = KLVO_OUTPUT_ALL;
  int64_t improving = 0;
  std::mutex mutex;
  std::string pending;  // an unfinished log line

  // Events of the run.
  bool presolve_fired = false;
  HighsInt last_ipm_iter = 0;
  bool crossover_asked = false;  // a bariteration callback asked to stop and cross over
  bool stop_barrier = false;     // ... or only to stop the barrier
  GapTargets gap;
  // Column factors of user scaling (empty: none): the engine's x times these is the user's.
  const std::vector<double> *colscale = nullptr;
  std::vector<double> user_x;
  // The MIP starts given to this run and whether an incumbent took each one's values.
  std::vector<const MipStart *> starts;
  std::vector<char> taken;
  // Solutions given from callbacks during the run: those not yet handed to HiGHS, and all of
  // them (a deque, so that starts may point into it); handed[k] tells whether starts[k] was.
  std::vector<size_t> waiting_index;
  std::deque<MipStart> offered;
  std::vector<char> handed;
  std::vector<double> engine_x;

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

  // A callback asked the solve to stop: it ends as an interrupted one.
  void stop() {
    int none = 0;
    solve->interrupt.compare_exchange_strong(none, 1);
  }

  // The figures HiGHS gives at this callback, as a callback's problem answers them.
  EventState state(const HighsCallbackDataOut *out) const {
    EventState st;
    st.mipsols = improving;
    if (!out) return st;
    auto finite = [](double v) { return std::isfinite(v) && std::fabs(v) < KLVO_INFINITY ? v : NAN; };
    st.simplexiter = out->simplex_iteration_count;
    st.bariter = out->ipm_iteration_count;
    st.time = out->running_time;
    if (mip) {
      st.nodes = out->mip_node_count;
      st.bestbound = finite(out->mip_dual_bound);
      st.mipobjval = finite(out->mip_primal_bound);
      st.miprelgap = std::isnan(st.mipobjval) ? NAN : out->mip_gap;
    }
    // HiGHS fills objective_function_value only for improving MIP solutions: during an LP
    // solve it is unset, so these events leave the LP objective unknown (the attribute then
    // answers from the last finished solve).
    return st;
  }

  // The engine's x in the user's columns.
  const double *user_solution(const double *x, int n) {
    if (!colscale || colscale->empty()) return x;
    user_x.assign(x, x + n);
    for (int j = 0; j < n && j < static_cast<int>(colscale->size()); ++j) user_x[j] *= (*colscale)[j];
    return user_x.data();
  }

  void fire_presolve(const HighsCallbackDataOut *out) {
    if (presolve_fired) return;
    presolve_fired = true;
    events->presolve(state(out));
  }

  // Notifies the gap callbacks when a target is reached; a target still reached after them is
  // dropped, so that each notifies once unless a callback moves it.
  void check_gap(const EventState &st) {
    if (!events->wants(KLVO_CB_GAPNOTIFY) || std::isnan(st.mipobjval) || std::isnan(st.bestbound)) return;
    double sense = solve->model.objsense < 0 ? -1.0 : 1.0;
    auto set = [](double t) { return std::fabs(t) < KLVO_INFINITY; };
    auto reached = [&](const GapTargets &t, int which) {
      switch (which) {
        case 0: return t.rel >= 0 && st.miprelgap <= t.rel;
        case 1: return t.abs >= 0 && std::fabs(st.mipobjval - st.bestbound) <= t.abs;
        case 2: return set(t.absobj) && sense * st.mipobjval <= sense * t.absobj;
        default: return set(t.absbound) && sense * st.bestbound >= sense * t.absbound;
      }
    };
    if (!reached(gap, 0) && !reached(gap, 1) && !reached(gap, 2) && !reached(gap, 3)) return;
    gap = events->gapnotify(st, gap);
    if (reached(gap, 0)) gap.rel = -1;
    if (reached(gap, 1)) gap.abs = -1;
    if (reached(gap, 2)) gap.absobj = KLVO_INFINITY;
    if (reached(gap, 3)) gap.absbound = KLVO_INFINITY;
  }

  // Hands HiGHS the next complete solution given from a callback, in its own column space.
  void hand_user_solution(HighsCallbackDataIn *in, int n) {
    for (MipStart &st : events->take_offered()) {
      offered.push_back(std::move(st));
      starts.push_back(&offered.back());
      taken.push_back(0);
      handed.push_back(0);
      waiting_index.push_back(starts.size() - 1);
    }
    while (!waiting_index.empty()) {
      size_t k = waiting_index.front();
      waiting_index.erase(waiting_index.begin());
      const MipStart &st = *starts[k];
      if (!st.colind.empty() || static_cast<int>(st.values.size()) != n) continue;  // HiGHS takes complete ones
      engine_x = st.values;
      if (colscale && !colscale->empty())
        for (int j = 0; j < n; ++j) engine_x[j] /= (*colscale)[j];
      in->user_solution = engine_x.data();
      in->user_solution_size = n;
      in->user_has_solution = 1;
      handed[k] = 1;
      return;
    }
  }

  // Marks the starts whose values an incumbent took: all integer columns of a complete start,
  // the given columns of a partial one.
  void note_taken(const double *x, int n) {
    const ModelStore &m = solve->model;
    for (size_t k = 0; k < starts.size(); ++k) {
      const MipStart &st = *starts[k];
      bool same = true;
      if (st.colind.empty()) {
        for (int j = 0; j < n && j < static_cast<int>(st.values.size()) && same; ++j)
          if (m.coltype[j] != 'C' && std::fabs(x[j] - st.values[j]) > 1e-6) same = false;
      } else {
        for (size_t i = 0; i < st.colind.size() && same; ++i)
          if (std::fabs(x[st.colind[i]] - st.values[i]) > 1e-6 * std::max(1.0, std::fabs(st.values[i]))) same = false;
      }
      if (same) taken[k] = 1;
    }
  }
};

void highs_callback(int type, const char *message, const HighsCallbackDataOut *out,
                    HighsCallbackDataIn *in, void *user) noexcept {
  auto *ctx = static_cast<RunContext *>(user);
  const Events *ev = ctx->events;
  switch (type) {
    case kHighsCallbackLogging:
      if (message) ctx->log(out ? out->log_type : 1, message);
      // An LP's log lines are the simplex's or the barrier's.
      if (ev && !ctx->mip && message && *message && *message != '\n') {
        bool stop = ctx->barrier ? ev->barlog(ctx->state(out)) : ev->lplog(ctx->state(out));
        if (stop) ctx->stop();
      }
      return;
    case kHighsCallbackMipImprovingSolution: {
      ++ctx->improving;
      if (!ev || !out || !out->mip_solution) return;
      int n = static_cast<int>(out->mip_solution_size);
      if (!ctx->starts.empty()) ctx->note_taken(out->mip_solution, n);
      if (!ev->wants(KLVO_CB_INTSOL)) return;
      EventState st = ctx->state(out);
      st.mipobjval = out->objective_function_value;
      st.x = ctx->user_solution(out->mip_solution, n);
      ev->intsol(st);
      return;
    }
    case kHighsCallbackCallbackMipUserSolution:
      if (ev && in) ctx->hand_user_solution(in, static_cast<int>(ctx->solve->model.ncols()));
      return;
    case kHighsCallbackMipLogging:
      if (!ev) return;
      ctx->fire_presolve(out);
      if (ev->miplog(ctx->state(out))) ctx->stop();
      ctx->check_gap(ctx->state(out));
      return;
    default:
      break;
  }
  // The interrupt checks: the moments for time checks and the barrier's iterations.
  if (ev) {
    if (type == kHighsCallbackMipInterrupt) {
      ctx->check_gap(ctx->state(out));
    } else {
      // Presolve of an LP is over once its algorithm runs.
      ctx->fire_presolve(out);
    }
    // The interior point solver checks for interrupts within iterations too (with a count of
    // zero): an iteration is new when the count grows.
    if (type == kHighsCallbackIpmInterrupt && out && out->ipm_iteration_count > ctx->last_ipm_iter) {
      ctx->last_ipm_iter = out->ipm_iteration_count;
      int action = ev->bariteration(ctx->state(out));
      if (action == 2) ctx->crossover_asked = true;
      if (action != 0) ctx->stop_barrier = true;
    }
    if (ev->checktime(ctx->state(out))) ctx->stop();
  }
  if (in && (ctx->solve->interrupt.load() != 0 || ctx->stop_barrier)) in->user_interrupt = 1;
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

void build_highs_model(const ModelStore &m, bool relax, HighsModel &out, bool user_scaled) {
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
  if (user_scaled) apply_user_scaling(m, out);
  else out.rowscale.clear(), out.colscale.clear();
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

HighsEngine::HighsEngine() : highs_(new_highs_instance()) {
  // The library never prints: the log reaches the user through the message callbacks.
  Highs_setBoolOptionValue(highs_, "log_to_console", 0);
}

HighsEngine::~HighsEngine() { free_highs_instance(highs_); }

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

namespace {

// Sets a run up for the events registered: HiGHS must log for the log events, the gap targets
// come from the controls, and the MIP starts are watched for what becomes of them.
void prepare_events(void *highs, const SolveContext &ctx, RunContext &run) {
  const Events &ev = *ctx.events;
  if (run.mip && ev.wants(KLVO_CB_PREINTSOL))
    fail(KLVO_ERR_NOT_SUPPORTED,
         "preintsol callbacks need the library's own branch-and-bound search: HiGHS cannot reject its solutions");
  if (ev.wants(KLVO_CB_LPLOG) || ev.wants(KLVO_CB_BARLOG) || ev.wants(KLVO_CB_MIPLOG)) set_bool(highs, "output_flag", true);
  const ParamStore &p = ctx.controls;
  run.gap.rel = p.dbl_control(KLVO_CONTROL_MIPRELGAPNOTIFY);
  run.gap.abs = p.dbl_control(KLVO_CONTROL_MIPABSGAPNOTIFY);
  run.gap.absobj = p.dbl_control(KLVO_CONTROL_MIPABSGAPNOTIFYOBJ);
  run.gap.absbound = p.dbl_control(KLVO_CONTROL_MIPABSGAPNOTIFYBOUND);
  run.events = &ev;
  if (run.mip && ctx.starts && ctx.starts->mip_cols == ctx.model.ncols() && ev.wants(KLVO_CB_USERSOLNOTIFY)) {
    for (const MipStart &st : ctx.starts->mip) run.starts.push_back(&st);
    run.taken.assign(run.starts.size(), 0);
    run.handed.assign(run.starts.size(), 1);
  }
}

// Tells the usersolnotify callbacks what became of each MIP start of the run.
void notify_user_solutions(const SolveContext &ctx, const RunContext &run) {
  if (!run.mip) return;
  const ModelStore &m = ctx.model;
  double feastol = ctx.controls.dbl_control(KLVO_CONTROL_FEASTOL);
  double miptol = ctx.controls.dbl_control(KLVO_CONTROL_MIPTOL);
  EventState now;
  now.mipsols = run.improving;
  for (size_t k = 0; k < run.starts.size(); ++k) {
    const MipStart &st = *run.starts[k];
    int status;
    if (run.taken[k]) {
      status = KLVO_USERSOL_ACCEPTED;
    } else if (!run.handed[k]) {
      status = KLVO_USERSOL_NOT_USED;  // given too late, or partial: HiGHS takes complete ones only
    } else if (!st.colind.empty()) {
      status = KLVO_USERSOL_NOT_USED;  // no incumbent was completed from it
    } else if (primal_violation(m, st.values.data(), false) > feastol ||
               max_fractionality(m, st.values.data()) > miptol) {
      status = KLVO_USERSOL_INFEASIBLE;
    } else {
      status = run.improving > 0 ? KLVO_USERSOL_NOT_BETTER : KLVO_USERSOL_NOT_USED;
    }
    ctx.events->usersolnotify(now, st.name, status);
  }
  // Given from a callback after HiGHS last asked for one.
  for (const MipStart &st : ctx.events->take_offered())
    ctx.events->usersolnotify(now, st.name, KLVO_USERSOL_NOT_USED);
}

}  // namespace

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
  run.mip = mip;
  run.barrier = !mip && alg == 'b';
  run.outputlog = static_cast<int>(ctx.controls.int_control(KLVO_CONTROL_OUTPUTLOG));
  run.colscale = &model.colscale;
  if (ctx.events) prepare_events(highs_, ctx, run);
  check(Highs_setCallback(highs_, highs_callback, &run), "set its callback");
  // run lives on this frame: HiGHS must forget it on every way out.
  struct Unset {
    void *h;
    ~Unset() { Highs_setCallback(h, nullptr, nullptr); }
  } unset{highs_};
  for (HighsInt type : {kHighsCallbackLogging, kHighsCallbackSimplexInterrupt, kHighsCallbackIpmInterrupt,
                        kHighsCallbackMipInterrupt, kHighsCallbackMipImprovingSolution, kHighsCallbackMipLogging})
    Highs_startCallback(highs_, type);
  if (mip && ctx.events) Highs_startCallback(highs_, kHighsCallbackCallbackMipUserSolution);

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
    bool crossover_asked = run.crossover_asked && model_status == kHighsModelStatusInterrupt;
    if ((want_crossover || crossover_asked) && primal != kHighsSolutionStatusNone &&
        (model_status == kHighsModelStatusOptimal || model_status == kHighsModelStatusUnknown || crossover_asked)) {
      std::vector<double> x(held_.ncols), cd(held_.ncols), rv(held_.nrows), rd(held_.nrows);
      Highs_getSolution(highs_, x.data(), cd.data(), rv.data(), rd.data());
      crossover_from(x.data());
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.flush();
  if (ctx.events) {
    run.fire_presolve(nullptr);
    // The barrier's last iteration ends the run before another interrupt check reports it.
    if (run.barrier && ipm_iters > run.last_ipm_iter && !run.stop_barrier) {
      EventState st;
      st.bariter = ipm_iters;
      st.time = seconds;
      ctx.events->bariteration(st);
    }
  }

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
  if (ctx.events) notify_user_solutions(ctx, run);
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
  require_no_highs_run();
  auto *engine = dynamic_cast<HighsEngine *>(ctx.cache.get());
  if (!engine) {
    ctx.cache = std::make_unique<HighsEngine>();
    engine = static_cast<HighsEngine *>(ctx.cache.get());
  }
  try {
    HighsRunScope run;
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
