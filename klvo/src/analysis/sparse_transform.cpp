#include <algorithm>
#include <vector>

#include "analysis/analysis.h"
#include "model/array_sizes.h"

namespace klvo {

// Spread over the rows, solved like the dense transforms, gathered back.
void sparse_basis_solve(Problem &prob, double val[], int val_size, int ind[], int ind_size, int *nnz,
                               bool transpose, const char *fn) {
  if (!nnz) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null count", fn);
  int rows = prob.model.nrows();
  check_array_size(val_size, rows, "val", fn);
  check_array_size(ind_size, rows, "ind", fn);
  if (*nnz < 0 || *nnz > rows) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %d entries for %d rows", fn, *nnz, rows);
  std::vector<double> dense(rows, 0.0);
  for (int k = 0; k < *nnz; ++k) {
    if (ind[k] < 0 || ind[k] >= rows) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d out of range", fn, ind[k]);
    dense[ind[k]] += val[k];
  }
  basis_solve(prob, dense.data(), transpose, fn);
  int count = 0;
  for (int i = 0; i < rows; ++i) {
    if (dense[i] == 0.0) continue;
    val[count] = dense[i];
    ind[count++] = i;
  }
  *nnz = count;
}

}  // namespace klvo
