"""Matrix-level input and output: addrows of 10^5 rows x 10 non-zeros (10^6 entries over 10^5
columns) given as NumPy arrays, and getrows of the same matrix back, kelvo against highspy.

Each case runs on a fresh problem whose columns already exist (their creation is not timed);
every figure is the best of --repeat rounds, each round running every case once in turn,
since the machine may be loaded.

What each side produces:
- kelvo addrows: the rows in the library and one kelvo.constraint object per row. The library
  enters new rows into its column lists on their first use (a solve, a column read, a change);
  the "+ first column use" line includes that.
- highspy addRows: the rows in HiGHS's model (no Python objects).
- kelvo getrows: three Python lists filled in place: 10^5 + 1 int offsets, 10^6 references to
  the problem's kelvo.var objects (existing objects, no new ones) and 10^6 floats.
- highspy getRowsEntries: three NumPy arrays (offsets, int32 column indices, float64 values);
  the "+ tolist()" line adds their conversion to Python lists of ints and floats, the closest
  to what kelvo hands back.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_matrix.py [--rows 100000] [--repeat 5]
"""

import argparse
import gc
import time

import numpy as np

import kelvo

try:
    import highspy
except ImportError:
    highspy = None


def best_times(repeat, cases):
    """Best wall-clock and best processor time of each case over repeat rounds; each round runs
    every case once, in turn, so that a load change on the machine hits all cases alike. A case
    is (name, prepare, run): run(state) is timed on a fresh state from prepare(), with the
    collector off. Processor time leaves out the waits of a loaded machine."""
    best = {name: [float("inf"), float("inf")] for name, _, _ in cases}
    for _ in range(repeat):
        for name, prepare, run in cases:
            state = prepare()
            gc.collect()
            gc.disable()
            try:
                start, cpu = time.perf_counter(), time.process_time()
                run(state)
                wall, cpu = time.perf_counter() - start, time.process_time() - cpu
                best[name] = [min(best[name][0], wall), min(best[name][1], cpu)]
            finally:
                gc.enable()
            del state
    return best


def matrix(rows, per_row, seed=1):
    rng = np.random.default_rng(seed)
    cols = rows
    # Distinct columns within a row: a random offset plus a stride.
    base = rng.integers(0, cols, size=rows)
    colind = ((base[:, None] + np.arange(per_row)[None, :] * (cols // per_row)) % cols).astype(np.int32).ravel()
    coef = rng.uniform(-10, 10, size=rows * per_row)
    start = np.arange(0, rows * per_row + 1, per_row, dtype=np.int64)
    rhs = rng.uniform(0, 100, size=rows)
    return cols, start, colind, coef, rhs


def kelvo_problem(cols):
    p = kelvo.problem()
    p.addcols(np.zeros(cols), np.zeros(cols + 1, dtype=np.int64), [], [], np.zeros(cols), np.full(cols, 1e20))
    return p


def highs_problem(cols):
    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    h.addVars(cols, np.zeros(cols), np.full(cols, highspy.kHighsInf))
    return h


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=10**5)
    parser.add_argument("--per-row", type=int, default=10)
    parser.add_argument("--repeat", type=int, default=5)
    a = parser.parse_args()
    kelvo.setOutputEnabled(False)
    cols, start, colind, coef, rhs = matrix(a.rows, a.per_row)
    rowtype = np.array(["L"] * a.rows)
    nnz = len(colind)

    def kelvo_add(p):
        p.addrows(rowtype, rhs, start, colind, coef)

    def kelvo_add_and_index(p):
        kelvo_add(p)
        p.getcoef(0, 0)  # the library's column lists catch up with the rows on first use

    def kelvo_loaded():
        p = kelvo_problem(cols)
        kelvo_add(p)
        return p

    def kelvo_get(p):
        s, i, v = [], [], []
        p.getrows(s, i, v, nnz, 0, a.rows - 1)
        assert len(v) == nnz

    cases = [("kelvo addrows", lambda: kelvo_problem(cols), kelvo_add),
             ("kelvo addrows + first column use", lambda: kelvo_problem(cols), kelvo_add_and_index),
             ("kelvo getrows into lists", kelvo_loaded, kelvo_get)]

    if highspy is not None:
        lower = np.full(a.rows, -highspy.kHighsInf)
        all_rows = np.arange(a.rows, dtype=np.int32)

        def highs_add(h):
            h.addRows(a.rows, lower, rhs, nnz, start.astype(np.int32), colind, coef)

        def highs_loaded():
            h = highs_problem(cols)
            highs_add(h)
            return h

        def highs_get(h):
            h.getRows(a.rows, all_rows)
            _, s, i, v = h.getRowsEntries(a.rows, all_rows)
            assert len(v) == nnz

        def highs_get_lists(h):
            h.getRows(a.rows, all_rows)
            _, s, i, v = h.getRowsEntries(a.rows, all_rows)
            s, i, v = s.tolist(), i.tolist(), v.tolist()

        cases += [("highspy addRows", lambda: highs_problem(cols), highs_add),
                  ("highspy getRows + getRowsEntries (NumPy)", highs_loaded, highs_get),
                  ("highspy ... + tolist()", highs_loaded, highs_get_lists)]
    results = list(best_times(a.repeat, cases).items())
    if highspy is None:
        results.append(("highspy (not installed)", None))

    print(f"{a.rows} rows x {a.per_row} non-zeros over {cols} columns, best of {a.repeat}")
    width = max(len(name) for name, _ in results)
    print(f"{'':<{width}}  {'wall':>9}  {'processor':>9}")
    for name, t in results:
        print(f"{name:<{width}}  " + (f"{t[0]:8.3f}s  {t[1]:8.3f}s" if t is not None else f"{'-':>9}  {'-':>9}"))
    times = dict(results)
    if "highspy addRows" in times:
        k, h = times["kelvo addrows"], times["highspy addRows"]
        print(f"addrows kelvo/highspy: {k[0] / h[0]:.2f} wall, {k[1] / h[1]:.2f} processor")


if __name__ == "__main__":
    main()
