"""Three models users write with sets and indicators must reach optima worked out by hand."""
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
