"""kelvo.enums: a class for every enumerated control, with a member for every value the library
accepts and none for the values it refuses."""

import pytest

import kelvo
import kelvo.enums as enums

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
