# The everyday commands; CMake does the building.
BUILD_DIR ?= build
BMP ?= samples/sample.bmp
GENERATOR := $(if $(shell command -v ninja 2>/dev/null),-G Ninja,)
CMAKE_FLAGS ?=

.PHONY: configure run test bench clean

configure:
	@test -f $(BUILD_DIR)/CMakeCache.txt || \
	  cmake -S . -B $(BUILD_DIR) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

# Builds the Release binary and reports on BMP (the shipped sample unless given).
run: configure
	cmake --build $(BUILD_DIR) --target quillfen
	./$(BUILD_DIR)/quillfen $(BMP)

# Builds everything and runs the whole suite; fails when any test fails.
test: configure
	cmake --build $(BUILD_DIR)
	cd $(BUILD_DIR) && ctest --output-on-failure -j2

# Throughput and memory on 4000 x 3000 images against xxd; fails when a target is missed.
bench: configure
	cmake --build $(BUILD_DIR) --target quillfen quillfen_bench
	./$(BUILD_DIR)/bench/quillfen_bench --quillfen $(BUILD_DIR)/quillfen

clean:
	rm -rf $(BUILD_DIR)
