#include "engines/dispatch.h"

#include <cstring>
#include <string>
#include <vector>

#include "engines/gencons_milp.h"
#include "engines/highs/highs_engine.h"
#include "engines/nlp/layer.h"
#include "engines/nlp/solve.h"
#include "env/error.h"

namespace klvo {

ModelFacts model_facts(const ModelStore &m, int formulas) {
  ModelFacts f;
  f.objectives = 1 + static_cast<int>(m.objn.size());
  for (char t : m.coltype) {
    if (t != 'C') ++f.discrete_cols;
    if (t == 'P') ++f.partial_cols;
  }
  // Q is stored with both triangles; count the upper one.
  for (int j = 0; j < static_cast<int>(m.qobj.size()); ++j)
    for (const Entry &e : m.qobj[j])
      if (e.index >= j) ++f.qelems;
  f.qrows = m.nqrows();
  f.sets = m.nsets();
  f.indicators = m.nindicators();
  f.gencons = static_cast<int>(m.gencons.size());
  f.pwlcons = static_cast<int>(m.pwlcons.size());
  f.formulas = formulas;
  return f;
}

namespace {

struct Flags {
  char algorithm = 0;
  bool relax = false;
};

Flags parse_flags(const char *flags) {
  Flags out;
  if (!flags) return out;
  for (const char *c = flags; *c; ++c) {
    switch (*c) {
      case 'p':
      case 'd':
      case 'b':
        out.algorithm = *c;
        break;
      case 'n':  // network problems go to the primal simplex
        out.algorithm = 'p';
        break;
      case 'l':
        out.relax = true;
        break;
      default:
        fail(KLVO_ERR_INVALID_ARGUMENT, "Unknown optimization flag '%c' in \"%s\" (use p, d, b, n or l)", *c,
             flags);
    }
  }
  return out;
}

// Everything in the model that no engine can solve yet, as one sentence; empty if none.
std::string unsupported(const ModelFacts &f, bool relax) {
  std::vector<std::string> what;
  if (f.qrows) what.push_back(format("quadratic constraints (%d rows)", f.qrows));
  if (f.formulas) what.push_back("nonlinear formulas");
  if (!relax) {
    if (f.sets) what.push_back(format("special ordered sets (%d)", f.sets));
    if (f.indicators) what.push_back(format("indicator constraints (%d)", f.indicators));
    if (f.partial_cols) what.push_back(format("partially integer columns (%d)", f.partial_cols));
    if (f.qelems && f.discrete_cols) what.push_back("integer columns together with a quadratic objective");
  }
  if (f.gencons) what.push_back(format("general constraints (%d)", f.gencons));
  if (f.pwlcons) what.push_back(format("piecewise-linear constraints (%d)", f.pwlcons));
  if (f.objectives > 1) what.push_back(format("multiple objectives (%d)", f.objectives));
  std::string text;
  for (size_t k = 0; k < what.size(); ++k) {
    if (k) text += k + 1 == what.size() ? " and " : ", ";
    text += what[k];
  }
  return text;
}

// Solves the model with its general and piecewise-linear constraints stated as MIP rows, and
// keeps the part of the solution that belongs to the model's own columns and rows.
void solve_as_milp(const SolveContext &ctx, char algorithm) {
  ModelStore milp = gencons_as_milp(ctx.model);
  SolutionStore solution;
  std::unique_ptr<EngineCache> cache;  // the problem's own engine stays for its plain solves
  SolveContext inner{milp, ctx.controls, solution, ctx.interrupt, ctx.message, cache, nullptr, ctx.events};
  HighsRequest request;
  request.algorithm = algorithm;
  highs_solve(inner, request);
  const size_t n = static_cast<size_t>(ctx.model.ncols()), m = static_cast<size_t>(ctx.model.nrows());
  if (solution.x.size() > n) solution.x.resize(n);
  if (solution.slack.size() > m) solution.slack.resize(m);
  solution.duals.clear();
  solution.djs.clear();
  solution.dual_status = KLVO_SOLSTATUS_NOTFOUND;
  ctx.solution = std::move(solution);
}

}  // namespace

void optimize(const SolveContext &ctx, kslp_problem_s *layer, const char *flags, SolveKind kind) {
  Flags f = parse_flags(flags);
  if (kind == SolveKind::Lp) f.relax = true;
  ModelFacts facts = model_facts(ctx.model, layer ? ctx.model.formulas.size() : 0);
  // Continuous problems (or relaxations) with quadratic rows or formulas go to the nonlinear
  // solver when nothing else in them needs another engine.
  if ((facts.qrows || facts.formulas) && (f.relax || facts.discrete_cols == 0)) {
    ModelFacts rest = facts;
    rest.qrows = rest.formulas = 0;
    if (unsupported(rest, f.relax).empty()) {
      nlp::optimize(ctx, layer, f.relax);
      return;
    }
  }
  // General and piecewise-linear constraints go to the MIP engine as linear rows over extra
  // binaries, when nothing else in the model needs another engine.
  if ((facts.gencons || facts.pwlcons) && !f.relax && !facts.qelems) {
    ModelFacts rest = facts;
    rest.gencons = rest.pwlcons = 0;
    if (unsupported(rest, false).empty()) {
      solve_as_milp(ctx, f.algorithm);
      return;
    }
  }
  std::string missing = unsupported(facts, f.relax);
  if (!missing.empty())
    fail(KLVO_ERR_NOT_SUPPORTED, "Cannot solve this problem: %s %s not supported yet", missing.c_str(),
         missing.find(" and ") == std::string::npos && missing.find(", ") == std::string::npos ? "is" : "are");

  ctx.solution.clear();
  HighsRequest request;
  request.algorithm = f.algorithm;
  request.relax = f.relax;
  highs_solve(ctx, request);
}

}  // namespace klvo
