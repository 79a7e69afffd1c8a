// Multistart: the jobs are expanded into runs up front (so that sampled points depend on the
// seed and the job's number, never on thread timing), then a pool of workers takes them in
// order, each on a fresh copy of the problem.
#include "engines/nlp/multistart.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <random>
#include <thread>
#include <utility>

#include "engines/nlp/catalogue.h"
#include "engines/nlp/layer.h"
#include "engines/nlp/solve.h"
#include "env/error.h"
#include "env/problem.h"
#include "model/access.h"
#include "params/access.h"

namespace klvo {
namespace nlp {

namespace {

constexpr int kMaxPresetJobs = 1000000;

// The engine settings the control-variation preset walks through, in order.
struct Variation {
  int mu_strategy, derivatives;
  double mu_init;
};
constexpr Variation kVariations[] = {{0, 0, 0.1}, {1, 0, 0.1}, {0, 1, 0.1}, {1, 1, 0.1},
                                     {0, 0, 1.0}, {1, 0, 1.0}, {0, 1, 1.0}, {1, 1, 1.0}};
constexpr int kNumVariations = sizeof kVariations / sizeof kVariations[0];

// A problem with its layer, made for one job and destroyed with it.
struct Copy {
  Problem *prob = nullptr;
  KSLPprob slp = nullptr;

  Copy() = default;
  Copy(const Copy &) = delete;
  Copy &operator=(const Copy &) = delete;
  ~Copy() {
    try {
      if (slp) destroy_layer(slp, "multistart");
    } catch (...) {
    }
    delete prob;
  }
};

// A problem holding the solve's model (with its formulas) and controls, and the layer's
// settings: the solve may be one stage of several objectives, whose model is not the problem's.
std::unique_ptr<Copy> make_copy(const SolveContext &ctx, const kslp_problem_s &slp, const char *fn) {
  auto c = std::make_unique<Copy>();
  c->prob = create_problem(fn);
  copy_model(c->prob->model, &ctx.model, nullptr, fn);
  c->prob->params.copy_from(ctx.controls);
  KLVOprob handle = c->prob;
  c->slp = create_layer(&handle, fn);
  copy_settings(*c->slp, slp);
  // The model's copy leaves the formulas behind: they go with the layer.
  c->slp->formulas(fn) = ctx.model.formulas;
  return c;
}

// The job's controls on a problem with a layer (the main setters forward the layer's ids).
void apply_controls(Problem &prob, const MsJob &job, const char *fn) {
  for (size_t k = 0; k < job.int_ids.size(); ++k) klvo::set_int_control(prob, job.int_ids[k], job.int_values[k], fn);
  for (size_t k = 0; k < job.dbl_ids.size(); ++k) klvo::set_dbl_control(prob, job.dbl_ids[k], job.dbl_values[k], fn);
}

// One job to run: its number (from 1), what it was registered with and what its preset made.
struct Run {
  int number = 0;
  const MsJob *job = nullptr;
  std::vector<std::pair<int, double>> point;  // initial values, applied in order
  int variation = -1;
};

struct Box {
  std::vector<double> ref, lo, hi;
};

Box sampling_box(const ModelStore &m, const kslp_problem_s &slp) {
  int n = m.ncols();
  Box b;
  b.ref.assign(n, 0.0);
  for (const auto &kv : slp.initval)
    if (kv.first >= 0 && kv.first < n) b.ref[kv.first] = kv.second;
  b.lo.resize(n);
  b.hi.resize(n);
  for (int j = 0; j < n; ++j) {
    double r = b.ref[j], reach = 10.0 * std::max(1.0, std::fabs(r));
    b.lo[j] = m.lb[j] > -KLVO_INFINITY ? m.lb[j] : r - reach;
    b.hi[j] = m.ub[j] < KLVO_INFINITY ? m.ub[j] : r + reach;
    if (b.hi[j] < b.lo[j]) b.hi[j] = b.lo[j];
  }
  return b;
}

// The runs of every job, numbered in registration order.
std::vector<Run> expand(const std::vector<MsJob> &jobs, const ModelStore &m, const kslp_problem_s &slp,
                        uint64_t seed) {
  std::vector<Run> runs;
  Box base = sampling_box(m, slp);
  int n = m.ncols();
  int number = 0;
  // A model replaced since the job was added may have fewer columns: those are left out.
  auto known = [n](int j) { return j >= 0 && j < n; };
  for (const MsJob &job : jobs) {
    if (job.preset == 0) {
      Run r;
      r.number = ++number;
      r.job = &job;
      for (size_t k = 0; k < job.cols.size(); ++k)
        if (known(job.cols[k])) r.point.emplace_back(job.cols[k], job.values[k]);
      runs.push_back(std::move(r));
      continue;
    }
    // The job's own values replace the reference values and are not sampled.
    Box box = base;
    std::vector<char> fixed(n, 0);
    for (size_t k = 0; k < job.cols.size(); ++k) {
      int j = job.cols[k];
      if (!known(j)) continue;
      box.ref[j] = job.values[k];
      fixed[j] = 1;
    }
    std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ULL + static_cast<uint64_t>(number + 1));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // Latin hypercube: per column a random permutation of the strata.
    std::vector<std::vector<int>> strata;
    if (job.preset == KSLP_MSPRESET_LATIN) {
      strata.resize(n);
      for (int j = 0; j < n; ++j) {
        strata[j].resize(job.count);
        for (int k = 0; k < job.count; ++k) strata[j][k] = k;
        std::shuffle(strata[j].begin(), strata[j].end(), rng);
      }
    }
    for (int k = 0; k < job.count; ++k) {
      Run r;
      r.number = ++number;
      r.job = &job;
      for (int j = 0; j < n; ++j) {
        double lo = box.lo[j], hi = box.hi[j], v;
        switch (job.preset) {
          case KSLP_MSPRESET_RANDOM: v = fixed[j] ? box.ref[j] : lo + unit(rng) * (hi - lo); break;
          case KSLP_MSPRESET_LATIN:
            v = fixed[j] ? box.ref[j] : lo + (strata[j][k] + unit(rng)) / job.count * (hi - lo);
            break;
          case KSLP_MSPRESET_PERTURB:
            v = std::clamp(box.ref[j] + (2.0 * unit(rng) - 1.0) * 0.25 * (hi - lo), lo, hi);
            break;
          default: v = box.ref[j]; break;
        }
        r.point.emplace_back(j, v);
      }
      if (job.preset == KSLP_MSPRESET_CONTROLS) r.variation = k;
      runs.push_back(std::move(r));
    }
  }
  return runs;
}

// How good a finished job is: 2 locally optimal, 1 a feasible point, 0 neither.
int rank_of(const kslp_problem_s &slp, const SolutionStore &s) {
  if (slp.results.nlpstatus == kNlpSolution || slp.results.nlpstatus == kNlpGloballyOptimal) return 2;
  return s.solstatus == KLVO_SOLSTATUS_FEASIBLE || s.solstatus == KLVO_SOLSTATUS_OPTIMAL ? 1 : 0;
}

const char *outcome(int rank) { return rank == 2 ? "locally optimal" : rank == 1 ? "feasible" : "no solution"; }

// Shared state of one multistart solve.
class Pool {
 public:
  Pool(const SolveContext &ctx, kslp_problem_s &slp, std::vector<Run> runs)
      : ctx_(ctx), slp_(slp), runs_(std::move(runs)) {
    std::lock_guard<std::mutex> lock(slp.multistart.events_mutex);
    on_start_ = slp.multistart.on_start;
    start_data_ = slp.multistart.start_data;
    on_end_ = slp.multistart.on_end;
    end_data_ = slp.multistart.end_data;
    on_winner_ = slp.multistart.on_winner;
    winner_data_ = slp.multistart.winner_data;
  }

  void run(int threads) {
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) {
      try {
        workers.emplace_back([this] { work(); });
      } catch (const std::system_error &) {
        break;  // fewer workers than asked for: the others take their share
      }
    }
    work();
    for (std::thread &w : workers) w.join();
    if (error_) std::rethrow_exception(error_);
  }

  // Fires mswinner and takes the best job's result over; false when no job ran.
  bool finish() {
    if (!best_) return false;
    if (best_rank_ > 0 && on_winner_) {
      const MsJob &job = *runs_[best_index_].job;
      on_winner_(best_->slp, winner_data_, job.object, job.description.c_str());
      propagate_interrupt(*best_);
    }
    SolutionStore s = best_->prob->solution;
    Results res = best_->slp->results;
    ctx_.solution = std::move(s);
    slp_.results = std::move(res);
    slp_.multistart.winner = best_rank_ > 0 ? runs_[best_index_].number : 0;
    return true;
  }

 private:
  void work() {
    while (!stop_.load()) {
      size_t i = next_.fetch_add(1);
      if (i >= runs_.size()) return;
      if (ctx_.interrupt.load() != 0 || slp_.interrupt_reason.load() != 0) return;
      try {
        run_one(i);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_) error_ = std::current_exception();
        stop_ = true;
      }
    }
  }

  // A callback failure interrupts the job's copy; the whole multistart stops with it.
  void propagate_interrupt(const Copy &c) {
    int reason = c.slp->interrupt_reason.load();
    if (!reason) reason = c.prob->interrupt_reason.load();
    if (!reason) return;
    int none = 0;
    ctx_.interrupt.compare_exchange_strong(none, reason);
  }

  void log(const std::string &line) {
    std::lock_guard<std::mutex> lock(mutex_);
    engine_message(ctx_, &slp_, KLVO_MSG_INFO, line);
  }

  void run_one(size_t i) {
    const char *fn = "multistart";
    const Run &r = runs_[i];
    const MsJob &job = *r.job;
    std::unique_ptr<Copy> c = make_copy(ctx_, slp_, fn);
    // Jobs solve quietly unless their own controls say otherwise.
    klvo::set_int_control(*c->prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE, fn);
    if (r.variation >= 0) {
      const Variation &v = kVariations[r.variation];
      klvo::set_int_control(*c->prob, kCtrlMuStrategy, v.mu_strategy, fn);
      klvo::set_int_control(*c->prob, kCtrlDerivatives, v.derivatives, fn);
      klvo::set_dbl_control(*c->prob, kCtrlMuInit, v.mu_init, fn);
    }
    apply_controls(*c->prob, job, fn);
    for (const auto &pv : r.point) set_initial_values(*c->slp, 1, &pv.first, &pv.second, fn);

    int status = 0;
    if (on_start_) {
      on_start_(c->slp, start_data_, job.object, job.description.c_str(), &status);
      propagate_interrupt(*c);
    }
    if (status != 0) {
      log(format("Multistart job %d (%s): skipped", r.number, job.description.c_str()));
      return;
    }
    if (ctx_.interrupt.load() != 0) return;

    Problem &p = *c->prob;
    auto sink = [&p](int msgtype, const std::string &text) { p.message(msgtype, text, KLVO_MSGCODE_SOLVER); };
    // The job sees the problem's interrupt, so that stopping the solve stops every job.
    SolveContext jc{p.model, p.params, p.solution, ctx_.interrupt, sink, p.engine, nullptr, nullptr};
    optimize(jc, c->slp, false, false);
    propagate_interrupt(*c);

    status = 0;
    if (on_end_) {
      on_end_(c->slp, end_data_, job.object, job.description.c_str(), &status);
      propagate_interrupt(*c);
    }
    int rank = status == 0 ? rank_of(*c->slp, p.solution) : 0;
    log(format("Multistart job %d (%s): %s, objective %.10g%s", r.number, job.description.c_str(), outcome(rank),
               c->slp->results.objval, status != 0 ? " (set aside by its msjobend callback)" : ""));

    // Keep the better of this job and the best so far; the other copy goes.
    std::lock_guard<std::mutex> lock(mutex_);
    double sense = ctx_.model.objsense < 0 ? -1.0 : 1.0;
    double obj = sense * c->slp->results.objval;
    bool better = !best_ || rank > best_rank_ ||
                  (rank == best_rank_ && rank > 0 &&
                   (obj < best_obj_ || (obj == best_obj_ && i < best_index_))) ||
                  (rank == best_rank_ && rank == 0 && i < best_index_);
    if (better) {
      best_ = std::move(c);
      best_rank_ = rank;
      best_obj_ = obj;
      best_index_ = i;
    }
  }

  const SolveContext &ctx_;
  kslp_problem_s &slp_;
  std::vector<Run> runs_;
  KSLPmsjobcb on_start_ = nullptr, on_end_ = nullptr;
  void *start_data_ = nullptr, *end_data_ = nullptr;
  KSLPmswinnercb on_winner_ = nullptr;
  void *winner_data_ = nullptr;

  std::atomic<size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::exception_ptr error_;
  std::unique_ptr<Copy> best_;
  int best_rank_ = 0;
  double best_obj_ = 0.0;
  size_t best_index_ = 0;
};

}  // namespace

void add_job(kslp_problem_s &slp, MsJob job, const char *fn) {
  Problem &prob = layer_problem(slp, fn);
  if (job.preset < 0 || job.preset > KSLP_MSPRESET_CONTROLS)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: unknown preset %d (1 random, 2 Latin hypercube, 3 perturbation, 4 controls)",
         fn, job.preset);
  if (job.preset != 0) {
    int most = job.preset == KSLP_MSPRESET_CONTROLS ? kNumVariations : kMaxPresetJobs;
    if (job.count < 1 || job.count > most)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the job count %d is not between 1 and %d", fn, job.count, most);
  }
  int n = prob.model.ncols();
  for (size_t k = 0; k < job.cols.size(); ++k) {
    if (job.cols[k] < 0 || job.cols[k] >= n)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d of initial value %zu is out of range (%d columns)", fn,
           job.cols[k], k, n);
    if (!std::isfinite(job.values[k]))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: initial value %zu is not finite", fn, k);
  }
  // The controls are tried on a scratch problem with the same controls, so that a bad id or
  // value is refused now rather than when the jobs run.
  if (!job.int_ids.empty() || !job.dbl_ids.empty()) {
    Copy scratch;
    scratch.prob = create_problem(fn);
    klvo::copy_controls(*scratch.prob, &prob, fn);
    KLVOprob handle = scratch.prob;
    scratch.slp = create_layer(&handle, fn);
    copy_controls(*scratch.slp, &slp, fn);
    apply_controls(*scratch.prob, job, fn);
  }
  slp.multistart.jobs.push_back(std::move(job));
}

void clear_jobs(kslp_problem_s &slp) {
  slp.multistart.jobs.clear();
  slp.multistart.winner = 0;
}

void set_job_events(kslp_problem_s &slp, int which, void (*f)(), void *data) {
  Multistart &ms = slp.multistart;
  std::lock_guard<std::mutex> lock(ms.events_mutex);
  if (which == 0) {
    ms.on_start = reinterpret_cast<KSLPmsjobcb>(f);
    ms.start_data = f ? data : nullptr;
  } else if (which == 1) {
    ms.on_end = reinterpret_cast<KSLPmsjobcb>(f);
    ms.end_data = f ? data : nullptr;
  } else {
    ms.on_winner = reinterpret_cast<KSLPmswinnercb>(f);
    ms.winner_data = f ? data : nullptr;
  }
}

std::vector<MsJob> jobs_after_deletion(const std::vector<MsJob> &jobs, const std::vector<int> &deleted) {
  std::vector<MsJob> out = jobs;
  for (MsJob &job : out) {
    std::vector<int> cols;
    std::vector<double> values;
    for (size_t k = 0; k < job.cols.size(); ++k) {
      int c = job.cols[k];
      auto at = std::lower_bound(deleted.begin(), deleted.end(), c);
      if (at != deleted.end() && *at == c) continue;
      cols.push_back(c - static_cast<int>(at - deleted.begin()));
      values.push_back(job.values[k]);
    }
    job.cols = std::move(cols);
    job.values = std::move(values);
  }
  return out;
}

void run_multistart(const SolveContext &ctx, kslp_problem_s &slp) {
  auto start = std::chrono::steady_clock::now();
  slp.multistart.winner = 0;
  uint64_t seed = static_cast<uint64_t>(ctx.controls.int_control(KLVO_CONTROL_RANDOMSEED));
  std::vector<Run> runs = expand(slp.multistart.jobs, ctx.model, slp, seed);
  int64_t threads = ctx.controls.int_control(KLVO_CONTROL_THREADS);
  if (threads <= 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = std::min<int64_t>(threads, static_cast<int64_t>(runs.size()));
  engine_message(ctx, &slp, KLVO_MSG_INFO,
                 format("Multistart: %zu jobs on %d threads", runs.size(), static_cast<int>(threads)));
  Pool pool(ctx, slp, std::move(runs));
  pool.run(static_cast<int>(std::max<int64_t>(threads, 1)));
  if (!pool.finish()) {
    // Every job was skipped (or none could start): the problem's own start decides.
    if (ctx.interrupt.load() == 0) optimize(ctx, &slp, false, false);
    return;
  }
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ctx.solution.time = elapsed;
  slp.results.solvetime = elapsed;
  if (ctx.interrupt.load() != 0) {
    ctx.solution.solvestatus = KLVO_SOLVESTATUS_STOPPED;
    ctx.solution.stopstatus = KLVO_STOP_INTERRUPT;
  }
  engine_message(ctx, &slp, KLVO_MSG_INFO,
                 slp.multistart.winner ? format("Multistart: job %d wins with objective %.10g", slp.multistart.winner,
                                                slp.results.objval)
                                       : std::string("Multistart: no job found a solution"));
}

}  // namespace nlp
}  // namespace klvo
