// The nonlinear layer as the rest of the library sees it through the problem (Problem::layer).
#pragma once

#include <functional>

namespace klvo {
// What the model's editors and the file readers need from the nonlinear layer attached to a
// problem, so that they do not depend on the engines (engines/nlp/layer.h implements it).
class LayerHooks {
 public:
  // Rows or columns are about to be deleted from the store (valid, distinct indices, any
  // order). The layer works out its per-row and per-column settings after the deletion aside
  // (this may fail, and then nothing has changed) and returns the step that puts them in
  // place, which cannot fail; the caller takes it once the store has followed.
  virtual std::function<void()> rows_deleting(int n, const int *index) = 0;
  virtual std::function<void()> cols_deleting(int n, const int *index) = 0;
  // The store was replaced by a problem read from a file: the old model's initial values,
  // settings and results go.
  virtual void model_replaced() = 0;
  // Checks formula entries (the arrays KSLPloadcoefs takes) against the model and the layer's
  // user functions and puts them in the store in place of its formulas. Throws klvo::Error
  // (leaving the store as it was) with the text KSLPloadcoefs would give.
  virtual void load_formulas(int n, const int *row, const int *col, const double *factor, const int *start,
                             const int *type, const double *value) = 0;

 protected:
  ~LayerHooks() = default;
};
}  // namespace klvo
