"""Shared by the test files: the data folder, free-standing variables and variables of other
problems, deprecated calls made quietly, the kind of an algebra result, the sets and indicators
of the library's store, and the checks that repeated calls leak neither references nor memory."""
import os
import pathlib
import sys
import tracemalloc
import warnings

import kelvo

# The private test entry points: present in the development build only (KELVO_BUILD_TESTS).
testing = getattr(kelvo._kelvo, "_testing", None)

DATA = pathlib.Path(__file__).resolve().parent.parent / "klvo" / "tests" / "data"

# max 3x + 5y  s.t.  plant1: x <= 4,  plant2: 2y <= 12,  plant3: 3x + 2y <= 18.
# Optimum x = 2, y = 6, value 36; duals (0, 1.5, 1); slacks (2, 0, 0).
PRODUCTION_LP = """\
\\Problem name: production
Maximize
 obj: 3 x + 5 y
Subject To
 plant1: x <= 4
 plant2: 2 y <= 12
 plant3: 3 x + 2 y <= 18
End
"""

_other = None


def other_problem():
    """A second problem with one variable (index 0), kept alive until the next call: refusal
    tables build it inside a lambda."""
    global _other
    _other = kelvo.problem()
    _other.addVariable()
    return _other


def deleted_variable():
    p = kelvo.problem()
    v = p.addVariable()
    p.delVariable(v)
    return v


def quietly(f, *args, **kw):
    """f(*args, **kw) without the package's deprecation warnings."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        return f(*args, **kw)


def free_var(**kw):
    """An unlinked variable, built through the deprecated constructor."""
    return quietly(kelvo.var, **kw)


def body_of(c):
    """A free constraint's body, read through the deprecated attribute."""
    return quietly(getattr, c, "body")


KINDS = {kelvo.var: "var", kelvo.linterm: "lin", kelvo.quadterm: "quad", kelvo.expression: "expr", kelvo.nonlin: "nl"}


def kind(obj):
    if isinstance(obj, (int, float)):
        return "num"
    return KINDS.get(type(obj), type(obj).__name__)


def value(obj, point):
    """The value of obj with each variable v at point[v]."""
    return kelvo.evaluate(obj, solution=point)


def rss():
    """The resident size of this process in bytes."""
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def run_flat(fn, objects, n=10_000, budget=64 * 1024):
    """Runs fn n times; the objects' reference counts must not move and traced memory must
    not grow by more than `budget` bytes."""
    fn()  # warm caches (interned strings, method lookups, warning registries)
    before = [sys.getrefcount(o) for o in objects]
    tracemalloc.start()
    try:
        start, _ = tracemalloc.get_traced_memory()
        for _ in range(n):
            fn()
        end, _ = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert [sys.getrefcount(o) for o in objects] == before
    assert end - start < budget, f"memory grew by {end - start} bytes"


def store_sets(p):
    """Every set of p's library store as (type, columns, weights)."""
    out = [[] for _ in range(7)]
    p.getmipentities(*out)
    _, _, _, types, start, cols, weights = out
    cols = [c if isinstance(c, int) else p.getIndex(c) for c in cols]
    return [(types[k], cols[start[k]:start[k + 1]], weights[start[k]:start[k + 1]]) for k in range(len(types))]


def store_indicators(p):
    """(row count, [(row, column, complement)] of every row of p carrying an indicator)."""
    rows = p.attributes.rows
    if rows == 0:
        return 0, []
    cols, comps = [], []
    p.getindicators(cols, comps, 0, rows - 1)
    return rows, [(r, p.getIndex(c), k) for r, (c, k) in enumerate(zip(cols, comps)) if c is not None]
