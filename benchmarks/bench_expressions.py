"""Time to build the linear expression sum(c[i] * x[i]) for n = 10^4, 10^5 and 10^6.

kelvo builds it with Sum, with += in a loop and with Python's sum; PuLP (lpSum) and Pyomo
(quicksum) build the same expression over their own variables when they are installed
(pip install -r requirements-bench.txt). Variable creation is not timed. Python's sum copies
the growing expression at every step, so it is quadratic and only run for the smallest n.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_expressions.py [--sizes 10000,100000]
"""


import kelvo
from cases import run_table, sizes_from_command_line

SIZES = (10**4, 10**5, 10**6)
PYTHON_SUM_LIMIT = 10**4


def kelvo_variables(n):
    p = kelvo.problem()
    return p, [p.addVariable() for _ in range(n)]


def kelvo_cases(n, c):
    _, x = kelvo_variables(n)

    def with_sum():
        return kelvo.Sum(c[i] * x[i] for i in range(n))

    def with_iadd():
        e = kelvo.expression()
        for i in range(n):
            e += c[i] * x[i]
        return e

    def with_python_sum():
        return sum(c[i] * x[i] for i in range(n))

    yield "kelvo Sum", with_sum
    yield "kelvo +=", with_iadd
    yield "kelvo sum()", with_python_sum if n <= PYTHON_SUM_LIMIT else None


def pulp_cases(n, c):
    try:
        import pulp
    except ImportError:
        yield "PuLP lpSum", None
        return
    x = [pulp.LpVariable(f"x{i}") for i in range(n)]
    yield "PuLP lpSum", lambda: pulp.lpSum(c[i] * x[i] for i in range(n))


def pyomo_cases(n, c):
    try:
        import pyomo.environ as pyo
    except ImportError:
        yield "Pyomo quicksum", None
        return
    m = pyo.ConcreteModel()
    m.x = pyo.Var(range(n))
    yield "Pyomo quicksum", lambda: pyo.quicksum(c[i] * m.x[i] for i in range(n))


def main():
    sizes = sizes_from_command_line(__doc__, SIZES)
    times = run_table("build sum(c[i]*x[i])", sizes, (kelvo_cases, pulp_cases, pyomo_cases))
    if 10**5 in sizes and 10**6 in sizes:
        ratio = times["kelvo Sum", 10**6] / times["kelvo Sum", 10**5]
        print(f"kelvo Sum, time for 10^6 over time for 10^5: {ratio:.1f} (linear: 10; limit 12)")


if __name__ == "__main__":
    main()
