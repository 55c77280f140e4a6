# Front door: `make run` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
# GL and end-to-end tests run on Mesa's software renderer under a virtual X server.
XVFB = xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp"
SOFTGL = env LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe

.PHONY: all deps build run test test-main test-asan test-tsan corpus fuzz fuzz-short bench format clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/tirvalex3

corpus: deps
	@scripts/fetch-corpus.sh

test: build corpus test-main test-asan test-tsan fuzz-short

test-main: build
	cd $(BUILD) && $(XVFB) $(SOFTGL) ctest --output-on-failure -j $(JOBS)

# The display-free suites again with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B build-asan -DTIRVALEX_SANITIZE=address,undefined -DTIRVALEX_DISPLAY=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) -L 'unit|corpus|thread'

# The output-thread tests with ThreadSanitizer.
test-tsan: deps
	cmake -S . -B build-tsan -DTIRVALEX_SANITIZE=thread -DTIRVALEX_DISPLAY=OFF
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -L thread

# The loader and the block filler under libFuzzer (clang, ASan, UBSan); a finding fails the run.
# `make test` fuzzes for one minute; `make fuzz FUZZ_SECONDS=1800` is a long run.
fuzz-short: deps
	scripts/fuzz.sh 60

fuzz: deps
	scripts/fuzz.sh $(FUZZ_SECONDS)

# Each benchmark prints its figures. bench_scenes draws on the virtual X server xvfb-run gives
# it; bench_startup starts X servers of its own for the demo.
bench: build
	@for b in $(BUILD)/bench_*; do [ -x "$$b" ] && $(XVFB) $(SOFTGL) "$$b"; done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-tsan build-fuzz
