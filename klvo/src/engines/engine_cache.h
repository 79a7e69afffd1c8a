// Per-problem state an engine keeps between solves (a HiGHS instance with its basis, ...).
#pragma once

#include <string>

namespace klvo {

class EngineCache {
 public:
  virtual ~EngineCache() = default;
};

// "HiGHS 1.15.1, Ipopt 3.11.9": the engines this library was built with.
std::string engines_description();

}  // namespace klvo
