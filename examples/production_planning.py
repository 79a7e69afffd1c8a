"""Production planning (LP): how many tables and chairs should a workshop make?

Each table earns 7 and each chair 5. A table takes 3 hours of carpentry and 2 of painting, a
chair 4 and 1. The week has 2400 carpentry hours and 1000 painting hours; the market takes at
most 450 chairs, and an order for 100 tables must be met. The best plan makes 320 tables and
360 chairs for a profit of 4040; carpentry and painting are both used up.
"""

import kelvo

PRODUCTS = {"tables": 7.0, "chairs": 5.0}  # profit per unit
HOURS = {  # hours per unit, by resource
    "carpentry": {"tables": 3.0, "chairs": 4.0},
    "painting": {"tables": 2.0, "chairs": 1.0},
}
AVAILABLE = {"carpentry": 2400.0, "painting": 1000.0}


def solve(products=PRODUCTS, hours=HOURS, available=AVAILABLE, max_chairs=450.0, min_tables=100.0):
    p = kelvo.problem(name="production")
    make = {k: p.addVariable(name=k) for k in products}
    make["chairs"].ub = max_chairs
    make["tables"].lb = min_tables
    capacity = {
        r: kelvo.constraint(kelvo.Sum(hours[r][k] * make[k] for k in products) <= available[r], name=r)
        for r in available
    }
    p.addConstraint(list(capacity.values()))
    p.setObjective(kelvo.Sum(products[k] * make[k] for k in products), sense=kelvo.maximize)
    p.controls.outputlog = 0  # keep the engine log out of the printed report
    p.optimize()
    return {
        "profit": p.attributes.objval,
        "make": dict(zip(make, p.getSolution(list(make.values())))),
        "hour_value": dict(zip(capacity, p.getDuals(list(capacity.values())))),
        "spare_hours": dict(zip(capacity, p.getSlacks(list(capacity.values())))),
    }


def main():
    result = solve()
    print(f"Best weekly profit: {result['profit']:.2f}")
    for product, amount in result["make"].items():
        print(f"  make {amount:8.2f} {product}")
    for resource, value in result["hour_value"].items():
        print(f"  {resource:10s} spare hours {result['spare_hours'][resource]:8.2f}, "
              f"one more hour is worth {value:.2f}")


if __name__ == "__main__":
    main()
