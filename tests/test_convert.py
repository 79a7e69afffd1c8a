"""Argument conversion for the library-call methods, driven through private entry points:
element kinds, length slots, iterators, names, output lists, index resolution, the iterable
conversions and old keyword names."""

import warnings

import numpy as np
import pytest

import kelvo


def unlinked():
    """A free-standing variable (its constructor is deprecated in favour of addVariable)."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        return kelvo.var()

ROW, COL, INT, INT64, REAL, CHAR, CUT = range(7)


@pytest.fixture
def model(t, tmp_path):
    """A problem with three named columns and two named rows, read from a file."""
    path = tmp_path / "m.lp"
    path.write_text("Minimize\n x + y + z\nSubject To\n r0: x + y >= 1\n r1: y + z >= 1\nEnd\n")
    p = kelvo.problem()
    p.read(str(path))
    return p


class TestArrays:
    def test_a_list_cleared_by_an_item_while_it_converts_is_refused(self, t):
        items = []

        class Clearing:
            def __float__(self):
                items.clear()
                return 1.0

        items.extend([Clearing(), object()] + [float(i) for i in range(100)])
        with pytest.raises(kelvo.InterfaceError, match="expected 102, found 0"):
            t.conv_array(None, items, REAL)

    def test_lists_tuples_and_numpy_arrays(self, t):
        assert t.conv_array(None, [1, 2.5, 3], REAL) == ([1.0, 2.5, 3.0], 3)
        assert t.conv_array(None, (4, 5), INT) == ([4, 5], 2)
        assert t.conv_array(None, np.array([1.5, 2.5]), REAL) == ([1.5, 2.5], 2)
        assert t.conv_array(None, np.array([7, -8], dtype=np.int64), INT) == ([7, -8], 2)
        assert t.conv_array(None, np.array([7, -8], dtype=np.int64), INT64) == ([7, -8], 2)
        assert t.conv_array(None, ["a", "Z"], CHAR) == ([97, 90], 2)

    def test_none_gives_no_array_and_leaves_the_slot(self, t):
        assert t.conv_array(None, None, REAL, 5) == (None, 5)

    def test_unsigned_numpy_integers_are_not_integers(self, t):
        with pytest.raises(kelvo.InterfaceError, match="^Value is not an integer$"):
            t.conv_array(None, np.array([1, 2], dtype=np.uint8), INT)
        with pytest.raises(kelvo.InterfaceError, match="^Value is not an integer$"):
            t.conv_array(None, [1.0], INT64)

    def test_integer_ranges(self, t):
        assert t.conv_array(None, [2**31 - 1, -(2**31)], INT)[0] == [2**31 - 1, -(2**31)]
        with pytest.raises(OverflowError):
            t.conv_array(None, [2**31], INT)
        assert t.conv_array(None, [2**40], INT64)[0] == [2**40]
        with pytest.raises(OverflowError):
            t.conv_array(None, [2**63], INT64)

    def test_dicts_and_sets_are_not_sequences(self, t):
        for bad in ({1: 2}, {1, 2}, 5):
            with pytest.raises(kelvo.InterfaceError, match="^Invalid sequence of objects$"):
                t.conv_array(None, bad, REAL)

    def test_length_slot_is_shared(self, t):
        assert t.conv_array(None, [1, 2, 3], REAL, 3) == ([1.0, 2.0, 3.0], 3)
        with pytest.raises(kelvo.InterfaceError, match="^Mismatched lengths in arguments: expected 3, found 2$"):
            t.conv_array(None, [1, 2], REAL, 3)
        # Without a slot nothing is compared.
        assert t.conv_array(None, [1, 2], REAL, 3, False)[0] == [1.0, 2.0]

    def test_iterators_grow_and_are_checked_after_consumption(self, t):
        big = iter(range(1000))
        values, slot = t.conv_array(None, big, INT)
        assert values == list(range(1000)) and slot == 1000
        consumed = []

        def gen():
            for i in range(4):
                consumed.append(i)
                yield i

        with pytest.raises(kelvo.InterfaceError, match="expected 3, found 4"):
            t.conv_array(None, gen(), REAL, 3)
        assert consumed == [0, 1, 2, 3]
        assert t.conv_array(None, iter([]), REAL) == (None, 0)

    def test_iterator_error_propagates(self, t):
        def gen():
            yield 1
            raise KeyError("stop")

        with pytest.raises(KeyError):
            t.conv_array(None, gen(), REAL)

    def test_first_bad_element_ends_the_conversion(self, t):
        with pytest.raises(TypeError):
            t.conv_array(None, [1.0, "x", 2.0], REAL)
        with pytest.raises(TypeError):
            t.conv_array(None, ["ab"], CHAR)

    def test_index_kinds_accept_objects_and_names(self, t, model):
        x, y, z = model.getVariable()
        r0, r1 = model.getConstraint()
        assert t.conv_array(model, [z, "x", 1, np.int16(0)], COL)[0] == [2, 0, 1, 0]
        assert t.conv_array(model, [r1, b"r0"], ROW)[0] == [1, 0]
        # Integers are passed on unchecked; unknown names give the library's -1.
        assert t.conv_array(model, [99, "nosuch"], COL)[0] == [99, -1]
        with pytest.raises(kelvo.ModelError, match="^Invalid variable object"):
            t.conv_array(model, [r0], COL)
        with pytest.raises(kelvo.ModelError, match="^Invalid constraint object"):
            t.conv_array(model, [x], ROW)


class TestIndexResolution:
    def test_variables_of_this_problem_only(self, t, model):
        other = kelvo.problem()
        w = other.addVariable()
        with pytest.raises(kelvo.ModelError, match="^Variable is from a different problem$"):
            t.conv_index(model, w, COL)
        with pytest.raises(kelvo.ModelError, match="^Variable does not belong to this problem$"):
            t.conv_index(model, unlinked(), COL)

    def test_deleted_objects(self, t, model):
        x, y, z = model.getVariable()
        model.delVariable(x)
        with pytest.raises(kelvo.ModelError, match="^Variable has been deleted from the problem$"):
            t.conv_index(model, x, COL)
        assert t.conv_index(model, z, COL) == 1

    def test_names(self, t, model):
        assert t.conv_index(model, "z", COL) == 2
        assert t.conv_index(model, "r1", ROW) == 1
        assert t.conv_index(model, "z", ROW) == -1

    def test_combined_index(self, t, model):
        x, y, z = model.getVariable()
        r0, r1 = model.getConstraint()
        # Columns follow the two rows.
        assert t.conv_combined(model, x) == (2, True)
        assert t.conv_combined(model, z) == (4, True)
        assert t.conv_combined(model, r1) == (1, True)
        assert t.conv_combined(model, 3) == (3, False)
        with pytest.raises(kelvo.InterfaceError, match="^Invalid variable or constraint index$"):
            t.conv_combined(model, 2**31)
        with pytest.raises(kelvo.InterfaceError, match="^Value is not a variable, constraint or index$"):
            t.conv_combined(model, "x")
        assert t.combined_object(model, 3) is y
        assert t.combined_object(model, 0) is r0
        with pytest.raises(IndexError):
            t.combined_object(model, 5)


class TestNames:
    def test_buffer_holds_each_name_and_a_zero(self, t):
        assert t.conv_names(["ab", "ü"], 2) == b"ab\0" + "ü".encode() + b"\0"
        assert t.conv_names(("a", "b", "c"), 2) == b"a\0b\0c\0"  # longer lists are accepted
        assert t.conv_names(None, 0) == b""

    def test_iterators_are_read_for_the_count(self, t):
        it = iter(["a", "b", "c"])
        assert t.conv_names(it, 2) == b"a\0b\0"
        assert next(it) == "c"
        with pytest.raises(kelvo.InterfaceError, match="^Expected 3 strings but found 1$"):
            t.conv_names(iter(["a"]), 3)

    def test_refusals(self, t):
        with pytest.raises(kelvo.InterfaceError, match="^Expected 3 strings but found 2$"):
            t.conv_names(["a", "b"], 3)
        with pytest.raises(kelvo.InterfaceError, match="^Invalid sequence of strings$"):
            t.conv_names(None, 1)
        with pytest.raises(kelvo.InterfaceError, match="^Invalid sequence of strings$"):
            t.conv_names(5, 1)
        with pytest.raises(TypeError):
            t.conv_names(["a", 3], 2)


class TestOutputs:
    def test_list_is_cut_or_extended_to_the_count(self, t):
        longer = [9, 9, 9, 9, 9]
        t.conv_output(None, [1.5, 2.5, 3.5], longer, REAL)
        assert longer == [1.5, 2.5, 3.5]
        empty = []
        t.conv_output(None, [1, 2, 3], empty, INT)
        assert empty == [1, 2, 3] and all(type(v) is int for v in empty)
        shorter = ["keep"]
        t.conv_output(None, [4, 5], shorter, INT)
        assert shorter == [4, 5]

    def test_none_target_collects_nothing(self, t):
        assert t.conv_output(None, [1.0], None, REAL) is None

    def test_non_list_target(self, t):
        with pytest.raises(kelvo.ModelError, match="^Unexpected argument to conv_arr2obj$"):
            t.conv_output(None, [1.0], (), REAL)

    def test_columns_become_variables(self, t, model):
        x, y, z = model.getVariable()
        out = []
        t.conv_output(model, [2, -1, 0], out, COL)
        assert out[0] is z and out[1] is None and out[2] is x
        with pytest.raises(kelvo.InterfaceError, match="^Wrong item returned from API call, type 1$"):
            t.conv_output(model, [7], [], COL)


class TestIterables:
    def test_index_kinds(self, t, model):
        x, y, z = model.getVariable()
        r0, r1 = model.getConstraint()
        assert t.conv_iter(model, [2, 0], "colind", "col") == ([2, 0], False)
        assert t.conv_iter(model, (v for v in (z, x)), "colind", "col") == ([2, 0], True)
        assert t.conv_iter(model, [r1, 0], "rowind", "row") == ([1, 0], True)

    def test_index_errors_name_the_element_and_argument(self, t, model):
        x = model.getVariable(0)
        with pytest.raises(kelvo.InterfaceError,
                           match=r"^Error in element 1 of argument 'colind': Value is not a variable or variable index$"):
            t.conv_iter(model, [0, "x"], "colind", "col")
        with pytest.raises(kelvo.InterfaceError, match="element 0 of argument 'rowind': Invalid constraint index"):
            t.conv_iter(model, [2**31], "rowind", "row")
        with pytest.raises(kelvo.InterfaceError, match="Value is not a constraint or constraint index"):
            t.conv_iter(model, [x], "rowind", "row")
        with pytest.raises(kelvo.InterfaceError, match="Value is not a SOS or SOS index"):
            t.conv_iter(model, [x], "sets", "set")
        with pytest.raises(kelvo.InterfaceError, match="^Argument 'colind' must be iterable$"):
            t.conv_iter(model, 5, "colind", "col")

    def test_scalar_kinds(self, t):
        assert t.conv_iter(None, ["L", 71, "E"], "rowtype", "char") == b"LGE"
        assert t.conv_iter(None, [2**31 - 1, -(2**31 - 1)], "n", "int") == [2**31 - 1, -(2**31 - 1)]
        assert t.conv_iter(None, [2**40], "n", "int64") == [2**40]
        assert t.conv_iter(None, {3: "a", 4: "b"}, "n", "int") == [3, 4]
        assert t.conv_iter(None, [1, 2.5, 2**53], "v", "real") == [1.0, 2.5, float(2**53)]

    def test_scalar_refusals(self, t):
        cases = [
            ([-(2**31)], "int", "int too big to convert"),
            ([1.0], "int", "Value is not an integer"),
            ([1.0], "int64", "Value is not an integer"),
            (["LG"], "char", "Value is not a single character"),
            ([""], "char", "Value is not a single character"),
            ([128], "char", "int too big to convert"),
            ([1.0], "char", "Value is not an character"),
            ([2**53 + 1], "real", "int too big to convert"),
            (["1"], "real", "Value is not a number"),
        ]
        for values, kind, message in cases:
            with pytest.raises(kelvo.InterfaceError, match="Error in element 0 of argument 'a': " + message):
                t.conv_iter(None, values, "a", kind)


class TestOldKeywords:
    def test_new_names(self, t, recwarn):
        assert t.old_keywords(rows=1, cols=2) == (1, 2)
        assert not [w for w in recwarn if issubclass(w.category, kelvo.DeprecationWarning)]

    def test_old_names_work_and_warn_once(self, t):
        with pytest.warns(kelvo.DeprecationWarning, match="old argument names") as record:
            assert t.old_keywords(nrows=3, ncols=4) == (3, 4)
        assert len([w for w in record if issubclass(w.category, kelvo.DeprecationWarning)]) == 1

    def test_unknown_name_reports_the_new_names_error(self, t):
        with pytest.raises(TypeError, match="bogus"):
            t.old_keywords(bogus=1)
