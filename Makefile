# Thin wrapper over CMake for the usual jobs. Every target that builds first
# makes sure the Debian packages are there.

BUILD_DIR ?= build
SAMPLE    := samples/《西游记》吴承恩.txt
QXEBOOK   := $(BUILD_DIR)/src/cli/qxebook

.PHONY: deps configure build demo check test bench screenshots format clean deb check-clang fuzz fuzz-ci fuzz-build package-test

deps:
	bash scripts/install-deps.sh

configure:
	cmake --preset default -B $(BUILD_DIR)

build: configure
	cmake --build $(BUILD_DIR) -j

# The main job on the bundled sample novel: its HTML e-book in build/demo.
demo: deps build
	$(QXEBOOK) convert "$(SAMPLE)" --out $(BUILD_DIR)/demo --overwrite

# Everything from a fresh machine: packages, build, all tests.
check: deps build test

test:
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

# The core and its unit tests built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-clang), and the unit tests run. Left to
# "make check": the end-to-end tests in browsers and readers, the kill
# tests, the bundle's and launcher executable's runs (they test the
# programs' files, not their memory) and the desktop program's test of how
# long the window stays still on a 100 MB book (a time, which the
# sanitizers multiply).
CLANG_DIR        := build-clang
CLANG_TEST_SKIP  := ^(e2e_|reliability_|bundle_|launcher_executable_|LongWorkTest\.)
check-clang: deps
	cmake --preset clang-asan
	cmake --build $(CLANG_DIR) -j2
	cd $(CLANG_DIR) && QT_QPA_PLATFORM=offscreen QX_THREADS=2 \
		ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j2 -E '$(CLANG_TEST_SKIP)'

# The fuzz targets (libFuzzer with the sanitizers, build-fuzz). "make fuzz"
# runs each for FUZZ_SECONDS, its corpus kept in build-fuzz/corpus/<target>
# and seeded from fuzz/seeds/<target> (FUZZ_RUNS=N stops each after N
# executions if that comes first); "make fuzz-ci" runs each for 30 s
# over the committed seeds alone, as a regression check.
FUZZ_DIR     := build-fuzz
FUZZ_SECONDS ?= 60
fuzz-build: deps
	cmake --preset fuzz
	cmake --build $(FUZZ_DIR) --target fuzz_targets -j2

fuzz: fuzz-build
	bash fuzz/run.sh $(FUZZ_SECONDS) $(FUZZ_DIR)

fuzz-ci: fuzz-build
	bash fuzz/run.sh --ci 30 $(FUZZ_DIR)

bench: build
	bash bench/run.sh
	bash bench/convert_bench.sh
	bash bench/epub_bench.sh
	bash bench/batch_bench.sh
	bash bench/many_volumes.sh
	bash bench/long_line.sh

# The Debian package build/qxebook_<version>_<arch>.deb, from the install rules.
deb: deps build
	cd $(BUILD_DIR) && cpack -G DEB

# The package installed with dpkg, used by a new user, removed (needs root).
package-test: deb
	bash tests/package/install_test.sh "$$(ls -t $(BUILD_DIR)/qxebook_*.deb | head -n 1)" "$(SAMPLE)"

# Pictures of the four pages and of a loaded book, taken on a virtual display.
screenshots: build
	xvfb-run -a -s "-screen 0 1024x768x24" $(BUILD_DIR)/tests/qx_screenshots $(BUILD_DIR)/screenshots "$(SAMPLE)"

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp')

clean:
	rm -rf $(BUILD_DIR)
