# The everyday commands; CMake presets do the work.
PREFIX ?= /usr/local

.PHONY: all release test test-sanitize demo bench fuzz install clean

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

clean:
	rm -rf build out
