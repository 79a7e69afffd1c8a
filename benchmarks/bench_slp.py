"""kelvo's two nonlinear engines (interior point, successive linear programming) beside
PyOptInterface's Ipopt, in one run: iterations, solve time and objective.

Models (each from the same starting point for every library):
  hs040, hs043, hs065, hs071   Hock-Schittkowski problems with their published optima
  chain N    min sum x_i  s.t.  x_{i+1} >= 0.3 x_i^2 + 0.6 + 0.1 sin(i),  1 <= x_0,  0 <= x_i <= 10:
             N variables, N - 1 nonlinear rows, every row active at the optimum (a vertex)
The SLP engine converges fast where the optimum is a vertex of the active constraints and
needs more iterations (it shrinks its step bounds) where curvature decides the optimum; the
figures show both.

PyOptInterface's iterations are read from the Ipopt output file it is told to write (the
parser is bench_nlp.py's). It compiles every model's functions inside optimize(), which can
take tens of seconds per model on a small machine, so its time includes that compilation, the
default chain is kept to 10^3 variables and each of its models is solved once; kelvo's
figures are the best of --repeat solves.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_slp.py [--chain 1000] [--repeat 3]
"""

import argparse
import math
import os
import tempfile
import time

import kelvo
from bench_nlp import ipopt_report

PUBLISHED = {"hs040": -0.25, "hs043": -44.0, "hs065": 0.9535288567, "hs071": 17.0140173}


# ---- models, written once against a tiny builder so each library builds the same thing -----


def hs040(b):
    x = b.vars(4, lb=[None] * 4, ub=[None] * 4, start=[0.8] * 4)
    b.objective(-1 * x[0] * x[1] * x[2] * x[3])
    b.eq(x[0] * x[0] * x[0] + x[1] * x[1], 1)
    b.eq(x[0] * x[0] * x[3] - x[2], 0)
    b.eq(x[3] * x[3] - x[1], 0)


def hs043(b):
    x = b.vars(4, lb=[None] * 4, ub=[None] * 4, start=[0, 0, 0, 0])
    s = [x[i] * x[i] for i in range(4)]
    b.objective(s[0] + s[1] + 2 * s[2] + s[3] - 5 * x[0] - 5 * x[1] - 21 * x[2] + 7 * x[3])
    b.le(s[0] + s[1] + s[2] + s[3] + x[0] - x[1] + x[2] - x[3], 8)
    b.le(s[0] + 2 * s[1] + s[2] + 2 * s[3] - x[0] - x[3], 10)
    b.le(2 * s[0] + s[1] + s[2] + 2 * x[0] - x[1] - x[3], 5)


def hs065(b):
    x = b.vars(3, lb=[-4.5, -4.5, -5], ub=[4.5, 4.5, 5], start=[-5, 5, 0])
    b.objective((x[0] - x[1]) * (x[0] - x[1]) + (x[0] + x[1] - 10) * (x[0] + x[1] - 10) / 9
                + (x[2] - 5) * (x[2] - 5))
    b.le(x[0] * x[0] + x[1] * x[1] + x[2] * x[2], 48)


def hs071(b):
    x = b.vars(4, lb=[1] * 4, ub=[5] * 4, start=[1, 5, 5, 1])
    b.objective(x[0] * x[3] * (x[0] + x[1] + x[2]) + x[2])
    b.ge(x[0] * x[1] * x[2] * x[3], 25)
    b.eq(x[0] * x[0] + x[1] * x[1] + x[2] * x[2] + x[3] * x[3], 40)


def chain(n):
    def build(b):
        x = b.vars(n, lb=[1] + [0] * (n - 1), ub=[10] * n, start=[1] * n)
        b.objective(b.sum(x))
        for i in range(n - 1):
            b.ge(x[i + 1] - 0.3 * x[i] * x[i], 0.6 + 0.1 * math.sin(i))
    return build


# ---- kelvo ------------------------------------------------------------------------------------


class KelvoBuilder:
    def __init__(self):
        self.p = kelvo.problem()
        self.p.controls.outputlog = 0

    def vars(self, n, lb, ub, start):
        inf = kelvo.infinity
        x = [self.p.addVariable(lb=-inf if lo is None else lo, ub=inf if hi is None else hi)
             for lo, hi in zip(lb, ub)]
        for v, s in zip(x, start):
            self.p.chgvar(v, initial=s)
        return x

    def sum(self, x):
        return kelvo.Sum(x)

    def objective(self, e):
        self.p.setObjective(e)

    def le(self, e, r):
        self.p.addConstraint(e <= r)

    def ge(self, e, r):
        self.p.addConstraint(e >= r)

    def eq(self, e, r):
        self.p.addConstraint(e == r)


def kelvo_run(build, engine):
    b = KelvoBuilder()
    build(b)
    b.p.controls.kslp_solver = engine
    t = time.perf_counter()
    b.p.optimize()
    elapsed = time.perf_counter() - t
    return b.p.attributes.kslp_objval, b.p.attributes.kslp_iterations, elapsed


# ---- PyOptInterface ---------------------------------------------------------------------------


class PoiBuilder:
    def __init__(self):
        from pyoptinterface import ipopt

        self.m = ipopt.Model()
        for k, v in {"tol": 1e-8, "constr_viol_tol": 1e-6, "mu_strategy": "monotone", "bound_push": 0.01,
                     "bound_frac": 0.01, "print_level": 0, "sb": "yes"}.items():
            self.m.set_raw_parameter(k, v)
        self.rows = []

    def vars(self, n, lb, ub, start):
        return [self.m.add_variable(lb=-math.inf if lo is None else lo, ub=math.inf if hi is None else hi,
                                    start=min(max(s, lo if lo is not None else -math.inf),
                                              hi if hi is not None else math.inf))
                for lo, hi, s in zip(lb, ub, start)]

    def sum(self, x):
        import pyoptinterface as poi

        e = poi.ExprBuilder()
        for v in x:
            e += v
        return e

    def objective(self, e):
        self.obj = e

    def le(self, e, r):
        self.rows.append((e, "le", r))

    def ge(self, e, r):
        self.rows.append((e, "ge", r))

    def eq(self, e, r):
        self.rows.append((e, "eq", r))


def poi_run(build):
    from pyoptinterface import nl
    import pyoptinterface as poi

    b = PoiBuilder()
    fd, out = tempfile.mkstemp(suffix=".ipopt.txt")
    os.close(fd)
    b.m.set_raw_parameter("output_file", out)
    b.m.set_raw_parameter("file_print_level", 5)
    with nl.graph():
        build(b)
        for e, sense, r in b.rows:
            if sense == "le":
                b.m.add_nl_constraint(e <= r)
            elif sense == "ge":
                b.m.add_nl_constraint(e >= r)
            else:
                b.m.add_nl_constraint(e == r)
        b.m.add_nl_objective(b.obj)
    t = time.perf_counter()
    b.m.optimize()
    elapsed = time.perf_counter() - t
    obj = b.m.get_model_attribute(poi.ModelAttribute.ObjectiveValue)
    iters, _ = ipopt_report(out)
    os.unlink(out)
    return obj, iters, elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--chain", type=int, default=1000, help="variables of the chain model")
    parser.add_argument("--repeat", type=int, default=3, help="solves per figure (the best time is shown)")
    args = parser.parse_args()
    models = [("hs040", hs040), ("hs043", hs043), ("hs065", hs065), ("hs071", hs071),
              (f"chain {args.chain}", chain(args.chain))]
    runners = [("kelvo ipopt", lambda m: kelvo_run(m, 0)), ("kelvo slp", lambda m: kelvo_run(m, 1))]
    try:
        import pyoptinterface.ipopt  # noqa: F401
        from pyoptinterface import nl  # noqa: F401

        runners.append(("poi ipopt", poi_run))  # compiled per build: solved once
    except Exception as e:  # not installed, or without its nonlinear extra
        print(f"pyoptinterface: skipped, not importable ({e})")
    print(f"{'model':12s} {'engine':12s} {'objective':>16s} {'published':>12s} {'iters':>6s} {'solve s':>9s}")
    for name, build in models:
        for label, run in runners:
            best = None
            for _ in range(1 if label.startswith("poi") else args.repeat):
                obj, iters, t = run(build)
                if best is None or t < best[2]:
                    best = (obj, iters, t)
            obj, iters, t = best
            pub = PUBLISHED.get(name)
            print(f"{name:12s} {label:12s} {obj:16.9g} {'' if pub is None else f'{pub:12.9g}':>12s} "
                  f"{'' if iters is None else iters:>6} {t:9.4f}", flush=True)


if __name__ == "__main__":
    main()
