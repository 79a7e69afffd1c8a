// The result of the last solve of a problem: statuses, objective and solution vectors.
#pragma once

#include <vector>

namespace klvo {

struct SolutionStore {};

}  // namespace klvo
