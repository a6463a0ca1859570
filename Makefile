# Thin wrapper over CMake: `make demo` runs the suite on real data,
# `make test` builds everything and runs every test, `make install` puts the
# programs in $(DESTDIR)$(PREFIX)/bin and their manual pages in
# $(DESTDIR)$(PREFIX)/share/man/man1.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
PROGRAMS   := velmora_bow velmora_pms velmora_bpms velmora_apms velmora_gpms velmora_idx
MAKEFLAGS  += --no-print-directory

.PHONY: all deps configure build programs test test-asan test-tsan demo install clean

all: build

# Installs what a fresh Debian machine lacks (compiler, CMake, GoogleTest, zlib, libpng).
deps:
	@./tools/deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The trainer's tests, its threads under ThreadSanitizer.
test-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target apms_tests velmora_apms velmora_apms_riferimento
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) -R '^Apms'

# The demo and the installation need only the programs, not the tests.
programs: configure
	@cmake --build $(BUILD) -j $(JOBS) --target $(PROGRAMS) >/dev/null

demo: programs
	./tools/demo.sh $(BUILD)

install: programs
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
