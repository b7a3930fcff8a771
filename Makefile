# A thin wrapper over CMake. `make run` and `make test` first install what
# is missing (tools/install-deps), then configure, build and go.

BUILD_DIR ?= build
CMAKE ?= cmake
JOBS ?= 2
CMAKE_FLAGS ?=
# CI is strict about warnings; a local build is not.
ifneq ($(CI),)
CMAKE_FLAGS += -DWARNINGS_AS_ERRORS=ON
endif

.PHONY: all run test format clean

all:
	@tools/install-deps
	@test -f $(BUILD_DIR)/CMakeCache.txt || $(CMAKE) -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	$(CMAKE) --build $(BUILD_DIR) -j$(JOBS)

run: all
	$(BUILD_DIR)/app/glimra

test: all
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
