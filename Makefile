# Set-up: `make run` and `make test` install what is missing, build and run.
.PHONY: deps configure build run test asan-test screenshots package windows windows-test clean

JOBS ?= $(shell nproc)

deps:
	@bash scripts/install-deps

configure: deps
	@cmake --preset default $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build --preset default -j $(JOBS)

run: build
	@bash scripts/run-demo

test: build
	@cd build && ctest --output-on-failure -j $(JOBS) --timeout 300

# The libFuzzer runner builds its own clang tree, the same one `make test` fuzzes: not run again here.
asan-test: deps
	@cmake --preset asan $(CMAKE_ARGS) >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 600 -LE 'gui|bench|postgres' -E '^fuzz_run_fuzzers$$'

# Cross build for 64-bit Windows (MinGW-w64) into build-win/; its tests run under Wine.
windows: deps
	@cmake --preset windows $(CMAKE_ARGS) >/dev/null
	@cmake --build --preset windows -j $(JOBS)

windows-test: windows configure
	@cmake --build --preset default -j $(JOBS) -t tagwright-sim tagwright-cli
	@cd build-win && ctest --output-on-failure -j $(JOBS) --timeout 300 -L windows

screenshots: build
	@bash scripts/screenshots

# The Debian package build/tagwright_<version>_<arch>.deb.
package: build
	@cd build && cpack -G DEB

clean:
	rm -rf build build-asan build-win
