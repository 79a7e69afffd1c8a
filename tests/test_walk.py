"""The walk over nested argument collections."""
import collections

import numpy as np
import pytest

import kelvo


def nested(levels, leaf="leaf"):
    c = leaf
    for _ in range(levels):
        c = [c]
    return c


def object_array():
    arr = np.empty(3, dtype=object)
    arr[0], arr[1], arr[2] = "x", [1, 2], {"k": 3}
    return arr


@pytest.mark.parametrize("collection,leaves", [
    ([1, (2, 3), [[4]], collections.deque([5, 6])], [1, 2, 3, 4, 5, 6]),
    (7, [7]),
    ([], []),
    # Dictionaries give their values, not their keys; strings and bytes are leaves.
    ({"a": 1, "b": [2, 3], "c": {"d": 4}}, [1, 2, 3, 4]),
    (["abc", [b"de"], ("f",)], ["abc", b"de", "f"]),
    (object_array(), ["x", 1, 2, 3]),
    # Numeric arrays give floats in memory order.
    (np.array([[1, 2], [3, 4]], dtype=np.int32), [1.0, 2.0, 3.0, 4.0]),
    (np.asfortranarray(np.array([[1.5, 2.5], [3.5, 4.5]])), [1.5, 3.5, 2.5, 4.5]),
    (np.array([True, False]), [1.0, 0.0]),
    (np.array([1.25, -2.0], dtype=">f8"), [1.25, -2.0]),
    (np.array([7, -8], dtype=">i4"), [7.0, -8.0]),
    (np.arange(6.0)[::2], [0.0, 2.0, 4.0]),
    (np.zeros((0, 3)), []),
])
def test_leaves_in_order(t, collection, leaves):
    result, got = t.walk(collection)
    assert result == 0 and got == leaves
    assert [type(v) for v in got] == [type(v) for v in leaves]


@pytest.mark.parametrize("wrap", [lambda c: [c], lambda c: {"k": c}, lambda c: iter([c]),
                                  lambda c: np.array([c, None], dtype=object)])
def test_every_kind_of_nesting_costs_one_level_of_32(t, wrap):
    assert t.walk(wrap(nested(31))) == (0, ["leaf"] + ([None] if isinstance(wrap([]), np.ndarray) else []))
    with pytest.raises(kelvo.ModelError, match="^Maximum recursion \\(inclusion\\) level reached$"):
        t.walk(wrap(nested(32)))


def test_a_leaf_handler_result_stops_the_walk_and_generators_are_consumed_once(t):
    stop = object()
    gen = iter([1, stop, 2, 3])
    assert t.walk([[0], gen], stop) == (7, [0, 1])
    assert list(gen) == [2, 3]  # nothing after the stopping leaf was taken
    # A generator is consumed once.
    gen = (i * i for i in range(4))
    assert t.walk([gen]) == (0, [0, 1, 4, 9])
    assert t.walk(gen) == (0, [])


@pytest.mark.parametrize("dtype", [np.int64, np.float32, np.int16, np.uint32, np.complex128, "U3"])
def test_other_element_types_are_refused(t, dtype):
    with pytest.raises(kelvo.ModelError, match="^Incorrect objects used in Sum, Dot, Prod, or aggregate functions$"):
        t.walk([1, np.zeros(2, dtype=dtype)])


class BadSequence(collections.abc.Sequence):
    def __len__(self):
        return 2

    def __getitem__(self, i):
        raise ValueError("bad item")


def failing_iterator():
    yield 1
    raise KeyError("iterator failed")


def test_errors_of_iterators_and_sequences_are_reported_as_raised(t):
    with pytest.raises(KeyError, match="iterator failed"):
        t.walk(failing_iterator())
    with pytest.raises(ValueError, match="bad item"):
        t.walk([1, BadSequence()])
    with pytest.raises(kelvo.ModelError, match="Maximum recursion"):
        t.walk(["leaf"], None, -1)
