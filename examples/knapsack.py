"""Knapsack (MILP): pick items of greatest total profit within a weight limit.

A published instance (P01 of a common collection of knapsack test data): ten items, capacity
165. The best choice takes items 1, 2, 3, 4 and 6 (weight 165) for a profit of 309.
"""

import kelvo

WEIGHTS = [23, 31, 29, 44, 53, 38, 63, 85, 89, 82]
PROFITS = [92, 57, 49, 68, 60, 43, 67, 84, 87, 72]
CAPACITY = 165


def solve(weights=WEIGHTS, profits=PROFITS, capacity=CAPACITY):
    p = kelvo.problem(name="knapsack")
    take = [p.addVariable(name=f"take{i + 1}", vartype=kelvo.binary) for i in range(len(weights))]
    p.addConstraint(kelvo.constraint(kelvo.Sum(w * t for w, t in zip(weights, take)) <= capacity, name="weight"))
    p.setObjective(kelvo.Sum(v * t for v, t in zip(profits, take)), sense=kelvo.maximize)
    p.controls.outputlog = 0  # keep the engine log out of the printed report
    p.optimize()
    chosen = [i + 1 for i, v in enumerate(p.getSolution(take)) if v > 0.5]
    return {"profit": p.attributes.objval, "chosen": chosen, "weight": sum(weights[i - 1] for i in chosen)}


def main():
    result = solve()
    print(f"Best profit {result['profit']:.0f} with items {result['chosen']} (weight {result['weight']})")


if __name__ == "__main__":
    main()
