"""Transport (LP): ship cases from two canneries to three markets at least cost.

The classic textbook instance: Seattle can ship 350 cases and San Diego 600; New York needs
325, Chicago 300 and Topeka 275. Freight costs 90 per case and thousand miles; the distances
are below (thousands of miles). The least total cost is 153.675 (in thousands).
"""

import kelvo

SUPPLY = {"seattle": 350.0, "san-diego": 600.0}
DEMAND = {"new-york": 325.0, "chicago": 300.0, "topeka": 275.0}
DISTANCE = {
    ("seattle", "new-york"): 2.5, ("seattle", "chicago"): 1.7, ("seattle", "topeka"): 1.8,
    ("san-diego", "new-york"): 2.5, ("san-diego", "chicago"): 1.8, ("san-diego", "topeka"): 1.4,
}
FREIGHT = 90.0


def solve(supply=SUPPLY, demand=DEMAND, distance=DISTANCE, freight=FREIGHT):
    p = kelvo.problem(name="transport")
    cost = {route: freight * d / 1000.0 for route, d in distance.items()}
    ship = {route: p.addVariable(name=f"ship_{route[0]}_{route[1]}") for route in distance}
    supply_rows = [
        kelvo.constraint(kelvo.Sum(ship[i, j] for j in demand) <= supply[i], name=f"supply_{i}") for i in supply
    ]
    demand_rows = [
        kelvo.constraint(kelvo.Sum(ship[i, j] for i in supply) >= demand[j], name=f"demand_{j}") for j in demand
    ]
    p.addConstraint(supply_rows, demand_rows)
    p.setObjective(kelvo.Sum(cost[r] * ship[r] for r in ship))
    p.controls.outputlog = 0  # keep the engine log out of the printed report
    p.optimize()
    flows = p.getSolution(ship)
    return {
        "cost": p.attributes.objval,
        "ship": flows,
        "demand_prices": dict(zip(demand, p.getDuals(demand_rows))),
        "problem": p,
    }


def main():
    result = solve()
    print(f"Least transport cost: {result['cost']:.3f} thousand")
    for (i, j), amount in result["ship"].items():
        if amount > 1e-9:
            print(f"  {i:10s} -> {j:9s} {amount:8.1f} cases")
    for market, price in result["demand_prices"].items():
        print(f"  one more case at {market} costs {price:.4f}")


if __name__ == "__main__":
    main()
