# Wraps CMake: `make run` and `make test` are all a fresh machine needs.
#   make run              build and start tavemon (on $DISPLAY; without one, its tour headless)
#   make test             build and run every test
#   make test SANITIZE=1  the same with AddressSanitizer and UBSan, in build-asan/
#   make test TSAN=1      the same with ThreadSanitizer, in build-tsan/
#   make monkey           MONKEY_INPUTS (default 20000) random inputs over tavemon (SANITIZE=1, TSAN=1 too)
#   make bench            build and run the benchmarks (Release, in build-bench/)
#   make fuzz             build the libFuzzer targets with clang and run each for
#                         FUZZ_SECONDS (default 60), in build-fuzz/; the working
#                         corpus grows in build-fuzz/corpus/, seeded from fuzz/corpus/
#   make format           clang-format every source; make format-check fails on unformatted ones
#   make soak             the QVD crash and kill tests at length: SOAK_ROUNDS (default
#                         40) random commits, sector seeds and kills, then 8 processes
#                         sharing one file for 30 s (with SANITIZE=1 too)

SANITIZE ?= 0
TSAN ?= 0
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD_DIR := build-asan
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Debug -DMORVEX_SANITIZE=ON
else ifeq ($(TSAN),1)
BUILD_DIR := build-tsan
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_TSAN=ON
else
BUILD_DIR := build
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif

FUZZ_SECONDS ?= 60
MONKEY_INPUTS ?= 20000
SOAK_ROUNDS ?= 40

# ccache (when installed) may reuse compiles across checkouts of the project.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: all deps configure build run seed-file test monkey bench fuzz soak clean format format-check

all: build

deps:
	@scripts/deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@mkdir -p $(BUILD_DIR)/run
	@$(MAKE) --no-print-directory seed-file NAME=Customer CSV=app/data/customers.csv
	@$(MAKE) --no-print-directory seed-file NAME=Goods CSV=app/data/goods.csv
	@if [ -n "$$DISPLAY" ]; then \
	    cd $(BUILD_DIR)/run && ../app/tavemon; \
	else \
	    echo "There is no display (\$$DISPLAY is not set): taking the tour of tavemon headless."; \
	    cd $(BUILD_DIR)/run && MORVEX_INIDIR=. ../app/tavemon --tour --shots shots && \
	    echo && \
	    echo "To see the real windows, run 'make run' on a desktop, or under a virtual display:" && \
	    echo "    xvfb-run -s '-screen 0 1280x1024x24' make run    (with x11vnc and a VNC viewer to look in)"; \
	fi

# Seeds $(BUILD_DIR)/run/$(NAME).QVD from $(CSV) when missing; the import goes
# to a scratch name first, so a failed one leaves no half-filled file behind.
seed-file:
	@test -f $(BUILD_DIR)/run/$(NAME).QVD || { \
	    rm -f $(BUILD_DIR)/run/$(NAME).seeding && \
	    $(BUILD_DIR)/tools/morvex qvd import $(BUILD_DIR)/run/$(NAME).seeding --layout $(NAME) $(CSV) && \
	    mv $(BUILD_DIR)/run/$(NAME).seeding $(BUILD_DIR)/run/$(NAME).QVD; }

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Random inputs over every window of tavemon, headless (CI runs it under the
# sanitizers); a sanitizer report or a hang fails it.
monkey: build
	@mkdir -p $(BUILD_DIR)/monkey && cd $(BUILD_DIR)/monkey && \
	    MORVEX_INIDIR=. TSAN_OPTIONS=halt_on_error=1 ../app/tavemon --monkey $(MONKEY_INPUTS) --seed 1

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVEX_BENCH=ON > /dev/null
	@cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/*_bench; do echo "== $$b"; $$b; done

fuzz:
	@scripts/deps fuzz
	@CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_FUZZ=ON > /dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@for f in build-fuzz/fuzz/*_fuzz; do \
	    name=$$(basename $$f); mkdir -p build-fuzz/corpus/$$name; \
	    cp -n fuzz/corpus/$$name/* build-fuzz/corpus/$$name/ 2>/dev/null || true; \
	    echo "== $$name for $(FUZZ_SECONDS) s"; \
	    $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 build-fuzz/corpus/$$name || exit 1; \
	done

soak: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target crash_recovery_test qvd_concurrency_test
	@MORVEX_SOAK_ROUNDS=$(SOAK_ROUNDS) $(BUILD_DIR)/tests/files/qvd/crash_recovery_test
	@MORVEX_CONCURRENCY_PROCESSES=8 MORVEX_CONCURRENCY_SECONDS=30 $(BUILD_DIR)/tests/files/qvd/qvd_concurrency_test

format: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails, naming the files, when any source is not as clang-format writes it.
format-check: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror 2>&1 | grep -o '^[^:]*:' | sort -u | \
	    sed 's/:$$/: not formatted (run make format)/' | { ! grep .; }

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
