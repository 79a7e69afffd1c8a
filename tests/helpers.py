"""Shared by the test files: the data folder, free-standing variables and variables of other
problems, the kind of an algebra result, the sets and indicators of the library's store, and the check that repeated calls leak neither
references nor memory."""
import pathlib
import sys
import tracemalloc
import warnings

import kelvo

# The private test entry points: present in the development build only (KELVO_BUILD_TESTS).
testing = getattr(kelvo._kelvo, "_testing", None)

DATA = pathlib.Path(__file__).resolve().parent.parent / "klvo" / "tests" / "data"
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


def free_var(**kw):
    """An unlinked variable, built through the deprecated constructor."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        return kelvo.var(**kw)


KINDS = {kelvo.var: "var", kelvo.linterm: "lin", kelvo.quadterm: "quad", kelvo.expression: "expr", kelvo.nonlin: "nl"}


def kind(obj):
    if isinstance(obj, (int, float)):
        return "num"
    return KINDS.get(type(obj), type(obj).__name__)


def value(obj, point):
    """The value of obj with each variable v at point[v]."""
    return kelvo.evaluate(obj, solution=point)


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
