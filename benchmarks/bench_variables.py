"""Time to create n variables, in bulk and one call at a time, with kelvo and with other
Python modelling libraries, side by side in one run.

    PYTHONPATH=build/dev/python .venv/bin/python benchmarks/bench_variables.py
    ... bench_variables.py --sizes 10000 100000 --repeat 3

Every entry creates n continuous variables with bounds [0, inf) in a fresh model; bulk entries
name them the way the library does by default. Libraries that are not installed
(requirements-bench.txt lists them) are reported as missing. The last column gives the time per
variable: flat figures down a column mean time linear in the count. Named bulk creation adds
the making of the names and one insertion per name into the library's name index; the unnamed
entry shows the cost of the columns and objects alone. At a million variables a good part of
either is the kernel handing the process fresh memory.
"""
import argparse
import gc
import time

import kelvo


def kelvo_bulk(n):
    p = kelvo.problem()
    t0 = time.perf_counter()
    p.addVariables(n)
    return time.perf_counter() - t0


def kelvo_bulk_unnamed(n):
    p = kelvo.problem()
    t0 = time.perf_counter()
    p.addVariables(n, name="")
    return time.perf_counter() - t0


def kelvo_loop(n):
    p = kelvo.problem()
    add = p.addVariable
    t0 = time.perf_counter()
    for _ in range(n):
        add()
    return time.perf_counter() - t0


def highspy_bulk(n):
    import highspy

    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    t0 = time.perf_counter()
    h.addVariables(n)
    return time.perf_counter() - t0


def highspy_loop(n):
    import highspy

    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    add = h.addVariable
    t0 = time.perf_counter()
    for _ in range(n):
        add(lb=0)
    return time.perf_counter() - t0


def pulp_bulk(n):
    import pulp

    t0 = time.perf_counter()
    pulp.LpVariable.dicts("x", range(n), lowBound=0)
    return time.perf_counter() - t0


def pulp_loop(n):
    import pulp

    t0 = time.perf_counter()
    for i in range(n):
        pulp.LpVariable("x%d" % i, lowBound=0)
    return time.perf_counter() - t0


def pyomo_bulk(n):
    import pyomo.environ as pe

    m = pe.ConcreteModel()
    t0 = time.perf_counter()
    m.x = pe.Var(range(n), domain=pe.NonNegativeReals)
    return time.perf_counter() - t0


def pyomo_loop(n):
    import pyomo.environ as pe

    m = pe.ConcreteModel()
    m.x = pe.VarList(domain=pe.NonNegativeReals)
    add = m.x.add
    t0 = time.perf_counter()
    for _ in range(n):
        add()
    return time.perf_counter() - t0


ENTRIES = [
    ("kelvo", "addVariables(n)", kelvo_bulk, None),
    ("kelvo", "addVariables(n, name='')", kelvo_bulk_unnamed, None),
    ("kelvo", "addVariable() x n", kelvo_loop, None),
    ("highspy", "addVariables(n)", highspy_bulk, "highspy"),
    ("highspy", "addVariable() x n", highspy_loop, "highspy"),
    ("PuLP", "LpVariable.dicts", pulp_bulk, "pulp"),
    ("PuLP", "LpVariable() x n", pulp_loop, "pulp"),
    ("Pyomo", "Var(range(n))", pyomo_bulk, "pyomo.environ"),
    ("Pyomo", "VarList.add() x n", pyomo_loop, "pyomo.environ"),
]


def available(module):
    if module is None:
        return True
    try:
        __import__(module)
        return True
    except ImportError:
        return False


def best_of(fn, n, repeat):
    best = float("inf")
    for _ in range(repeat):
        gc.collect()
        best = min(best, fn(n))
    return best


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sizes", type=int, nargs="+", default=[10_000, 100_000, 1_000_000])
    ap.add_argument("--repeat", type=int, default=1, help="best of this many runs per entry")
    ap.add_argument("--loop-max", type=int, default=1_000_000, help="skip one-at-a-time entries above this count")
    args = ap.parse_args()

    print("%-8s %-26s %10s %12s %12s" % ("library", "call", "n", "seconds", "ns/variable"))
    print("-" * 72)
    for n in args.sizes:
        for library, label, fn, module in ENTRIES:
            if not available(module):
                print("%-8s %-26s %10d %12s %12s" % (library, label, n, "missing", "-"))
                continue
            if " x n" in label and n > args.loop_max:
                print("%-8s %-26s %10d %12s %12s" % (library, label, n, "skipped", "-"))
                continue
            seconds = best_of(fn, n, args.repeat)
            print("%-8s %-26s %10d %12.4f %12.0f" % (library, label, n, seconds, seconds / n * 1e9), flush=True)
        print()


if __name__ == "__main__":
    main()
