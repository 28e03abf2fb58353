# The everyday commands; CMake presets do the work.
PREFIX ?= /usr/local

.PHONY: all release test test-sanitize demo bench fuzz install package windows portable clean

all: release

# Makes sure the packages of group $(1) are there, then configures and builds
# preset $(2).
build = @sh scripts/deps.sh $(1) && cmake --preset $(2) >/dev/null && cmake --build --preset $(2)

release:
	$(call build,build,release)

test:
	@sh scripts/deps.sh test
	@$(MAKE) --no-print-directory release
	ctest --preset release

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	$(call build,test,debug)
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
	$(call build,package,package)
	@cpack --preset package >build/package/cpack.log 2>&1 || { cat build/package/cpack.log; exit 1; }
	@ls build/package/trelon_*.deb

# build/windows/trelon.exe for 64-bit Windows: MinGW-w64, linked statically.
windows:
	$(call build,windows,windows)

# The suite built with clang and without the SSE2 paths, in build/portable.
portable:
	$(call build,portable,portable)
	ctest --preset portable

clean:
	rm -rf build out
