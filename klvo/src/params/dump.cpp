// KLVOdumpcontrols: the controls away from their defaults, as klvo.ini lines.
#include <cinttypes>

#include "engines/nlp/layer.h"
#include "env/problem.h"
#include "io/problem_file.h"
#include "io/state_files.h"
#include "params/params.h"

namespace klvo {

void dump_controls(Problem &prob) {
  std::vector<std::string> lines;
  const ParamStore defaults;  // the built-in defaults with klvo.ini's applied
  const CaDef *cat = catalogue();
  for (int k = 0; k < catalogue_size(); ++k) {
    const CaDef &d = cat[k];
    if (!d.control) continue;
    std::string value;
    if (d.type == CaType::Int) {
      int64_t v = prob.params.get_int(d);
      if (v == defaults.get_int(d)) continue;
      value = std::to_string(v);
    } else if (d.type == CaType::Dbl) {
      double v = prob.params.get_dbl(d);
      if (v == defaults.get_dbl(d)) continue;
      value = format_number(v);
    } else {
      value = prob.params.get_str(d);
      if (value == defaults.get_str(d)) continue;
    }
    lines.push_back(std::string(d.name) + " = " + value);
  }
  if (const kslp_problem_s *slp = prob.slp) {
    const nlp::ControlValues initial;
    for (int which : {1, 2})
      for (const nlp::ParamInfo *p : nlp::catalogue(which)) {
        if (!p->control) continue;
        int s = nlp::ControlValues::slot(*p);
        std::string value;
        if (p->type == nlp::kInt) {
          if (slp->controls.ints[s] == initial.ints[s]) continue;
          value = std::to_string(slp->controls.ints[s]);
        } else if (p->type == nlp::kDouble) {
          if (slp->controls.dbls[s] == initial.dbls[s]) continue;
          value = format_number(slp->controls.dbls[s]);
        } else if (p->type == nlp::kString) {
          if (slp->controls.strs[s] == initial.strs[s]) continue;
          value = slp->controls.strs[s];
        } else {
          continue;
        }
        lines.push_back(std::string(p->name) + " = " + value);
      }
  }
  for (const std::string &line : lines) prob.message(KLVO_MSG_INFO, line, KLVO_MSGCODE_CONTROLS);
}

}  // namespace klvo
