# Thin wrapper over CMake + Ninja so a fresh machine needs one command.
BUILD ?= build
BUILD_SAN ?= build-sanitize
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 600
JOBS ?= $(shell nproc)
CXX_MAIN ?= g++

.PHONY: all deps build test test-sanitize fuzz demo demo-qemu report-screenshot bench clean

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

# libFuzzer targets (fuzz/), each run for FUZZ_SECONDS on a copy of its seed
# corpus kept in $(BUILD_FUZZ)/corpus/<name>, so that what it finds stays out of
# the source tree. A crashing input lands in $(BUILD_FUZZ)/artifacts/<name>/
# and fails the run (after every target has had its turn).
FUZZ_TARGETS = json_reader expression_parser system_map kernel_offsets symbol_file \
  counter_file_reader frame_decoder capture_reader btf_reader

$(BUILD_FUZZ)/build.ninja: | deps
	cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVT_SANITIZE=ON -DVT_FUZZ=ON -DVT_BUILD_BENCH=OFF

fuzz: deps $(BUILD_FUZZ)/build.ninja
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target $(FUZZ_TARGETS:%=%_fuzz)
	@failed=""; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(BUILD_FUZZ)/corpus/$$t $(BUILD_FUZZ)/artifacts/$$t; \
	  cp fuzz/$$t/corpus/* $(BUILD_FUZZ)/corpus/$$t/; \
	  echo "== $$t: $(FUZZ_SECONDS) s"; \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ./$(BUILD_FUZZ)/fuzz/$${t}_fuzz \
	    -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -timeout=60 -print_final_stats=1 \
	    -artifact_prefix=$(BUILD_FUZZ)/artifacts/$$t/ $(BUILD_FUZZ)/corpus/$$t || failed="$$failed $$t"; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: findings in$$failed (see $(BUILD_FUZZ)/artifacts/)"; exit 1; fi

# The Linux scenario on its defaults through the real plug-in: writes
# ./kelvane.rcf, checks it against what ran, summarises it and writes the
# page to look at it with, ./kelvane-report.html.
DEMO_WORK = ./$(BUILD)/simhost-linux
demo: build
	./$(BUILD)/simhost --plugin ./$(BUILD)/VantricTrace.so --scenario linux --verify \
	  --work-dir $(DEMO_WORK) -P output-directory=. -P rcf-capture=kelvane.rcf
	./$(BUILD)/rcf summary ./kelvane.rcf
	./$(BUILD)/rcf report ./kelvane.rcf -o ./kelvane-report.html \
	  --symbols $(DEMO_WORK)/System.map --sysroot $(DEMO_WORK)/sysroot
	@echo "open ./kelvane-report.html in a browser"

# The README's picture of the demo's report, taken by headless Chromium.
report-screenshot: demo
	timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
	  --window-size=1400,2000 --virtual-time-budget=5000 \
	  --screenshot=$(CURDIR)/docs/kelvane-report.png file://$(CURDIR)/kelvane-report.html

# The plug-in on a real arm64 Linux guest in qemu-system-aarch64: fetches
# the guest (Debian's cloud kernel and a small initramfs), traces its
# workload into ./qemu.rcf, checks it against the guest's report, summarises.
QEMU_TARGET ?= $(HOME)/.cache/vantric-arm64-target
demo-qemu: build
	./scripts/fetch-arm64-target.sh $(QEMU_TARGET) >/dev/null
	./$(BUILD)/qemuhost --target $(QEMU_TARGET) --verify --work-dir ./$(BUILD)/qemuhost \
	  -P output-directory=. -P rcf-capture=qemu.rcf
	./$(BUILD)/rcf summary ./qemu.rcf

bench: build
	@for b in $(BUILD)/bench/*/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_FUZZ)
