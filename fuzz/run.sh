#!/bin/sh
# Builds the fuzz target (the "fuzz" preset, in $FUZZ_BUILD if set) and fuzzes
# for FUZZ_SECONDS (default 60), starting from fuzz/corpus and the minimised
# findings in fuzz/regressions, which must all pass first. A failing input is
# left in $build/findings. Needs clang++ and its sanitizer runtime
# (sh scripts/deps.sh fuzz, which make fuzz runs first).
set -eu
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD:-build/fuzz}
# A folder configured with another compiler is made afresh: CMake, switching
# it to clang++, would drop the preset's settings and build no fuzz target.
[ ! -f "$build/CMakeCache.txt" ] || grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++$' "$build/CMakeCache.txt" || rm -rf "$build"
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build"
mkdir -p "$build/corpus" "$build/findings"
"$build/fuzz/trelon_fuzz" -max_total_time="${FUZZ_SECONDS:-60}" -dict=fuzz/mufom.dict -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -artifact_prefix="$build/findings/" "$build/corpus" fuzz/corpus fuzz/regressions \
  >"$build/findings/fuzz.log" 2>&1 || { tail -n 30 "$build/findings/fuzz.log" && exit 1; }
tail -n 1 "$build/findings/fuzz.log"
