# Thin wrapper over the CMake presets. `make run` builds and starts Vantrel in
# this directory; `make test` builds and runs every test, also under
# AddressSanitizer and UndefinedBehaviorSanitizer, runs the end-to-end tests
# under valgrind memcheck too, and fuzzes each reader.
.PHONY: all deps build run test test-release test-asan test-fuzz fuzz fuzz-long bench pass-figures format clean

all: build

deps:
	bash scripts/install-deps.sh

build: deps
	cmake --preset release
	cmake --build --preset release

run: build
	./build/release/app/vantrel

test: deps test-release test-asan test-fuzz

test-release:
	cmake --preset release
	cmake --build --preset release
	ctest --preset release

test-asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# A short run of every fuzz target (45 s each), as part of `make test`.
test-fuzz:
	bash scripts/fuzz.sh 45

# A minute per fuzz target; `make fuzz-long` runs ten million inputs each.
fuzz:
	bash scripts/fuzz.sh

fuzz-long:
	bash scripts/fuzz.sh --runs 10000000

bench: build
	bash scripts/run-benchmarks.sh

# The pass at scale, each figure beside its anchor (see scripts/pass-figures.sh).
pass-figures: build
	bash scripts/pass-figures.sh

format:
	cmake --build --preset release --target format

clean:
	rm -rf build
