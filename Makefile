# Two commands matter: `make run` and `make test`. Both install what is
# missing, configure and build first.
BUILD ?= build
SAN_BUILD ?= build-sanitize
GENERATOR ?= Ninja
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run demo test test-sanitize fuzz-build fuzz-smoke install package clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G $(GENERATOR) $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/vexlor

demo: build
	./$(BUILD)/vexlor --demo

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --no-tests=error

test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVEXLOR_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS) --no-tests=error

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVEXLOR_FUZZ=ON -DVEXLOR_BUILD_UI=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz-all

# Runs every fuzz target for FUZZ_SECONDS on a copy of its seed corpus; a
# crash, leak, timeout or out-of-memory fails the run.
fuzz-smoke: fuzz-build
	scripts/fuzz-smoke $(FUZZ_BUILD)/fuzz $(FUZZ_SECONDS)

install: build
	cmake --install $(BUILD)

# vexlor_<version>_amd64.deb in $(BUILD)/
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
