"""The library's own branch-and-bound against HiGHS's MIP solver and against SCIP.

Part 1: the public MILPs of the instances folder, each solved by kelvo twice, once by HiGHS's
MIP solver (mipsearch = 1) and once by the library's own search (mipsearch = 2).
Part 2: generated mean-variance portfolios with a cardinality limit and minimum holdings
(MIQPs, n assets, at most k held, each held asset at least 5 %, a return target at the upper
quartile of the assets' returns): kelvo (which sends an MIQP to
its own search) against SCIP through PySCIPOpt, where the risk goes into an epigraph row
because SCIP takes only a linear objective; SCIP runs on one thread with kelvo's default
relative gap of 1e-4. SCIP's objective is printed as the risk of its portfolio.

The library's own search runs with one worker and with two (threads = 2), HiGHS's MIP solver
and SCIP with one thread. Printed: wall seconds, nodes, objective and whether optimality was
proven. Timings are noisy on
a loaded machine; --repeat N keeps the fastest of N runs.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_bnb.py [--limit 120] [--repeat 1] [--sizes 60 ...]
"""

import argparse
import os
import random
import time

import kelvo

try:
    import pyscipopt
except ImportError:  # the peer is optional
    pyscipopt = None

INSTANCES = os.environ.get("KELVO_INSTANCES", "/work/shared/instances")
MILPS = ["flugpl.mps", "egout.mps", "lseu.mps", "bell5.mps"]
PORTFOLIOS = [(20, 4, 1), (30, 4, 2), (40, 4, 3), (50, 4, 4), (60, 4, 5)]
# Workers of the library's own search (the threads control); the SCIP ratio uses one.
THREADS = [1, 2]


def best_of(repeat, run):
    best = None
    for _ in range(repeat):
        out = run()
        if best is None or out[0] < best[0]:
            best = out
    return best


def kelvo_timed(p, limit, threads=1, search=None):
    """Solves p with the controls of the comparison: (seconds, nodes, objective, proven)."""
    p.controls.outputlog = 0
    p.controls.timelimit = limit
    p.controls.threads = threads
    if search is not None:
        p.controls.mipsearch = search
    start = time.perf_counter()
    p.optimize()
    seconds = time.perf_counter() - start
    a = p.attributes
    return seconds, a.nodes, a.mipobjval, a.mipstatus == 6


def kelvo_mps(path, search, limit, threads=1):
    p = kelvo.problem()
    p.read(path)
    return kelvo_timed(p, limit, threads, search)


def portfolio_data(n, seed):
    rng = random.Random(seed)
    factors = 3
    load = [[rng.uniform(-1, 1) for _ in range(factors)] for _ in range(n)]
    cov = [[0.02 * sum(load[i][f] * load[j][f] for f in range(factors)) for j in range(n)] for i in range(n)]
    for i in range(n):
        cov[i][i] += rng.uniform(0.01, 0.05)
    mean = [rng.uniform(0.02, 0.12) for _ in range(n)]
    target = sorted(mean)[(3 * n) // 4]
    return cov, mean, target


def kelvo_portfolio(n, k, seed, limit, threads=1):
    cov, mean, target = portfolio_data(n, seed)
    p = kelvo.problem(name="portfolio")
    x = [p.addVariable(lb=0, ub=1) for _ in range(n)]
    z = [p.addVariable(vartype=kelvo.binary) for _ in range(n)]
    p.addConstraint(kelvo.Sum(x) == 1)
    p.addConstraint(kelvo.Sum(m * v for m, v in zip(mean, x)) >= target)
    p.addConstraint(kelvo.Sum(z) <= k)
    p.addConstraint([x[i] <= z[i] for i in range(n)])
    p.addConstraint([x[i] >= 0.05 * z[i] for i in range(n)])
    p.setObjective(kelvo.Sum(cov[i][j] * x[i] * x[j] for i in range(n) for j in range(n)))
    return kelvo_timed(p, limit, threads)


def scip_portfolio(n, k, seed, limit):
    cov, mean, target = portfolio_data(n, seed)
    m = pyscipopt.Model()
    m.hideOutput()
    m.setParam("limits/time", limit)
    m.setParam("parallel/maxnthreads", 1)
    m.setParam("limits/gap", 1e-4)  # kelvo's default relative gap (miprelstop)
    x = [m.addVar(lb=0, ub=1) for _ in range(n)]
    z = [m.addVar(vtype="B") for _ in range(n)]
    risk = m.addVar(lb=0)
    m.addCons(pyscipopt.quicksum(x) == 1)
    m.addCons(pyscipopt.quicksum(mu * v for mu, v in zip(mean, x)) >= target)
    m.addCons(pyscipopt.quicksum(z) <= k)
    for i in range(n):
        m.addCons(x[i] <= z[i])
        m.addCons(x[i] >= 0.05 * z[i])
    m.addCons(pyscipopt.quicksum(cov[i][j] * x[i] * x[j] for i in range(n) for j in range(n)) <= risk)
    m.setObjective(risk, "minimize")
    start = time.perf_counter()
    m.optimize()
    seconds = time.perf_counter() - start
    # The risk of SCIP's portfolio itself: the epigraph row may be met only within SCIP's
    # feasibility tolerance, which is not small beside risks of a few 1e-3.
    v = [m.getVal(xi) for xi in x]
    risk_of_x = sum(cov[i][j] * v[i] * v[j] for i in range(n) for j in range(n))
    return seconds, m.getNNodes(), risk_of_x, m.getStatus() == "optimal"


def row(name, who, threads, out):
    seconds, nodes, obj, proven = out
    print(f"{name:18s} {who:14s} {threads:>7} {seconds:9.2f} {nodes:9d} {obj:16.8g} {'yes' if proven else 'no':>7s}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--limit", type=float, default=120.0, help="time limit per solve, seconds")
    ap.add_argument("--repeat", type=int, default=1)
    ap.add_argument("--sizes", type=int, nargs="*", help="portfolio sizes to run (default: all); no MILPs then")
    args = ap.parse_args()
    print(f"{'model':18s} {'solver':14s} {'threads':>7s} {'seconds':>9s} {'nodes':>9s} {'objective':>16s} {'proven':>7s}")
    for name in MILPS if not args.sizes else []:
        path = os.path.join(INSTANCES, name)
        if not os.path.exists(path):
            print(f"{name}: not found in {INSTANCES}, skipped")
            continue
        row(name, "kelvo/HiGHS", 1, best_of(args.repeat, lambda: kelvo_mps(path, 1, args.limit)))
        for threads in THREADS:
            row(name, "kelvo/own", threads, best_of(args.repeat, lambda: kelvo_mps(path, 2, args.limit, threads)))
    if pyscipopt is None:
        print("PySCIPOpt is not importable: the SCIP columns are skipped")
    for n, k, seed in PORTFOLIOS:
        if args.sizes and n not in args.sizes:
            continue
        name = f"portfolio {n}/{k}"
        ours = None
        for threads in THREADS:
            out = best_of(args.repeat, lambda: kelvo_portfolio(n, k, seed, args.limit, threads))
            row(name, "kelvo/own", threads, out)
            ours = ours or out
        if pyscipopt is not None:
            theirs = best_of(args.repeat, lambda: scip_portfolio(n, k, seed, args.limit))
            row(name, "SCIP", 1, theirs)
            print(f"{'':18s} {'time ratio':14s} {1:>7} {ours[0] / max(theirs[0], 1e-9):9.2f}")


if __name__ == "__main__":
    main()
