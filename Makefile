# The two entry points of the README, plus helpers for developers.
.PHONY: deps build build-asan test test-default test-asan demo package fuzz bench clean \
        deps-windows build-windows test-windows package-windows

JOBS ?= $(shell nproc)

deps:
	scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

build-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

test-default: build
	ctest --preset default

test-asan: build-asan
	ctest --preset asan

# The whole suite, in the release build and under the sanitizers.
test: test-default test-asan

demo: build
	scripts/demo

# Debian packages of the release build: build/default/*.deb
package: build
	cmake --build --preset default --target package

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)

bench: build
	scripts/bench

# The Windows side: cross build (mingw-w64, static .exe files), its tests under Wine, then the
# Windows server under Wine answering scans from the Linux build's kx25sim.
deps-windows:
	scripts/install-deps --windows

build-windows: deps-windows
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)

test-windows: build-windows
	cmake --preset default
	cmake --build --preset default -j $(JOBS) --target kx25sim
	ctest --preset windows-test
	scripts/windows-scan-test

# A zip for Windows PCs: build/windows/kt-vistrand-<version>-windows-x64.zip
package-windows: build-windows
	cd build/windows && cpack -G ZIP

clean:
	rm -rf build
