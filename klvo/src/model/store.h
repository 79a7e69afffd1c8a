// The model store of one problem: columns, rows, the sparse matrix kept both by column and
// by row (so that adding a row or a column costs time proportional to its own size), and
// the rest of the model.
#pragma once

#include <string>
#include <vector>

namespace klvo {

struct Entry {
  int index;  // row index in a column's list, column index in a row's list
  double value;
};

struct ModelStore {
  std::string name;
  int objsense = 1;          // 1 minimise, -1 maximise
  double objconstant = 0.0;  // constant term of the objective

  // Columns.
  std::vector<double> obj, lb, ub;
  std::vector<double> limit;   // threshold of semi-continuous/semi-integer, limit of partial integer
  std::vector<char> coltype;   // 'C', 'B', 'I', 'S', 'R', 'P'
  std::vector<std::vector<Entry>> colentries;  // (row, value), sorted by row

  // Rows.
  std::vector<char> rowtype;   // 'L', 'G', 'E', 'R', 'N'
  std::vector<double> rhs, range;
  std::vector<std::vector<Entry>> rowentries;  // (column, value), sorted by column

  int ncols() const { return static_cast<int>(obj.size()); }
  int nrows() const { return static_cast<int>(rhs.size()); }
};

}  // namespace klvo
