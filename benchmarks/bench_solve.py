"""Build-plus-solve times of the examples scaled up, in kelvo, highspy, PuLP and Pyomo.

Models (random data from a fixed seed, the same for every library):
  transport LP       S sources x D markets, one variable per route (default 200 x 500 = 10^5)
  facility MILP      F depots x C customers, capacitated, fractional assignment (80 x 250)
  knapsack MILP      five weight constraints over N binary items (40; hard for its size)
  set-cover MILP     R rows over N binary columns, each row covering a few random columns,
                     integer costs (200 x 300; branches for a few seconds)
Every library solves with HiGHS: kelvo through its own library, highspy directly, PuLP through
pulp.HiGHS and Pyomo through appsi_highs (pip install -r requirements-bench.txt).
Times are wall-clock seconds for building the model and for the whole solve call, including
each library's translation into the engine. Objectives are printed so that they can be
compared; a library that is missing is reported and skipped.

kelvo and highspy hand HiGHS the same model in the same order with the same options, so their
MILPs must explore the same number of nodes (shown where the library reports it): the search is
deterministic, which makes the node count a load-independent check that kelvo passes exactly
what HiGHS gets by itself. --repeat N builds and solves N times and keeps the fastest; the CPU
seconds of the solve are shown too, as they suffer less than the wall clock from other load.

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


def set_cover_data(rows, cols, seed=6):
    rng = random.Random(seed)
    cost = [rng.randint(5, 25) for _ in range(cols)]
    cover = [rng.sample(range(cols), rng.randint(4, 8)) for _ in range(rows)]
    return cost, cover


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


def kelvo_set_cover(data):
    cost, cover = data
    p = kelvo.problem(name="setcover")
    x = [p.addVariable(vartype=kelvo.binary) for _ in cost]
    p.addConstraint([kelvo.Sum(x[j] for j in row) >= 1 for row in cover])
    p.setObjective(kelvo.Sum(c * v for c, v in zip(cost, x)))
    return p


def kelvo_solve(p):
    p.controls.outputlog = 0
    p.optimize()
    nodes = p.attributes.nodes if p.attributes.mipents else None
    return p.attributes.objval, nodes


# ---- highspy


def new_highs():
    import highspy

    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    return h


def highspy_transport(data):
    supply, demand, cost = data
    S, D = len(supply), len(demand)
    h = new_highs()
    x = [[h.addVariable(obj=cost[i][j]) for j in range(D)] for i in range(S)]
    for i in range(S):
        h.addConstr(h.qsum(x[i]) <= supply[i])
    for j in range(D):
        h.addConstr(h.qsum(x[i][j] for i in range(S)) >= demand[j])
    return h


def highspy_facility(data):
    demand, capacity, fixed, cost = data
    F, C = len(capacity), len(demand)
    h = new_highs()
    y = [h.addBinary(obj=fixed[f]) for f in range(F)]
    x = [[h.addVariable(ub=1, obj=cost[f][c]) for c in range(C)] for f in range(F)]
    for c in range(C):
        h.addConstr(h.qsum(x[f][c] for f in range(F)) == 1)
    for f in range(F):
        h.addConstr(h.qsum(demand[c] * x[f][c] for c in range(C)) <= capacity[f] * y[f])
    for f in range(F):
        for c in range(C):
            h.addConstr(x[f][c] <= y[f])
    return h


def highspy_knapsack(data):
    profit, weight, capacity = data
    n = len(profit)
    h = new_highs()
    x = [h.addBinary(obj=profit[i]) for i in range(n)]
    for w, cap in zip(weight, capacity):
        h.addConstr(h.qsum(w[i] * x[i] for i in range(n)) <= cap)
    h.setMaximize()
    return h


def highspy_set_cover(data):
    cost, cover = data
    h = new_highs()
    x = [h.addBinary(obj=c) for c in cost]
    for row in cover:
        h.addConstr(h.qsum(x[j] for j in row) >= 1)
    return h


def highspy_solve(h):
    h.run()
    info = h.getInfo()
    nodes = info.mip_node_count if h.getNumCol() and h.getLp().integrality_ else None
    return info.objective_function_value, nodes


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


def pulp_set_cover(data):
    import pulp

    cost, cover = data
    m = pulp.LpProblem("setcover", pulp.LpMinimize)
    x = [pulp.LpVariable(f"x_{j}", cat="Binary") for j in range(len(cost))]
    m += pulp.lpSum(c * v for c, v in zip(cost, x))
    for row in cover:
        m += pulp.lpSum(x[j] for j in row) >= 1
    return m


def pulp_solve(m):
    import pulp

    m.solve(pulp.HiGHS(msg=False))
    return pulp.value(m.objective), None


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


def pyomo_set_cover(data):
    import pyomo.environ as pyo

    cost, cover = data
    m = pyo.ConcreteModel()
    m.x = pyo.Var(range(len(cost)), domain=pyo.Binary)
    m.obj = pyo.Objective(expr=pyo.quicksum(c * m.x[j] for j, c in enumerate(cost)))
    m.cover = pyo.Constraint(range(len(cover)), rule=lambda m, i: pyo.quicksum(m.x[j] for j in cover[i]) >= 1)
    return m


def pyomo_solve(m):
    import pyomo.environ as pyo

    solver = pyo.SolverFactory("appsi_highs")
    solver.solve(m)
    return pyo.value(m.obj), None


LIBRARIES = {
    "kelvo": (kelvo_solve, {"transport": kelvo_transport, "facility": kelvo_facility, "knapsack": kelvo_knapsack,
                            "setcover": kelvo_set_cover}),
    "highspy": (highspy_solve, {"transport": highspy_transport, "facility": highspy_facility,
                                "knapsack": highspy_knapsack, "setcover": highspy_set_cover}),
    "PuLP": (pulp_solve, {"transport": pulp_transport, "facility": pulp_facility, "knapsack": pulp_knapsack,
                          "setcover": pulp_set_cover}),
    "Pyomo": (pyomo_solve, {"transport": pyomo_transport, "facility": pyomo_facility, "knapsack": pyomo_knapsack,
                            "setcover": pyomo_set_cover}),
}


def timed(fn, *args):
    """Wall-clock and CPU seconds of one call (CPU time of every thread of the process: under
    load from other programs it moves far less than the wall clock) and its result."""
    gc.collect()
    start, cpu = time.perf_counter(), time.process_time()
    result = fn(*args)
    return time.perf_counter() - start, time.process_time() - cpu, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scale", type=float, default=1.0, help="multiplies every model size")
    parser.add_argument("--libraries", default="kelvo,highspy,PuLP,Pyomo")
    parser.add_argument("--models", default="transport,facility,knapsack,setcover")
    parser.add_argument("--repeat", type=int, default=1, help="solves per library; the fastest is shown")
    args = parser.parse_args()
    s = args.scale
    models = {
        "transport": (f"{int(200 * s)}x{int(500 * s)} LP", transport_data(int(200 * s), int(500 * s))),
        "facility": (f"{int(80 * s)}x{int(250 * s)} MILP", facility_data(int(80 * s), int(250 * s))),
        "knapsack": (f"{int(40 * s)} items x 5 MILP", knapsack_data(int(40 * s), 5)),
        "setcover": (f"{int(200 * s)}x{int(300 * s)} MILP", set_cover_data(int(200 * s), int(300 * s))),
    }
    # kelvo's library links the HiGHS that highspy ships: both run the very same engine.
    from importlib import metadata

    print(f"HiGHS {metadata.version('highspy')} (highspy's library, linked by kelvo too)")
    print(f"{'model':28s} {'library':8s} {'build s':>9s} {'solve s':>9s} {'total s':>9s} {'solve cpu':>9s} "
          f"{'objective':>16s} {'nodes':>7s}", flush=True)
    for name in args.models.split(","):
        label, data = models[name]
        for lib in args.libraries.split(","):
            solve, builders = LIBRARIES[lib]
            build_time = solve_time = solve_cpu = float("inf")
            try:
                for _ in range(max(1, args.repeat)):
                    seconds, _, model = timed(builders[name], data)
                    build_time = min(build_time, seconds)
                    seconds, cpu, (objective, nodes) = timed(solve, model)
                    solve_time, solve_cpu = min(solve_time, seconds), min(solve_cpu, cpu)
                    del model
            except ImportError as e:
                print(f"{name + ' ' + label:28s} {lib:8s} skipped: {e}")
                continue
            print(f"{name + ' ' + label:28s} {lib:8s} {build_time:9.2f} {solve_time:9.2f} "
                  f"{build_time + solve_time:9.2f} {solve_cpu:9.2f} {objective:16.6f} "
                  f"{'-' if nodes is None else nodes:>7}", flush=True)


if __name__ == "__main__":
    main()
