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
// Attribute of one objective: objective values at the last solution; others as the problem's.
double obj_dbl_attribute(const Problem &prob, int objidx, const CaDef &def);

}  // namespace klvo
