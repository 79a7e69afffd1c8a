// Multistart: jobs registered with a nonlinear layer, each solved on its own copy of the
// problem by a pool of worker threads, the best result taken over by the problem.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engines/context.h"
#include "klvo.h"

struct kslp_problem_s;

namespace klvo {
namespace nlp {

// One registered job, or a preset standing for `count` of them (preset 0: a plain job).
struct MsJob {
  std::string description;
  int preset = 0;
  int count = 1;
  std::vector<int> cols;  // initial values given with the job
  std::vector<double> values;
  std::vector<int> int_ids, int_values;
  std::vector<int> dbl_ids;
  std::vector<double> dbl_values;
  void *object = nullptr;
};

// What a layer keeps for multistart: its jobs, event functions and the last winner.
struct Multistart {
  std::vector<MsJob> jobs;
  KSLPmsjobcb on_start = nullptr, on_end = nullptr;
  void *start_data = nullptr, *end_data = nullptr;
  KSLPmswinnercb on_winner = nullptr;
  void *winner_data = nullptr;
  int winner = 0;  // number of the last winning job, 0 none
  mutable std::mutex events_mutex;  // the event functions may be set while jobs run
};

// Checks and registers a job (preset 0) or a preset; nothing changes on a refusal.
void add_job(kslp_problem_s &slp, MsJob job, const char *fn);
void clear_jobs(kslp_problem_s &slp);
void set_job_events(kslp_problem_s &slp, int which, void (*f)(), void *data);

// The jobs with their columns renumbered after a deletion (deleted sorted ascending); the
// initial values of deleted columns are dropped.
std::vector<MsJob> jobs_after_deletion(const std::vector<MsJob> &jobs, const std::vector<int> &deleted);

// Runs every job and leaves the best result in the context's solution and the layer.
void run_multistart(const SolveContext &ctx, kslp_problem_s &slp);

}  // namespace nlp
}  // namespace klvo
