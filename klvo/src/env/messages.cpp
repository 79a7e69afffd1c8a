#include "env/messages.h"

#include <cerrno>
#include <cstring>

#include "env/error.h"

namespace klvo {

MessageSettings::~MessageSettings() {
  if (log_) std::fclose(log_);
}

static void check_code(int code, const char *fn) {
  if (code < 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid message code %d (codes start at 1)", fn, code);
}

bool MessageSettings::sent(int code) const {
  if (!any_suppressed_.load(std::memory_order_relaxed)) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  return suppressed_.count(code) == 0;
}

int MessageSettings::status(int code, const char *fn) const {
  check_code(code, fn);
  return sent(code) ? 1 : 0;
}

void MessageSettings::set_status(int code, int status, const char *fn) {
  check_code(code, fn);
  if (status != 0 && status != 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid message status %d (0 or 1)", fn, status);
  std::lock_guard<std::mutex> lock(mutex_);
  if (status) suppressed_.erase(code);
  else suppressed_.insert(code);
  any_suppressed_ = !suppressed_.empty();
}

void MessageSettings::set_log_file(const char *path, const char *fn) {
  std::FILE *f = nullptr;
  if (path && *path) {
    f = std::fopen(path, "a");
    if (!f) fail(KLVO_ERR_FILE, "%s: cannot open the log file '%s': %s", fn, path, std::strerror(errno));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (log_) std::fclose(log_);
  log_ = f;
  logging_ = f != nullptr;
}

void MessageSettings::log(int msgtype, const std::string &text) {
  if (!logging_.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!log_) return;
  if (msgtype >= 1) {
    std::fwrite(text.data(), 1, text.size(), log_);
    std::fputc('\n', log_);
  }
  std::fflush(log_);
}

}  // namespace klvo
