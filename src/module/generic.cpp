// kelvo.generic: an opaque library handle (the issuing thread of a message), as handed to
// user message handlers.
#include "module/wrappers.h"

namespace kelvo {

PyTypeObject generic_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_generic_type() {
  return ready_opaque(&generic_type, "kelvo.generic", "An opaque library handle.");
}

}  // namespace kelvo
