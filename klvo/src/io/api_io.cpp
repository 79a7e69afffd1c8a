// C entry points for problem files.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <utility>

#include "engines/nlp/file_formulas.h"
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
    klvo::nlp::FileFormulas formulas = klvo::nlp::read_formulas(path);
    if (formulas.count() > 0 && !prob->slp)
      fail(KLVO_ERR_NOT_INITIALIZED,
           "KLVOreadprob: %s holds formula entries, which need the problem's nonlinear-layer handle (KSLPcreateprob)",
           path.c_str());
    m.revision = prob->model.revision + 1;
    std::swap(prob->model, m);
    if (formulas.count() > 0) {
      // Checked against the new model; on failure the old model and its formulas stay.
      if (KSLPloadcoefs(prob->slp, formulas.count(), formulas.row.data(), formulas.col.data(), formulas.factor.data(),
                        formulas.start.data(), 1, formulas.type.data(), formulas.value.data()) != 0) {
        std::string text = prob->slp->error.text();
        std::swap(prob->model, m);
        fail(KLVO_ERR_FILE, "KLVOreadprob: %s: %s", path.c_str(), text.c_str());
      }
    }
    klvo::nlp::model_replaced(*prob, formulas.count() == 0);  // the old model's settings do not fit the new one
  });
}

int KSLPreadprob(KSLPprob slp, const char *filename, const char *flags) {
  return klvo::slp_api_call(slp, "KSLPreadprob", [&] {
    if (KLVOreadprob(slp->prob, filename, flags) != 0) fail(slp->prob->error.code(), "%s", slp->prob->error.text().c_str());
  });
}

namespace {

// Writes the problem's model store; returns the path written and whether it is an LP file.
std::pair<std::string, bool> write_model(KLVOprob prob, const char *filename, const char *flags,
                                         const char *function) {
  const klvo::ModelStore &model = prob->model;
  klvo::WarningSink note = [&](const std::string &text) { prob->message(KLVO_MSG_WARNING, text); };
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name given", function);
  std::string path = filename;
  bool lp = has_flag(flags, 'l') || ends_with(path, ".lp");
  // A name without an extension gets the format's, as KLVOreadprob looks for it.
  size_t slash = path.find_last_of('/');
  if (path.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos) path += lp ? ".lp" : ".mps";
  if (lp) klvo::write_lp(model, path, note);
  else klvo::write_mps(model, path, has_flag(flags, 'x'), note);
  return {path, lp};
}

}  // namespace

int KLVOwriteprob(KLVOprob prob, const char *filename, const char *flags) {
  return api_call(prob, "KLVOwriteprob", [&] { write_model(prob, filename, flags, "KLVOwriteprob"); });
}

int KSLPwriteprob(KSLPprob slp, const char *filename, const char *flags) {
  return klvo::slp_api_call(slp, "KSLPwriteprob", [&] {
    auto written = write_model(slp->prob, filename, flags, "KSLPwriteprob");
    klvo::nlp::append_formulas(*slp, written.first, written.second);
  });
}

}  // extern "C"
