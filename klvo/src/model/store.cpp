// Counts of the model store.
#include "model/store.h"

#include "model/growth.h"

#include <algorithm>

namespace klvo {

void enter_cross_entries(std::vector<std::vector<Entry>> &lists, const std::vector<Entry> *added, size_t count,
                         int base) {
  const size_t nlists = lists.size();
  std::vector<int64_t> begin(nlists + 1, 0);
  for (size_t k = 0; k < count; ++k)
    for (const Entry &e : added[k]) ++begin[e.index + 1];
  for (size_t i = 0; i < nlists; ++i) begin[i + 1] += begin[i];
  std::vector<Entry> grouped(static_cast<size_t>(begin[nlists]));
  std::vector<int64_t> next(begin.begin(), begin.end() - 1);
  for (size_t k = 0; k < count; ++k)
    for (const Entry &e : added[k]) grouped[next[e.index]++] = Entry{base + static_cast<int>(k), e.value};
  // Room in every list first: the insertions that follow cannot fail, so a failure leaves
  // every list as it was.
  for (size_t i = 0; i < nlists; ++i)
    if (begin[i + 1] > begin[i]) grow_by(lists[i], static_cast<size_t>(begin[i + 1] - begin[i]));
  for (size_t i = 0; i < nlists; ++i)
    if (begin[i + 1] > begin[i]) lists[i].insert(lists[i].end(), grouped.begin() + begin[i], grouped.begin() + begin[i + 1]);
}

int64_t ModelStore::nnz() const {
  // The row lists are always up to date.
  int64_t n = 0;
  for (const auto &r : rowentries) n += static_cast<int64_t>(r.size());
  return n;
}

int64_t ModelStore::nqobj() const {
  int64_t n = 0;
  for (const auto &c : qobj) n += static_cast<int64_t>(c.size());
  return n;
}

bool ModelStore::has_qobj() const {
  for (const auto &c : qobj)
    if (!c.empty()) return true;
  return false;
}

int ModelStore::nqrows() const {
  int n = 0;
  for (const auto &r : qrows) n += !r.empty();
  return n;
}

int ModelStore::nindicators() const {
  int n = 0;
  for (int c : indcomp) n += c != 0;
  return n;
}

int ModelStore::nentities() const {
  int n = 0;
  for (char t : coltype) n += t != 'C';
  return n;
}

int64_t ModelStore::nsetmembers() const {
  int64_t n = 0;
  for (const auto &s : sets) n += static_cast<int64_t>(s.cols.size());
  return n;
}

size_t ModelStore::max_name_length() const {
  // Unnamed elements read back as "R<i+1>", "C<j+1>", "S<k+1>": one letter and the digits.
  auto default_length = [](int count) { return count == 0 ? size_t(0) : 1 + std::to_string(count).size(); };
  return std::max({rownames.max_length(), colnames.max_length(), setnames.max_length(), default_length(nrows()),
                   default_length(ncols()), default_length(nsets())});
}

}  // namespace klvo
