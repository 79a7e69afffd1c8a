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


def test_str_and_repr_agree(v):
    x, y, _, _, _, _ = v
    for obj in (2 * x, x * y, x + y, kelvo.sin(x)):
        assert str(obj) == repr(obj)


def test_linear_and_quadratic_terms(v):
    x, y, _, X, Y, _ = v
    assert str(-2 * x) == f"-2 * {X}"
    assert str(-x) == f"-{X}"
    assert str(0.5 * x * y) == f"0.5 * {X} * {Y}"
    assert str(x * y) == f"{X} * {Y}"
    assert str(-(x * x)) == f"-{X} ** 2"
    assert str(0 * (x * y)) == f"0 * {X} * {Y}"


def test_expressions(v):
    x, y, _, X, Y, _ = v
    cases = [
        (kelvo.expression(), "0"),
        (kelvo.expression() + 2.5, "2.5"),
        (3 + x, f"3 + {X}"),
        (x - 3, f"-3 + {X}"),
        (2 * x + y, f"2 * {X} + {Y}"),
        (y + 2 * x, f"2 * {X} + {Y}"),
        (-x + y, f"-{X} + {Y}"),
        (x - 2 * y, f"{X} - 2 * {Y}"),
        (x * y + x * x, f"{X} ** 2 + {X} * {Y}"),
        (y * y - x * y + 2 * y + 1, f"1 + 2 * {Y} - {X} * {Y} + {Y} ** 2"),
        (x / 3 + 0, f"0.333333 * {X}"),
        (1e20 * x + y, f"1e+20 * {X} + {Y}"),
        (1250000 * x + 1e-7 * y, f"1.25e+06 * {X} + 1e-07 * {Y}"),
    ]
    for obj, text in cases:
        assert str(obj) == text


def test_nonlinear_trees(v):
    x, y, z, X, Y, Z = v
    cases = [
        (kelvo.sin(x), f"sin({X})"),
        (-(kelvo.sin(x) + y), f"-(sin({X}) + {Y})"),
        (-(x * y * z), f"-({X} * {Y} * {Z})"),
        (-kelvo.sin(x), f"-sin({X})"),
        ((x + 1) * kelvo.sin(y), f"(1 + {X}) * sin({Y})"),
        (kelvo.sin(x) - (kelvo.sin(y) - kelvo.sin(z)), f"sin({X}) - (sin({Y}) - sin({Z}))"),
        ((kelvo.sin(x) - kelvo.sin(y)) - kelvo.sin(z), f"sin({X}) - sin({Y}) - sin({Z})"),
        (x / (y * z), f"{X} / ({Y} * {Z})"),
        ((x ** y) ** z, f"{X} ** {Y} ** {Z}"),
        (x ** (y ** z), f"{X} ** {Y} ** {Z}"),
        (kelvo.sin(x) + 1 / 3, f"sin({X}) + 0.3333333333333333"),
        (kelvo.sin(x) * 2, f"sin({X}) * 2"),
        (2 / x, f"2 / {X}"),
        (kelvo.max(x, 2 * y, 3), f"max({X}, 2 * {Y}, 3)"),
        (kelvo.user(len, x, y), f"user(user, {X}, {Y})"),
        (kelvo.log(x + y), f"log({X} + {Y})"),
        ((2 * x) * kelvo.cos(y), f"2 * {X} * cos({Y})"),
        (kelvo.cos(y) / (2 * x), f"cos({Y}) / (2 * {X})"),
        (kelvo.cos(y) / (x + 1), f"cos({Y}) / (1 + {X})"),
    ]
    for obj, text in cases:
        assert str(obj) == text


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


def test_printing_leaves_objects_unchanged(v):
    x, y, _, _, _, _ = v
    e = x + y
    n = kelvo.sin(x) + e
    before = (str(e), str(n))
    str(n)
    assert (str(e), str(n)) == before
