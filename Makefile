# Corvane's set-up and test commands. `make run` and `make test` install what is missing first.
BUILD_DIR    ?= build
BUILD_TYPE   ?= RelWithDebInfo
JOBS         ?= $(shell nproc)
CTEST_FLAGS  ?= --output-on-failure --timeout 300

.PHONY: all deps configure build run test sanitize asan tsan screenshot bench soak fuzz deb clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@bash scripts/run-corvane.sh $(BUILD_DIR)

test: build
	@cd $(BUILD_DIR) && ctest $(CTEST_FLAGS) -j $(JOBS)

# Every test under AddressSanitizer + UndefinedBehaviorSanitizer, then the threaded engine
# tests under ThreadSanitizer.
sanitize: asan tsan

asan: deps
	@cmake -S . -B $(BUILD_DIR)/asan -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=address
	@cmake --build $(BUILD_DIR)/asan -j $(JOBS)
	@cd $(BUILD_DIR)/asan && \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  ctest $(CTEST_FLAGS) -j $(JOBS)

tsan: deps
	@cmake -S . -B $(BUILD_DIR)/tsan -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=thread \
	  -DCORVANE_ENGINE_ONLY=ON
	@cmake --build $(BUILD_DIR)/tsan -j $(JOBS)
	@cd $(BUILD_DIR)/tsan && \
	  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
	  ctest $(CTEST_FLAGS) -j $(JOBS) -L threaded

# The main window with three tasks, mid-run, rendered without a display.
screenshot: build
	@bash tests/media/make_test_media.sh $(BUILD_DIR)/test-media
	@$(BUILD_DIR)/bin/corvane-screenshot $(BUILD_DIR)/screenshot.png $(BUILD_DIR)/test-media

# A Debian package (corvane_VERSION_ARCH.deb in the build folder).
deb: build
	@cd $(BUILD_DIR) && cpack -G DEB

# corvane-cli against the ffmpeg command-line tool on the same conversions (a benchmark, not a test).
bench: build
	@bash bench/run_bench.sh $(BUILD_DIR)

# 200 short tasks through one converter; `make test` runs a 20-task version.
SOAK_TASKS ?= 200
soak: build
	@cd $(BUILD_DIR) && CORVANE_SOAK_TASKS=$(SOAK_TASKS) ./bin/engine_converter_fault_tests \
	  --gtest_filter='*Soak*'

# libFuzzer targets (clang), FUZZ_SECONDS each; kept regression inputs are replayed first.
FUZZ_SECONDS ?= 60
fuzz:
	@bash scripts/install-deps.sh fuzz
	@bash tests/media/make_test_media.sh $(abspath $(BUILD_DIR))/test-media
	@FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash fuzz/run_fuzz.sh $(BUILD_DIR)/fuzz $(BUILD_DIR)/test-media

clean:
	rm -rf $(BUILD_DIR)
