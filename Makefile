# The README's two commands: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test bench clean

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

bench: build
	@for b in $(BUILD)/bin/bench_*; do $$b; done

clean:
	rm -rf $(BUILD)
