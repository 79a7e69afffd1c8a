"""Facility location (MILP): which depots to open so that every customer is served cheaply.

Opening a depot has a fixed cost; serving a customer from a depot costs its service cost. With
three candidate depots there are seven ways to open some of them, so the answer is easy to
check by hand: opening north and south (fixed 6 + 7, service 2 + 3 + 2 + 3) costs 23, less
than any other choice.
"""

import kelvo

FIXED = {"north": 6.0, "south": 7.0, "central": 9.0}
SERVICE = {  # depot -> cost of serving each customer
    "north": [2.0, 3.0, 10.0, 9.0],
    "south": [8.0, 7.0, 2.0, 3.0],
    "central": [5.0, 4.0, 5.0, 6.0],
}


def solve(fixed=FIXED, service=SERVICE):
    customers = range(len(next(iter(service.values()))))
    p = kelvo.problem(name="facilities")
    open_ = {d: p.addVariable(name=f"open_{d}", vartype=kelvo.binary) for d in fixed}
    serve = {(d, c): p.addVariable(name=f"serve_{d}_{c}", ub=1.0) for d in fixed for c in customers}
    p.addConstraint(
        [kelvo.constraint(kelvo.Sum(serve[d, c] for d in fixed) == 1, name=f"customer{c}") for c in customers],
        [serve[d, c] <= open_[d] for d in fixed for c in customers],
    )
    p.setObjective(
        kelvo.Sum(fixed[d] * open_[d] for d in fixed)
        + kelvo.Sum(service[d][c] * serve[d, c] for d in fixed for c in customers)
    )
    p.controls.outputlog = 0  # keep the engine log out of the printed report
    p.optimize()
    opened = [d for d, v in zip(open_, p.getSolution(list(open_.values()))) if v > 0.5]
    values = p.getSolution(serve)
    assignment = {c: d for (d, c), v in values.items() if v > 0.5}
    return {"cost": p.attributes.objval, "open": opened, "assignment": assignment}


def main():
    result = solve()
    print(f"Least total cost {result['cost']:.2f}; open depots: {', '.join(result['open'])}")
    for c, d in sorted(result["assignment"].items()):
        print(f"  customer {c} is served from {d}")


if __name__ == "__main__":
    main()
