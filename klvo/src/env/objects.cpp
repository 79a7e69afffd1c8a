#include "env/objects.h"

#include <mutex>
#include <unordered_map>

#include "env/error.h"

namespace klvo {

namespace {
std::mutex registry_mutex;
std::unordered_map<const void *, const char *> &registry() {
  static std::unordered_map<const void *, const char *> map;
  return map;
}
}  // namespace

void register_object(const void *obj, const char *type_name) {
  std::lock_guard<std::mutex> lock(registry_mutex);
  registry()[obj] = type_name;
}

void forget_object(const void *obj) {
  std::lock_guard<std::mutex> lock(registry_mutex);
  registry().erase(obj);
}

const char *object_type_name(const void *obj, const char *fn) {
  if (!obj) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null object", fn);
  std::lock_guard<std::mutex> lock(registry_mutex);
  auto it = registry().find(obj);
  if (it == registry().end()) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: not a library object", fn);
  return it->second;
}

}  // namespace klvo
