# The two commands of the quick start, and the tools around them.
BUILD ?= build
TEST_BUILD ?= build-test
JOBS ?= 2

.PHONY: all build test demo fuzz bench clean

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

# Builds the sample distribution and starts "install -load" beside it.
demo: build
	bash demo/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD)

# Measures the installer against the plain tools (minutes; not part of the tests).
bench:
	bash bench/run.sh
