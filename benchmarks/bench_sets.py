"""Time to add n special ordered sets of type 2 over four variables each (the breakpoint
weights of a piecewise-linear function), and n indicator constraints b[i] == 1 -> x[i] <= c[i],
for n = 10^4 and 10^5.

kelvo adds them with problem.addSOS and problem.addIndicator; gurobipy (addSOS,
addGenConstrIndicator, with the model update that makes them part of it) and PySCIPOpt
(addConsSOS2, addConsIndicator) add the same ones when they are installed
(pip install -r requirements-bench.txt). Variable creation is not timed.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_sets.py [--sizes 10000,100000]
"""

import kelvo
from cases import run_table, sizes_from_command_line

SIZES = (10**4, 10**5)
WEIGHTS = [0.0, 10.0, 20.0, 30.0]


def kelvo_cases(n, c):
    p = kelvo.problem()
    lam = [[p.addVariable(ub=1) for _ in WEIGHTS] for _ in range(n)]
    yield "kelvo addSOS", lambda: [p.addSOS(members, WEIGHTS, type=2) for members in lam]
    q = kelvo.problem()
    x = [q.addVariable() for _ in range(n)]
    b = [q.addVariable(vartype=kelvo.binary) for _ in range(n)]
    yield "kelvo addIndicator", lambda: [q.addIndicator(b[i] == 1, x[i] <= c[i]) for i in range(n)]


def gurobi_cases(n, c):
    try:
        import gurobipy as gp
    except ImportError:
        print("note: gurobipy is not installed; its rows are left empty")
        yield "gurobipy addSOS", None
        yield "gurobipy indicator", None
        return
    m = gp.Model()
    m.Params.OutputFlag = 0
    lam = [[m.addVar(ub=1) for _ in WEIGHTS] for _ in range(n)]
    m.update()

    def sets():
        for members in lam:
            m.addSOS(gp.GRB.SOS_TYPE2, members, WEIGHTS)
        m.update()

    yield "gurobipy addSOS", sets
    mi = gp.Model()
    mi.Params.OutputFlag = 0
    x = [mi.addVar() for _ in range(n)]
    b = [mi.addVar(vtype=gp.GRB.BINARY) for _ in range(n)]
    mi.update()

    def indicators():
        for i in range(n):
            mi.addGenConstrIndicator(b[i], True, x[i] <= c[i])
        mi.update()

    yield "gurobipy indicator", indicators


def scip_cases(n, c):
    try:
        import pyscipopt
    except ImportError:
        print("note: PySCIPOpt is not installed; its rows are left empty")
        yield "PySCIPOpt addConsSOS2", None
        yield "PySCIPOpt addConsIndicator", None
        return
    m = pyscipopt.Model()
    lam = [[m.addVar(ub=1) for _ in WEIGHTS] for _ in range(n)]
    yield "PySCIPOpt addConsSOS2", lambda: [m.addConsSOS2(members, WEIGHTS) for members in lam]
    mi = pyscipopt.Model()
    x = [mi.addVar() for _ in range(n)]
    b = [mi.addVar(vtype="B") for _ in range(n)]
    yield "PySCIPOpt addConsIndicator", lambda: [mi.addConsIndicator(x[i] <= c[i], binvar=b[i]) for i in range(n)]


def main():
    sizes = sizes_from_command_line(__doc__, SIZES)
    run_table("add n sets or indicators", sizes, (kelvo_cases, gurobi_cases, scip_cases))


if __name__ == "__main__":
    main()
