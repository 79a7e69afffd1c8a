// The process-wide environment: initialisation count, global switches, global message
// handlers and control defaults read at initialisation.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "klvo.h"

namespace klvo {

// An ordered list of (function, data, priority) registrations, safe to change while another
// thread dispatches from it: dispatch works on a snapshot.
template <class Fn>
class CallbackList {
 public:
  struct Entry {
    Fn fn;
    void *data;
    int priority;
  };

  // Higher priority first; equal priorities keep their order of registration.
  void add(Fn fn, void *data, int priority) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.begin();
    while (it != entries_.end() && it->priority >= priority) ++it;
    entries_.insert(it, Entry{fn, data, priority});
  }

  // fn null matches every function, data null every data. Returns how many were removed.
  int remove(Fn fn, void *data) {
    std::lock_guard<std::mutex> lock(mutex_);
    int removed = 0;
    for (auto it = entries_.begin(); it != entries_.end();) {
      if ((!fn || it->fn == fn) && (!data || it->data == data)) {
        it = entries_.erase(it);
        ++removed;
      } else {
        ++it;
      }
    }
    return removed;
  }

  std::vector<Entry> snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }

  bool empty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.empty();
  }

  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

class Environment {
 public:
  static Environment &get();

  void init(const char *path);  // throws Error
  void release(const char *fn);  // throws Error when not initialised
  int init_count() const { return init_count_.load(); }
  void require_initialized(const char *function) const;

  // Solves running on any problem: the library is not released under them.
  void solve_started() { solves_.fetch_add(1); }
  void solve_ended() { solves_.fetch_sub(1); }

  void slp_init(const char *fn);
  void slp_release(const char *fn);
  int slp_count() const { return slp_count_.load(); }

  std::atomic<int> checked_mode{1};
  std::atomic<int> arch_consistent{0};
  std::atomic<int> compute_allowed{-1};
  std::atomic<int> debug_mode{0};

  CallbackList<KLVOgemsghandler> handlers;
  void add_handler(KLVOgemsghandler handler, void *data, int priority, const char *fn);
  void remove_handler(KLVOgemsghandler handler, void *data, const char *fn);
  void set_compute_allowed(int allowed, const char *fn);

  // Sends a message to the global handlers; obj is the issuing object or null.
  void dispatch_message(void *obj, const char *msg, int len, int msgtype) const;

  // "name = value" control defaults read from klvo.ini at initialisation, in file order.
  std::vector<std::pair<std::string, std::string>> ini_defaults() const;

 private:
  Environment() = default;
  void read_ini(const std::string &path);

  std::mutex mutex_;
  std::atomic<int> init_count_{0};
  std::atomic<int> slp_count_{0};
  std::atomic<int> solves_{0};
  mutable std::mutex ini_mutex_;
  std::vector<std::pair<std::string, std::string>> ini_defaults_;
};

// Opaque id of the calling thread, passed to global message handlers.
void *current_thread_handle();

// "1.2.3", the library's version; its numbers.
std::string version_text();
void version_numbers(int *major, int *minor, int *build);
// One line naming the library, its version and the engines it was built with.
std::string banner_text();
// Whether a feature ("lp", "mip", "nlp", ...) is available in this build.
bool feature_available(const char *feature, const char *fn);

}  // namespace klvo
