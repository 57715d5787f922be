# The everyday commands; CMake does the building.
BUILD_DIR ?= build
BMP ?= samples/sample.bmp
GENERATOR := $(if $(shell command -v ninja 2>/dev/null),-G Ninja,)
CMAKE_FLAGS ?=

.PHONY: configure run test bench fuzz install package lint sanitize clean cross windows \
        windows-test windows-package web serve-web web-test web-bench mutate npm-package \
        npm-test

# Configures the build folder $(1) with the arguments $(2), run behind $(3) (emcmake): the
# first time, and again whenever CMAKE_FLAGS is given, so that flags on the command line always
# take effect. Without CMAKE_FLAGS a configured folder keeps the settings it has.
configure_in = @if [ ! -f $(1)/CMakeCache.txt ] || [ -n "$(strip $(CMAKE_FLAGS))" ]; then \
	  $(3) cmake -S . -B $(1) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release $(2) $(CMAKE_FLAGS); fi

configure:
	$(call configure_in,$(BUILD_DIR))

# Builds the Release binary and reports on BMP (the shipped sample unless given).
run: configure
	cmake --build $(BUILD_DIR) --target quillfen
	./$(BUILD_DIR)/quillfen "$(BMP)"

# Builds everything and runs the whole suite; fails when any test fails.
test: configure
	cmake --build $(BUILD_DIR)
	cd $(BUILD_DIR) && ctest --output-on-failure -j2

# Throughput and memory on 4000 x 3000 images against xxd, and the comparison against the
# report; fails when a target is missed.
bench: configure
	cmake --build $(BUILD_DIR) --target quillfen quillfen-compare quillfen_bench
	./$(BUILD_DIR)/bench/quillfen_bench --quillfen $(BUILD_DIR)/quillfen \
	  --compare $(BUILD_DIR)/quillfen-compare

PREFIX ?= /usr/local
# Installs bin/quillfen, bin/quillfen-compare and their man pages under PREFIX.
install: configure
	cmake --build $(BUILD_DIR) --target quillfen quillfen-compare
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# Builds build/quillfen_<version>_<arch>.deb.
package: configure
	cmake --build $(BUILD_DIR) --target quillfen quillfen-compare
	cd $(BUILD_DIR) && cpack -G DEB

# clang-format in check mode; clang-tidy over every source the native build compiles and over
# the WebAssembly entry points as emscripten compiles them; ESLint over the JavaScript; TypeScript
# over the README's use of the npm package, against its declarations. Fails on any finding.
# clang's count of the warnings it left unshown (those of system headers) is dropped, so that a
# clean run prints little.
lint: configure node_modules/.package-lock.json
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')
	@sources=$$(sed -n 's/^ *"file": "\(.*\)",*$$/\1/p' $(BUILD_DIR)/compile_commands.json | \
	  grep -E '/(app|bitmap|decode|compare|report|tests|bench|fuzz)/' | sort -u); \
	  echo "clang-tidy on $$(echo "$$sources" | wc -l) sources"; \
	  echo "$$sources" | xargs -P 2 -n 4 clang-tidy -quiet -p $(BUILD_DIR) \
	    > $(BUILD_DIR)/clang-tidy.log 2>&1; status=$$?; \
	  grep -v -E '^[0-9]+ warnings? generated\.$$' $(BUILD_DIR)/clang-tidy.log; exit $$status
	$(call configure_in,$(WEB_DIR),-DQUILLFEN_TESTS=OFF,$(EMSCRIPTEN_ENV) emcmake)
	@echo "clang-tidy on the WebAssembly entry points, as emscripten compiles them"; \
	  flags=$$($(EMSCRIPTEN_ENV) em++ --cflags | tr ' ' '\n' | \
	    grep -v -e '^-mllvm$$' -e 'combiner-global' -e 'emscripten-sjlj' -e 'disable-lsr' | \
	    sed 's/^/--extra-arg-before=/'); \
	  clang-tidy -quiet -p $(WEB_DIR) $$flags app/wasm_main.cpp app/wasm_files.cpp app/wasm_decode.cpp \
	    app/wasm_compare.cpp app/wasm_filling.cpp \
	    > $(WEB_DIR)/clang-tidy.log 2>&1; \
	  status=$$?; grep -v -E '^[0-9]+ warnings? generated\.$$' $(WEB_DIR)/clang-tidy.log; \
	  exit $$status
	npx eslint .
	npx tsc -p tests/npm/tsconfig.json

SANITIZE_DIR := build-sanitize
# The whole suite built by clang under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(call configure_in,$(SANITIZE_DIR),-DCMAKE_CXX_COMPILER=clang++ -DQUILLFEN_SANITIZE=ON)
	cmake --build $(SANITIZE_DIR)
	cd $(SANITIZE_DIR) && ctest --output-on-failure -j2

FUZZ_SECONDS ?= 60
FUZZ_DIR ?= build-fuzz
# Builds the libFuzzer target with clang and the sanitizers and runs it for FUZZ_SECONDS.
fuzz:
	$(call configure_in,$(FUZZ_DIR),-DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DQUILLFEN_FUZZ=ON -DQUILLFEN_TESTS=OFF)
	cmake --build $(FUZZ_DIR) --target fuzz_run
	mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/artifacts
	./$(FUZZ_DIR)/fuzz/fuzz_run -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=10 \
	  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/artifacts/ \
	  $(FUZZ_DIR)/corpus fuzz/corpus

ARCH ?=
CROSS_ARCHS := i686 armhf aarch64 s390x
# Builds the product and the suite for another Linux architecture in build-ARCH/ with Debian's
# cross compiler, linked statically, and runs the suite under qemu-user.
cross:
	@case " $(CROSS_ARCHS) " in *" $(ARCH) "*) ;; \
	  *) echo "usage: make cross ARCH=<$(CROSS_ARCHS)>"; exit 2 ;; esac
	$(call configure_in,build-$(ARCH),-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchains/linux-cross.cmake \
	  -DQUILLFEN_ARCH=$(ARCH))
	cmake --build build-$(ARCH)
	cd build-$(ARCH) && ctest --output-on-failure -j2

WINDOWS_DIR := build-windows
WINE_ENV := WINEPREFIX=$(CURDIR)/$(WINDOWS_DIR)/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Builds build-windows/quillfen.exe and the suite with Debian's mingw-w64 cross compiler.
windows:
	$(call configure_in,$(WINDOWS_DIR),-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchains/mingw-w64.cmake)
	cmake --build $(WINDOWS_DIR)

# Runs the suite under wine, in a wine prefix of its own under build-windows/. wine starts
# background services on a fresh prefix's first run and they keep that run's output open, so
# a runner that reads a test through a pipe would wait for them: the server and its services
# start here once, with their output sent nowhere, and stop when the tests are done.
windows-test: windows
	mkdir -p $(WINDOWS_DIR)/wine-prefix
	$(WINE_ENV) wineserver -p > /dev/null 2>&1
	$(WINE_ENV) wine wineboot -i > /dev/null 2>&1 < /dev/null
	cd $(WINDOWS_DIR) && ctest --output-on-failure -j2; status=$$?; \
	  $(WINE_ENV) wineserver -k; exit $$status

# Builds build-windows/quillfen-<version>-win64.zip: quillfen.exe, the README and the licence.
windows-package: windows
	cd $(WINDOWS_DIR) && cpack -G ZIP

WEB_DIR := build-web
# Debian's emscripten runs its JavaScript tools with the system's Node, which looks for their
# packages where Debian keeps them only when told.
EMSCRIPTEN_ENV := NODE_PATH=/usr/share/nodejs
# Builds the page into build-web/site/ (and the Node package's core) with emscripten.
web:
	$(call configure_in,$(WEB_DIR),-DQUILLFEN_TESTS=OFF,$(EMSCRIPTEN_ENV) emcmake)
	$(EMSCRIPTEN_ENV) cmake --build $(WEB_DIR)

PORT ?= 8000
# Serves the page on http://127.0.0.1:$(PORT)/ until stopped.
serve-web: web
	@node web/serve.mjs $(WEB_DIR)/site $(PORT)

# The JavaScript tools, as the lockfile pins them: puppeteer-core (no browser download),
# axe-core, ESLint and TypeScript.
node_modules/.package-lock.json: package-lock.json
	npm ci

# Drives the page in Debian's Chromium, headless, against the native binary's reports; runs
# the Node tests of the page's pure modules (tests/web/unit/) too.
web-test: web configure node_modules/.package-lock.json
	cmake --build $(BUILD_DIR) --target quillfen quillfen-compare quillfen_bench
	node --test tests/web/

# StrykerJS mutates the page's pure modules and runs their Node tests against each mutant;
# fails below a mutation score of 85 % (stryker.config.mjs). The report: build-mutate/.
mutate: node_modules/.package-lock.json
	npx stryker run

# The page's worker, the page path and the Node CLI against the native binary, in one run.
web-bench: web configure node_modules/.package-lock.json
	cmake --build $(BUILD_DIR) --target quillfen quillfen_bench
	node bench/wasm_bench.mjs

NPM_DIR := build-npm
# Packs the Node package into build-npm/quillfen-<version>.tgz.
npm-package: web
	mkdir -p $(NPM_DIR)
	rm -f $(NPM_DIR)/quillfen-*.tgz
	cd $(WEB_DIR)/npm-package && npm pack --pack-destination $(CURDIR)/$(NPM_DIR)

# Installs the packed package into a scratch prefix, as a user would, and tests what is
# installed against the native binary and decoder; the README's install lines run in a folder
# of their own.
npm-test: npm-package configure
	cmake --build $(BUILD_DIR) --target quillfen quillfen-compare quillfen_bench decode_dump
	rm -rf $(NPM_DIR)/prefix
	npm install --global --prefix $(CURDIR)/$(NPM_DIR)/prefix --no-audit --no-fund \
	  ./$(NPM_DIR)/quillfen-*.tgz
	QUILLFEN_PREFIX=$(CURDIR)/$(NPM_DIR)/prefix node --test tests/npm/
	tests/compare_reports.sh $(BUILD_DIR)/quillfen $(NPM_DIR)/prefix/bin/quillfen

# Every folder the targets above and .ci/run build in.
clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(WINDOWS_DIR) $(WEB_DIR) $(NPM_DIR) \
	  $(addprefix build-,$(CROSS_ARCHS)) build-nogtest build-mutate
