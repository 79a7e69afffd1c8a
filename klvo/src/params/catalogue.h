// The catalogue of controls and attributes: one table that the C catalogue functions, the
// getters and setters, the defaults and the engines all read.
#pragma once

#include <cstdint>
#include <string>

#include "klvo.h"

namespace klvo {

enum class CaType { Int, Dbl, Str };

struct CaDef {
  int id;
  const char *name;
  CaType type;
  bool control;
  bool int64;       // integer value that may exceed 32 bits
  int effect;       // a control's KLVO_CA_NOEFFECT or KLVO_CA_ENGINE; an attribute's 0
  // Default and bounds: integers use ival/ilo/ihi, doubles dval/dlo/dhi, strings sval.
  int64_t ival, ilo, ihi;
  double dval, dlo, dhi;
  const char *sval;

  int flags() const;
};

// Number of entries and the entries themselves, sorted by id.
int catalogue_size();
const CaDef *catalogue();
// The entry with this id, or null.
const CaDef *find_ca(int id);
// The entry with this name (any case), or null.
const CaDef *find_ca(const std::string &name);

// The per-objective controls (20001..20005).
struct ObjControlDef {
  int id;
  const char *name;
  CaType type;
  double dflt;
};
const ObjControlDef *find_objcontrol(int id);
constexpr int kObjControlCount = 5;

}  // namespace klvo
