# Thin wrapper over the CMake presets. `make run` builds and starts Vantrel in
# this directory; `make test` builds and runs every test, also under
# AddressSanitizer and UndefinedBehaviorSanitizer.
.PHONY: all deps build run test test-release test-asan bench format clean

all: build

deps:
	bash scripts/install-deps.sh

build: deps
	cmake --preset release
	cmake --build --preset release

run: build
	./build/release/app/vantrel

test: deps test-release test-asan

test-release:
	cmake --preset release
	cmake --build --preset release
	ctest --preset release

test-asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

bench: build
	bash scripts/run-benchmarks.sh

format:
	cmake --build --preset release --target format

clean:
	rm -rf build
