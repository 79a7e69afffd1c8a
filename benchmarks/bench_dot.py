"""Time to build A x <= b from a matrix A and add its rows to a problem.

Two cases: A dense 1000 x 1000 with x of 1000 variables, and A a SciPy CSR matrix of 10^4
rows and 10^6 non-zeros with x of 10^5 variables. kelvo builds the rows with kelvo.Dot and
adds them with addConstraint; the peers use their matrix forms: gurobipy's addMVar with
A @ x <= b (building only; its size-limited licence solves nothing this large),
PyOptInterface's add_m_linear_constraints and highspy's addRows on the CSR arrays. Variable
creation is not timed. Each figure is the best of --repeat runs, with the collector off, in
wall time and in CPU time of the process.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_dot.py [--repeat 3]
"""

import argparse
import gc
import time

import numpy as np
import scipy.sparse as sp

import kelvo

N_DENSE = 1000
ROWS, COLS, PER_ROW = 10**4, 10**5, 100


def dense_case(rng):
    return rng.uniform(-1, 1, (N_DENSE, N_DENSE)), rng.uniform(0, 10, N_DENSE)


def sparse_case(rng):
    # Distinct sorted columns per row, 100 per row.
    indices = np.empty((ROWS, PER_ROW), dtype=np.int32)
    for i in range(ROWS):
        indices[i] = np.sort(rng.choice(COLS, PER_ROW, replace=False))
    indptr = np.arange(0, ROWS * PER_ROW + 1, PER_ROW, dtype=np.int32)
    A = sp.csr_matrix((rng.uniform(-1, 1, ROWS * PER_ROW), indices.ravel(), indptr), shape=(ROWS, COLS))
    return A, rng.uniform(0, 10, ROWS)


def less_equal(e, b):
    # An array of kelvo.expression elements compares element by element into constraints;
    # NumPy's plain object arrays give truth values unless asked for objects.
    return e <= b if e.dtype != object else np.less_equal(e, b, dtype=object)


def kelvo_build(A, b):
    p = kelvo.problem()
    x = np.array([p.addVariable() for _ in range(A.shape[1])], dtype=object)
    return lambda: p.addConstraint(less_equal(kelvo.Dot(A, x), b))


def gurobi_build(A, b):
    import gurobipy as gp

    m = gp.Model(env=gurobi_build.env)
    x = m.addMVar(A.shape[1])

    def build():
        m.addConstr(A @ x <= b)
        m.update()

    return build


def poi_build(A, b):
    import pyoptinterface as poi

    m = poi_build.highs.Model()
    x = m.add_m_variables(A.shape[1])
    matrix = sp.csr_array(A) if sp.issparse(A) else A
    return lambda: m.add_m_linear_constraints(matrix, x, poi.Leq, b)


def highspy_build(A, b):
    import highspy

    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    n = A.shape[1]
    h.addVars(n, np.zeros(n), np.full(n, highspy.kHighsInf))
    S = sp.csr_matrix(A)

    def build():
        h.addRows(S.shape[0], np.full(S.shape[0], -highspy.kHighsInf), b, S.nnz, S.indptr[:-1], S.indices, S.data)

    return build


def available_peers():
    peers = [("kelvo Dot", kelvo_build)]
    try:
        import gurobipy as gp

        gurobi_build.env = gp.Env(params={"OutputFlag": 0})
        peers.append(("gurobipy A @ x <= b", gurobi_build))
    except Exception as e:  # not installed, or no licence
        print(f"note: gurobipy skipped ({e})")
    try:
        from pyoptinterface import highs

        if not highs.is_library_loaded():
            # kelvo has loaded a HiGHS library already: hand PyOptInterface the same one.
            with open("/proc/self/maps") as maps:
                paths = {line.split()[-1] for line in maps if "libhighs.so" in line}
            if not any(highs.load_library(path) for path in sorted(paths)):
                raise RuntimeError("no HiGHS library found")
        poi_build.highs = highs
        peers.append(("PyOptInterface add_m_linear_constraints", poi_build))
    except Exception as e:
        print(f"note: PyOptInterface skipped ({e})")
    try:
        import highspy  # noqa: F401

        peers.append(("highspy addRows (CSR arrays)", highspy_build))
    except Exception as e:
        print(f"note: highspy skipped ({e})")
    return peers


def timed_both(build):
    """(wall seconds, CPU seconds of this process) of one build, with the collector off."""
    gc.collect()
    gc.disable()
    try:
        wall, cpu = time.perf_counter(), time.process_time()
        build()
        return time.perf_counter() - wall, time.process_time() - cpu
    finally:
        gc.enable()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=3)
    repeat = parser.parse_args().repeat
    rng = np.random.default_rng(1)
    cases = [("dense 1000 x 1000", dense_case(rng)), ("CSR 10^4 x 10^5, 10^6 nnz", sparse_case(rng))]
    peers = available_peers()
    times = {}
    for case, (A, b) in cases:
        for name, make in peers:
            best = [float("inf"), float("inf")]
            for _ in range(repeat):
                build = make(A, b)
                best = [min(t, u) for t, u in zip(best, timed_both(build))]
                del build
            times[name, case] = best
    width = max(len(name) for name, _ in peers) + 8
    # On a shared machine wall time includes waiting for a core; CPU time does not.
    for k, clock in enumerate(("wall", "CPU")):
        print(f"{'build A x <= b, add the rows (' + clock + ')':<{width}}" + "".join(f"{c:>30}" for c, _ in cases))
        for name, _ in peers:
            print(f"{name:<{width}}" + "".join(f"{times[name, c][k]:>29.3f}s" for c, _ in cases))
        if len(peers) > 1:
            ratios = [times[peers[0][0], c][k] / min(times[name, c][k] for name, _ in peers[1:]) for c, _ in cases]
            print(f"{'kelvo / fastest peer':<{width}}" + "".join(f"{r:>29.2f}x" for r in ratios))
        print()


if __name__ == "__main__":
    main()
