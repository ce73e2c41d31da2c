.PHONY: run test build bench format

# Build and start the console (installs what is missing first).
run:
	tools/run-console.sh $(ARGS)

# Build and run every test, normally and under ASan + UBSan.
test:
	tools/run-tests.sh

build:
	tools/bootstrap.sh
	cmake -S . -B build -G Ninja
	cmake --build build

bench: build
	for b in build/bench/bench_*; do "$$b"; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
