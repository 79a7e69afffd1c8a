import os
import subprocess
import sys
import textwrap

import pytest

import kelvo
from helpers import testing


def pytest_configure(config):
    config.addinivalue_line("markers", "hooks: needs the private test entry points of the development build")


def pytest_collection_modifyitems(config, items):
    """Tests that use the private entry points (the `t` fixture or the module's `testing`) are
    marked `hooks`; without them (an installed wheel) those tests are skipped."""
    skip = pytest.mark.skip(reason="needs the development build's kelvo._kelvo._testing")
    for item in items:
        if "t" in item.fixturenames or "testing" in vars(item.module):
            item.add_marker(pytest.mark.hooks)
            if testing is None:
                item.add_marker(skip)


@pytest.fixture
def t():
    return testing


@pytest.fixture(autouse=True)
def balanced_library():
    """Puts the library-initialisation count back to where the test found it."""
    if testing is None:
        yield
        return
    before = testing.init_count()
    yield
    while testing.init_count() > before:
        kelvo.free()
    while testing.init_count() < before:
        kelvo._init(None)


def run_fresh(code):
    """Runs code in a fresh interpreter that imports the same kelvo; returns its stdout."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, env=env)
    assert result.returncode == 0, result.stderr
    return result.stdout
