"""The examples run and reach optima known independently of the library: by hand, by
enumeration, or as published."""

import itertools
import math
import pathlib
import runpy
import subprocess
import sys
import types

import pytest

import kelvo

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"


def load(name):
    """Runs an example file without its main() and gives its names as attributes."""
    return types.SimpleNamespace(**runpy.run_path(str(EXAMPLES / f"{name}.py")))


def test_production_planning_matches_the_hand_solution():
    result = load("production_planning").solve()
    assert result["profit"] == pytest.approx(4040.0)
    assert result["make"] == {"tables": pytest.approx(320.0), "chairs": pytest.approx(360.0)}
    # Both resources are used up; their values solve 3u + 2v = 7, 4u + v = 5.
    assert result["spare_hours"] == {"carpentry": pytest.approx(0, abs=1e-7), "painting": pytest.approx(0, abs=1e-7)}
    assert result["hour_value"] == {"carpentry": pytest.approx(0.6), "painting": pytest.approx(2.6)}
    # The dual reproduces the objective: 2400 * 0.6 + 1000 * 2.6.
    assert 2400 * result["hour_value"]["carpentry"] + 1000 * result["hour_value"]["painting"] == pytest.approx(4040)


def test_transport_matches_the_published_optimum():
    module = load("transport")
    result = module.solve()
    assert result["cost"] == pytest.approx(153.675, rel=1e-9)
    ship = result["ship"]
    for i, cap in module.SUPPLY.items():
        assert sum(ship[i, j] for j in module.DEMAND) <= cap + 1e-7
    for j, need in module.DEMAND.items():
        assert sum(ship[i, j] for i in module.SUPPLY) >= need - 1e-7
    # Every market price is at least its cheapest freight cost.
    for j, price in result["demand_prices"].items():
        assert price >= min(module.FREIGHT * module.DISTANCE[i, j] / 1000 for i in module.SUPPLY) - 1e-9


def test_knapsack_matches_the_published_optimum():
    module = load("knapsack")
    result = module.solve()
    assert result["profit"] == pytest.approx(309.0)
    assert result["chosen"] == [1, 2, 3, 4, 6]
    assert result["weight"] == 165


def test_knapsack_agrees_with_enumeration_on_other_capacities():
    module = load("knapsack")
    w, v = module.WEIGHTS, module.PROFITS
    for capacity in (50, 120, 200):
        best = max(
            sum(v[i] for i in chosen)
            for k in range(len(w) + 1)
            for chosen in itertools.combinations(range(len(w)), k)
            if sum(w[i] for i in chosen) <= capacity
        )
        assert module.solve(capacity=capacity)["profit"] == pytest.approx(best)


def test_facility_location_agrees_with_enumeration():
    module = load("facility_location")
    result = module.solve()
    depots = list(module.FIXED)
    customers = range(4)
    best = min(
        sum(module.FIXED[d] for d in opened) + sum(min(module.SERVICE[d][c] for d in opened) for c in customers)
        for k in range(1, len(depots) + 1)
        for opened in itertools.combinations(depots, k)
    )
    assert best == 23.0
    assert result["cost"] == pytest.approx(best)
    assert sorted(result["open"]) == ["north", "south"]
    assert result["assignment"] == {0: "north", 1: "north", 2: "south", 3: "south"}


def test_portfolio_matches_the_optimality_conditions():
    result = load("portfolio").solve()
    assert result["risk"] == pytest.approx(1 / 65, rel=1e-5)
    weights = result["weights"]
    assert weights["bonds"] == pytest.approx(4 / 13, abs=1e-4)
    assert weights["stocks"] == pytest.approx(4 / 13, abs=1e-4)
    assert weights["property"] == pytest.approx(5 / 13, abs=1e-4)


@pytest.mark.parametrize("name", ["production_planning", "transport", "knapsack", "facility_location", "portfolio"])
def test_example_runs_as_a_script(name):
    out = subprocess.run([sys.executable, str(EXAMPLES / f"{name}.py")], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip()


def test_can_design_matches_the_closed_form_and_reports_through_the_nonlinear_layer():
    module = load("can_design")
    result = module.solve()
    r = (330 / (4 * math.pi)) ** (1 / 3)
    assert result["status"] == (kelvo.enums.SolveStatus.COMPLETED, kelvo.enums.SolStatus.OPTIMAL)
    assert result["radius"] == pytest.approx(r, rel=1e-6)
    assert result["height"] == pytest.approx(4 * r, rel=1e-6)
    assert result["cost"] == pytest.approx(12 * math.pi * r * r, rel=1e-6)
    assert result["price_of_volume"] == pytest.approx(2 / r, rel=1e-5)


def test_old_status_queries_of_a_nonlinear_problem_read_the_nonlinear_layer():
    p = kelvo.problem()
    x = p.addVariable(lb=-10, ub=10)
    p.setObjective(kelvo.exp(x) - 2 * x)  # minimum at x = log 2
    p.controls.outputlog = 0
    p.optimize()
    with pytest.warns(kelvo.DeprecationWarning):
        assert p.getObjVal() == pytest.approx(2 - 2 * math.log(2), rel=1e-7)
    with pytest.warns(kelvo.DeprecationWarning):
        assert p.getProbStatusString() == "nlp_solution"
