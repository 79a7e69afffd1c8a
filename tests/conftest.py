import os
import subprocess
import sys
import textwrap

import pytest

import kelvo
from helpers import free_var, testing


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


@pytest.fixture
def xyz():
    """Three unlinked variables named x, y and z."""
    return free_var(name="x"), free_var(name="y"), free_var(name="z")


@pytest.fixture
def nonlinear(t):
    """Skips the test when the library has no nonlinear layer, which it settles as it starts."""
    kelvo.problem()
    if t.nlp_flag() != 1:
        pytest.skip("nonlinear layer not built")


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


def run_fresh(code, timeout=None, **environment):
    """Runs code in a fresh interpreter that imports the same kelvo, with extra environment
    variables; returns its stdout. A child still running after timeout seconds (longer under
    the sanitizers) is killed and fails the test."""
    env = dict(os.environ, **environment)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    if timeout is None:
        timeout = 600 if os.environ.get("KELVO_SANITIZED") else 120
    try:
        result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                                env=env, timeout=timeout)
    except subprocess.TimeoutExpired as e:
        tail = lambda out: (out.decode(errors="replace") if isinstance(out, bytes) else out or "")[-2000:]
        hung = f"stdout:\n{tail(e.stdout)}\nstderr:\n{tail(e.stderr)}"
    else:
        hung = None
    if hung is not None:
        pytest.fail(f"the fresh interpreter was still running after {timeout} s and was killed\n{hung}", pytrace=False)
    assert result.returncode == 0, result.stderr
    return result.stdout
