import os
import subprocess
import sys
import textwrap

import pytest

import kelvo

testing = kelvo._kelvo._testing


@pytest.fixture
def t():
    return testing


@pytest.fixture(autouse=True)
def balanced_library():
    """Puts the library-initialisation count back to where the test found it."""
    before = testing.init_count()
    yield
    while testing.init_count() > before:
        kelvo.free()
    while testing.init_count() < before:
        kelvo._init(None)


def run_fresh(code, **environment):
    """Runs code in a fresh interpreter that imports the same kelvo, with extra environment
    variables; returns its stdout."""
    env = dict(os.environ, **environment)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, env=env)
    assert result.returncode == 0, result.stderr
    return result.stdout
