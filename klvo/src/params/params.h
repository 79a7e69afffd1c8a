// Controls of one problem: one typed slot per catalogue entry (attributes are computed, not
// stored) and the per-objective controls. Safe to read and write from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "params/catalogue.h"

namespace klvo {

class ParamStore {
 public:
  // Every control at its default: the built-in one, or the klvo.ini value.
  ParamStore();
  ParamStore(const ParamStore &) = delete;
  ParamStore &operator=(const ParamStore &) = delete;

  // Typed access to a control; def must be a control of the matching type (checked by the
  // C entry points). Setters check the bounds and throw Error when the value is outside.
  int64_t get_int(const CaDef &def) const;
  double get_dbl(const CaDef &def) const;
  std::string get_str(const CaDef &def) const;
  void set_int(const CaDef &def, int64_t value);
  void set_dbl(const CaDef &def, double value);
  void set_str(const CaDef &def, const std::string &value);

  // Shorthands for the library's own reads by id.
  int64_t int_control(int id) const;
  double dbl_control(int id) const;

  void reset(const CaDef &def);
  void reset_all();
  void copy_from(const ParamStore &other);

  // Per-objective controls; objectives without an explicit value read the defaults.
  double get_obj(int objidx, int id) const;
  void set_obj(int objidx, int id, double value);
  // Forgets objective objidx's controls; later objectives move down by one.
  void erase_obj(int objidx);

 private:
  static int slot(const CaDef &def);
  void reset_locked(const CaDef &def);

  mutable std::mutex mutex_;
  std::vector<int64_t> ints_;
  std::vector<double> dbls_;
  std::vector<std::string> strs_;
  std::vector<std::array<double, kObjControlCount>> objs_;
};

}  // namespace klvo
