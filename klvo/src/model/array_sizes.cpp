#include "model/array_sizes.h"

#include <klvo.h>

#include "env/error.h"

namespace klvo {

void check_array_size(int64_t have, int64_t need, const char *what, const char *fn) {
  if (have != need)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the array %s has %lld entries but %lld are expected", fn, what,
         static_cast<long long>(have), static_cast<long long>(need));
}

void check_array_size(int64_t have, int64_t need, int64_t need_or, const char *what, const char *fn) {
  if (have != need && have != need_or)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the array %s has %lld entries but %lld or %lld are expected", fn, what,
         static_cast<long long>(have), static_cast<long long>(need), static_cast<long long>(need_or));
}

}  // namespace klvo
