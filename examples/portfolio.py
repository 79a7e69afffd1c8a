"""Portfolio (QP): the least-risk mix of three assets that reaches a target return.

Returns and variances are yearly; the assets are taken as uncorrelated, so the risk of a mix
x is sum(variance[i] * x[i]**2). The budget is fully invested and short sales are not allowed.
Setting the gradient 2 * variance[i] * x[i] equal to a + b * return[i] (the two constraints'
multipliers) and solving for the budget and the target gives the mix 4/13 bonds, 4/13 stocks
and 5/13 property, with variance 1/65 (about 0.01538).
"""

import kelvo

ASSETS = ["bonds", "stocks", "property"]
RETURN = [0.04, 0.10, 0.07]
VARIANCE = [0.01, 0.09, 0.04]
TARGET = 0.07


def solve(assets=ASSETS, mean=RETURN, variance=VARIANCE, target=TARGET):
    p = kelvo.problem(name="portfolio")
    x = [p.addVariable(name=a) for a in assets]
    p.addConstraint(
        kelvo.constraint(kelvo.Sum(x) == 1, name="budget"),
        kelvo.constraint(kelvo.Sum(m * xi for m, xi in zip(mean, x)) >= target, name="return"),
    )
    p.setObjective(kelvo.Sum(v * xi * xi for v, xi in zip(variance, x)))
    p.controls.outputlog = 0  # keep the engine log out of the printed report
    p.optimize()
    return {"risk": p.attributes.objval, "weights": dict(zip(assets, p.getSolution(x)))}


def main():
    result = solve()
    print(f"Least variance {result['risk']:.6f} (standard deviation {result['risk'] ** 0.5:.4f})")
    for asset, share in result["weights"].items():
        print(f"  {asset:9s} {100 * share:6.2f} %")


if __name__ == "__main__":
    main()
