// C entry points for problem files.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <utility>

#include "engines/nlp/layer.h"
#include "env/problem.h"
#include "io/problem_file.h"

using klvo::api_call;
using klvo::fail;

namespace {

bool exists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ends_with(const std::string &s, const char *suffix) {
  size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
  return true;
}

bool has_flag(const char *flags, char f) { return flags && std::strchr(flags, f); }

}  // namespace

extern "C" {

int KLVOreadprob(KLVOprob prob, const char *filename, const char *flags) {
  return api_call(prob, "KLVOreadprob", [&] {
    if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOreadprob: no file name given");
    std::string path = filename;
    if (!exists(path)) {
      if (exists(path + ".mps")) path += ".mps";
      else if (exists(path + ".lp")) path += ".lp";
      else fail(KLVO_ERR_FILE, "KLVOreadprob: cannot open '%s' for reading: no such file", filename);
    }
    bool lp = has_flag(flags, 'l') || (!has_flag(flags, 'm') && ends_with(path, ".lp"));
    klvo::WarningSink warn = [&](const std::string &text) { prob->message(KLVO_MSG_WARNING, text); };
    klvo::ModelStore m;
    try {
      m = lp ? klvo::read_lp(path, warn) : klvo::read_mps(path, warn);
    } catch (const klvo::Error &e) {
      // Content the model refuses (a duplicate name, a bad quadratic row) is a file error too.
      if (e.code() != KLVO_ERR_INVALID_ARGUMENT) throw;
      fail(KLVO_ERR_FILE, "KLVOreadprob: %s: %s", path.c_str(), e.what());
    }
    if (lp && m.name.empty()) {
      // An LP file without a name comment is named after the file.
      std::string base = path.substr(path.find_last_of('/') + 1);
      m.name = ends_with(base, ".lp") ? base.substr(0, base.size() - 3) : base;
    }
    m.revision = prob->model.revision + 1;
    std::swap(prob->model, m);
    klvo::nlp::model_replaced(*prob);  // the old model's formulas do not fit the new one
  });
}

int KLVOwriteprob(KLVOprob prob, const char *filename, const char *flags) {
  return api_call(prob, "KLVOwriteprob", [&] {
    if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOwriteprob: no file name given");
    std::string path = filename;
    bool lp = has_flag(flags, 'l') || ends_with(path, ".lp");
    // A name without an extension gets the format's, as KLVOreadprob looks for it.
    size_t slash = path.find_last_of('/');
    if (path.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos) path += lp ? ".lp" : ".mps";
    if (lp) klvo::write_lp(prob->model, path);
    else klvo::write_mps(prob->model, path, has_flag(flags, 'x'));
  });
}

}  // extern "C"
