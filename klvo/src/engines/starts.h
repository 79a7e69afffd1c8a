// What a later solve or crossover starts from: a point loaded for the next continuous solve,
// the starts offered to the next integer solve, and the interior point solution of the last
// barrier solve. Kept apart from the solution store, which every solve clears.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace klvo {

struct MipStart {
  std::vector<int> colind;  // empty: a complete solution
  std::vector<double> values;
  std::string name;
};

struct StartStore {
  // Point for the next continuous solve, with the size of the model it was given for; empty
  // x means none. slack, duals and djs may be empty.
  int lp_cols = 0, lp_rows = 0;
  std::vector<double> lp_x, lp_slack, lp_duals, lp_djs;

  int mip_cols = 0;
  std::vector<MipStart> mip;

  // The barrier solution before crossover, for the model at revision bar_revision.
  int bar_lpstatus = 0;  // KLVO_LP_*; 0 = none
  uint64_t bar_revision = 0;
  std::vector<double> bar_x, bar_slack, bar_duals, bar_djs;

  void clear_lp() { lp_x.clear(), lp_slack.clear(), lp_duals.clear(), lp_djs.clear(); }
};

}  // namespace klvo
