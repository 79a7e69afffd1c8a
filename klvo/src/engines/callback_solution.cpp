// Solution values offered to a running callback. No callback hands out a solution yet, so
// every query reports status 0 after checking its range.
#include "env/problem.h"

using klvo::fail;

namespace {

int callback_query(KLVOprob prob, int *status, int first, int last, bool rows, const char *function) {
  return klvo::api_call(prob, function, [&] {
    int count = rows ? prob->model.nrows() : prob->model.ncols();
    if (first < 0 || last < first - 1 || last >= count)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: %s range %d..%d is outside 0..%d", function, rows ? "row" : "column",
           first, last, count - 1);
    if (status) *status = KLVO_SOLSTATUS_NOTFOUND;
  });
}

}  // namespace

extern "C" {

int KLVOgetcallbacksolution(KLVOprob prob, int *status, double *, int first, int last) {
  return callback_query(prob, status, first, last, false, "KLVOgetcallbacksolution");
}

int KLVOgetcallbackslacks(KLVOprob prob, int *status, double *, int first, int last) {
  return callback_query(prob, status, first, last, true, "KLVOgetcallbackslacks");
}

int KLVOgetcallbackduals(KLVOprob prob, int *status, double *, int first, int last) {
  return callback_query(prob, status, first, last, true, "KLVOgetcallbackduals");
}

int KLVOgetcallbackredcosts(KLVOprob prob, int *status, double *, int first, int last) {
  return callback_query(prob, status, first, last, false, "KLVOgetcallbackredcosts");
}

}  // extern "C"
