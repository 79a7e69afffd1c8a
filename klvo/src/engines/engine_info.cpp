#include <HConfig.h>

#include "engines/engine_cache.h"
#include "env/error.h"

#ifdef KLVO_HAVE_IPOPT
#include <IpoptConfig.h>
#endif

namespace klvo {

std::string engines_description() {
  std::string text = format("HiGHS %d.%d.%d", HIGHS_VERSION_MAJOR, HIGHS_VERSION_MINOR, HIGHS_VERSION_PATCH);
#ifdef KLVO_HAVE_IPOPT
  text += format(", Ipopt %s", IPOPT_VERSION);
#endif
  return text;
}

}  // namespace klvo
