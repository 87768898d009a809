# The two commands a developer needs: `make run` and `make test`. Both install what is missing.
BUILD := build
JOBS  ?= 2

.PHONY: deps configure build run test bench clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/pallaster

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && { echo "== $$(basename $$b)"; "$$b" || exit 1; }; done

clean:
	rm -rf $(BUILD)
