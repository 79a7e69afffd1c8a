// Attribute values, computed from the model store and the last solve.
#pragma once

#include <cstdint>
#include <string>

#include "env/problem.h"
#include "params/catalogue.h"

namespace klvo {

int64_t int_attribute(const Problem &prob, const CaDef &def);
double dbl_attribute(const Problem &prob, const CaDef &def);
std::string str_attribute(const Problem &prob, const CaDef &def);
// Attributes of one objective. After a solve with several objectives, the objective values are
// that objective's at the solution, and the statuses, counters, bound and time those of the
// stage that optimised it (an objective of weight 0, or one whose stage was not reached, reads
// as not started). Otherwise, and for every other attribute, the problem's.
int64_t obj_int_attribute(const Problem &prob, int objidx, const CaDef &def);
double obj_dbl_attribute(const Problem &prob, int objidx, const CaDef &def);

}  // namespace klvo
