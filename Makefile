# Entry points: `make demo` dumps the bundled sample run, `make test` runs every test.
# Both install missing Debian packages first.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# WERROR=ON builds with warnings as errors, as CI does.
WERROR ?= OFF

.PHONY: all demo test asan fuzz fuzz-ci bench gui screenshots tidy windows windows-test clean

all: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DFDC_WERROR=$(WERROR) $(CMAKE_FLAGS)

demo:
	scripts/install-deps.sh core
	cmake -S . -B $(BUILD) -G Ninja -DFDC_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target fdcdump fdcstat fdc2pcapng
	scripts/demo.sh $(BUILD)

test:
	scripts/install-deps.sh all
	cmake -S . -B $(BUILD) -G Ninja -DFDC_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The engine's tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan:
	scripts/install-deps.sh core
	cmake -S . -B build-asan -G Ninja -DFDC_SANITIZE=ON -DFDC_BUILD_UI=OFF -DFDC_WERROR=$(WERROR)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# Fuzz one target without a time limit: make fuzz TARGET=capture_run_fuzzer (inputs up to 64 KiB;
# TARGET=capture_run_refill: the same target with runs up to 1 MiB, which refill the reader's
# buffer, at a few inputs a second)
TARGET ?= capture_run_fuzzer
fuzz:
	scripts/install-deps.sh all
	scripts/fuzz.sh build-fuzz $(TARGET) 0

# Every fuzz target briefly, as CI runs them.
fuzz-ci:
	scripts/install-deps.sh all
	FDC_WERROR=$(WERROR) scripts/fuzz.sh build-fuzz all 20

bench:
	scripts/install-deps.sh all
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DFDC_BUILD_UI=OFF -DFDC_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS) --target fdcdump fdcgen fdcstat fdc2pcapng index_bench
	bench/run_bench.sh build-release

gui:
	scripts/install-deps.sh all
	cmake -S . -B $(BUILD) -G Ninja -DFDC_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target TeloFdcCaptAnlz
	$(BUILD)/ui/TeloFdcCaptAnlz

# The checks in .clang-tidy over the engine and the programs.
tidy:
	scripts/install-deps.sh all
	cmake -S . -B $(BUILD) -G Ninja -DFDC_WERROR=$(WERROR) $(CMAKE_FLAGS)
	run-clang-tidy-14 -p $(BUILD) -quiet "$$PWD/(common|capture|dp|options|engine|report|cli)/[^/]+\\.cpp$$"

# The command-line programs for 64-bit Windows, cross-built with MinGW-w64 into build-windows/,
# and build-windows/TeloFdcCaptAnlz-cli-<version>-win64.zip with the README, the samples and the
# Wireshark dissector.
windows:
	scripts/install-deps.sh windows
	cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DFDC_BUILD_UI=OFF -DFDC_BUILD_TESTS=OFF -DFDC_WERROR=$(WERROR) \
	  -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=$(CURDIR)/build-windows
	cmake --build build-windows -j $(JOBS) --target windows_zip platform_io_wine_test

# Those programs under Wine: the golden runs, and fdcstat's JSON and fdc2pcapng's export compared
# with the Linux programs' (built in build-windows/linux), then the platform calls' Windows side.
windows-test: windows
	scripts/install-deps.sh core
	cmake -S . -B build-windows/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DFDC_BUILD_UI=OFF \
	  -DFDC_BUILD_TESTS=OFF
	cmake --build build-windows/linux -j $(JOBS) --target fdcstat fdc2pcapng
	scripts/windows-test.sh build-windows build-windows/linux

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-release build-windows
