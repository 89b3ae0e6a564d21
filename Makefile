# The two commands of the quick start, and the tools around them.
BUILD ?= build
TEST_BUILD ?= build-test
JOBS ?= 2

.PHONY: all build test demo fuzz bench clean format format-check package package-test

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTALL_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

# Builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs every
# test through CTest.
test:
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DINSTALL_SANITIZE=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

# Builds the fuzz targets with clang's libFuzzer and runs each for
# FUZZ_SECONDS on its seed corpus in fuzz/corpus/. New inputs, logs and any
# finding go to fuzz/corpus-work/ (not kept in the repository); a finding
# stops the run with its log.
FUZZ_BUILD ?= build-fuzz
FUZZ_CXX ?= clang++
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := catalogue package_answer part3full tocline tarlisting landing trust
FUZZ_WORK := fuzz/corpus-work

fuzz:
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@mkdir -p $(FUZZ_WORK)/findings
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_WORK)/$$t; \
	  if $(FUZZ_BUILD)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	       -artifact_prefix=$(FUZZ_WORK)/findings/$$t- $(FUZZ_WORK)/$$t fuzz/corpus/$$t \
	       > $(FUZZ_WORK)/$$t.log 2>&1; then \
	    echo "fuzz_$$t: no finding in $(FUZZ_SECONDS) s," \
	      "$$(grep -o 'stat::number_of_executed_units: [0-9]*' $(FUZZ_WORK)/$$t.log | grep -o '[0-9]*$$') runs"; \
	  else \
	    tail -n 60 $(FUZZ_WORK)/$$t.log; echo "fuzz_$$t: FINDING (see $(FUZZ_WORK)/findings)"; exit 1; \
	  fi; \
	done

# The C++ sources in the layout of .clang-format: "format" rewrites them,
# "format-check" fails on any difference.
FORMATTED = $(shell git ls-files '*.cpp' '*.hpp')

format:
	clang-format -i $(FORMATTED)

format-check:
	@clang-format --dry-run --Werror $(FORMATTED) && echo "format-check: every source is formatted"

# Builds the sample distribution and starts "install -load" beside it.
demo: build
	bash demo/run.sh $(BUILD)

# The Debian package and a tar archive of the same tree, from the build of
# "make build" (needs dpkg-dev for the computed dependencies); package-test
# also checks them with lintian and builds and loads the sample with them.
package: build
	cd $(BUILD) && cpack -G "DEB;TGZ"

package-test: build
	bash packaging/test-package.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD)

# Measures the installer against the plain tools (minutes; not part of the tests).
bench:
	bash bench/run.sh
