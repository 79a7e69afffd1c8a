// C entry points that add, delete, change and read back parts of the model, its names, and
// copy it between problems. Each is a thin shim over the store operations of edit.h.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "env/problem.h"
#include "engines/nlp/layer.h"
#include "model/edit.h"

using klvo::api_call;
using klvo::fail;
using klvo::ModelStore;
using klvo::SparseBlock;

namespace {

template <class T>
void require_out(T *p, const char *fn, const char *what) {
  if (!p) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s must not be NULL", fn, what);
}

SparseBlock block(int count, int64_t nentries, const int64_t *start, const int *index, const double *value) {
  SparseBlock b;
  b.count = count;
  b.nentries = nentries;
  b.start = start;
  b.index = index;
  b.value = value;
  return b;
}

// Fills a compressed block of lists first..last (each list sorted): *ncoefs gets the total,
// at most maxcoefs entries are written, start offsets are clipped to maxcoefs.
template <class Int, class List, class Get>
void copy_block(const List &lists, int first, int last, Int *start, int *index, double *value, int64_t maxcoefs,
                Int *ncoefs, const char *fn, Get get) {
  if (maxcoefs < 0 && (index || value)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: negative maxcoefs", fn);
  int64_t total = 0;
  for (int k = first; k <= last; ++k) {
    if (start) start[k - first] = static_cast<Int>(std::min<int64_t>(total, std::max<int64_t>(maxcoefs, 0)));
    const auto &list = get(lists, k);
    for (const auto &e : list) {
      if (total < maxcoefs) {
        if (index) index[total] = e.index;
        if (value) value[total] = e.value;
      }
      ++total;
    }
  }
  if (start) start[last - first + 1] = static_cast<Int>(std::min<int64_t>(total, std::max<int64_t>(maxcoefs, 0)));
  if (ncoefs) *ncoefs = static_cast<Int>(total);
}

template <class T>
void copy_range(const std::vector<T> &src, T *dst, int first, int last, int count, const char *fn, const char *what) {
  require_out(dst, fn, "the output array");
  klvo::check_range(first, last, count, fn, what);
  std::copy(src.begin() + first, src.begin() + last + 1, dst);
}

std::vector<std::string> split_names(const char *names, int count) {
  std::vector<std::string> out;
  out.reserve(count);
  const char *p = names;
  for (int k = 0; k < count; ++k) {
    size_t len = std::strlen(p);
    out.emplace_back(p, len);
    p += len + 1;
  }
  return out;
}

// The names of first..last, each followed by a NUL.
std::string joined_names(const ModelStore &m, int type, int first, int last, const char *fn) {
  klvo::names_of(m, type, fn);
  klvo::check_range(first, last, klvo::count_of(m, type), fn, "names");
  std::string out;
  for (int i = first; i <= last; ++i) {
    out += klvo::name_or_default(m, type, i);
    out.push_back('\0');
  }
  return out;
}

}  // namespace

extern "C" {

// ---- Adding and deleting.

int KLVOaddcols(KLVOprob prob, int ncols, int ncoefs, const double objcoef[], const int start[], const int rowind[],
                const double rowcoef[], const double lb[], const double ub[]) {
  return api_call(prob, "KLVOaddcols", [&] {
    std::vector<int64_t> wide = klvo::widen(start, ncols);
    add_cols(prob->model, "KLVOaddcols", objcoef,
             block(ncols, ncoefs, wide.empty() ? nullptr : wide.data(), rowind, rowcoef), lb, ub);
  });
}

int KLVOaddcols64(KLVOprob prob, int ncols, int64_t ncoefs, const double objcoef[], const int64_t start[],
                  const int rowind[], const double rowcoef[], const double lb[], const double ub[]) {
  return api_call(prob, "KLVOaddcols64", [&] {
    add_cols(prob->model, "KLVOaddcols64", objcoef, block(ncols, ncoefs, start, rowind, rowcoef), lb, ub);
  });
}

int KLVOaddrows(KLVOprob prob, int nrows, int ncoefs, const char rowtype[], const double rhs[], const double range[],
                const int start[], const int colind[], const double rowcoef[]) {
  return api_call(prob, "KLVOaddrows", [&] {
    std::vector<int64_t> wide = klvo::widen(start, nrows);
    add_rows(prob->model, "KLVOaddrows", rowtype, rhs, range,
             block(nrows, ncoefs, wide.empty() ? nullptr : wide.data(), colind, rowcoef));
  });
}

int KLVOaddrows64(KLVOprob prob, int nrows, int64_t ncoefs, const char rowtype[], const double rhs[],
                  const double range[], const int64_t start[], const int colind[], const double rowcoef[]) {
  return api_call(prob, "KLVOaddrows64", [&] {
    add_rows(prob->model, "KLVOaddrows64", rowtype, rhs, range, block(nrows, ncoefs, start, colind, rowcoef));
  });
}

int KLVOdelcols(KLVOprob prob, int ncols, const int colind[]) {
  return api_call(prob, "KLVOdelcols", [&] {
    del_cols(prob->model, "KLVOdelcols", ncols, colind);
    klvo::nlp::cols_deleted(*prob, ncols, colind);  // formulas follow the columns
  });
}

int KLVOdelrows(KLVOprob prob, int nrows, const int rowind[]) {
  return api_call(prob, "KLVOdelrows", [&] {
    del_rows(prob->model, "KLVOdelrows", nrows, rowind);
    klvo::nlp::rows_deleted(*prob, nrows, rowind);  // formulas follow the rows
  });
}

int KLVOdelsets(KLVOprob prob, int nsets, const int setind[]) {
  return api_call(prob, "KLVOdelsets", [&] { del_sets(prob->model, "KLVOdelsets", nsets, setind); });
}

int KLVOaddqmatrix64(KLVOprob prob, int row, int64_t ncoefs, const int rowqcol1[], const int rowqcol2[],
                     const double rowqcoef[]) {
  return api_call(prob, "KLVOaddqmatrix64", [&] {
    add_qrow(prob->model, "KLVOaddqmatrix64", row, ncoefs, rowqcol1, rowqcol2, rowqcoef);
  });
}

int KLVOdelqmatrix(KLVOprob prob, int row) {
  return api_call(prob, "KLVOdelqmatrix", [&] { del_qrow(prob->model, "KLVOdelqmatrix", row); });
}

int KLVOaddsets(KLVOprob prob, int nsets, int nelems, const char settype[], const int start[], const int colind[],
                const double refval[]) {
  return api_call(prob, "KLVOaddsets", [&] {
    std::vector<int64_t> wide = klvo::widen(start, nsets);
    add_sets(prob->model, "KLVOaddsets", settype,
             block(nsets, nelems, wide.empty() ? nullptr : wide.data(), colind, refval));
  });
}

int KLVOaddsets64(KLVOprob prob, int nsets, int64_t nelems, const char settype[], const int64_t start[],
                  const int colind[], const double refval[]) {
  return api_call(prob, "KLVOaddsets64", [&] {
    add_sets(prob->model, "KLVOaddsets64", settype, block(nsets, nelems, start, colind, refval));
  });
}

int KLVOsetindicators(KLVOprob prob, int nrows, const int rowind[], const int colind[], const int complement[]) {
  return api_call(prob, "KLVOsetindicators", [&] {
    set_indicators(prob->model, "KLVOsetindicators", nrows, rowind, colind, complement);
  });
}

int KLVOgetindicators(KLVOprob prob, int colind[], int complement[], int first, int last) {
  return api_call(prob, "KLVOgetindicators", [&] {
    const ModelStore &m = prob->model;
    klvo::check_range(first, last, m.nrows(), "KLVOgetindicators", "rows");
    for (int i = first; i <= last; ++i) {
      bool has = !m.indcol.empty() && m.indcomp[i] != 0;
      if (colind) colind[i - first] = has ? m.indcol[i] : -1;
      if (complement) complement[i - first] = has ? m.indcomp[i] : 0;
    }
  });
}

int KLVOdelindicators(KLVOprob prob, int first, int last) {
  return api_call(prob, "KLVOdelindicators", [&] { del_indicators(prob->model, "KLVOdelindicators", first, last); });
}

// ---- Changing.

int KLVOchgbounds(KLVOprob prob, int n, const int colind[], const char bndtype[], const double bndval[]) {
  return api_call(prob, "KLVOchgbounds", [&] { chg_bounds(prob->model, "KLVOchgbounds", n, colind, bndtype, bndval); });
}

int KLVOchgobj(KLVOprob prob, int n, const int colind[], const double objcoef[]) {
  return api_call(prob, "KLVOchgobj", [&] { chg_obj(prob->model, "KLVOchgobj", n, colind, objcoef); });
}

int KLVOchgcoef(KLVOprob prob, int row, int col, double coef) {
  return api_call(prob, "KLVOchgcoef", [&] { chg_coefs(prob->model, "KLVOchgcoef", 1, &row, &col, &coef); });
}

int KLVOchgmcoef(KLVOprob prob, int n, const int rowind[], const int colind[], const double rowcoef[]) {
  return api_call(prob, "KLVOchgmcoef", [&] { chg_coefs(prob->model, "KLVOchgmcoef", n, rowind, colind, rowcoef); });
}

int KLVOchgrhs(KLVOprob prob, int n, const int rowind[], const double rhs[]) {
  return api_call(prob, "KLVOchgrhs", [&] { chg_rhs(prob->model, "KLVOchgrhs", n, rowind, rhs); });
}

int KLVOchgrhsrange(KLVOprob prob, int n, const int rowind[], const double rng[]) {
  return api_call(prob, "KLVOchgrhsrange", [&] { chg_rhsrange(prob->model, "KLVOchgrhsrange", n, rowind, rng); });
}

int KLVOchgrowtype(KLVOprob prob, int n, const int rowind[], const char rowtype[]) {
  return api_call(prob, "KLVOchgrowtype", [&] { chg_rowtype(prob->model, "KLVOchgrowtype", n, rowind, rowtype); });
}

int KLVOchgcoltype(KLVOprob prob, int n, const int colind[], const char coltype[]) {
  return api_call(prob, "KLVOchgcoltype", [&] { chg_coltype(prob->model, "KLVOchgcoltype", n, colind, coltype); });
}

int KLVOchgobjsense(KLVOprob prob, int objsense) {
  return api_call(prob, "KLVOchgobjsense", [&] {
    if (objsense != 1 && objsense != -1)
      fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOchgobjsense: invalid sense %d (1 minimise, -1 maximise)", objsense);
    prob->model.objsense = objsense;
    prob->model.touch();
  });
}

int KLVOchgqobj(KLVOprob prob, int objqcol1, int objqcol2, double coef) {
  return api_call(prob, "KLVOchgqobj", [&] { chg_qobj(prob->model, "KLVOchgqobj", 1, &objqcol1, &objqcol2, &coef); });
}

int KLVOchgmqobj64(KLVOprob prob, int64_t n, const int objqcol1[], const int objqcol2[], const double objqcoef[]) {
  return api_call(prob, "KLVOchgmqobj64",
                  [&] { chg_qobj(prob->model, "KLVOchgmqobj64", n, objqcol1, objqcol2, objqcoef); });
}

int KLVOchgqrowcoeff(KLVOprob prob, int row, int rowqcol1, int rowqcol2, double coef) {
  return api_call(prob, "KLVOchgqrowcoeff",
                  [&] { chg_qrow(prob->model, "KLVOchgqrowcoeff", row, rowqcol1, rowqcol2, coef); });
}

int KLVOchgglblimit(KLVOprob prob, int n, const int colind[], const double limit[]) {
  return api_call(prob, "KLVOchgglblimit", [&] { chg_limit(prob->model, "KLVOchgglblimit", n, colind, limit); });
}

// ---- Reading back.

int KLVOgetlb(KLVOprob prob, double lb[], int first, int last) {
  return api_call(prob, "KLVOgetlb",
                  [&] { copy_range(prob->model.lb, lb, first, last, prob->model.ncols(), "KLVOgetlb", "columns"); });
}

int KLVOgetub(KLVOprob prob, double ub[], int first, int last) {
  return api_call(prob, "KLVOgetub",
                  [&] { copy_range(prob->model.ub, ub, first, last, prob->model.ncols(), "KLVOgetub", "columns"); });
}

int KLVOgetobj(KLVOprob prob, double objcoef[], int first, int last) {
  return api_call(prob, "KLVOgetobj", [&] {
    copy_range(prob->model.obj, objcoef, first, last, prob->model.ncols(), "KLVOgetobj", "columns");
  });
}

int KLVOgetrhs(KLVOprob prob, double rhs[], int first, int last) {
  return api_call(prob, "KLVOgetrhs",
                  [&] { copy_range(prob->model.rhs, rhs, first, last, prob->model.nrows(), "KLVOgetrhs", "rows"); });
}

int KLVOgetrhsrange(KLVOprob prob, double range[], int first, int last) {
  return api_call(prob, "KLVOgetrhsrange", [&] {
    copy_range(prob->model.range, range, first, last, prob->model.nrows(), "KLVOgetrhsrange", "rows");
  });
}

int KLVOgetrowtype(KLVOprob prob, char rowtype[], int first, int last) {
  return api_call(prob, "KLVOgetrowtype", [&] {
    copy_range(prob->model.rowtype, rowtype, first, last, prob->model.nrows(), "KLVOgetrowtype", "rows");
  });
}

int KLVOgetcoltype(KLVOprob prob, char coltype[], int first, int last) {
  return api_call(prob, "KLVOgetcoltype", [&] {
    copy_range(prob->model.coltype, coltype, first, last, prob->model.ncols(), "KLVOgetcoltype", "columns");
  });
}

int KLVOgetcols64(KLVOprob prob, int64_t start[], int rowind[], double rowcoef[], int64_t maxcoefs, int64_t *ncoefs,
                  int first, int last) {
  return api_call(prob, "KLVOgetcols64", [&] {
    const ModelStore &m = prob->model;
    klvo::check_range(first, last, m.ncols(), "KLVOgetcols64", "columns");
    copy_block(m.colentries, first, last, start, rowind, rowcoef, maxcoefs, ncoefs, "KLVOgetcols64",
               [](const auto &l, int k) -> const auto & { return l[k]; });
  });
}

int KLVOgetrows64(KLVOprob prob, int64_t start[], int colind[], double rowcoef[], int64_t maxcoefs, int64_t *ncoefs,
                  int first, int last) {
  return api_call(prob, "KLVOgetrows64", [&] {
    const ModelStore &m = prob->model;
    klvo::check_range(first, last, m.nrows(), "KLVOgetrows64", "rows");
    copy_block(m.rowentries, first, last, start, colind, rowcoef, maxcoefs, ncoefs, "KLVOgetrows64",
               [](const auto &l, int k) -> const auto & { return l[k]; });
  });
}

int KLVOgetcoef(KLVOprob prob, int row, int col, double *coef) {
  return api_call(prob, "KLVOgetcoef", [&] {
    require_out(coef, "KLVOgetcoef", "coef");
    klvo::check_row(prob->model, row, "KLVOgetcoef");
    klvo::check_col(prob->model, col, "KLVOgetcoef");
    *coef = klvo::get_coef(prob->model, row, col);
  });
}

int KLVOgetqobj(KLVOprob prob, int objqcol1, int objqcol2, double *coef) {
  return api_call(prob, "KLVOgetqobj", [&] {
    require_out(coef, "KLVOgetqobj", "coef");
    klvo::check_col(prob->model, objqcol1, "KLVOgetqobj");
    klvo::check_col(prob->model, objqcol2, "KLVOgetqobj");
    *coef = klvo::get_qobj(prob->model, objqcol1, objqcol2);
  });
}

int KLVOgetmqobj64(KLVOprob prob, int64_t start[], int colind[], double objqcoef[], int64_t maxcoefs, int64_t *ncoefs,
                   int first, int last) {
  return api_call(prob, "KLVOgetmqobj64", [&] {
    const ModelStore &m = prob->model;
    klvo::check_range(first, last, m.ncols(), "KLVOgetmqobj64", "columns");
    static const std::vector<klvo::Entry> none;
    copy_block(m.qobj, first, last, start, colind, objqcoef, maxcoefs, ncoefs, "KLVOgetmqobj64",
               [](const auto &l, int k) -> const std::vector<klvo::Entry> & { return l.empty() ? none : l[k]; });
  });
}

int KLVOgetqrowcoeff(KLVOprob prob, int row, int rowqcol1, int rowqcol2, double *coef) {
  return api_call(prob, "KLVOgetqrowcoeff", [&] {
    require_out(coef, "KLVOgetqrowcoeff", "coef");
    klvo::check_row(prob->model, row, "KLVOgetqrowcoeff");
    klvo::check_col(prob->model, rowqcol1, "KLVOgetqrowcoeff");
    klvo::check_col(prob->model, rowqcol2, "KLVOgetqrowcoeff");
    *coef = klvo::get_qrow(prob->model, row, rowqcol1, rowqcol2);
  });
}

int KLVOgetqrowqmatrix(KLVOprob prob, int row, int start[], int colind[], double rowqcoef[], int maxcoefs,
                       int *ncoefs, int first, int last) {
  return api_call(prob, "KLVOgetqrowqmatrix", [&] {
    const ModelStore &m = prob->model;
    klvo::check_row(m, row, "KLVOgetqrowqmatrix");
    klvo::check_range(first, last, m.ncols(), "KLVOgetqrowqmatrix", "columns");
    // Expand the upper triangle into full columns first..last.
    std::vector<std::vector<klvo::Entry>> cols(last - first + 1);
    if (!m.qrows.empty())
      for (const klvo::QTerm &t : m.qrows[row]) {
        if (t.col2 >= first && t.col2 <= last) cols[t.col2 - first].push_back({t.col1, t.value});
        if (t.col1 != t.col2 && t.col1 >= first && t.col1 <= last) cols[t.col1 - first].push_back({t.col2, t.value});
      }
    for (auto &c : cols)
      std::sort(c.begin(), c.end(), [](const klvo::Entry &a, const klvo::Entry &b) { return a.index < b.index; });
    copy_block(cols, 0, last - first, start, colind, rowqcoef, maxcoefs, ncoefs, "KLVOgetqrowqmatrix",
               [](const auto &l, int k) -> const auto & { return l[k]; });
  });
}

int KLVOgetqrowqmatrixtriplets(KLVOprob prob, int row, int *nqelem, int rowqcol1[], int rowqcol2[],
                               double rowqcoef[]) {
  return api_call(prob, "KLVOgetqrowqmatrixtriplets", [&] {
    const ModelStore &m = prob->model;
    klvo::check_row(m, row, "KLVOgetqrowqmatrixtriplets");
    require_out(nqelem, "KLVOgetqrowqmatrixtriplets", "nqelem");
    static const std::vector<klvo::QTerm> none;
    const auto &terms = m.qrows.empty() ? none : m.qrows[row];
    *nqelem = static_cast<int>(terms.size());
    for (size_t k = 0; k < terms.size(); ++k) {
      if (rowqcol1) rowqcol1[k] = terms[k].col1;
      if (rowqcol2) rowqcol2[k] = terms[k].col2;
      if (rowqcoef) rowqcoef[k] = terms[k].value;
    }
  });
}

int KLVOgetqrows(KLVOprob prob, int *nrows, int rowind[]) {
  return api_call(prob, "KLVOgetqrows", [&] {
    require_out(nrows, "KLVOgetqrows", "nrows");
    const ModelStore &m = prob->model;
    int n = 0;
    for (int i = 0; i < static_cast<int>(m.qrows.size()); ++i)
      if (!m.qrows[i].empty()) {
        if (rowind) rowind[n] = i;
        ++n;
      }
    *nrows = n;
  });
}

int KLVOgetmipentities64(KLVOprob prob, int *nentities, int *nsets, char coltype[], int colind[], double limit[],
                         char settype[], int64_t start[], int setcols[], double refval[]) {
  return api_call(prob, "KLVOgetmipentities64", [&] {
    const ModelStore &m = prob->model;
    int n = 0;
    for (int j = 0; j < m.ncols(); ++j) {
      char t = m.coltype[j];
      if (t == 'C') continue;
      if (coltype) coltype[n] = t;
      if (colind) colind[n] = j;
      if (limit) limit[n] = (t == 'S' || t == 'R' || t == 'P') ? m.limit[j] : 0.0;
      ++n;
    }
    if (nentities) *nentities = n;
    if (nsets) *nsets = m.nsets();
    int64_t offset = 0;
    for (int k = 0; k < m.nsets(); ++k) {
      const klvo::SosSet &s = m.sets[k];
      if (settype) settype[k] = s.type;
      if (start) start[k] = offset;
      for (size_t p = 0; p < s.cols.size(); ++p, ++offset) {
        if (setcols) setcols[offset] = s.cols[p];
        if (refval) refval[offset] = s.weights[p];
      }
    }
    if (start) start[m.nsets()] = offset;
  });
}

// ---- Names.

int KLVOaddnames(KLVOprob prob, int type, const char names[], int first, int last) {
  return api_call(prob, "KLVOaddnames", [&] {
    ModelStore &m = prob->model;
    klvo::NameTable &table = names_of(m, type, "KLVOaddnames");
    klvo::check_range(first, last, klvo::count_of(m, type), "KLVOaddnames", "names");
    require_out(names, "KLVOaddnames", "names");
    table.assign(first, split_names(names, last - first + 1));
    m.touch();
  });
}

int KLVOgetnames(KLVOprob prob, int type, char names[], int first, int last) {
  return api_call(prob, "KLVOgetnames", [&] {
    require_out(names, "KLVOgetnames", "names");
    std::string text = joined_names(prob->model, type, first, last, "KLVOgetnames");
    std::memcpy(names, text.data(), text.size());
  });
}

int KLVOgetnamelist(KLVOprob prob, int type, char names[], int names_len, int *names_len_reqd, int first, int last) {
  return api_call(prob, "KLVOgetnamelist", [&] {
    std::string text = joined_names(prob->model, type, first, last, "KLVOgetnamelist");
    if (names_len_reqd) *names_len_reqd = static_cast<int>(text.size());
    if (!names) return;
    if (names_len < static_cast<int>(text.size()))
      fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOgetnamelist: the buffer holds %d bytes but the names need %d", names_len,
           static_cast<int>(text.size()));
    std::memcpy(names, text.data(), text.size());
  });
}

int KLVOgetnamepointer(KLVOprob prob, int type, int index, const char **name) {
  return api_call(prob, "KLVOgetnamepointer", [&] {
    require_out(name, "KLVOgetnamepointer", "name");
    *name = nullptr;
    const klvo::NameTable &table = names_of(prob->model, type, "KLVOgetnamepointer");
    klvo::check_range(index, index, klvo::count_of(prob->model, type), "KLVOgetnamepointer", "names");
    const std::string &s = table.get(index);
    *name = s.empty() ? nullptr : s.c_str();
  });
}

int KLVOgetindex(KLVOprob prob, int type, const char *name, int *index) {
  return api_call(prob, "KLVOgetindex", [&] {
    require_out(name, "KLVOgetindex", "name");
    require_out(index, "KLVOgetindex", "index");
    *index = names_of(prob->model, type, "KLVOgetindex").find(name);
  });
}

int KLVOsetprobname(KLVOprob prob, const char *probname) {
  return api_call(prob, "KLVOsetprobname", [&] {
    require_out(probname, "KLVOsetprobname", "probname");
    prob->model.name = probname;
    prob->model.touch();
  });
}

int KLVOgetprobname(KLVOprob prob, char *probname) {
  return api_call(prob, "KLVOgetprobname", [&] {
    require_out(probname, "KLVOgetprobname", "probname");
    const std::string &s = prob->model.name;
    std::memcpy(probname, s.c_str(), s.size() + 1);
  });
}

// ---- Copying.

int KLVOcopyprob(KLVOprob dest, KLVOprob src, const char *probname) {
  return api_call(dest, "KLVOcopyprob", [&] {
    if (!src) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOcopyprob: null source problem");
    if (src == dest) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOcopyprob: source and destination are the same problem");
    ModelStore copy = src->model;
    if (probname && *probname) copy.name = probname;
    copy.revision = dest->model.revision + 1;
    std::swap(dest->model, copy);
  });
}

}  // extern "C"
