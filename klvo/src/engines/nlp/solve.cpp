// The nonlinear solve: starting point, engine settings, results and their sign conventions.
#include "engines/nlp/solve.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "engines/nlp/catalogue.h"
#include "engines/nlp/layer.h"
#include "engines/nlp/slp/slp_engine.h"
#include "engines/nlp/slp/slp_events.h"
#include "env/problem.h"

namespace klvo {
namespace nlp {

namespace {

EngineSettings settings_of(const kslp_problem_s *slp) {
  EngineSettings s;
  s.iterlimit = static_cast<int>(int_control(slp, kCtrlIterLimit));
  s.log = static_cast<int>(int_control(slp, kCtrlLog));
  s.timelimit = dbl_control(slp, kCtrlTimeLimit);
  s.opttol = dbl_control(slp, kCtrlOptTol);
  s.feastol = dbl_control(slp, kCtrlFeasTol);
  s.exact_hessian = int_control(slp, kCtrlDerivatives) == 0;
  s.mu_init = dbl_control(slp, kCtrlMuInit);
  s.mu_strategy = static_cast<int>(int_control(slp, kCtrlMuStrategy));
  s.bound_push = dbl_control(slp, kCtrlBoundPush);
  s.acceptable_tol = dbl_control(slp, kCtrlAcceptableTol);
  s.acceptable_iter = static_cast<int>(int_control(slp, kCtrlAcceptableIter));
  s.engine_options = str_control(slp, kCtrlEngineOptions);
  return s;
}

// Given initial values, else 0, moved into the bounds; engine columns only.
std::vector<double> starting_point(const kslp_problem_s *layer, const NlpModel &model) {
  std::vector<double> x(model.ne, 0.0);
  if (layer)
    for (const auto &kv : layer->initval)
      if (kv.first < model.n && model.engine_col[kv.first] >= 0) x[model.engine_col[kv.first]] = kv.second;
  for (int j = 0; j < model.ne; ++j) {
    double lo = model.xl[j], hi = model.xu[j];
    if (lo > -1e20 && x[j] < lo) x[j] = lo;
    if (hi < 1e20 && x[j] > hi) x[j] = hi;
  }
  return x;
}

const char *status_text(int status) {
  switch (status) {
    case kNlpSolution: return "locally optimal solution found";
    case kNlpLocallyInfeasible: return "the problem is locally infeasible";
    case kNlpUnbounded: return "the objective appears unbounded (diverging iterates)";
    case kNlpUnfinished: return "stopped before convergence (limit or interrupt)";
    default: return "the engine failed to find a solution";
  }
}

// The outcome in the terms of the problem's solution store, made aside and moved in whole.
void store_solution(SolutionStore &out, const Results &res, int stop, double feastol) {
  SolutionStore s;
  s.optimizetype = KLVO_OPTTYPE_NLP;
  s.bariter = res.iterations;
  s.time = res.solvetime;
  s.lpobjval = res.objval;
  bool feasible = res.has_solution && res.maxviolation <= 10 * feastol;
  switch (res.nlpstatus) {
    case kNlpSolution:
      s.lpstatus = KLVO_LP_OPTIMAL;
      s.solvestatus = KLVO_SOLVESTATUS_COMPLETED;
      s.solstatus = KLVO_SOLSTATUS_OPTIMAL;
      break;
    case kNlpLocallyInfeasible:
      s.lpstatus = KLVO_LP_INFEAS;
      s.solvestatus = KLVO_SOLVESTATUS_COMPLETED;
      s.solstatus = KLVO_SOLSTATUS_INFEASIBLE;
      break;
    case kNlpUnbounded:
      s.lpstatus = KLVO_LP_UNBOUNDED;
      s.solvestatus = KLVO_SOLVESTATUS_COMPLETED;
      s.solstatus = KLVO_SOLSTATUS_UNBOUNDED;
      break;
    case kNlpUnfinished:
      s.lpstatus = KLVO_LP_UNFINISHED;
      s.solvestatus = KLVO_SOLVESTATUS_STOPPED;
      s.solstatus = feasible ? KLVO_SOLSTATUS_FEASIBLE : KLVO_SOLSTATUS_NOTFOUND;
      s.stopstatus = stop ? stop : KLVO_STOP_ITERLIMIT;
      break;
    default:
      s.lpstatus = KLVO_LP_UNSOLVED;
      s.solvestatus = KLVO_SOLVESTATUS_FAILED;
      s.solstatus = KLVO_SOLSTATUS_NOTFOUND;
      break;
  }
  if (s.solstatus == KLVO_SOLSTATUS_OPTIMAL || s.solstatus == KLVO_SOLSTATUS_FEASIBLE) {
    s.primal_status = s.solstatus;
    s.x = res.x;
    s.slack = res.slack;
    if (s.solstatus == KLVO_SOLSTATUS_OPTIMAL) {
      s.dual_status = KLVO_SOLSTATUS_OPTIMAL;
      s.duals = res.duals;
      s.djs = res.djs;
    }
  }
  out = std::move(s);
}

}  // namespace

void engine_message(const SolveContext &ctx, kslp_problem_s *layer, int msgtype, const std::string &line) {
  // The problem's output level filters the nonlinear layer's messages as it does the others.
  int64_t output = ctx.controls.int_control(KLVO_CONTROL_OUTPUTLOG);
  if (output == KLVO_OUTPUT_NONE) return;
  if (output == KLVO_OUTPUT_ERRORS_AND_WARNINGS && msgtype != KLVO_MSG_WARNING && msgtype != KLVO_MSG_ERROR) return;
  if (layer) layer->message(msgtype, line);
  else ctx.message(msgtype, line);
}

namespace {

// The layer's column and row settings in the SLP engine's space.
SlpInput slp_input(kslp_problem_s *slp, const NlpModel &model) {
  SlpInput in;
  in.stepbound.assign(model.ne, 0.0);
  in.tolset.assign(model.ne, -1);
  in.weight.assign(model.m, 1.0);
  in.enforced.assign(model.m, 0);
  in.deltatype.assign(model.ne, 0);
  in.deltavalue.assign(model.ne, 0.0);
  in.damp.assign(model.ne, 0.0);
  in.fixstep.assign(model.ne, 0);
  if (!slp) return in;
  in.tolsets = slp->tolsets;
  for (const auto &kv : slp->vars) {
    if (kv.first >= model.n || model.engine_col[kv.first] < 0) continue;
    int k = model.engine_col[kv.first];
    in.stepbound[k] = kv.second.initstepbound;
    in.tolset[k] = kv.second.tolset - 1;
    in.deltatype[k] = kv.second.vartype & KSLP_VAR_NODELTA ? 1 : kv.second.deltatype;
    in.deltavalue[k] = kv.second.deltavalue;
    in.damp[k] = kv.second.damp;
    in.fixstep[k] = (kv.second.vartype & KSLP_VAR_FIXSTEPBOUND) != 0;
  }
  auto engine_row = [&](int i) {
    return i >= 0 && i < static_cast<int>(model.engine_row.size()) ? model.engine_row[i] : -1;
  };
  for (const auto &kv : slp->rowweight)
    if (engine_row(kv.first) >= 0) in.weight[engine_row(kv.first)] = kv.second;
  // A column's penalty weighs the error of the row that determines it.
  for (const auto &kv : slp->vars)
    if (kv.second.penalty > 0 && engine_row(kv.second.detrow) >= 0)
      in.weight[engine_row(kv.second.detrow)] *= kv.second.penalty;
  if (int_control(slp, kCtrlCascade) == 1 && slp->prob) {
    for (const CascadeColumn &c : model_cascade(*slp, "KLVOnlpoptimize")) {
      int col = model.engine_col[c.col], row = engine_row(c.row);
      if (col < 0 || row < 0) continue;  // substituted by the model itself
      in.cascade.push_back({col, row, c.col, model.gl[row], model.gu[row], model.xl[col], model.xu[col], c.limit});
    }
    in.cascade_passes = static_cast<int>(int_control(slp, kCtrlCascadeNLimit));
    in.cascade_tol = dbl_control(slp, kCtrlCascadeTol);
  }
  for (const auto &kv : slp->rowstatus)
    if (engine_row(kv.first) >= 0 && (kv.second & kRowEnforced)) in.enforced[engine_row(kv.first)] = 1;
  for (const auto &kv : slp->dfs) {
    int c = kv.first.first, r = engine_row(kv.first.second);
    if (c < model.n && model.engine_col[c] >= 0 && r >= 0) in.dfs.push_back({r, model.engine_col[c], kv.second});
  }
  return in;
}

// The SLP engine's final step bounds and convergence flags go back to the column settings,
// and the layer learns where its columns and rows sat in the LP.
// The iterate's values (model space), convergence, history and step bounds go to the column
// settings, the previous values becoming the old ones.
void publish_columns(kslp_problem_s *slp, NlpModel &model, const SlpColumnState &st, const std::vector<double> &x) {
  std::vector<double> xm, xp;
  if (!slp || static_cast<int>(x.size()) != model.ne || !model.complete(x.data(), xm)) return;
  bool prev = static_cast<int>(st.previous.size()) == model.ne && model.complete(st.previous.data(), xp);
  for (int j = 0; j < model.n; ++j) {
    VarSettings &v = slp->vars[j];
    v.oldvalue = prev ? xp[j] : v.value;
    v.value = xm[j];
  }
  for (int k = 0; k < model.ne && k < static_cast<int>(st.history.size()); ++k) {
    VarSettings &v = slp->vars[model.model_col[k]];
    v.stepbound = st.stepbound[k];
    v.converged = st.converged[k];
    v.history = st.history[k];
  }
}

void keep_slp_state(kslp_problem_s *slp, const NlpModel &model, const SlpColumnState &st) {
  if (!slp) return;
  slp->lp_column.assign(model.n, -1);
  slp->lp_row.assign(model.nrows_model(), -1);
  for (int k = 0; k < model.ne; ++k) {
    int j = model.model_col[k];
    slp->lp_column[j] = k;
    if (k < static_cast<int>(st.stepbound.size())) {
      VarSettings &v = slp->vars[j];
      v.stepbound = st.stepbound[k];
      v.converged = st.converged[k];
      if (k < static_cast<int>(st.history.size())) v.history = st.history[k];
    }
  }
  for (int i = 0; i < model.m; ++i) slp->lp_row[model.model_row[i]] = i;
}

// The layer's iteration events during an SLP solve.
struct LayerHooks : SlpHooks {
  kslp_problem_s *slp;
  NlpModel &model;
  const SlpColumnState &state;
  LayerHooks(kslp_problem_s *s, NlpModel &m, const SlpColumnState &st) : slp(s), model(m), state(st) {}
  bool iteration_start(int) override { return fire_flag(slp, KSLP_CB_ITERSTART) != 0; }
  // The event reads the iterate through the column settings, kept current only for it.
  bool iteration_end(int, const std::vector<double> &x) override {
    if (!slp || !slp->event(KSLP_CB_ITEREND).fn) return false;
    publish_columns(slp, model, state, x);
    return fire_flag(slp, KSLP_CB_ITEREND) != 0;
  }
  bool keep_linearization() override { return fire_flag(slp, KSLP_CB_PREUPDATELINEARIZATION) != 0; }
  // Finds the first formula entry that fails at the point, one entry at a time, and reports it.
  void eval_failed(const std::vector<double> &x) override {
    kslp_problem_s::EventFn e = slp ? slp->event(KSLP_CB_COEFEVALERROR) : kslp_problem_s::EventFn();
    if (!e.fn || !slp->prob) return;
    std::vector<double> xm(model.n, 0.0);
    for (int k = 0; k < model.ne; ++k) xm[model.model_col[k]] = x[k];
    std::vector<int> type;
    std::vector<double> value;
    for (const FormulaEntry &f : slp->prob->model.formulas.entries()) {
      type.clear();
      value.clear();
      for (const FormulaToken &t : f.tokens) type.push_back(t.type), value.push_back(t.value);
      type.push_back(0);
      value.push_back(0.0);
      double v = 0;
      bool ok = true;
      try {
        formula_derivatives(*slp, 1, type.data(), value.data(), xm.data(), &v, nullptr, nullptr, "coefevalerror");
      } catch (const Error &) {
        ok = false;
      }
      if (!ok || !std::isfinite(v)) {
        reinterpret_cast<KSLPcoefevalerrorcb>(e.fn)(slp, e.data, f.row, f.col);
        return;
      }
    }
  }
  int column_converged(int col, int verdict) override {
    int v = fire_column(slp, KSLP_CB_ITERVAR, col);
    if (v > 0) return verdict ? verdict : 1;
    if (v < 0) return 0;
    return verdict;
  }
};

void run(const SolveContext &ctx, kslp_problem_s *slp) {
  auto start = std::chrono::steady_clock::now();
  // The interrupt flags were cleared when the solve took the problem (klvo::UseMark).
  if (slp) slp->results = Results();
  // The compiled model is kept while neither the store nor the formulas change.
  std::shared_ptr<NlpModel> compiled;
  if (slp && slp->compiled && slp->compiled_model_revision == ctx.model.revision &&
      slp->compiled_formulas_revision == ctx.model.formulas.revision()) {
    compiled = slp->compiled;
  } else {
    compiled = std::make_shared<NlpModel>(ctx.model, slp);
    if (slp) {
      slp->compiled = compiled;
      slp->compiled_model_revision = ctx.model.revision;
      slp->compiled_formulas_revision = ctx.model.formulas.revision();
      fire(slp, KSLP_CB_CONSTRUCT);
    }
  }
  NlpModel &model = *compiled;
  EngineSettings settings = settings_of(slp);
  // The problem's output level also governs the nonlinear engine: its iteration log is neither
  // an error nor a warning, so only the levels that show everything let it through.
  int64_t output = ctx.controls.int_control(KLVO_CONTROL_OUTPUTLOG);
  if (output == KLVO_OUTPUT_NONE || output == KLVO_OUTPUT_ERRORS_AND_WARNINGS) settings.log = 0;
  std::vector<double> x0 = starting_point(slp, model);
  EngineResult r;
  if (fire(slp, KSLP_CB_SLPSTART)) {
    r.status = kNlpUnfinished;
    r.stop = KLVO_STOP_INTERRUPT;
  } else if (model.ne == 0) {
    r.status = kNlpSolution;
    r.have_point = true;
  } else if (int_control(slp, kCtrlSolver) == 1) {
    SlpInput in = slp_input(slp, model);
    SlpColumnState st;
    LayerHooks hooks(slp, model, st);
    r = run_slp(ctx, slp, model, x0, settings, in, hooks, &st);
    keep_slp_state(slp, model, st);
    if (r.have_point) publish_columns(slp, model, st, r.x);
  } else {
    r = run_engine(ctx, slp, model, x0, settings);
  }

  Results res;
  res.nlpstatus = r.status;
  res.iterations = r.iterations;
  res.layer_status = kStatusConstructed;
  int nr = model.nrows_model();
  if (r.have_point) {
    r.x.resize(model.ne);
    res.slack.assign(nr, 0.0);
    res.duals.assign(nr, 0.0);
    res.djs.assign(model.n, 0.0);
    std::vector<double> act(nr, 0.0);
    double f = 0.0;
    bool ok = model.complete(r.x.data(), res.x) && model.objective(res.x.data(), f) &&
              model.row_activities(res.x.data(), act.data());
    if (ok) {
      res.has_solution = true;
      res.layer_status |= kStatusSolved;
      res.objval = f;
      const ModelStore &ms = ctx.model;
      double viol = 0.0;
      for (int i = 0; i < nr; ++i) {
        res.slack[i] = ms.rhs[i] - act[i];
        int e = model.engine_row[i];
        if (e >= 0) {
          res.duals[i] = -model.sense * r.lambda[e];
          viol = std::max(viol, std::max(model.gl[e] - act[i], act[i] - model.gu[e]));
        }
      }
      // A determining row's dual makes its column's reduced cost zero, as the column is free:
      // the objective changes by c / a per unit of the row's right-hand side.
      for (const NlpModel::Determined &d : model.determined()) {
        res.duals[d.row] = d.c / d.a;
        viol = std::max(viol, std::fabs(act[d.row] - ms.rhs[d.row]));
      }
      for (int k = 0; k < model.ne; ++k) {
        int j = model.model_col[k];
        res.djs[j] = model.sense * (r.zl[k] - r.zu[k]);
        viol = std::max(viol, std::max(model.xl[k] - res.x[j], res.x[j] - model.xu[k]));
      }
      res.maxviolation = viol;
    }
  }
  res.solvetime = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  engine_message(ctx, slp, KLVO_MSG_INFO,
                 format("Nonlinear solve: %s; objective %.10g after %d iterations", status_text(res.nlpstatus), res.objval,
                        res.iterations));
  store_solution(ctx.solution, res, r.stop, settings.feastol);
  if (slp) {
    slp->results = std::move(res);
    fire(slp, KSLP_CB_SLPEND);
  }
}

}  // namespace

void optimize(const SolveContext &ctx, kslp_problem_s *slp, bool relax, bool multistart) {
  for (char t : ctx.model.coltype)
    if (t != 'C' && !relax)
      fail(KLVO_ERR_NOT_SUPPORTED,
           "The nonlinear solver takes continuous problems only; this problem has integer or semi-continuous columns");
  try {
    if (multistart && !relax && slp && !slp->multistart.jobs.empty()) run_multistart(ctx, *slp);
    else run(ctx, slp);
  } catch (...) {
    // A solve that fails part way has no solution, whatever the previous one left.
    ctx.solution.clear();
    ctx.solution.solvestatus = KLVO_SOLVESTATUS_FAILED;
    ctx.solution.lpstatus = KLVO_LP_UNSOLVED;
    throw;
  }
}

#ifndef KLVO_HAVE_IPOPT
EngineResult run_engine(const SolveContext &, kslp_problem_s *, NlpModel &, const std::vector<double> &,
                        const EngineSettings &) {
  fail(KLVO_ERR_NOT_AVAILABLE, "The nonlinear layer is not available: klvo was built without Ipopt");
}
#endif

}  // namespace nlp
}  // namespace klvo
