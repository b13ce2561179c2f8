# make run  - install what is missing, build (Release) and start the window
# make test - install what is missing, build with ASan+UBSan and run the whole suite
# make package - build the Debian package korvex_<version>_<arch>.deb in build/release
.PHONY: run test demo package build-release build-test deps fuzz clean

RELEASE_DIR := build/release
TEST_DIR    := build/asan
FUZZ_DIR    := build/fuzz
JOBS        ?= $(shell nproc)

export ASAN_OPTIONS := detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS := suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS := print_stacktrace=1:halt_on_error=1

deps:
	@scripts/install-deps

build-release: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(RELEASE_DIR) -j $(JOBS)

run: build-release
	$(RELEASE_DIR)/app/korvex

# A virtual cutter receives the sample job; the bytes are checked and a preview written.
demo: build-release
	scripts/demo $(RELEASE_DIR)

# CPack's DEB generator, from a Release build; it installs nothing on this machine.
package: build-release
	cd $(RELEASE_DIR) && cpack -G DEB
	@ls $(RELEASE_DIR)/korvex_*.deb

build-test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVEX_SANITIZE=ON
	cmake --build $(TEST_DIR) -j $(JOBS)

# The fuzzers run first so that the suite's summary closes the output.
test: build-test
	@if [ -f fuzz/CMakeLists.txt ]; then $(MAKE) --no-print-directory fuzz; fi
	cd $(TEST_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

# libFuzzer targets, built with clang in their own tree, each run for 60 seconds.
fuzz: deps
	CC=clang CXX=clang++ cmake -S fuzz -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	@for f in $(FUZZ_DIR)/fuzz_*; do \
	  [ -x "$$f" ] || continue; \
	  echo "fuzzing $$f for 60 s"; \
	  if ! "$$f" -max_total_time=60 -print_final_stats=1 > "$$f.log" 2>&1; then tail -n 60 "$$f.log"; exit 1; fi; \
	  grep -E '^(Done|stat::number_of_executed_units)' "$$f.log"; \
	done

clean:
	rm -rf build
