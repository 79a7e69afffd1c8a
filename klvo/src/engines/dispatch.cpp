#include "engines/dispatch.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engines/bnb/layer_events.h"
#include "engines/bnb/registry_events.h"
#include "engines/bnb/search.h"
#include "engines/gencons_milp.h"
#include "engines/highs/highs_engine.h"
#include "engines/multiobjective.h"
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
        fail(KLVO_ERR_INVALID_ARGUMENT, "Unknown optimization flag '%c' in \"%s\" (use p, d, b, n, l or k)", *c,
             flags);
    }
  }
  return out;
}

// What the relaxation of a model holds that no continuous engine takes, or a model that no
// engine takes at all, as one sentence; empty if none.
std::string unsupported(const ModelFacts &f, bool relax) {
  std::vector<std::string> what;
  if (relax) {
    if (f.qrows) what.push_back(format("quadratic constraints (%d rows)", f.qrows));
    if (f.formulas) what.push_back("nonlinear formulas");
    if (f.gencons) what.push_back(format("general constraints (%d)", f.gencons));
    if (f.pwlcons) what.push_back(format("piecewise-linear constraints (%d)", f.pwlcons));
  }
  std::string text;
  for (size_t k = 0; k < what.size(); ++k) {
    if (k) text += k + 1 == what.size() ? " and " : ", ";
    text += what[k];
  }
  return text;
}

[[noreturn]] void refuse(const std::string &missing) {
  fail(KLVO_ERR_NOT_SUPPORTED, "Cannot solve this problem: %s %s not supported yet", missing.c_str(),
       missing.find(" and ") == std::string::npos && missing.find(", ") == std::string::npos ? "is" : "are");
}

// What keeps a mixed-integer model from HiGHS's MIP solver, as one phrase; empty if nothing.
std::string beyond_mip_engine(const ModelFacts &f) {
  std::vector<std::string> what;
  if (f.qelems) what.push_back("a quadratic objective");
  if (f.qrows) what.push_back(format("quadratic constraints (%d rows)", f.qrows));
  if (f.formulas) what.push_back("nonlinear formulas");
  if (f.sets) what.push_back(format("special ordered sets (%d)", f.sets));
  if (f.indicators) what.push_back(format("indicator constraints (%d)", f.indicators));
  if (f.partial_cols) what.push_back(format("partially integer columns (%d)", f.partial_cols));
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
  if (facts.objectives > 1) return optimize_objectives(ctx, layer, flags, kind);
  const bool mip = !f.relax && (facts.discrete_cols || facts.sets || facts.indicators || facts.gencons || facts.pwlcons);
  if (!mip) {
    // Continuous problems (or relaxations) with quadratic rows or formulas go to the nonlinear
    // solver when nothing else in them needs another engine.
    if (facts.qrows || facts.formulas) {
      ModelFacts rest = facts;
      rest.qrows = rest.formulas = 0;
      if (unsupported(rest, true).empty()) {
        nlp::optimize(ctx, layer, f.relax);
        return;
      }
    }
    std::string missing = unsupported(facts, true);
    if (!missing.empty()) refuse(missing);
    ctx.solution.clear();
    HighsRequest request;
    request.algorithm = f.algorithm;
    request.relax = f.relax;
    highs_solve(ctx, request);
    return;
  }
  std::string missing = unsupported(facts, false);
  if (!missing.empty()) refuse(missing);
  // Mixed-integer: HiGHS's MIP solver takes linear models (general and piecewise-linear
  // constraints stated as rows); the library's own search takes the rest, or everything when
  // the control asks for it.
  const int64_t choice = ctx.controls.int_control(KLVO_CONTROL_MIPSEARCH);
  const std::string beyond = beyond_mip_engine(facts);
  // HiGHS's MIP solver shows none of its nodes: node events need the library's own search.
  const bool node_events = ctx.events && ctx.events->wants_node_events();
  if (choice == KLVO_MIPSEARCH_ENGINE && node_events)
    fail(KLVO_ERR_NOT_SUPPORTED,
         "Cannot fire node callbacks (node, branching, cut or preintsol events) with HiGHS's MIP solver "
         "(mipsearch = %d): mipsearch 0 or 2 runs the library's own search, which fires them",
         static_cast<int>(choice));
  if (choice == KLVO_MIPSEARCH_ENGINE && !beyond.empty())
    fail(KLVO_ERR_NOT_SUPPORTED,
         "Cannot solve this problem with HiGHS's MIP solver (mipsearch = %d): it does not take %s; "
         "mipsearch 0 or 2 runs the library's own search",
         static_cast<int>(choice), beyond.c_str());
  if (choice != KLVO_MIPSEARCH_OWN && beyond.empty() && !node_events) {
    if (facts.gencons || facts.pwlcons) {
      solve_as_milp(ctx, f.algorithm);
      return;
    }
    ctx.solution.clear();
    HighsRequest request;
    request.algorithm = f.algorithm;
    highs_solve(ctx, request);
    return;
  }
  ctx.solution.clear();
  // Without anything to fire, the search runs with no observer at all.
  bool watched = node_events;
  if (ctx.events)
    for (int kind : {KLVO_CB_INTSOL, KLVO_CB_CHECKTIME, KLVO_CB_MIPTHREAD, KLVO_CB_DESTROYMT, KLVO_CB_USERSOLNOTIFY})
      watched = watched || ctx.events->wants(kind);
  std::unique_ptr<bnb::RegistryEvents> registry;
  if (ctx.events && watched) registry = std::make_unique<bnb::RegistryEvents>(*ctx.events);
  // A search over formulas also fires the nonlinear layer's node events.
  if (layer && facts.formulas && layer->node_events.get().any()) {
    bnb::LayerEvents events(*layer, registry.get());
    bnb::solve(ctx, layer, &events);
  } else {
    bnb::solve(ctx, layer, registry.get());
  }
}

}  // namespace klvo
