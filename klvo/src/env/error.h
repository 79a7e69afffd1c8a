// Errors inside klvo are C++ exceptions of type klvo::Error; the C entry points catch them
// (through api::guarded, api/guard.h) and turn them into a return code plus a last-error
// text, so no exception ever crosses the C boundary.
#pragma once

#include <cstdarg>
#include <mutex>
#include <stdexcept>
#include <string>

#include "klvo.h"

namespace klvo {

class Error : public std::runtime_error {
 public:
  Error(int code, std::string message) : std::runtime_error(std::move(message)), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// printf-style formatting into a std::string.
std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char *fmt, va_list args);

[[noreturn]] void fail(int code, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// Copies text into a caller's buffer of `size` bytes, always terminated.
void copy_text(const std::string &text, char *buffer, int size) noexcept;

// The last error of one owner (a problem or the global environment). Written and read from
// any thread.
class ErrorSlot {
 public:
  // Never throws: when the text cannot be copied for want of memory, the slot keeps the code
  // and a fixed text saying so.
  void set(int code, const std::string &text) noexcept { set(code, text.c_str()); }
  void set(int code, const char *text) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    code_ = code;
    try {
      text_ = text;
    } catch (...) {
      text_.clear();  // keeps no allocation; the fixed text fits the small-string buffer
      text_ = "Out of memory";
    }
  }
  void clear() { set(0, ""); }
  int code() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return code_;
  }
  std::string text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  // Copies the text into a caller's buffer without allocating (so that reading an error
  // cannot fail for want of memory); returns the text's length in bytes.
  size_t copy_to(char *buffer, int size) const noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    copy_text(text_, buffer, size);
    return text_.size();
  }

 private:
  mutable std::mutex mutex_;
  int code_ = 0;
  std::string text_;
};

// The global environment's last error.
ErrorSlot &global_error();

// Fails naming fn when a required output argument is null.
inline void require_out(const void *p, const char *fn) {
  if (!p) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", fn);
}

// Runs `body` and converts any exception into a code stored in `slot`; fn, when given, names
// the entry point in the text of failures that do not name it themselves.
template <class Body>
int guarded(ErrorSlot &slot, Body &&body, const char *fn = nullptr) {
  try {
    body();
    return KLVO_OK;
  } catch (const Error &e) {
    slot.set(e.code(), e.what());
    return e.code();
  } catch (const std::bad_alloc &) {
    // Building the longer text needs memory too; the short one is stored without any.
    try {
      slot.set(KLVO_ERR_OUT_OF_MEMORY, fn ? std::string(fn) + ": Out of memory" : std::string("Out of memory"));
    } catch (...) {
      slot.set(KLVO_ERR_OUT_OF_MEMORY, "Out of memory");
    }
    return KLVO_ERR_OUT_OF_MEMORY;
  } catch (const std::exception &e) {
    try {
      slot.set(KLVO_ERR_INTERNAL, std::string("Internal error: ") + e.what());
    } catch (...) {
      slot.set(KLVO_ERR_INTERNAL, "Internal error");
    }
    return KLVO_ERR_INTERNAL;
  } catch (...) {
    slot.set(KLVO_ERR_INTERNAL, "Internal error");
    return KLVO_ERR_INTERNAL;
  }
}

}  // namespace klvo
