"""Reading algebra objects back for the expression tests: kinds and numeric values."""

import math

import kelvo

testing = kelvo._kelvo._testing

KINDS = {
    kelvo.var: "var",
    kelvo.linterm: "lin",
    kelvo.quadterm: "quad",
    kelvo.expression: "expr",
    kelvo.nonlin: "nl",
}


def kind(obj):
    if isinstance(obj, (int, float)):
        return "num"
    return KINDS.get(type(obj), type(obj).__name__)


def _fold(values, fn, start):
    for v in values:
        start = fn(start, v)
    return start


_UNARY = {
    2: lambda a: -a,
    6: math.exp,
    7: math.log,
    8: math.log10,
    9: math.sin,
    10: math.cos,
    11: math.tan,
    12: math.asin,
    13: math.acos,
    14: math.atan,
    17: abs,
    18: lambda a: (a > 0) - (a < 0),
    19: math.erf,
    20: math.erfc,
    21: math.sqrt,
}


def value(obj, point):
    """The value of obj with each variable v at point[v], computed from the records."""
    k = kind(obj)
    if k == "num":
        return float(obj)
    if k == "var":
        return point[obj]
    if k == "lin":
        coef, var = testing.term_parts(obj)
        return coef * point[var]
    if k == "quad":
        coef, a, b = testing.term_parts(obj)
        return coef * point[a] * point[b]
    if k == "expr":
        constant, lin, quad, _ = testing.expr_parts(obj)
        total = constant + sum(c * point[v] for v, c in lin.items())
        return total + sum(c * point[a] * point[b] for (a, b), c in quad.items())
    if k == "nl":
        op, args = testing.node_parts(obj)
        if op in _UNARY:
            return _UNARY[op](value(args, point))
        vals = [value(a, point) for a in args]
        if op == 0:
            return sum(vals)
        if op == 1:
            return vals[0] - vals[1]
        if op == 3:
            return _fold(vals, lambda p, v: p * v, 1.0)
        if op == 4:
            return vals[0] / vals[1]
        if op == 5:
            return vals[0] ** vals[1]
        if op == 15:
            return max(vals)
        if op == 16:
            return min(vals)
        raise AssertionError(f"no evaluation for operator {op}")
    raise AssertionError(f"not an algebra object: {obj!r}")
