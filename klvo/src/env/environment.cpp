#include "env/environment.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <fstream>

#include "env/error.h"

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

void Environment::release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (init_count_.load() <= 0) fail(KLVO_ERR_NOT_INITIALIZED, "KLVOfree called without a matching KLVOinit");
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

void Environment::slp_init() {
#ifdef KLVO_HAVE_IPOPT
  require_initialized("KSLPinit");
  slp_count_.fetch_add(1);
#else
  fail(KLVO_ERR_NOT_AVAILABLE, "The nonlinear layer is not available: klvo was built without Ipopt");
#endif
}

void Environment::slp_release() {
  if (slp_count_.load() <= 0) fail(KLVO_ERR_NOT_INITIALIZED, "KSLPfree called without a matching KSLPinit");
  slp_count_.fetch_sub(1);
}

void Environment::dispatch_message(void *obj, const char *msg, int len, int msgtype) const {
  for (const auto &h : handlers.snapshot()) h.fn(obj, h.data, current_thread_handle(), msg, len, msgtype);
}

std::vector<std::pair<std::string, std::string>> Environment::ini_defaults() const {
  std::lock_guard<std::mutex> lock(ini_mutex_);
  return ini_defaults_;
}

}  // namespace klvo
