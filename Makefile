# The two commands for people: `make run` and `make test`. Both install what is missing first.
ARCHS ?= i686 x86_64
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2

.PHONY: all bootstrap build run test screenshots pictures bench bubble-demo print-demo clean

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

# The Ports window under Wine (64-bit build), on $DISPLAY or under Xvfb.
run: bootstrap
	@$(MAKE) --no-print-directory build ARCHS=x86_64
	@scripts/run

test: build
	@scripts/check-sources
	@ARCHS="$(ARCHS)" scripts/run-tests

# The bitmaps and icons, drawn anew into src/resources/ (make test checks that they match).
pictures:
	@python3 src/resources/make-pictures src/resources

# Pictures of the program's windows for the README, in docs/screenshots/ (64-bit build, under Xvfb).
screenshots: bootstrap
	@$(MAKE) --no-print-directory build ARCHS=x86_64
	@scripts/screenshots

# One program of the 64-bit build, configured anew so that a newly added bench/ or tool is seen.
build-one-%: bootstrap
	@if [ -f build/x86_64/CMakeCache.txt ]; then cmake -S . -B build/x86_64 >/dev/null; else \
	  cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64.cmake \
	        -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null; fi
	@cmake --build build/x86_64 -j$(JOBS) --target $* -- --no-print-directory

# The benchmarks under Wine; they print ratios, not times (bench/README.md).
bench: build-one-pmbench
	@cd build/x86_64/bin && ../../../scripts/wine-run ./pmbench.exe

# The Bubble trace window at work, on $DISPLAY or under Xvfb.
bubble-demo: build-one-bubbledemo
	@scripts/bubble-demo

# A page through the monitor to a test printer, rendered by Ghostscript into docs/print-demo/.
print-demo: build-one-pm_printdemo
	@scripts/print-demo

clean:
	rm -rf build
