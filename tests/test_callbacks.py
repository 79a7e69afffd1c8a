"""Callbacks as users write them: registering and removing them, and what the solve does with
them (progress monitors, incumbent collectors, time checks, rejected solutions, exceptions)."""

import gc
import pathlib
import sys

import pytest

import kelvo

DATA = pathlib.Path("/work/shared/instances")


def monitor(problem, data):
    return 0


def other(problem, data):
    return 0


# ---- registration ----------------------------------------------------------------------------------


def test_removal_matches_callback_and_data_by_identity_and_wildcards():
    p = kelvo.problem()
    d = [1]
    p.addcbmiplog(monitor)
    p.addcbmiplog(monitor, d)
    # Only the registration with that very data object goes; an equal copy matches nothing.
    with pytest.raises(kelvo.InterfaceError, match="^Callback not found$"):
        p.removecbmiplog(monitor, [1])
    p.removecbmiplog(monitor, d)
    with pytest.raises(kelvo.InterfaceError, match="^Callback not found$"):
        p.removecbmiplog(monitor, d)
    # A callback alone matches whatever data it was given: both registrations go.
    p.addcbmiplog(monitor, d, 5)
    p.removecbmiplog(monitor)
    with pytest.raises(kelvo.InterfaceError, match="^Cannot remove callback from an empty set$"):
        p.removecbmiplog(monitor)
    # No arguments: everything, and nothing to remove is no error.
    p.removecbmiplog()
    p.addcbmiplog(monitor)
    p.addcbmiplog(other, priority=-3)
    with pytest.raises(kelvo.InterfaceError, match="^Callback not found$"):
        p.removecbmiplog(print)
    p.removecbmiplog()
    with pytest.raises(kelvo.InterfaceError, match="^Cannot remove callback from an empty set$"):
        p.removecbmiplog(other)


def test_bad_arguments_are_refused_without_registering():
    p = kelvo.problem()
    for args in [(42,), (), (monitor, None, "high"), (monitor, None, 2**40)]:
        with pytest.raises(kelvo.InterfaceError, match="^Cannot add callback$"):
            p.addcbintsol(*args)
    with pytest.raises(kelvo.InterfaceError, match="^Cannot remove callback$"):
        p.removecbintsol(42)
    with pytest.raises(kelvo.InterfaceError, match="^Cannot remove callback from an empty set$"):
        p.removecbintsol(monitor)
    with pytest.raises(kelvo.InterfaceError, match="copycallbacks\\(\\) must be called with the source problem"):
        p.copycallbacks(42)


def test_registrations_do_not_keep_their_problem_alive_and_go_with_it():
    data = object()
    p = kelvo.problem()
    before = sys.getrefcount(p), sys.getrefcount(monitor), sys.getrefcount(data)
    p.addcbintsol(monitor, data)
    p.addcbpresolve(monitor, data, 2)
    assert sys.getrefcount(p) == before[0]
    assert (sys.getrefcount(monitor), sys.getrefcount(data)) == (before[1] + 2, before[2] + 2)
    del p
    gc.collect()
    assert (sys.getrefcount(monitor), sys.getrefcount(data)) == before[1:]


def test_copies_take_the_registrations_and_keep_them_apart():
    p = kelvo.problem()
    p.addcbmiplog(monitor, "d", 3)
    p.addcbintsol(other)
    q = p.copy()
    r = kelvo.problem()
    r.copycallbacks(p)
    p.removecbmiplog()
    p.removecbintsol()
    for copy in (q, r):
        copy.removecbmiplog(monitor, "d")
        copy.removecbintsol(other)
        with pytest.raises(kelvo.InterfaceError, match="empty set"):
            copy.removecbintsol(other)


def test_nonlinear_layer_events_it_does_not_offer_are_refused():
    p = kelvo.problem()
    with pytest.raises(kelvo.SolverError, match="setcbslpend is not implemented"):
        p.setcbslpend(monitor)
    with pytest.raises(kelvo.InterfaceError, match="^Cannot add callback$"):
        p.setcbiterend(None)


# ---- dispatch -------------------------------------------------------------------------------------


def knapsack(n=12):
    """A small binary knapsack; returns the problem and its variables."""
    weights = [23, 31, 29, 44, 53, 38, 63, 85, 89, 82, 41, 57][:n]
    profits = [92, 57, 49, 68, 60, 43, 67, 84, 87, 72, 55, 61][:n]
    p = kelvo.problem(sense=kelvo.maximize)
    x = [p.addVariable(vartype=kelvo.binary) for _ in range(n)]
    p.addConstraint(kelvo.Sum(w * v for w, v in zip(weights, x)) <= 165)
    p.setObjective(kelvo.Sum(c * v for c, v in zip(profits, x)))
    p.controls.outputlog = 1
    p.setOutputEnabled(False)
    return p, x


def test_the_callback_problem_stands_for_the_parent_only_during_the_call():
    p, x = knapsack()
    seen = []

    def message(prob, data, text, msgtype):
        if not seen:
            seen.append((prob, prob.attributes.cols, prob.getVariable()[3] is x[3], data))

    p.addcbmessage(message, "tag")
    p.optimize()
    prob, cols, same_objects, data = seen[0]
    assert (cols, same_objects, data) == (12, True, "tag")
    with pytest.raises(kelvo.ModelError, match="^Problem is not initialized$"):
        prob.getVariable()


def test_an_exception_in_a_callback_stops_the_solve_and_comes_out_of_it():
    p, x = knapsack()

    def failing(prob, data, text, msgtype):
        raise ValueError("bad message")

    p.addcbmessage(failing)
    with pytest.warns(RuntimeWarning, match="^Exception masked by another exception in message callback: bad message"):
        with pytest.raises(ValueError, match="^bad message$") as info:
            p.optimize()
    assert info.traceback[-1].name == "failing"
    # Nothing is left over: the next solve without it is clean.
    p.removecbmessage(failing)
    p.optimize()
    assert p.attributes.objval == 309


def test_references_and_memory_stay_flat_over_many_dispatches(t):
    import tracemalloc

    p, x = knapsack()
    data = object()
    calls = []

    def intsol(prob, d):
        calls.append(len(prob.getVariable()))

    p.addcbintsol(intsol, data)
    t.dispatch_intsol(p, 100)
    calls.clear()
    counts = sys.getrefcount(p), sys.getrefcount(x[0]), sys.getrefcount(data), sys.getrefcount(intsol)
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    t.dispatch_intsol(p, 10**4)
    grown = tracemalloc.get_traced_memory()[0] - before
    tracemalloc.stop()
    assert calls == [12] * 10**4
    calls.clear()
    assert (sys.getrefcount(p), sys.getrefcount(x[0]), sys.getrefcount(data), sys.getrefcount(intsol)) == counts
    assert grown < 200_000  # the list of calls itself
