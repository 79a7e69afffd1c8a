"""The camel-case array methods mixed with modelling objects: deleting rows, columns and sets
given as objects, indices or generators keeps every object's number, and the refusals of wrong
arguments leave the model as it was."""
import warnings

import pytest

import kelvo

from helpers import store_sets

END, CONST, COL, OP, POW = 0, 1, 10, 31, 2

METHODS = ["delRows", "delCols", "delSets", "addSets", "addManagedCuts", "pivot", "sparseBTran", "sparseFTran", "nlpAddFormulas",
           "nlpLoadFormulas", "nlpGetFormulaRows", "nlpDelFormulas", "slpSetDetRow", "slpSetInitStepBounds", "getScale", "postSolveSol",
           "printIIS", "getRowFlags", "clearRowFlags"]


@pytest.fixture
def boxes():
    """max sum (i+1) x_i over x_i in [0, 10] with caps ci: x_i <= i + 1 and a loose total."""
    p = kelvo.problem()
    x = [p.addVariable(ub=10, name=f"x{i}") for i in range(5)]
    caps = [kelvo.constraint(body=x[i], ub=i + 1, name=f"c{i}") for i in range(5)]
    total = kelvo.constraint(body=kelvo.Sum(x), ub=100, name="total")
    for c in caps + [total]:
        p.addConstraint(c)
    p.setObjective(kelvo.Sum((i + 1) * x[i] for i in range(5)), sense=kelvo.maximize)
    return p, x, caps, total


def test_deletions_by_object_index_and_generator_keep_every_object_in_step(boxes):
    p, x, (c0, c1, c2, c3, c4), total = boxes
    p.delRows([2, c0])
    assert [c.index for c in p.getConstraint()] == [0, 1, 2, 3]
    assert p.getConstraint() == [c1, c3, c4, total]
    assert str(c0) == str(c2) == "(deleted constraint)"
    p.delCols(v for v in [x[3]])
    p.delRows(c for c in (c4,))
    p.delRows([])
    assert p.getVariable() == [x[0], x[1], x[2], x[4]]
    assert [v.index for v in (x[0], x[1], x[2], x[4])] == [0, 1, 2, 3]
    assert [(str(c), c.index, c.ub) for c in (c1, c3, total)] == [("c1", 0, 2), ("c3", 1, 4), ("total", 2, 100)]
    assert [(str(v), v.lb, v.ub) for v in p.getVariable()] == [(f"x{i}", 0, 10) for i in (0, 1, 2, 4)]
    with pytest.raises(kelvo.ModelError, match="deleted"):
        p.getIndex(x[3])
    # Only c1 still caps a variable: x1 = 2, the others run to their bound of 10.
    p.optimize()
    assert p.getSolution([x[0], x[1], x[2], x[4]]) == pytest.approx([10, 2, 10, 10])
    assert p.attributes.objval == pytest.approx(10 + 4 + 30 + 50)
    assert p.getSlacks([c1, total]) == pytest.approx([0, 100 - 32])


def test_sets_added_as_arrays_become_linked_objects_and_follow_deletions(boxes):
    p, x, _, _ = boxes
    assert p.addSets(["2", "1", "1"], [0, 2, 4], [x[0], 1, x[2], x[3], 4], [1, 2, 1, 2, 5]) is None
    s0, s1, s2 = p.getSOS()
    assert [s.index for s in (s0, s1, s2)] == [0, 1, 2]
    assert store_sets(p) == [("2", [0, 1], [1, 2]), ("1", [2, 3], [1, 2]), ("1", [4], [5])]
    # A library refusal (a column out of range) takes the new objects out again.
    with pytest.raises(kelvo.SolverError):
        p.addSets(["1"], [0], [0, 99], [1, 2])
    assert p.getSOS() == [s0, s1, s2]
    p.delSets(iter([s0, 2]))
    assert (s0.index, s2.index, s1.index, p.getSOS()) == (-1, -1, 0, [s1])
    assert store_sets(p) == [("1", [2, 3], [1, 2])]
    # At most one of x2 (worth 3 x 3) and x3 (worth 4 x 4) may be positive: x3 wins.
    p.optimize()
    sol = p.getSolution(x)
    assert sol[2] * sol[3] == 0 and sol[3] == pytest.approx(4)
    # Deleting a column takes it out of the set and moves the later ones down.
    p.delCols([x[1]])
    assert store_sets(p) == [("1", [1, 2], [1, 2])] and (s1.index, x[3].index) == (0, 2)


def test_pivots_given_as_objects_move_the_basis_both_ways(boxes):
    p, x, caps, total = boxes
    p.optimize()
    # At the optimum every x_i is basic between its bounds and every cap binds.
    assert p.getbasisval(caps[0], x[0]) == (0, 1)
    p.pivot(caps[0], x[0])
    assert p.getbasisval(caps[0], x[0]) == (1, 0) and p.getbasisval(caps[1], x[1]) == (0, 1)
    p.pivot(x[0], caps[0])
    assert p.getbasisval(caps[0], x[0]) == (0, 1)
    # The same pivot by combined index: rows + sparerows + column for a variable.
    p.pivot(0, p.attributes.rows + p.attributes.sparerows)
    assert p.getbasisval(caps[0], x[0]) == (1, 0)
    p.delRows([caps[4]])
    with pytest.raises(kelvo.InterfaceError, match="^Error in argument 'leave': Constraint has been deleted"):
        p.pivot(x[4], caps[4])


def test_formulas_and_column_settings_given_as_objects(t):
    kelvo.problem()
    if t.nlp_flag() != 1:
        pytest.skip("nonlinear layer not built")
    p = kelvo.problem()
    x, y = p.addVariable(name="x"), p.addVariable(name="y")
    r0, r1, r2 = rows = [kelvo.constraint(body=x + y, ub=9, name=f"r{i}") for i in range(3)]
    p.addConstraint(rows)
    square, cube = ([COL, CONST, OP, END], [0, 2, POW, 0]), ([COL, CONST, OP, END], [1, 3, POW, 0])
    p.delRows([r0])
    p.nlpAddFormulas([r2, r1], [0, 4, 8], 1, square[0] + cube[0], square[1] + cube[1])
    assert p.nlpGetFormulaRows() == [0, 1]
    assert [p.nlpgetformulastr(r) for r in (r1, r2)] == ["y^3", "x^2"]
    # Loading replaces every formula of the problem.
    p.nlpLoadFormulas((r for r in [r1]), [0, 4], 1, *square)
    assert p.nlpGetFormulaRows() == [0] and p.nlpgetformulastr(r1) == "x^2"
    p.nlpDelFormulas([r1])
    assert p.nlpGetFormulaRows() == []
    p.slpSetDetRow([y], [r2])
    p.slpSetInitStepBounds([x, 1], [0.75, 0.5])
    assert [p.getvar(v)[:2] for v in (x, y)] == [(-1, 0.75), (1, 0.5)]
    with pytest.raises(kelvo.InterfaceError, match="^Argument 'initial' must be the same size as argument 'colind'$"):
        p.slpSetInitStepBounds([x, y], [1])
    assert [p.getvar(v)[:2] for v in (x, y)] == [(-1, 0.75), (1, 0.5)]


def test_sparse_transforms_agree_with_the_dense_ones(boxes):
    p, *_ = boxes
    p.optimize()
    v = [0.0, 3.0, 0.0, 0.0, -1.5, 2.0]
    dense_b, dense_f = list(v), list(v)
    p.btran(dense_b)
    p.ftran(dense_f)
    for sparse, dense in ((p.sparseBTran, dense_b), (p.sparseFTran, dense_f)):
        values, rows = sparse((x for x in (2.0, 3.0, -1.5)), [5, 1, 4])
        spread = [0.0] * 6
        for value, row in zip(values, rows):
            spread[row] = value
        assert spread == pytest.approx(dense) and rows == sorted(rows)
        assert len(rows) == sum(d != 0 for d in dense)


def test_scales_and_the_postsolved_solution_read_back_in_the_callers_terms(boxes):
    p, x, *_ = boxes
    p.scale([1, 4, 0.5, 1, 1, 3], [8, 1, 1, 1, 0.25])
    # Binary exponents: 3 = 2 x 1.5 rounds down to 1.
    assert p.getScale() == ([0, 2, -1, 0, 0, 1], [3, 0, 0, 0, -2])
    p.optimize()
    # The caps bind: x_i = i + 1, the objective 1 + 4 + 9 + 16 + 25.
    original = p.postSolveSol(v for v in p.getSolution())
    assert original == pytest.approx([1, 2, 3, 4, 5]) and p.attributes.objval == pytest.approx(55)


def test_refusals_name_the_argument_and_change_nothing(boxes):
    p, x, caps, _ = boxes
    before = (p.getVariable(), p.getConstraint(), p.getSOS())
    refusals = [
        (lambda: p.delCols(["x0"]), kelvo.InterfaceError,
         "Error in element 0 of argument 'colind': Value is not a variable or variable index"),
        (lambda: p.delRows([0, 2 ** 31]), kelvo.InterfaceError,
         "Error in element 1 of argument 'rowind': Invalid constraint index"),
        (lambda: p.delRows(7), kelvo.InterfaceError, "Argument 'rowind' must be iterable"),
        (lambda: p.addSets(["1"], [0], [x[0], x[1]], [1]), kelvo.InterfaceError,
         "Argument 'refval' must be the same size as argument 'colind'"),
        (lambda: p.addSets(["12"], [0], [0], [1]), kelvo.InterfaceError,
         "Error in element 0 of argument 'settype': Value is not a single character"),
        (lambda: p.sparseFTran([1.0], [0, 1]), kelvo.InterfaceError,
         "Argument 'val' must be the same size as argument 'ind'"),
        (lambda: p.pivot("x0", 0), kelvo.InterfaceError,
         "Error in argument 'enter': Value is not a variable, constraint or index"),
        (lambda: p.postSolveSol([1.0, 2.0]), kelvo.SolverError,
         "KLVOpostsolvesol_witharraysizes: the array prex has 2 entries but 5 are expected"),
        (lambda: p.slpSetDetRow([x[0]], []), kelvo.InterfaceError,
         "Argument 'rowind' must be the same size as argument 'colind'"),
    ]

    def boom():
        yield 0
        raise ValueError("boom")

    refusals.append((lambda: p.delRows(boom()), RuntimeError, "Exception in problem.delRows: boom"))
    for call, error, message in refusals:
        with pytest.raises(error) as info:
            call()
        assert str(info.value) == message
    assert (p.getVariable(), p.getConstraint(), p.getSOS()) == before
    assert [c.index for c in caps] == [0, 1, 2, 3, 4]


def test_row_flags_follow_the_marks_of_the_rows(boxes):
    p, x, caps, total = boxes
    p.loaddelayedrows([0])
    p.loadmodelcuts([caps[2]])
    p.loadsecurevecs([caps[1], caps[2]], [])
    assert p.getRowFlags(caps[0], 3) == [1, 4, 2 | 4, 0]
    assert p.getRowFlags(caps[2], caps[2]) == [6]
    # Each mask clears only its own bits of its own row.
    p.clearRowFlags([1, 0, 4], 0, caps[2])
    assert p.getRowFlags(0, 5) == [0, 4, 2, 0, 0, 0]
    refusals = [
        (lambda: p.getRowFlags("c0", 2), "Error in argument 'first': Value is not a constraint or constraint index"),
        (lambda: p.getRowFlags(0, 2**31), "Error in argument 'last': Invalid constraint index"),
        (lambda: p.clearRowFlags([1, "a"], 0, 1), "Error in element 1 of argument 'flags': Value is not an integer"),
        (lambda: p.printIIS(1.5), "Error in argument 'iis': Value is not an integer"),
    ]
    for call, message in refusals:
        with pytest.raises(kelvo.InterfaceError) as info:
            call()
        assert str(info.value) == message
    # The library counts the masks against the range and knows its flag bits.
    for call in (lambda: p.clearRowFlags([2, 2], 1, 3), lambda: p.clearRowFlags([8], 2, 2),
                 lambda: p.getRowFlags(3, 6)):
        with pytest.raises(kelvo.SolverError):
            call()
    assert p.getRowFlags(0, 5) == [0, 4, 2, 0, 0, 0]

    # Inside a callback rows are given by index only.
    answers = []

    def before(prob, data):
        answers.append(prob.getRowFlags(1, 2))
        for call in (lambda: prob.getRowFlags(caps[1], 2), lambda: prob.delRows([caps[1]]),
                     lambda: prob.delCols(iter([x[0]]))):
            try:
                call()
            except kelvo.InterfaceError as e:
                answers.append(str(e))

    p.addcbbeforeobjective(before)
    p.optimize()
    assert answers == [[4, 2]] + [f"Cannot pass objects in arg '{arg}' when problem is presolved or in a callback"
                                  for arg in ("first", "rowind", "colind")]
    assert p.attributes.rows == 6


def test_printed_infeasible_set_names_its_rows_and_bounds():
    p = kelvo.problem()
    x = p.addVariable(name="x", ub=1)
    y = p.addVariable(name="y", ub=1)
    p.addConstraint(kelvo.constraint(x + y >= 3, name="need"))
    p.addConstraint(kelvo.constraint(x - y <= 5, name="loose"))
    lines = []
    p.addcbmessage(lambda prob, data, text, msgtype: lines.append(text))
    assert p.iisfirst(0) == 0
    lines.clear()
    p.printIIS(1)
    text = "\n".join(lines)
    assert "need" in text and "x: upper bound" in text and "y: upper bound" in text and "loose" not in text
    lines.clear()
    p.printIIS(0)
    assert lines[0] == "1 IIS found"
    with pytest.raises(kelvo.SolverError, match="no IIS 2"):
        p.printIIS(2)


def test_unlinked_problems_are_refused_before_the_arguments_are_read():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        p = kelvo.problem()
        p.addVariable(kelvo.var(name="free"))
    for name in METHODS:
        with pytest.raises(kelvo.InterfaceError, match=f"^Cannot call problem.{name} on problems with unlinked objects$"):
            getattr(p, name)()
