# The everyday commands; CMake presets do the work.
PREFIX ?= /usr/local

.PHONY: all release test test-sanitize demo bench fuzz install package windows portable clean

all: release

# Makes sure the packages of group $(1) are there, then configures and builds
# preset $(2).
build = @sh scripts/deps.sh $(1) && cmake --preset $(2) >/dev/null && cmake --build --preset $(2)

release:
	$(call build,build,release)

# Runs the suite of preset $(1), then lists the tests it skipped, each with
# the reason its script gave (the SKIPPED: lines of CTest's log; under
# TRELON_REQUIRE_TOOLS=1 such a test fails instead, and the list says so).
suite = @ctest --preset $(1); status=$$?; awk '/^[0-9]+\/[0-9]+ Test: /{ t = $$3 } \
  /^SKIPPED: /{ s = s "\n  " t ": " substr($$0, 10) } /^FAILED: TRELON_REQUIRE_TOOLS=1/{ s = s ": failed, as TRELON_REQUIRE_TOOLS=1" } \
  END { print s ? "Skipped:" s : "No test was skipped." }' build/$(1)/Testing/Temporary/LastTest.log; exit $$status

test:
	@sh scripts/deps.sh test
	@$(MAKE) --no-print-directory release
	$(call suite,release)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	$(call build,test,debug)
	$(call suite,debug)

# Converts the bundled example modules into every format, under out/.
demo: release
	@sh examples/demo.sh build/release/trelon out

# bench/run.sh takes RUNS, PAYLOAD_MIB, BEFORE and more from the environment.
bench:
	@sh scripts/deps.sh bench
	@$(MAKE) --no-print-directory release
	@sh bench/run.sh

# FUZZ_SECONDS (default 60) of fuzzing; fuzz/run.sh builds build/fuzz with clang.
fuzz:
	@sh scripts/deps.sh fuzz
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
	$(call suite,portable)

clean:
	rm -rf build out
