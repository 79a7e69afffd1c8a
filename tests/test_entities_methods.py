"""Matrix-level methods for general and piecewise-linear constraints, MIP entities, set names
and indicators."""
import pytest

import kelvo


SETS_MPS = """NAME          sets
ROWS
 N  obj
 L  cap
COLUMNS
    a  obj  1  cap  1
    b  obj  2  cap  1
    c  obj  3  cap  1
RHS
    RHS  cap  4
SOS
 S1 SOS  s1  1
    a  1
    b  2
 S2 SOS  s2  1
    a  1.5
    b  2.5
    c  4
ENDATA
"""


def gencons(p, first=0, last=None):
    """Every general constraint as (type, resultant, columns, values), and the sizes."""
    last = p.attributes.gencons - 1 if last is None else last
    types, res, cstart, cols, vstart, vals = [], [], [], [], [], []
    sizes = p.getgencons(types, res, cstart, cols, 100, vstart, vals, 100, first, last)
    return sizes, [(types[k], res[k], cols[cstart[k]:cstart[k + 1]], vals[vstart[k]:vstart[k + 1]])
                   for k in range(len(types))]


def pwlcons(p, first, last):
    cols, res, start, xs, ys = [], [], [], [], []
    n = p.getpwlcons(cols, res, start, xs, ys, 100, first, last)
    return n, [(cols[k], res[k], list(zip(xs[start[k]:start[k + 1]], ys[start[k]:start[k + 1]])))
               for k in range(len(cols))]


def test_constraints_follow_the_variables_through_deletion():
    # Files with these constraints are checked in the library's tests.
    p = kelvo.problem()
    x = p.addVariables(5, lb=-10, name="x")
    b = p.addVariables(2, vartype=kelvo.binary, name="b")
    p.addConstraint(x[0] + x[1] <= 8, x[2] >= -1)
    con = p.getConstraint(0)
    # x4 = max(x0, x1, 2.5), x3 = |x2|, b0 = b0 or b1 (names and indices work like the objects).
    p.addgencons([0, 4, 3], [x[4], x[3], b[0]], [0, 2, 3], ["x(0)", x[1], x[2], b[0], 6], [0, 1, 1], [2.5])
    with pytest.warns(kelvo.DeprecationWarning, match="old argument names"):
        p.addpwlcons(col=[x[2]], resultant=[x[4]], start=[0], xval=[0, 1, 1, 3], yval=[0, 1, 2, 0])
    p.setindicators([con], [b[1]], [-1])
    assert p.attributes.gencons == 4
    assert gencons(p, 0, 2) == ((5, 1), [(0, x[4], [x[0], x[1]], [2.5]), (4, x[3], [x[2]], []),
                                         (3, b[0], [b[0], b[1]], [])])
    assert pwlcons(p, 0, 0) == (4, [(x[2], x[4], [(0, 0), (1, 1), (1, 2), (3, 0)])])
    # Clipped to maxcols: the starts stop at the limit, the sizes are still the full ones.
    cstart, cols = [], []
    assert p.getgencons(None, None, cstart, cols, 2, None, None, 0, 0, 2) == (5, 1)
    assert (cstart, cols) == ([0, 2, 2, 2], [x[0], x[1]])

    # Deleting x1 drops the max; deleting the second row leaves the indicator of the first.
    p.delVariable(x[1])
    p.delConstraint(p.getConstraint(1))
    assert gencons(p, 0, 1) == ((3, 0), [(4, x[3], [x[2]], []), (3, b[0], [b[0], b[1]], [])])
    assert pwlcons(p, 0, 0) == (4, [(x[2], x[4], [(0, 0), (1, 1), (1, 2), (3, 0)])])
    ind, comp = [], []
    p.getindicators(ind, comp, con, con)
    assert (ind, comp) == ([b[1]], [-1])
    p.delgencons([0])
    p.delpwlcons([0])
    assert p.attributes.gencons == 1
    with pytest.warns(kelvo.DeprecationWarning, match="old argument names"):
        p.delindicators(start=0, end=0)
    p.getindicators(ind, comp, 0, 0)
    assert (ind, comp) == ([None], [0])


def test_bad_input_gets_the_messages_and_changes_nothing():
    p = kelvo.problem()
    with pytest.raises(kelvo.InterfaceError, match=r"^No global sets in problem, cannot use addsetnames\(\)$"):
        p.addsetnames(["a"])
    with pytest.raises(kelvo.InterfaceError, match=r"^No rows in problem, cannot use delindicators\(\)$"):
        p.delindicators()
    x = p.addVariables(3)
    p.addConstraint(x[0] + x[1] <= 1)
    p.addgencons([1], [x[0]], [0], [x[1], x[2]])
    p.addpwlcons([x[1]], [x[2]], [0], [0, 1], [1, 0])
    with pytest.raises(kelvo.InterfaceError, match="^Empty range of general constraints requested$"):
        p.getgencons([], [], [], [], 10, [], [], 10, 1, 0)
    with pytest.raises(kelvo.InterfaceError, match="^Empty range of piecewise linear constraints requested$"):
        p.getpwlcons([], [], [], [], [], 10, 1, 0)
    with pytest.raises(kelvo.InterfaceError, match="^Arguments first and last must be such that first <= last and "
                                                   "must be within the range of rows$"):
        p.delindicators(0, 1)
    # The library refuses the second constraint of each call; nothing of the call stays.
    with pytest.raises(kelvo.SolverError, match="exactly one column"):
        p.addgencons([0, 4], [x[0], x[1]], [0, 1], [x[1], x[2], x[0]])
    with pytest.raises(kelvo.SolverError, match="decrease"):
        p.addpwlcons([x[0], x[1]], [x[2], x[2]], [0, 2], [0, 1, 3, 2], [0, 0, 0, 0])
    with pytest.raises(kelvo.InterfaceError, match="Mismatched lengths"):
        p.addpwlcons([x[0]], [x[2], x[1]], [0], [0, 1], [0, 0])
    with pytest.raises(kelvo.InterfaceError, match="^Must provide arguments valstart, val$"):
        p.addgencons([0], [x[0]], [0], [x[1]], val=[3])
    assert p.attributes.gencons == 2
    assert gencons(p, 0, 0) == ((2, 0), [(1, x[0], [x[1], x[2]], [])])
    assert pwlcons(p, 0, 0) == (2, [(x[1], x[2], [(0, 1), (1, 0)])])


def test_mip_entities_agree_with_the_variables_and_sets(tmp_path):
    path = tmp_path / "sets.mps"
    path.write_text(SETS_MPS)
    p = kelvo.problem()
    p.read(str(path))
    a, b, c = p.getVariable()
    made = [p.addVariable(vartype=kelvo.binary), p.addVariable(vartype=kelvo.continuous),
            p.addVariable(vartype=kelvo.integer, ub=7),
            p.addVariable(vartype=kelvo.semicontinuous, threshold=2.5, ub=9),
            p.addVariable(vartype=kelvo.semiinteger, threshold=3, ub=9),
            p.addVariable(vartype=kelvo.partiallyinteger, threshold=4, ub=20)]
    letters = {kelvo.binary: "B", kelvo.integer: "I", kelvo.semicontinuous: "S", kelvo.semiinteger: "R",
               kelvo.partiallyinteger: "P"}
    out = [[] for _ in range(7)]
    p.getmipentities(*out)
    coltype, colind, limit, settype, start, setcols, refval = out
    entities = [v for v in made if v.vartype != kelvo.continuous]
    assert colind == entities
    assert coltype == [letters[v.vartype] for v in entities]
    assert limit == [0, 0, 2.5, 3, 4]
    assert (settype, start, setcols, refval) == (["1", "2"], [0, 2, 5], [a, b, a, b, c], [1, 2, 1.5, 2.5, 4])
    # Set names replace those of the file, and a file keeps them.
    with pytest.warns(kelvo.DeprecationWarning, match="old argument names"):
        p.addsetnames(names=["second"], start=1, end=1)
    p.addsetnames(["first"], 0, 0)
    for message, args in [
            ("^Argument names must be a list of strings$", (("x", "y"),)),
            ("^Size of list of strings does not match first and last arguments$", (["x"], 0, 1)),
            ("^Element 1 of list is not a string: 3$", (["x", 3],)),
            (r"^Arguments first and last must be such that 0 <= first <= last <= problem.controls.sets - 1$",
             (["x", "y"], 1, 2))]:
        with pytest.raises(kelvo.InterfaceError, match=message):
            p.addsetnames(*args)
    out_file = str(tmp_path / "back.mps")
    p.write(out_file)
    q = kelvo.problem()
    q.read(out_file)
    back = [[] for _ in range(7)]
    q.getmipentities(*back)
    assert [back[0], [v.index for v in back[1]], back[2]] == [coltype, [v.index for v in colind], limit]
    assert back[3:] == [settype, start, [q.getVariable(v.index) for v in setcols], refval]
    text = open(out_file).read()
    assert " S1 SOS  first" in text and " S2 SOS  second" in text
