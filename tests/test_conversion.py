"""Conversion of method arguments into the library's arrays and of results into the caller's lists."""
import warnings

import numpy as np
import pytest

import kelvo


@pytest.fixture
def p():
    p = kelvo.problem()
    p.addVariables(4, name="x")
    return p


def lower_bounds(p):
    lb = []
    p.getlb(lb)
    return lb


def test_every_accepted_container_gives_the_same_arrays(p):
    x = p.getVariable()
    forms = [
        lambda: ([0, "x(1)", x[2]], ("L", "L", "L"), [1, 2, np.float32(3)]),
        lambda: (np.array([0, 1, 2], dtype=np.int64), iter("LLL"), np.array([1.0, 2.0, 3.0])),
        lambda: (np.array([0, 1, 2], dtype=np.int16), list("LLL"), np.arange(1, 4, dtype=np.int32)),
        lambda: ((i for i in range(3)), "LLL", np.array([1.0, 9.0, 2.0, 9.0, 3.0])[::2]),  # strided
    ]
    for form in forms:
        p.chgbounds([0, 1, 2], "LLL", [0, 0, 0])
        p.chgbounds(*form())
        assert lower_bounds(p) == [1.0, 2.0, 3.0, 0.0]


def test_refused_arrays_leave_the_model_unchanged(p):
    p.chgbounds([0, 1], "LL", [5, 6])
    cases = [
        (({0: 1}, "L", [1]), kelvo.InterfaceError, "Invalid sequence of objects"),
        (((i for i in range(3)), "LL", [1, 2]), kelvo.InterfaceError, "Mismatched lengths in arguments: expected 3, found 2"),
        (([0, 1], "LLU", [1, 2]), kelvo.InterfaceError, "Mismatched lengths in arguments: expected 2, found 3"),
        (([0], ["LU"], [1]), kelvo.InterfaceError, "Value is not a single character"),
        ((np.array([0], dtype=np.uint8), "L", [1]), kelvo.ModelError, "Invalid variable object 0"),
        (([2**40], "L", [1]), OverflowError, "1099511627776"),
        ((np.array([2**40]), "L", [1]), OverflowError, "1099511627776"),
        (([0, 1], "LL", [1, "a"]), TypeError, "must be real number"),
        (([0, 9], "LL", [1, 2]), kelvo.SolverError, "out of range"),
    ]
    for args, error, text in cases:
        with pytest.raises(error, match=text):
            p.chgbounds(*args)
        assert lower_bounds(p) == [5.0, 6.0, 0.0, 0.0]


def test_results_replace_and_append_list_items(p):
    p.chgbounds([0, 1, 2, 3], "LLLL", [1, 2, 3, 4])
    longer = ["a"] * 6
    p.getlb(longer, 1, 2)
    assert longer == [2.0, 3.0]
    shorter = ["a"]
    p.getlb(shorter, first=p.getVariable(1))
    assert shorter == [2.0, 3.0, 4.0]
    unchanged = ["a"]
    assert p.getlb(unchanged, 2, 1) is None and unchanged == ["a"]
    with pytest.raises(kelvo.ModelError, match="Unexpected argument to conv_arr2obj"):
        p.getlb((1, 2))


def test_older_keywords_warn_once_and_unknown_ones_report_the_new_names(p):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        p.chgbounds(mindex=[0], qbtype="U", bnd=[7])
    assert [str(w.message) for w in caught] == [
        "Deprecated in Kelvo 9.5: function called with old argument names: check the documentation for the new argument names"]
    ub = []
    p.getub(ub, 0, 0)
    assert ub == [7.0]
    with pytest.raises(TypeError, match="colind"):
        p.chgbounds(cols=[0], bndtype="U", bndval=[1])
