# The two commands for people: `make run` and `make test`. Both install what is missing first.
ARCHS ?= i686 x86_64
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2

.PHONY: all bootstrap build test screenshots clean

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@for arch in $(ARCHS); do \
	  [ -f build/$$arch/CMakeCache.txt ] || \
	    cmake -S . -B build/$$arch -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-$$arch.cmake \
	          -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null || exit 1; \
	  cmake --build build/$$arch -j$(JOBS) -- --no-print-directory || exit 1; \
	done

test: build
	@ARCHS="$(ARCHS)" scripts/run-tests

# Pictures of the program's windows for the README, in docs/screenshots/ (64-bit build, under Xvfb).
screenshots: bootstrap
	@$(MAKE) --no-print-directory build ARCHS=x86_64
	@scripts/screenshots

clean:
	rm -rf build
