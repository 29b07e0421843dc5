# The two commands of the README, and the build directories behind them.
#   make run    set up, build and start the tool
#   make test   set up, build and run every test (plain and sanitizer builds,
#               and the probe tests under valgrind)
#   make fuzz   build the fuzz targets with clang and run each for
#               FUZZ_SECONDS (scripts/fuzz.sh)
#   make package  build the Debian package (build/package/dravenlok_*.deb)
#   make bench  build in Release and run the benchmarks (BENCHMARKS.md)

BUILD_DIR ?= build
TARGET_HOST ?= example.com
TEST_HOST := target.dravenlok.test
CMAKE_GEN := -G Ninja

.PHONY: all setup build run test test-plain test-sanitize test-valgrind fuzz package clean bench

all: build

setup:
	./scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD_DIR)/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DDRAVENLOK_TARGET_HOST=$(TARGET_HOST) -DDRAVENLOK_BUILD_TESTS=OFF
	cmake --build $(BUILD_DIR)/release

run: build
	$(BUILD_DIR)/release/app/Dravenlok

test: setup test-plain test-sanitize test-valgrind

# Tests run each in a private network namespace (scripts/in-netns.sh), with
# the target host on loopback.
test-plain:
	cmake -S . -B $(BUILD_DIR)/test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	    -DDRAVENLOK_WERROR=ON -DDRAVENLOK_TARGET_HOST=$(TEST_HOST)
	cmake --build $(BUILD_DIR)/test
	cd $(BUILD_DIR)/test && ctest --output-on-failure -j2

test-sanitize:
	cmake -S . -B $(BUILD_DIR)/sanitize $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	    -DDRAVENLOK_WERROR=ON -DDRAVENLOK_SANITIZE=ON -DDRAVENLOK_TARGET_HOST=$(TEST_HOST)
	cmake --build $(BUILD_DIR)/sanitize
	cd $(BUILD_DIR)/sanitize && ctest --output-on-failure -j2

# The probe tests (and the hostile-server matrix and fuzz corpora, which
# drive the probes) under valgrind's memcheck, on the plain build: any
# memory error or leak fails the run. tests/hardening/valgrind.supp holds
# only third-party allocations that live as long as the process.
VALGRIND_TESTS := wininet_probe/direct_probe_test http_client/http_client_test \
    http_client/connect_wininet2_test framework_probe/framework_probe_test \
    framework_probe/connect_winsock_test hardening/hostile_server_test fuzz/fuzz_corpus_test
test-valgrind:
	cmake -S . -B $(BUILD_DIR)/test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	    -DDRAVENLOK_WERROR=ON -DDRAVENLOK_TARGET_HOST=$(TEST_HOST)
	cmake --build $(BUILD_DIR)/test
	for t in $(VALGRIND_TESTS); do \
	    echo "valgrind: $$t"; \
	    ./scripts/in-netns.sh env QT_QPA_PLATFORM=offscreen DRAVENLOK_SOURCE_DIR=$(CURDIR) \
	        valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,possible \
	        --suppressions=tests/hardening/valgrind.supp -q \
	        $(BUILD_DIR)/test/tests/$$t --gtest_brief=1 || exit 1; \
	done

FUZZ_SECONDS ?= 60
fuzz: setup
	./scripts/fuzz.sh $(FUZZ_SECONDS)

# Built with all of Debian's hardening flags (dpkg-buildflags) and installed
# under /usr; the package's dependencies come from dpkg-shlibdeps, and
# lintian must find no error in it.
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+all
package: setup
	cmake -S . -B $(BUILD_DIR)/package $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_INSTALL_PREFIX=/usr -DDRAVENLOK_TARGET_HOST=$(TARGET_HOST) -DDRAVENLOK_BUILD_TESTS=OFF \
	    -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(BUILD_DIR)/package
	cd $(BUILD_DIR)/package && cpack -G DEB
	lintian --fail-on error $(BUILD_DIR)/package/dravenlok_*.deb

# The benchmarks: a Release build, run in a private network namespace
# against the benchmark's own loopback server, with an X server (Xvfb) for
# the start-up on X; message boxes go to a recorder except in the
# message-box benchmark itself. The results table of the run, with the
# machine, replaces the one in BENCHMARKS.md; the raw figures go to
# build/bench/results.json. BENCH_FLAGS are Google Benchmark's flags.
BENCH_FLAGS ?= --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true
bench: setup
	cmake -S . -B $(BUILD_DIR)/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DDRAVENLOK_TARGET_HOST=$(TEST_HOST) -DDRAVENLOK_BUILD_TESTS=OFF -DDRAVENLOK_BUILD_BENCH=ON
	cmake --build $(BUILD_DIR)/bench --target dravenlok_bench
	./scripts/in-netns.sh xvfb-run -a -s "-screen 0 1280x1024x24" \
	    env QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench/dravenlok_bench $(BENCH_FLAGS) \
	    --benchmark_out=$(BUILD_DIR)/bench/results.json --benchmark_out_format=json \
	    --markdown=BENCHMARKS.md

clean:
	rm -rf $(BUILD_DIR)
