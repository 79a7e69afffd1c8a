// Growing the model store's arrays.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace klvo {

// Makes room for `more` further elements, growing geometrically so that adding one element at
// a time stays linear. Room of several megabytes is asked to be backed by 2 MiB pages: filling
// a million columns' arrays 4 KiB page by page takes tens of thousands of page faults, which
// cost more than the writes themselves.
template <class T>
void grow_by(std::vector<T> &v, size_t more) {
  if (v.size() + more > v.capacity()) v.reserve(std::max(v.size() + more, 2 * v.capacity()));
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t huge = uintptr_t(1) << 21;
  uintptr_t begin = reinterpret_cast<uintptr_t>(v.data() + v.size());
  uintptr_t end = reinterpret_cast<uintptr_t>(v.data() + v.size() + more);
  begin = (begin + huge - 1) & ~(huge - 1);
  end &= ~(huge - 1);
  if (end > begin) madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);  // advice only
#endif
}

}  // namespace klvo
