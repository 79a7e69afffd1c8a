// Printing an irreducible infeasible set to the problem's log, through the same data the
// getters give.
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "env/error.h"
#include "env/problem.h"

namespace klvo {

void iis_print(Problem &prob, int num, const char *fn) {
  int count = 0;
  iis_status(prob, &count, nullptr, nullptr, nullptr, nullptr, fn);
  if (num < 0 || num > count)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: there is no IIS %d (%d found)", fn, num, count);
  std::vector<int> rowsizes(count + 1), colsizes(count + 1), numinfeas(count + 1);
  std::vector<double> suminfeas(count + 1);
  iis_status(prob, &count, rowsizes.data(), colsizes.data(), suminfeas.data(), numinfeas.data(), fn);
  auto name_or_index = [](const std::string &name, const char *kind, int index) {
    return name.empty() ? format("%s %d", kind, index) : name;
  };
  if (num == 0) {
    prob.messagef(KLVO_MSG_INFO, "%d IIS found", count);
    for (int k = 1; k <= count; ++k)
      prob.messagef(KLVO_MSG_INFO, "IIS %d: %d rows, %d bounds, least total violation %g in %d constraints", k,
                    rowsizes[k], colsizes[k], suminfeas[k], numinfeas[k]);
    return;
  }
  int nrows = 0, ncols = 0;
  iis_data(prob, num, &nrows, &ncols, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, fn);
  std::vector<int> rows(nrows), cols(ncols);
  std::vector<char> contype(nrows), bndtype(ncols);
  iis_data(prob, num, &nrows, &ncols, rows.data(), cols.data(), contype.data(), bndtype.data(), nullptr, nullptr,
           nullptr, nullptr, fn);
  prob.messagef(KLVO_MSG_INFO, "IIS %d: %d rows, %d bounds, least total violation %g in %d constraints", num, nrows,
                ncols, suminfeas[num], numinfeas[num]);
  const ModelStore &m = prob.model;
  for (int k = 0; k < nrows; ++k)
    prob.messagef(KLVO_MSG_INFO, "  row %s (%c)", name_or_index(m.rownames.get(rows[k]), "R", rows[k]).c_str(),
                  contype[k]);
  for (int k = 0; k < ncols; ++k) {
    const char *which = bndtype[k] == 'L' ? "lower bound" : bndtype[k] == 'U' ? "upper bound" : "both bounds";
    prob.messagef(KLVO_MSG_INFO, "  column %s: %s", name_or_index(m.colnames.get(cols[k]), "C", cols[k]).c_str(),
                  which);
  }
}

}  // namespace klvo
