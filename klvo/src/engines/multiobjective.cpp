#include "engines/multiobjective.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "engines/nlp/layer.h"
#include "engines/solution_info.h"
#include "env/error.h"
#include "model/edit.h"

namespace klvo {

namespace {

// Objectives optimised together, and what they add up to.
struct Stage {
  int priority = 0;
  std::vector<int> objectives;
  std::vector<double> cost;  // blended linear coefficients, one per column
  double constant = 0.0;
  double quad_weight = 0.0;  // weight of objective 0's quadratic part
  double abstol = 0.0, reltol = 0.0;
};

double weight_of(const ParamStore &p, int k) { return p.get_obj(k, KLVO_OBJCONTROL_WEIGHT); }

std::vector<Stage> plan_stages(const ModelStore &m, const ParamStore &p) {
  const int count = 1 + static_cast<int>(m.objn.size()), n = m.ncols();
  std::vector<int> order;
  for (int k = 0; k < count; ++k)
    if (weight_of(p, k) != 0.0) order.push_back(k);
  auto priority = [&](int k) { return static_cast<int>(p.get_obj(k, KLVO_OBJCONTROL_PRIORITY)); };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return priority(a) > priority(b); });

  std::vector<Stage> stages;
  for (int k : order) {
    if (stages.empty() || stages.back().priority != priority(k)) {
      stages.emplace_back();
      stages.back().priority = priority(k);
      stages.back().cost.assign(n, 0.0);
    }
    Stage &s = stages.back();
    const double w = weight_of(p, k);
    s.objectives.push_back(k);
    if (k == 0) {
      for (int j = 0; j < n; ++j) s.cost[j] += w * m.obj[j];
      s.constant += w * m.objconstant;
      if (m.has_qobj()) s.quad_weight = w;
    } else {
      const std::vector<double> &c = m.objn[k - 1];
      for (size_t j = 0; j < c.size() && j < static_cast<size_t>(n); ++j) s.cost[j] += w * c[j];
      s.constant += w * p.get_obj(k, KLVO_OBJCONTROL_RHS);
    }
    s.abstol = std::max(s.abstol, p.get_obj(k, KLVO_OBJCONTROL_ABSTOL));
    s.reltol = std::max(s.reltol, p.get_obj(k, KLVO_OBJCONTROL_RELTOL));
  }
  return stages;
}

// The stage's objective becomes the model's only one.
void set_objective(ModelStore &model, const ModelStore &original, const Stage &s) {
  model.obj = s.cost;
  model.objconstant = s.constant;
  model.qobj.clear();
  if (s.quad_weight != 0.0) {
    model.qobj = original.qobj;
    for (auto &column : model.qobj)
      for (Entry &e : column) e.value *= s.quad_weight;
  }
  model.touch();
}

// Keeps the stage's objective within its allowance of the value z it reached. The quadratic
// part of the objective, 1/2 x'Qx, is the row's x'Px with P = Q/2.
void add_degradation_row(ModelStore &model, const Stage &s, double z) {
  const double allowance = std::max(s.abstol, s.reltol * std::fabs(z));
  if (!(allowance < KLVO_INFINITY)) return;
  const char *fn = "the objective stages";
  std::vector<int> cols;
  std::vector<double> vals;
  for (int j = 0; j < model.ncols(); ++j)
    if (s.cost[j] != 0.0) cols.push_back(j), vals.push_back(s.cost[j]);
  const char type = model.objsense < 0 ? 'G' : 'L';
  const double rhs = (model.objsense < 0 ? z - allowance : z + allowance) - s.constant;
  const int64_t start[1] = {0};
  add_rows(model, fn, &type, &rhs, nullptr,
           sparse_block(1, static_cast<int64_t>(cols.size()), start, cols.data(), vals.data()));
  if (model.qobj.empty()) return;
  std::vector<int> c1, c2;
  std::vector<double> v;
  for (int j = 0; j < model.ncols(); ++j)
    for (const Entry &e : model.qobj[j])
      if (e.index >= j) c1.push_back(j), c2.push_back(e.index), v.push_back(0.5 * e.value);
  add_qrow(model, fn, model.nrows() - 1, static_cast<int64_t>(v.size()), c1.data(), c2.data(), v.data());
}

bool logging(const SolveContext &ctx) {
  int64_t output = ctx.controls.int_control(KLVO_CONTROL_OUTPUTLOG);
  return output == KLVO_OUTPUT_ALL || output == KLVO_OUTPUT_DETAILED;
}

const char *status_text(const SolutionStore &s) {
  switch (s.solstatus) {
    case KLVO_SOLSTATUS_OPTIMAL: return "optimal";
    case KLVO_SOLSTATUS_INFEASIBLE: return "infeasible";
    case KLVO_SOLSTATUS_UNBOUNDED: return "unbounded";
    case KLVO_SOLSTATUS_FEASIBLE: return "stopped with a solution";
    default: return s.solvestatus == KLVO_SOLVESTATUS_STOPPED ? "stopped without a solution" : "no solution";
  }
}

// The beforeobjective and afterobjective events fire around each stage, here.
void before_objective(const SolveContext &ctx, const Stage &s, size_t index, size_t count) {
  if (!logging(ctx)) return;
  std::string list;
  for (int k : s.objectives) list += (list.empty() ? "" : ", ") + std::to_string(k);
  ctx.message(KLVO_MSG_INFO, format("Objective stage %zu of %zu: priority %d, objective%s %s", index + 1, count,
                                    s.priority, s.objectives.size() > 1 ? "s" : "", list.c_str()));
}

void after_objective(const SolveContext &ctx, const SolutionStore &sol, double value, size_t index) {
  if (!logging(ctx)) return;
  std::string text = format("Objective stage %zu: %s", index + 1, status_text(sol));
  if (sol.primal_status != KLVO_SOLSTATUS_NOTFOUND) text += format(", objective %.10g", value);
  ctx.message(KLVO_MSG_INFO, text + format(" (%.3f s)", sol.time));
}

StageResult stage_result(const Stage &s, const SolutionStore &sol, double value) {
  StageResult r;
  static_cast<SolveFigures &>(r) = sol;
  r.priority = s.priority;
  r.objectives = s.objectives;
  (sol.optimizetype == KLVO_OPTTYPE_MIP ? r.mipobjval : r.lpobjval) = value;
  return r;
}

// The figures of a finished stage, as its afterobjective callbacks see them.
EventState final_state(const SolutionStore &s, const ModelStore &m) {
  EventState st;
  st.nodes = s.nodes;
  st.mipsols = s.mipsols;
  st.simplexiter = s.simplexiter;
  st.bariter = s.bariter;
  st.time = s.time;
  if (s.optimizetype == KLVO_OPTTYPE_MIP) {
    st.bestbound = s.bestbound;
    if (s.primal_status != KLVO_SOLSTATUS_NOTFOUND) st.mipobjval = s.mipobjval, st.miprelgap = s.miprelgap;
  } else if (s.primal_status != KLVO_SOLSTATUS_NOTFOUND) {
    st.lpobjval = s.lpobjval;
  }
  bool primal = s.primal_status != KLVO_SOLSTATUS_NOTFOUND && static_cast<int>(s.x.size()) == m.ncols();
  if (primal) {
    st.x = s.x.data();
    if (static_cast<int>(s.slack.size()) == m.nrows()) st.slack = s.slack.data();
  }
  if (primal && s.dual_status != KLVO_SOLSTATUS_NOTFOUND && static_cast<int>(s.duals.size()) == m.nrows() &&
      static_cast<int>(s.djs.size()) == m.ncols())
    st.duals = s.duals.data(), st.djs = s.djs.data();
  return st;
}

bool has_primal(const SolutionStore &s) { return s.primal_status != KLVO_SOLSTATUS_NOTFOUND && !s.x.empty(); }

// A solve stopped between stages, or in a stage that found no solution of its own, still has
// the solution of the last stage finished: feasible, though not optimal for all objectives.
void keep_earlier_solution(SolutionStore &out, const SolutionStore *earlier, int stop) {
  if (stop != KLVO_STOP_NONE) {
    out.solvestatus = KLVO_SOLVESTATUS_STOPPED;
    out.stopstatus = stop;
  }
  if (!has_primal(out) && earlier) {
    out.x = earlier->x;
    out.slack = earlier->slack;
    out.primal_status = KLVO_SOLSTATUS_FEASIBLE;
  }
  if (!has_primal(out)) return;
  out.primal_status = out.solstatus = KLVO_SOLSTATUS_FEASIBLE;
  if (out.optimizetype == KLVO_OPTTYPE_MIP) out.mipstatus = KLVO_MIP_SOLUTION;
  else out.lpstatus = KLVO_LP_UNFINISHED;
}

}  // namespace

void optimize_objectives(const SolveContext &ctx, kslp_problem_s *layer, const char *flags, SolveKind kind) {
  const ModelStore &original = ctx.model;
  const int count = 1 + static_cast<int>(original.objn.size());
  std::vector<Stage> stages = plan_stages(original, ctx.controls);
  if (stages.empty()) {
    // Every weight is 0: nothing to optimise, any feasible solution will do.
    stages.emplace_back();
    stages.back().cost.assign(original.ncols(), 0.0);
  }

  // Each stage solves its own copy of the model with its own controls, starts and engine, so
  // that nothing of the stages' extra rows stays with the problem.
  ModelStore model = original;
  model.objn.clear();
  ParamStore controls;
  controls.copy_from(ctx.controls);
  const double timelimit = controls.dbl_control(KLVO_CONTROL_TIMELIMIT);
  const double cutoff = controls.dbl_control(KLVO_CONTROL_CUTOFF);
  StartStore starts = ctx.starts ? *ctx.starts : StartStore();
  std::unique_ptr<EngineCache> cache;

  const auto started = std::chrono::steady_clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };

  SolutionStore out, earlier;
  out.objective_stage.assign(count, -1);
  bool ran = false, have_earlier = false;
  int stop = KLVO_STOP_NONE;
  int64_t simplexiter = 0, bariter = 0, nodes = 0, mipsols = 0;
  // The solution of the stage that ends the sequence, under the stage results gathered so far.
  auto adopt = [&out](SolutionStore &&sol) {
    std::vector<StageResult> results = std::move(out.stages);
    std::vector<int> which = std::move(out.objective_stage);
    out = std::move(sol);
    out.stages = std::move(results);
    out.objective_stage = std::move(which);
  };
  for (size_t index = 0; index < stages.size(); ++index) {
    const Stage &stage = stages[index];
    // An interrupt stops between stages as within them; the time limit covers all stages.
    if (ctx.interrupt.load() != 0) {
      stop = KLVO_STOP_INTERRUPT;
      break;
    }
    if (timelimit > 0) {
      double remaining = timelimit - elapsed();
      if (remaining <= 0) {
        stop = KLVO_STOP_TIMELIMIT;
        break;
      }
      controls.set_dbl(*find_ca(KLVO_CONTROL_TIMELIMIT), remaining);
    }
    // The cutoff bounds objective 0: it prunes only a stage that optimises exactly that.
    bool objective0 = stage.objectives.size() == 1 && stage.objectives[0] == 0 &&
                      weight_of(ctx.controls, 0) == 1.0;
    controls.set_dbl(*find_ca(KLVO_CONTROL_CUTOFF), objective0 ? cutoff : 1e40);
    set_objective(model, original, stage);
    // The previous stage's solution is feasible here too: a start for an integer search.
    if (have_earlier) {
      starts.mip.assign(1, MipStart{{}, earlier.x, "previous objective"});
      starts.mip_cols = model.ncols();
    }

    SolutionStore sol;
    SolveContext sc{model, controls, sol, ctx.interrupt, ctx.message, cache, &starts};
    before_objective(ctx, stage, index, stages.size());
    if (ctx.events) ctx.events->beforeobjective(EventState{});
    // The nonlinear layer compiles each stage's model afresh and forgets it afterwards: the
    // stages' models are not the problem's, whatever their revision numbers say.
    if (layer) layer->compiled.reset();
    try {
      optimize(sc, layer, flags, kind);
    } catch (...) {
      if (layer) layer->compiled.reset();
      // A stage that fails leaves no solution, whatever the previous solve left.
      ctx.solution.clear();
      ctx.solution.solvestatus = KLVO_SOLVESTATUS_FAILED;
      ctx.solution.lpstatus = KLVO_LP_UNSOLVED;
      throw;
    }
    const double value = has_primal(sol) ? objective_value(model, sol.x.data()) : 0.0;
    after_objective(ctx, sol, value, index);
    if (ctx.events && ctx.events->wants(KLVO_CB_AFTEROBJECTIVE)) {
      // The stage's figures are what the callbacks' attribute queries read.
      ctx.solution = sol;
      ctx.events->afterobjective(final_state(sol, model));
    }
    // The user's starts are used up by the first stage as by a plain solve.
    if (index == 0 && ctx.starts) {
      ctx.starts->mip = starts.mip;
      ctx.starts->clear_lp();
    }

    ran = true;
    for (int k : stage.objectives) out.objective_stage[k] = static_cast<int>(out.stages.size());
    out.stages.push_back(stage_result(stage, sol, value));
    simplexiter += sol.simplexiter, bariter += sol.bariter, nodes += sol.nodes, mipsols += sol.mipsols;
    bool finished = sol.solvestatus == KLVO_SOLVESTATUS_COMPLETED && sol.solstatus == KLVO_SOLSTATUS_OPTIMAL;
    if (!finished || index + 1 == stages.size()) {
      if (index > 0 && sol.solstatus == KLVO_SOLSTATUS_INFEASIBLE)
        ctx.message(KLVO_MSG_WARNING, format("Objective stage %zu has no solution within the allowed degradation of "
                                             "the earlier objectives; raise their abstol or reltol",
                                             index + 1));
      if (sol.solvestatus == KLVO_SOLVESTATUS_STOPPED)
        keep_earlier_solution(sol, have_earlier ? &earlier : nullptr, KLVO_STOP_NONE);
      adopt(std::move(sol));
      break;
    }
    add_degradation_row(model, stage, value);
    earlier = std::move(sol);
    have_earlier = true;
  }
  if (stop != KLVO_STOP_NONE) {
    // Stopped before a stage: the last stage finished holds the solution.
    adopt(ran ? std::move(earlier) : SolutionStore());
    keep_earlier_solution(out, nullptr, stop);
  }

  // What belongs to the model's own rows, the totals over all stages, and each objective's
  // value at the solution. Duals and reduced costs are those of a stage's model, not of the
  // user's, and are not kept.
  out.slack.resize(std::min(out.slack.size(), static_cast<size_t>(original.nrows())));
  out.duals.clear();
  out.djs.clear();
  out.dual_status = KLVO_SOLSTATUS_NOTFOUND;
  out.simplexiter = simplexiter, out.bariter = bariter, out.nodes = nodes, out.mipsols = mipsols;
  out.time = elapsed();
  out.objective_values.clear();
  if (has_primal(out)) {
    for (int k = 0; k < count; ++k) {
      double v = objective_n_value(original, k, out.x.data(), "the objective stages");
      if (k > 0) v += ctx.controls.get_obj(k, KLVO_OBJCONTROL_RHS);
      out.objective_values.push_back(v);
    }
    (out.optimizetype == KLVO_OPTTYPE_MIP ? out.mipobjval : out.lpobjval) = out.objective_values[0];
  }
  if (layer) {
    layer->compiled.reset();
    nlp::Results &r = layer->results;
    // The layer's own getters give the last stage's values on the model's rows.
    r.slack.resize(std::min(r.slack.size(), static_cast<size_t>(original.nrows())));
    r.duals.resize(std::min(r.duals.size(), static_cast<size_t>(original.nrows())));
    if (!out.objective_values.empty()) r.objval = out.objective_values[0];
  }
  ctx.solution = std::move(out);
}

void optimize_stages(const SolveContext &ctx, kslp_problem_s *layer, const char *flags, SolveKind kind) {
  if (model_facts(ctx.model, layer ? ctx.model.formulas.size() : 0).objectives > 1)
    return optimize_objectives(ctx, layer, flags, kind);
  // One objective: its solve is the only stage.
  if (ctx.events) ctx.events->beforeobjective(EventState{});
  optimize(ctx, layer, flags, kind);
  if (ctx.events && ctx.events->wants(KLVO_CB_AFTEROBJECTIVE))
    ctx.events->afterobjective(final_state(ctx.solution, ctx.model));
}

}  // namespace klvo
