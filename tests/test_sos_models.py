"""Three models users write with sets and indicators, each beside the same model written by hand
as a MILP with extra binaries. The hand MILP's optimum is checked against a value worked out
by hand; the set or indicator model must reach that optimum once the library solves it, and
until then its store must hold exactly the sets and indicators the model states."""
import pytest

import kelvo

from helpers import store_indicators as indicators, store_sets as sets

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


def pwl_cost(with_sets):
    p = kelvo.problem()
    q, rest = p.addVariable(name="q"), p.addVariable(name="rest")
    lam = [p.addVariable(ub=1, name=f"l{i}") for i in range(len(BREAKS))]
    p.addConstraint(kelvo.Sum(lam) == 1, q == kelvo.Sum(x * l for x, l in zip(BREAKS, lam)), q + rest == DEMAND)
    p.setObjective(kelvo.Sum(c * l for c, l in zip(COSTS, lam)) + FLAT * rest)
    if with_sets:
        p.addSOS(lam, BREAKS, type=2, name="cost")
    else:
        # Segment k may use only its two end breakpoints.
        seg = [p.addVariable(vartype=kelvo.binary) for _ in range(len(BREAKS) - 1)]
        p.addConstraint(kelvo.Sum(seg) == 1)
        for i, l in enumerate(lam):
            p.addConstraint(l <= kelvo.Sum(seg[k] for k in (i - 1, i) if 0 <= k < len(seg)))
    return p, q, lam


def sites(with_sets):
    p = kelvo.problem(sense=kelvo.maximize)
    x = [p.addVariable(ub=u) for u in LIMITS]
    p.addConstraint(kelvo.Sum(x) <= SITE_DEMAND)
    p.setObjective(kelvo.Sum(r * v for r, v in zip(REVENUES, x)))
    if with_sets:
        p.addSOS(x, [1, 2, 3])
    else:
        z = [p.addVariable(vartype=kelvo.binary) for _ in x]
        p.addConstraint(kelvo.Sum(z) <= 1, [v <= u * o for v, u, o in zip(x, LIMITS, z)])
    return p, x


def production(with_indicators):
    p = kelvo.problem(sense=kelvo.maximize)
    make = [p.addVariable(ub=MAKE_MAX) for _ in PROFITS]
    on = [p.addVariable(vartype=kelvo.binary) for _ in PROFITS]
    p.addConstraint(kelvo.Sum(make) <= CAPACITY)
    p.setObjective(kelvo.Sum(a * m - f * o for a, f, m, o in zip(PROFITS, FIXED, make, on)))
    if with_indicators:
        p.addIndicator([(o == 0, m <= 0) for o, m in zip(on, make)])
    else:
        p.addConstraint([m <= MAKE_MAX * o for m, o in zip(make, on)])
    return p, make, on


def test_hand_milps_reach_the_hand_computed_optima():
    p, q, _ = pwl_cost(False)
    p.optimize()
    assert p.attributes.objval == pytest.approx(PWL_OPTIMUM) and p.getSolution(q) == pytest.approx(25)
    p, x = sites(False)
    p.optimize()
    assert p.attributes.objval == pytest.approx(SITES_OPTIMUM) and p.getSolution(x) == pytest.approx([0, 6, 0])
    p, make, _ = production(False)
    p.optimize()
    assert p.attributes.objval == pytest.approx(PLAN_OPTIMUM)
    assert p.getSolution(make) == pytest.approx([0, 8, 2])


def test_models_store_exactly_their_sets_and_indicators():
    p, _, lam = pwl_cost(True)
    assert sets(p) == [("2", [v.index for v in lam], BREAKS)] and p.getSOS()[0].name == "cost"
    p, x = sites(True)
    assert sets(p) == [("1", [0, 1, 2], [1, 2, 3])]
    p, make, on = production(True)
    assert indicators(p) == (4, [(1 + j, on[j].index, -1) for j in range(3)])
    assert [c.ub for c in p.getConstraint()[1:]] == [0, 0, 0]


@pytest.mark.parametrize("build,optimum", [(pwl_cost, PWL_OPTIMUM), (sites, SITES_OPTIMUM),
                                           (production, PLAN_OPTIMUM)])
def test_set_and_indicator_models_reach_the_hand_milp_optimum(build, optimum):
    p = build(True)[0]
    p.optimize()
    assert p.attributes.objval == pytest.approx(optimum)
