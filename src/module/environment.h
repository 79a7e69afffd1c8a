// Library initialisation on first need and its release.
#pragma once

#include "module/state.h"

namespace kelvo {

// Makes sure the library is initialised: unless forced, does nothing when it already is.
// -1 with an exception on failure.
int ensure_library(const char *path = nullptr, bool force = false);
// Releases one initialisation; the last one detaches every live problem from its handles.
// -1 with an exception when releasing a problem's handles failed (the release completes).
int release_library();

// Global message function: prints messages not tied to a problem.
int global_message(void *obj, void *data, void *thread, const char *msg, int len, int msgtype);
// Writes a message to sys.stdout, or flushes it for a message type below 1; the caller
// holds the interpreter lock.
void print_message(const char *msg, int msgtype);
// Trampoline for user message handlers registered with addcbmsghandler.
int user_message_handler(void *obj, void *data, void *thread, const char *msg, int len, int msgtype);

// The module-level environment functions.
extern PyMethodDef environment_methods[];

}  // namespace kelvo
