"""kelvo.enums: a class for every enumerated control and attribute, with a member for every
value the library accepts or reports."""

import enum
import pathlib
import re

import pytest

import kelvo
import kelvo.enums as enums

ROOT = pathlib.Path(__file__).resolve().parent.parent
PARAMS_HEADER = ROOT / "klvo" / "include" / "klvo" / "params.h"

# Enumerated controls (name -> class) and the range searched for the values they accept.
ENUMERATED_CONTROLS = {
    "presolve": enums.Presolve,
    "pricing": enums.Pricing,
    "defaultalg": enums.DefaultAlg,
    "varselection": enums.VariableSelection,
    "nodeselection": enums.NodeSelectionCriteria,
    "backtrack": enums.BacktrackAlg,
    "backtracktie": enums.BacktrackAlg,
    "outputlog": enums.OutputDetail,
    "symmetry": enums.AlwaysNeverAutomatic,
    "crossover": enums.AlwaysNeverAutomatic,
    "dualize": enums.AlwaysNeverAutomatic,
    "rootheuristics": enums.AlwaysNeverAutomatic,
    "localsearch": enums.AlwaysNeverAutomatic,
    "choleskyalg": enums.CholeskyAlgorithm,
    "barorder": enums.BarOrder,
    "scaling": enums.OnOff,
    "parallelsimplex": enums.OnOff,
    "cutstrategy": enums.CutStrategy,
    "dualgradient": enums.DualGradient,
    "branchchoice": enums.BranchChoice,
    "dualstrategy": enums.DualStrategy,
    "feaspump": enums.FeasibilityPump,
    "precoefelim": enums.PresolveCoefElim,
    "predomcol": enums.PresolveDomColumn,
    "heursearchrootselect": enums.HeuristicSearchSelect,
    "heursearchtreeselect": enums.HeuristicSearchSelect,
    "preprobing": enums.PreProbing,
    "primalunshift": enums.PrimalUnshift,
    "repairindefiniteq": enums.RepairIndefiniteQuadratic,
    "predomrow": enums.PresolveDomRow,
    "barpresolveops": enums.BarPresolveOps,
    "miprestart": enums.MipRestart,
    "tunermode": enums.TunerMode,
    "tunermethod": enums.TunerMethod,
    "tunertarget": enums.TunerTarget,
    "tunerhistory": enums.TunerHistory,
    "lpflags": enums.LPFlags,
    "computelog": enums.ComputeLog,
    "multiobjops": enums.MultiObjOps,
    "iisops": enums.IISOps,
    "barhgops": enums.BARHGOps,
}

CLASS_NAMES = sorted({
    "LPStatus", "MIPStatus", "SolStatus", "OptimizeType", "SolveStatus", "IISSolStatus",
    *(cls.__name__ for cls in ENUMERATED_CONTROLS.values()), "Namespaces",
})


def header_values(prefix):
    """Values of the #defines KLVO_<prefix>* in the library's parameter header."""
    text = PARAMS_HEADER.read_text()
    return {int(v) for v in re.findall(rf"#define KLVO_{prefix}\w+\s+(-?\d+)", text)}


def test_every_class_is_an_int_enum_with_upper_case_members():
    for name in CLASS_NAMES:
        cls = getattr(enums, name)
        assert issubclass(cls, enum.IntEnum), name
        assert len(cls) > 0
        for member in cls:
            assert re.fullmatch(r"[A-Z][A-Z0-9_]*", member.name), (name, member.name)


@pytest.mark.parametrize("control", sorted(ENUMERATED_CONTROLS))
def test_every_accepted_value_is_a_member(control):
    cls = ENUMERATED_CONTROLS[control]
    p = kelvo.problem()
    accepted = []
    for value in range(-3, 300):
        try:
            p.setControl(control, value)
        except kelvo.SolverError:
            continue
        accepted.append(value)
        read = p.getControl(control)
        assert isinstance(read, cls) and read == value, (control, value)
    assert accepted, control
    # Values outside what the library takes are not members.
    for value in (min(accepted) - 1, max(accepted) + 1):
        with pytest.raises(ValueError):
            cls(value)


@pytest.mark.parametrize(
    "cls,prefix",
    [
        (enums.LPStatus, "LP_"),
        (enums.MIPStatus, "MIP_"),
        (enums.SolStatus, "SOLSTATUS_"),
        (enums.SolveStatus, "SOLVESTATUS_"),
        (enums.OptimizeType, "OPTTYPE_"),
    ],
)
def test_status_classes_cover_every_value_the_library_reports(cls, prefix):
    reported = header_values(prefix)
    assert reported
    assert reported == {m.value for m in cls}


def test_bit_sets_name_their_bits():
    both = enums.LPFlags(3)
    assert both == 3 and both.name == "DUAL|PRIMAL"
    assert enums.LPFlags(0) is enums.LPFlags.USE_DEFAULTALG
    with pytest.raises(ValueError):
        enums.LPFlags(8)
    with pytest.raises(ValueError):
        enums.HeuristicSearchSelect(256)
    assert enums.HeuristicSearchSelect(117).value == 117


def test_namespaces_are_the_library_name_types():
    text = (ROOT / "klvo" / "include" / "klvo" / "model.h").read_text()
    types = {name: int(v) for name, v in re.findall(r"#define KLVO_NAMES_(\w+) (\d+)", text)}
    assert types == {"ROWS": enums.Namespaces.ROW, "COLUMNS": enums.Namespaces.COLUMN, "SETS": enums.Namespaces.SET}
