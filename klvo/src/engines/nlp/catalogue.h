// The nonlinear layer's controls and attributes: one table per catalogue, read by the
// catalogue functions, the typed getters and setters and KSLPcontrolcode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace klvo {
namespace nlp {

enum ParamType { kInt = 1, kDouble = 2, kString = 3, kPointer = 4 };

// Flag bits of a catalogue entry.
enum : int {
  kFlagInt = 1 << 0,
  kFlagDouble = 1 << 1,
  kFlagString = 1 << 2,
  kFlagControl = 1 << 4,
  kFlagNoEffect = 1 << 8,  // stored and reported, but it changes nothing in this library
  kFlagPresent = 1 << 10,
};

// Ids.
enum : int {
  kAttrRows = 11999,
  kAttrCols = 12000,
  kAttrEqualsColumn = 12013,
  kAttrCoefficients = 12016,
  kAttrFormulas = 12026,
  kAttrNlpStatus = 12044,
  kAttrLayerStatus = 12062,
  kAttrObjVal = 12179,
  kAttrIterations = 12180,
  kAttrSolveTime = 12181,
  kAttrMaxViolation = 12182,
  kAttrMainProblem = 12601,
  kAttrValidationAbs = 12191,
  kAttrValidationRel = 12192,
  kAttrValidationKkt = 12193,
  kAttrValidationStatus = 12194,
  kAttrMsWinner = 12650,

  kCtrlIterLimit = 12100,
  kCtrlLog = 12101,
  kCtrlTimeLimit = 12102,
  kCtrlOptTol = 12103,
  kCtrlFeasTol = 12104,
  kCtrlPostsolve = 12105,
  kCtrlEngineOptions = 12106,
  kCtrlCascade = 12107,
  kCtrlCascadeTol = 12108,
  kCtrlCascadeNLimit = 12109,
  kCtrlObjSense = 12146,
  kCtrlDerivatives = 12415,
  kCtrlSolver = 12417,

  kCtrlMuInit = 12701,
  kCtrlMuStrategy = 12702,
  kCtrlBoundPush = 12703,
  kCtrlAcceptableTol = 12704,
  kCtrlAcceptableIter = 12705,
};

// Bits of attribute 12062.
enum : int {
  kStatusConstructed = 1 << 0,  // the solver's compiled model is held (KSLPunconstruct drops it)
  kStatusSolved = 1 << 29,      // a solution is held (KSLPpostsolve returns to the editable state)
};

// Values of attribute 12044.
enum : int {
  kNlpUnstarted = 0,
  kNlpSolution = 1,
  kNlpGloballyOptimal = 2,
  kNlpLocallyInfeasible = 3,
  kNlpInfeasible = 4,
  kNlpUnbounded = 5,
  kNlpUnfinished = 6,
  kNlpUnknown = 7,
};

struct ParamInfo {
  int id;
  const char *name;
  int type;
  bool control;
  double def;  // default of an integer or double control
  double lo, hi;
  const char *sdef;  // default of a string control
  bool no_effect;
  int catalogue;  // the list it is in: KSLPgetcalist (1) or KSLPgetKTRcalist (2)
};

const ParamInfo *find_param(int id);
const ParamInfo *find_param(const std::string &name);  // case-insensitive
int param_flags(const ParamInfo &p);
// Entries of one catalogue (1 or 2), in table order.
const std::vector<const ParamInfo *> &catalogue(int which);

// Control values of one layer handle, by id.
struct ControlValues {
  ControlValues();
  std::vector<int64_t> ints;
  std::vector<double> dbls;
  std::vector<std::string> strs;
  // Position of each control in the vectors above (by table position).
  static int slot(const ParamInfo &p);
};

}  // namespace nlp
}  // namespace klvo
