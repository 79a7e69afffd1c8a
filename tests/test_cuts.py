"""Cuts as users write them: managed subtour elimination cuts on a small travelling-salesman
instance (optimum by enumerating every tour), pool cuts stored, measured and loaded at the root
(whose relaxation is computed by hand), cuts added from cutround, and poolcut objects that leak
nothing."""

import itertools
import math
import random
import sys
import tracemalloc
import warnings

import pytest

import kelvo


def tsp(n, seed):
    """Cities in three clusters (so that degree constraints alone pick subtours); returns the
    problem, the edge variables by (i, j) and the distances."""
    rng = random.Random(seed)
    pts = [(rng.randint(0, 20) + 40 * (i % 3), rng.randint(0, 20) + 60 * (i % 3 == 1)) for i in range(n)]
    dist = {(i, j): round(math.dist(pts[i], pts[j])) for i in range(n) for j in range(i + 1, n)}
    p = kelvo.problem()
    x = {e: p.addVariable(vartype=kelvo.binary) for e in dist}
    for i in range(n):
        p.addConstraint(kelvo.Sum(v for e, v in x.items() if i in e) == 2)
    p.setObjective(kelvo.Sum(d * x[e] for e, d in dist.items()))
    p.setOutputEnabled(False)
    return p, x, dist


def shortest_tour(n, dist):
    d = lambda i, j: dist[min(i, j), max(i, j)]
    return min(
        d(0, perm[0]) + d(perm[-1], 0) + sum(d(a, b) for a, b in zip(perm, perm[1:]))
        for perm in itertools.permutations(range(1, n))
    )


def components(n, x, values, threshold):
    root = list(range(n))

    def find(i):
        while root[i] != i:
            i = root[i]
        return i

    for (i, j), v in zip(x, values):
        if v > threshold:
            root[find(i)] = find(j)
    groups = {}
    for i in range(n):
        groups.setdefault(find(i), []).append(i)
    return list(groups.values())


def subtour_cuts(x, parts):
    """sum of the edges inside S <= |S| - 1 for each S, in the arrays of addcuts."""
    rowtype, rhs, start, colind = [], [], [0], []
    for s in parts:
        colind += [v for (i, j), v in x.items() if i in s and j in s]
        rowtype.append("L")
        rhs.append(len(s) - 1)
        start.append(len(colind))
    return [1] * len(parts), rowtype, rhs, start, colind, [1.0] * len(colind)


def knapsack():
    weights = [23, 31, 29, 44, 53, 38, 63, 85, 89, 82]
    profits = [92, 57, 49, 68, 60, 43, 67, 84, 87, 72]
    p = kelvo.problem(sense=kelvo.maximize)
    x = [p.addVariable(vartype=kelvo.binary) for _ in weights]
    p.addConstraint(kelvo.Sum(w * v for w, v in zip(weights, x)) <= 165)
    p.setObjective(kelvo.Sum(c * v for c, v in zip(profits, x)))
    p.setOutputEnabled(False)
    p.controls.mipsearch = 2
    return p, x, weights, profits


def test_pool_cuts_are_stored_once_then_measured_and_loaded_at_the_root():
    p, x, weights, profits = knapsack()
    # The root relaxation by hand: by profit per weight, the last item taken in part.
    order = sorted(range(10), key=lambda j: -profits[j] / weights[j])
    root, room = [0.0] * 10, 165.0
    for j in order:
        root[j] = min(1.0, room / weights[j])
        room -= root[j] * weights[j]
        if room <= 0:
            break
    # The cover of the items the root takes: at most all but one of them fit.
    cover = [j for j in range(10) if root[j] > 0]
    assert sum(weights[j] for j in cover) > 165
    cuts = []
    p.storecuts(1, [1, 2, 1], ["L", "L", "L"], [len(cover) - 1, 10, len(cover) - 1],
                [0, len(cover), len(cover) + 10, 2 * len(cover) + 10], cuts,
                [x[j] for j in cover] + x + [x[j] for j in cover], [1.0] * (2 * len(cover) + 10))
    assert len(cuts) == 3 and all(isinstance(c, kelvo.poolcut) for c in cuts)
    assert cuts[0] == cuts[2] and hash(cuts[0]) == hash(cuts[2]) and cuts[0] != cuts[1]
    assert len({cuts[0], cuts[1], cuts[2]}) == 2

    cuttype, rowtype, start, colind, cutcoef, rhs = [], [], [], [], [], []
    p.getcpcuts(cuts[:2], 100, cuttype, rowtype, start, colind, cutcoef, rhs)
    assert (cuttype, rowtype, start, rhs) == ([1, 2], ["L", "L"], [0, len(cover), len(cover) + 10],
                                              [len(cover) - 1, 10])
    assert colind == [x[j] for j in cover] + x

    seen = {}

    def optnode(prob, data):
        if seen:
            return 0
        seen["x"] = prob.getCallbackSolution(x)
        listed, viol = [], []
        seen["count"] = prob.getcpcutlist(0, -1, 1e-9, 10, listed, viol)
        seen["listed"], seen["viol"] = listed, viol
        prob.loadcuts(0, -1, cuts[:2])
        node_cuts = []
        seen["node"] = prob.getcutlist(0, -1, 10, node_cuts), node_cuts
        cutmap = []
        prob.getcutmap(cuts[:2], cutmap)
        seen["map"] = cutmap
        seen["slack"] = [prob.getcutslack(c) for c in cuts[:2]]
        with pytest.raises(kelvo.InterfaceError, match="^getcutslack must be provided a single cut as the only"):
            prob.getcutslack([cuts[0]])
        return 0

    p.addcboptnode(optnode)
    p.optimize()
    assert p.attributes.objval == 309  # the published optimum of this knapsack
    assert seen["x"] == pytest.approx(root)
    activity = sum(root[j] for j in cover)
    assert seen["count"] == 1 and seen["listed"] == [cuts[0]]
    assert seen["viol"] == pytest.approx([activity - (len(cover) - 1)])
    assert seen["node"] == (2, cuts[:2])
    assert seen["map"] == [1, 2]  # after the one model row
    assert seen["slack"] == pytest.approx([len(cover) - 1 - activity, 10 - sum(root)])

    # Removed from the pool, a cut is gone for good.
    p.delcpcuts(2, 0, [cuts[1]])
    left, viol = [], []
    assert p.getcpcutlist(0, -1, 0.0, 10, left, viol) == 1 and left == [cuts[0]]
    with pytest.raises(kelvo.SolverError):
        p.getcpcuts([cuts[1]], 10, None, None, None, None, None, None)


def test_older_argument_names_still_load_cuts_with_a_deprecation():
    p, x, weights, profits = knapsack()
    caught = []

    def optnode(prob, data):
        with warnings.catch_warnings(record=True) as w:
            warnings.simplefilter("always")
            prob.loadcuts(itype=1, interp=0, cutind=None)
        caught.extend(str(m.message) for m in w if issubclass(m.category, kelvo.DeprecationWarning))
        return 0

    p.addcboptnode(optnode)
    p.optimize()
    assert caught and "Deprecated in Kelvo 9.6" in caught[0]
    # Outside a node the library refuses it.
    with pytest.raises(kelvo.SolverError, match="callback at a node"):
        p.loadcuts(1, 0, None)


def test_managed_subtour_cuts_give_the_shortest_tour_and_bad_sizes_store_nothing():
    n = 7
    p, x, dist = tsp(n, 2)
    p.controls.mipsearch = 2
    sets = [s for k in range(2, n // 2 + 1) for s in itertools.combinations(range(n), k)]
    _, rowtype, rhs, start, colind, cutcoef = subtour_cuts(x, sets)
    with pytest.raises(kelvo.InterfaceError, match="^Argument 'rhs' must be the same size as argument 'rowtype'"):
        p.addManagedCuts(1, rowtype, rhs[:-1], start, colind, cutcoef)
    assert p.getcpcutlist(0, -1, 0.0, 0, None, None) == 0
    # The pairs through the array-sized method, the larger sets through the other.
    pairs = n * (n - 1) // 2
    p.addManagedCuts(1, rowtype[:pairs], rhs[:pairs], start[: pairs + 1], colind[: start[pairs]],
                     cutcoef[: start[pairs]])
    assert p.getcpcutlist(0, -1, 0.0, 0, None, None) == pairs
    p.addmanagedcuts(1, rowtype[pairs:], rhs[pairs:], [s - start[pairs] for s in start[pairs:]],
                     colind[start[pairs]:], cutcoef[start[pairs]:])
    assert p.getcpcutlist(0, -1, 0.0, 0, None, None) == len(sets)
    p.optimize()
    values = p.getSolution(list(x.values()))
    assert len(components(n, list(x), values, 0.5)) == 1
    assert p.attributes.objval == pytest.approx(shortest_tour(n, dist))


def test_poolcut_objects_leak_nothing_over_many_round_trips():
    p, x, _, _ = knapsack()

    def round_trip():
        cuts = []
        p.storecuts(0, [0] * 20, ["L"] * 20, [1.0] * 20, list(range(21)), cuts, x * 2, [1.0] * 20)
        listed = []
        p.getcpcutlist(0, -1, 0.0, 100, listed, None)
        assert listed == cuts
        p.delcpcuts(0, -1, cuts)

    round_trip()
    refs = sys.getrefcount(x[0]), sys.getrefcount(p)
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    for _ in range(500):
        round_trip()
    grown = tracemalloc.get_traced_memory()[0] - before
    tracemalloc.stop()
    assert (sys.getrefcount(x[0]), sys.getrefcount(p)) == refs
    assert grown < 20_000
    assert p.getcpcutlist(0, -1, 0.0, 0, None, None) == 0


def test_a_cut_from_cutround_is_in_the_next_round_and_cutlog_follows_it():
    p, x, weights, profits = knapsack()
    rounds, logs = [], []
    cover = []

    def cutround(prob, data, ownrounds):
        a = prob.attributes
        values = prob.getCallbackSolution(x)
        rounds.append((a.currentnode, values, a.lpobjval))
        if len(rounds) > 1 or a.currentnode != 1:
            return 0
        # The cover of the items the root relaxation takes, which it violates.
        cover.extend(j for j in range(10) if values[j] > 1e-9)
        prob.addcuts([0], ["L"], [len(cover) - 1], [0, len(cover)], [x[j] for j in cover], [1.0] * len(cover))
        return 1

    p.addcbcutround(cutround)
    p.addcbcutlog(lambda prob, data: logs.append(prob.attributes.currentnode))
    p.optimize()
    assert p.attributes.objval == 309
    (node0, before, bound0), (node1, after, bound1) = rounds[:2]
    assert node0 == node1 == 1 and logs[0] == 1
    assert sum(before[j] for j in cover) > len(cover) - 1 + 1e-6
    assert sum(after[j] for j in cover) <= len(cover) - 1 + 1e-6
    assert 309 <= bound1 < bound0 - 1e-6
