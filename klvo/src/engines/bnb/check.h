// Feasibility of a point for the model exactly as the user stated it: column bounds and types
// (integral, semi-continuous, partially integer), rows (quadratic parts and formulas
// included, indicator rows only where their condition holds), special ordered sets, general
// and piecewise-linear constraints. Every solution the search reports passes this check.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engines/nlp/nlp_model.h"
#include "model/store.h"

struct kslp_problem_s;

namespace klvo {
namespace bnb {

class Checker {
 public:
  // layer: the problem's nonlinear layer when the model has formulas, else null.
  Checker(const ModelStore &m, const kslp_problem_s *layer, double feastol, double inttol);

  // The largest violation at x (relative to 1 + |bound| for bounds and rows, absolute for
  // integrality and sets), and what it is in words when what is not null.
  double violation(const std::vector<double> &x, std::string *what = nullptr);
  // Objective (user's sense) and row activities at x.
  double objective(const std::vector<double> &x);
  std::vector<double> activities(const std::vector<double> &x);
  bool feasible(const std::vector<double> &x) { return violation(x) <= feastol_; }
  double feastol() const { return feastol_; }
  double inttol() const { return inttol_; }

 private:
  const ModelStore &m_;
  std::unique_ptr<nlp::NlpModel> nlp_;
  double feastol_, inttol_;
};

}  // namespace bnb
}  // namespace klvo
