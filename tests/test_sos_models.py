"""Models users write with sets and indicators reach optima worked out by hand, and random
ones reach the optimum of the same model written as a MILP with binaries and big-M rows."""
import random

import pytest

import kelvo

# Concave purchase cost through breakpoints (economies of scale), the rest bought at a flat
# price. Per segment the total is 100 + q, 120 - q and 150 - 2.5 q, so the best is q = 25 in
# the last segment: 87.5. Joining the first and last breakpoints would give 79.17 instead.
BREAKS, COSTS, DEMAND, FLAT = [0, 10, 20, 30], [0, 50, 80, 95], 25, 4
PWL_OPTIMUM = 87.5

# Sites with capacity limits and unit revenues, at most one of them opened, demand 7: the
# second site's 6 units give 24 (the first gives 20, the third 21; all together 32).
LIMITS, REVENUES, SITE_DEMAND = [4, 6, 9], [5, 4, 3], 7
SITES_OPTIMUM = 24

# Products with unit profits, fixed costs and a shared capacity of 10, at most 8 of each:
# of the eight on/off choices the best runs the second at 8 and the third at 2: 33.
PROFITS, FIXED, CAPACITY, MAKE_MAX = [6, 5, 4], [30, 10, 5], 10, 8
PLAN_OPTIMUM = 33


def pwl_cost():
    p = kelvo.problem()
    q, rest = p.addVariable(name="q"), p.addVariable(name="rest")
    lam = [p.addVariable(ub=1, name=f"l{i}") for i in range(len(BREAKS))]
    p.addConstraint(kelvo.Sum(lam) == 1, q == kelvo.Sum(x * l for x, l in zip(BREAKS, lam)), q + rest == DEMAND)
    p.setObjective(kelvo.Sum(c * l for c, l in zip(COSTS, lam)) + FLAT * rest)
    p.addSOS(lam, BREAKS, type=2, name="cost")
    return p, q


def sites():
    p = kelvo.problem(sense=kelvo.maximize)
    x = [p.addVariable(ub=u) for u in LIMITS]
    p.addConstraint(kelvo.Sum(x) <= SITE_DEMAND)
    p.setObjective(kelvo.Sum(r * v for r, v in zip(REVENUES, x)))
    p.addSOS(x, [1, 2, 3])
    return p, x


def production():
    p = kelvo.problem(sense=kelvo.maximize)
    make = [p.addVariable(ub=MAKE_MAX) for _ in PROFITS]
    on = [p.addVariable(vartype=kelvo.binary) for _ in PROFITS]
    p.addConstraint(kelvo.Sum(make) <= CAPACITY)
    p.setObjective(kelvo.Sum(a * m - f * o for a, f, m, o in zip(PROFITS, FIXED, make, on)))
    p.addIndicator([(o == 0, m <= 0) for o, m in zip(on, make)])
    return p, make


@pytest.mark.parametrize("build,optimum,solution", [(pwl_cost, PWL_OPTIMUM, 25), (sites, SITES_OPTIMUM, [0, 6, 0]),
                                                    (production, PLAN_OPTIMUM, [0, 8, 2])])
def test_set_and_indicator_models_reach_the_hand_computed_optimum(build, optimum, solution):
    p, x = build()
    p.optimize()
    assert p.attributes.objval == pytest.approx(optimum)
    assert p.getSolution(x) == pytest.approx(solution)


def random_model(seed, with_sets):
    """Six bounded columns, two knapsack rows, an SOS1 over the first four and an SOS2 over
    the last four (listed out of order, their weights giving the order), and an indicator
    that caps the column sum when a binary is 0. with_sets=False writes the same model as a
    MILP by hand: a binary per SOS1 member, a binary per SOS2 segment, a big-M row."""
    rng = random.Random(seed)
    p = kelvo.problem(sense=kelvo.maximize)
    ub = [rng.randint(1, 5) for _ in range(6)]
    x = [p.addVariable(ub=u) for u in ub]
    b = p.addVariable(vartype=kelvo.binary)
    for _ in range(2):
        p.addConstraint(kelvo.Sum(rng.randint(1, 6) * v for v in x) <= rng.randint(8, 20))
    cap = rng.randint(2, 6)
    p.setObjective(kelvo.Sum(rng.randint(-2, 9) * v for v in x) - rng.randint(0, 8) * b)
    one, two = [0, 1, 2, 3], [2, 3, 4, 5]
    shuffled = two[:]
    rng.shuffle(shuffled)
    if with_sets:
        p.addSOS([x[i] for i in one], [1, 2, 3, 4])
        p.addSOS([x[i] for i in shuffled], [10 * i for i in shuffled], type=2)
        p.addIndicator(b == 0, kelvo.Sum(x) <= cap)
        return p
    y = [p.addVariable(vartype=kelvo.binary) for _ in one]
    p.addConstraint(kelvo.Sum(y) <= 1, *(x[i] <= ub[i] * yi for i, yi in zip(one, y)))
    w = [p.addVariable(vartype=kelvo.binary) for _ in two[1:]]
    p.addConstraint(kelvo.Sum(w) == 1)
    for k, i in enumerate(two):
        near = [w[s] for s in (k - 1, k) if 0 <= s < len(w)]
        p.addConstraint(x[i] <= ub[i] * kelvo.Sum(near))
    p.addConstraint(kelvo.Sum(x) <= cap + sum(ub) * b)
    return p


@pytest.mark.parametrize("seed", range(4))
def test_sets_and_indicators_solve_like_the_hand_written_milp(seed):
    values = []
    for with_sets in (True, False):
        p = random_model(seed, with_sets)
        p.controls.outputlog = 0
        p.optimize()
        assert p.attributes.solstatus == kelvo.enums.SolStatus.OPTIMAL
        values.append(p.attributes.objval)
    assert values[0] == pytest.approx(values[1], abs=1e-6)
