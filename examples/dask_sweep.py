"""Scenario sweep on Dask: one transport model solved for 100 demand levels on a cluster.

The model is built once. Dask sends it to every worker once (a problem pickles as the library's
snapshot); each task copies it, sets its scenario's demands and solves with the interpreter lock
released, so a worker's other threads keep running. The results come back as one table, the
same as a serial loop gives. The same code runs on a cluster of many machines: pass the
scheduler's address instead of starting a local cluster.

On Linux the scheduler shares the processor between sessions (autogroups) before it shares it
between processes: workers started from one terminal split that terminal's share, so on a busy
machine two of them run no faster than one process. The local cluster's workers therefore each
open a session of their own, as the workers of a real cluster, started as services, have. And
Dask's workers ask the C library to hand freed memory back at once (MALLOC_TRIM_THRESHOLD_),
which maps and unmaps afresh every large block a solve allocates and costs up to half again as
much processor time per solve (more the bigger the model); the local cluster's workers keep the
library's default.

    pip install kelvo[dask]
    python examples/dask_sweep.py [--workers 2] [--scenarios 100] [--plants 40 --markets 150]
                                  [--scheduler ADDRESS]
"""

import argparse
import contextlib
import copy
import os
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


def own_session():
    """Moves this worker process into a session of its own; the name of its scheduling group,
    or None where the system has no sessions or no groups."""
    try:
        os.setsid()
        with open("/proc/self/autogroup", encoding="ascii") as f:
            return f.read().split()[0]
    except (AttributeError, OSError):
        return None


def local_cluster(workers):
    """A Dask cluster of worker processes on this machine, one thread each."""
    import dask
    from dask.distributed import LocalCluster

    with dask.config.set({"distributed.nanny.pre-spawn-environ.MALLOC_TRIM_THRESHOLD_": None}):
        return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None)


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
    ap.add_argument("--plants", type=int, default=40)
    ap.add_argument("--markets", type=int, default=150)
    ap.add_argument("--scheduler", help="address of a running Dask scheduler (default: a local cluster)")
    args = ap.parse_args()
    from dask.distributed import Client

    model = build(args.plants, args.markets)
    t0 = time.perf_counter()
    serial = sweep_serial(model, args.scenarios)
    t_serial = time.perf_counter() - t0

    with contextlib.ExitStack() as stack:
        if args.scheduler:
            client = stack.enter_context(Client(args.scheduler))
        else:
            client = stack.enter_context(Client(stack.enter_context(local_cluster(args.workers))))
            client.run(own_session)
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
