# Front door: `make run` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
# GL and end-to-end tests run on Mesa's software renderer under a virtual X server.
XVFB = xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp"
SOFTGL = env LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe

.PHONY: all deps deps-packaging build run install deb test test-main test-asan test-tsan \
	test-package corpus fuzz fuzz-short bench format clean web web-serve

all: build

deps:
	@scripts/install-deps.sh

deps-packaging:
	@scripts/install-deps.sh --packaging

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/tirvalex3

# The page: build-web/ holds index.html, the program (.js, .wasm), the worklet and the baked
# glyphs, ready for any static web server. Debian's emscripten finds its node modules through
# NODE_PATH. The glyphs are baked by the desktop build's bake_glyphs from the desktop's font.
WEB_OUT = build-web
WEB_CMAKE = build-web-cmake
EMSCRIPTEN_ENV = env NODE_PATH=/usr/share/nodejs
web: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target bake_glyphs
	$(EMSCRIPTEN_ENV) emcmake cmake -S . -B $(WEB_CMAKE) -DCMAKE_BUILD_TYPE=Release \
	  "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DTIRVALEX_WEB_OUT=$(CURDIR)/$(WEB_OUT) \
	  -DTIRVALEX_GLYPH_BAKER=$(CURDIR)/$(BUILD)/bake_glyphs
	$(EMSCRIPTEN_ENV) cmake --build $(WEB_CMAKE) -j $(JOBS)

# Serves build-web/ at http://127.0.0.1:8000/ (browsers play the sound only on https pages and
# on localhost).
web-serve: web
	scripts/web-serve.py $(WEB_OUT)

# Installs the programs, menu entry, icons, AppStream file and man pages under PREFIX
# (DESTDIR honoured).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, built by dpkg-buildpackage from a copy of the tree in build-deb/ (so no
# build artefacts land in the tree or beside it) and placed in the project's root folder.
DEB_DIR = build-deb
# The copy always sits at the same place, so with ccache a second build takes little time.
DEB_LAUNCHER = $(if $(shell command -v ccache),env CMAKE_C_COMPILER_LAUNCHER=ccache \
	CMAKE_CXX_COMPILER_LAUNCHER=ccache)
deb: deps-packaging
	rm -rf $(DEB_DIR) && mkdir -p $(DEB_DIR)/src
	git ls-files -z --cached --others --exclude-standard | \
	  xargs -0 sh -c 'for f; do [ -e "$$f" ] && printf "%s\0" "$$f"; done' sh | \
	  xargs -0 cp -P --parents -t $(DEB_DIR)/src
	cd $(DEB_DIR)/src && $(DEB_LAUNCHER) dpkg-buildpackage -us -uc -b -j$(JOBS)
	lintian --fail-on error,warning $(DEB_DIR)/tirvalex3_*_amd64.deb
	rm -f tirvalex3_*_amd64.deb && cp $(DEB_DIR)/tirvalex3_*_amd64.deb .
	@ls -l tirvalex3_*_amd64.deb

corpus: deps
	@scripts/fetch-corpus.sh

test: build web corpus test-main test-asan test-tsan fuzz-short

test-main: build
	cd $(BUILD) && $(XVFB) $(SOFTGL) ctest --output-on-failure -j $(JOBS)

# Installing: `cmake --install` into a scratch DESTDIR, then the Debian package built, checked by
# lintian, installed, its demo started under Xvfb, and removed again. CI runs it after `make test`;
# it installs into the system, so a developer runs it on purpose.
test-package: build deps-packaging
	tests/package/install_test.sh $(BUILD)
	$(MAKE) deb
	tests/package/package_test.sh tirvalex3_*_amd64.deb

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

# Each benchmark prints its figures. bench_scenes draws offscreen and needs no display;
# bench_startup starts X servers of its own for the demo.
bench: build
	@for b in $(BUILD)/bench_*; do [ -x "$$b" ] && $(SOFTGL) "$$b"; done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-tsan build-fuzz build-deb $(WEB_OUT) $(WEB_CMAKE)
