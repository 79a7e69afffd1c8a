#include "params/catalogue.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <vector>

namespace klvo {

namespace {

constexpr int kNo = KLVO_CA_NOEFFECT;
constexpr int kEngine = KLVO_CA_ENGINE;
constexpr double kInf = 1e300;

CaDef ictl(int id, const char *name, int64_t dflt, int64_t lo, int64_t hi, int effect) {
  return CaDef{id, name, CaType::Int, true, false, effect, dflt, lo, hi, 0, 0, 0, nullptr};
}
CaDef i64ctl(int id, const char *name, int64_t dflt, int64_t lo, int64_t hi, int effect) {
  return CaDef{id, name, CaType::Int, true, true, effect, dflt, lo, hi, 0, 0, 0, nullptr};
}
CaDef dctl(int id, const char *name, double dflt, double lo, double hi, int effect) {
  return CaDef{id, name, CaType::Dbl, true, false, effect, 0, 0, 0, dflt, lo, hi, nullptr};
}
CaDef sctl(int id, const char *name, const char *dflt, int effect) {
  return CaDef{id, name, CaType::Str, true, false, effect, 0, 0, 0, 0, 0, 0, dflt};
}
CaDef iattr(int id, const char *name, bool wide = false) {
  return CaDef{id, name, CaType::Int, false, wide, 0, 0, 0, 0, 0, 0, 0, nullptr};
}
CaDef dattr(int id, const char *name) {
  return CaDef{id, name, CaType::Dbl, false, false, 0, 0, 0, 0, 0, 0, 0, nullptr};
}
CaDef sattr(int id, const char *name) {
  return CaDef{id, name, CaType::Str, false, false, 0, 0, 0, 0, 0, 0, 0, ""};
}

std::vector<CaDef> build() {
  std::vector<CaDef> t = {
      // Tolerances, limits and gaps. The engine-facing defaults are HiGHS's own, so that a
      // solve through the library runs exactly the search HiGHS runs by itself.
      dctl(KLVO_CONTROL_FEASTOL, "feastol", 1e-7, 1e-10, 1.0, kEngine),
      dctl(KLVO_CONTROL_OPTTOL, "opttol", 1e-7, 1e-10, 1.0, kEngine),
      dctl(KLVO_CONTROL_MIPTOL, "miptol", 1e-6, 1e-10, 0.5, kEngine),
      dctl(KLVO_CONTROL_CUTOFF, "cutoff", 1e40, -kInf, kInf, kEngine),
      dctl(KLVO_CONTROL_MIPABSSTOP, "mipabsstop", 1e-6, 0.0, kInf, kEngine),
      dctl(KLVO_CONTROL_MIPRELSTOP, "miprelstop", 1e-4, 0.0, kInf, kEngine),
      dctl(KLVO_CONTROL_MIPRELGAPNOTIFY, "miprelgapnotify", -1.0, -kInf, kInf, kEngine),
      dctl(KLVO_CONTROL_MIPABSGAPNOTIFY, "mipabsgapnotify", -1.0, -kInf, kInf, kEngine),
      dctl(KLVO_CONTROL_MIPABSGAPNOTIFYOBJ, "mipabsgapnotifyobj", KLVO_INFINITY, -kInf, kInf, kEngine),
      dctl(KLVO_CONTROL_MIPABSGAPNOTIFYBOUND, "mipabsgapnotifybound", KLVO_INFINITY, -kInf, kInf, kEngine),
      dctl(KLVO_CONTROL_TIMELIMIT, "timelimit", 0.0, -kInf, kInf, kEngine),
      ictl(KLVO_CONTROL_LPITERLIMIT, "lpiterlimit", INT_MAX, 0, INT_MAX, kEngine),
      ictl(KLVO_CONTROL_BARITERLIMIT, "bariterlimit", INT_MAX, 0, INT_MAX, kEngine),
      i64ctl(KLVO_CONTROL_MAXNODE, "maxnode", INT_MAX, 0, INT64_MAX, kEngine),
      ictl(KLVO_CONTROL_MAXMIPSOL, "maxmipsol", 0, 0, INT_MAX, kEngine),
      // Algorithms.
      ictl(KLVO_CONTROL_PRESOLVE, "presolve", KLVO_PRESOLVE_DEFAULT, 0, 1, kEngine),
      ictl(KLVO_CONTROL_PRICING, "pricing", KLVO_PRICING_AUTOMATIC, -1, 2, kEngine),
      ictl(KLVO_CONTROL_DEFAULTALG, "defaultalg", KLVO_ALG_AUTOMATIC, 1, 4, kEngine),
      ictl(KLVO_CONTROL_LPFLAGS, "lpflags", 0, 0, 7, kEngine),
      ictl(KLVO_CONTROL_DUALGRADIENT, "dualgradient", KLVO_DUALGRADIENT_AUTOMATIC, -1, 1, kEngine),
      ictl(KLVO_CONTROL_CROSSOVER, "crossover", KLVO_ANA_AUTOMATIC, -1, 1, kEngine),
      ictl(KLVO_CONTROL_SCALING, "scaling", KLVO_ON, 0, 1, kEngine),
      ictl(KLVO_CONTROL_PARALLELSIMPLEX, "parallelsimplex", KLVO_OFF, 0, 1, kEngine),
      ictl(KLVO_CONTROL_SYMMETRY, "symmetry", KLVO_ANA_AUTOMATIC, -1, 1, kEngine),
      ictl(KLVO_CONTROL_MIPRESTART, "miprestart", KLVO_MIPRESTART_DEFAULT, -1, 2, kEngine),
      ictl(KLVO_CONTROL_THREADS, "threads", 0, 0, 1024, kEngine),
      ictl(KLVO_CONTROL_MIPSEARCH, "mipsearch", KLVO_MIPSEARCH_AUTOMATIC, 0, 2, kEngine),
      ictl(KLVO_CONTROL_RANDOMSEED, "randomseed", 0, 0, INT_MAX, kEngine),
      // Output: the library filters the engine log by this level itself.
      ictl(KLVO_CONTROL_OUTPUTLOG, "outputlog", KLVO_OUTPUT_ALL, 0, 4, kEngine),
      // Stored and read back; no engine takes them yet.
      ictl(KLVO_CONTROL_VARSELECTION, "varselection", -1, -1, 4, kNo),
      ictl(KLVO_CONTROL_NODESELECTION, "nodeselection", 1, 1, 5, kNo),
      ictl(KLVO_CONTROL_BACKTRACK, "backtrack", 3, -1, 11, kNo),
      ictl(KLVO_CONTROL_BACKTRACKTIE, "backtracktie", -1, -1, 11, kNo),
      ictl(KLVO_CONTROL_CHOLESKY, "choleskyalg", -1, -1, 255, kNo),
      ictl(KLVO_CONTROL_BARORDER, "barorder", 0, 0, 3, kNo),
      ictl(KLVO_CONTROL_CUTSTRATEGY, "cutstrategy", -1, -1, 3, kNo),
      ictl(KLVO_CONTROL_BRANCHCHOICE, "branchchoice", 0, 0, 3, kNo),
      ictl(KLVO_CONTROL_DUALSTRATEGY, "dualstrategy", 1, 0, 255, kNo),
      ictl(KLVO_CONTROL_FEASPUMP, "feaspump", 0, 0, 2, kNo),
      ictl(KLVO_CONTROL_PRECOEFELIM, "precoefelim", 2, 0, 2, kNo),
      ictl(KLVO_CONTROL_PREDOMCOL, "predomcol", -1, -1, 2, kNo),
      ictl(KLVO_CONTROL_PREDOMROW, "predomrow", -1, -1, 3, kNo),
      ictl(KLVO_CONTROL_HEURSEARCHROOTSELECT, "heursearchrootselect", 117, 0, 255, kNo),
      ictl(KLVO_CONTROL_HEURSEARCHTREESELECT, "heursearchtreeselect", 17, 0, 255, kNo),
      ictl(KLVO_CONTROL_DUALIZE, "dualize", KLVO_ANA_AUTOMATIC, -1, 1, kNo),
      ictl(KLVO_CONTROL_PREPROBING, "preprobing", -1, -1, 3, kNo),
      ictl(KLVO_CONTROL_PRIMALUNSHIFT, "primalunshift", 0, 0, 1, kNo),
      ictl(KLVO_CONTROL_REPAIRINDEFINITEQ, "repairindefiniteq", 0, 0, 1, kNo),
      ictl(KLVO_CONTROL_ROOTHEURISTICS, "rootheuristics", KLVO_ANA_AUTOMATIC, -1, 1, kEngine),
      ictl(KLVO_CONTROL_LOCALSEARCH, "localsearch", KLVO_ANA_AUTOMATIC, -1, 1, kNo),
      ictl(KLVO_CONTROL_BARPRESOLVEOPS, "barpresolveops", 0, 0, 3, kNo),
      ictl(KLVO_CONTROL_TUNERMODE, "tunermode", -1, -1, 2, kNo),
      ictl(KLVO_CONTROL_TUNERMETHOD, "tunermethod", -1, -1, 7, kNo),
      ictl(KLVO_CONTROL_TUNERTARGET, "tunertarget", -1, -1, 6, kNo),
      ictl(KLVO_CONTROL_TUNERHISTORY, "tunerhistory", 2, 0, 2, kNo),
      ictl(KLVO_CONTROL_COMPUTELOG, "computelog", 1, 0, 3, kNo),
      ictl(KLVO_CONTROL_MULTIOBJOPS, "multiobjops", 7, 0, 255, kNo),
      ictl(KLVO_CONTROL_IISOPS, "iisops", 0, 0, 15, kNo),
      ictl(KLVO_CONTROL_BARHGOPS, "barhgops", 0, 0, 255, kNo),
      sctl(6001, "mpsobjname", "", kNo),

      // Attributes: sizes of the model.
      iattr(KLVO_ATTR_ROWS, "rows"),
      iattr(KLVO_ATTR_ELEMS, "elems", true),
      iattr(KLVO_ATTR_SETS, "sets"),
      iattr(KLVO_ATTR_COLS, "cols"),
      iattr(KLVO_ATTR_SPAREROWS, "sparerows"),
      iattr(KLVO_ATTR_PRESOLVESTATE, "presolvestate"),
      iattr(KLVO_ATTR_NAMELENGTH, "namelength"),
      iattr(KLVO_ATTR_QELEMS, "qelems"),
      iattr(KLVO_ATTR_MIPENTS, "mipents"),
      iattr(KLVO_ATTR_QCONSTRAINTS, "qconstraints"),
      iattr(KLVO_ATTR_ORIGINALROWS, "originalrows"),
      iattr(KLVO_ATTR_PROBNAMELENGTH, "probnamelength"),
      iattr(KLVO_ATTR_ORIGINALSETS, "originalsets"),
      iattr(KLVO_ATTR_ORIGINALCOLS, "originalcols"),
      iattr(KLVO_ATTR_INDICATORS, "indicators"),
      iattr(KLVO_ATTR_GENCONS, "gencons"),
      iattr(KLVO_ATTR_ORIGINALOBJECTIVES, "originalobjectives"),
      iattr(KLVO_ATTR_OBJECTIVES, "objectives"),
      iattr(KLVO_ATTR_INPUTROWS, "inputrows"),
      iattr(KLVO_ATTR_INPUTCOLS, "inputcols"),
      iattr(KLVO_ATTR_CURRENTNODE, "currentnode"),
      iattr(KLVO_ATTR_PARENTNODE, "parentnode"),
      iattr(KLVO_ATTR_NODEDEPTH, "nodedepth"),
      dattr(KLVO_ATTR_OBJSENSE, "objsense"),
      sattr(KLVO_ATTR_PROBNAME, "probname"),
      // Attributes: the last solve.
      iattr(KLVO_ATTR_SIMPLEXITER, "simplexiter"),
      iattr(KLVO_ATTR_LPSTATUS, "lpstatus"),
      iattr(KLVO_ATTR_MIPSTATUS, "mipstatus"),
      iattr(KLVO_ATTR_BARITER, "bariter"),
      iattr(KLVO_ATTR_NODES, "nodes", true),
      iattr(KLVO_ATTR_STOPSTATUS, "stopstatus"),
      iattr(KLVO_ATTR_SOLSTATUS, "solstatus"),
      iattr(KLVO_ATTR_MIPSOLS, "mipsols"),
      iattr(KLVO_ATTR_OPTIMIZETYPE, "optimizetypeused"),
      iattr(KLVO_ATTR_SOLVESTATUS, "solvestatus"),
      iattr(KLVO_ATTR_IISSOLSTATUS, "iissolstatus"),
      dattr(KLVO_ATTR_LPOBJVAL, "lpobjval"),
      dattr(KLVO_ATTR_MIPOBJVAL, "mipobjval"),
      dattr(KLVO_ATTR_BESTBOUND, "bestbound"),
      dattr(KLVO_ATTR_OBJVAL, "objval"),
      dattr(KLVO_ATTR_MIPRELGAP, "miprelgap"),
      dattr(KLVO_ATTR_SOLVETIME, "time"),
  };
  std::sort(t.begin(), t.end(), [](const CaDef &a, const CaDef &b) { return a.id < b.id; });
  return t;
}

const std::vector<CaDef> &table() {
  static const std::vector<CaDef> t = build();
  return t;
}

const ObjControlDef kObjControls[kObjControlCount] = {
    {KLVO_OBJCONTROL_PRIORITY, "priority", CaType::Int, 0.0},
    {KLVO_OBJCONTROL_WEIGHT, "weight", CaType::Dbl, 1.0},
    {KLVO_OBJCONTROL_ABSTOL, "abstol", CaType::Dbl, 0.0},
    {KLVO_OBJCONTROL_RELTOL, "reltol", CaType::Dbl, 0.0},
    {KLVO_OBJCONTROL_RHS, "rhs", CaType::Dbl, 0.0},
};

}  // namespace

int CaDef::flags() const {
  int f = type == CaType::Int ? KLVO_CA_INT : type == CaType::Dbl ? KLVO_CA_DBL : KLVO_CA_STR;
  if (int64) f |= KLVO_CA_INT64;
  if (control) f |= KLVO_CA_CONTROL | effect;
  return f;
}

int catalogue_size() { return static_cast<int>(table().size()); }
const CaDef *catalogue() { return table().data(); }

const CaDef *find_ca(int id) {
  const auto &t = table();
  auto it = std::lower_bound(t.begin(), t.end(), id, [](const CaDef &d, int v) { return d.id < v; });
  return it != t.end() && it->id == id ? &*it : nullptr;
}

const CaDef *find_ca(const std::string &name) {
  std::string lower(name);
  for (auto &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto &d : table())
    if (lower == d.name) return &d;
  return nullptr;
}

const ObjControlDef *find_objcontrol(int id) {
  for (const auto &d : kObjControls)
    if (d.id == id) return &d;
  return nullptr;
}

}  // namespace klvo
