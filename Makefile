# One entry point for building and testing on a fresh Debian machine.
#   make demo       builds, then answers a few queries on a small sample sheet
#   make test       installs what is missing, builds, runs every test suite
#   make test-asan  the C++ tests under AddressSanitizer and UBSan
#   make test-tsan  the batch pool's tests under ThreadSanitizer
#   make bench      the benchmarks (never part of make test)
#   make coverage   line and branch coverage of src/ per module (never part of make test)

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
JOBS ?= $(shell nproc)
VENV := .venv
PY := $(VENV)/bin/python
BUILD := build
BUILD_ASAN := build-asan
BUILD_TSAN := build-tsan
BUILD_BENCH := build-bench
BUILD_COV := build-cov

APT_PACKAGES := build-essential cmake pkg-config libicu-dev libb2-dev libgtest-dev \
	libgmock-dev nlohmann-json3-dev libbenchmark-dev python3-venv

.PHONY: all deps venv build demo test test-cpp test-asan test-tsan test-python bench coverage clean

all: build

deps:
	@missing=$$(for p in $(APT_PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  SUDO=$$([ "$$(id -u)" = 0 ] || echo sudo); \
	  $$SUDO apt-get update -qq; \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

venv: $(VENV)/.stamp

$(VENV)/.stamp: requirements-dev.txt
	python3 -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q -r requirements-dev.txt
	touch $@

build: deps venv
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# The sample sheets are written under build/demo with the engine's own keys.
demo: build
	PYTHONPATH=$(abspath $(BUILD)) \
	VORLANE_TESTHOOKS=$(abspath $(BUILD))/tests/tools/libvorlane_testhooks.so \
	  $(PY) examples/demo.py $(BUILD)/demo

test-cpp: build
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(JOBS)

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DVORLANE_SANITIZE=ON \
	  -DVORLANE_BUILD_MODULE=OFF >/dev/null
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD_ASAN) --output-on-failure --no-tests=error -j $(JOBS)

# Only the tests that run threads: the pool, its run loop and concurrent
# queries over the core library.
test-tsan: deps
	cmake -S . -B $(BUILD_TSAN) -DCMAKE_BUILD_TYPE=Debug -DVORLANE_TSAN=ON \
	  -DVORLANE_BUILD_MODULE=OFF >/dev/null
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target py_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(BUILD_TSAN)/tests/cpp/py_tests

# pytest exits 5 when it collects nothing; that is a failure here too.
test-python: build
	PYTHONPATH=$(abspath $(BUILD)) \
	VORLANE_TESTHOOKS=$(abspath $(BUILD))/tests/tools/libvorlane_testhooks.so \
	VORLANE_FST_PROBE=$(abspath $(BUILD))/tests/tools/fst_probe \
	  $(PY) -m pytest -q tests/python

test: test-cpp test-asan test-tsan test-python

bench: deps venv
	cmake -S . -B $(BUILD_BENCH) -DCMAKE_BUILD_TYPE=Release -DVORLANE_BUILD_BENCH=ON \
	  -DVORLANE_BUILD_TESTS=OFF -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	cmake --build $(BUILD_BENCH) -j $(JOBS)
	PYTHONPATH=$(abspath $(BUILD_BENCH)) VORLANE_BENCH_BUILD=$(abspath $(BUILD_BENCH)) \
	  $(PY) bench/run.py

# Counts from the C++ tests and the Python tests together, both run against
# one unoptimised build; the summary is one line per folder under src/vorlane.
# Counters are updated atomically because the batch pool runs threads; GCC
# warns falsely about optional views once coverage counters are inserted.
coverage: deps venv
	cmake -S . -B $(BUILD_COV) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic -Wno-maybe-uninitialized" \
	  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
	  -DCMAKE_MODULE_LINKER_FLAGS=--coverage -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	cmake --build $(BUILD_COV) -j $(JOBS)
	find $(BUILD_COV) -name '*.gcda' -delete
	ctest --test-dir $(BUILD_COV) --output-on-failure --no-tests=error -j $(JOBS)
	PYTHONPATH=$(abspath $(BUILD_COV)) \
	VORLANE_TESTHOOKS=$(abspath $(BUILD_COV))/tests/tools/libvorlane_testhooks.so \
	VORLANE_FST_PROBE=$(abspath $(BUILD_COV))/tests/tools/fst_probe \
	  $(PY) -m pytest -q tests/python
	$(PY) tests/support/coverage_table.py $(BUILD_COV)

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) $(BUILD_BENCH) $(BUILD_COV)
