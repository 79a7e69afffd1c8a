// C entry points of the controls and attributes: shims over params/access.h.
#include "api/guard.h"
#include "params/access.h"

using klvo::api::guarded;
using klvo::api::modifying_any;
using klvo::api::guarded_global;

extern "C" {

int KLVOgetcalist(const int **ids, const char *const **names, const int **flags) {
  return guarded_global(__func__, [&] { klvo::catalogue_lists(ids, names, flags); });
}

int KLVOgetcalist_d(const KLVOcaentry **entries, int *count) {
  return guarded_global(__func__, [&](const char *fn) { klvo::catalogue_entries(entries, count, fn); });
}

int KLVOgetcontrolinfo(KLVOprob prob, const char *name, int *id, int *type) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::control_info(name, true, id, type, fn); });
}

int KLVOgetattribinfo(KLVOprob prob, const char *name, int *id, int *type) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::control_info(name, false, id, type, fn); });
}

int KLVOgetintcontrol(KLVOprob prob, int id, int *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_int_control(*prob, id, value, fn); });
}

int KLVOgetintcontrol64(KLVOprob prob, int id, int64_t *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_int_control64(*prob, id, value, fn); });
}

int KLVOgetdblcontrol(KLVOprob prob, int id, double *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_dbl_control(*prob, id, value, fn); });
}

int KLVOgetstringcontrol(KLVOprob prob, int id, char *value, int maxbytes, int *nbytes) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::get_str_control(*prob, id, value, maxbytes, nbytes, fn);
  });
}

int KLVOsetintcontrol(KLVOprob prob, int id, int value) {
  return modifying_any(prob, __func__, [&](const char *fn) { klvo::set_int_control(*prob, id, value, fn); });
}

int KLVOsetintcontrol64(KLVOprob prob, int id, int64_t value) {
  return modifying_any(prob, __func__, [&](const char *fn) { klvo::set_int_control(*prob, id, value, fn); });
}

int KLVOsetdblcontrol(KLVOprob prob, int id, double value) {
  return modifying_any(prob, __func__, [&](const char *fn) { klvo::set_dbl_control(*prob, id, value, fn); });
}

int KLVOsetstrcontrol(KLVOprob prob, int id, const char *value) {
  return modifying_any(prob, __func__, [&](const char *fn) { klvo::set_str_control(*prob, id, value, fn); });
}

int KLVOsetdefaultcontrol(KLVOprob prob, int id) {
  return modifying_any(prob, __func__, [&](const char *fn) { klvo::set_default_control(*prob, id, fn); });
}

int KLVOsetdefaults(KLVOprob prob) {
  return modifying_any(prob, __func__, [&] { prob->params.reset_all(); });
}

int KLVOcopycontrols(KLVOprob dest, KLVOprob src) {
  return modifying_any(dest, __func__, [&](const char *fn) { klvo::copy_controls(*dest, src, fn); });
}

int KLVOgetintattrib(KLVOprob prob, int id, int *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_int_attrib(*prob, id, value, fn); });
}

int KLVOgetintattrib64(KLVOprob prob, int id, int64_t *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_int_attrib64(*prob, id, value, fn); });
}

int KLVOgetdblattrib(KLVOprob prob, int id, double *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_dbl_attrib(*prob, id, value, fn); });
}

int KLVOgetstringattrib(KLVOprob prob, int id, char *value, int maxbytes, int *nbytes) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_str_attrib(*prob, id, value, maxbytes, nbytes, fn); });
}

int KLVOgetobjintcontrol(KLVOprob prob, int objidx, int id, int *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_obj_int_control(*prob, objidx, id, value, fn); });
}

int KLVOgetobjdblcontrol(KLVOprob prob, int objidx, int id, double *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_obj_dbl_control(*prob, objidx, id, value, fn); });
}

int KLVOsetobjintcontrol(KLVOprob prob, int objidx, int id, int value) {
  return modifying_any(prob, __func__, [&](const char *fn) { klvo::set_obj_int_control(*prob, objidx, id, value, fn); });
}

int KLVOsetobjdblcontrol(KLVOprob prob, int objidx, int id, double value) {
  return modifying_any(prob, __func__, [&](const char *fn) { klvo::set_obj_dbl_control(*prob, objidx, id, value, fn); });
}

int KLVOgetobjintattrib64(KLVOprob prob, int objidx, int id, int64_t *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_obj_int_attrib64(*prob, objidx, id, value, fn); });
}

int KLVOgetobjdblattrib(KLVOprob prob, int objidx, int id, double *value) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::get_obj_dbl_attrib(*prob, objidx, id, value, fn); });
}

}  // extern "C"
