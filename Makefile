# The two commands a new machine needs: `make demo` and `make test`.
# Every target installs the missing Debian packages first (scripts/bootstrap).

.PHONY: all bootstrap build demo package test test-dev test-asan test-fuzz format-check bench fuzz gui clean

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake --preset dev >/dev/null
	@cmake --build --preset dev

# Only tilvane-pack, in its own tree: the demo needs nothing else.
demo: bootstrap
	@cmake --preset pack >/dev/null
	@cmake --build --preset pack --target tilvane-pack
	@scripts/demo out/pack

# The Debian package, out/package/tilvane_<version>_<arch>.deb.
package: bootstrap
	@cmake --preset package >/dev/null
	@cmake --build --preset package --target package

# The fuzz run goes first so that CTest's summary is the last thing printed.
test: format-check test-fuzz test-dev test-asan

test-dev: build
	@ctest --preset dev

test-asan: bootstrap
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@ctest --preset asan

# Every C++ file as .clang-format lays it out (clang-format 14, Debian's).
format-check: bootstrap
	@git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
	@echo "format-check: every file is formatted"

# A short libFuzzer run of every target on its corpus; `make fuzz` is the long one.
test-fuzz: bootstrap
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@scripts/fuzz out/fuzz 10

bench: bootstrap
	@cmake --preset release >/dev/null
	@cmake --build --preset release
	@scripts/bench out/release

fuzz: bootstrap
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@scripts/fuzz out/fuzz 600

gui: build
	@scripts/gui out/dev

clean:
	rm -rf out
