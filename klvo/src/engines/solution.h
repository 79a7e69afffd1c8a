// The result of the last solve of a problem: statuses, counters, objective values and the
// solution vectors, all in the space of the model as the user built it.
#pragma once

#include <cstdint>
#include <vector>

#include "klvo.h"

namespace klvo {

// The figures of one solve: statuses, counters, objective values and time. The problem's
// solution holds them for the whole solve, each stage of a solve with several objectives for
// its own; the attribute getters read either through this one type.
struct SolveFigures {
  int lpstatus = KLVO_LP_UNSTARTED;
  int mipstatus = KLVO_MIP_NOT_LOADED;
  int solvestatus = KLVO_SOLVESTATUS_UNSTARTED;
  int solstatus = KLVO_SOLSTATUS_NOTFOUND;
  int stopstatus = KLVO_STOP_NONE;
  int optimizetype = KLVO_OPTTYPE_NONE;

  int64_t simplexiter = 0, bariter = 0, nodes = 0, mipsols = 0;
  double lpobjval = 0.0, mipobjval = 0.0, bestbound = 0.0, miprelgap = 0.0, time = 0.0;
};

// How one stage of a solve with several objectives ended: the objectives it optimised together
// (blended by weight) and its figures, the objective values being the stage's own (blended)
// objective at its solution and its bound.
struct StageResult : SolveFigures {
  int priority = 0;
  std::vector<int> objectives;
};

struct SolutionStore : SolveFigures {

  // Primal values (x, slack) exist when primal_status is OPTIMAL or FEASIBLE; duals and
  // reduced costs when dual_status is OPTIMAL.
  int primal_status = KLVO_SOLSTATUS_NOTFOUND;
  int dual_status = KLVO_SOLSTATUS_NOTFOUND;
  std::vector<double> x, slack, duals, djs;

  // After a solve with several objectives: its stages in the order run, for each objective
  // the stage that optimised it (-1: weight 0, or its stage was not reached), and each
  // objective's value at x (empty when there is no x).
  std::vector<StageResult> stages;
  std::vector<int> objective_stage;
  std::vector<double> objective_values;

  void clear() { *this = SolutionStore(); }
};

struct ModelStore;
struct EventState;

// Solution queries over first..last (an empty range first = last + 1 is allowed); *status
// tells whether the stored vector is valid for the model as it is now. fn names the entry
// point in errors.
void get_solution(const ModelStore &m, const SolutionStore &s, int *status, double *x, int first, int last,
                  const char *fn);
void get_slacks(const ModelStore &m, const SolutionStore &s, int *status, double *slacks, int first, int last,
                const char *fn);
void get_duals(const ModelStore &m, const SolutionStore &s, int *status, double *duals, int first, int last,
               const char *fn);
void get_redcosts(const ModelStore &m, const SolutionStore &s, int *status, double *djs, int first, int last,
                  const char *fn);
void get_lpsol(const ModelStore &m, const SolutionStore &s, double *x, double *slack, double *duals, double *djs,
               const char *fn);
void get_mipsol(const ModelStore &m, const SolutionStore &s, double *x, double *slack, const char *fn);
// The solution of the event a callback is handling (e; null outside callbacks), over
// first..last; *status is "feasible" when the event has the vector, else "not found" and out
// is left alone.
enum class CallbackVector { x, slacks, duals, djs };
void callback_query(const ModelStore &m, const EventState *e, CallbackVector which, int *status, double *out,
                    int first, int last, const char *fn);

// Computations at a given x and duals (null: those of the last solve).
void calc_objective(const ModelStore &m, const SolutionStore &s, const double *x, double *objval, const char *fn);
void calc_slacks(const ModelStore &m, const SolutionStore &s, const double *x, double *slacks, const char *fn);
void calc_reduced_costs(const ModelStore &m, const SolutionStore &s, const double *duals, const double *x, double *djs,
                        const char *fn);

}  // namespace klvo
