#include "analysis/engine_access.h"

#include <vector>

#include "env/error.h"

namespace klvo {

namespace {

template <class T>
bool same(const std::vector<T> &a, const std::vector<T> &b) {
  return a == b;
}

}  // namespace

HighsEngine &engine_with_basis(Problem &prob, bool same_matrix, const char *fn) {
  auto *e = dynamic_cast<HighsEngine *>(prob.engine.get());
  const ModelStore &m = prob.model;
  if (!e || !e->loaded())
    fail(KLVO_ERR_NO_SOLUTION, "%s: no basis is available: solve the problem as an LP (or load a basis) first", fn);
  const HighsModel &held = e->held();
  if (held.nrows != m.nrows() || held.ncols != m.ncols())
    fail(KLVO_ERR_NO_SOLUTION, "%s: no basis is available: rows or columns changed since the last solve", fn);
  if (same_matrix) {
    HighsModel now;
    to_csc(m, now.start, now.index, now.value);
    // The engine holds the matrix times the user's scale factors it was built with.
    if (!held.colscale.empty() && now.start.size() == held.start.size())
      for (size_t j = 0; j + 1 < now.start.size(); ++j)
        for (HighsInt k = now.start[j]; k < now.start[j + 1]; ++k)
          now.value[k] *= held.rowscale[now.index[k]] * held.colscale[j];
    if (!same(now.start, held.start) || !same(now.index, held.index) || !same(now.value, held.value))
      fail(KLVO_ERR_NO_SOLUTION, "%s: no basis is available: the matrix changed since the last solve", fn);
  }
  // After a run HiGHS's information says whether it holds a basis; a basis loaded since (its
  // information is then out of date) shows by letting itself be listed.
  HighsInt validity = 0;
  bool valid = Highs_getIntInfoValue(e->instance(), "basis_validity", &validity) == kHighsStatusOk &&
               validity == kHighsBasisValidityValid;
  if (!valid) {
    std::vector<HighsInt> basic(m.nrows());
    valid = Highs_getBasicVariables(e->instance(), basic.data()) == kHighsStatusOk;
  }
  if (!valid)
    fail(KLVO_ERR_NO_SOLUTION, "%s: no basis is available: solve the problem as an LP (or load a basis) first", fn);
  return *e;
}

HighsEngine &optimal_engine(Problem &prob, const char *fn) {
  HighsEngine &e = engine_with_basis(prob, true, fn);
  HighsModel now;
  build_highs_model(prob.model, false, now);
  const HighsModel &held = e.held();
  if (!now.integrality.empty() || !held.integrality.empty() || !now.qindex.empty())
    fail(KLVO_ERR_NOT_SUPPORTED, "%s: ranging needs a continuous linear problem", fn);
  if (!same(now.cost, held.cost) || !same(now.col_lower, held.col_lower) || !same(now.col_upper, held.col_upper) ||
      !same(now.row_lower, held.row_lower) || !same(now.row_upper, held.row_upper) || now.sense != held.sense)
    fail(KLVO_ERR_NO_SOLUTION, "%s: the problem changed since the last solve: solve it again first", fn);
  if (Highs_getModelStatus(e.instance()) != kHighsModelStatusOptimal)
    fail(KLVO_ERR_NO_SOLUTION, "%s: ranging needs an optimal basis: the last solve did not end optimal", fn);
  return e;
}

HighsEngine &loaded_engine(Problem &prob) {
  auto *e = dynamic_cast<HighsEngine *>(prob.engine.get());
  if (!e) {
    prob.engine = std::make_unique<HighsEngine>();
    e = static_cast<HighsEngine *>(prob.engine.get());
  }
  e->load(prob.model);
  return *e;
}

}  // namespace klvo
