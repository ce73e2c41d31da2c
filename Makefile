.PHONY: run test build bench format deb

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

# The Debian package for a studio-wide install (build/velmora_1.0_amd64.deb).
deb:
	tools/bootstrap.sh
	cmake -S . -B build -G Ninja
	cmake --build build --target VelmoraPro velmora_docs
	cd build && cpack -G DEB

bench: build
	for b in build/bench/bench_*; do "$$b"; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
