"""A nonlinear design problem: the cheapest closed can that holds 330 cm^3.

A cylindrical can of radius r and height h has a side of area 2 pi r h and a top and a bottom of
area pi r^2 each; the top and bottom are twice as thick, so the metal costs

    4 pi r^2 + 2 pi r h     subject to     pi r^2 h >= 330,   r, h >= 0.1.

Setting the derivatives of the Lagrangian to zero gives h = 4 r, r = (330 / (4 pi))^(1/3)
= 2.9724 cm, a cost of 12 pi r^2 = 333.07, and a price of 2 / r = 0.6729 for one more cm^3
(the dual of the volume row). The same model is in can_design.c through the C interface.
"""

import math

import kelvo

VOLUME = 330.0


def solve(volume=VOLUME):
    p = kelvo.problem(name="can")
    r = p.addVariable(name="radius", lb=0.1)
    h = p.addVariable(name="height", lb=0.1)
    holds = kelvo.constraint(math.pi * r**2 * h >= volume, name="volume")
    p.addConstraint(holds)
    p.setObjective(4 * math.pi * r**2 + 2 * math.pi * r * h)
    p.controls.outputlog = 0  # keep the engine log out of the printed report
    status = p.optimize()
    radius, height = p.getSolution([r, h])
    return {"status": status, "cost": p.attributes.objval, "radius": radius, "height": height,
            "price_of_volume": p.getDuals(holds)}


def main():
    result = solve()
    print(f"Radius {result['radius']:.4f} cm, height {result['height']:.4f} cm, metal cost {result['cost']:.2f}")
    print(f"One more cm^3 would cost {result['price_of_volume']:.4f}")


if __name__ == "__main__":
    main()
