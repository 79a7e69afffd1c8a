// Files of a problem's state: snapshots (KLVOsave / KLVOrestore) and directive files.
#pragma once

#include <string>

struct klvo_problem_s;

namespace klvo {

using Problem = klvo_problem_s;

// The snapshot file name KLVOsave uses: "<problem name>.svf".
std::string snapshot_name(const Problem &prob);
// Writes the whole problem to path (a name without an extension gets ".svf").
void save_snapshot(Problem &prob, const char *path, const char *fn);
// Replaces the problem by a snapshot (see KLVOrestore); a failure changes nothing.
void restore_snapshot(Problem &prob, const char *probname, const char *flags, const char *fn);
// The bytes a snapshot file holds, and the restore from them (origin names them in messages).
std::string snapshot_bytes(Problem &prob);
void restore_snapshot_bytes(Problem &prob, const std::string &bytes, const std::string &origin, bool any_version,
                            const char *fn);
bool any_version_flag(const char *flags, const char *fn);

void read_dirs(Problem &prob, const char *filename, const char *fn);
void write_dirs(const Problem &prob, const char *filename, const char *fn);

// Sends "name = value" for every control away from its default through the messages.
void dump_controls(Problem &prob);

}  // namespace klvo
