// The interior-point engine: Ipopt through its TNLP interface, with our exact first and second
// derivatives. Its log goes through the message callbacks, never to the console.
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <sstream>

#include <IpIpoptApplication.hpp>
#include <IpSolveStatistics.hpp>
#include <IpTNLP.hpp>

#include "engines/nlp/catalogue.h"
#include "engines/nlp/layer.h"
#include "engines/nlp/slp/slp_events.h"
#include "engines/nlp/solve.h"

namespace klvo {
namespace nlp {

namespace {

using Ipopt::Index;
using Ipopt::Number;

// Collects the engine's output into lines for the message callbacks.
class MessageJournal : public Ipopt::Journal {
 public:
  MessageJournal(const SolveContext &ctx, kslp_problem_s *layer, Ipopt::EJournalLevel level)
      : Ipopt::Journal("klvo", level), ctx_(ctx), layer_(layer) {}
  ~MessageJournal() override { FlushBufferImpl(); }

 protected:
  void PrintImpl(Ipopt::EJournalCategory, Ipopt::EJournalLevel level, const char *str) override { add(level, str); }
  void PrintfImpl(Ipopt::EJournalCategory, Ipopt::EJournalLevel level, const char *fmt, va_list ap) override {
    char buf[4096];
    vsnprintf(buf, sizeof buf, fmt, ap);
    add(level, buf);
  }
  void FlushBufferImpl() override {
    if (!line_.empty()) engine_message(ctx_, layer_, KLVO_MSG_INFO, line_);
    line_.clear();
  }

 private:
  void add(Ipopt::EJournalLevel level, const char *s) {
    int type = level <= Ipopt::J_STRONGWARNING ? KLVO_MSG_ERROR : (level == Ipopt::J_WARNING ? KLVO_MSG_WARNING : KLVO_MSG_INFO);
    for (; *s; ++s) {
      if (*s == '\n') {
        engine_message(ctx_, layer_, type, line_);
        line_.clear();
      } else {
        line_ += *s;
      }
    }
  }
  const SolveContext &ctx_;
  kslp_problem_s *layer_;
  std::string line_;
};

class Tnlp : public Ipopt::TNLP {
 public:
  Tnlp(const SolveContext &ctx, kslp_problem_s *layer, NlpModel &model, const std::vector<double> &x0, double timelimit)
      : ctx_(ctx), layer_(layer), model_(model), x0_(x0), timelimit_(timelimit),
        start_(std::chrono::steady_clock::now()) {}

  EngineResult result;

  bool get_nlp_info(Index &n, Index &m, Index &nnz_jac, Index &nnz_h, IndexStyleEnum &style) override {
    n = model_.ne;
    m = model_.m;
    nnz_jac = model_.jac_nnz();
    nnz_h = model_.hess_nnz();
    style = C_STYLE;
    return true;
  }

  bool get_bounds_info(Index n, Number *xl, Number *xu, Index m, Number *gl, Number *gu) override {
    std::copy(model_.xl.begin(), model_.xl.end(), xl);
    std::copy(model_.xu.begin(), model_.xu.end(), xu);
    std::copy(model_.gl.begin(), model_.gl.end(), gl);
    std::copy(model_.gu.begin(), model_.gu.end(), gu);
    return true;
  }

  bool get_starting_point(Index n, bool init_x, Number *x, bool init_z, Number *, Number *, Index, bool init_lambda,
                          Number *) override {
    if (init_z || init_lambda) return false;
    if (init_x) std::copy(x0_.begin(), x0_.end(), x);
    return true;
  }

  bool eval_f(Index, const Number *x, bool, Number &f) override { return model_.engine_objective(x, f); }

  bool eval_grad_f(Index, const Number *x, bool, Number *g) override { return model_.engine_gradient(x, g); }

  bool eval_g(Index, const Number *x, bool, Index, Number *g) override { return model_.constraints(x, g); }

  bool eval_jac_g(Index, const Number *x, bool, Index, Index, Index *rows, Index *cols, Number *values) override {
    if (!values) {
      model_.jac_structure(rows, cols);
      return true;
    }
    return model_.jacobian(x, values);
  }

  bool eval_h(Index, const Number *x, bool, Number sigma, Index, const Number *lambda, bool, Index, Index *rows,
              Index *cols, Number *values) override {
    if (!values) {
      model_.hess_structure(rows, cols);
      return true;
    }
    return model_.hessian(x, sigma, lambda, values);
  }

  bool intermediate_callback(Ipopt::AlgorithmMode, Index iter, Number, Number, Number, Number, Number, Number, Number,
                             Number, Index, const Ipopt::IpoptData *, Ipopt::IpoptCalculatedQuantities *) override {
    result.iterations = iter;
    // The engine reports the end of each iteration; the layer's events pair every iteration's
    // start with its end, the first start coming with the starting point.
    if (iter > 0 && fire_flag(layer_, KSLP_CB_ITEREND)) {
      result.stop = KLVO_STOP_INTERRUPT;
      in_iteration_ = false;
      return false;
    }
    in_iteration_ = false;
    if (fire_flag(layer_, KSLP_CB_ITERSTART)) {
      result.stop = KLVO_STOP_INTERRUPT;
      return false;
    }
    in_iteration_ = true;
    if (ctx_.interrupt.load() != 0 || (layer_ && layer_->interrupt_reason.load() != 0)) {
      result.stop = KLVO_STOP_INTERRUPT;
      return false;
    }
    if (timelimit_ > 0) {
      double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
      if (elapsed >= timelimit_) {
        result.stop = KLVO_STOP_TIMELIMIT;
        return false;
      }
    }
    return true;
  }

  void finalize_solution(Ipopt::SolverReturn status, Index n, const Number *x, const Number *zl, const Number *zu, Index m,
                         const Number *, const Number *lambda, Number, const Ipopt::IpoptData *,
                         Ipopt::IpoptCalculatedQuantities *) override {
    if (in_iteration_) fire_flag(layer_, KSLP_CB_ITEREND);
    in_iteration_ = false;
    switch (status) {
      case Ipopt::SUCCESS:
      case Ipopt::STOP_AT_ACCEPTABLE_POINT: result.status = kNlpSolution; break;
      case Ipopt::LOCAL_INFEASIBILITY: result.status = kNlpLocallyInfeasible; break;
      case Ipopt::DIVERGING_ITERATES: result.status = kNlpUnbounded; break;
      case Ipopt::MAXITER_EXCEEDED:
        result.status = kNlpUnfinished;
        result.stop = KLVO_STOP_ITERLIMIT;
        break;
      case Ipopt::CPUTIME_EXCEEDED:
        result.status = kNlpUnfinished;
        result.stop = KLVO_STOP_TIMELIMIT;
        break;
      case Ipopt::USER_REQUESTED_STOP:
      case Ipopt::STOP_AT_TINY_STEP:
      case Ipopt::FEASIBLE_POINT_FOUND: result.status = kNlpUnfinished; break;
      default: result.status = kNlpUnknown; break;
    }
    if (x) {
      result.have_point = true;
      result.x.assign(x, x + n);
      result.zl.assign(zl ? zl : x, (zl ? zl : x) + n);
      result.zu.assign(zu ? zu : x, (zu ? zu : x) + n);
      if (!zl) std::fill(result.zl.begin(), result.zl.end(), 0.0);
      if (!zu) std::fill(result.zu.begin(), result.zu.end(), 0.0);
      result.lambda.assign(m, 0.0);
      if (lambda) std::copy(lambda, lambda + m, result.lambda.begin());
    }
  }

 private:
  const SolveContext &ctx_;
  kslp_problem_s *layer_;
  NlpModel &model_;
  const std::vector<double> &x0_;
  double timelimit_;
  std::chrono::steady_clock::time_point start_;
  bool in_iteration_ = false;
};

Ipopt::EJournalLevel journal_level(int log) {
  switch (log) {
    case 0: return Ipopt::J_NONE;
    case 1: return Ipopt::J_ITERSUMMARY;
    case 2: return Ipopt::J_DETAILED;
    default: return Ipopt::J_MOREDETAILED;
  }
}

void apply_engine_options(Ipopt::OptionsList &options, const std::string &text) {
  std::stringstream all(text);
  all.exceptions(std::ios::badbit);  // a failed allocation must not end the list early
  std::string item;
  while (std::getline(all, item, ';')) {
    std::stringstream one(item);
    one.exceptions(std::ios::badbit);
    std::string name, value;
    if (!(one >> name)) continue;
    if (!(one >> value)) fail(KLVO_ERR_INVALID_ARGUMENT, "Engine option \"%s\" has no value", name.c_str());
    char *end = nullptr;
    long iv = std::strtol(value.c_str(), &end, 10);
    bool ok;
    if (*end == '\0') {
      ok = options.SetIntegerValue(name, static_cast<Index>(iv)) || options.SetNumericValue(name, static_cast<double>(iv));
    } else {
      double dv = std::strtod(value.c_str(), &end);
      ok = *end == '\0' ? options.SetNumericValue(name, dv) : options.SetStringValue(name, value);
    }
    if (!ok) fail(KLVO_ERR_INVALID_ARGUMENT, "Engine option \"%s\" cannot take the value \"%s\"", name.c_str(), value.c_str());
  }
}

}  // namespace

namespace {

// The engine's sparse factorisation (MUMPS, sequential build) keeps its state in process-wide
// Fortran module variables, so two solves in different threads corrupt each other. One solve
// at a time, held from before the application exists until after it is destroyed. Recursive:
// a user function called inside a solve may solve another problem in the same thread, which
// runs while the factorisation is idle.
std::recursive_mutex &engine_lock() {
  static std::recursive_mutex lock;
  return lock;
}

EngineResult run_ipopt(const SolveContext &ctx, kslp_problem_s *layer, NlpModel &model, const std::vector<double> &x0,
                       const EngineSettings &s) {
  std::lock_guard<std::recursive_mutex> one_at_a_time(engine_lock());
  Ipopt::SmartPtr<Ipopt::IpoptApplication> app = new Ipopt::IpoptApplication(false);
  Ipopt::SmartPtr<Ipopt::Journal> journal = new MessageJournal(ctx, layer, journal_level(s.log));
  app->Jnlst()->AddJournal(journal);
  Ipopt::OptionsList &o = *app->Options();
  o.SetStringValue("sb", "yes");
  o.SetIntegerValue("max_iter", s.iterlimit);
  o.SetNumericValue("tol", s.opttol);
  o.SetNumericValue("constr_viol_tol", s.feastol);
  o.SetNumericValue("acceptable_tol", s.acceptable_tol);
  o.SetIntegerValue("acceptable_iter", s.acceptable_iter);
  o.SetNumericValue("mu_init", s.mu_init);
  o.SetStringValue("mu_strategy", s.mu_strategy ? "adaptive" : "monotone");
  o.SetNumericValue("bound_push", s.bound_push);
  o.SetNumericValue("bound_frac", std::min(0.5, s.bound_push));
  o.SetNumericValue("nlp_lower_bound_inf", -1e19);
  o.SetNumericValue("nlp_upper_bound_inf", 1e19);
  if (s.timelimit > 0) o.SetNumericValue("max_cpu_time", s.timelimit);
  o.SetStringValue("hessian_approximation", s.exact_hessian ? "exact" : "limited-memory");
  apply_engine_options(o, s.engine_options);

  if (app->Initialize() != Ipopt::Solve_Succeeded)
    fail(KLVO_ERR_ENGINE, "The interior-point engine could not be initialized (see the messages)");
  Ipopt::SmartPtr<Tnlp> tnlp = new Tnlp(ctx, layer, model, x0, s.timelimit);
  tnlp->result.status = kNlpUnknown;  // unless the engine reports its outcome
  Ipopt::ApplicationReturnStatus rc;
  rc = app->OptimizeTNLP(Ipopt::SmartPtr<Ipopt::TNLP>(GetRawPtr(tnlp)));
  journal->FlushBuffer();
  EngineResult r = tnlp->result;
  if (rc == Ipopt::Invalid_Option) fail(KLVO_ERR_INVALID_ARGUMENT, "The interior-point engine refused an option (see the messages)");
  // Ipopt catches what goes wrong inside it and says so in its return code: the solve fails
  // with that reason rather than ending as if the engine had merely found no solution.
  if (rc == Ipopt::Insufficient_Memory) throw std::bad_alloc();
  if (rc == Ipopt::Unrecoverable_Exception || rc == Ipopt::NonIpopt_Exception_Thrown || rc == Ipopt::Internal_Error)
    fail(KLVO_ERR_ENGINE, "The interior-point engine failed (Ipopt status %d, see the messages)", static_cast<int>(rc));
  if (rc == Ipopt::Invalid_Problem_Definition || rc == Ipopt::Invalid_Number_Detected) {
    if (!r.have_point) r.status = kNlpUnknown;
  }
  if (rc == Ipopt::Not_Enough_Degrees_Of_Freedom) r.status = kNlpUnknown;
  Ipopt::SmartPtr<Ipopt::SolveStatistics> stats = app->Statistics();
  if (Ipopt::IsValid(stats)) r.iterations = stats->IterationCount();
  return r;
}

}  // namespace

EngineResult run_engine(const SolveContext &ctx, kslp_problem_s *layer, NlpModel &model, const std::vector<double> &x0,
                        const EngineSettings &s) {
  // Ipopt's own exceptions (setting options, creating its objects) derive from nothing the
  // C boundary knows; they become engine errors with Ipopt's text.
  try {
    return run_ipopt(ctx, layer, model, x0, s);
  } catch (const Ipopt::IpoptException &e) {
    fail(KLVO_ERR_ENGINE, "The interior-point engine failed: %s", e.Message().c_str());
  }
}

}  // namespace nlp
}  // namespace klvo
