// LP, MILP and convex QP through HiGHS's C API. One HiGHS instance lives with each problem;
// before each solve the model store is compared with what HiGHS holds and only the changed
// costs, bounds, right-hand sides and types are passed on, so HiGHS keeps its basis and a
// re-solve after a small change starts warm.
#pragma once

#include <cstdint>
#include <vector>

#include "engines/context.h"

namespace klvo {

// A model in HiGHS's form: column-wise matrix, lower-triangular Hessian, row bounds.
struct HighsModel {
  int ncols = 0, nrows = 0;
  int sense = 1;
  double offset = 0.0;
  std::vector<double> cost, col_lower, col_upper, row_lower, row_upper;
  std::vector<int> start, index;
  std::vector<double> value;
  std::vector<int> qstart, qindex;
  std::vector<double> qvalue;
  std::vector<int> integrality;  // HiGHS variable types; empty when all continuous
  // The user's scale factors applied (model/marks.h); both empty when there are none.
  std::vector<double> rowscale, colscale;
};

struct HighsRequest {
  char algorithm = 0;  // 'p', 'd', 'b' or 0 for the controls' choice
  bool relax = false;  // ignore integrality
};

class HighsEngine : public EngineCache {
 public:
  HighsEngine();
  ~HighsEngine() override;
  HighsEngine(const HighsEngine &) = delete;
  HighsEngine &operator=(const HighsEngine &) = delete;

  // Solves the context's model and fills its solution. Throws Error when HiGHS fails.
  void solve(const SolveContext &ctx, const HighsRequest &request);

  // How the last sync reached HiGHS: true when only changes were passed (warm start).
  bool last_sync_incremental() const { return incremental_; }

  // Rays and crossover of the last continuous solve (highs_solution.cpp). A ray exists only
  // while the model is still the one solved (revision) and that solve ended infeasible (dual
  // ray) or unbounded (primal ray); the ray is given in the conventions of klvo/solution.h.
  bool dual_ray(const ModelStore &m, uint64_t revision, double *ray);
  bool primal_ray(const ModelStore &m, uint64_t revision, double *ray);
  // Combined index of the variable the primal ray follows, or -1.
  int unbounded_variable(const ModelStore &m, uint64_t revision);
  // Runs crossover from x on the model HiGHS holds, which must be the context's, and refills
  // the context's solution; false when it failed (the solution is then unchanged).
  bool crossover(const SolveContext &ctx, const double *x);
  // For the analysis of a solve (analysis/): the HiGHS instance, and the model it holds
  // (empty before the first load).
  void *instance() const { return highs_; }
  const HighsModel &held() const { return held_; }
  bool loaded() const { return loaded_; }
  // Passes the model to HiGHS as a solve would, keeping HiGHS's basis when only bounds, costs
  // or types changed.
  void load(const ModelStore &m);

 private:
  void sync(const HighsModel &model);
  char apply_controls(const ParamStore &p, const HighsRequest &request, bool mip);
  void read_result(const SolveContext &ctx, const HighsModel &model, bool mip);
  // Starting points (highs_solution.cpp): hands the context's LP or MIP start to HiGHS before
  // a run, keeps the barrier solution after one, and turns it into a basic solution.
  void offer_starts(const SolveContext &ctx, bool mip);
  void keep_barrier_solution(const SolveContext &ctx);
  bool crossover_from(const double *x);

  void *highs_;
  HighsModel held_;  // what HiGHS holds
  bool loaded_ = false;
  bool incremental_ = false;
  // The model revision and kind of the last run (rays belong to a continuous one).
  uint64_t solved_revision_ = 0;
  bool solved_lp_ = false;
};

// Builds the HiGHS form of a model (relax: drop integrality).
// user_scaled false leaves out the user's scale factors (the model in the user's own units).
void build_highs_model(const ModelStore &m, bool relax, HighsModel &out, bool user_scaled = true);
// Applies the model's user scale factors to a built engine model (done by build_highs_model).
void apply_user_scaling(const ModelStore &m, HighsModel &out);

// Solves with the HiGHS instance kept in the context's cache slot (created on first use).
void highs_solve(const SolveContext &ctx, const HighsRequest &request);

}  // namespace klvo
