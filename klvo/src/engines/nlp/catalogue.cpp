#include "engines/nlp/catalogue.h"

#include <cctype>
#include <cmath>

namespace klvo {
namespace nlp {

namespace {

const double kInf = HUGE_VAL;

// Controls first, attributes after; every id once.
const ParamInfo kParams[] = {
    // id, name, type, control, default, lo, hi, string default, no effect, catalogue
    {kCtrlIterLimit, "kslp_iterlimit", kInt, true, 3000, 0, 2147483647, nullptr, false, 1},
    {kCtrlLog, "kslp_log", kInt, true, 1, 0, 3, nullptr, false, 1},
    {kCtrlTimeLimit, "kslp_timelimit", kDouble, true, 0, 0, kInf, nullptr, false, 1},
    {kCtrlOptTol, "kslp_opttol", kDouble, true, 1e-8, 1e-14, 1, nullptr, false, 1},
    {kCtrlFeasTol, "kslp_feastol", kDouble, true, 1e-6, 1e-14, 1, nullptr, false, 1},
    {kCtrlPostsolve, "kslp_postsolve", kInt, true, 0, 0, 1, nullptr, true, 1},
    {kCtrlEngineOptions, "kslp_engineoptions", kString, true, 0, 0, 0, "", false, 1},
    {kCtrlCascade, "kslp_cascade", kInt, true, 1, 0, 1, nullptr, false, 1},
    {kCtrlCascadeTol, "kslp_cascadetol", kDouble, true, 0, 0, kInf, nullptr, false, 1},
    {kCtrlCascadeNLimit, "kslp_cascadenlimit", kInt, true, 5, 1, 1000, nullptr, false, 1},
    {kCtrlObjSense, "kslp_objsense", kDouble, true, 1, -1, 1, nullptr, false, 1},
    {kCtrlDerivatives, "kslp_derivatives", kInt, true, 0, 0, 1, nullptr, false, 1},
    {kCtrlSolver, "kslp_solver", kInt, true, 0, 0, 1, nullptr, false, 1},
    {kAttrRows, "kslp_rows", kInt, false, 0, 0, 0, nullptr, false, 1},
    {kAttrCols, "kslp_cols", kInt, false, 0, 0, 0, nullptr, false, 1},
    {kAttrEqualsColumn, "kslp_equalscolumn", kInt, false, 0, 0, 0, nullptr, false, 1},
    {kAttrCoefficients, "kslp_coefficients", kInt, false, 0, 0, 0, nullptr, false, 1},
    {kAttrFormulas, "kslp_formulas", kInt, false, 0, 0, 0, nullptr, false, 1},
    {kAttrNlpStatus, "kslp_nlpstatus", kInt, false, 0, 0, 0, nullptr, false, 1},
    {kAttrLayerStatus, "kslp_status", kInt, false, 0, 0, 0, nullptr, false, 1},
    {kAttrObjVal, "kslp_objval", kDouble, false, 0, 0, 0, nullptr, false, 1},
    {kAttrIterations, "kslp_iterations", kInt, false, 0, 0, 0, nullptr, false, 1},
    {kAttrSolveTime, "kslp_solvetime", kDouble, false, 0, 0, 0, nullptr, false, 1},
    {kAttrMaxViolation, "kslp_maxviolation", kDouble, false, 0, 0, 0, nullptr, false, 1},
    {kAttrMainProblem, "kslp_mainproblem", kPointer, false, 0, 0, 0, nullptr, false, 1},
    {kAttrValidationAbs, "kslp_validationabs", kDouble, false, 0, 0, 0, nullptr, false, 1},
    {kAttrValidationRel, "kslp_validationrel", kDouble, false, 0, 0, 0, nullptr, false, 1},
    {kAttrValidationKkt, "kslp_validationkkt", kDouble, false, 0, 0, 0, nullptr, false, 1},
    {kAttrValidationStatus, "kslp_validationstatus", kInt, false, 0, 0, 0, nullptr, false, 1},
    {kAttrMsWinner, "kslp_mswinner", kInt, false, 0, 0, 0, nullptr, false, 1},
    // The interior-point engine's own settings.
    {kCtrlMuInit, "ip_muinit", kDouble, true, 0.1, 1e-12, kInf, nullptr, false, 2},
    {kCtrlMuStrategy, "ip_mustrategy", kInt, true, 0, 0, 1, nullptr, false, 2},
    {kCtrlBoundPush, "ip_boundpush", kDouble, true, 0.01, 1e-12, kInf, nullptr, false, 2},
    {kCtrlAcceptableTol, "ip_acceptabletol", kDouble, true, 1e-6, 1e-14, kInf, nullptr, false, 2},
    {kCtrlAcceptableIter, "ip_acceptableiter", kInt, true, 15, 0, 2147483647, nullptr, false, 2},
};
const int kNumParams = sizeof kParams / sizeof kParams[0];

bool iequal(const std::string &a, const char *b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return i == a.size() && !b[i];
}

}  // namespace

const ParamInfo *find_param(int id) {
  for (const auto &p : kParams)
    if (p.id == id) return &p;
  return nullptr;
}

const ParamInfo *find_param(const std::string &name) {
  for (const auto &p : kParams)
    if (iequal(name, p.name)) return &p;
  return nullptr;
}

int param_flags(const ParamInfo &p) {
  int f = kFlagPresent;
  if (p.type == kInt) f |= kFlagInt;
  if (p.type == kDouble) f |= kFlagDouble;
  if (p.type == kString) f |= kFlagString;
  if (p.control) f |= kFlagControl;
  if (p.no_effect) f |= kFlagNoEffect;
  return f;
}

const std::vector<const ParamInfo *> &catalogue(int which) {
  struct Lists {
    std::vector<const ParamInfo *> first, second;
    Lists() {
      for (const auto &p : kParams) (p.catalogue == 1 ? first : second).push_back(&p);
    }
  };
  static const Lists lists;
  return which == 2 ? lists.second : lists.first;
}

int ControlValues::slot(const ParamInfo &p) { return static_cast<int>(&p - kParams); }

ControlValues::ControlValues() : ints(kNumParams, 0), dbls(kNumParams, 0.0), strs(kNumParams) {
  for (int i = 0; i < kNumParams; ++i) {
    const ParamInfo &p = kParams[i];
    if (!p.control) continue;
    if (p.type == kInt) ints[i] = static_cast<int64_t>(p.def);
    if (p.type == kDouble) dbls[i] = p.def;
    if (p.type == kString) strs[i] = p.sdef ? p.sdef : "";
  }
}

}  // namespace nlp
}  // namespace klvo
