"""The nonlinear layer's node events fire from the search over a problem with formulas and
integer columns, and their answers prune nodes."""
import pytest

import kelvo


def test_layer_node_events_fire_and_prune(nonlinear):
    p = kelvo.problem()
    x = p.addVariable(lb=0, ub=3, vartype=kelvo.integer)
    y = p.addVariable(lb=-1, ub=2)
    # By hand: x = 1 (nearest integer to 1.4), y = 0 where exp(y) - y is least.
    p.setObjective((x - 1.4) ** 2 + kelvo.exp(y) - y)
    p.controls.outputlog = 0
    seen = []
    drop = []

    def node(kind):
        def f(prob, data):
            seen.append((kind, data))
            return 1 if kind in drop else 0
        return f

    p.setcbprenode(node("prenode"), "pre")
    p.setcbslpnode(node("slpnode"), "slp")
    p.setcboptnode(node("optnode"), "opt")
    p.setcbintsol(node("intsol"), "int")
    p.optimize()
    assert p.attributes.objval == pytest.approx(0.16 + 1.0, abs=1e-6)
    assert p.getSolution([x, y]) == pytest.approx([1.0, 0.0], abs=1e-4)
    kinds = [k for k, _ in seen]
    # The root relaxation (x = 1.4) is fractional, so the search branches: several nodes,
    # each through prenode and then slpnode before its relaxation.
    assert kinds.count("prenode") >= 2 and kinds.count("slpnode") == kinds.count("prenode")
    assert kinds[:2] == ["prenode", "slpnode"] and kinds.count("intsol") >= 1
    assert ("optnode", "opt") in seen and ("intsol", "int") in seen

    # The root declared infeasible at optnode: nothing is found, no solution event.
    seen.clear()
    drop.append("optnode")
    p.optimize()
    kinds = [k for k, _ in seen]
    assert kinds.count("optnode") == 1 and "intsol" not in kinds
    assert p.attributes.mipstatus == kelvo.enums.MIPStatus.INFEASIBLE
