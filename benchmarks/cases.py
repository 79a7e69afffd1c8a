"""What the model-building benchmarks share: timing one build with the collector off, and
running case generators over sizes into one table.

A case generator is called as cases(n, data) and yields (row name, build function or None);
None marks a library that is not installed, shown as '-'.
"""

import argparse
import gc
import random
import time


def timed(build):
    gc.collect()
    gc.disable()
    try:
        start = time.perf_counter()
        result = build()
        return time.perf_counter() - start, result
    finally:
        gc.enable()


def sizes_from_command_line(doc, default_sizes):
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--sizes", default=",".join(map(str, default_sizes)))
    return [int(s) for s in parser.parse_args().sizes.split(",")]


def run_table(title, sizes, generators, seed=1):
    """Runs every generator at every size on n random numbers in [-10, 10], prints one table and
    returns the times keyed by (row name, n)."""
    rng = random.Random(seed)
    times = {}
    rows = []
    for n in sizes:
        data = [rng.uniform(-10, 10) for _ in range(n)]
        for cases in generators:
            for name, build in cases(n, data):
                if name not in rows:
                    rows.append(name)
                if build is not None:
                    times[name, n], result = timed(build)
                    del result
            gc.collect()

    width = max(len(r) for r in rows + [title])
    print(f"{title:<{width}}" + "".join(f"{f'n={n:.0e}':>12}" for n in sizes))
    for name in rows:
        cells = "".join(f"{times[name, n]:>11.3f}s" if (name, n) in times else f"{'-':>12}" for n in sizes)
        print(f"{name:<{width}}{cells}")
    return times
