// LP, MILP and convex QP through HiGHS's C API. One HiGHS instance lives with each problem;
// before each solve the model store is compared with what HiGHS holds and only the changed
// costs, bounds, right-hand sides and types are passed on, so HiGHS keeps its basis and a
// re-solve after a small change starts warm.
#pragma once

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
  void apply_controls(const ParamStore &p, const HighsRequest &request, bool mip);
  void read_result(const SolveContext &ctx, const HighsModel &model, bool mip);

  void *highs_;
  HighsModel held_;  // what HiGHS holds
  bool loaded_ = false;
  bool incremental_ = false;
};

// Builds the HiGHS form of a model (relax: drop integrality).
void build_highs_model(const ModelStore &m, bool relax, HighsModel &out);

// Solves with the HiGHS instance kept in the context's cache slot (created on first use).
void highs_solve(const SolveContext &ctx, const HighsRequest &request);

}  // namespace klvo
