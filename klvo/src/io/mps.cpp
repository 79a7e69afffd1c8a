// MPS files, free and fixed format. Sections: NAME, OBJSENSE, ROWS, COLUMNS (with integer
// markers), RHS (the objective row's entry is minus the objective constant), RANGES, BOUNDS
// (UP LO FX FR MI PL BV LI UI SC, plus SI for semi-integer and PI for the limit of a
// partial-integer column), SOS, QUADOBJ / QMATRIX (objective 1/2 x'Qx, upper triangle or
// full), QCMATRIX / QSECTION (a row's x'Px, full matrix), INDICATORS ("IF row column 1|0"),
// DELAYEDROWS and MODELCUTS (one row name per line), SECUREVECS ("R row" or "C column"),
// GENCONS, PWLCONS, ENDATA. The last five are this library's own; DELAYEDROWS, MODELCUTS and
// SECUREVECS keep the marks of model/marks.h.
//
// GENCONS holds general constraints, each opened by a line "TYPE resultant" (TYPE one of MAX,
// MIN, AND, OR, ABS) and followed by its operands, one per line: "COL column" or "VAL value".
// PWLCONS holds piecewise-linear constraints, each opened by "PWL resultant column" (the
// resultant is the function of the column) and followed by its breakpoints, one "x y" pair
// per line. The keyword that starts every line keeps column names apart from the syntax.
//
// A semi-continuous column's threshold is written as its LO bound and read back from it, so
// its stored lower bound (normally 0) is not kept separately.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "env/error.h"
#include "io/problem_file.h"
#include "model/edit.h"
#include "model/gencons.h"

namespace klvo {

namespace {

constexpr double kInf = 1.0e20;

enum class Section {
  None, Name, ObjSense, Rows, Columns, Rhs, Ranges, Bounds, Sos, QuadObj, QMatrix, QcMatrix, Indicators,
  DelayedRows, ModelCuts, SecureVecs, GenCons, PwlCons, End
};

std::string upper(std::string s) {
  for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> split(const std::string &line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  passing_errors(in);
  std::string t;
  while (in >> t) out.push_back(t);
  return out;
}

std::string read_file(const std::string &path, const char *fn) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(KLVO_ERR_FILE, "%s: cannot open '%s' for reading", fn, path.c_str());
  // Read in chunks rather than copied stream to stream, which would stop short, without an
  // error, when the copy cannot grow.
  std::string text;
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) text.append(chunk, static_cast<size_t>(in.gcount()));
  if (in.bad()) fail(KLVO_ERR_FILE, "%s: error reading '%s'", fn, path.c_str());
  return text;
}


class MpsReader {
 public:
  MpsReader(const std::string &path, const WarningSink &warn, const char *fn) : path_(path), warn_(warn), fn_(fn) {}

  ModelStore read() {
    std::string text = read_file(path_, fn_);
    // Names cannot hold a NUL (the C interface ends names with it), so such a file is no text.
    size_t nul = text.find('\0');
    if (nul != std::string::npos) {
      lineno_ = 1 + static_cast<int>(std::count(text.begin(), text.begin() + nul, '\n'));
      error("a NUL byte; this is not a text file");
    }
    size_t pos = 0;
    while (pos <= text.size() && section_ != Section::End) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      ++lineno_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '*') continue;
      std::vector<std::string> tok = split(line);
      if (tok.empty()) continue;
      if (!std::isspace(static_cast<unsigned char>(line[0])) && header(tok)) continue;
      data(tok);
      if (end == text.size()) break;
    }
    if (section_ != Section::End) warn("the file ends without ENDATA");
    return build();
  }

 private:
  [[noreturn]] void error(const char *fmt, const std::string &a = "", const std::string &b = "") {
    std::string what = format(fmt, a.c_str(), b.c_str());
    fail(KLVO_ERR_FILE, "%s: %s line %d: %s", fn_, path_.c_str(), lineno_, what.c_str());
  }
  void warn(const std::string &text) {
    if (warn_) warn_(path_ + " line " + std::to_string(lineno_) + ": " + text);
  }

  double number(const std::string &t) {
    const char *s = t.c_str();
    char *end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || std::isnan(v)) error("'%s' is not a number", t);
    return v;
  }

  // The model refuses infinite values where no bound is meant.
  double finite(double v, const std::string &t, const char *what) {
    if (std::fabs(v) >= kInf) error("the %s '%s' is not a finite number", what, t);
    return v;
  }

  int row(const std::string &name) {
    auto it = rowidx_.find(name);
    if (it == rowidx_.end()) error("unknown row '%s'", name);
    return it->second;
  }
  int col(const std::string &name) {
    auto it = colidx_.find(name);
    if (it == colidx_.end()) error("unknown column '%s'", name);
    return it->second;
  }

  // Returns true when the line was a section header.
  bool header(const std::vector<std::string> &tok) {
    std::string key = upper(tok[0]);
    if (key == "NAME") {
      name_ = tok.size() > 1 ? tok[1] : "";
      section_ = Section::Name;
    } else if (key == "OBJSENSE" || key == "OBJSENS") {
      section_ = Section::ObjSense;
      if (tok.size() > 1) sense(tok[1]);
    } else if (key == "ROWS") {
      section_ = Section::Rows;
    } else if (key == "COLUMNS") {
      section_ = Section::Columns;
    } else if (key == "RHS") {
      section_ = Section::Rhs;
    } else if (key == "RANGES") {
      section_ = Section::Ranges;
    } else if (key == "BOUNDS") {
      section_ = Section::Bounds;
    } else if (key == "SOS") {
      section_ = Section::Sos;
    } else if (key == "QUADOBJ") {
      section_ = Section::QuadObj;
    } else if (key == "QMATRIX") {
      section_ = Section::QMatrix;
    } else if (key == "QCMATRIX" || key == "QSECTION") {
      if (tok.size() < 2) {
        if (key == "QSECTION") error("QSECTION needs a row name");
        error("QCMATRIX needs a row name");
      }
      if (have_obj_ && tok[1] == objname_) {
        section_ = Section::QMatrix;
      } else {
        section_ = Section::QcMatrix;
        qrow_ = row(tok[1]);
      }
    } else if (key == "INDICATORS") {
      section_ = Section::Indicators;
    } else if (key == "DELAYEDROWS") {
      section_ = Section::DelayedRows;
    } else if (key == "MODELCUTS") {
      section_ = Section::ModelCuts;
    } else if (key == "SECUREVECS") {
      section_ = Section::SecureVecs;
    } else if (key == "GENCONS") {
      section_ = Section::GenCons;
    } else if (key == "PWLCONS") {
      section_ = Section::PwlCons;
    } else if (key == "ENDATA") {
      section_ = Section::End;
    } else if (key == "OBJNAME") {
      if (tok.size() > 1) objname_hint_ = tok[1];
    } else {
      return false;
    }
    return true;
  }

  void sense(const std::string &t) {
    std::string s = upper(t);
    if (s == "MAX" || s == "MAXIMIZE" || s == "MAXIMISE") sense_ = -1;
    else if (s == "MIN" || s == "MINIMIZE" || s == "MINIMISE") sense_ = 1;
    else error("unknown objective sense '%s'", t);
  }

  void data(const std::vector<std::string> &tok) {
    switch (section_) {
      case Section::ObjSense: sense(tok[0]); break;
      case Section::Rows: rows_line(tok); break;
      case Section::Columns: columns_line(tok); break;
      case Section::Rhs: rhs_line(tok, false); break;
      case Section::Ranges: rhs_line(tok, true); break;
      case Section::Bounds: bounds_line(tok); break;
      case Section::Sos: sos_line(tok); break;
      case Section::QuadObj: quad_line(tok, false, false); break;
      case Section::QMatrix: quad_line(tok, true, false); break;
      case Section::QcMatrix: quad_line(tok, true, true); break;
      case Section::Indicators: indicator_line(tok); break;
      case Section::DelayedRows: delayed_.push_back(row(tok[0])); break;
      case Section::ModelCuts: modelcuts_.push_back(row(tok[0])); break;
      case Section::SecureVecs: secure_line(tok); break;
      case Section::GenCons: gencons_line(tok); break;
      case Section::PwlCons: pwlcons_line(tok); break;
      case Section::None: error("data before the first section");
      case Section::Name: error("unexpected line after NAME");
      case Section::End: break;
    }
  }

  void rows_line(const std::vector<std::string> &tok) {
    if (tok.size() < 2) error("a row needs a type and a name");
    char t = static_cast<char>(std::toupper(static_cast<unsigned char>(tok[0][0])));
    if (tok[0].size() != 1 || (t != 'N' && t != 'L' && t != 'G' && t != 'E')) error("invalid row type '%s'", tok[0]);
    const std::string &name = tok[1];
    if (name == objname_ || rowidx_.count(name)) error("row '%s' is defined twice", name);
    bool objective = t == 'N' && !have_obj_ && (objname_hint_.empty() || objname_hint_ == name);
    if (objective) {
      have_obj_ = true;
      objname_ = name;
      return;
    }
    rowidx_.emplace(name, static_cast<int>(rownames_.size()));
    rownames_.push_back(name);
    rowtype_.push_back(t);
    rhs_.push_back(0.0);
    range_.push_back(0.0);
    has_range_.push_back(0);
  }

  void columns_line(const std::vector<std::string> &tok) {
    if (tok.size() >= 3 && upper(tok[1]) == "'MARKER'") {
      std::string m = upper(tok[2]);
      if (m == "'INTORG'") integer_ = true;
      else if (m == "'INTEND'") integer_ = false;
      else error("unknown marker %s", tok[2]);
      return;
    }
    if (tok.size() != 3 && tok.size() != 5) error("a COLUMNS line holds a column and one or two row/value pairs");
    int j;
    auto it = colidx_.find(tok[0]);
    if (it == colidx_.end()) {
      j = static_cast<int>(colnames_.size());
      colidx_.emplace(tok[0], j);
      colnames_.push_back(tok[0]);
      entries_.emplace_back();
      obj_.push_back(0.0);
      type_.push_back(integer_ ? 'I' : 'C');
      lb_.push_back(0.0);
      ub_.push_back(kInf);
      lb_set_.push_back(0);
      limit_.push_back(0.0);
    } else {
      j = it->second;
    }
    for (size_t p = 1; p + 1 < tok.size(); p += 2) {
      double v = number(tok[p + 1]);
      if (have_obj_ && tok[p] == objname_) {
        obj_[j] = v;
      } else {
        auto r = rowidx_.find(tok[p]);
        if (r == rowidx_.end()) error("unknown row '%s' in column '%s'", tok[p], tok[0]);
        entries_[j].push_back(Entry{r->second, v});
      }
    }
  }

  // RHS and RANGES lines: [set] row value [row value].
  void rhs_line(const std::vector<std::string> &tok, bool ranges) {
    size_t p = (tok.size() % 2 == 1) ? 1 : 0;
    if (tok.size() < 2 || tok.size() > 5) error("a %s line holds an optional set name and one or two row/value pairs",
                                               ranges ? "RANGES" : "RHS");
    for (; p + 1 < tok.size(); p += 2) {
      double v = number(tok[p + 1]);
      if (have_obj_ && tok[p] == objname_) {
        if (!ranges) objconst_ = -finite(v, tok[p + 1], "objective constant");
        continue;
      }
      int i = row(tok[p]);
      if (ranges) {
        range_[i] = v;
        has_range_[i] = 1;
      } else {
        rhs_[i] = v;
      }
    }
  }

  void bounds_line(const std::vector<std::string> &tok) {
    std::string type = upper(tok[0]);
    static const char *const valued[] = {"UP", "LO", "FX", "LI", "UI", "SC", "SI", "PI"};
    static const char *const plain[] = {"FR", "MI", "PL", "BV"};
    bool needs_value = false, known = false;
    for (const char *v : valued) known |= needs_value |= type == v;
    for (const char *v : plain) known |= type == v;
    if (!known) error("unknown bound type '%s'", tok[0]);
    // Forms: type set col value | type col value | type set col | type col.
    std::string colname;
    const std::string *value = nullptr;
    if (tok.size() == 4) {
      colname = tok[2];
      value = &tok[3];
    } else if (tok.size() == 3) {
      if (!needs_value && colidx_.count(tok[2])) {
        colname = tok[2];
      } else {
        colname = tok[1];
        value = &tok[2];
      }
    } else if (tok.size() == 2) {
      colname = tok[1];
    } else {
      error("malformed bound line");
    }
    if (needs_value && !value && type != "SC" && type != "SI") error("bound type %s needs a value", type);
    int j = col(colname);
    double v = value ? number(*value) : kInf;
    if (v >= kInf) v = kInf;
    if (v <= -kInf) v = -kInf;
    if (type == "UP" || type == "UI") {
      if (v < 0 && lb_[j] == 0.0 && !lb_set_[j]) {
        warn("negative upper bound of column '" + colname + "' makes its lower bound -infinity");
        lb_[j] = -kInf;
      }
      ub_[j] = v;
      if (type == "UI") type_[j] = 'I';
    } else if (type == "LO" || type == "LI") {
      lb_[j] = v;
      lb_set_[j] = 1;
      if (type == "LI") type_[j] = 'I';
    } else if (type == "FX") {
      lb_[j] = ub_[j] = v;
      lb_set_[j] = 1;
    } else if (type == "FR") {
      lb_[j] = -kInf;
      ub_[j] = kInf;
    } else if (type == "MI") {
      lb_[j] = -kInf;
    } else if (type == "PL") {
      ub_[j] = kInf;
    } else if (type == "BV") {
      type_[j] = 'B';
      lb_[j] = 0.0;
      ub_[j] = 1.0;
    } else if (type == "SC" || type == "SI") {
      type_[j] = type == "SC" ? 'S' : 'R';
      ub_[j] = v;
    } else if (type == "PI") {
      type_[j] = 'P';
      limit_[j] = v;
    }
  }

  // "S1 SOS name [priority]" (or "S1 name") opens a set; "col weight", "col:weight" or
  // "set col weight" adds a member.
  void sos_line(const std::vector<std::string> &tok) {
    std::string first = upper(tok[0]);
    if ((first == "S1" || first == "S2") && (tok.size() == 2 || (tok.size() >= 3 && upper(tok[1]) == "SOS"))) {
      FileSet s;
      s.type = first[1];
      s.name = tok.size() == 2 ? tok[1] : tok[2];
      if (!setnames_.insert(s.name).second) error("set '%s' is defined twice", s.name);
      sets_.push_back(s);
      return;
    }
    if (sets_.empty()) error("a set member before any S1 or S2 line");
    std::string c, w;
    if (tok.size() == 1) {
      size_t colon = tok[0].rfind(':');
      if (colon == std::string::npos) error("malformed set member '%s'", tok[0]);
      c = tok[0].substr(0, colon);
      w = tok[0].substr(colon + 1);
    } else if (tok.size() == 2) {
      c = tok[0];
      w = tok[1];
    } else if (tok.size() == 3) {
      c = tok[1];
      w = tok[2];
    } else {
      error("malformed set member line");
    }
    sets_.back().cols.push_back(col(c));
    sets_.back().weights.push_back(number(w));
  }

  void indicator_line(const std::vector<std::string> &tok) {
    if (tok.size() != 4 || upper(tok[0]) != "IF") error("an indicator line reads IF row column 0|1");
    double v = number(tok[3]);
    if (v != 0.0 && v != 1.0) error("an indicator value must be 0 or 1, not '%s'", tok[3]);
    ind_rows_.push_back(row(tok[1]));
    ind_cols_.push_back(col(tok[2]));
    ind_comp_.push_back(v == 1.0 ? 1 : -1);
  }

  void gencons_line(const std::vector<std::string> &tok) {
    std::string key = upper(tok[0]);
    int type = gencons_type_code(key);
    if (type >= 0) {
      if (tok.size() != 2) error("a general constraint opens with TYPE resultant");
      GenCons g;
      g.type = type;
      g.resultant = col(tok[1]);
      gencons_.push_back(g);
      return;
    }
    if (gencons_.empty()) error("an operand before any general constraint");
    if (tok.size() != 2) error("an operand line reads COL column or VAL value");
    if (key == "COL") gencons_.back().cols.push_back(col(tok[1]));
    else if (key == "VAL") gencons_.back().vals.push_back(number(tok[1]));
    else error("unknown general constraint line '%s'", tok[0]);
  }

  void pwlcons_line(const std::vector<std::string> &tok) {
    if (upper(tok[0]) == "PWL") {
      if (tok.size() != 3) error("a piecewise-linear constraint opens with PWL resultant column");
      PwlCons c;
      c.resultant = col(tok[1]);
      c.col = col(tok[2]);
      pwlcons_.push_back(c);
      return;
    }
    if (pwlcons_.empty()) error("a breakpoint before any piecewise-linear constraint");
    if (tok.size() != 2) error("a breakpoint line holds x and y");
    pwlcons_.back().x.push_back(number(tok[0]));
    pwlcons_.back().y.push_back(number(tok[1]));
  }

  // full: both triangles are listed, so each off-diagonal entry is half of the pair's value.
  void quad_line(const std::vector<std::string> &tok, bool full, bool row_matrix) {
    if (tok.size() != 3) error("a quadratic line holds two columns and a value");
    int a = col(tok[0]), b = col(tok[1]);
    double v = number(tok[2]);
    if (full && a != b) v *= 0.5;
    if (a > b) std::swap(a, b);
    if (row_matrix) {
      qrow_terms_.push_back({qrow_, QTerm{a, b, v}});
    } else {
      q1_.push_back(a);
      q2_.push_back(b);
      qv_.push_back(v);
    }
  }

  void secure_line(const std::vector<std::string> &tok) {
    std::string kind = upper(tok[0]);
    if (tok.size() < 2 || (kind != "R" && kind != "C")) error("expected 'R row' or 'C column'");
    if (kind == "R") securerows_.push_back(row(tok[1]));
    else securecols_.push_back(col(tok[1]));
  }

  ModelStore build() {
    const char *fn = fn_;
    ModelStore m;
    m.name = name_;
    m.objsense = sense_;
    m.objconstant = objconst_;
    const int nrows = static_cast<int>(rownames_.size()), ncols = static_cast<int>(colnames_.size());
    // Ranges make 'R' rows whose right-hand side is the upper end.
    for (int i = 0; i < nrows; ++i) {
      if (!has_range_[i] || rowtype_[i] == 'N') continue;
      double r = range_[i], a = std::fabs(r);
      if (rowtype_[i] == 'G') rhs_[i] += a;
      else if (rowtype_[i] == 'E' && r > 0) rhs_[i] += r;
      rowtype_[i] = 'R';
      range_[i] = a;
    }
    SparseBlock none;
    none.count = nrows;
    add_rows(m, fn, rowtype_.data(), rhs_.data(), range_.data(), none);
    std::vector<int64_t> start(ncols + 1, 0);
    std::vector<int> index;
    std::vector<double> value;
    for (int j = 0; j < ncols; ++j) {
      for (const Entry &e : entries_[j]) {
        index.push_back(e.index);
        value.push_back(e.value);
      }
      start[j + 1] = static_cast<int64_t>(index.size());
    }
    SparseBlock cols;
    cols.count = ncols;
    cols.nentries = static_cast<int64_t>(index.size());
    cols.start = start.data();
    cols.index = index.data();
    cols.value = value.data();
    add_cols(m, fn, obj_.data(), cols, lb_.data(), ub_.data());
    for (int j = 0; j < ncols; ++j) {
      char t = type_[j];
      m.coltype[j] = t;
      if (t == 'S' || t == 'R') {
        // The LO bound of a semi-continuous column is its threshold.
        m.limit[j] = m.lb[j];
        m.lb[j] = std::min(m.lb[j], 0.0);
      } else if (t == 'P') {
        m.limit[j] = limit_[j];
      } else if (t == 'B' && (m.lb[j] < 0.0 || m.ub[j] > 1.0)) {
        fail(KLVO_ERR_FILE, "%s: %s: binary column '%s' has bounds outside [0, 1]", fn_, path_.c_str(),
             colnames_[j].c_str());
      }
    }
    m.rownames.assign(0, rownames_);
    m.colnames.assign(0, colnames_);
    add_qobj(m, fn, static_cast<int64_t>(q1_.size()), q1_.data(), q2_.data(), qv_.data());
    for (const auto &[r, t] : qrow_terms_) add_qrow(m, fn, r, 1, &t.col1, &t.col2, &t.value);
    add_file_sets(m, fn, sets_);
    set_indicators(m, fn, static_cast<int>(ind_rows_.size()), ind_rows_.data(), ind_cols_.data(), ind_comp_.data());
    load_row_marks(m, 'd', static_cast<int>(delayed_.size()), delayed_.data(), fn);
    load_row_marks(m, 'm', static_cast<int>(modelcuts_.size()), modelcuts_.data(), fn);
    load_secure(m, static_cast<int>(securerows_.size()), static_cast<int>(securecols_.size()), securerows_.data(),
                securecols_.data(), fn);
    for (size_t k = 0; k < gencons_.size(); ++k) check_gencons(m, gencons_[k], static_cast<int>(k), fn);
    for (size_t k = 0; k < pwlcons_.size(); ++k) check_pwlcons(m, pwlcons_[k], static_cast<int>(k), fn);
    m.gencons = std::move(gencons_);
    m.pwlcons = std::move(pwlcons_);
    return m;
  }

  std::string path_;
  WarningSink warn_;
  const char *fn_;
  int lineno_ = 0;
  Section section_ = Section::None;
  std::string name_, objname_, objname_hint_;
  bool have_obj_ = false, integer_ = false;
  int sense_ = 1;
  double objconst_ = 0.0;
  std::vector<std::string> rownames_;
  std::unordered_map<std::string, int> rowidx_;
  std::vector<char> rowtype_;
  std::vector<double> rhs_, range_;
  std::vector<char> has_range_;
  std::vector<std::string> colnames_;
  std::unordered_map<std::string, int> colidx_;
  std::vector<std::vector<Entry>> entries_;
  std::vector<double> obj_, lb_, ub_, limit_;
  std::vector<char> type_, lb_set_;
  std::vector<int> q1_, q2_;
  std::vector<double> qv_;
  int qrow_ = -1;
  std::vector<std::pair<int, QTerm>> qrow_terms_;
  std::vector<FileSet> sets_;
  std::unordered_set<std::string> setnames_;
  std::vector<int> ind_rows_, ind_cols_, ind_comp_;
  std::vector<int> delayed_, modelcuts_, securerows_, securecols_;
  std::vector<GenCons> gencons_;
  std::vector<PwlCons> pwlcons_;
};

// ---- Writing.

class MpsWriter {
 public:
  MpsWriter(const ModelStore &m, bool fixed, const char *fn, const WarningSink &note) : m_(m), fixed_(fixed) {
    passing_errors(out_);
    names_ = file_names(m, fixed ? "fixed MPS" : "MPS", [fixed](const std::string &name, int) -> const char * {
      for (char c : name)
        if (std::isspace(static_cast<unsigned char>(c))) return "it contains white space";
      if (fixed && name.size() > 8) return "fixed format allows at most 8 characters";
      return nullptr;
    }, fn, note);
  }

  std::string text() {
    const ModelStore &m = m_;
    out_ << "NAME          " << (m.name.empty() ? std::string("noname") : m.name) << "\n";
    if (m.objsense == -1) out_ << "OBJSENSE\n    MAX\n";
    out_ << "ROWS\n";
    out_ << " N  " << names_.objective << "\n";
    for (int i = 0; i < m.nrows(); ++i) {
      char t = m.rowtype[i] == 'R' ? 'L' : m.rowtype[i];
      out_ << " " << t << "  " << names_.rows[i] << "\n";
    }
    out_ << "COLUMNS\n";
    bool in_marker = false;
    int markers = 0;
    for (int j = 0; j < m.ncols(); ++j) {
      bool integer = m.coltype[j] == 'I';
      if (integer != in_marker) {
        std::string label = "MARKER" + std::to_string(markers++);
        line("", label, "'MARKER'", integer ? "'INTORG'" : "'INTEND'");
        in_marker = integer;
      }
      const std::string &c = names_.cols[j];
      bool any = false;
      if (m.obj[j] != 0.0) {
        line("", c, names_.objective, format_number(m.obj[j]));
        any = true;
      }
      for (const Entry &e : m.colentries[j]) {
        line("", c, names_.rows[e.index], format_number(e.value));
        any = true;
      }
      // A column without entries still has to appear.
      if (!any) line("", c, names_.objective, "0");
    }
    if (in_marker) line("", "MARKER" + std::to_string(markers), "'MARKER'", "'INTEND'");
    out_ << "RHS\n";
    if (m.objconstant != 0.0) line("", "RHS", names_.objective, format_number(-m.objconstant));
    for (int i = 0; i < m.nrows(); ++i)
      if (m.rhs[i] != 0.0) line("", "RHS", names_.rows[i], format_number(m.rhs[i]));
    bool ranges = false;
    for (int i = 0; i < m.nrows(); ++i)
      if (m.rowtype[i] == 'R') {
        if (!ranges) out_ << "RANGES\n";
        ranges = true;
        line("", "RNG", names_.rows[i], format_number(m.range[i]));
      }
    write_bounds();
    write_sets();
    write_quadratics();
    if (m.nindicators() > 0) {
      out_ << "INDICATORS\n";
      for (int i = 0; i < m.nrows(); ++i)
        if (m.indcomp[i] != 0)
          line("IF", names_.rows[i], names_.cols[m.indcol[i]], m.indcomp[i] == 1 ? "1" : "0");
    }
    write_marks();
    write_gencons();
    out_ << "ENDATA\n";
    return out_.str();
  }

 private:
  void line(const std::string &f1, const std::string &f2, const std::string &f3, const std::string &f4 = "") {
    if (fixed_) {
      char buf[128];
      std::snprintf(buf, sizeof buf, " %-2s %-8s  %-8s  %s", f1.c_str(), f2.c_str(), f3.c_str(), f4.c_str());
      std::string s = buf;
      while (!s.empty() && s.back() == ' ') s.pop_back();
      out_ << s << "\n";
    } else {
      out_ << " " << (f1.empty() ? std::string("   ") : f1 + " ") << f2 << "  " << f3;
      if (!f4.empty()) out_ << "  " << f4;
      out_ << "\n";
    }
  }

  void bound(bool &started, const char *type, int j, const std::string &value) {
    if (!started) out_ << "BOUNDS\n";
    started = true;
    line(type, "BND", names_.cols[j], value);
  }

  void write_bounds() {
    const ModelStore &m = m_;
    bool started = false;
    for (int j = 0; j < m.ncols(); ++j) {
      double lb = m.lb[j], ub = m.ub[j];
      char t = m.coltype[j];
      if (t == 'B') {
        bound(started, "BV", j, "");
        if (lb != 0.0) bound(started, "LO", j, format_number(lb));
        if (ub != 1.0) bound(started, "UP", j, format_number(ub));
        continue;
      }
      if (t == 'S' || t == 'R') {
        bound(started, t == 'S' ? "SC" : "SI", j, format_number(ub));
        double threshold = std::max(lb, m.limit[j]);
        if (threshold != 0.0) bound(started, "LO", j, format_number(threshold));
        continue;
      }
      if (t == 'P') bound(started, "PI", j, format_number(m.limit[j]));
      if (lb == ub) {
        bound(started, "FX", j, format_number(lb));
        continue;
      }
      if (lb <= -kInf && ub >= kInf) {
        bound(started, "FR", j, "");
        continue;
      }
      if (lb <= -kInf) bound(started, "MI", j, "");
      else if (lb != 0.0 || ub < 0.0) bound(started, "LO", j, format_number(lb));
      if (ub < kInf) bound(started, "UP", j, format_number(ub));
    }
  }

  void write_sets() {
    const ModelStore &m = m_;
    if (m.sets.empty()) return;
    out_ << "SOS\n";
    for (int k = 0; k < m.nsets(); ++k) {
      const SosSet &s = m.sets[k];
      out_ << " S" << s.type << " SOS  " << names_.sets[k] << "  1\n";
      for (size_t p = 0; p < s.cols.size(); ++p)
        line("", names_.cols[s.cols[p]], format_number(s.weights[p]));
    }
  }

  void write_marks() {
    const ModelMarks &k = m_.marks;
    auto rows = [&](const char *section, const std::vector<int> &v) {
      if (v.empty()) return;
      out_ << section << "\n";
      for (int i : v) out_ << "    " << names_.rows[i] << "\n";
    };
    rows("DELAYEDROWS", k.delayed);
    rows("MODELCUTS", k.modelcuts);
    if (k.securerows.empty() && k.securecols.empty()) return;
    out_ << "SECUREVECS\n";
    for (int i : k.securerows) out_ << " R  " << names_.rows[i] << "\n";
    for (int j : k.securecols) out_ << " C  " << names_.cols[j] << "\n";
  }

  void write_gencons() {
    const ModelStore &m = m_;
    if (!m.gencons.empty()) {
      out_ << "GENCONS\n";
      for (const GenCons &g : m.gencons) {
        std::string type = gencons_type_name(g.type);
        for (char &c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        out_ << " " << type << "  " << names_.cols[g.resultant] << "\n";
        for (int j : g.cols) out_ << "    COL  " << names_.cols[j] << "\n";
        for (double v : g.vals) out_ << "    VAL  " << format_number(v) << "\n";
      }
    }
    if (!m.pwlcons.empty()) {
      out_ << "PWLCONS\n";
      for (const PwlCons &c : m.pwlcons) {
        out_ << " PWL  " << names_.cols[c.resultant] << "  " << names_.cols[c.col] << "\n";
        for (size_t p = 0; p < c.x.size(); ++p)
          out_ << "    " << format_number(c.x[p]) << "  " << format_number(c.y[p]) << "\n";
      }
    }
  }

  void write_quadratics() {
    const ModelStore &m = m_;
    if (m.has_qobj()) {
      out_ << "QUADOBJ\n";
      for (int j = 0; j < m.ncols(); ++j)
        for (const Entry &e : m.qobj[j])
          if (e.index >= j) line("", names_.cols[j], names_.cols[e.index], format_number(e.value));
    }
    for (int i = 0; i < static_cast<int>(m.qrows.size()); ++i) {
      if (m.qrows[i].empty()) continue;
      out_ << "QCMATRIX   " << names_.rows[i] << "\n";
      for (const QTerm &t : m.qrows[i]) {
        line("", names_.cols[t.col1], names_.cols[t.col2], format_number(t.value));
        if (t.col1 != t.col2) line("", names_.cols[t.col2], names_.cols[t.col1], format_number(t.value));
      }
    }
  }

  const ModelStore &m_;
  bool fixed_;
  FileNames names_;
  std::ostringstream out_;
};

}  // namespace

ModelStore read_mps(const std::string &path, const WarningSink &warn, const char *fn) {
  return MpsReader(path, warn, fn).read();
}

void write_mps(const ModelStore &m, const std::string &path, bool fixed, const char *fn, const WarningSink &note,
               const std::string &tail) {
  write_text_file(path, MpsWriter(m, fixed, fn, note).text() + tail, fn);
}

}  // namespace klvo
