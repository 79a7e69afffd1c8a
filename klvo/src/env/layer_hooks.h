// The nonlinear layer as the rest of the library sees it through the problem (Problem::layer).
#pragma once

namespace klvo {
// What the model's editors and the file readers need from the nonlinear layer attached to a
// problem, so that they do not depend on the engines (engines/nlp/layer.h implements it).
class LayerHooks {
 public:
  // Rows or columns were deleted from the store (valid, distinct indices, any order); the
  // store's formulas have followed, the layer's per-row and per-column settings follow here.
  virtual void rows_deleted(int n, const int *index) = 0;
  virtual void cols_deleted(int n, const int *index) = 0;
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
