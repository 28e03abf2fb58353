# The everyday commands; CMake presets do the work.
PREFIX ?= /usr/local

.PHONY: all release test test-sanitize demo bench fuzz install package windows portable clean

all: release

release:
	@sh scripts/deps.sh build
	cmake --preset release >/dev/null
	cmake --build --preset release

test:
	@sh scripts/deps.sh test
	@$(MAKE) --no-print-directory release
	ctest --preset release

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	@sh scripts/deps.sh test
	cmake --preset debug >/dev/null
	cmake --build --preset debug
	ctest --preset debug

# Converts the bundled example modules into every format, under out/.
demo: release
	@sh examples/demo.sh build/release/trelon out

bench: release
	@sh bench/run.sh

fuzz:
	@sh fuzz/run.sh

install: release
	cmake --install build/release --prefix "$(PREFIX)"

# The Debian package, build/package/trelon_<version>_<arch>.deb (installs
# under /usr; dependencies from dpkg-shlibdeps).
package:
	@sh scripts/deps.sh package
	cmake --preset package >/dev/null
	cmake --build --preset package
	@cpack --preset package >build/package/cpack.log 2>&1 || { cat build/package/cpack.log; exit 1; }
	@ls build/package/trelon_*.deb

# build/windows/trelon.exe for 64-bit Windows: MinGW-w64, linked statically.
windows:
	@sh scripts/deps.sh windows
	cmake --preset windows >/dev/null
	cmake --build --preset windows

# The suite built with clang and without the SSE2 paths, in build/portable.
portable:
	@sh scripts/deps.sh portable
	cmake --preset portable >/dev/null
	cmake --build --preset portable
	ctest --preset portable

clean:
	rm -rf build out
