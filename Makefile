# The two commands of the README: `make demo` and `make test`. Both install what is missing.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CLI        := $(BUILD)/src/cli/kyvern-cli
# Our own builds stop on a warning; a plain cmake build (another compiler, another level) does not.
WERROR     ?= ON
# The folders whose code runs threads, for ThreadSanitizer.
TSAN_FOLDERS := capture links app sim analysis
# Aravis's fake camera runs uninstrumented threads whose hand-overs TSan cannot follow (tests/tsan.supp).
TSAN_SKIP    := -GenicamFakeCamera.*

.PHONY: all deps configure build demo test test-shuffle sanitize tsan lint fuzz bench format clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: Makefile | deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKYVERN_WERROR=$(WERROR) >/dev/null

configure: deps $(BUILD)/build.ninja

# The build speaks only when it fails, so that the demo's output is the demo.
build: configure
	@cmake --build $(BUILD) > $(BUILD)/build.log 2>&1 || { cat $(BUILD)/build.log; exit 1; }

demo: build
	@scripts/demo $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j2

# Every test executable as one process, in shuffled order, twice: tests that depend on their
# order or on state an earlier test left behind fail here.
test-shuffle: build
	@scripts/run-gtests $(BUILD) "--gtest_shuffle --gtest_repeat=2"

sanitize: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKYVERN_SANITIZE=ON \
		-DKYVERN_WERROR=$(WERROR) >/dev/null
	@cmake --build $(ASAN_BUILD)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest -L 'unit|integration' --output-on-failure -j2

tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKYVERN_TSAN=ON \
		-DKYVERN_WERROR=$(WERROR) >/dev/null
	@cmake --build $(TSAN_BUILD) --target $(patsubst %,kyvern_%_tests,$(TSAN_FOLDERS))
	@TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		scripts/run-gtests $(TSAN_BUILD) "--gtest_filter=$(TSAN_SKIP)" $(TSAN_FOLDERS)

# clang-tidy over src/ with the checks of .clang-tidy, from the build's compile database.
lint: configure
	@run-clang-tidy -quiet -j2 -p $(BUILD) '$(CURDIR)/src/' > $(BUILD)/lint.log 2>&1; status=$$?; \
		sed 's/\x1b\[[0-9;]*m//g' $(BUILD)/lint.log | grep -vE '^(clang-tidy|[0-9]+ warnings? generated)'; \
		[ $$status -eq 0 ] && echo "lint: clean"; exit $$status

fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_COMPILER=clang++ -DKYVERN_FUZZ=ON -DKYVERN_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD)
	@scripts/run-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@for b in $(BUILD)/bench/kyvern_*_bench; do echo "== $$b"; $$b; done

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
