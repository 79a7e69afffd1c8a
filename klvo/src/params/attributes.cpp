#include "params/attributes.h"

#include <algorithm>
#include <cmath>

#include "analysis/presolved.h"
#include "callbacks/state.h"
#include "engines/dispatch.h"
#include "env/error.h"

namespace klvo {

namespace {

// Longest row, column or set name, in units of 8 characters.
int name_length_units(const ModelStore &m) { return static_cast<int>((m.max_name_length() + 7) / 8); }

// Attributes of a solve, read alike from the problem's solution and from one stage of a solve
// with several objectives.
bool solve_int(const SolveFigures &s, int id, int64_t *value) {
  switch (id) {
    case KLVO_ATTR_SIMPLEXITER: *value = s.simplexiter; return true;
    case KLVO_ATTR_LPSTATUS: *value = s.lpstatus; return true;
    case KLVO_ATTR_MIPSTATUS: *value = s.mipstatus; return true;
    case KLVO_ATTR_BARITER: *value = s.bariter; return true;
    case KLVO_ATTR_NODES: *value = s.nodes; return true;
    case KLVO_ATTR_STOPSTATUS: *value = s.stopstatus; return true;
    case KLVO_ATTR_SOLSTATUS: *value = s.solstatus; return true;
    case KLVO_ATTR_MIPSOLS: *value = s.mipsols; return true;
    case KLVO_ATTR_OPTIMIZETYPE: *value = s.optimizetype; return true;
    case KLVO_ATTR_SOLVESTATUS: *value = s.solvestatus; return true;
  }
  return false;
}

bool solve_dbl(const SolveFigures &s, int id, double *value) {
  switch (id) {
    case KLVO_ATTR_LPOBJVAL: *value = s.lpobjval; return true;
    case KLVO_ATTR_MIPOBJVAL: *value = s.mipobjval; return true;
    case KLVO_ATTR_OBJVAL: *value = s.optimizetype == KLVO_OPTTYPE_MIP ? s.mipobjval : s.lpobjval; return true;
    case KLVO_ATTR_BESTBOUND: *value = s.bestbound; return true;
    case KLVO_ATTR_MIPRELGAP: *value = s.miprelgap; return true;
    case KLVO_ATTR_SOLVETIME: *value = s.time; return true;
  }
  return false;
}

bool objective_value_attribute(int id) {
  return id == KLVO_ATTR_LPOBJVAL || id == KLVO_ATTR_MIPOBJVAL || id == KLVO_ATTR_OBJVAL;
}

// The stage that optimised objective objidx; null when the last solve had no stages.
const StageResult *stage_of(const Problem &prob, int objidx) {
  const SolutionStore &s = prob.solution;
  if (s.stages.empty()) return nullptr;
  static const StageResult kNotStarted;
  int k = objidx < static_cast<int>(s.objective_stage.size()) ? s.objective_stage[objidx] : -1;
  return k >= 0 ? &s.stages[k] : &kNotStarted;
}

}  // namespace

namespace {

// Inside a callback, the figures of the moment rather than those of the last finished solve.
bool event_int(const EventState *e, int id, int64_t &out) {
  if (!e) return false;
  int64_t v = -1;
  switch (id) {
    case KLVO_ATTR_NODES: v = e->nodes; break;
    case KLVO_ATTR_MIPSOLS: v = e->mipsols; break;
    case KLVO_ATTR_SIMPLEXITER: v = e->simplexiter; break;
    case KLVO_ATTR_BARITER: v = e->bariter; break;
    case KLVO_ATTR_CURRENTNODE: v = e->node; break;
    case KLVO_ATTR_PARENTNODE: v = e->parentnode; break;
    case KLVO_ATTR_NODEDEPTH: v = e->depth; break;
    default: return false;
  }
  out = v;
  return v >= 0;
}

bool event_dbl(const EventState *e, int id, double &out) {
  if (!e) return false;
  double v = NAN;
  switch (id) {
    case KLVO_ATTR_BESTBOUND: v = e->bestbound; break;
    case KLVO_ATTR_MIPOBJVAL: v = e->mipobjval; break;
    case KLVO_ATTR_LPOBJVAL: v = e->lpobjval; break;
    case KLVO_ATTR_MIPRELGAP: v = e->miprelgap; break;
    case KLVO_ATTR_SOLVETIME: v = e->time; break;
    case KLVO_ATTR_OBJVAL: v = std::isnan(e->lpobjval) ? e->mipobjval : e->lpobjval; break;
    default: return false;
  }
  out = v;
  return !std::isnan(v);
}

}  // namespace

int64_t int_attribute(const Problem &prob, const CaDef &def) {
  int64_t now;
  if (event_int(event_state(prob), def.id, now)) return now;
  const ModelStore &m = prob.model;
  int64_t value;
  if (solve_int(prob.solution, def.id, &value)) return value;
  switch (def.id) {
    // rows and cols count the problem in the form it stands in (analysis/presolved.h).
    case KLVO_ATTR_ROWS: return m.nrows();
    case KLVO_ATTR_ORIGINALROWS:
    case KLVO_ATTR_INPUTROWS: return user_model(prob).nrows();
    case KLVO_ATTR_COLS: return m.ncols();
    case KLVO_ATTR_ORIGINALCOLS:
    case KLVO_ATTR_INPUTCOLS: return user_model(prob).ncols();
    case KLVO_ATTR_ELEMS: return m.nnz();
    case KLVO_ATTR_SPAREROWS: return 0;
    // Bit 0: a problem is loaded; bit 1 or 2: it stands in its presolved form.
    case KLVO_ATTR_PRESOLVESTATE: return 1 | (prob.presolved ? prob.presolved->state : 0);
    case KLVO_ATTR_NAMELENGTH: return name_length_units(m);
    case KLVO_ATTR_PROBNAMELENGTH: return static_cast<int64_t>(m.name.size());
    case KLVO_ATTR_SETS:
    case KLVO_ATTR_ORIGINALSETS: return m.nsets();  // read once per set added: no walk over the columns
    case KLVO_ATTR_QELEMS: return model_facts(prob).qelems;
    case KLVO_ATTR_MIPENTS: return model_facts(prob).discrete_cols;
    case KLVO_ATTR_QCONSTRAINTS: return model_facts(prob).qrows;
    case KLVO_ATTR_INDICATORS: return model_facts(prob).indicators;
    case KLVO_ATTR_GENCONS: {
      ModelFacts f = model_facts(prob);
      return f.gencons + f.pwlcons;
    }
    case KLVO_ATTR_ORIGINALOBJECTIVES:
    case KLVO_ATTR_OBJECTIVES: return model_facts(prob).objectives;
    case KLVO_ATTR_IISSOLSTATUS: return 0;
    // Node figures exist only inside the callbacks of a search.
    case KLVO_ATTR_CURRENTNODE:
    case KLVO_ATTR_PARENTNODE:
    case KLVO_ATTR_NODEDEPTH: return 0;
  }
  fail(KLVO_ERR_INTERNAL, "Integer attribute %d (%s) has no value", def.id, def.name);
}

double dbl_attribute(const Problem &prob, const CaDef &def) {
  double now;
  if (event_dbl(event_state(prob), def.id, now)) return now;
  double value;
  if (solve_dbl(prob.solution, def.id, &value)) return value;
  switch (def.id) {
    case KLVO_ATTR_OBJSENSE: return prob.model.objsense < 0 ? -1.0 : 1.0;
  }
  fail(KLVO_ERR_INTERNAL, "Double attribute %d (%s) has no value", def.id, def.name);
}

std::string str_attribute(const Problem &prob, const CaDef &def) {
  if (def.id == KLVO_ATTR_PROBNAME) return prob.model.name;
  fail(KLVO_ERR_INTERNAL, "String attribute %d (%s) has no value", def.id, def.name);
}

int64_t obj_int_attribute(const Problem &prob, int objidx, const CaDef &def) {
  const StageResult *stage = stage_of(prob, objidx);
  int64_t value;
  if (stage && solve_int(*stage, def.id, &value)) return value;
  return int_attribute(prob, def);
}

double obj_dbl_attribute(const Problem &prob, int objidx, const CaDef &def) {
  const SolutionStore &s = prob.solution;
  if (objective_value_attribute(def.id)) {
    if (objidx < static_cast<int>(s.objective_values.size())) return s.objective_values[objidx];
    if (objidx == 0) return dbl_attribute(prob, def);
    return 0.0;
  }
  const StageResult *stage = stage_of(prob, objidx);
  double value;
  if (stage && solve_dbl(*stage, def.id, &value)) return value;
  return dbl_attribute(prob, def);
}

}  // namespace klvo
