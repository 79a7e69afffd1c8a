"""Special ordered sets: the three states of kelvo.sos, what addSOS, delSOS, deleting columns,
copy, reset and read leave in the library's store, and the refusals that leave it unchanged."""
import pytest

import kelvo

from helpers import other_problem, quietly, store_sets as sets


@pytest.fixture
def model():
    p = kelvo.problem()
    x = [p.addVariable(name=f"x{i}") for i in range(6)]
    return p, x


def test_linked_sets_mirror_the_store_through_deletions_and_copies(model):
    p, x = model
    s0 = p.addSOS([x[0], x[1], x[2]], [1, 2, 3])
    s1 = p.addSOS([x[3], 4, x[5]], [0.5, 1.5, 2.5], type=2, name="mid")
    s2 = p.addSOS([x[1], x[4]], [7, 8], 1, "last")
    assert [str(s0), s1.name, repr(s2)] == ["SOS1", "mid", "last"]
    assert [s.index for s in (s0, s1, s2)] == [0, 1, 2] and p.getSOS() == [s0, s1, s2]
    assert s1.__dict__ == {"name": "mid", "index": 1} and p.getIndex(s2) == 2
    assert sets(p) == [("1", [0, 1, 2], [1, 2, 3]), ("2", [3, 4, 5], [0.5, 1.5, 2.5]), ("1", [1, 4], [7, 8])]

    # Renaming goes to the library; the index is not the user's to change.
    s0.name = "first"
    assert str(p.getSOS(0)) == "first"
    with pytest.raises(kelvo.InterfaceError, match="^SOS index cannot be modified$"):
        s0.index = 3
    with pytest.raises(kelvo.InterfaceError, match="^Cannot delete the name attribute$"):
        del s0.name

    # Deleting columns takes them out of every set and renumbers the others.
    p.delVariable([x[1], x[3]])
    assert sets(p) == [("1", [0, 1], [1, 3]), ("2", [2, 3], [1.5, 2.5]), ("1", [2], [8])]

    # The copy has its own objects over the same store; the source's objects stay with it.
    q = p.copy()
    assert sets(q) == sets(p)
    assert [str(s) for s in q.getSOS()] == ["first", "mid", "last"]
    assert all(a is not b for a, b in zip(q.getSOS(), p.getSOS()))
    with pytest.raises(kelvo.ModelError, match="^SOS is from a different problem$"):
        q.getIndex(s0)

    # Deleting the middle set marks its object deleted and moves the last one down.
    p.delSOS(s1)
    assert (s1.index, str(s1), s1.__dict__) == (-1, "(deleted SOS)", {"index": -1})
    assert (s2.index, p.getSOS()) == (1, [s0, s2])
    assert sets(p) == [("1", [0, 1], [1, 3]), ("1", [2], [8])]
    for bad in (lambda: p.getIndex(s1), lambda: p.delSOS(s1), lambda: setattr(s1, "name", "again")):
        with pytest.raises(kelvo.ModelError, match="^SOS has been deleted from the problem$"):
            bad()
    p.delSOS("last")
    assert sets(p) == [("1", [0, 1], [1, 3])] and sets(q)[1:] == [("2", [2, 3], [1.5, 2.5]), ("1", [2], [8])]

    q.delSOS(first=0, last=1)
    assert [s.index for s in q.getSOS()] == [0] and sets(q) == [("1", [2], [8])]
    q.reset()
    assert p.getSOS() == [s0] and s0.index == 0
    # A problem let go of marks its sets deleted as reset does.
    r = p.copy()
    kept = r.getSOS()
    del r
    assert [str(s) for s in kept] == ["(deleted SOS)"]
    p.reset()
    assert (s0.index, str(s0)) == (-1, "(deleted SOS)")


@pytest.mark.parametrize("args,kwargs,message", [
    (lambda x: ([x[0], x[1]], [1]), {}, "^Number of SOS indices and weights do not match$"),
    (lambda x: ([x[0], x[1]], [1, 2]), {"type": 3}, "^SOS type must be 1 or 2$"),
    (lambda x: ([x[0], x[1]], [1, 2]), {"name": 5}, "^SOS name must be a string$"),
    (lambda x: ([x[0], x[1]], (1, 2)), {}, "^SOS weights must be a list of numbers$"),
    (lambda x: ((x[0], x[1]), [1, 2]), {}, "^SOS indices must be a list of variables$"),
    (lambda x: ([x[0], 1.5], [1, 2]), {}, "^SOS indices must be variables or integer indices$"),
    (lambda x: ([x[0], x[1]], [1, "2"]), {}, "^SOS weights must be numbers$"),
    (lambda x: ([x[0], other_problem().getVariable(0)], [1, 2]), {}, "^Variable in SOS is from a different problem$"),
])
def test_refused_sets_leave_the_store_as_it_was(model, args, kwargs, message):
    p, x = model
    p.addSOS([x[2], x[3]], [1, 2], name="kept")
    with pytest.raises(kelvo.ModelError, match=message):
        p.addSOS(*args(x), **kwargs)
    assert sets(p) == [("1", [2, 3], [1, 2])] and len(p.getSOS()) == 1


def test_library_refusals_leave_the_store_as_it_was(model):
    p, x = model
    for members in ([x[0], x[0]], [x[0], 99]):
        with pytest.raises(kelvo.SolverError):
            p.addSOS(members, [1, 2])
    assert sets(p) == [] and p.getSOS() == []


def test_unlinked_sets_through_the_deprecated_constructor():
    x = [quietly(kelvo.var, name=f"u{i}") for i in range(3)]
    with pytest.warns(kelvo.DeprecationWarning, match="create a linked SOS by calling problem.addSOS"):
        s = kelvo.sos(x, [1, 2, 3])
        t = kelvo.sos([x[2], x[0]], [5, 6], type=2, name="t")
    assert str(s).startswith("sos") and (s.index, s.__dict__) == (None, {"name": str(s), "index": None})
    c = s.copy()
    assert s.name == f"sos{int(s.name[3:])}" and c.name == f"{s.name}_copy_{s.name}"
    with pytest.raises(kelvo.InterfaceError, match="^Cannot re-initialize a SOS$"):
        quietly(s.__init__, x, [1, 2, 3])
    with pytest.raises(kelvo.ModelError, match="^SOS type must be 1 or 2$"):
        quietly(kelvo.sos, x, [1, 2, 3], 0)
    t.name = "tt"
    with pytest.raises(kelvo.ModelError, match="^SOS name must be a string$"):
        t.name = 3
    assert (str(t), t.__dict__) == ("tt", {"name": "tt", "index": None})

    p = kelvo.problem()
    quietly(p.addVariable, x)
    p.addSOS([s, [t]])
    assert sets(p) == [("1", [0, 1, 2], [1, 2, 3]), ("2", [2, 0], [5, 6])]
    assert (p.getIndex(t), t.index, p.getSOS() == [s, t], p.getnamelist(3, 1, 1)) == (1, None, True, ["tt"])
    # A failure part-way takes back the sets this call added.
    for bad, message in [([c, s], "^SOS already added to problem$"), ([c, 3], "^Object added is not a SOS$"),
                         ([c, quietly(kelvo.sos, [x[0]], ["w"])], "^Invalid weight w$")]:
        with pytest.raises(kelvo.ModelError, match=message):
            p.addSOS(bad)
        assert len(sets(p)) == 2 and p.getSOS() == [s, t]
    with pytest.raises(kelvo.ModelError, match="^SOS does not belong to this problem$"):
        p.getIndex(c)
    p.delSOS(s)
    assert sets(p) == [("2", [2, 0], [5, 6])] and p.getIndex(t) == 0 and s.index is None

    linked = kelvo.problem()
    y = linked.addVariable()
    ls = linked.addSOS([y], [1])
    with pytest.raises(kelvo.ModelError, match="^SOS cannot be copied because it has been added to a problem$"):
        ls.copy()
    with pytest.raises(kelvo.ModelError, match="^Cannot use problem.addSOS to add existing SOS to the problem$"):
        linked.addSOS(c)
    with pytest.raises(kelvo.ModelError, match="^Linked SOS cannot be added to another problem$"):
        kelvo.problem().addSOS([ls])


def test_read_makes_linked_or_unlinked_sets(tmp_path):
    p = kelvo.problem()
    x = [p.addVariable(name=n) for n in "abc"]
    p.addConstraint(x[0] + x[1] + x[2] <= 4)
    p.addSOS([x[0], x[2]], [1, 2], name="s1")
    p.addSOS(x, [1.5, 2.5, 4], type=2, name="s2")
    path = str(tmp_path / "sets.mps")
    p.write(path)
    old = p.getSOS()

    p.read(path)
    assert all(s.index == -1 for s in old)
    assert [(s.name, s.index) for s in p.getSOS()] == [("s1", 0), ("s2", 1)]
    assert sets(p) == [("1", [0, 2], [1, 2]), ("2", [0, 1, 2], [1.5, 2.5, 4])]

    u = kelvo.problem()
    quietly(u.read, path, unlinked=True)
    a, b, c = u.getVariable()
    s1, s2 = u.getSOS()
    assert [(s.name, s.index, u.getIndex(s)) for s in (s1, s2)] == [("s1", None, 0), ("s2", None, 1)]
    # The members are the problem's own variables: a copy of a read set goes into another
    # problem holding them.
    v = kelvo.problem()
    quietly(v.addVariable, [a, b, c])
    v.addSOS(s2.copy())
    assert sets(v) == [("2", [0, 1, 2], [1.5, 2.5, 4])]
