// Reading a problem file into a problem (with the formulas it holds, for a problem with a
// nonlinear layer) and writing one.
#include "io/problem_file.h"

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <utility>

#include "env/problem.h"
#include "io/file_formulas.h"

namespace klvo {

namespace {

bool exists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool is_directory(const char *path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
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

void read_problem(Problem &prob, const char *filename, const char *flags, const char *fn) {
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name given", fn);
  std::string path = filename;
  if (!exists(path)) {
    if (exists(path + ".mps")) path += ".mps";
    else if (exists(path + ".lp")) path += ".lp";
    else if (is_directory(filename)) fail(KLVO_ERR_FILE, "%s: cannot read '%s': it is a directory", fn, filename);
    else fail(KLVO_ERR_FILE, "%s: cannot open '%s' for reading: no such file", fn, filename);
  }
  bool lp = has_flag(flags, 'l') || (!has_flag(flags, 'm') && ends_with(path, ".lp"));
  WarningSink warn = [&](const std::string &text) { prob.message(KLVO_MSG_WARNING, text, KLVO_MSGCODE_FILE); };
  ModelStore m;
  FileFormulas formulas;
  try {
    m = lp ? read_lp(path, warn, fn) : read_mps(path, warn, fn);
    formulas = read_formulas(path, fn);
  } catch (const Error &e) {
    // Content the model refuses (a bad quadratic row) is a file error too.
    if (e.code() != KLVO_ERR_INVALID_ARGUMENT) throw;
    fail(KLVO_ERR_FILE, "%s: %s: %s", fn, path.c_str(), e.what());
  } catch (const std::ios_base::failure &) {
    fail(KLVO_ERR_FILE, "%s: error reading '%s'", fn, path.c_str());
  }
  if (lp && m.name.empty()) {
    // An LP file without a name comment is named after the file.
    std::string base = path.substr(path.find_last_of('/') + 1);
    m.name = ends_with(base, ".lp") ? base.substr(0, base.size() - 3) : base;
  }
  if (formulas.count() > 0 && !prob.layer)
    fail(KLVO_ERR_NOT_INITIALIZED,
         "%s: %s holds formula entries, which need the problem's nonlinear-layer handle (KSLPcreateprob)", fn,
         path.c_str());
  m.revision = prob.model.revision + 1;
  std::swap(prob.model, m);
  if (formulas.count() > 0) {
    // Checked against the new model; on failure the old model and its formulas stay. The
    // entries are loaded, and their errors worded, as KSLPloadcoefs would.
    try {
      prob.layer->load_formulas(formulas.count(), formulas.row.data(), formulas.col.data(), formulas.factor.data(),
                                formulas.start.data(), formulas.type.data(), formulas.value.data());
    } catch (const Error &e) {
      std::swap(prob.model, m);
      fail(KLVO_ERR_FILE, "%s: %s: %s", fn, path.c_str(), e.what());
    } catch (...) {  // out of memory: the old model stays all the same
      std::swap(prob.model, m);
      throw;
    }
  }
  if (prob.layer) prob.layer->model_replaced();  // the old model's settings do not fit the new one
}

namespace {

// Writes the problem's model store, warning through the problem's messages of names the file
// had to change, with the formula entries after the model when with_formulas is set.
void write_model(Problem &prob, const char *filename, const char *flags, const char *function, bool with_formulas) {
  WarningSink note = [&](const std::string &text) { prob.message(KLVO_MSG_WARNING, text, KLVO_MSGCODE_FILE); };
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name given", function);
  // A directory is refused rather than written beside with an extension added.
  if (is_directory(filename)) fail(KLVO_ERR_FILE, "%s: cannot write '%s': it is a directory", function, filename);
  std::string path = filename;
  bool lp = has_flag(flags, 'l') || ends_with(path, ".lp");
  // A name without an extension gets the format's, as KLVOreadprob looks for it.
  size_t slash = path.find_last_of('/');
  if (path.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos) path += lp ? ".lp" : ".mps";
  std::string tail = with_formulas ? formula_lines(prob.model.formulas, lp) : std::string();
  if (lp) write_lp(prob.model, path, function, note, tail);
  else write_mps(prob.model, path, has_flag(flags, 'x'), function, note, tail);
}

}  // namespace

void write_problem(Problem &prob, const char *filename, const char *flags, const char *fn) {
  write_model(prob, filename, flags, fn, false);
}

void write_problem_with_formulas(Problem &prob, const char *filename, const char *flags, const char *fn) {
  write_model(prob, filename, flags, fn, true);
}

}  // namespace klvo
