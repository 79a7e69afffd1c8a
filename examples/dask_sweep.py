"""Scenario sweep on Dask: one transport model solved for 100 demand levels on a cluster.

The model is built once. Dask sends it to every worker once (a problem pickles as the library's
snapshot); each task copies it, sets its scenario's demands and solves with the interpreter lock
released, so a worker's other threads keep running. The results come back as one table, the
same as a serial loop gives. The same code runs on a cluster of many machines: pass the
scheduler's address instead of starting a local cluster.

    pip install kelvo[dask]
    python examples/dask_sweep.py [--workers 2] [--scenarios 100] [--scheduler ADDRESS]
"""

import argparse
import copy
import random
import time

import kelvo


def build(plants=40, markets=150, seed=7):
    """A transport LP: plant capacities, market demands (rows plants .. plants+markets-1) and
    per-unit costs drawn from a seeded generator, so every process builds the same model."""
    rnd = random.Random(seed)
    p = kelvo.problem(name="sweep")
    ship = [[p.addVariable(name=f"s_{i}_{j}") for j in range(markets)] for i in range(plants)]
    demand = [rnd.uniform(10, 100) for _ in range(markets)]
    capacity = [1.4 * sum(demand) / plants * rnd.uniform(0.8, 1.2) for _ in range(plants)]
    p.addConstraint([kelvo.Sum(ship[i]) <= capacity[i] for i in range(plants)])
    p.addConstraint([kelvo.Sum(ship[i][j] for i in range(plants)) >= demand[j] for j in range(markets)])
    p.setObjective(kelvo.Sum(rnd.uniform(1, 20) * ship[i][j] for i in range(plants) for j in range(markets)))
    p.controls.outputlog = 0
    p.controls.threads = 1  # one core per task: the cluster provides the parallelism
    return p, list(range(plants, plants + markets)), demand


def scenario_demand(demand, k, scenarios):
    """Scenario k scales every demand from 70% up to 100% of the base."""
    return [d * (0.7 + 0.3 * k / max(1, scenarios - 1)) for d in demand]


def solve_scenario(base, rows, demand, k, scenarios):
    """One row of the table. The problem is copied: tasks on one worker share the object Dask
    unpickled there."""
    p = copy.copy(base)
    p.chgrhs(rows, scenario_demand(demand, k, scenarios))
    _, status = p.optimize()
    return {"scenario": k, "status": status.name.lower(), "cost": p.attributes.objval}


def sweep_serial(model, scenarios):
    base, rows, demand = model
    return [solve_scenario(base, rows, demand, k, scenarios) for k in range(scenarios)]


def sweep_dask(client, model, scenarios):
    base, rows, demand = model
    # Sent once to each worker rather than once per task.
    shared = client.scatter([base, rows, demand], broadcast=True)
    futures = [client.submit(solve_scenario, *shared, k, scenarios, pure=False) for k in range(scenarios)]
    return sorted(client.gather(futures), key=lambda row: row["scenario"])


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--workers", type=int, default=2)
    ap.add_argument("--scenarios", type=int, default=100)
    ap.add_argument("--scheduler", help="address of a running Dask scheduler (default: a local cluster)")
    args = ap.parse_args()
    from dask.distributed import Client, LocalCluster

    model = build()
    t0 = time.perf_counter()
    serial = sweep_serial(model, args.scenarios)
    t_serial = time.perf_counter() - t0

    if args.scheduler:
        client = Client(args.scheduler)
    else:
        client = Client(LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True))
    with client:
        client.wait_for_workers(args.workers)
        client.run(__import__, "kelvo")  # each worker's one-time import stays out of the timing
        t0 = time.perf_counter()
        table = sweep_dask(client, model, args.scenarios)
        t_dask = time.perf_counter() - t0

    print(f"{'scenario':>8} {'status':>8} {'cost':>14}")
    for row in table[:: max(1, args.scenarios // 10)]:
        print(f"{row['scenario']:>8} {row['status']:>8} {row['cost']:>14.4f}")
    same = all(a["cost"] == b["cost"] and a["status"] == b["status"] for a, b in zip(serial, table))
    print(f"{args.scenarios} scenarios: serial {t_serial:.2f} s, Dask on {args.workers} workers {t_dask:.2f} s, "
          f"speed-up {t_serial / t_dask:.2f}x; same results as the serial loop: {same}")


if __name__ == "__main__":
    main()
