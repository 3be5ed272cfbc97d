# The README's two commands: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test sanitize fuzz soak bench clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The web engine will not start as root with its sandbox on; a developer running
# as root opts out here, visibly, and only for this command.
ROOT_ENV := $(if $(filter 0,$(shell id -u)),QTWEBENGINE_DISABLE_SANDBOX=1,)

run: build
	@$(ROOT_ENV) $(BUILD)/bin/vesmer $(ARGS)

test: build
	@tests/run-headless.sh $(BUILD)
	@$(MAKE) --no-print-directory sanitize

# The unit and integration tests once more under AddressSanitizer and
# UndefinedBehaviorSanitizer; any report, a leak included, fails the run. The web
# engine's own Chromium code frees objects with a sized delete of their base
# class, which the type-mismatch check would report from inside the engine.
SANITIZE_BUILD ?= build-asan
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:new_delete_type_mismatch=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/lsan.supp:print_suppressions=0:leak_check_at_exit=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESMER_ASAN=ON >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS) --target sanitized_tests
	@$(SANITIZE_ENV) tests/run-headless.sh $(SANITIZE_BUILD) -L sanitize

# Each libFuzzer target for FUZZ_SECONDS (clang, its own build folder).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESMER_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Half an hour of the app with music, lyrics and scenes; memory must stay flat.
# SOAK_MINUTES shortens it for a try.
SOAK_MINUTES ?= 30
soak: build
	@VESMER_SOAK_MINUTES=$(SOAK_MINUTES) tests/run-headless.sh $(BUILD) -C Soak -R '^soak$$' --verbose

bench: build
	@for b in $(BUILD)/bin/bench_*; do $$b; done

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
