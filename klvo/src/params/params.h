// Controls and attributes of one problem.
#pragma once

namespace klvo {

struct ParamStore {};

}  // namespace klvo
