// Sets read from a problem file, added to the store being built.
#include "io/problem_file.h"
#include "model/edit.h"

namespace klvo {

void add_file_sets(ModelStore &m, const char *function, const std::vector<FileSet> &sets) {
  std::vector<std::string> names;
  names.reserve(sets.size());
  for (const FileSet &s : sets) {
    int64_t start[2] = {0, static_cast<int64_t>(s.cols.size())};
    SparseBlock block;
    block.count = 1;
    block.nentries = start[1];
    block.start = start;
    block.index = s.cols.data();
    block.value = s.weights.data();
    add_sets(m, function, &s.type, block);
    names.push_back(s.name);
  }
  m.setnames.assign(0, std::move(names));
}

}  // namespace klvo
