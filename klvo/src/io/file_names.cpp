// Names and numbers as they appear in problem files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "env/error.h"
#include "io/problem_file.h"
#include "model/edit.h"

namespace klvo {

namespace {

// Stored names of one kind as a file gives them. An unnamed element gets its default name, with
// "_" appended while that clashes with a stored name. An element whose name a lower element
// already carries gets the name with a suffix "_2", "_3", ... that clashes with no stored or
// invented name, so that every element can be told apart when the file is read back. Defaults
// ("C7", "C7_") cannot equal suffixed names (which end in a digit after "_"), nor one another.
std::vector<std::string> names_for(const ModelStore &m, int type, const char *kind, const char *format,
                                   const std::function<const char *(const std::string &, int)> &invalid_reason,
                                   const char *fn, const WarningSink &note) {
  const NameTable &table = names_of(m, type, fn);
  const int n = count_of(m, type);
  std::vector<std::string> out(n);
  std::unordered_set<std::string> suffixed;
  std::unordered_map<std::string, int> next_suffix;
  int repeats = 0;
  std::string example;
  for (int i = 0; i < n; ++i) {
    const std::string &name = table.get(i);
    if (name.empty()) {
      std::string d = name_or_default(m, type, i);
      while (table.find(d) >= 0) d += "_";
      out[i] = d;
      continue;
    }
    if (const char *why = invalid_reason(name, type))
      fail(KLVO_ERR_FILE, "%s: the %s name '%s' cannot be written to an %s file: %s", fn, kind, name.c_str(), format,
           why);
    if (table.find(name) == i) {
      out[i] = name;
      continue;
    }
    int &k = next_suffix.try_emplace(name, 2).first->second;
    std::string d;
    do d = name + "_" + std::to_string(k++);
    while (table.find(d) >= 0 || suffixed.count(d));
    if (const char *why = invalid_reason(d, type))
      fail(KLVO_ERR_FILE,
           "%s: the %s name '%s' is repeated, and the name '%s' that tells %s %d apart cannot be written to an %s "
           "file: %s",
           fn, kind, name.c_str(), d.c_str(), kind, i, format, why);
    if (repeats++ == 0) example = klvo::format("%s %d, '%s', is written as '%s'", kind, i, name.c_str(), d.c_str());
    suffixed.insert(d);
    out[i] = std::move(d);
  }
  if (repeats > 0 && note)
    note(klvo::format("%s: %d %s%s the name of a lower-numbered %s; the file gives %s a suffix (%s)", fn, repeats,
                      kind, repeats == 1 ? " repeats" : "s repeat", kind, repeats == 1 ? "it" : "them",
                      example.c_str()));
  return out;
}

}  // namespace

FileNames file_names(const ModelStore &m, const char *format,
                     const std::function<const char *(const std::string &, int)> &invalid_reason, const char *fn,
                     const WarningSink &note) {
  FileNames f;
  f.rows = names_for(m, 1, "row", format, invalid_reason, fn, note);
  f.cols = names_for(m, 2, "column", format, invalid_reason, fn, note);
  f.sets = names_for(m, 3, "set", format, invalid_reason, fn, note);
  std::unordered_set<std::string> used(f.rows.begin(), f.rows.end());
  f.objective = "obj";
  while (used.count(f.objective)) f.objective += "_";
  return f;
}

namespace {

// Writes all of text to fd; returns 0 or the error number.
int write_all(int fd, const std::string &text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

// The text goes to a new file beside the target and is renamed over it only once written in
// full, so that a failed write (full disk, file size limit, read-only folder) leaves any earlier
// file as it was; the partial file is removed.
void write_text_file(const std::string &path, const std::string &text, const char *fn) {
  std::string target = path;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the file the link points to, not the link.
    if (char *real = realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) fail(KLVO_ERR_FILE, "%s: cannot write '%s': it is a directory", fn, path.c_str());
  if (exists && !S_ISREG(st.st_mode)) {
    // A device or a pipe cannot be replaced; it is written as it is.
    int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) fail(KLVO_ERR_FILE, "%s: cannot open '%s' for writing: %s", fn, path.c_str(), std::strerror(errno));
    int err = write_all(fd, text);
    if (close(fd) != 0 && !err) err = errno;
    if (err) fail(KLVO_ERR_FILE, "%s: error writing '%s': %s", fn, path.c_str(), std::strerror(err));
    return;
  }
  size_t slash = target.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = (dir == "/" ? "" : dir) + "/." + base + "." + std::to_string(getpid()) + "." +
           std::to_string(counter.fetch_add(1)) + ".tmp";
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100))
      fail(KLVO_ERR_FILE, "%s: cannot write '%s': cannot create a file in '%s': %s; %s", fn, path.c_str(),
           dir.c_str(), std::strerror(errno), exists ? "the earlier file is unchanged" : "no file was written");
  }
  // The replacement keeps the earlier file's permissions (where the owner allows it).
  if (exists) fchmod(fd, st.st_mode & 07777);
  int err = write_all(fd, text);
  if (close(fd) != 0 && !err) err = errno;
  if (!err && rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err) {
    unlink(temp.c_str());
    fail(KLVO_ERR_FILE, "%s: error writing '%s': %s; %s", fn, path.c_str(), std::strerror(err),
         exists ? "the earlier file is unchanged" : "no file was written");
  }
}

std::string format_number(double v) {
  char buf[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

}  // namespace klvo
