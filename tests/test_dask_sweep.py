"""The Dask scenario sweep on a local cluster of two worker processes gives the serial loop's
table; kelvo itself never imports Dask."""
import pathlib
import runpy
import types

import pytest

from conftest import run_fresh

EXAMPLE = pathlib.Path(__file__).resolve().parents[1] / "examples" / "dask_sweep.py"


def test_import_kelvo_does_not_import_dask():
    code = "import sys, kelvo; print(sorted(m for m in sys.modules if m.split('.')[0] in ('dask', 'distributed')))"
    assert run_fresh(code).strip() == "[]"


def test_sweep_on_two_worker_processes_matches_the_serial_loop():
    distributed = pytest.importorskip("dask.distributed")
    sweep = types.SimpleNamespace(**runpy.run_path(str(EXAMPLE)))
    model = sweep.build(plants=15, markets=40)
    serial = sweep.sweep_serial(model, 100)
    with sweep.local_cluster(2) as cluster:
        with distributed.Client(cluster) as client:
            table = sweep.sweep_dask(client, model, 100)
            assert len(client.scheduler_info()["workers"]) == 2
    assert [row["status"] for row in table] == ["optimal"] * 100
    assert table == serial
    # More demand never costs less.
    costs = [row["cost"] for row in table]
    assert all(a < b for a, b in zip(costs, costs[1:]))
