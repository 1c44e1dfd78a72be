# Thin wrapper over CMake for the usual jobs. Every target that builds first
# makes sure the Debian packages are there.

BUILD_DIR ?= build
SAMPLE    := samples/《西游记》吴承恩.txt
QXEBOOK   := $(BUILD_DIR)/src/cli/qxebook

.PHONY: deps configure build demo check test bench screenshots format clean

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

bench: build
	bash bench/run.sh
	bash bench/convert_bench.sh
	bash bench/epub_bench.sh
	bash bench/batch_bench.sh
	bash bench/many_volumes.sh

# Pictures of the four pages and of a loaded book, taken on a virtual display.
screenshots: build
	xvfb-run -a -s "-screen 0 1024x768x24" $(BUILD_DIR)/tests/qx_screenshots $(BUILD_DIR)/screenshots "$(SAMPLE)"

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp')

clean:
	rm -rf $(BUILD_DIR)
