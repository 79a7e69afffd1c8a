#include "env/environment.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <fstream>

#include "engines/engine_cache.h"
#include "env/error.h"

#ifndef KLVO_VERSION_MAJOR
#define KLVO_VERSION_MAJOR 0
#define KLVO_VERSION_MINOR 0
#define KLVO_VERSION_PATCH 0
#endif

namespace klvo {

Environment &Environment::get() {
  static Environment env;
  return env;
}

void *current_thread_handle() {
  static thread_local char marker;
  return &marker;
}

static std::string trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// path may name a klvo.ini file or a directory that holds one; a directory without one is
// fine (nothing to read), a path that does not exist is an error.
void Environment::read_ini(const std::string &path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) fail(KLVO_ERR_FILE, "Initialisation path not found: %s", path.c_str());
  std::string file = path;
  if (S_ISDIR(st.st_mode)) {
    file = path + "/klvo.ini";
    if (::stat(file.c_str(), &st) != 0) return;
  }
  std::ifstream in(file);
  if (!in) fail(KLVO_ERR_FILE, "Cannot read initialisation file %s", file.c_str());
  std::vector<std::pair<std::string, std::string>> values;
  std::string line;
  int lineno = 0;
  while (std::getline(in, line)) {
    ++lineno;
    auto hash = line.find_first_of("#;");
    if (hash != std::string::npos) line.erase(hash);
    line = trim(line);
    if (line.empty() || line[0] == '[') continue;
    auto eq = line.find('=');
    if (eq == std::string::npos)
      fail(KLVO_ERR_FILE, "%s:%d: expected \"name = value\"", file.c_str(), lineno);
    std::string name = trim(line.substr(0, eq));
    for (auto &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    values.emplace_back(name, trim(line.substr(eq + 1)));
  }
  std::lock_guard<std::mutex> lock(ini_mutex_);
  ini_defaults_ = std::move(values);
}

void Environment::init(const char *path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (path && *path) read_ini(path);
  init_count_.fetch_add(1);
}

void Environment::release(const char *fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (init_count_.load() <= 0) fail(KLVO_ERR_NOT_INITIALIZED, "%s called without a matching KLVOinit", fn);
  if (solves_.load() > 0) fail(KLVO_ERR_BUSY, "%s: a problem is being solved", fn);
  if (init_count_.fetch_sub(1) == 1) {
    handlers.clear();
    std::lock_guard<std::mutex> ini_lock(ini_mutex_);
    ini_defaults_.clear();
  }
}

void Environment::require_initialized(const char *function) const {
  if (init_count_.load() <= 0)
    fail(KLVO_ERR_NOT_INITIALIZED, "%s: the library is not initialized; call KLVOinit first", function);
}

void Environment::slp_init(const char *fn) {
#ifdef KLVO_HAVE_IPOPT
  require_initialized(fn);
  slp_count_.fetch_add(1);
#else
  fail(KLVO_ERR_NOT_AVAILABLE, "The nonlinear layer is not available: klvo was built without Ipopt");
#endif
}

void Environment::slp_release(const char *fn) {
  if (slp_count_.load() <= 0) fail(KLVO_ERR_NOT_INITIALIZED, "%s called without a matching KSLPinit", fn);
  slp_count_.fetch_sub(1);
}

void Environment::dispatch_message(void *obj, const char *msg, int len, int msgtype) const {
  for (const auto &h : handlers.snapshot()) h.fn(obj, h.data, current_thread_handle(), msg, len, msgtype);
}

std::vector<std::pair<std::string, std::string>> Environment::ini_defaults() const {
  std::lock_guard<std::mutex> lock(ini_mutex_);
  return ini_defaults_;
}

void Environment::add_handler(KLVOgemsghandler handler, void *data, int priority, const char *fn) {
  if (!handler) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null handler", fn);
  handlers.add(handler, data, priority);
}

void Environment::remove_handler(KLVOgemsghandler handler, void *data, const char *fn) {
  if (handlers.remove(handler, data) == 0)
    fail(KLVO_ERR_CALLBACK, "%s: no such message handler is registered", fn);
}

void Environment::set_compute_allowed(int allowed, const char *fn) {
  if (allowed < -1 || allowed > 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: value %d is not -1, 0 or 1", fn, allowed);
  compute_allowed = allowed;
}

std::string version_text() {
  return format("%d.%d.%d", KLVO_VERSION_MAJOR, KLVO_VERSION_MINOR, KLVO_VERSION_PATCH);
}

void version_numbers(int *major, int *minor, int *build) {
  if (major) *major = KLVO_VERSION_MAJOR;
  if (minor) *minor = KLVO_VERSION_MINOR;
  if (build) *build = KLVO_VERSION_PATCH;
}

std::string banner_text() {
  return format("klvo optimization library v%d.%d.%d (engines: %s)", KLVO_VERSION_MAJOR, KLVO_VERSION_MINOR,
                KLVO_VERSION_PATCH, engines_description().c_str());
}

bool feature_available(const char *feature, const char *fn) {
  if (!feature) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null feature name", fn);
  static const char *const available[] = {"lp", "mip", "qp", "barrier", "simplex", "mps", "lpfile",
#ifdef KLVO_HAVE_IPOPT
                                          "nlp", "qcqp",
#endif
                                          nullptr};
  for (const char *const *f = available; *f; ++f)
    if (strcasecmp(*f, feature) == 0) return true;
  return false;
}

}  // namespace klvo
