# Thin wrapper around CMake. `make test` and `make run` install what they need.
BUILD        ?= build
SAN_BUILD    ?= build-sanitize
BENCH_BUILD  ?= build-bench
FUZZ_BUILD   ?= build-fuzz
RELEASE_BUILD ?= build-release
RELEASE_OUT  ?= dist
PREFIX       ?= $(HOME)/.local
FUZZ_SECONDS ?= 60
JOBS         ?= $(shell nproc)
CMAKE_FLAGS  ?=

.PHONY: all deps configure build test test-sanitize run previews bench bench-build fuzz fuzz-build format install uninstall package release clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The routing core alone, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	@cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCORVANE_CORE_ONLY=ON -DCORVANE_SANITIZE=ON >/dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	@scripts/run

# The interface with sample data, light and dark, as PNGs for the README.
previews: build
	@$(BUILD)/bin/corvane --render-previews docs/screenshots

# The benchmarks and fuzz targets are built by CI too (bench-build, fuzz-build), so they never rot.
bench-build: deps
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)

bench: bench-build
	@scripts/bench $(BENCH_BUILD)

fuzz-build: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCORVANE_CORE_ONLY=ON -DCORVANE_FUZZ=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	@scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	@scripts/post-install $(PREFIX)

# Takes away what `make install` put into $(PREFIX), and the browsers'
# manifests for the extension's host; settings and rules stay.
uninstall:
	@scripts/uninstall $(PREFIX) $(BUILD)

# The Debian package, checked by lintian, in $(RELEASE_OUT): apt installs it.
package: build
	@scripts/package $(BUILD) $(RELEASE_OUT)

# A signed archive of the application folder and its feed, in $(RELEASE_OUT).
release: deps
	@CMAKE_FLAGS="$(CMAKE_FLAGS)" JOBS=$(JOBS) MINISIGN_KEY="$(MINISIGN_KEY)" \
	  scripts/release $(RELEASE_BUILD) $(RELEASE_OUT)

format:
	@find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(RELEASE_BUILD) $(RELEASE_OUT)
