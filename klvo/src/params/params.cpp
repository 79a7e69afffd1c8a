#include "params/params.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "env/environment.h"
#include "env/error.h"

namespace klvo {

namespace {

// The klvo.ini value of a control, parsed for its type; false when absent or unreadable.
bool ini_value(const CaDef &def, int64_t *ival, double *dval, std::string *sval) {
  for (const auto &[name, text] : Environment::get().ini_defaults()) {
    if (name != def.name) continue;
    const char *begin = text.c_str();
    char *end = nullptr;
    errno = 0;
    if (def.type == CaType::Int) {
      long long v = std::strtoll(begin, &end, 10);
      if (errno || end == begin || *end || v < def.ilo || v > def.ihi) return false;
      *ival = v;
    } else if (def.type == CaType::Dbl) {
      double v = std::strtod(begin, &end);
      if (errno || end == begin || *end || !(v >= def.dlo && v <= def.dhi)) return false;
      *dval = v;
    } else {
      *sval = text;
    }
    return true;
  }
  return false;
}

int obj_slot(int id) {
  int k = id - KLVO_OBJCONTROL_PRIORITY;
  if (k < 0 || k >= kObjControlCount) fail(KLVO_ERR_UNKNOWN_ID, "Unknown objective control %d", id);
  return k;
}

}  // namespace

ParamStore::ParamStore() {
  int n = catalogue_size();
  ints_.assign(n, 0);
  dbls_.assign(n, 0.0);
  strs_.assign(n, std::string());
  reset_all();
}

int ParamStore::slot(const CaDef &def) { return static_cast<int>(&def - catalogue()); }

int64_t ParamStore::get_int(const CaDef &def) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ints_[slot(def)];
}

double ParamStore::get_dbl(const CaDef &def) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dbls_[slot(def)];
}

std::string ParamStore::get_str(const CaDef &def) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return strs_[slot(def)];
}

void ParamStore::set_int(const CaDef &def, int64_t value) {
  if (value < def.ilo || value > def.ihi)
    fail(KLVO_ERR_INVALID_ARGUMENT, "Value %lld is out of range for control %s (%lld to %lld)",
         static_cast<long long>(value), def.name, static_cast<long long>(def.ilo),
         static_cast<long long>(def.ihi));
  std::lock_guard<std::mutex> lock(mutex_);
  ints_[slot(def)] = value;
}

void ParamStore::set_dbl(const CaDef &def, double value) {
  if (std::isnan(value) || value < def.dlo || value > def.dhi)
    fail(KLVO_ERR_INVALID_ARGUMENT, "Value %g is out of range for control %s (%g to %g)", value,
         def.name, def.dlo, def.dhi);
  std::lock_guard<std::mutex> lock(mutex_);
  dbls_[slot(def)] = value;
}

void ParamStore::set_str(const CaDef &def, const std::string &value) {
  if (value.size() > 1023)
    fail(KLVO_ERR_INVALID_ARGUMENT, "Value for control %s is longer than 1023 characters", def.name);
  std::lock_guard<std::mutex> lock(mutex_);
  strs_[slot(def)] = value;
}

int64_t ParamStore::int_control(int id) const { return get_int(*find_ca(id)); }
double ParamStore::dbl_control(int id) const { return get_dbl(*find_ca(id)); }

void ParamStore::reset_locked(const CaDef &def) {
  int s = slot(def);
  ints_[s] = def.ival;
  dbls_[s] = def.dval;
  strs_[s] = def.sval ? def.sval : "";
  ini_value(def, &ints_[s], &dbls_[s], &strs_[s]);
}

void ParamStore::reset(const CaDef &def) {
  std::lock_guard<std::mutex> lock(mutex_);
  reset_locked(def);
}

void ParamStore::reset_all() {
  std::lock_guard<std::mutex> lock(mutex_);
  const CaDef *defs = catalogue();
  for (int i = 0, n = catalogue_size(); i < n; ++i)
    if (defs[i].control) reset_locked(defs[i]);
  objs_.clear();
}

void ParamStore::copy_from(const ParamStore &other) {
  if (&other == this) return;
  std::scoped_lock lock(mutex_, other.mutex_);
  ints_ = other.ints_;
  dbls_ = other.dbls_;
  strs_ = other.strs_;
  objs_ = other.objs_;
}

double ParamStore::get_obj(int objidx, int id) const {
  int k = obj_slot(id);
  std::lock_guard<std::mutex> lock(mutex_);
  if (objidx < static_cast<int>(objs_.size())) return objs_[objidx][k];
  return find_objcontrol(id)->dflt;
}

void ParamStore::set_obj(int objidx, int id, double value) {
  int k = obj_slot(id);
  if (std::isnan(value)) fail(KLVO_ERR_INVALID_ARGUMENT, "Objective control %d cannot be NaN", id);
  std::lock_guard<std::mutex> lock(mutex_);
  while (static_cast<int>(objs_.size()) <= objidx) {
    std::array<double, kObjControlCount> d{};
    for (int j = 0; j < kObjControlCount; ++j) d[j] = find_objcontrol(KLVO_OBJCONTROL_PRIORITY + j)->dflt;
    objs_.push_back(d);
  }
  objs_[objidx][k] = value;
}

void ParamStore::erase_obj(int objidx) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (objidx >= 0 && objidx < static_cast<int>(objs_.size())) objs_.erase(objs_.begin() + objidx);
}

}  // namespace klvo
