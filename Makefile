# Quick start: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
BUILD_TYPE ?= Release
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

# Debian packages the build, the tests, the benchmarks and the fuzzers need.
PACKAGES := cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev jq \
            time qt6-base-dev fonts-liberation xvfb xauth desktop-file-utils clang libclang-rt-14-dev
# Only the benchmarks need these (system calls per file).
BENCH_PACKAGES := strace
FUZZ_SECONDS ?= 60

SUDO := $(shell [ "$$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1 && echo sudo)

.PHONY: all deps bench-deps configure build test run bench fuzz install clean

all: build

deps bench-deps:
	@missing=""; for p in $(if $(filter bench-deps,$@),$(BENCH_PACKAGES),$(PACKAGES)); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

configure: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Starts the window; where it is not built, converts the samples with the CLI.
run: build
	@if [ -x $(BUILD)/bin/marrowvale ]; then \
	    $(BUILD)/bin/marrowvale; \
	else \
	    rm -rf $(BUILD)/out && mkdir -p $(BUILD)/out && \
	    $(BUILD)/bin/marrowvale-cli convert -o $(BUILD)/out $(BUILD)/bin/Samples/*.xml && \
	    echo "Wrote:" && ls -l $(BUILD)/out; \
	fi

fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh

install: build
	cmake --install $(BUILD)

bench: build bench-deps
	$(BUILD)/bin/marrowvale-bench --benchmark_counters_tabular=true
	bench/whole_file.sh $(BUILD)/bin
	bench/window_vs_cli.sh $(BUILD)/bin

clean:
	rm -rf $(BUILD)
