"""The matrix-level problem methods: building a model from arrays, changing and reading it back,
loading a whole problem, and their refusals."""
import warnings

import numpy as np
import pytest

import kelvo

INF = 1e20


@pytest.fixture(autouse=True)
def quiet():
    before = kelvo.getOutputEnabled()
    kelvo.setOutputEnabled(False)
    yield
    kelvo.setOutputEnabled(before)


# max 3x + 5y  s.t.  plant1: x <= 4,  plant2: 2y <= 12,  plant3: 3x + 2y <= 18.
# Optimum x = 2, y = 6, value 36; duals (0, 1.5, 1).
def production():
    p = kelvo.problem(name="prod")
    p.addrows(["L", "L", "L"], [4, 12, 18], [0, 0, 0, 0], [], [], names=["plant1", "plant2", "plant3"])
    p.addcols([3, 5], [0, 2, 4], ["plant1", "plant3", "plant2", "plant3"], [1, 3, 2, 2], [0, 0], [INF, INF],
              names=["x", "y"])
    p.chgobjsense(-1)
    return p


def optimum(p):
    p.optimize()
    return p.attributes.objval


def mps(p, tmp_path):
    path = tmp_path / "m.mps"
    p.write(str(path))
    return path.read_text()


def test_a_model_from_arrays_writes_and_solves_like_the_same_model_from_objects(tmp_path):
    objects = kelvo.problem(name="prod")
    x, y = objects.addVariable(name="x"), objects.addVariable(name="y", ub=7)
    objects.addConstraint(kelvo.constraint(body=x, ub=4, name="plant1"),
                          kelvo.constraint(body=2 * y, ub=12, name="plant2"),
                          kelvo.constraint(body=3 * x + 2 * y, ub=18, name="plant3"),
                          kelvo.constraint(body=x * x + y * y, ub=40, name="disk"))
    objects.setObjective(3 * x + 5 * y, sense=kelvo.maximize)

    arrays = kelvo.problem(name="prod")
    arrays.addcols(np.zeros(2), np.zeros(3, dtype=np.int64), [], [], [0, 0], [INF, INF], names=["x", "y"])
    arrays.addrows(np.array(["L"] * 4), np.array([4.0, 12, 18, 40]), [0, 1, 2, 4, 4], ["x", "y", "x", "y"],
                   np.array([1.0, 2, 3, 2]), names=["plant1", "plant2", "plant3", "disk"])
    arrays.addqmatrix("disk", ["x", "y"], ["x", "y"], [1.0, 1.0])
    arrays.chgobj(["x", "y"], [3, 5])
    arrays.chgbounds(["y"], ["U"], [7])
    arrays.chgobjsense(-1)

    assert mps(arrays, tmp_path) == mps(objects, tmp_path)
    # The linear optimum (2, 6) lies on the disk's boundary, 4 + 36 = 40, so it stays optimal.
    for p in (arrays, objects):
        assert optimum(p) == pytest.approx(36, abs=1e-5)
        assert p.getSolution() == pytest.approx([2, 6], abs=1e-5)
    # The objects the arrays created are the problem's own, in order.
    assert [str(v) for v in arrays.getVariable()] == ["x", "y"]
    assert [c.name for c in arrays.getConstraint()] == ["plant1", "plant2", "plant3", "disk"]
    triplets = ([], [], [])
    arrays.getqrowqmatrixtriplets("disk", *triplets)
    assert triplets == (arrays.getVariable(), arrays.getVariable(), [1.0, 1.0])


def read(p, getter, *args):
    out = []
    getattr(p, getter)(out, *args)
    return out


# Each change moves the optimum of the production model to a value worked out by hand.
@pytest.mark.parametrize("change,getter,read_back,objective", [
    # max 3x + y: x = 4, then 2y <= 6: 12 + 3.
    (lambda p: p.chgobj(["y"], [1]), lambda p: read(p, "getobj", 0, 1), [3, 1], 15),
    # A constant of the objective: column -1 takes minus the constant.
    (lambda p: p.chgobj([-1], [-10]), lambda p: read(p, "getobj", 0, 1), [3, 5], 46),
    # 3x + 2y <= 24: y = 6, x = 4.
    (lambda p: p.chgrhs(["plant3"], [24]), lambda p: read(p, "getrhs", 0, 2), [4, 12, 24], 42),
    # 6x + 2y <= 18: y = 6, x = 1.
    (lambda p: p.chgcoef("plant3", "x", 6), lambda p: p.getcoef("plant3", "x"), 6, 33),
    (lambda p: p.chgmcoef(["plant3", "plant1"], ["x", "x"], [6, 1]), lambda p: p.getcoef(2, 0), 6, 33),
    # y <= 4: 3x <= 10.
    (lambda p: p.chgbounds(["y"], ["U"], [4]), lambda p: read(p, "getub"), [INF, 4], 30),
    # x = 4: 2y <= 6.
    (lambda p: p.chgrowtype(["plant1"], ["E"]), lambda p: read(p, "getrowtype", 0, 2), ["E", "L", "L"], 27),
    # 3 <= x <= 4: 2y <= 9.
    (lambda p: p.chgrhsrange(["plant1"], [1]),
     lambda p: (read(p, "getrowtype", 0, 0), read(p, "getrhsrange", 0, 2)), (["R"], [1, 0, 0]), 31.5),
    # 2y <= 11 with y integer: y = 5, x = 8/3 (the relaxation would give 34.5).
    (lambda p: (p.chgrhs(["plant2"], [11]), p.chgcoltype(["y"], ["I"])), lambda p: read(p, "getcoltype", 0, 1),
     ["C", "I"], 33),
    (lambda p: p.chgobjsense(1), lambda p: p.attributes.objsense, 1, 0),
    (lambda p: (p.chgobjsense(1), p.chgobjsense(2)), lambda p: p.attributes.objsense, -1, 36),
])
def test_each_change_reads_back_and_moves_the_optimum_as_computed_by_hand(change, getter, read_back, objective):
    p = production()
    assert optimum(p) == pytest.approx(36)
    change(p)
    assert getter(p) == read_back
    assert optimum(p) == pytest.approx(objective)


def test_quadratic_objective_and_rows_change_and_read_back():
    # min x^2 + y^2 - 2x - 4y  s.t.  x + y <= 2: on the line, x - 1 = y - 2, so (0.5, 1.5), -4.5.
    p = kelvo.problem()
    p.addrows(["L"], [2], [0, 0], [], [], names=["line"])
    p.addcols([-2, -4], [0, 1, 2], [0, 0], [1, 1], [-INF, -INF], [INF, INF], names=["x", "y"])
    p.chgmqobj(["x", "y"], ["x", "y"], [2, 2])  # half of x'Qx
    assert p.getqobj("x", "x") == 2
    start, cols, coefs = [], [], []
    p.getmqobj(start, cols, coefs, 10, 0, 1)
    assert (start, cols, coefs) == ([0, 1, 2], p.getVariable(), [2.0, 2.0])
    assert optimum(p) == pytest.approx(-4.5, abs=1e-6)
    # Without x^2 and with x <= 0: -2x is least at x = 0, y^2 - 4y at y = 2, and x + y = 2 holds.
    p.chgqobj("x", "x", 0)
    p.chgbounds(["x"], ["U"], [0])
    assert optimum(p) == pytest.approx(-4, abs=1e-6)

    # A quadratic row: its terms read back by triplet, by entry and as full columns.
    p.addqmatrix("line", ["x", "x"], ["x", "y"], [1.0, 0.5])
    p.chgqrowcoeff("line", "y", "y", 3)
    assert read(p, "getqrows") == p.getConstraint()
    assert [p.getqrowcoeff(0, i, j) for i, j in ((0, 0), (0, 1), (1, 0), (1, 1))] == [1, 0.5, 0.5, 3]
    start, cols, coefs = [], [], []
    p.getqrowqmatrix("line", start, cols, coefs, 10, "x", "y")
    assert (start, [str(c) for c in cols], coefs) == ([0, 2, 4], ["x", "y", "x", "y"], [1, 0.5, 0.5, 3])
    p.delqmatrix("line")
    assert read(p, "getqrows") == []


def test_indices_as_integers_names_and_objects_change_the_same_entries():
    results = []
    for form in ("int", "name", "object"):
        p = production()
        x, y = p.getVariable()
        r1, r2, r3 = p.getConstraint()
        cols, rows = {"int": (0, 1), "name": ("x", "y"), "object": (x, y)}[form], \
            {"int": (0, 1, 2), "name": ("plant1", "plant2", "plant3"), "object": (r1, r2, r3)}[form]
        p.chgbounds([cols[1]], ["U"], [5])
        p.chgobj(np.array([cols[0]], dtype=object) if form == "object" else [cols[0]], [2])
        p.chgrhs([rows[2]], [20])
        p.chgcoef(rows[0], cols[0], 2)
        results.append((read(p, "getub"), read(p, "getobj", cols[0], cols[1]), read(p, "getrhs", rows[0], rows[2]),
                        p.getcoef(rows[0], cols[0]), optimum(p)))
    # max 2x + 5y, 2x <= 4, y <= 5, 3x + 2y <= 20: y = 5, x = 2: 29.
    assert results[0] == results[1] == results[2] == ([INF, 5], [2, 5], [4, 12, 20], 2, pytest.approx(29))


def test_older_keywords_work_and_warn():
    p = production()
    with pytest.warns(kelvo.DeprecationWarning, match="function called with old argument names"):
        p.chgobj(mindex=["y"], obj=[1])
    with pytest.warns(kelvo.DeprecationWarning, match="old argument names"):
        p.chgbounds(mindex=[0], qbtype=["U"], bnd=[3])
    start, rows, coefs = [], [], []
    with pytest.warns(kelvo.DeprecationWarning, match="old argument names"):
        p.getcols(mstart=start, mrwind=rows, dmatval=coefs, size=10, first=0, last=1)
    assert (start, coefs) == ([0, 2, 4], [1, 3, 2, 2])
    # x = 3, 2y <= 9: 9 + 4.5
    assert optimum(p) == pytest.approx(13.5)
    with pytest.raises(TypeError, match="colind"):  # reported with the new names
        p.chgobj(nosuch=[0], obj=[1])


def test_whole_matrix_reads_back_as_the_modelling_objects_built_it_after_deletions_too():
    rng = np.random.default_rng(3)
    p = kelvo.problem()
    x = [p.addVariable(name=f"x{j}") for j in range(6)]
    dense = np.where(rng.random((5, 6)) < 0.5, rng.integers(1, 9, (5, 6)), 0).astype(float)
    dense[range(5), range(5)] = 1
    p.addConstraint([kelvo.constraint(body=kelvo.Sum(dense[i, j] * x[j] for j in range(6) if dense[i, j]),
                                      ub=10, name=f"r{i}") for i in range(5)])

    def check(dense, rows, cols):
        for getter, block, objects, other in (("getrows", dense, rows, cols), ("getcols", dense.T, cols, rows)):
            start, index, coef = [], [], []
            getattr(p, getter)(start, index, coef, 100, 0, len(objects) - 1)
            got = np.zeros(block.shape)
            for k in range(len(objects)):
                for e in range(start[k], start[k + 1]):
                    # The problem's own objects come back.
                    got[k, [id(o) for o in other].index(id(index[e]))] = coef[e]
            assert np.array_equal(got, block)

    check(dense, p.getConstraint(), x)
    p.delConstraint(p.getConstraint()[1])
    p.delVariable(x[2])
    dense = np.delete(np.delete(dense, 1, axis=0), 2, axis=1)
    del x[2]
    check(dense, p.getConstraint(), x)
    # A range of empty columns leaves the list as it was.
    start = ["untouched"]
    p.addcols([0], [0, 0], [], [], [0], [1])
    p.getcols(start, None, None, 10, 5, 5)
    assert start == ["untouched"]


def test_loadproblem_picks_the_parts_given_and_creates_the_objects():
    p = kelvo.problem()
    p.addVariable(name="old")
    old = p.getVariable(0)
    # The production model with plant2 at 11 and y integer: 33 (see above).
    p.loadproblem("lp", ["L", "L", "L"], [4, 11, 18], None, [3, 5], [0, 2, 4], None, [0, 2, 1, 2], [1, 3, 2, 2],
                  None, None, coltype=["I"], entind=[1], colnames=["x", "y"], rownames=["a", "b", "c"])
    p.chgobjsense(-1)
    assert [str(v) for v in p.getVariable()] == ["x", "y"] and [c.name for c in p.getConstraint()] == ["a", "b", "c"]
    assert old.index == -1  # the old model's objects are detached
    assert read(p, "getcoltype", 0, 1) == ["C", "I"]
    assert optimum(p) == pytest.approx(33)
    # With column lengths, start may leave gaps.
    p.loadproblem("gaps", ["L"], [4], None, [1, 1], [0, 3], [1, 1], [0, 9, 9, 0], [2, 0, 0, 4], None, None)
    assert [p.getcoef(0, 0), p.getcoef(0, 1)] == [2, 4]


def test_calculations_from_a_given_solution():
    p = production()
    assert p.calcobjective([2, 6]) == 36
    slacks = []
    p.calcslacks([2, 6], slacks)
    assert slacks == [2, 0, 0]
    djs = []
    p.calcreducedcosts([0, 1.5, 1], [2, 6], djs)  # c - A'y
    assert djs == [0, 0]
    p.calcreducedcosts([1, 0, 0], [2, 6], djs)
    assert djs == [2, 5]


def test_names_controls_and_objectives():
    p = production()
    p.addnames(1, ["first", "second"], 0, 1)
    assert p.getnamelist(1) == ["first", "second", "plant3"] and p.getnamelist(2, 1, 1) == ["y"]
    assert p.getIndexFromName(1, "plant3") == 2 and p.getIndexFromName(2, "nosuch") == -1
    p.setprobname("renamed")
    assert p.name() == "renamed"
    assert p.getcontrolinfo("presolve") == (8011, 1) and p.getattribinfo("rows")[0] == 1001
    p.controls.presolve = 0
    p.setdefaultcontrol("PRESOLVE")
    assert p.controls.presolve == kelvo.problem().controls.presolve
    other = kelvo.problem()
    other.controls.presolve = 0
    p.copycontrols(other)
    assert p.controls.presolve == 0
    p.setdefaults()
    assert p.controls.presolve == kelvo.problem().controls.presolve

    p.addobj(["y"], [1.0], 1, 2.0)
    p.chgobjn(1, ["x"], [4.0])
    coefs = [[], []]
    p.getobjn(1, coefs[1], 0, 1)
    p.getobjn(0, coefs[0], 0, 1)
    assert coefs == [[3, 5], [4, 1]]
    p.delobj(1)
    with pytest.raises(kelvo.SolverError):
        p.getobjn(1, [], 0, 1)


def refusals():
    # The conversion of the arrays themselves (lengths, kinds, characters) is checked in
    # test_conversion; these are the methods' own checks.
    return [
        (lambda p: p.chgrhs(["nosuch"], [1.0]), kelvo.InterfaceError, "No row is named 'nosuch'"),
        (lambda p: p.chgobj(["nosuch"], [1.0]), kelvo.InterfaceError, "No column is named 'nosuch'"),
        (lambda p: p.addcols([0, 0], [0, 1], [], [], [0, 0], [1, 1]), kelvo.InterfaceError,
         "Mismatched lengths in arguments: expected 3, found 2"),
        (lambda p: p.addcols([0], [0, 1], [0], [1], [0], None), kelvo.InterfaceError,
         "Must provide arguments objcoef, start, rowind, rowcoef, lb, ub"),
        (lambda p: p.addcols([0], [0, 0], [], [], [0], [1], names=["a", "b"]), kelvo.ModelError,
         "Incorrect length of variable name list"),
        (lambda p: p.addcols([0], [0, 0], [], [], [0], [1], types=["X"]), kelvo.ModelError, "Incorrect variable type"),
        (lambda p: p.addcols([0], [0, 0], [], [], [0], [1], unlinked=1), kelvo.ModelError,
         "The unlinked argument must be a Boolean value"),
        (lambda p: p.addcols([0], [0, 0], [], [], [0], [1], unlinked=True), kelvo.ModelError,
         "Argument unlinked=True not permitted: the problem already contains linked objects"),
        (lambda p: p.addrows(["L"], [1], [0, 2], [0, 0], [1, 1]), kelvo.SolverError, "twice"),
        (lambda p: p.getcols([], [], [], 10, 1, 0), kelvo.InterfaceError, "^Empty range of columns requested$"),
        (lambda p: p.getrows(None, None, None, 10, 0, 1), kelvo.InterfaceError,
         "^Must provide at least one of arguments start, colind, colcoef$"),
        (lambda p: p.getrowtype([], 2, 1), kelvo.InterfaceError, "^Empty range of rows requested$"),
        (lambda p: p.getcoltype([], 2, 1), kelvo.InterfaceError, "^Empty or invalid range of columns requested$"),
        (lambda p: p.getrhs([], 0, 2**31 - 1), kelvo.SolverError, "invalid range"),
        (lambda p: p.getrhs(None, 0, 1), kelvo.InterfaceError, "^Must provide argument: rng or rhs$"),
        (lambda p: p.addnames(1, ["a"], 2, 1), kelvo.InterfaceError, "^Invalid name range: 2-1$"),
        (lambda p: p.addnames(1, ["a"], 0, 1), kelvo.InterfaceError, "Expected 2 strings but found 1"),
        (lambda p: p.getnamelist(7), kelvo.InterfaceError, "Argument type must be a value from the kelvo.Namespaces"),
        (lambda p: p.getnamelist(1, 2, 5), kelvo.InterfaceError, "must be such that 0 <= first <= last"),
        (lambda p: p.copycontrols(3), kelvo.InterfaceError, "^A problem must be passed for copying controls$"),
        (lambda p: p.setdefaultcontrol("nosuch"), kelvo.InterfaceError, "^Incorrect control name$"),
        (lambda p: p.calcobjective([1.0]), kelvo.InterfaceError, "expected 2, found 1"),
        (lambda p: p.loadproblem("x", ["L"], [1], None, [1], [0, 1], None, [0], [1], None, None, objqcol1=[0]),
         kelvo.InterfaceError, "^Incomplete list of arguments specified for the quadratic objective component$"),
        (lambda p: p.loadproblem("x", ["L"], [1], None, [1], [0, 1], None, [0], [1], None, None, entind=[0]),
         kelvo.InterfaceError, "^Incomplete list of arguments specified for the global entities$"),
        (lambda p: p.loadproblem("x", ["L"], [1], None, [1], [0], None, [0], [1], None, None), kelvo.InterfaceError,
         "^The mstart array must contain an element for every column plus one more element$"),
        (lambda p: p.loadproblem("x", ["L"], [1], None, [1], [0, 5], None, [0], [1], None, None),
         kelvo.InterfaceError, "expected 5, found 1"),
    ]


@pytest.mark.parametrize("call,error,message", refusals())
def test_bad_input_is_refused_and_leaves_the_model_as_it_was(tmp_path, call, error, message):
    p = production()
    before = mps(p, tmp_path), p.getVariable(), p.getConstraint()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        with pytest.raises(error, match=message):
            call(p)
    assert (mps(p, tmp_path), p.getVariable(), p.getConstraint()) == before
    assert all(v.index == j for j, v in enumerate(before[1]))
