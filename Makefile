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

.PHONY: all app run test bench fuzz package format clean

# The program alone, in the tree the tests share: `make run` compiles no test.
app:
	@tools/install-deps run
	@test -f $(BUILD_DIR)/CMakeCache.txt || $(CMAKE) -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	$(CMAKE) --build $(BUILD_DIR) -j$(JOBS) --target glimra

run: app
	$(BUILD_DIR)/app/glimra

# Everything: the program, its tests and the bench.
all:
	@tools/install-deps test
	@test -f $(BUILD_DIR)/CMakeCache.txt || $(CMAKE) -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	$(CMAKE) --build $(BUILD_DIR) -j$(JOBS)

test: all
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)
	@test -f $(SANITIZE_DIR)/CMakeCache.txt || $(CMAKE) -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug \
		-DENABLE_SANITIZERS=ON -DGLIMRA_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	$(CMAKE) --build $(SANITIZE_DIR) -j$(JOBS)
	cd $(SANITIZE_DIR) && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
		ctest --output-on-failure -j$(JOBS) -L unit

# `make test` from a fresh clone inside a pristine Debian root (trixie, sid,
# ...), made with mmdebstrap and kept under /var/cache/glimra/roots.
test-in-root-%:
	tools/test-in-root $*

# Times the Show button on 241, 1,000 and 5,000 generated fonts, offscreen and
# on a private Xvfb, from a Release tree of its own with the view's switches
# (GLIMRA_TUNING); prints a Markdown table.
BENCH_DIR ?= build-bench
bench:
	@tools/install-deps test
	$(CMAKE) -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DGLIMRA_TUNING=ON $(CMAKE_FLAGS)
	$(CMAKE) --build $(BENCH_DIR) -j$(JOBS) --target glimra_bench
	$(BENCH_DIR)/bench/glimra_bench $(BENCH_FLAGS)

# The libFuzzer harnesses (fuzz/), built with clang in a tree of their own,
# each run for FUZZ_SECONDS from the corpus kept in tests/corpus/: a
# finding lands in build-fuzz/findings/. `make test` only replays the corpus.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 180
fuzz:
	@tools/install-deps fuzz
	@test -f $(FUZZ_DIR)/CMakeCache.txt || $(CMAKE) -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_COMPILER=clang++ -DGLIMRA_FUZZ=ON -DBUILD_TESTING=OFF -DGLIMRA_BUILD_BENCH=OFF \
		-DENABLE_HARDENING=OFF $(CMAKE_FLAGS)
	$(CMAKE) --build $(FUZZ_DIR) -j$(JOBS) --target fuzzers
	tools/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_HARNESSES)

# The Debian package, glimra_<version>_<arch>.deb in build-package/, from a
# tree of its own that holds no tests.
PACKAGE_DIR ?= build-package
package:
	@tools/install-deps run
	@test -f $(PACKAGE_DIR)/CMakeCache.txt || $(CMAKE) -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DBUILD_TESTING=OFF -DGLIMRA_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	$(CMAKE) --build $(PACKAGE_DIR) -j$(JOBS)
	cd $(PACKAGE_DIR) && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Every tree this Makefile makes.
clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(BENCH_DIR) $(PACKAGE_DIR) $(FUZZ_DIR)
