// C entry points for saved state, logging, message codes, directives, row and column marks and
// user scaling: shims over io/state_files.h, env/messages.h and model/marks.h.
#include "api/guard.h"
#include "io/state_files.h"
#include "model/marks.h"

using klvo::api::guarded;
using klvo::api::modifying;

namespace {

klvo::Problem &layer_prob(KSLPprob slp, const char *fn) { return klvo::nlp::layer_problem(*slp, fn); }

}  // namespace

extern "C" {

int KLVOgetmessagestatus(KLVOprob prob, int msgcode, int *status) {
  return guarded(prob, __func__, [&](const char *fn) {
    if (!status) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null status pointer", fn);
    *status = prob->message_settings.status(msgcode, fn);
  });
}

int KLVOsetmessagestatus(KLVOprob prob, int msgcode, int status) {
  return guarded(prob, __func__, [&](const char *fn) { prob->message_settings.set_status(msgcode, status, fn); });
}

int KLVOsetlogfile(KLVOprob prob, const char *filename) {
  return guarded(prob, __func__, [&](const char *fn) { prob->message_settings.set_log_file(filename, fn); });
}

int KLVOdumpcontrols(KLVOprob prob) {
  return guarded(prob, __func__, [&] { klvo::dump_controls(*prob); });
}

// A snapshot holds the solution, which a running solve is writing: saving waits for no solve
// and is refused during one, as changes are.
int KLVOsave(KLVOprob prob) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::save_snapshot(*prob, klvo::snapshot_name(*prob).c_str(), fn); });
}

int KLVOsaveas(KLVOprob prob, const char *filename) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::save_snapshot(*prob, filename, fn); });
}

int KLVOrestore(KLVOprob prob, const char *probname, const char *flags) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::restore_snapshot(*prob, probname, flags, fn); });
}

}  // extern "C"

namespace {

void save_to_memory(klvo::Problem &prob, KLVOsnapshotwriter write, void *ctx, const char *fn) {
  if (!write) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null writer", fn);
  std::string bytes = klvo::snapshot_bytes(prob);
  if (write(ctx, bytes.data(), bytes.size()) != 0) klvo::fail(KLVO_ERR_CALLBACK, "%s: the writer refused the snapshot", fn);
}

void restore_from_memory(klvo::Problem &prob, const char *data, size_t size, const char *flags, const char *fn) {
  bool any_version = klvo::any_version_flag(flags, fn);
  if (!data && size) klvo::fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null data", fn);
  klvo::restore_snapshot_bytes(prob, std::string(data ? data : "", size), "snapshot data", any_version, fn);
}

}  // namespace

extern "C" {

int KLVOsavetomemory(KLVOprob prob, KLVOsnapshotwriter write, void *ctx) {
  return modifying(prob, __func__, [&](const char *fn) { save_to_memory(*prob, write, ctx, fn); });
}

int KLVOrestorefrommemory(KLVOprob prob, const char *data, size_t size, const char *flags) {
  return modifying(prob, __func__, [&](const char *fn) { restore_from_memory(*prob, data, size, flags, fn); });
}

int KSLPsave(KSLPprob slp) {
  return modifying(slp, __func__, [&](const char *fn) {
    klvo::Problem &prob = layer_prob(slp, fn);
    klvo::save_snapshot(prob, klvo::snapshot_name(prob).c_str(), fn);
  });
}

int KSLPsaveas(KSLPprob slp, const char *filename) {
  return modifying(slp, __func__, [&](const char *fn) { klvo::save_snapshot(layer_prob(slp, fn), filename, fn); });
}

int KSLPrestore(KSLPprob slp, const char *probname, const char *flags) {
  return modifying(slp, __func__,
                   [&](const char *fn) { klvo::restore_snapshot(layer_prob(slp, fn), probname, flags, fn); });
}

int KLVOloaddirs(KLVOprob prob, int ndirs, const int colind[], const int priority[], const char dir[],
                 const double uppseudo[], const double downpseudo[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::load_dirs(prob->model, ndirs, colind, priority, dir, uppseudo, downpseudo, fn);
  });
}

int KLVOloadpresolvedirs(KLVOprob prob, int ndirs, const int colind[], const int priority[], const char dir[],
                         const double uppseudo[], const double downpseudo[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::load_dirs(prob->model, ndirs, colind, priority, dir, uppseudo, downpseudo, fn);
  });
}

int KLVOloadbranchdirs(KLVOprob prob, int ncols, const int colind[], const int dir[]) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::load_branch_dirs(prob->model, ncols, colind, dir, fn); });
}

int KLVOgetdirs(KLVOprob prob, int *ndirs, int colind[], int priority[], char dir[], double uppseudo[],
                double downpseudo[]) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_dirs(prob->model, ndirs, colind, priority, dir, uppseudo, downpseudo, fn);
  });
}

int KLVOreaddirs(KLVOprob prob, const char *filename) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::read_dirs(*prob, filename, fn); });
}

int KLVOwritedirs(KLVOprob prob, const char *filename) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::write_dirs(*prob, filename, fn); });
}

int KLVOloaddelayedrows(KLVOprob prob, int nrows, const int rowind[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::load_row_marks(prob->model, 'd', nrows, rowind, fn); });
}

int KLVOloadmodelcuts(KLVOprob prob, int nrows, const int rowind[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::load_row_marks(prob->model, 'm', nrows, rowind, fn); });
}

int KLVOgetdelayedrows(KLVOprob prob, int *nrows, int rowind[]) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_row_marks(prob->model, 'd', nrows, rowind, fn); });
}

int KLVOgetmodelcuts(KLVOprob prob, int *nrows, int rowind[]) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_row_marks(prob->model, 'm', nrows, rowind, fn); });
}

int KLVOloadsecurevecs(KLVOprob prob, int nrows, int ncols, const int rowind[], const int colind[]) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::load_secure(prob->model, nrows, ncols, rowind, colind, fn); });
}

int KLVOgetsecurevecs(KLVOprob prob, int *nrows, int rowind[], int *ncols, int colind[]) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::get_secure(prob->model, nrows, rowind, ncols, colind, fn); });
}

int KLVOscale(KLVOprob prob, const double rowscale[], const double colscale[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::set_scale(prob->model, rowscale, colscale, fn); });
}

int KLVOgetscale(KLVOprob prob, double rowscale[], double colscale[]) {
  return guarded(prob, __func__, [&] { klvo::get_scale(prob->model, rowscale, colscale); });
}

}  // extern "C"
