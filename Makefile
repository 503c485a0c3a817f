# The README's commands. Each one installs what is missing first, so a fresh Debian 12 machine
# needs nothing but this checkout.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps deps-test build run test test-asan test-tsan bench package format clean

all: build

# What building and running need; the test servers, hosts and tools come with make test only.
deps:
	scripts/install-deps

deps-test:
	scripts/install-deps --test

build: deps
	cmake -S . -B build $(CMAKE_FLAGS)
	cmake --build build -j$(JOBS)

run: build
	build/brennet

# Every test: unit, widget, the ALSA adaptor against a real PulseAudio server, and the real
# program under Xvfb with a tray host; then the unit and widget tests again under ASan and UBSan,
# and the engine and capture tests under ThreadSanitizer.
test: deps-test build
	cd build && ctest --output-on-failure -j$(JOBS)
	$(MAKE) test-asan
	$(MAKE) test-tsan

test-asan: deps-test
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBRENNET_SANITIZE=ON -DBRENNET_BENCH=OFF
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j$(JOBS) -L 'unit|widget'

# The engines and the capture, whose worker threads meet the callers', against the real servers.
# Only their test programs are built (they use no Qt), so the extra build stays small.
TSAN_TESTS = PulseEngineTest ClsVolumeAlsaTest AlsaWaveInTest
test-tsan: deps-test
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DBRENNET_TSAN=ON -DBRENNET_BENCH=OFF
	cmake --build build-tsan -j$(JOBS) --target $(TSAN_TESTS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		ctest --output-on-failure -L 'engine|alsa'

bench: deps-test build
	scripts/run-bench

package: deps-test build
	cd build && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-tsan
