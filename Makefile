# Quick start: `make run` and `make test`. Both install what is missing first.
# GUI=OFF builds marrowvale-cli alone, without Qt, in build-cli/ (also for
# `make package`, which then gives the CLI-only package).
GUI        ?= ON
BUILD      ?= build$(if $(filter OFF,$(GUI)),-cli)
BUILD_TYPE ?= Release
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

# Debian packages the build, the tests and the benchmarks need; the window
# and its tests add Qt, fonts, a virtual display with a window manager, and a
# second program to drag files from.
BASE_PACKAGES := cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
                 libcli11-dev jq dpkg-dev file python3 python3-yaml
PACKAGES := $(BASE_PACKAGES)
GUI_PACKAGES := qt6-base-dev fonts-liberation xvfb xauth desktop-file-utils \
                openbox xdotool python3-pyqt6 x11-utils
ifeq ($(GUI),ON)
PACKAGES += $(GUI_PACKAGES)
endif
# Only `make fuzz` needs clang and its sanitizer runtimes (about 230 MB).
FUZZ_PACKAGES := clang libclang-rt-14-dev
# Only `make package` checks its work with these.
CHECK_PACKAGES := lintian appstream
# Only `make cluster-test` runs a Slurm cluster and Dask workers on this machine.
CLUSTER_PACKAGES := slurm-wlm munge python3-distributed
# Only `make tsan` needs GCC's ThreadSanitizer runtime.
TSAN_PACKAGES := libtsan2
TSAN_BUILD := build-tsan
# The tests that run chunks side by side: the ring of chunk workers, one
# file's conversion, whole runs on several workers, the read-ahead thread, and
# the CLI's own parallel runs (its dispatcher and ledgers, in the CLI process
# the tests start, built with the same sanitizer).
TSAN_TESTS ?= ^(ChunkPipeline|FileConversion|FastRun|ReadAhead)\.|^SourceSpool\.AFirstPassThatLookedAhead|^Cli\.Parallel|^BadInput\.(Parallel|LargeFiles)|^DataSafety\.ParallelRuns
# Only `make tidy` needs this.
TIDY_PACKAGES := clang-tidy
# The layers `make tidy` checks: those that never include Qt.
TIDY_DIRS := report engine json paths walk run cli
# Only the benchmarks need these (system calls per file).
BENCH_PACKAGES := strace
FUZZ_SECONDS ?= 60

PACKAGE_BUILD := $(BUILD)-deb

.PHONY: all deps bench-deps configure build test tsan cluster-test run bench fuzz tidy install package clean

all: build

# Installs the missing packages of $(1) with apt-get: as root, or through
# sudo where it works; anyone else is told the one command to run as root.
define install_missing
	@missing=""; for p in $(1); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	[ -z "$$missing" ] && exit 0; \
	command="apt-get update && apt-get install -y --no-install-recommends$$missing"; \
	if [ "$$(id -u)" -eq 0 ]; then run=""; \
	elif command -v sudo >/dev/null 2>&1 && { sudo -n true 2>/dev/null || [ -t 0 ]; }; then run="sudo"; \
	else \
	    echo "These packages are missing:$$missing"; \
	    echo "Installing them needs root. Run this as root, then run make again:"; \
	    echo "    $$command"; \
	    exit 1; \
	fi; \
	echo "Installing:$$missing"; \
	{ $$run apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$run apt-get install -y -qq --no-install-recommends $$missing; } || { \
	    echo "Installing failed. Run this as root, then run make again:"; \
	    echo "    $$command"; \
	    exit 1; }
endef

deps:
	$(call install_missing,$(PACKAGES))

configure: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || \
	    cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DMV_BUILD_GUI=$(GUI) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE cluster

# The threaded tests under ThreadSanitizer, in a build of the CLI alone (no
# Qt) of its own; any race it finds fails the target (a few minutes on 2 cores).
tsan:
	$(call install_missing,$(BASE_PACKAGES) $(TSAN_PACKAGES))
	@[ -f $(TSAN_BUILD)/CMakeCache.txt ] || \
	    cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMV_BUILD_GUI=OFF \
	        -DMV_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-fsanitize=thread \
	        -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread $(CMAKE_ARGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target run_tests engine_tests cli_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	    ctest --output-on-failure --no-tests=error -j $(JOBS) -R '$(TSAN_TESTS)'

# The README's Slurm array script on a single-node Slurm cluster started for
# the test, and a Dask LocalCluster through the Python module (root; a few
# minutes on 2 cores).
cluster-test: build
	$(call install_missing,$(CLUSTER_PACKAGES))
	cd $(BUILD) && MV_CLUSTER_REQUIRED=1 ctest --output-on-failure -L cluster

# Starts the window where there is a display; otherwise (a server, an ssh
# session, CI) converts the samples into $(BUILD)/out with the CLI.
run: build
	@if [ -x $(BUILD)/bin/marrowvale ] && [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    $(BUILD)/bin/marrowvale; \
	else \
	    [ ! -x $(BUILD)/bin/marrowvale ] || \
	        echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): converting the samples with marrowvale-cli."; \
	    rm -rf $(BUILD)/out && mkdir -p $(BUILD)/out && \
	    $(BUILD)/bin/marrowvale-cli convert -o $(BUILD)/out $(BUILD)/bin/Samples && \
	    echo "Wrote:" && ls -l $(BUILD)/out; \
	fi

fuzz: deps
	$(call install_missing,$(FUZZ_PACKAGES))
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh

# clang-tidy with the checks of .clang-tidy over every source of the Qt-free
# layers, with the compile commands of the configured build; any finding
# fails it. Each file's count of what it found in headers it does not report
# on is left out.
tidy: SHELL := /bin/bash
tidy: .SHELLFLAGS := -o pipefail -c
tidy: configure
	$(call install_missing,$(TIDY_PACKAGES))
	find $(TIDY_DIRS) -name '*.cpp' | sort | \
	    xargs -P $(JOBS) -n 1 clang-tidy -p $(BUILD) --quiet --warnings-as-errors='*' 2>&1 | \
	    { grep -v ' warnings\? generated\.$$' || true; }

install: build
	cmake --install $(BUILD)

# A Debian package built as a distribution builds it: its own build folder
# with the hardening flags of dpkg-buildflags, installed under /usr, then
# checked with lintian. GUI=OFF gives the CLI-only package marrowvale-cli.
package: deps
	$(call install_missing,$(CHECK_PACKAGES))
	@[ -f $(PACKAGE_BUILD)/CMakeCache.txt ] || { \
	    export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	    CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	    LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	    cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	        -DMV_BUILD_GUI=$(GUI) -DMV_BUILD_TESTS=OFF -DMV_BUILD_BENCH=OFF $(CMAKE_ARGS); }
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	rm -f $(PACKAGE_BUILD)/*.deb
	cd $(PACKAGE_BUILD) && cpack -G DEB
	lintian $(PACKAGE_BUILD)/*.deb
	@for metainfo in $(PACKAGE_BUILD)/packaging/*.metainfo.xml; do \
	    [ ! -f "$$metainfo" ] || appstreamcli validate --no-net "$$metainfo" || exit 1; \
	done
	@echo "Package: $$(ls $(PACKAGE_BUILD)/*.deb)"

bench-deps:
	$(call install_missing,$(BENCH_PACKAGES))

# MV_BENCH_REPEAT, MV_BENCH_CASES and MV_BENCH_RECORD choose what runs and
# how often (docs/benchmarks.md).
bench: build bench-deps
	bench/run.sh $(BUILD)/bin

clean:
	rm -rf $(BUILD) $(PACKAGE_BUILD) $(TSAN_BUILD)
