// The C++ object behind a KSLPprob handle: the nonlinear layer attached to one problem. It
// holds the user functions, initial values, its controls and the results of the last
// nonlinear solve; the formula entries live in the problem's model store.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engines/nlp/catalogue.h"
#include "engines/nlp/formula.h"
#include "engines/nlp/nlp_model.h"
#include "env/error.h"
#include "env/problem.h"

namespace klvo {
namespace nlp {

// Per-column settings of the successive-linearisation interface (KSLPchgvar). Only the
// initial value (kept in the layer's initial values) steers this library's solver; the others
// are stored and read back.
struct VarSettings {
  int detrow = -1;
  double initstepbound = 0, stepbound = 0, penalty = 0, damp = 0, value = 0;
  int tolset = 0, history = 0, converged = 0, vartype = 0;
};

// What a nonlinear solve leaves behind.
struct Results {
  int nlpstatus = kNlpUnstarted;
  int layer_status = 0;  // bits of attribute 12062
  double objval = 0.0;
  int iterations = 0;
  double solvetime = 0.0;
  double maxviolation = 0.0;
  bool has_solution = false;
  std::vector<double> x, slack, duals, djs;
};

}  // namespace nlp
}  // namespace klvo

struct kslp_problem_s final : klvo::LayerHooks {
  explicit kslp_problem_s(KLVOprob base);
  ~kslp_problem_s();

  KLVOprob prob;  // the problem this layer belongs to (not owned)
  klvo::ErrorSlot error;
  std::atomic<int> interrupt_reason{0};

  // The formula entries, in the problem's model store. Without a problem (it was destroyed
  // first) there are none, and changing them fails.
  const klvo::FormulaStore &formulas() const;
  klvo::FormulaStore &formulas(const char *function);
  // The solver's compiled model, kept between solves while nothing changed.
  std::shared_ptr<klvo::nlp::NlpModel> compiled;
  uint64_t compiled_model_revision = 0, compiled_formulas_revision = 0;

  std::shared_ptr<klvo::nlp::UserFunctions> users = std::make_shared<klvo::nlp::UserFunctions>();
  std::map<int, double> initval;  // column -> initial value
  std::map<int, klvo::nlp::VarSettings> vars;  // column -> settings given with KSLPchgvar
  std::map<int, int> rowstatus;                // row -> status bits given with KSLPchgrowstatus
  klvo::nlp::ControlValues controls;
  klvo::nlp::Results results;

  // Sends a message to the layer's message function and to the global handlers.
  void message(int msgtype, const std::string &text);
  void set_message_callback(KSLPmessagecb f, void *data);

  int ncols() const;
  int nrows() const;

  // What the model's editors and file readers call (env/problem.h).
  void rows_deleted(int n, const int *index) override;
  void cols_deleted(int n, const int *index) override;
  void model_replaced() override;
  void load_formulas(int n, const int *row, const int *col, const double *factor, const int *start, const int *type,
                     const double *value) override;

 private:
  std::mutex message_mutex_;
  KSLPmessagecb message_fn_ = nullptr;
  void *message_data_ = nullptr;
};

namespace klvo {

template <class Body>
int slp_api_call(KSLPprob slp, const char *function, Body &&body) {
  if (!slp) {
    global_error().set(KLVO_ERR_INVALID_ARGUMENT, std::string(function) + ": null nonlinear-layer handle");
    return KLVO_ERR_INVALID_ARGUMENT;
  }
  return guarded(slp->error, std::forward<Body>(body));
}

namespace nlp {

// Controls of a layer (or the defaults when slp is null).
int64_t int_control(const kslp_problem_s *slp, int id);
double dbl_control(const kslp_problem_s *slp, int id);
std::string str_control(const kslp_problem_s *slp, int id);

// True when the problem has formula entries the solver must take into account; their count.
bool has_formulas(const Problem &prob);
int formula_count(const Problem &prob);

// The main problem's control and attribute getters and setters hand the layer's ids here, so
// they can be read and set through either handle. Each returns false when the id is not one
// of the layer's; a layer id of another kind or type, or a setter on a problem without a
// layer, fails. type: 1 integer, 2 double, 3 string.
bool forward_get(Problem &prob, int id, bool control, int type, int64_t *i, double *d, std::string *s);
bool forward_set(Problem &prob, int id, int type, int64_t i, double d, const char *s);

}  // namespace nlp
}  // namespace klvo
