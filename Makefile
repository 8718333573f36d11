# The two commands: `make run` and `make test`. Each installs what is
# missing, builds, and registers the audio library for this user.

BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)
REGSVR = $(BUILD)/bin/ovra-regsvr
LIBRARY = $(BUILD)/audio/libOvraAudio.so
PROGRAM = $(BUILD)/bin/Trellon

.PHONY: all setup build register run test test-sanitize clean

all: build

setup:
	@tools/setup-deps.sh

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

register: build
	@if [ -f $(LIBRARY) ]; then $(REGSVR) $(LIBRARY); fi

run: register
	@if [ -x $(PROGRAM) ]; then \
	  cd $(dir $(PROGRAM)) && ./Trellon; \
	else \
	  echo "Built and registered. The Trellon program is not part of this build yet."; \
	fi

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

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
