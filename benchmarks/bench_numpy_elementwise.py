"""Time of NumPy's element-wise operations on arrays of n variables: x + 1, 2 * x and x <= b.

kelvo's npvar arrays (what addVariables returns for integer dimensions) go through the module's
own ufunc loops; the same variables in an object array go through NumPy's generic object loops,
which call the operators one element at a time. gurobipy's matrix variables are shown beside
them when gurobipy is importable (its matrix expressions are not per-element objects).

Each figure is the best of five runs: the first run of an operation also pays for fresh memory
pages, which would otherwise favour whichever case runs second.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_numpy_elementwise.py [--sizes 10000,100000]
"""

import numpy as np

import kelvo
from cases import sizes_from_command_line, timed

SIZES = (10**4, 10**5)
OPERATIONS = {"x + 1": lambda x, b: x + 1, "2 * x": lambda x, b: 2 * x, "x <= b": lambda x, b: x <= b}
# On object arrays NumPy's comparisons return the truth values of the elements, dropping each
# constraint as soon as it is built; asking for objects keeps them, as the npvar loops do.
OBJECT_FORMS = {"x <= b": lambda x, b: np.less_equal(x, b, dtype=object)}


def kelvo_cases(title, op):
    def cases(n, data):
        p = kelvo.problem()
        x = p.addVariables(n)
        o = np.array(list(x), dtype=object)
        b = data
        yield "kelvo npvar", lambda: op(x, b)
        yield "kelvo object array", lambda: OBJECT_FORMS.get(title, op)(o, b)
    return cases


def gurobipy_cases(op):
    def cases(n, data):
        try:
            import gurobipy as gp
        except ImportError:
            yield "gurobipy MVar", None
            return
        env = gp.Env(params={"OutputFlag": 0})
        m = gp.Model(env=env)
        x = m.addMVar(n)
        b = data
        yield "gurobipy MVar", lambda: op(x, b)
    return cases


def best_of(build, repeats=5):
    return min(timed(build)[0] for _ in range(repeats))


def main():
    sizes = sizes_from_command_line(__doc__, SIZES)
    try:
        import gurobipy  # noqa: F401
    except ImportError:
        print("gurobipy is not importable: its rows are left empty")
    rng = np.random.default_rng(1)
    for title, op in OPERATIONS.items():
        times, rows = {}, []
        for n in sizes:
            data = rng.uniform(-10, 10, n)
            for cases in (kelvo_cases(title, op), gurobipy_cases(op)):
                for name, build in cases(n, data):
                    rows.append(name) if name not in rows else None
                    if build is not None:
                        times[name, n] = best_of(build)
        width = max(len(r) for r in rows + [title])
        print(f"{title:<{width}}" + "".join(f"{f'n={n:.0e}':>12}" for n in sizes))
        for name in rows:
            cells = "".join(f"{times[name, n]:>11.4f}s" if (name, n) in times else f"{'-':>12}" for n in sizes)
            print(f"{name:<{width}}{cells}")
        print()


if __name__ == "__main__":
    main()
