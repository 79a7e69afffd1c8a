"""Controls and attributes by name: accessors, getControl/setControl/getAttrib, objective
controls, the global controls object and the defaults of new problems."""


import numpy as np
import pytest

import kelvo
import kelvo.enums as enums
from helpers import DATA

@pytest.fixture(autouse=True)
def no_defaults():
    """Every test starts and ends without user defaults for new problems."""
    kelvo.setdefaults()
    yield
    kelvo.setdefaults()


@pytest.fixture
def p():
    prob = kelvo.problem()
    prob.read(str(DATA / "afiro.mps"))
    return prob


# ---- names -----------------------------------------------------------------------------------


def test_names_ids_and_argument_forms_reach_the_same_control(p):
    p.controls.feastol = 2e-6
    assert p.controls.FEASTOL == p.controls.feastol == 2e-6
    assert p.getControl("FEASTOL") == 2e-6
    p.controls.PRESOLVE = 0
    assert p.getControl("presolve") == 0
    p.setControl(8011, 1)
    p.setControl(b"THREADS", 2)
    assert p.getControl("presolve", "threads") == {"presolve": 1, "threads": 2}
    # A dictionary is set in order up to the first failure.
    with pytest.raises(kelvo.ModelError, match="floating-point control"):
        p.setControl({"presolve": 0, "feastol": "x", "threads": 3})
    assert p.getControl("presolve", "threads") == {"presolve": 0, "threads": 2}
    p.setControl({"threads": 4, "FEASTOL": 3e-6})
    assert p.getControl("threads", "feastol") == {"threads": 4, "feastol": 3e-6}


def setattr_(obj, name, value):
    setattr(obj, name, value)


# (call on the problem, exception, message) of every refused control or attribute request.
REFUSALS = [
    (lambda p: p.controls.FeasTol, kelvo.ModelError, "Control or attribute is neither all-lower nor all-upper case"),
    (lambda p: p.getControl("a" * 1025), kelvo.ModelError, "Control or attribute name is too long"),
    (lambda p: p.getControl("a" * 1024), kelvo.InterfaceError, "Incorrect control name"),
    (lambda p: p.controls.nosuchcontrol, kelvo.InterfaceError, "Incorrect control name"),
    (lambda p: p.attributes.nosuchattribute, kelvo.InterfaceError, "Incorrect attribute name"),
    (lambda p: p.getControl(99999), kelvo.InterfaceError, "Unknown control ID 99999"),
    (lambda p: p.getControl(1.5), kelvo.InterfaceError, "Control name cannot be interpreted as string"),
    (lambda p: p.setControl("threads", 1.5), kelvo.ModelError, "Cannot set non-integer value to an integer control"),
    (lambda p: setattr_(p.controls, "threads", "2"), kelvo.ModelError,
     "Cannot set non-integer value to an integer control"),
    (lambda p: p.setControl("feastol", "small"), kelvo.ModelError,
     "Cannot set non-numerical value to a floating-point control"),
    (lambda p: p.setControl("mpsobjname", 3), kelvo.ModelError, "Cannot set non-string value to a string control"),
    (lambda p: p.setControl("presolve", 7), kelvo.SolverError, None),
    (lambda p: p.setControl("feastol"), kelvo.ModelError, "Single argument to setControl must be a dictionary"),
    (lambda p: p.setControl(), kelvo.ModelError, "setControl requires at least one argument of type dictionary"),
    (lambda p: p.setControl("feastol", 1e-5, 3), kelvo.ModelError, "setControl: arguments mismatch"),
    (lambda p: p.setControl(None, 1), kelvo.InterfaceError, "Control name cannot be interpreted as string"),
    (lambda p: p.setControl("nosuch", 1), kelvo.InterfaceError, "Incorrect control name"),
    (lambda p: setattr_(p.attributes, "cols", 3), kelvo.ModelError, "A problem's attribute cannot be set"),
    (lambda p: p.getAttrib(solveidx=-1), kelvo.InterfaceError, "Invalid solve index"),
    (lambda p: p.getAttrib("probname", solveidx=0), kelvo.InterfaceError,
     "Multi-objective string attributes are not supported"),
    (lambda p: p.setControl({"weight": 1}, objidx=0), kelvo.ModelError, "Control 'weight' requires a float value"),
    (lambda p: p.setControl("priority", 1.0, objidx=0), kelvo.ModelError,
     "Control 'priority' requires an integer value"),
    (lambda p: p.getControl("weight", objidx=-1), kelvo.ModelError, "Invalid objective index"),
    (lambda p: p.getControl(20099, objidx=0), kelvo.InterfaceError, "Invalid objective control id: 20099"),
    (lambda p: p.getControl("bogus", objidx=0), kelvo.InterfaceError, "Invalid objective control: bogus"),
    (lambda p: p.getControl(1.5, objidx=0), kelvo.InterfaceError, "Expected a string control name or integer id"),
    (lambda p: p.setControl("weight", objidx=0), kelvo.ModelError, "setControl requires at least one argument"),
    (lambda p: p.getControl("weight", objidx=5), kelvo.SolverError, None),
    (lambda p: p.objattribs[0].probname, kelvo.InterfaceError, "Multi-objective string attributes are not supported"),
    *[(lambda p, i=i: p.objattribs[i], IndexError, "Invalid objective index") for i in (1, "0")],
    # Defaults for new problems are checked when set.
    (lambda p: setattr_(kelvo._getcontrols(), "presolve", 0.5), kelvo.ModelError,
     "Cannot set non-integer value to an integer control"),
    (lambda p: setattr_(kelvo._getcontrols(), "nosuch", 1), kelvo.InterfaceError, "Incorrect control name"),
]


@pytest.mark.parametrize("call,error,message", REFUSALS)
def test_refusals_change_nothing(p, call, error, message):
    before, new_problem_controls = p.getControl(), kelvo.problem().getControl()
    with pytest.raises(error, match=message):
        call(p)
    assert p.getControl() == before and p.attributes.cols == 32
    assert kelvo.problem().getControl() == new_problem_controls


# ---- getControl and getAttrib ----------------------------------------------------------------


def test_one_name_gives_a_value_and_several_give_a_dictionary(p):
    assert p.getControl("feastol") == 1e-7
    both = p.getControl("feastol", "presolve")
    assert both == {"feastol": 1e-7, "presolve": 1}
    assert p.getControl(["FEASTOL"]) == {"feastol": 1e-7}
    assert p.getControl(("feastol", 8011)) == {"feastol": 1e-7, 8011: 1}
    assert p.getControl(iter(["threads"])) == {"threads": 0}
    assert p.getAttrib("rows", "cols") == {"rows": 27, "cols": 32}
    assert p.getAttrib(1018) == 32


def test_controls_keep_their_types_and_enumerated_values_come_back_as_members(p):
    assert type(p.getControl("threads")) is int
    assert type(p.getControl("feastol")) is float
    assert type(p.getControl("mpsobjname")) is str
    p.setControl("timelimit", 2)
    assert p.getControl("timelimit") == 2.0 and type(p.getControl("timelimit")) is float
    p.setControl("threads", np.int16(3))
    p.setControl("mpsobjname", "cost")
    assert p.getControl("threads") == 3 and p.getControl("mpsobjname") == "cost"
    p.setControl("maxnode", 2**40)
    assert p.getControl("maxnode") == 2**40
    assert p.getControl(8035) is enums.OutputDetail.ALL
    assert p.controls.presolve is enums.Presolve.DEFAULT
    assert p.getAttrib("lpstatus") is enums.LPStatus.UNSTARTED
    p.setControl("defaultalg", enums.DefaultAlg.BARRIER)
    assert p.getControl("defaultalg") is enums.DefaultAlg.BARRIER


def test_all_controls_and_attributes_are_listed_and_printed_with_their_values(p):
    controls = p.getControl()
    assert set(controls) == set(p.controls.__dict__)
    assert controls["feastol"] == 1e-7 and "presolve" in controls
    attributes = p.getAttrib()
    assert set(attributes) == set(p.attributes.__dict__)
    assert attributes["cols"] == 32 and attributes["rows"] == 27
    text = str(p.controls)
    for name, value in controls.items():
        assert f"'{name}': {value!r}" in text
    text = repr(p.attributes)
    for name, value in attributes.items():
        assert f"'{name}': {value!r}" in text
    # A solve index reads the attributes without the strings.
    values = p.getAttrib(solveidx=0)
    assert "probname" not in values and values["cols"] == 32
    assert p.getAttrib("cols", solveidx=0) == 32


# ---- objective controls ----------------------------------------------------------------------


def test_objective_controls_by_name_and_id(p):
    assert p.getControl(objidx=0) == {"priority": 0, "weight": 1.0, "abstol": 0.0, "reltol": 0.0, "rhs": 0.0}
    p.setControl({"weight": 2.5}, objidx=0)
    p.setControl("PRIORITY", 3, objidx=0)
    assert p.getControl("weight", objidx=0) == 2.5
    assert p.getControl(20001, objidx=0) == 3
    assert p.getControl(["Weight", 20001], objidx=0) == {"Weight": 2.5, 20001: 3}


# ---- defaults for new problems ---------------------------------------------------------------


def test_defaults_reach_only_problems_created_later():
    g = kelvo._getcontrols()
    assert g is kelvo._getcontrols() is kelvo.controls
    defaults = g.__dict__
    assert defaults["presolve"] == 1 and defaults["feastol"] == 1e-7
    assert set(defaults) == set(kelvo.problem().controls.__dict__)
    before = kelvo.problem()
    g.presolve = 0
    g.FEASTOL = 1e-5
    g.threads = 3
    after = kelvo.problem()
    assert before.controls.presolve == 1 and before.controls.feastol == 1e-7
    assert (after.controls.presolve, after.controls.feastol, after.controls.threads) == (0, 1e-5, 3)
    assert "'presolve': 0" in str(g)
    # setdefaultcontrol removes one default, setdefaults all of them.
    kelvo.setdefaultcontrol("PRESOLVE")
    q = kelvo.problem()
    assert q.controls.presolve == 1 and q.controls.threads == 3
    kelvo.setdefaultcontrol("presolve")  # no default left: nothing to remove
    kelvo.setdefaults()
    assert kelvo.problem().controls.threads == 0 and g.threads == 0
    with pytest.raises(AttributeError):
        kelvo.no_such_name


def test_a_default_the_library_refuses_fails_construction(t):
    kelvo._getcontrols().threads = 100000
    p = kelvo.problem.__new__(kelvo.problem)
    with pytest.raises(kelvo.SolverError):
        p.__init__()
    assert not t.has_handle(p)
    kelvo.setdefaults()
    p.__init__()
    assert p.controls.threads == 0


def test_copy_takes_the_source_controls_over_defaults(p):
    p.setControl("threads", 2)
    kelvo._getcontrols().threads = 5
    assert p.copy().controls.threads == 2
