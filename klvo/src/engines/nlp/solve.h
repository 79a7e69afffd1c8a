// Nonlinear solving: the model is built from the store and the layer, the interior-point
// engine runs on it, and the results go to the layer (and the problem's solution store).
#pragma once

#include <string>
#include <vector>

#include "engines/context.h"
#include "engines/nlp/nlp_model.h"

struct kslp_problem_s;

namespace klvo {
namespace nlp {

struct EngineSettings {
  int iterlimit = 3000;
  int log = 1;
  double timelimit = 0.0;  // seconds; 0 no limit
  double opttol = 1e-8, feastol = 1e-6;
  bool exact_hessian = true;
  double mu_init = 0.1, bound_push = 0.01, acceptable_tol = 1e-6;
  int mu_strategy = 0, acceptable_iter = 15;
  std::string engine_options;  // "name value; name value"
};

struct EngineResult {
  int status = 0;  // value of attribute 12044
  bool have_point = false;
  std::vector<double> x, lambda, zl, zu;  // engine space: lambda by engine row
  int iterations = 0;
  int stop = 0;  // why an unfinished solve stopped: a KLVO_STOP_* value
};

// Runs the engine on the model from x0. Throws Error when no engine is available or it
// cannot start.
EngineResult run_engine(const SolveContext &ctx, kslp_problem_s *layer, NlpModel &model, const std::vector<double> &x0,
                        const EngineSettings &settings);

// Solves the context's continuous nonlinear model with the formulas of the layer (which may
// be null; with relax, integrality is ignored); the statuses of the layer and of the
// context's solution tell the outcome. A layer with multistart jobs runs them instead, unless
// relaxing or told not to.
void optimize(const SolveContext &ctx, kslp_problem_s *layer, bool relax = false, bool multistart = true);

// Sends one line of engine output to the layer's message function (or the problem's).
void engine_message(const SolveContext &ctx, kslp_problem_s *layer, int msgtype, const std::string &line);

}  // namespace nlp
}  // namespace klvo
