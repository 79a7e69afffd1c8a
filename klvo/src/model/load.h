// Loading a whole model in one call: the linear part, and optionally a quadratic objective,
// quadratic rows and MIP entities, as the KLVOload* entry points pass them. The new model
// replaces the old one only when all of it is valid; the sense goes back to minimisation.
#pragma once

#include <cstdint>
#include <vector>

#include "model/store.h"

namespace klvo {

struct LinearPart {
  const char *probname;
  int ncols, nrows;
  const char *rowtype;
  const double *rhs, *range, *obj;
  const int64_t *start;
  const int *collen, *rowind;
  const double *rowcoef, *lb, *ub;
};

struct QuadObjPart {
  int64_t n = 0;
  const int *col1 = nullptr, *col2 = nullptr;
  const double *value = nullptr;
};

struct QuadRowsPart {
  int nqrows = 0;
  const int *rowind = nullptr;
  const int64_t *counts = nullptr;
  const int *col1 = nullptr, *col2 = nullptr;
  const double *value = nullptr;
};

struct EntityPart {
  int nentities = 0, nsets = 0;
  const char *coltype = nullptr;
  const int *entind = nullptr;
  const double *limit = nullptr;
  const char *settype = nullptr;
  const int64_t *setstart = nullptr;
  const int *setind = nullptr;
  const double *refval = nullptr;
};

// Widens a 32-bit column start array: ncols + 1 starts, or ncols when lengths are given.
std::vector<int64_t> widen_starts(const int *start, int ncols, bool with_lengths);

void load_model(ModelStore &dest, const char *fn, const LinearPart &lp, const QuadObjPart *qo, const QuadRowsPart *qr,
                const EntityPart *ent);

}  // namespace klvo
