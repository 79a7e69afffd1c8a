"""Time to build n constraints 2*x[i] + 3*x[i+1] - x[i+2] <= b[i] for n = 10^4 and 10^5.

kelvo builds them with the comparison operator and with kelvo.constraint(body=..., type=...,
rhs=...); PuLP and Pyomo build the same constraints over their own variables when they are
installed (pip install -r requirements-bench.txt). Variable creation is not timed, and no
constraint is added to a problem: this measures the modelling objects alone.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_constraints.py [--sizes 10000,100000]
"""


import kelvo
from cases import run_table, sizes_from_command_line

SIZES = (10**4, 10**5)


def kelvo_variables(n):
    p = kelvo.problem()
    return p, [p.addVariable() for _ in range(n + 2)]


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
    sizes = sizes_from_command_line(__doc__, SIZES)
    run_table("build n constraints", sizes, (kelvo_cases, pulp_cases, pyomo_cases))


if __name__ == "__main__":
    main()
