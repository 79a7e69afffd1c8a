// The tuner: solves fresh copies of the problem (or of a set of problem files) under each
// control set of its method, within the problem's time limit as a whole budget, and keeps the
// set that finishes fastest (or reaches the smallest gap when none finishes). Each trial is
// cut off at the best time so far, since a slower set cannot win.
#include <algorithm>
#include <cstring>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "analysis/analysis.h"
#include "analysis/scratch.h"
#include "analysis/tuner.h"
#include "params/access.h"

namespace klvo {

namespace {

using Clock = std::chrono::steady_clock;

// The sets worth trying: those steering the engines for real.
TunerMethod default_method(bool mip) {
  TunerMethod m;
  auto add = [&](const char *name, std::vector<std::pair<std::string, double>> c) {
    m.sets.push_back({name, std::move(c)});
  };
  if (!mip) {
    add("dual simplex", {{"defaultalg", KLVO_ALG_DUAL}});
    add("primal simplex", {{"defaultalg", KLVO_ALG_PRIMAL}});
    add("interior point", {{"defaultalg", KLVO_ALG_BARRIER}});
    add("no presolve", {{"presolve", KLVO_PRESOLVE_NONE}});
    add("dual simplex, no presolve", {{"defaultalg", KLVO_ALG_DUAL}, {"presolve", KLVO_PRESOLVE_NONE}});
    add("one thread", {{"threads", 1}});
  } else {
    add("no heuristics", {{"rootheuristics", 0}});
    add("heuristics emphasised", {{"rootheuristics", 1}});
    add("no presolve", {{"presolve", KLVO_PRESOLVE_NONE}});
    add("no symmetry detection", {{"symmetry", 0}});
    add("no restarts", {{"miprestart", 0}});
    add("interior point relaxations", {{"defaultalg", KLVO_ALG_BARRIER}});
    add("one thread", {{"threads", 1}});
  }
  return m;
}

// One instance the tuner solves: makes a fresh copy each time so that no trial starts warm.
using Instance = std::function<std::unique_ptr<Scratch>()>;

struct Score {
  bool finished = false;
  double time = 0, gap = 1e20;
  // Better by a margin, relative and absolute, so that noise in the timings does not pick a
  // set.
  bool beats(const Score &o) const {
    if (finished != o.finished) return finished;
    if (finished) return time < 0.9 * o.time && time < o.time - 0.005;
    return gap < o.gap - 1e-9;
  }
};

void apply(Problem &p, const TunerMethod::Set &set, const char *fn) {
  for (const auto &[name, value] : set.controls) {
    int id = 0, type = 0;
    if (KLVOgetcontrolinfo(&p, name.c_str(), &id, &type))
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: set \"%s\": no control is named \"%s\"", fn, set.name.c_str(),
           name.c_str());
    if (type == 2)
      set_dbl_control(p, id, value, fn);
    else
      set_int_control(p, id, static_cast<int64_t>(std::llround(value)), fn);
  }
}

std::string describe(const TunerMethod::Set &set) {
  std::string s = set.name.empty() ? "defaults" : set.name;
  for (const auto &[name, value] : set.controls) s += format(" %s=%g", name.c_str(), value);
  return s;
}

// Solves every instance under `set` (nullptr: the problem's own controls); stops at the cap.
Score trial(const std::vector<Instance> &instances, const TunerMethod::Set *set, double cap, const char *flags,
            const char *fn) {
  Score sc;
  sc.finished = true;
  sc.gap = 0;
  Clock::time_point t0 = Clock::now();
  for (const Instance &make : instances) {
    double left = cap - std::chrono::duration<double>(Clock::now() - t0).count();
    if (left <= 0) return Score{false, cap, 1e20};
    std::unique_ptr<Scratch> s = make();
    KLVOprob p = s->get();
    if (set) apply(*p, *set, fn);
    s->check(KLVOsetintcontrol(p, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_NONE));
    s->check(KLVOsetdblcontrol(p, KLVO_CONTROL_TIMELIMIT, std::max(left, 1e-3)));
    int solvestatus = 0, solstatus = 0;
    s->check(KLVOoptimize(p, flags, &solvestatus, &solstatus));
    if (solvestatus != KLVO_SOLVESTATUS_COMPLETED) {
      sc.finished = false;
      const SolutionStore &sol = s->solution();
      sc.gap += sol.optimizetype == KLVO_OPTTYPE_MIP && sol.mipsols > 0 ? sol.miprelgap : 1e6;
    }
  }
  sc.time = std::chrono::duration<double>(Clock::now() - t0).count();
  if (!sc.finished) sc.time = cap;
  return sc;
}

TunerMethod &method_of(Problem &prob, bool mip) {
  if (!prob.tuner_method) prob.tuner_method = std::make_shared<TunerMethod>(default_method(mip));
  return *prob.tuner_method;
}

void tune(Problem &prob, const std::vector<Instance> &instances, bool mip, const char *flags, const char *fn) {
  double budget = 0;
  get_dbl_control(prob, KLVO_CONTROL_TIMELIMIT, &budget, fn);
  if (!(budget > 0) || budget >= 1e20) budget = 60;
  const TunerMethod method = method_of(prob, mip);
  Clock::time_point start = Clock::now();
  auto left = [&] { return budget - std::chrono::duration<double>(Clock::now() - start).count(); };

  info(prob, "%s: %zu control sets over %zu problem(s) within %g s", fn, method.sets.size(),
                instances.size(), budget);
  Score best = trial(instances, nullptr, left(), flags, fn);
  const Score baseline = best;
  info(prob, "%s: defaults: %s %.3f s", fn, best.finished ? "solved in" : "stopped after",
                best.time);
  const TunerMethod::Set *winner = nullptr;
  for (const TunerMethod::Set &set : method.sets) {
    if (left() <= 0) {
      info(prob, "%s: budget spent; later sets not tried", fn);
      break;
    }
    // A set that cannot finish within the best time cannot win, so it stops there.
    double cap = std::min(left(), best.finished ? best.time : left());
    Score sc = trial(instances, &set, cap, flags, fn);
    info(prob, "%s: %s: %s %.3f s", fn, describe(set).c_str(),
                  sc.finished ? "solved in" : "stopped after", sc.time);
    if (sc.beats(best)) best = sc, winner = &set;
  }
  if (!winner) {
    info(prob, "%s: no set beat the current controls; they stay", fn);
    return;
  }
  // One timing each can mislead on a busy machine, and the first solves run cold: timed back to
  // back once more, the winner must beat the current controls again to be applied.
  if (left() > baseline.time + best.time) {
    Score again = trial(instances, nullptr, left(), flags, fn);
    double cap = std::min(left(), again.finished ? again.time : left());
    Score confirm = cap > 0 ? trial(instances, winner, cap, flags, fn) : Score{};
    info(prob, "%s: timed again: current controls %.3f s, %s %.3f s", fn, again.time, describe(*winner).c_str(),
         confirm.time);
    if (!confirm.beats(again)) {
      info(prob, "%s: %s did not beat the current controls again; they stay", fn, describe(*winner).c_str());
      return;
    }
  }
  apply(prob, *winner, fn);
  info(prob, "%s: applied %s (%.3f s against %.3f s)", fn, describe(*winner).c_str(), best.time,
                baseline.time);
}

}  // namespace

void tune_problem(Problem &prob, const char *flags, const char *fn) {
  std::string letters = flags ? flags : "";
  for (char c : letters)
    if (!std::strchr("pdbnl", c)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: unknown flag '%c'", fn, c);
  bool mip = prob.model.nentities() > 0 || prob.model.nsets() > 0;
  if (letters.find('l') != std::string::npos) mip = false;
  std::vector<Instance> one{[&prob, fn] { return std::make_unique<Scratch>(prob, "tuner", fn); }};
  tune(prob, one, mip, letters.c_str(), fn);
}

void tune_file_set(Problem &prob, const char *setfile, int ifmip, int sense, const char *fn) {
  if (!setfile || !*setfile) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  if (sense != 1 && sense != -1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: sense %d is not 1 or -1", fn, sense);
  std::ifstream in(setfile);
  if (!in) fail(KLVO_ERR_FILE, "%s: cannot open \"%s\"", fn, setfile);
  // One problem file per line, relative to the set file's folder; blank and '#' lines skipped.
  std::string dir(setfile), line;
  dir = dir.find('/') == std::string::npos ? "" : dir.substr(0, dir.rfind('/') + 1);
  std::vector<std::string> files;
  while (std::getline(in, line)) {
    line.erase(0, line.find_first_not_of(" \t\r"));
    line.erase(line.find_last_not_of(" \t\r") + 1);
    if (line.empty() || line[0] == '#') continue;
    files.push_back(line[0] == '/' ? line : dir + line);
  }
  if (files.empty()) fail(KLVO_ERR_FILE, "%s: \"%s\" lists no problem files", fn, setfile);
  std::vector<Instance> instances;
  for (const std::string &file : files) {
    instances.push_back([&prob, file, sense, fn] {
      auto s = std::make_unique<Scratch>(prob, "tuner", fn);
      s->check(KLVOreadprob(s->get(), file.c_str(), ""));
      s->check(KLVOchgobjsense(s->get(), sense));
      return s;
    });
    instances.back()();  // every file must read before the budget is spent
  }
  tune(prob, instances, ifmip != 0, ifmip ? "" : "l", fn);
}

void write_tuner_method(Problem &prob, const char *filename, const char *fn) {
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  const TunerMethod &m = method_of(prob, prob.model.nentities() > 0 || prob.model.nsets() > 0);
  std::ostringstream out;
  out.precision(17);
  out << "# control sets the tuner tries, in order: \"set <name>\" then one \"<control> <value>\" a line\n";
  for (const TunerMethod::Set &s : m.sets) {
    out << "set " << s.name << "\n";
    for (const auto &[name, value] : s.controls) out << name << " " << value << "\n";
  }
  std::ofstream file(filename);
  if (!(file << out.str()) || !file.flush()) fail(KLVO_ERR_FILE, "%s: cannot write \"%s\"", fn, filename);
}

void read_tuner_method(Problem &prob, const char *filename, const char *fn) {
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  std::ifstream in(filename);
  if (!in) fail(KLVO_ERR_FILE, "%s: cannot open \"%s\"", fn, filename);
  TunerMethod m;
  std::string line;
  for (int lineno = 1; std::getline(in, line); ++lineno) {
    std::istringstream fields(line);
    std::string word;
    if (!(fields >> word) || word[0] == '#') continue;
    if (word == "set") {
      std::string name;
      std::getline(fields >> std::ws, name);
      m.sets.push_back({name, {}});
      continue;
    }
    double value;
    std::string rest;
    int id, type;
    if (m.sets.empty() || !(fields >> value) || (fields >> rest))
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: expected \"set <name>\" or \"<control> <value>\" within a set", fn,
           filename, lineno);
    if (KLVOgetcontrolinfo(&prob, word.c_str(), &id, &type) || type == 3)
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: \"%s\" is not a numeric control", fn, filename, lineno,
           word.c_str());
    m.sets.back().controls.emplace_back(word, value);
  }
  if (m.sets.empty()) fail(KLVO_ERR_FILE, "%s: \"%s\" holds no control set", fn, filename);
  prob.tuner_method = std::make_shared<TunerMethod>(std::move(m));
}

}  // namespace klvo
