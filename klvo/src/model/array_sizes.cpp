#include "model/array_sizes.h"

#include <klvo.h>

#include <algorithm>
#include <vector>

#include "env/error.h"
#include "model/marks.h"
#include "model/store.h"

namespace klvo {

void check_array_size(int64_t have, int64_t need, const char *what, const char *fn) {
  if (have != need)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the array %s has %lld entries but %lld are expected", fn, what,
         static_cast<long long>(have), static_cast<long long>(need));
}

void check_array_size(int64_t have, int64_t need, int64_t need_or, const char *what, const char *fn) {
  if (have != need && have != need_or)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the array %s has %lld entries but %lld or %lld are expected", fn, what,
         static_cast<long long>(have), static_cast<long long>(need), static_cast<long long>(need_or));
}

namespace {

void check_range(const ModelStore &m, const void *flags, int first, int last, const char *fn) {
  if (first < 0 || last >= m.nrows() || first > last + 1)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the rows %d to %d are not a range of the problem's %d rows", fn, first, last,
         m.nrows());
  if (!flags && last >= first) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null flags", fn);
}

bool has(const std::vector<int> &sorted, int row) { return std::binary_search(sorted.begin(), sorted.end(), row); }

// The rows of a sorted list without those of first..last whose mask has `bit`.
std::vector<int> without(const std::vector<int> &rows, const int *flags, int first, int last, int bit) {
  std::vector<int> kept;
  for (int r : rows)
    if (r < first || r > last || !(flags[r - first] & bit)) kept.push_back(r);
  return kept;
}

}  // namespace

void get_row_flags(const ModelStore &m, int *flags, int first, int last, const char *fn) {
  check_range(m, flags, first, last, fn);
  const ModelMarks &marks = m.marks;
  for (int r = first; r <= last; ++r)
    flags[r - first] = (has(marks.delayed, r) ? KLVO_ROWFLAG_DELAYED : 0) |
                       (has(marks.modelcuts, r) ? KLVO_ROWFLAG_MODELCUT : 0) |
                       (has(marks.securerows, r) ? KLVO_ROWFLAG_SECURE : 0);
}

void clear_row_flags(ModelStore &m, const int *flags, int first, int last, const char *fn) {
  check_range(m, flags, first, last, fn);
  const int known = KLVO_ROWFLAG_DELAYED | KLVO_ROWFLAG_MODELCUT | KLVO_ROWFLAG_SECURE;
  for (int r = first; r <= last; ++r)
    if (flags[r - first] & ~known)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the mask %d of row %d has bits that are no row flag", fn, flags[r - first],
           r);
  ModelMarks &marks = m.marks;
  std::vector<int> delayed = without(marks.delayed, flags, first, last, KLVO_ROWFLAG_DELAYED);
  std::vector<int> modelcuts = without(marks.modelcuts, flags, first, last, KLVO_ROWFLAG_MODELCUT);
  std::vector<int> secure = without(marks.securerows, flags, first, last, KLVO_ROWFLAG_SECURE);
  marks.delayed = std::move(delayed);
  marks.modelcuts = std::move(modelcuts);
  marks.securerows = std::move(secure);
  m.touch();
}

}  // namespace klvo
