// HiGHS instances are created and destroyed through here. HiGHS keeps per-thread state for a
// run in progress: creating or destroying an instance, or starting another run, on a thread
// whose run is suspended in one of its callbacks (a callback that solves or frees another
// problem) crashes that run when it resumes.
#pragma once

namespace klvo {

// Held around a HiGHS run that calls back: instances freed on this thread meanwhile are
// destroyed when the outermost such run on it ends.
class HighsRunScope {
 public:
  HighsRunScope();
  ~HighsRunScope();
  HighsRunScope(const HighsRunScope &) = delete;
  HighsRunScope &operator=(const HighsRunScope &) = delete;
};

// Whether a HiGHS run that calls back is under way on this thread.
bool inside_highs_run();

// Fails (KLVO_ERR_BUSY) when a HiGHS run is suspended on this thread, saying how to avoid it.
void require_no_highs_run();

// A new instance (fails as require_no_highs_run does, or when out of memory).
void *new_highs_instance();

// Destroys an instance now, or when the run suspended on this thread ends.
void free_highs_instance(void *highs) noexcept;

}  // namespace klvo
