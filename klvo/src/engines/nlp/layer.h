// The C++ object behind a KSLPprob handle: the nonlinear layer attached to one problem. It
// holds the user functions, initial values, its controls and the results of the last
// nonlinear solve; the formula entries live in the problem's model store.
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engines/nlp/catalogue.h"
#include "engines/nlp/formula.h"
#include "engines/nlp/multistart.h"
#include "engines/nlp/node_events.h"
#include "engines/nlp/nlp_model.h"
#include "env/error.h"
#include "env/layer_hooks.h"
#include "klvo.h"

struct klvo_problem_s;

namespace klvo {
namespace nlp {

// Per-column settings of the successive-linearisation interface (KSLPchgvar); the initial value
// is kept in the layer's initial values. What the SLP engine reads is told in nlp.h.
struct VarSettings {
  int detrow = -1;
  double initstepbound = 0, stepbound = 0, penalty = 0, damp = 0, value = 0, oldvalue = 0;
  int tolset = 0, history = 0, converged = 0, vartype = 0;
  int seqnum = 0;         // place in the cascade among columns the dependencies leave unordered
  int cascadelimit = 20;  // Newton steps a cascade may take on the column
  int deltatype = 0;      // how the SLP engine steps the column (KSLPchgdeltatype)
  double deltavalue = 0;  // the smallest step of delta type 2
};

// Row status bit the SLP engine reads: the row's error columns are fixed at zero, so every
// linearisation must satisfy it (KSLPfixpenalties sets it).
const int kRowEnforced = 1 << 0;

// A tolerance set of the successive-linearisation engine: nine tolerances (their meaning is in
// nlp.h) and a bit per tolerance in use.
struct TolSet {
  std::array<double, 9> tol{};
  int status = 0;
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

// What the validation functions found (attributes 12191-12194).
struct Validation {
  double abs_violation = 0.0, rel_violation = 0.0, kkt_residual = 0.0;
  int status = 0;  // bits: 1 validated, 2 a violation beyond the tolerance, 4 KKT checked, 8 above target
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
  std::map<int, double> rowweight;             // row -> penalty weight (KSLPchgrowwt)
  std::vector<klvo::nlp::TolSet> tolsets;      // tolerance set k + 1 at position k
  std::map<std::pair<int, int>, double> dfs;   // (column, row) -> finite-difference width
  // The last linearisation (KSLPupdatelinearization) by model row: the row's activity and its
  // largest absolute derivative there; empty before one.
  std::vector<double> lin_value, lin_maxderiv;
  // Where the last SLP solve put each model column and row in its LP (-1: not there).
  std::vector<int> lp_column, lp_row;
  // Columns with a determining row in the order a cascade recomputes them (KSLPcascadeorder);
  // empty until first needed.
  std::vector<int> cascade_order;
  klvo::nlp::ControlValues controls;
  klvo::nlp::Results results;
  klvo::nlp::Validation validation;

  // The layer's event functions, one per kind (KSLP_CB_*), each with its data.
  struct EventFn {
    void (*fn)() = nullptr;
    void *data = nullptr;
  };
  void set_event(int kind, void (*fn)(), void *data);
  EventFn event(int kind) const;
  klvo::nlp::Multistart multistart;
  klvo::nlp::NodeEvents node_events;

  // Sends a message to the layer's message function and to the global handlers.
  void message(int msgtype, const std::string &text);
  void set_message_callback(KSLPmessagecb f, void *data);

  int ncols() const;
  int nrows() const;

  // What the model's editors and file readers call (env/problem.h).
  std::function<void()> rows_deleting(int n, const int *index) override;
  std::function<void()> cols_deleting(int n, const int *index) override;
  void model_replaced() override;
  void load_formulas(int n, const int *row, const int *col, const double *factor, const int *start, const int *type,
                     const double *value) override;

 private:
  std::mutex message_mutex_;
  KSLPmessagecb message_fn_ = nullptr;
  void *message_data_ = nullptr;
  mutable std::mutex event_mutex_;
  EventFn events_[KSLP_CB_KINDS];
};

namespace klvo {

using Problem = klvo_problem_s;

namespace nlp {

// Controls of a layer (or the defaults when slp is null).
int64_t int_control(const kslp_problem_s *slp, int id);
double dbl_control(const kslp_problem_s *slp, int id);
std::string str_control(const kslp_problem_s *slp, int id);

// The handle's lifetime: a layer is attached to one problem, which must not have one yet.
KSLPprob create_layer(KLVOprob *prob, const char *fn);
void destroy_layer(KSLPprob slp, const char *fn);
// The layer's own settings (user functions, initial values, variable and row settings,
// controls) without the formulas, which travel with the model.
void copy_settings(kslp_problem_s &dest, const kslp_problem_s &src);
// Copies formulas, user functions, column settings and controls between layers of equally
// sized problems; controls alone (with the objective sense).
void copy_layer(kslp_problem_s &dest, const kslp_problem_s *src, const char *fn);

// Refuse (Error) a column or row index outside the problem, naming fn.
void check_col(const kslp_problem_s &slp, int col, const char *fn);
void check_row(const kslp_problem_s &slp, int row, const char *fn);
void copy_controls(kslp_problem_s &dest, const kslp_problem_s *src, const char *fn);
// Asks a running solve of the layer and its problem to stop.
void interrupt(kslp_problem_s &slp, int reason);

// The layer's catalogues (which: 1 its own, 2 the engine's), ending with id 0.
void fill_catalogue(int which, const int **ids, const char *const **names, const int **flags, int *count);
// The id and flags of a control or attribute name (0 when unknown).
void control_code(const char *name, int *id, int *flags, const char *fn);
// Typed access to the layer's controls and attributes; a wrong id or type fails naming fn.
int64_t get_int_control(const kslp_problem_s *slp, int id, const char *fn);
void set_int_control(kslp_problem_s *slp, int id, int64_t value, const char *fn);
double get_dbl_control(const kslp_problem_s &slp, int id, const char *fn);
void set_dbl_control(kslp_problem_s &slp, int id, double value, const char *fn);
void get_str_control(const kslp_problem_s &slp, int id, char *value, int maxbytes, int *nbytes, const char *fn);
void set_str_control(kslp_problem_s &slp, int id, const char *value, const char *fn);
int64_t get_int_attrib(const kslp_problem_s &slp, int id, const char *fn);
double get_dbl_attrib(const kslp_problem_s &slp, int id, const char *fn);
void *get_ptr_attrib(const kslp_problem_s &slp, int id, const char *fn);

// Forget the compiled model / mark the last solution as post-solved.
void unconstruct(kslp_problem_s &slp);
void postsolve(kslp_problem_s &slp);
// Registers a user function; returns its id (1, 2, ...).
int add_user_function(kslp_problem_s &slp, const char *name, int type, int nin, int nout, int flags,
                      KSLPuserfunction fn, void *data, const char *function);

// The layer's problem, or fail naming fn when it has been destroyed.
Problem &layer_problem(const kslp_problem_s &slp, const char *fn);
// The problem's layer, or fail naming fn when it has none.
kslp_problem_s &require_layer(const Problem &prob, const char *fn);

// Formula entries (coefs.cpp): factor * formula * column in a row, or a row's formula alone
// (column KSLP_NOCOLUMN). replace: the new entries replace all others.
void add_coefs(kslp_problem_s &slp, int ncoef, const int *rowindex, const int *colindex, const double *factor,
               const int *fstart, int parsed, const int *type, const double *value, bool replace, const char *fn);
void del_coefs(kslp_problem_s &slp, int ncoef, const int *rowindex, const int *colindex, const char *fn);
// The (row, column) pairs holding entries; none when slp is null.
void get_coefs(const kslp_problem_s *slp, int *ncoef, int *rowindex, int *colindex);
void get_coef_formula(const kslp_problem_s &slp, int rowindex, int colindex, double *factor, int parsed,
                      int maxtokens, int *ntokens, int *type, double *value, const char *fn);
void add_formulas(kslp_problem_s &slp, int nrows, const int *rowindex, const int *formulastart, int parsed,
                  const int *type, const double *value, bool replace, const char *fn);
void del_formulas(kslp_problem_s &slp, int nrows, const int *rowindex, const char *fn);
void get_formula(const Problem &prob, int rowindex, int parsed, int maxtokens, int *ntokens, int *type, double *value,
                 const char *fn);
void get_formula_rows(const Problem &prob, int *nrows, int *rowindex, int maxrows, const char *fn);
void set_initial_values(kslp_problem_s &slp, int ncols, const int *colindex, const double *initial, const char *fn);
// A formula evaluated at the last solution (else at the initial values); derivatives at x.
double evaluate_formula(const kslp_problem_s &slp, int parsed, const int *type, const double *value, const char *fn);
void formula_derivatives(const kslp_problem_s &slp, int parsed, const int *type, const double *value, const double *x,
                         double *f, double *gradient, double *hessian, const char *fn);
void get_slp_sol(const kslp_problem_s &slp, double *x, double *slack, double *duals, double *djs, const char *fn);

// Column settings and row statuses (vars.cpp).
void chg_var(kslp_problem_s &slp, int col, const int *detrow, const double *initstepbound, const double *stepbound,
             const double *penalty, const double *damp, const double *initvalue, const double *value, const int *tolset,
             const int *history, const int *converged, const int *vartype, const char *fn);
void get_var(const kslp_problem_s &slp, int col, int *detrow, double *initstepbound, double *stepbound, double *penalty,
             double *damp, double *initvalue, double *value, int *tolset, int *history, int *converged, int *vartype,
             int *delta, int *penaltydelta, int *updaterow, double *oldvalue, const char *fn);
// Refuse vartype bits the layer does not define.
void check_vartype(int vartype, int col, const char *fn);
void del_vars(kslp_problem_s &slp, int ncols, const int *colind, const char *fn);
void chg_row_status(kslp_problem_s &slp, int row, const int *status, const char *fn);
int get_row_status(const kslp_problem_s &slp, int row, const char *fn);
// The array-sized entry points check each array's size against the counts first.
void check_size(int have, int64_t need, const char *what, const char *fn);
void check_formula_sizes(int nrows, int rowindex_size, const int *formulastart, int formulastart_size, int type_size,
                         int value_size, const char *fn);
void set_det_rows(kslp_problem_s &slp, int n, const int *colindex, int colindex_size, const int *rowindex,
                  int rowindex_size, const char *fn);
void set_init_step_bounds(kslp_problem_s &slp, int n, const int *colindex, int colindex_size, const double *initial,
                          int initial_size, const char *fn);

// Data of the successive-linearisation engine (slp/slp_data.cpp).
void add_vars(kslp_problem_s &slp, int n, const int *colindex, const int *vartype, const int *detrow,
              const int *seqnum, const int *tolindex, const double *initvalue, const double *stepbound, bool replace,
              const char *fn);
void add_tolsets(kslp_problem_s &slp, int n, const double *tols, bool replace, const char *fn);
void chg_tolset(kslp_problem_s &slp, int tolset, const int *status, const double *tols, const char *fn);
int get_tolset(const kslp_problem_s &slp, int tolset, double *tols, const char *fn);
void del_tolsets(kslp_problem_s &slp, int n, const int *index, const char *fn);
void chg_row_weight(kslp_problem_s &slp, int row, const double *weight, const char *fn);
double get_row_weight(const kslp_problem_s &slp, int row, const char *fn);
void chg_cascade_limit(kslp_problem_s &slp, int col, int limit, const char *fn);
void cascade_order(kslp_problem_s &slp, const char *fn);
void cascade(kslp_problem_s &slp, const char *fn);
void construct(kslp_problem_s &slp, const char *fn);
void set_current_iv(kslp_problem_s &slp, const char *fn);
void reinitialize(kslp_problem_s &slp);
// Row and column information: returns the data type (1 integer in *ivalue, 2 double in *dvalue).
int row_info(const kslp_problem_s &slp, int infotype, int row, int *ivalue, double *dvalue, const char *fn);
int col_info(const kslp_problem_s &slp, int infotype, int col, int *ivalue, double *dvalue, const char *fn);
// Finite-difference widths, delta types, linearisation, penalties, scaling and presolve
// (slp/slp_linearization.cpp).
void add_dfs(kslp_problem_s &slp, int n, const int *colindex, const int *rowindex, const double *value, bool replace,
             const char *fn);
double get_df(const kslp_problem_s &slp, int col, int row, const char *fn);
void chg_delta_type(kslp_problem_s &slp, int n, const int *col, const int *type, const double *value, const char *fn);
void update_linearization(kslp_problem_s &slp, const char *fn);
int fix_penalties(kslp_problem_s &slp, const char *fn);
void scaling(kslp_problem_s &slp, const char *fn);
void presolve(kslp_problem_s &slp, const char *fn);

// True when the problem has formula entries the solver must take into account; their count.
bool has_formulas(const Problem &prob);
int formula_count(const Problem &prob);

// The main problem's control and attribute getters and setters hand the layer's ids here, so
// they can be read and set through either handle. Each returns false when the id is not one
// of the layer's; a layer id of another kind or type, or a setter on a problem without a
// layer, fails. type: 1 integer, 2 double, 3 string.
bool forward_get(Problem &prob, int id, bool control, int type, int64_t *i, double *d, std::string *s);
bool forward_set(Problem &prob, int id, int type, int64_t i, double d, const char *s, const char *fn);

}  // namespace nlp
}  // namespace klvo
