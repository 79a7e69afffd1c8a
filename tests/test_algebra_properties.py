"""Random expressions evaluated by kelvo against the same recipe computed with Python floats."""

import math

import pytest

pytest.importorskip("hypothesis")
from hypothesis import assume, given, settings, strategies as st  # noqa: E402

import kelvo  # noqa: E402

FUNCS = ["exp", "log", "log10", "sin", "cos", "tan", "atan", "sqrt", "abs", "erf", "erfc"]
EXPONENTS = [2, 3, -1, 0.5, 1.5, 2.5]
SETTINGS = settings(max_examples=300, derandomize=True, deadline=None)

number = st.floats(-5, 5, allow_nan=False).map(lambda c: round(c, 3))
nonzero = st.one_of(st.floats(-5, -0.1), st.floats(0.1, 5))
leaf = st.one_of(st.tuples(st.just("var"), st.integers(0, 2)), st.tuples(st.just("const"), number))


def extend(sub, nonlinear):
    parts = [st.tuples(st.sampled_from(["+", "-", "*"] if nonlinear else ["+", "-"]), sub, sub),
             st.tuples(st.just("/"), sub, nonzero), st.tuples(st.just("neg"), sub),
             st.tuples(st.just("Sum"), st.lists(sub, min_size=1, max_size=4))]
    if nonlinear:
        parts += [st.tuples(st.just("**"), sub, st.sampled_from(EXPONENTS)), st.tuples(st.sampled_from(FUNCS), sub),
                  st.tuples(st.sampled_from(["max", "min"]), sub, sub)]
    return st.one_of(parts)


recipes = st.recursive(leaf, lambda s: extend(s, True), max_leaves=8)
# Without products of products these stay at most quadratic.
affine = st.recursive(leaf, lambda s: extend(s, False), max_leaves=5)
quadratic = st.one_of(affine, st.tuples(st.just("*"), affine, affine),
                      st.tuples(st.just("+"), affine, st.tuples(st.just("*"), affine, affine)))
points = st.lists(st.floats(-10, 10, allow_nan=False), min_size=3, max_size=3)


def run(r, leafval, op):
    """Interpret recipe r with leaves given by leafval and the operators by op."""
    tag = r[0]
    if tag in ("var", "const"):
        return leafval(r)
    if tag == "Sum":
        return op("Sum", [run(c, leafval, op) for c in r[1]])
    args = [run(c, leafval, op) if isinstance(c, tuple) else c for c in r[1:]]
    return op(tag, *args)


OPS = {"+": lambda a, b: a + b, "-": lambda a, b: a - b, "*": lambda a, b: a * b, "/": lambda a, b: a / b,
       "neg": lambda a: -a}


def kelvo_op(tag, *a):
    if tag in OPS:
        return OPS[tag](*a)
    return a[0] ** a[1] if tag == "**" else getattr(kelvo, tag)(*a)


def float_op(scale, tag, *a):
    """Apply tag to floats, keeping in scale[0] the largest magnitude seen."""
    # Rounding (kelvo may simplify x + y - x to y) moves arguments near a singularity too far.
    singular = tag in ("log", "log10", "sqrt") or tag == "**" and (a[1] < 0 or a[1] % 1)
    if singular and abs(a[0]) < 1e-4 * (1 + scale[0]) or tag == "tan" and abs(math.cos(a[0])) < 1e-3:
        raise ValueError("ill-conditioned")
    if tag in OPS:
        v = OPS[tag](*a)
    elif tag in ("Sum", "max", "min"):
        v = {"Sum": math.fsum, "max": max, "min": min}[tag](a[0] if tag == "Sum" else a)
    else:
        v = math.pow(*a) if tag == "**" else getattr(math, tag, abs)(a[0])  # all but abs in math
    scale[0] = max(scale[0], abs(v))
    return v


def both(recipe, point):
    """The kelvo expression and its float value at point, with the largest intermediate value."""
    scale = [max(abs(t) for t in point)]
    try:
        ref = run(recipe, lambda r: point[r[1]] if r[0] == "var" else r[1],
                  lambda *a: float_op(scale, *a))
    except (ValueError, ZeroDivisionError, OverflowError):
        ref = math.nan
    assume(math.isfinite(ref) and scale[0] < 1e6)
    # Built after the check, as Python computes constant subtrees such as (-1) ** 0.5 itself.
    p = kelvo.problem()
    xs = [p.addVariable(lb=-10) for _ in range(3)]
    expr = run(recipe, lambda r: xs[r[1]] if r[0] == "var" else r[1], kelvo_op)
    return p, xs, expr, ref, scale[0]


@SETTINGS
@given(recipes, points)
def test_evaluate_matches_float_arithmetic(recipe, point):
    p, _, expr, ref, scale = both(recipe, point)
    got = kelvo.evaluate(expr, problem=p, solution=point)
    assert math.isclose(got, ref, rel_tol=1e-9, abs_tol=1e-9 * (1 + scale)), (recipe, point)


@SETTINGS
@given(quadratic, points)
def test_extracted_parts_reproduce_polynomials(recipe, point):
    p, xs, expr, ref, scale = both(recipe, point)
    assume(not isinstance(expr, (int, float)))
    at = {id(x): t for x, t in zip(xs, point)}
    value = kelvo.evaluate(expr, problem=p, solution=[0.0] * 3)
    var, coef = expr.extractLinear()
    value += sum(c * at[id(v)] for v, c in zip(var, coef))
    first, second, coef = expr.extractQuadratic()
    value += sum(c * at[id(u)] * at[id(v)] for u, v, c in zip(first, second, coef))
    assert math.isclose(value, ref, rel_tol=1e-9, abs_tol=1e-9 * (1 + scale)), (recipe, point)
    # The printed form reads back as Python; coefficients are rounded once, so the second
    # reading prints the same as the first.
    names = {x.name: x for x in xs}
    text = str(eval(str(expr), names))
    assert str(eval(text, names)) == text

