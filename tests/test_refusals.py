"""Values the library would keep cut or wrapped are refused instead: names holding a NUL,
integers beyond 32 bits, paths; texts of any length read back whole. A refusal names what the
user wrote and leaves the model as it was."""
import pytest

import kelvo


@pytest.fixture
def model(tmp_path):
    p = kelvo.problem("m")
    x = p.addVariable(name="a", ub=4)
    y = p.addVariable(name="y", vartype=kelvo.integer, ub=3)
    c = kelvo.constraint(x + y <= 5, name="c")
    p.addConstraint(c)
    p.setObjective(x + 2 * y)
    p.addObjective(y, weight=0.5)

    def snapshot():
        p.write(str(tmp_path / "snap.mps"))
        controls = [p.getControl(k, objidx=i) for i in range(2) for k in ("weight", "priority")]
        return (tmp_path / "snap.mps").read_text(), controls, p.getControl("mpsobjname"), c.type

    return p, x, y, c, snapshot


CASES = [
    # Names with a NUL: the library would keep only the text before it.
    (lambda p, x, y, c, d: p.addVariable(name="a\0b"), ValueError, r"Name 'a\\x00b' contains a NUL"),
    (lambda p, x, y, c, d: p.addVariables(["a\0b", "c"], name="v"), ValueError, "Index element 'a.x00b'"),
    (lambda p, x, y, c, d: p.addVariables(2, name="v\0"), ValueError, "contains a NUL"),
    (lambda p, x, y, c, d: setattr(x, "name", "x\0"), ValueError, "contains a NUL"),
    (lambda p, x, y, c, d: setattr(c, "name", "c\0d"), ValueError, "contains a NUL"),
    (lambda p, x, y, c, d: p.addConstraint(kelvo.constraint(x >= 1, name="r\0")), ValueError, "contains a NUL"),
    (lambda p, x, y, c, d: p.delVariable("a\0b"), ValueError, "contains a NUL"),  # would delete "a"
    # A weight the library refuses: the nonlinear objective used to be installed first.
    (lambda p, x, y, c, d: p.setObjective(kelvo.exp(x), weight=-float("inf")), kelvo.ModelError, "must be finite"),
    # A name nobody has: it used to reach the library as index -1.
    (lambda p, x, y, c, d: p.delConstraint("nobody"), kelvo.ModelError, "No row is named 'nobody'"),
    (lambda p, x, y, c, d: p.setControl("mpsobjname", "o\0"), ValueError, "String value 'o.x00' contains a NUL"),
    (lambda p, x, y, c, d: p.read("f\0.mps"), ValueError, "null"),
    # Integers beyond 32 bits: they used to wrap onto another objective, priority or type.
    (lambda p, x, y, c, d: p.setControl("weight", 3.0, objidx=2**32), OverflowError, "objidx=4294967296"),
    (lambda p, x, y, c, d: p.setControl("priority", 2**31, objidx=0), OverflowError, "2147483648"),
    (lambda p, x, y, c, d: p.setObjective(x, priority=2**32 + 5), OverflowError, "^4294967301 is out of range"),
    (lambda p, x, y, c, d: p.setObjective(y, objidx=2**32), OverflowError, "4294967296"),
    (lambda p, x, y, c, d: p.addObjective(x, priority=-2**40), OverflowError, "-1099511627776"),
    (lambda p, x, y, c, d: p.addVariable(vartype=2**32 + 1), OverflowError, "4294967297"),
    (lambda p, x, y, c, d: setattr(x, "vartype", 2**64), OverflowError, "18446744073709551616"),
    (lambda p, x, y, c, d: setattr(c, "type", 2**32 + 1), OverflowError, "4294967297"),
    (lambda p, x, y, c, d: p.addConstraint(kelvo.constraint(body=x, rhs=1, type=2**32 + 1)), OverflowError,
     "4294967297"),
    (lambda p, x, y, c, d: p.delConstraint(first=0, last=2**32), OverflowError, "4294967296"),
    # Texts longer than the library keeps are refused, stating the limit.
    (lambda p, x, y, c, d: p.setControl("mpsobjname", "n" * 5000), kelvo.SolverError, "longer than 1023 characters"),
    # Paths: a directory is named as such, not written beside or reported missing.
    (lambda p, x, y, c, d: p.write(str(d)), kelvo.SolverError, "it is a directory"),
    (lambda p, x, y, c, d: p.read(str(d)), kelvo.SolverError, "it is a directory"),
    # A message quoting a long path is cut; one of the two cuts falls inside a character.
    (lambda p, x, y, c, d: p.read(str(d / ("é" * 120) / ("é" * 120) / ("é" * 120))), kelvo.SolverError, "cannot open"),
    (lambda p, x, y, c, d: p.read(str(d / ("xé" * 80) / ("é" * 120) / ("é" * 120))), kelvo.SolverError, "cannot open"),
    # Operators: a string is never an array operand; the message names what was written.
    (lambda p, x, y, c, d: x - "abc", TypeError, r"for -: 'kelvo.var' and 'str'"),
    (lambda p, x, y, c, d: x / [1, 2], TypeError, r"for /: 'kelvo.var' and 'list'"),
    # On the left they are operands like any other, and invalid ones.
    (lambda p, x, y, c, d: "abc" * y, kelvo.ModelError, r"Invalid object in operation: <abc>"),
    (lambda p, x, y, c, d: [1] + (x + y), kelvo.ModelError, r"Invalid object in operation: <\[1\]>"),
    # Sets and indicators: nothing of a refused call stays behind.
    (lambda p, x, y, c, d: p.addSOS([x, y], [1, 2], name="s\0"), ValueError, r"SOS name 's\\x00' contains a NUL"),
    (lambda p, x, y, c, d: p.addSOS([x, y, x], [1, 2, 3]), kelvo.SolverError, "twice"),
    (lambda p, x, y, c, d: p.delSOS(0), kelvo.SolverError, "set index 0 out of range"),
    (lambda p, x, y, c, d: p.addIndicator((y, x <= 1), (y == 2, x >= 1)), kelvo.ModelError,
     "^Invalid indicator expression"),
]


@pytest.mark.parametrize("call,error,message", CASES)
def test_refusal_names_the_value_and_keeps_the_model(model, tmp_path, call, error, message):
    p, x, y, c, snapshot = model
    (tmp_path / "adir").mkdir()
    before = snapshot()
    with pytest.raises(error, match=message):
        call(p, x, y, c, tmp_path / "adir")
    assert snapshot() == before
    assert not (tmp_path / "adir.mps").exists()


def test_texts_of_any_length_and_paths_in_any_script_read_back_whole(tmp_path):
    p = kelvo.problem("p" * 3000)
    p.addVariable(name="é" * 3000)
    p.setControl("kslp_engineoptions", "n" * 5000)
    assert p.getControl("kslp_engineoptions") == "n" * 5000 and p.getAttrib("probname") == "p" * 3000
    folder = tmp_path / ("é" * 120)
    folder.mkdir()
    p.write(str(folder / "m.mps"))
    q = kelvo.problem()
    q.read(str(folder / "m.mps"))
    assert q.getVariable(0).name == "é" * 3000
