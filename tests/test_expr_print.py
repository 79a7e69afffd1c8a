"""Printed forms of terms, expressions and nonlinear trees: order, signs, number formats and
parentheses. Expected texts are written around str() of the variables, so they hold whatever
name a variable prints with."""

import pytest

import kelvo
from helpers import free_var


@pytest.fixture
def v():
    x, y, z = free_var(), free_var(), free_var()
    return x, y, z, str(x), str(y), str(z)


@pytest.mark.parametrize("build,text", [
    (lambda x, y, z: -2 * x, "-2 * {X}"),
    (lambda x, y, z: 0.5 * x * y, "0.5 * {X} * {Y}"),
    (lambda x, y, z: -(x * x), "-{X} ** 2"),
    (lambda x, y, z: kelvo.expression(), "0"),
    (lambda x, y, z: kelvo.expression() + 2.5, "2.5"),
    (lambda x, y, z: x - 3, "-3 + {X}"),
    (lambda x, y, z: y + 2 * x, "2 * {X} + {Y}"),
    (lambda x, y, z: -x + y, "-{X} + {Y}"),
    (lambda x, y, z: x - 2 * y, "{X} - 2 * {Y}"),
    (lambda x, y, z: y * y - x * y + 2 * y + 1, "1 + 2 * {Y} - {X} * {Y} + {Y} ** 2"),
    (lambda x, y, z: x / 3 + 0, "0.333333 * {X}"),
    (lambda x, y, z: 1e20 * x + y, "1e+20 * {X} + {Y}"),
    (lambda x, y, z: 1250000 * x + 1e-7 * y, "1.25e+06 * {X} + 1e-07 * {Y}"),
    (lambda x, y, z: -(kelvo.sin(x) + y), "-(sin({X}) + {Y})"),
    (lambda x, y, z: (x + 1) * kelvo.sin(y), "(1 + {X}) * sin({Y})"),
    (lambda x, y, z: kelvo.sin(x) - (kelvo.sin(y) - kelvo.sin(z)), "sin({X}) - (sin({Y}) - sin({Z}))"),
    (lambda x, y, z: (kelvo.sin(x) - kelvo.sin(y)) - kelvo.sin(z), "sin({X}) - sin({Y}) - sin({Z})"),
    (lambda x, y, z: x / (y * z), "{X} / ({Y} * {Z})"),
    (lambda x, y, z: (x ** y) ** z, "{X} ** {Y} ** {Z}"),
    (lambda x, y, z: x ** (y ** z), "{X} ** {Y} ** {Z}"),
    (lambda x, y, z: kelvo.sin(x) + 1 / 3, "sin({X}) + 0.3333333333333333"),
    (lambda x, y, z: kelvo.sin(x) * 2, "sin({X}) * 2"),
    (lambda x, y, z: kelvo.max(x, 2 * y, 3), "max({X}, 2 * {Y}, 3)"),
    (lambda x, y, z: kelvo.user(len, x, y), "user(user, {X}, {Y})"),
    (lambda x, y, z: kelvo.log(x + y), "log({X} + {Y})"),
    (lambda x, y, z: (2 * x) * kelvo.cos(y), "2 * {X} * cos({Y})"),
    (lambda x, y, z: kelvo.cos(y) / (2 * x), "cos({Y}) / (2 * {X})"),
    (lambda x, y, z: kelvo.cos(y) / (x + 1), "cos({Y}) / (1 + {X})"),
])
def test_printed_forms(v, build, text):
    x, y, z, X, Y, Z = v
    obj = build(x, y, z)
    assert str(obj) == repr(obj) == text.format(X=X, Y=Y, Z=Z)


def test_deep_trees_stop_at_the_depth_limit(v):
    x, _, _, X, _, _ = v
    n = x
    for _ in range(70):
        n = kelvo.sin(n)
    text = str(n)
    assert text.startswith("sin(" * 60)
    assert "[MAX RECURS LEV]" in text and X not in text
    m = x
    for _ in range(60):
        m = kelvo.sin(m)
    assert "[MAX RECURS LEV]" not in str(m) and X in str(m)
