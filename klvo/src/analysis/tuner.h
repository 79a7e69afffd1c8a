// The tuner's method: the control sets it tries, each a list of (control name, value).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace klvo {

struct TunerMethod {
  struct Set {
    std::string name;
    std::vector<std::pair<std::string, double>> controls;
  };
  std::vector<Set> sets;
};

}  // namespace klvo
