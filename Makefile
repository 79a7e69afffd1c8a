# Day-to-day commands. `make setup` on a fresh machine installs everything, builds and runs an
# example; `make test` builds the development tree and runs both test suites.

PYTHON ?= python3.11
VENV ?= .venv
PY := $(VENV)/bin/python
BUILD ?= build/dev
BUILD_TYPE ?= RelWithDebInfo
APT_PACKAGES := build-essential pkg-config coinor-libipopt-dev robin-map-dev libgtest-dev

.PHONY: setup deps venv install example build test test-klvo test-python bench clean

setup: deps install example

# System packages (Debian, as root) and the Python build and test requirements.
deps: venv
	@if [ "$$(id -u)" = 0 ]; then SUDO=; else SUDO=sudo; fi; \
	  missing=$$(for p in $(APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	  if [ -n "$$missing" ]; then $$SUDO apt-get update -q && $$SUDO apt-get install -y -q $$missing; fi
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q -r requirements-dev.txt

venv:
	@test -x $(PY) || $(PYTHON) -m venv $(VENV)

# Installs kelvo into the virtual environment the way a user's `pip install .` does.
install: venv
	$(PY) -m pip install -q --no-build-isolation -Cbuild-dir=build/wheel .

example:
	$(PY) examples/production_planning.py

# Development tree: build/dev/python is an importable kelvo, rebuilt incrementally. CMake gets
# the environment's own interpreter path (not its resolved link, which would be the base
# interpreter without the environment's packages) and refuses any interpreter outside a venv.
build: venv
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKELVO_BUILD_TESTS=ON \
	  -DPython_EXECUTABLE=$(abspath $(PY)) -DKELVO_REQUIRE_VENV=ON $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$$(nproc)

test-klvo: build
	ctest --test-dir $(BUILD) --output-on-failure -j$$(nproc)

test-python: build
	PYTHONPATH=$(BUILD)/python $(PY) -m pytest -q tests

test: test-klvo test-python

# Benchmarks beside other Python modelling libraries (installed from requirements-bench.txt)
# and the library's own C++ benchmarks. Each prints a table; none is part of the tests.
bench:
	$(MAKE) build CMAKE_ARGS="-DKELVO_BUILD_BENCHMARKS=ON $(CMAKE_ARGS)"
	$(PY) -m pip install -q -r requirements-bench.txt
	for b in $(BUILD)/benchmarks/klvo_*; do $$b; done
	for b in benchmarks/bench_*.py; do PYTHONPATH=$(BUILD)/python $(PY) $$b; done

clean:
	rm -rf build
