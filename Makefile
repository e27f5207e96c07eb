# The two entry points of the README, plus helpers for developers.
.PHONY: deps build build-asan test test-default test-asan demo package fuzz bench clean

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

clean:
	rm -rf build
