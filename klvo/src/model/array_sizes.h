// Length checks of the entry points that take every array together with its element count:
// the library then refuses an array the caller sized wrongly instead of reading past it.
#pragma once

#include <cstdint>

namespace klvo {

// Fails with "fn: the array `what` has `have` entries but `need` are expected" unless they agree.
void check_array_size(int64_t have, int64_t need, const char *what, const char *fn);
// The same where either of two counts is right (a start array with or without its end entry).
void check_array_size(int64_t have, int64_t need, int64_t need_or, const char *what, const char *fn);

struct ModelStore;

// The marks of rows first..last as one flag word per row (KLVO_ROWFLAG_*); clearing removes
// the marks whose bits are set in each row's mask, after checking the range and every mask.
void get_row_flags(const ModelStore &m, int *flags, int first, int last, const char *fn);
void clear_row_flags(ModelStore &m, const int *flags, int first, int last, const char *fn);

}  // namespace klvo
