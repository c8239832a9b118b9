# Thin wrapper over CMake + Ninja so a fresh machine needs one command.
BUILD ?= build
BUILD_SAN ?= build-sanitize
JOBS ?= $(shell nproc)
CXX_MAIN ?= g++

.PHONY: all deps build test test-sanitize demo bench clean

all: build

# Installs whatever the build and the tests lack (the same script CI runs).
deps:
	./scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_CXX_COMPILER=$(CXX_MAIN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: deps build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

$(BUILD_SAN)/build.ninja: | deps
	cmake -S . -B $(BUILD_SAN) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_BUILD_TYPE=Debug -DVT_SANITIZE=ON -DVT_BUILD_BENCH=OFF

test-sanitize: deps $(BUILD_SAN)/build.ninja
	cmake --build $(BUILD_SAN) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(BUILD_SAN) --output-on-failure -j $(JOBS)

# The Linux scenario on its defaults through the real plug-in: writes
# ./kelvane.rcf, checks it against what ran, then summarises it.
demo: build
	./$(BUILD)/simhost --plugin ./$(BUILD)/VantricTrace.so --scenario linux --verify \
	  --work-dir ./$(BUILD)/simhost-linux -P output-directory=. -P rcf-capture=kelvane.rcf
	./$(BUILD)/rcf summary ./kelvane.rcf

bench: build
	@for b in $(BUILD)/bench/*/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
