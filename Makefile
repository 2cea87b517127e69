# The two commands of the README: `make run` and `make test`.
# Each installs what is missing, configures, builds and runs.
JOBS ?= $(shell nproc)
CTEST := ctest --timeout 300 -j $(JOBS)

.PHONY: run test bench screenshots format lint setup setup-run clean
.PHONY: build-linux build-linux-asan build-windows build-fuzz

setup:
	@scripts/setup.sh run test

setup-run:
	@scripts/setup.sh run

PRESETS := linux linux-asan windows fuzz
$(addprefix build-,$(PRESETS)): build-%: setup
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -j $(JOBS)

# Only the program: no tests or benchmarks, so only the run group is needed.
run: setup-run
	@cmake --preset linux -DZARV_BUILD_TESTS=OFF -DZARV_BUILD_BENCH=OFF >/dev/null
	@cmake --build --preset linux -j $(JOBS)
	build/linux/bin/zarv_settings

test: build-linux build-linux-asan build-windows build-fuzz
	scripts/fuzz.sh build/fuzz
	$(CTEST) --preset windows
	$(CTEST) --preset linux-asan
	$(CTEST) --preset linux

bench: build-linux build-windows
	scripts/bench-config.sh build/linux
	scripts/bench-startup.sh build/linux
	scripts/bench-startup.sh build/windows

screenshots: build-linux build-windows
	scripts/screenshots-qt.sh build/linux
	scripts/screenshots-win32.sh build/windows

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# clang-tidy on the Linux build's sources (the compile database of
# build/linux) and shellcheck on every shell script; fails on any finding.
lint: build-linux
	git ls-files 'config/*.cpp' 'settings/*.cpp' 'probe/*.cpp' 'app/qt/*.cpp' ':!*win32*' | \
	  xargs -P $(JOBS) -n 1 clang-tidy -p build/linux --quiet
	git ls-files '*.sh' .ci/run | xargs shellcheck -x

clean:
	rm -rf build
