"""Time to build n constraints 2*x[i] + 3*x[i+1] - x[i+2] <= b[i] for n = 10^4 and 10^5.

kelvo builds them with the comparison operator and with kelvo.constraint(body=..., type=...,
rhs=...); PuLP and Pyomo build the same constraints over their own variables when they are
installed (pip install -r requirements-bench.txt). Variable creation is not timed, and no
constraint is added to a problem: this measures the modelling objects alone.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_constraints.py [--sizes 10000,100000]
"""

import argparse
import gc
import random
import time

import kelvo

SIZES = (10**4, 10**5)


def kelvo_variables(n):
    p = kelvo.problem()
    return p, [p.addVariable() for _ in range(n + 2)]


def timed(build):
    gc.collect()
    gc.disable()
    try:
        start = time.perf_counter()
        result = build()
        return time.perf_counter() - start, result
    finally:
        gc.enable()


def kelvo_cases(n, b):
    p, x = kelvo_variables(n)

    def with_operator():
        return [2 * x[i] + 3 * x[i + 1] - x[i + 2] <= b[i] for i in range(n)]

    def with_constructor():
        return [kelvo.constraint(body=2 * x[i] + 3 * x[i + 1] - x[i + 2], type=kelvo.leq, rhs=b[i]) for i in range(n)]

    yield "kelvo <=", with_operator
    yield "kelvo constraint()", with_constructor


def pulp_cases(n, b):
    try:
        import pulp
    except ImportError:
        yield "PuLP <=", None
        return
    x = [pulp.LpVariable(f"x{i}") for i in range(n + 2)]
    yield "PuLP <=", lambda: [2 * x[i] + 3 * x[i + 1] - x[i + 2] <= b[i] for i in range(n)]


def pyomo_cases(n, b):
    try:
        import pyomo.environ as pyo
    except ImportError:
        yield "Pyomo <=", None
        return
    m = pyo.ConcreteModel()
    m.x = pyo.Var(range(n + 2))
    yield "Pyomo <=", lambda: [2 * m.x[i] + 3 * m.x[i + 1] - m.x[i + 2] <= b[i] for i in range(n)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default=",".join(map(str, SIZES)))
    sizes = [int(s) for s in parser.parse_args().sizes.split(",")]

    rng = random.Random(1)
    times = {}
    rows = []
    for n in sizes:
        b = [rng.uniform(-10, 10) for _ in range(n)]
        for cases in (kelvo_cases, pulp_cases, pyomo_cases):
            for name, build in cases(n, b):
                if name not in rows:
                    rows.append(name)
                if build is not None:
                    times[name, n], result = timed(build)
                    del result
            gc.collect()

    width = max(len(r) for r in rows)
    print(f"{'build n constraints':<{width}}" + "".join(f"{f'n={n:.0e}':>12}" for n in sizes))
    for name in rows:
        cells = "".join(f"{times[name, n]:>11.3f}s" if (name, n) in times else f"{'-':>12}" for n in sizes)
        print(f"{name:<{width}}{cells}")


if __name__ == "__main__":
    main()
