# The two commands a developer needs: `make run` and `make test`. Both install what is missing.
BUILD := build
JOBS  ?= 2

SANITIZE_BUILD := build-sanitize
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
# WERROR=ON turns every compiler warning into an error, as CI builds.
WERROR ?= OFF

.PHONY: deps configure build run test bench test-sanitize fuzz package format lint clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DPALLASTER_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/pallaster

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && { echo "== $$(basename $$b)"; "$$b" || exit 1; }; done

# build/pallaster_<version>_amd64.deb
package: build
	scripts/install-deps --package
	cd $(BUILD) && cpack -G DEB

# The whole test suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 \
		-DPALLASTER_SANITIZE=ON -DPALLASTER_BENCH=OFF -DPALLASTER_WERROR=$(WERROR)
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j$(JOBS)

# Each libFuzzer target for FUZZ_SECONDS (default 60) under ASan and UBSan, built with clang.
fuzz:
	scripts/install-deps --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug \
		"-DCMAKE_CXX_FLAGS=-O1 -fsanitize=fuzzer-no-link" \
		-DPALLASTER_SANITIZE=ON -DPALLASTER_FUZZ=ON -DPALLASTER_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz_labels fuzz_coco fuzz_datasetjson fuzz_cocoinstances
	scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

CXX_SOURCES = $(shell git ls-files '*.cpp' '*.h')
QML_DOCUMENTS = $(wildcard qml/*.qml)
QMLLINT ?= /usr/lib/qt5/bin/qmllint

# Formats every C++ file of the tree in place with .clang-format.
format: deps
	clang-format -i $(CXX_SOURCES)

# What CI holds the tree to besides the tests: C++ formatted as .clang-format says, and both QML
# documents passing qmllint.
lint: deps
	clang-format --dry-run --Werror $(CXX_SOURCES)
	$(QMLLINT) $(QML_DOCUMENTS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) build-fuzz
