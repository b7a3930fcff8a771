# A thin wrapper over CMake. `make run` and `make test` first install what
# is missing (tools/install-deps), then configure, build and go. The same
# trees are CMake presets (CMakePresets.json: dev, asan, bench) for IDEs
# and `cmake --preset`; keep their flags in step with these.

BUILD_DIR ?= build
# The unit tests run a second time under AddressSanitizer and
# UndefinedBehaviorSanitizer, from a tree of their own.
SANITIZE_DIR ?= build-sanitize
CMAKE ?= cmake
JOBS ?= 2
CMAKE_FLAGS ?=
# CI is strict about warnings; a local build is not.
ifneq ($(CI),)
CMAKE_FLAGS += -DWARNINGS_AS_ERRORS=ON
endif

.PHONY: all run test bench package format clean

all:
	@tools/install-deps
	@test -f $(BUILD_DIR)/CMakeCache.txt || $(CMAKE) -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	$(CMAKE) --build $(BUILD_DIR) -j$(JOBS)

run: all
	$(BUILD_DIR)/app/glimra

test: all
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)
	@test -f $(SANITIZE_DIR)/CMakeCache.txt || $(CMAKE) -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug \
		-DENABLE_SANITIZERS=ON -DGLIMRA_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	$(CMAKE) --build $(SANITIZE_DIR) -j$(JOBS)
	cd $(SANITIZE_DIR) && ctest --output-on-failure -j$(JOBS) -L unit

# Times the Show button on 241, 1,000 and 5,000 generated fonts, offscreen and
# on a private Xvfb, from a Release tree of its own; prints a Markdown table.
BENCH_DIR ?= build-bench
bench:
	@tools/install-deps
	@test -f $(BENCH_DIR)/CMakeCache.txt || $(CMAKE) -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	$(CMAKE) --build $(BENCH_DIR) -j$(JOBS) --target glimra_bench
	$(BENCH_DIR)/bench/glimra_bench $(BENCH_FLAGS)

# The Debian package, glimra_<version>_<arch>.deb in build/.
package: all
	cd $(BUILD_DIR) && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Every tree this Makefile makes.
clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(BENCH_DIR)
