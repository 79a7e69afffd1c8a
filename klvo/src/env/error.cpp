#include "env/error.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace klvo {

std::string vformat(const char *fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  std::vsnprintf(&out[0], out.size() + 1, fmt, args);
  return out;
}

std::string format(const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = vformat(fmt, args);
  va_end(args);
  return out;
}

void fail(int code, const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = vformat(fmt, args);
  va_end(args);
  throw Error(code, std::move(text));
}

ErrorSlot &global_error() {
  static ErrorSlot slot;
  return slot;
}

void copy_text(const std::string &text, char *buffer, int size) noexcept {
  if (!buffer || size <= 0) return;
  size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
  // A cut text ends on a whole UTF-8 character (continuation bytes are 10xxxxxx), so that a
  // long path in a message still decodes.
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace klvo
