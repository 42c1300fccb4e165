# make run   install what is missing, build in release mode and start Lumisort
# make test  install what is missing, build, and run every test in a normal and in an
#            AddressSanitizer + UndefinedBehaviorSanitizer build
# make install / make uninstall   the release build into PREFIX (/usr/local), under DESTDIR
# make fuzz  build the decoder's libFuzzer target and its seed maker (needs clang; see
#            tests/fuzz/README.md)
.PHONY: all deps build run test test-release test-asan test-tsan bench fuzz install uninstall clean

JOBS     ?= $(shell nproc)
PREFIX   ?= /usr/local
WERROR   := $(if $(CI),ON,OFF)
RELEASE  := build/release
ASAN     := build/asan
TSAN     := build/tsan
FUZZ     := build/fuzz
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
                 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
                 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

all: build

deps:
	@bash scripts/install-deps.sh

$(RELEASE)/build.ninja: | deps
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMISORT_WERROR=$(WERROR)

$(ASAN)/build.ninja: | deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMISORT_WERROR=$(WERROR) \
	    -DLUMISORT_SANITIZE=address,undefined

$(TSAN)/build.ninja: | deps
	cmake -S . -B $(TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMISORT_WERROR=$(WERROR) \
	    -DLUMISORT_SANITIZE=thread

build: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j $(JOBS)

run: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j $(JOBS) --target lumisort
	$(RELEASE)/bin/lumisort

test-release: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j $(JOBS)
	ctest --test-dir $(RELEASE) --output-on-failure -j $(JOBS)

test-asan: deps $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(ASAN) --output-on-failure -j $(JOBS)

# ThreadSanitizer: not part of `make test` (it doubles the build time); run it after
# changing anything that crosses threads.
test-tsan: deps $(TSAN)/build.ninja
	cmake --build $(TSAN) -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0:suppressions=$(CURDIR)/tests/tsan.supp ctest --test-dir $(TSAN) --output-on-failure -j $(JOBS)

test: test-release test-asan

bench: build
	@echo "lumisort-bench is at $(RELEASE)/bin/lumisort-bench; see bench/README.md"

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(RELEASE) --prefix "$(PREFIX)"

# Removes the files the last install wrote, as its manifest lists them (give the same
# DESTDIR: the manifest leaves it out).
uninstall:
	@test -f $(RELEASE)/install_manifest.txt || { echo "nothing installed from $(RELEASE)"; exit 1; }
	sed 's|^|$(DESTDIR)|' $(RELEASE)/install_manifest.txt | xargs -r -d '\n' rm -fv --

# Not part of `make test`: clang, not g++, and a run that takes as long as it is given.
FUZZ_CXX     ?= clang++
FUZZ_SOURCES := src/imaging/ImageDecoder.cpp src/imaging/ImageProbe.cpp src/imaging/HeifProbe.cpp \
                src/imaging/HeifDecoder.cpp src/imaging/DecodeBudget.cpp
FUZZ_FLAGS   := -std=c++20 -g -O1 -fPIC -Isrc $$(pkg-config --cflags Qt6Gui libheif)
FUZZ_LIBS    := $$(pkg-config --libs Qt6Gui libheif zlib)

fuzz:
	@command -v $(FUZZ_CXX) > /dev/null || { echo "make fuzz needs clang with libFuzzer:" \
	    "apt-get install clang-14 libclang-rt-14-dev (then FUZZ_CXX=clang++-14 if clang++ is missing)"; exit 1; }
	mkdir -p $(FUZZ)
	$(FUZZ_CXX) $(FUZZ_FLAGS) -fsanitize=fuzzer,address,undefined -o $(FUZZ)/fuzz_decoder \
	    tests/fuzz/fuzz_decoder.cpp $(FUZZ_SOURCES) $(FUZZ_LIBS)
	$(FUZZ_CXX) $(FUZZ_FLAGS) -o $(FUZZ)/make_seeds tests/fuzz/make_seeds.cpp $(FUZZ_LIBS)
	@echo "seeds: tests/fuzz/make-seeds.sh $(FUZZ)/seeds; run: see tests/fuzz/README.md"

clean:
	rm -rf build
