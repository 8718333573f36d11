# The two commands: `make run` and `make test`. Each installs what is
# missing, builds, and registers the audio library for this user.

SHELL := /bin/bash

BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)
REGSVR = $(BUILD)/bin/ovra-regsvr
LIBRARY = $(BUILD)/audio/libOvraAudio.so
PROGRAM = $(BUILD)/bin/Trellon

.PHONY: all setup build register run test test-sanitize test-tsan fuzz-smoke bench soak clean

all: build

setup:
	@tools/setup-deps.sh

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

register: build
	@if [ -f $(LIBRARY) ]; then $(REGSVR) $(LIBRARY); fi

run: register
	@cd $(dir $(PROGRAM)) && ./Trellon

test: register
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Everything that opens no window, built again with AddressSanitizer and
# UndefinedBehaviorSanitizer.
test-sanitize: setup
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DOVRA_SANITIZE=ON -DOVRA_WITH_WINDOWS=OFF -DOVRA_BENCHMARKS=OFF > /dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS) -L nowindow

# The sound layer and the output once more under ThreadSanitizer.
TSAN_BUILD ?= build-tsan
test-tsan: setup
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOVRA_TSAN=ON -DOVRA_WITH_WINDOWS=OFF -DOVRA_BENCHMARKS=OFF > /dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target sound_tests output_tests
	@TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) \
	  -R '^(SoundBuffer|EventQueue|EventServiceTest|BurstTest|Output|SdlCapture)\.'

# Ten minutes of playback through a private PulseAudio server with edits
# and loop switches, checked frame for frame (SOAK_SECONDS to change).
soak: build
	@tests/e2e/soak.sh $(BUILD)/bin $(LIBRARY) $(BUILD)/tests/e2e/stream_check \
	  $(BUILD)/tests/e2e/soak_window

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)

# Builds the fuzz targets with clang's libFuzzer and runs each for
# FUZZ_SECONDS from a generated seed corpus.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
fuzz-smoke: setup
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOVRA_FUZZ=ON > /dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@rm -rf $(FUZZ_BUILD)/seeds && fuzz/make-seeds.sh $(FUZZ_BUILD)/seeds
	@for t in fuzz_wav_image fuzz_wav_file fuzz_ogg_file fuzz_song_file; do \
	  echo "fuzzing $$t for $(FUZZ_SECONDS) s"; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  $(FUZZ_BUILD)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/seeds/$$t 2>&1 \
	    | grep -E '^(stat::number_of_executed_runs|==|SUMMARY|INFO: Running|Done)' || true; \
	  test $${PIPESTATUS[0]} -eq 0 || exit 1; \
	done

# Benchmarks against their baselines (not part of the tests).
bench: build
	@for b in $(BUILD)/bench/*_bench; do $$b --benchmark_counters_tabular=true; done
