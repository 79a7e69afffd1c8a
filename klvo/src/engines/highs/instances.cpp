#include "engines/highs/instances.h"

#include <interfaces/highs_c_api.h>

#include <vector>

#include "env/error.h"

namespace klvo {

namespace {

thread_local int runs_on_this_thread = 0;
thread_local std::vector<void *> *freed_during_run = nullptr;

}  // namespace

HighsRunScope::HighsRunScope() { ++runs_on_this_thread; }

HighsRunScope::~HighsRunScope() {
  if (--runs_on_this_thread > 0 || !freed_during_run) return;
  for (void *h : *freed_during_run) Highs_destroy(h);
  delete freed_during_run;
  freed_during_run = nullptr;
}

bool inside_highs_run() { return runs_on_this_thread > 0; }

void require_no_highs_run() {
  if (inside_highs_run())
    fail(KLVO_ERR_BUSY,
         "HiGHS cannot start another solve inside a callback of a HiGHS solve on the same thread; solve from "
         "another thread, or run the outer MIP with the library's own search (mipsearch 2)");
}

void *new_highs_instance() {
  require_no_highs_run();
  void *h = Highs_create();
  if (!h) fail(KLVO_ERR_OUT_OF_MEMORY, "Could not create a HiGHS instance");
  return h;
}

void free_highs_instance(void *highs) noexcept {
  if (!highs) return;
  if (!inside_highs_run()) {
    Highs_destroy(highs);
    return;
  }
  try {
    if (!freed_during_run) freed_during_run = new std::vector<void *>();
    freed_during_run->push_back(highs);
  } catch (...) {
    // Out of memory: the instance is leaked rather than destroyed under the run.
  }
}

}  // namespace klvo
