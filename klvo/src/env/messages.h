// Per-problem message settings: which message codes are suppressed, and the log file that
// receives a copy of every message sent. Safe to use from any thread.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <unordered_set>

namespace klvo {

class MessageSettings {
 public:
  MessageSettings() = default;
  ~MessageSettings();
  MessageSettings(const MessageSettings &) = delete;
  MessageSettings &operator=(const MessageSettings &) = delete;

  // Whether messages with this code are sent; cheap while nothing is suppressed.
  bool sent(int code) const;
  int status(int code, const char *fn) const;
  void set_status(int code, int status, const char *fn);

  // Appends to path from now on (null or empty: stops logging).
  void set_log_file(const char *path, const char *fn);
  // Writes one message to the log file, if there is one; a flush request flushes it.
  void log(int msgtype, const std::string &text);

 private:
  mutable std::mutex mutex_;
  std::unordered_set<int> suppressed_;
  // Read without the lock, so that sending a message costs nothing extra while no code is
  // suppressed and no log file is open.
  std::atomic<bool> any_suppressed_{false}, logging_{false};
  std::FILE *log_ = nullptr;
};

}  // namespace klvo
