"""Time to build an n x n transport model through the modelling interface.

The model has n supplies and n demands, one variable per pair (n^2 variables), a supply row
per source (sum_j x[i, j] <= s[i]) and a demand row per sink (sum_i x[i, j] >= d[j]), that is
2n rows and 2n^2 non-zeros, and the objective sum c[i, j] * x[i, j]. With n = 1000 that is
10^6 variables, 2000 rows and 2 x 10^6 non-zeros.

kelvo builds it with names (variables and rows) and without; PuLP and Pyomo build the same
model when installed (pip install -r requirements-bench.txt). Each timing covers variables,
rows and objective, up to the point where the model is ready to be solved; for PuLP and Pyomo
that is their own model object (neither hands anything to a solver before solve time), so
their figures are a lower bound of a comparable build.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_transport.py [--n 1000]
"""

import argparse
import gc
import random
import time

import kelvo


def data(n, seed=1):
    rnd = random.Random(seed)
    cost = [[float(rnd.randint(1, 100)) for _ in range(n)] for _ in range(n)]
    supply = [float(n * 10) for _ in range(n)]
    demand = [float(n * 5) for _ in range(n)]
    return cost, supply, demand


def kelvo_build(n, cost, supply, demand, named):
    p = kelvo.problem()
    x = p.addVariables(n, n, name="x" if named else None)
    rows = []
    for i in range(n):
        body = kelvo.Sum(x[i, j] for j in range(n))
        rows.append(kelvo.constraint(body=body, ub=supply[i], name=f"supply_{i}" if named else None))
    for j in range(n):
        body = kelvo.Sum(x[i, j] for i in range(n))
        rows.append(kelvo.constraint(body=body, lb=demand[j], name=f"demand_{j}" if named else None))
    p.addConstraint(rows)
    p.setObjective(kelvo.Sum(cost[i][j] * x[i, j] for i in range(n) for j in range(n)))
    return p


def kelvo_check(p, n):
    assert p.attributes.cols == n * n
    assert p.attributes.rows == 2 * n
    assert p.attributes.elems == 2 * n * n


def pulp_build(n, cost, supply, demand, named):
    import pulp

    m = pulp.LpProblem("transport", pulp.LpMinimize)
    x = [[pulp.LpVariable(f"x_{i}_{j}", lowBound=0) for j in range(n)] for i in range(n)]
    for i in range(n):
        m += pulp.lpSum(x[i][j] for j in range(n)) <= supply[i], f"supply_{i}"
    for j in range(n):
        m += pulp.lpSum(x[i][j] for i in range(n)) >= demand[j], f"demand_{j}"
    m += pulp.lpSum(cost[i][j] * x[i][j] for i in range(n) for j in range(n))
    return m


def pyomo_build(n, cost, supply, demand, named):
    import pyomo.environ as pyo

    m = pyo.ConcreteModel()
    m.I = pyo.RangeSet(0, n - 1)
    m.x = pyo.Var(m.I, m.I, domain=pyo.NonNegativeReals)
    m.supply = pyo.Constraint(m.I, rule=lambda m, i: pyo.quicksum(m.x[i, j] for j in range(n)) <= supply[i])
    m.demand = pyo.Constraint(m.I, rule=lambda m, j: pyo.quicksum(m.x[i, j] for i in range(n)) >= demand[j])
    m.obj = pyo.Objective(expr=pyo.quicksum(cost[i][j] * m.x[i, j] for i in range(n) for j in range(n)))
    return m


def timed(build, *args):
    gc.collect()
    gc.disable()
    try:
        start = time.perf_counter()
        result = build(*args)
        return time.perf_counter() - start, result
    finally:
        gc.enable()


def available(module):
    try:
        __import__(module)
        return True
    except ImportError:
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--n", type=int, default=1000, help="sources and sinks (default 1000)")
    args = parser.parse_args()
    n = args.n
    cost, supply, demand = data(n)
    cases = [("kelvo, named", kelvo_build, True), ("kelvo, unnamed", kelvo_build, False)]
    if available("pulp"):
        cases.append(("PuLP", pulp_build, True))
    if available("pyomo"):
        cases.append(("Pyomo", pyomo_build, True))

    print(f"transport model {n} x {n}: {n * n} variables, {2 * n} rows, {2 * n * n} non-zeros")
    print(f"{'library':<18}{'build (s)':>12}")
    for label, build, named in cases:
        seconds, model = timed(build, n, cost, supply, demand, named)
        if build is kelvo_build:
            kelvo_check(model, n)
        print(f"{label:<18}{seconds:>12.2f}", flush=True)
        del model
    skipped = [m for m in ("pulp", "pyomo") if not available(m)]
    if skipped:
        print("not installed: " + ", ".join(skipped) + " (pip install -r requirements-bench.txt)")


if __name__ == "__main__":
    main()
