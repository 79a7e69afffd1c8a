"""Shared check that repeated calls leak neither references nor memory."""
import sys
import tracemalloc


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
