"""Build-plus-solve times of the examples scaled up, in kelvo and in PuLP and Pyomo.

Models (random data from a fixed seed, the same for every library):
  transport LP       S sources x D markets, one variable per route (default 200 x 500 = 10^5)
  facility MILP      F depots x C customers, capacitated, fractional assignment (80 x 250)
  knapsack MILP      five weight constraints over N binary items (40; hard for its size)
All three libraries solve with HiGHS: kelvo through its own library, PuLP through pulp.HiGHS
and Pyomo through appsi_highs (both need highspy; pip install -r requirements-bench.txt).
Times are wall-clock seconds for building the model and for the whole solve call, including
each library's translation into the engine. Objectives are printed so that they can be
compared; a library that is missing is reported and skipped.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_solve.py [--scale 1.0]
"""

import argparse
import gc
import random
import time

import kelvo


def transport_data(sources, markets, seed=1):
    rng = random.Random(seed)
    supply = [rng.randint(50, 150) for _ in range(sources)]
    total = sum(supply)
    demand = [total * 0.9 / markets] * markets
    cost = [[rng.uniform(1.0, 20.0) for _ in range(markets)] for _ in range(sources)]
    return supply, demand, cost


def facility_data(depots, customers, seed=2):
    rng = random.Random(seed)
    demand = [rng.randint(5, 35) for _ in range(customers)]
    capacity = [rng.randint(10, 160) * 3 for _ in range(depots)]
    fixed = [rng.randint(300, 700) for _ in range(depots)]
    pos_d = [(rng.random(), rng.random()) for _ in range(depots)]
    pos_c = [(rng.random(), rng.random()) for _ in range(customers)]
    cost = [
        [round(40 * ((a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2) ** 0.5 * d, 2) for b, d in zip(pos_c, demand)]
        for a in pos_d
    ]
    return demand, capacity, fixed, cost


def knapsack_data(items, dims, seed=3):
    rng = random.Random(seed)
    weight = [[rng.randint(10, 100) for _ in range(items)] for _ in range(dims)]
    profit = [sum(weight[k][i] for k in range(dims)) // dims + rng.randint(0, 20) for i in range(items)]
    capacity = [sum(w) // 4 for w in weight]
    return profit, weight, capacity


# ---- kelvo


def kelvo_transport(data):
    supply, demand, cost = data
    S, D = len(supply), len(demand)
    p = kelvo.problem(name="transport")
    x = [[p.addVariable() for _ in range(D)] for _ in range(S)]
    p.addConstraint([kelvo.Sum(x[i]) <= supply[i] for i in range(S)])
    p.addConstraint([kelvo.Sum(x[i][j] for i in range(S)) >= demand[j] for j in range(D)])
    p.setObjective(kelvo.Sum(cost[i][j] * x[i][j] for i in range(S) for j in range(D)))
    return p


def kelvo_facility(data):
    demand, capacity, fixed, cost = data
    F, C = len(capacity), len(demand)
    p = kelvo.problem(name="facility")
    y = [p.addVariable(vartype=kelvo.binary) for _ in range(F)]
    x = [[p.addVariable(ub=1) for _ in range(C)] for _ in range(F)]
    p.addConstraint([kelvo.Sum(x[f][c] for f in range(F)) == 1 for c in range(C)])
    p.addConstraint([kelvo.Sum(demand[c] * x[f][c] for c in range(C)) <= capacity[f] * y[f] for f in range(F)])
    p.addConstraint([x[f][c] <= y[f] for f in range(F) for c in range(C)])
    p.setObjective(kelvo.Sum(fixed[f] * y[f] for f in range(F)) +
                   kelvo.Sum(cost[f][c] * x[f][c] for f in range(F) for c in range(C)))
    return p


def kelvo_knapsack(data):
    profit, weight, capacity = data
    n = len(profit)
    p = kelvo.problem(name="knapsack", sense=kelvo.maximize)
    x = [p.addVariable(vartype=kelvo.binary) for _ in range(n)]
    p.addConstraint([kelvo.Sum(w[i] * x[i] for i in range(n)) <= cap for w, cap in zip(weight, capacity)])
    p.setObjective(kelvo.Sum(profit[i] * x[i] for i in range(n)), sense=kelvo.maximize)
    return p


def kelvo_solve(p):
    p.controls.outputlog = 0
    p.optimize()
    return p.attributes.objval


# ---- PuLP


def pulp_transport(data):
    import pulp

    supply, demand, cost = data
    S, D = len(supply), len(demand)
    m = pulp.LpProblem("transport", pulp.LpMinimize)
    x = [[pulp.LpVariable(f"x_{i}_{j}", lowBound=0) for j in range(D)] for i in range(S)]
    m += pulp.lpSum(cost[i][j] * x[i][j] for i in range(S) for j in range(D))
    for i in range(S):
        m += pulp.lpSum(x[i]) <= supply[i]
    for j in range(D):
        m += pulp.lpSum(x[i][j] for i in range(S)) >= demand[j]
    return m


def pulp_facility(data):
    import pulp

    demand, capacity, fixed, cost = data
    F, C = len(capacity), len(demand)
    m = pulp.LpProblem("facility", pulp.LpMinimize)
    y = [pulp.LpVariable(f"y_{f}", cat="Binary") for f in range(F)]
    x = [[pulp.LpVariable(f"x_{f}_{c}", lowBound=0, upBound=1) for c in range(C)] for f in range(F)]
    m += pulp.lpSum(fixed[f] * y[f] for f in range(F)) + pulp.lpSum(
        cost[f][c] * x[f][c] for f in range(F) for c in range(C))
    for c in range(C):
        m += pulp.lpSum(x[f][c] for f in range(F)) == 1
    for f in range(F):
        m += pulp.lpSum(demand[c] * x[f][c] for c in range(C)) <= capacity[f] * y[f]
        for c in range(C):
            m += x[f][c] <= y[f]
    return m


def pulp_knapsack(data):
    import pulp

    profit, weight, capacity = data
    n = len(profit)
    m = pulp.LpProblem("knapsack", pulp.LpMaximize)
    x = [pulp.LpVariable(f"x_{i}", cat="Binary") for i in range(n)]
    m += pulp.lpSum(profit[i] * x[i] for i in range(n))
    for w, cap in zip(weight, capacity):
        m += pulp.lpSum(w[i] * x[i] for i in range(n)) <= cap
    return m


def pulp_solve(m):
    import pulp

    m.solve(pulp.HiGHS(msg=False))
    return pulp.value(m.objective)


# ---- Pyomo


def pyomo_transport(data):
    import pyomo.environ as pyo

    supply, demand, cost = data
    S, D = len(supply), len(demand)
    m = pyo.ConcreteModel()
    m.x = pyo.Var(range(S), range(D), domain=pyo.NonNegativeReals)
    m.obj = pyo.Objective(expr=pyo.quicksum(cost[i][j] * m.x[i, j] for i in range(S) for j in range(D)))
    m.supply = pyo.Constraint(range(S), rule=lambda m, i: pyo.quicksum(m.x[i, j] for j in range(D)) <= supply[i])
    m.demand = pyo.Constraint(range(D), rule=lambda m, j: pyo.quicksum(m.x[i, j] for i in range(S)) >= demand[j])
    return m


def pyomo_facility(data):
    import pyomo.environ as pyo

    demand, capacity, fixed, cost = data
    F, C = len(capacity), len(demand)
    m = pyo.ConcreteModel()
    m.y = pyo.Var(range(F), domain=pyo.Binary)
    m.x = pyo.Var(range(F), range(C), bounds=(0, 1))
    m.obj = pyo.Objective(expr=pyo.quicksum(fixed[f] * m.y[f] for f in range(F)) + pyo.quicksum(
        cost[f][c] * m.x[f, c] for f in range(F) for c in range(C)))
    m.assign = pyo.Constraint(range(C), rule=lambda m, c: pyo.quicksum(m.x[f, c] for f in range(F)) == 1)
    m.cap = pyo.Constraint(
        range(F), rule=lambda m, f: pyo.quicksum(demand[c] * m.x[f, c] for c in range(C)) <= capacity[f] * m.y[f])
    m.link = pyo.Constraint(range(F), range(C), rule=lambda m, f, c: m.x[f, c] <= m.y[f])
    return m


def pyomo_knapsack(data):
    import pyomo.environ as pyo

    profit, weight, capacity = data
    n = len(profit)
    m = pyo.ConcreteModel()
    m.x = pyo.Var(range(n), domain=pyo.Binary)
    m.obj = pyo.Objective(expr=pyo.quicksum(profit[i] * m.x[i] for i in range(n)), sense=pyo.maximize)
    m.cap = pyo.Constraint(range(len(weight)),
                           rule=lambda m, k: pyo.quicksum(weight[k][i] * m.x[i] for i in range(n)) <= capacity[k])
    return m


def pyomo_solve(m):
    import pyomo.environ as pyo

    solver = pyo.SolverFactory("appsi_highs")
    solver.solve(m)
    return pyo.value(m.obj)


LIBRARIES = {
    "kelvo": (kelvo_solve, {"transport": kelvo_transport, "facility": kelvo_facility, "knapsack": kelvo_knapsack}),
    "PuLP": (pulp_solve, {"transport": pulp_transport, "facility": pulp_facility, "knapsack": pulp_knapsack}),
    "Pyomo": (pyomo_solve, {"transport": pyomo_transport, "facility": pyomo_facility, "knapsack": pyomo_knapsack}),
}


def timed(fn, *args):
    gc.collect()
    start = time.perf_counter()
    result = fn(*args)
    return time.perf_counter() - start, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scale", type=float, default=1.0, help="multiplies every model size")
    parser.add_argument("--libraries", default="kelvo,PuLP,Pyomo")
    args = parser.parse_args()
    s = args.scale
    models = {
        "transport": (f"{int(200 * s)}x{int(500 * s)} LP", transport_data(int(200 * s), int(500 * s))),
        "facility": (f"{int(80 * s)}x{int(250 * s)} MILP", facility_data(int(80 * s), int(250 * s))),
        "knapsack": (f"{int(40 * s)} items x 5 MILP", knapsack_data(int(40 * s), 5)),
    }
    print(f"{'model':28s} {'library':8s} {'build s':>9s} {'solve s':>9s} {'total s':>9s} {'objective':>16s}",
          flush=True)
    for name, (label, data) in models.items():
        for lib in args.libraries.split(","):
            solve, builders = LIBRARIES[lib]
            try:
                build_time, model = timed(builders[name], data)
                solve_time, objective = timed(solve, model)
            except ImportError as e:
                print(f"{name + ' ' + label:28s} {lib:8s} skipped: {e}")
                continue
            del model
            print(f"{name + ' ' + label:28s} {lib:8s} {build_time:9.2f} {solve_time:9.2f} "
                  f"{build_time + solve_time:9.2f} {objective:16.6f}", flush=True)


if __name__ == "__main__":
    main()
