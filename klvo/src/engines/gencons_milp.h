// General and piecewise-linear constraints as mixed-integer linear rows, so that the MIP
// engine can solve a model holding them exactly. Every reformulation below is exact on the
// columns' bounds, which must be finite where it needs them:
//   max / min   one binary per operand choosing the one the resultant equals; big-M rows
//               from the operands' bounds;
//   and / or    the resultant is bounded to [0, 1] and squeezed by linear rows (no binaries);
//   abs         one binary for the sign of the column, from its bounds;
//   pwl         one binary per segment of the function over the column's bounds (the first
//               and last segments extended as the function is), with the column and the
//               resultant interpolated along the chosen segment. At a jump both ordinates are
//               feasible at the breakpoint's abscissa.
// Semi-continuous columns count their 0 as part of their range.
#pragma once

#include "model/store.h"

namespace klvo {

// A copy of m without general and piecewise-linear constraints but with the columns and rows
// that state them; the model's own columns and rows keep their indices and come first.
// Throws KLVO_ERR_NOT_SUPPORTED naming the constraint and the column when a bound it needs
// is infinite.
ModelStore gencons_as_milp(const ModelStore &m);

}  // namespace klvo
