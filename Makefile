# The two commands: `make run` and `make test`. Each installs what is
# missing, builds, and registers the audio library in the build's own
# registry (build/registry.reg), which the program and the tests read: a
# build never shadows an installed package's registration.

SHELL := /bin/bash

BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)
REGSVR = $(BUILD)/bin/ovra-regsvr
LIBRARY = $(BUILD)/audio/libOvraAudio.so
PROGRAM = $(BUILD)/bin/Trellon
export OVRA_REGISTRY := $(abspath $(BUILD))/registry.reg

.PHONY: all setup build register run test test-sanitize test-tsan fuzz-build fuzz-smoke fuzz package package-check bench soak clean

all: build

setup:
	@tools/setup-deps.sh

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

register: build
	@if [ -f $(LIBRARY) ]; then $(REGSVR) -s $(abspath $(LIBRARY)); fi

run: register
	@cd $(dir $(PROGRAM)) && ./Trellon

# The tests through real sound servers run last, one at a time, and one that
# fails is run once more: a virtual machine that stalls a server's thread
# puts a period of silence into what it plays, and a fault of the program's
# fails both runs.
test: register
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE server
	@ctest --test-dir $(BUILD) --output-on-failure -L server --repeat until-pass:2

# Everything that opens no window, built again with AddressSanitizer and
# UndefinedBehaviorSanitizer.
test-sanitize: setup
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DOVRA_SANITIZE=ON -DOVRA_WITH_WINDOWS=OFF -DOVRA_BENCHMARKS=OFF > /dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS) -L nowindow

# The sound layer, the output and the engine (its player thread, workers
# and the virtual device) once more under ThreadSanitizer; of the sync
# tests, those that measure no reaction time.
TSAN_BUILD ?= build-tsan
test-tsan: setup
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOVRA_TSAN=ON -DOVRA_WITH_WINDOWS=OFF -DOVRA_BENCHMARKS=OFF > /dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target sound_tests output_tests engine_tests live_tests
	@TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) \
	  -R '^((SoundBuffer|EventQueue|EventServiceTest|BurstTest|Output|SdlCapture|EngineTest|UndoStack|LiveVoices|JackLive|PulseClock|ClockFollower)\.|JackClock\.(Pulses|Every|Nothing|AsThe))'

# Ten minutes of playback through a private PulseAudio server with edits
# and loop switches, checked frame for frame (SOAK_SECONDS to change).
soak: build
	@tests/e2e/soak.sh $(BUILD)/bin $(LIBRARY) $(BUILD)/tests/e2e/stream_check \
	  $(BUILD)/tests/e2e/soak_window

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD) $(PACKAGE_BUILD)

# The fuzz targets, built with clang's libFuzzer and the sanitizers.
# fuzz-smoke runs each FUZZ_SECONDS (20) from the kept corpus and fresh
# seeds; fuzz is a campaign (make fuzz FUZZ_SECONDS=3600) that adds what it
# learns to the kept corpus in fuzz/corpus.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
FUZZ_TARGETS ?= fuzz_wav_image fuzz_wav_file fuzz_ogg_file fuzz_ogg_readall fuzz_song_file \
  fuzz_registry fuzz_registrar fuzz_drum_kit fuzz_import fuzz_midi_file fuzz_hydrogen_song \
  fuzz_kit_archive
fuzz-build: setup
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOVRA_FUZZ=ON > /dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz-smoke: fuzz-build
	@fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) smoke $(FUZZ_TARGETS)

fuzz: fuzz-build
	@fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) campaign $(FUZZ_TARGETS)

# The Debian package, built from the install rules with prefix /usr (a
# build of its own, without tests), then checked: contents, control data,
# maintainer scripts and lintian.
PACKAGE_BUILD ?= build-package
# Built with Debian's hardening flags (all of them, BIND_NOW included).
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package: setup
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_C_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
	  -DCMAKE_MODULE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
	  -DOVRA_TESTS=OFF -DOVRA_BENCHMARKS=OFF > /dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	@cd $(PACKAGE_BUILD) && cpack -G DEB > cpack.log || { cat cpack.log; exit 1; }
	@ls $(PACKAGE_BUILD)/*.deb

package-check: package
	@tests/install/package_check.sh $(PACKAGE_BUILD)/libovraaudio1_*.deb \
	  $(PACKAGE_BUILD)/libovraaudio-dev_*.deb $(PACKAGE_BUILD)/trellon_*.deb

# Benchmarks against their baselines (not part of the tests).
bench: build
	@for b in $(BUILD)/bench/*_bench; do $$b --benchmark_counters_tabular=true; done
