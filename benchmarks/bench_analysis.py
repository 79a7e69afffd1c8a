"""Infeasibility analysis and the tuner on the public instances, with highspy's IIS beside ours.

IIS: woodinfe is infeasible as published. Every other instance is made infeasible by one
right-hand side: the first row (in file order, at least two coefficients) whose least activity
over the column bounds, L = sum of min(a_j lb_j, a_j ub_j), is finite gets its upper side moved to
L - 1 ('L' and 'E' rows; a 'G' row becomes an 'L' row): no point within the bounds reaches it, so
the row and the bounds that make up L conflict. For each model the table gives the size of the
first IIS (rows + column bounds), the time of iisfirst(0), the number of sets iisall finds and its
time, and the same first-set figures from highspy's own IIS. Each of our sets is checked
irreducible by highspy: the set alone is infeasible and every set missing one member is feasible.

Tuner: tuneprobsetfile over three MIPs with a time budget; the defaults and the tuned controls are
then timed on the three (best of --repeat runs each, solves in a fresh problem).

Run: PYTHONPATH=build/dev/python python benchmarks/bench_analysis.py [--budget 30] [--repeat 3]
"""

import argparse
import os
import tempfile
import time

import kelvo

try:
    import highspy
except ImportError:  # the peer column and the irreducibility check are then left out
    highspy = None

HERE = os.path.dirname(os.path.abspath(__file__))
INSTANCES = os.environ.get("KELVO_INSTANCES", "/work/shared/instances")
INF = 1e20


def read(path):
    p = kelvo.problem()
    p.setControl("outputlog", 0)
    p.read(path)
    return p


def matrix(p):
    """Rows as (type, rhs, range, [(col, coef)]), and the column bounds."""
    m, n = p.attributes.rows, p.attributes.cols
    start, ind, val = [], [], []
    p.getrows(start, ind, val, m * n + 1, 0, m - 1)
    types, rhs, rng, lb, ub = [], [], [], [], []
    p.getrowtype(types, 0, m - 1)
    p.getrhs(rhs, 0, m - 1)
    p.getrhsrange(rng, 0, m - 1)
    p.getlb(lb, 0, n - 1)
    p.getub(ub, 0, n - 1)
    cols = {v.name: j for j, v in enumerate(p.getVariable())}
    rows = []
    for i in range(m):
        terms = [(cols[ind[k].name] if not isinstance(ind[k], int) else ind[k], val[k])
                 for k in range(start[i], start[i + 1])]
        rows.append((types[i], rhs[i], rng[i], terms))
    return rows, lb, ub


def least_activity(terms, lb, ub):
    total = 0.0
    for j, a in terms:
        bound = lb[j] if a > 0 else ub[j]
        if abs(bound) >= INF:
            return None
        total += a * bound
    return total


def make_infeasible(p):
    """Moves one row's upper side below its least activity; returns a description."""
    rows, lb, ub = matrix(p)
    for i, (t, rhs, rng, terms) in enumerate(rows):
        if t == "N" or len(terms) < 2:
            continue
        least = least_activity(terms, lb, ub)
        if least is None:
            continue
        if t == "G":
            p.chgrowtype([i], ["L"])
        elif t == "R":
            p.chgrhsrange([i], [0.0])
            p.chgrowtype([i], ["L"])
        p.chgrhs([i], [least - 1])
        return f"row {i} ({len(terms)} coefs) rhs {rhs:g} -> {least - 1:g}, least activity {least:g}"
    raise RuntimeError("no row with a finite least activity")


def highs_of(path, feasibility=True):
    """The same model in highspy (continuous), read from a file kelvo writes."""
    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    h.readModel(path)
    lp = h.getLp()
    if lp.integrality_:
        h.changeColsIntegrality(lp.num_col_, list(range(lp.num_col_)),
                                [highspy.HighsVarType.kContinuous] * lp.num_col_)
    if not feasibility:
        return h
    # Feasibility alone: no objective to be unbounded in.
    h.changeColsCost(lp.num_col_, list(range(lp.num_col_)), [0.0] * lp.num_col_)
    return h


def iis_members(p, num):
    """The rows and column bounds of set num, by name."""
    rowind, colind, bndtype = [], [], []
    p.getiisdata(num, rowind, colind, bndtype=bndtype)
    return [r.name for r in rowind], [(c.name, b) for c, b in zip(colind, bndtype)]


def subsystem_infeasible(h, lp, rows, bounds):
    """The rows and bounds given, every other row and bound dropped, solved by highspy."""
    n, m = lp.num_col_, lp.num_row_
    keep_rows = set(rows)
    lower = {j for j, b in bounds if b in ("L", "B")}
    upper = {j for j, b in bounds if b in ("U", "B")}
    h.changeColsBounds(n, list(range(n)),
                       [lp.col_lower_[j] if j in lower else -highspy.kHighsInf for j in range(n)],
                       [lp.col_upper_[j] if j in upper else highspy.kHighsInf for j in range(n)])
    for i in range(m):
        if i in keep_rows:
            h.changeRowBounds(i, lp.row_lower_[i], lp.row_upper_[i])
        else:
            h.changeRowBounds(i, -highspy.kHighsInf, highspy.kHighsInf)
    # The simplex fails on some systems of free columns; the interior point method decides them.
    status = None
    for solver in ("simplex", "ipm"):
        h.setOptionValue("solver", solver)
        h.clearSolver()
        h.run()
        status = h.getModelStatus()
        if status in (highspy.HighsModelStatus.kInfeasible, highspy.HighsModelStatus.kOptimal):
            break
    if status not in (highspy.HighsModelStatus.kInfeasible, highspy.HighsModelStatus.kOptimal):
        raise RuntimeError(f"highspy could not decide a subsystem: {status}")
    return status == highspy.HighsModelStatus.kInfeasible


def irreducible(path, rows, bounds):
    h = highs_of(path)
    lp = h.getLp()
    rowno = {name: i for i, name in enumerate(lp.row_names_)}
    colno = {name: j for j, name in enumerate(lp.col_names_)}
    rows = [rowno[r] for r in rows]
    bounds = [(colno[c], b) for c, b in bounds]
    if not subsystem_infeasible(h, lp, rows, bounds):
        return False
    singles = [(j, "L") for j, b in bounds if b in ("L", "B")] + [(j, "U") for j, b in bounds if b in ("U", "B")]
    for k in range(len(rows)):
        if subsystem_infeasible(h, lp, rows[:k] + rows[k + 1:], singles):
            return False
    for k in range(len(singles)):
        if subsystem_infeasible(h, lp, rows, singles[:k] + singles[k + 1:]):
            return False
    return True


def highs_iis(path):
    h = highs_of(path, feasibility=False)
    h.setOptionValue("iis_strategy", 2)  # irreducible, from the LP
    t = time.perf_counter()
    h.run()
    st, iis = h.getIis()
    took = time.perf_counter() - t
    size = len(iis.row_index_) + len(iis.col_index_)
    return size, took


def iis_table(tmp):
    print("IIS (sizes are rows + column bounds; times in seconds)")
    head = f"{'model':10} {'first':>6} {'t first':>8} {'sets':>5} {'t all':>8} {'irred.':>7} {'highspy':>8} {'t highspy':>10}  conflict"
    print(head)
    names = ["woodinfe", "afiro", "adlittle", "avgas", "flugpl", "egout", "lseu", "bell5"]
    for name in names:
        p = read(os.path.join(INSTANCES, name + ".mps"))
        what = "infeasible as published" if name == "woodinfe" else make_infeasible(p)
        path = os.path.join(tmp, name + ".mps")
        p.write(path, "")
        t = time.perf_counter()
        status = p.iisfirst(0)
        t_first = time.perf_counter() - t
        if status != 0:
            print(f"{name:10} iisfirst status {status}")
            continue
        rows, bounds = iis_members(p, 1)
        first = len(rows) + sum(2 if b == "B" else 1 for _, b in bounds)
        t = time.perf_counter()
        p.iisall()
        t_all = time.perf_counter() - t
        nrows = []
        count = p.iisstatus(nrows, None, None, None)
        checked = "-"
        if highspy is not None:
            checked = "yes" if all(irreducible(path, *iis_members(p, k)) for k in range(1, count + 1)) else "NO"
            hsize, htime = highs_iis(path)
        else:
            hsize, htime = "-", float("nan")
        print(f"{name:10} {first:6d} {t_first:8.3f} {count:5d} {t_all:8.3f} {checked:>7} {hsize:>8} {htime:10.3f}  {what}")


def solve_time(path, controls, repeat):
    best, obj = float("inf"), None
    for _ in range(repeat):
        p = read(path)
        for name, value in controls.items():
            p.setControl(name, value)
        t = time.perf_counter()
        p.optimize()
        best = min(best, time.perf_counter() - t)
        obj = p.attributes.mipobjval
    return best, obj


def tuner_table(tmp, budget, repeat):
    files = ["egout.mps", "lseu.mps", "bell5.mps"]
    setfile = os.path.join(tmp, "set.txt")
    with open(setfile, "w") as f:
        f.write("\n".join(os.path.join(INSTANCES, x) for x in files) + "\n")
    p = kelvo.problem()  # its log (the tuner's progress) is printed as it comes
    p.setControl("timelimit", budget)
    names = ["defaultalg", "presolve", "rootheuristics", "symmetry", "miprestart", "threads"]
    defaults = {name: p.getControl(name) for name in names}
    print(f"\nTuner over {', '.join(files)}, budget {budget:g} s:")
    t = time.perf_counter()
    p.tuneprobsetfile(setfile, 1, 1)
    took = time.perf_counter() - t
    tuned = {name: p.getControl(name) for name in names if p.getControl(name) != defaults[name]}
    print(f"took {took:.2f} s, chose {tuned or 'the defaults'}")
    print(f"{'model':10} {'defaults s':>11} {'tuned s':>9} {'objective':>14}")
    total_d = total_t = 0.0
    for x in files:
        path = os.path.join(INSTANCES, x)
        td, od = solve_time(path, {}, repeat)
        tt, ot = solve_time(path, tuned, repeat)
        total_d += td
        total_t += tt
        assert abs(od - ot) <= 1e-6 * max(1.0, abs(od)), (x, od, ot)
        print(f"{x[:-4]:10} {td:11.3f} {tt:9.3f} {ot:14.6f}")
    print(f"{'total':10} {total_d:11.3f} {total_t:9.3f}   (tuned / defaults = {total_t / total_d:.2f})")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--budget", type=float, default=30.0)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--skip-tuner", action="store_true")
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        iis_table(tmp)
        if not args.skip_tuner:
            tuner_table(tmp, args.budget, args.repeat)


if __name__ == "__main__":
    main()
