#include "params/attributes.h"

#include <algorithm>

#include "engines/dispatch.h"
#include "env/error.h"

namespace klvo {

namespace {

// Longest row, column or set name, in units of 8 characters.
int name_length_units(const ModelStore &m) { return static_cast<int>((m.max_name_length() + 7) / 8); }

}  // namespace

int64_t int_attribute(const Problem &prob, const CaDef &def) {
  const ModelStore &m = prob.model;
  const SolutionStore &s = prob.solution;
  switch (def.id) {
    case KLVO_ATTR_ROWS:
    case KLVO_ATTR_ORIGINALROWS:
    case KLVO_ATTR_INPUTROWS:
      return m.nrows();
    case KLVO_ATTR_COLS:
    case KLVO_ATTR_ORIGINALCOLS:
    case KLVO_ATTR_INPUTCOLS:
      return m.ncols();
    case KLVO_ATTR_ELEMS: return m.nnz();
    case KLVO_ATTR_SPAREROWS: return 0;
    // The model is kept in its original form; presolve happens inside the engine's copy.
    case KLVO_ATTR_PRESOLVESTATE: return 1;
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
    case KLVO_ATTR_SIMPLEXITER: return s.simplexiter;
    case KLVO_ATTR_LPSTATUS: return s.lpstatus;
    case KLVO_ATTR_MIPSTATUS: return s.mipstatus;
    case KLVO_ATTR_BARITER: return s.bariter;
    case KLVO_ATTR_NODES: return s.nodes;
    case KLVO_ATTR_STOPSTATUS: return s.stopstatus;
    case KLVO_ATTR_SOLSTATUS: return s.solstatus;
    case KLVO_ATTR_MIPSOLS: return s.mipsols;
    case KLVO_ATTR_OPTIMIZETYPE: return s.optimizetype;
    case KLVO_ATTR_SOLVESTATUS: return s.solvestatus;
    case KLVO_ATTR_IISSOLSTATUS: return 0;
  }
  fail(KLVO_ERR_INTERNAL, "Integer attribute %d (%s) has no value", def.id, def.name);
}

double dbl_attribute(const Problem &prob, const CaDef &def) {
  const SolutionStore &s = prob.solution;
  switch (def.id) {
    case KLVO_ATTR_LPOBJVAL: return s.lpobjval;
    case KLVO_ATTR_MIPOBJVAL: return s.mipobjval;
    case KLVO_ATTR_OBJVAL:
      return s.optimizetype == KLVO_OPTTYPE_MIP ? s.mipobjval : s.lpobjval;
    case KLVO_ATTR_BESTBOUND: return s.bestbound;
    case KLVO_ATTR_MIPRELGAP: return s.miprelgap;
    case KLVO_ATTR_SOLVETIME: return s.time;
    case KLVO_ATTR_OBJSENSE: return prob.model.objsense < 0 ? -1.0 : 1.0;
  }
  fail(KLVO_ERR_INTERNAL, "Double attribute %d (%s) has no value", def.id, def.name);
}

std::string str_attribute(const Problem &prob, const CaDef &def) {
  if (def.id == KLVO_ATTR_PROBNAME) return prob.model.name;
  fail(KLVO_ERR_INTERNAL, "String attribute %d (%s) has no value", def.id, def.name);
}

double obj_dbl_attribute(const Problem &prob, int objidx, const CaDef &def) {
  if (objidx == 0) return dbl_attribute(prob, def);
  // Further objectives exist only once the store holds them; model_facts counts them.
  fail(KLVO_ERR_INVALID_ARGUMENT, "Objective index %d is out of range", objidx);
}

}  // namespace klvo
