// The result of the last solve of a problem: statuses, counters, objective values and the
// solution vectors, all in the space of the model as the user built it.
#pragma once

#include <cstdint>
#include <vector>

#include "klvo.h"

namespace klvo {

struct SolutionStore {
  int lpstatus = KLVO_LP_UNSTARTED;
  int mipstatus = KLVO_MIP_NOT_LOADED;
  int solvestatus = KLVO_SOLVESTATUS_UNSTARTED;
  int solstatus = KLVO_SOLSTATUS_NOTFOUND;
  int stopstatus = KLVO_STOP_NONE;
  int optimizetype = KLVO_OPTTYPE_NONE;

  int64_t simplexiter = 0, bariter = 0, nodes = 0, mipsols = 0;
  double lpobjval = 0.0, mipobjval = 0.0, bestbound = 0.0, miprelgap = 0.0, time = 0.0;

  // Primal values (x, slack) exist when primal_status is OPTIMAL or FEASIBLE; duals and
  // reduced costs when dual_status is OPTIMAL.
  int primal_status = KLVO_SOLSTATUS_NOTFOUND;
  int dual_status = KLVO_SOLSTATUS_NOTFOUND;
  std::vector<double> x, slack, duals, djs;

  void clear() { *this = SolutionStore(); }
};

}  // namespace klvo
