# Day-to-day commands. `make setup` on a fresh machine installs everything, builds and runs an
# example; `make test` builds the development tree and runs both test suites.

PYTHON ?= python3.11
VENV ?= .venv
PY := $(VENV)/bin/python
BUILD ?= build/dev
BUILD_TYPE ?= RelWithDebInfo
APT_PACKAGES := build-essential pkg-config python3.11 python3.11-venv python3.11-dev coinor-libipopt-dev \
  robin-map-dev libgtest-dev
# CMake, Ninja and ctest come from the virtual environment (requirements-dev.txt) where the system
# has none of its own.
export PATH := $(PATH):$(abspath $(VENV))/bin

.PHONY: setup deps apt venv install example build wheel wheel-check test test-klvo test-python test-stubs test-sanitize fuzz fuzz-api fuzz-files bench clean

setup: deps install example

# System packages (Debian, as root or through sudo), then the virtual environment, which needs
# python3.11-venv, and the Python build and test requirements.
deps: apt
	@$(MAKE) --no-print-directory venv
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q -r requirements-dev.txt

apt:
	@if [ "$$(id -u)" = 0 ]; then SUDO=; else SUDO=sudo; fi; \
	  missing=$$(for p in $(APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	  if [ -n "$$missing" ]; then $$SUDO apt-get update -q && $$SUDO apt-get install -y -q $$missing; fi

venv:
	@test -x $(PY) || $(PYTHON) -m venv $(VENV)

# Installs kelvo into the virtual environment the way a user's `pip install .` does.
install: venv
	$(PY) -m pip install -q --no-build-isolation -Cbuild-dir=build/wheel .

# A wheel that installs anywhere: `pip wheel` builds it, auditwheel copies libklvo's and the
# extension's shared libraries (HiGHS, Ipopt and what Ipopt needs) into it under private names.
# wheel-check installs it into a fresh virtual environment and solves with it from /tmp.
WHEELHOUSE ?= build/wheelhouse
WHEEL_VENV ?= build/wheel-venv
wheel: venv
	rm -rf $(WHEELHOUSE)
	$(PY) -m pip wheel -q --no-deps --no-build-isolation -Cbuild-dir=build/wheel -w $(WHEELHOUSE)/raw .
	PATH="$(abspath $(VENV))/bin:$$PATH" $(VENV)/bin/auditwheel repair -w $(WHEELHOUSE) $(WHEELHOUSE)/raw/kelvo-*.whl

wheel-check: wheel
	rm -rf $(WHEEL_VENV)
	$(PYTHON) -m venv $(WHEEL_VENV)
	$(WHEEL_VENV)/bin/python -m pip install -q $(WHEELHOUSE)/kelvo-*.whl
	cd /tmp && $(abspath $(WHEEL_VENV))/bin/python $(abspath .ci/wheel_check.py)

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

# The generated type stubs against the built module (mypy's stubtest), when mypy is installed.
test-stubs: build
	@if $(PY) -c "import mypy" 2>/dev/null; then \
	  cd $(BUILD)/python && PYTHONPATH=. $(abspath $(PY)) -m mypy.stubtest kelvo \
	    --allowlist $(abspath tests/stubtest_allowlist.txt); \
	else echo "mypy is not installed: stub check skipped"; fi

test: test-klvo test-python test-stubs

# Both suites against a build with AddressSanitizer and UndefinedBehaviorSanitizer (every report
# is fatal). The C++ tests also check for leaks; the interpreter, which is not instrumented, runs
# with the sanitizer runtimes preloaded and without leak checks, since CPython keeps allocations
# to the end by design. KELVO_SANITIZED skips the one test that measures memory growth.
SANITIZE_BUILD ?= build/sanitize
SANITIZE_RUNTIMES = $(shell gcc -print-file-name=libasan.so) $(shell gcc -print-file-name=libubsan.so)
test-sanitize: venv
	$(MAKE) build BUILD=$(SANITIZE_BUILD) CMAKE_ARGS="-DKELVO_SANITIZE=ON $(CMAKE_ARGS)"
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j$$(nproc)
	KELVO_SANITIZED=1 LD_PRELOAD="$(SANITIZE_RUNTIMES)" ASAN_OPTIONS=detect_leaks=0 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 PYTHONPATH=$(SANITIZE_BUILD)/python \
	  $(PY) -m pytest -q -p no:cacheprovider tests

# Longer fuzzing than the tests' fixed share, from a random seed; every failure is printed with
# a reproducer. fuzz-api: random sequences of API calls with hostile arguments
# (tests/fuzz/api_fuzz.py; FUZZ_SEQUENCES of them). fuzz-files: mutated MPS and LP files under
# the sanitizers (FUZZ_CASES of them); a failing case keeps its file.
FUZZ_SEQUENCES ?= 2000
FUZZ_ARGS ?=
FUZZ_CASES ?= 20000
fuzz: fuzz-api fuzz-files
fuzz-api: build
	PYTHONPATH=$(BUILD)/python $(PY) tests/fuzz/api_fuzz.py --sequences $(FUZZ_SEQUENCES) $(FUZZ_ARGS)
fuzz-files: venv
	$(MAKE) build BUILD=$(SANITIZE_BUILD) CMAKE_ARGS="-DKELVO_SANITIZE=ON $(CMAKE_ARGS)"
	KLVO_FUZZ_CASES=$(FUZZ_CASES) KLVO_FUZZ_SEED=random ASAN_OPTIONS=detect_leaks=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  $(SANITIZE_BUILD)/klvo/tests/klvo_tests --gtest_filter='FileFuzz.MutatedFiles*'

# Benchmarks beside other Python modelling libraries (installed from requirements-bench.txt)
# and the library's own C++ benchmarks. Each prints a table; none is part of the tests.
bench:
	$(MAKE) build CMAKE_ARGS="-DKELVO_BUILD_BENCHMARKS=ON $(CMAKE_ARGS)"
	$(PY) -m pip install -q -r requirements-bench.txt
	for b in $(BUILD)/benchmarks/klvo_*; do $$b; done
	for b in benchmarks/bench_*.py; do PYTHONPATH=$(BUILD)/python $(PY) $$b; done

clean:
	rm -rf build
