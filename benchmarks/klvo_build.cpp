// Model building one call at a time: adds N columns with KLVOaddcols, then N rows with
// KLVOaddrows64 (each row with a few non-zeros), and prints the cost per call when the model
// is small (the first N/10 calls, up to N/10 elements) and when it is large (the last N/10
// calls, up to N elements), plus the average over all calls. Adding must cost time
// proportional to what is added, not to the model, so the first two agree within 2x.
//
// Usage: klvo_build [N]   (default 100000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "klvo.h"
#include "klvo_bench_util.h"

namespace {

using bench::Clock;
using bench::check;
using bench::seconds;

}  // namespace

int main(int argc, char **argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int checkpoint = n / 10;
  if (n < 10) {
    std::fprintf(stderr, "N must be at least 10\n");
    return 2;
  }
  check(KLVOinit(nullptr), nullptr, "KLVOinit");
  KLVOprob prob = nullptr;
  check(KLVOcreateprob(&prob), nullptr, "KLVOcreateprob");
  check(KLVOloadlp(prob, "build", 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr),
        prob, "KLVOloadlp");

  // Columns, one call each, with an objective coefficient and bounds.
  Clock::time_point start = Clock::now(), at_checkpoint = start, col_late = start;
  for (int j = 0; j < n; ++j) {
    const double obj = 1.0 + j % 7, lb = 0.0, ub = 10.0 + j % 3;
    check(KLVOaddcols(prob, 1, 0, &obj, nullptr, nullptr, nullptr, &lb, &ub), prob, "KLVOaddcols");
    if (j + 1 == checkpoint) at_checkpoint = Clock::now();
    if (j + 1 == n - checkpoint) col_late = Clock::now();
  }
  Clock::time_point cols_done = Clock::now();

  // Rows, one call each, with 4 non-zeros spread over the columns.
  std::vector<int> ind(4);
  const double val[] = {1.0, -2.0, 3.0, 0.5};
  const int64_t rowstart[] = {0};
  const char type = 'L';
  Clock::time_point rows_start = Clock::now(), rows_checkpoint = rows_start, row_late = rows_start;
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < 4; ++k) ind[k] = static_cast<int>((static_cast<int64_t>(i) * 7919 + k * (n / 4 + 1)) % n);
    const double rhs = 100.0 + i % 11;
    check(KLVOaddrows64(prob, 1, 4, &type, &rhs, nullptr, rowstart, ind.data(), val), prob, "KLVOaddrows64");
    if (i + 1 == checkpoint) rows_checkpoint = Clock::now();
    if (i + 1 == n - checkpoint) row_late = Clock::now();
  }
  Clock::time_point rows_done = Clock::now();

  const double col_small = seconds(start, at_checkpoint) / checkpoint * 1e6;
  const double col_large = seconds(col_late, cols_done) / checkpoint * 1e6;
  const double col_all = seconds(start, cols_done) / n * 1e6;
  const double row_small = seconds(rows_start, rows_checkpoint) / checkpoint * 1e6;
  const double row_large = seconds(row_late, rows_done) / checkpoint * 1e6;
  const double row_all = seconds(rows_start, rows_done) / n * 1e6;
  std::printf("klvo model building, one call per column or row (N = %d)\n\n", n);
  std::printf("%-22s %14s %14s %14s %8s\n", "operation", "us/call @ N/10", "us/call @ N", "us/call avg",
              "ratio");
  std::printf("%-22s %14.3f %14.3f %14.3f %8.2f\n", "KLVOaddcols (1 col)", col_small, col_large, col_all,
              col_large / col_small);
  std::printf("%-22s %14.3f %14.3f %14.3f %8.2f\n", "KLVOaddrows64 (4 nz)", row_small, row_large, row_all,
              row_large / row_small);
  std::printf("\ntotal: %.3f s for %d columns and %d rows\n", seconds(start, rows_done), n, n);
  bool linear = col_large / col_small < 2.0 && row_large / row_small < 2.0;
  std::printf("per-call cost %s within 2x between N/10 and N\n", linear ? "stays" : "does NOT stay");

  check(KLVOdestroyprob(prob), nullptr, "KLVOdestroyprob");
  KLVOfree();
  return linear ? 0 : 1;
}
