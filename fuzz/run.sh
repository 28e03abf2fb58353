#!/bin/sh
# Builds the fuzz targets (CMake preset "fuzz": clang, libFuzzer, ASan and
# UBSan), replays the minimised findings in fuzz/regressions, then fuzzes
# each target in turn. FUZZ_SECONDS (default 60) is the time for all targets
# together. Exits non-zero when a target fails; the failing input is left in
# build/fuzz/findings.
set -eu
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
targets="convert_fuzzer formats_fuzzer"
count=$(echo $targets | wc -w)
per=$((seconds / count))
[ "$per" -ge 1 ] || per=1

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=build/fuzz/fuzz
work=build/fuzz/corpus
findings=build/fuzz/findings
mkdir -p "$findings"

status=0
for target in $targets; do
  prefix=${target%_fuzzer}
  # Earlier findings first: each must pass now.
  regressions=$(find fuzz/regressions -type f -name "$prefix-*" | sort)
  if [ -n "$regressions" ]; then
    # shellcheck disable=SC2086
    "$bin/$target" -runs=1 $regressions >"$findings/$target-regressions.log" 2>&1 || {
      echo "$target: a minimised finding fails again, see $findings/$target-regressions.log"
      status=1
      continue
    }
  fi
  mkdir -p "$work/$target"
  echo "== $target for $per s"
  if ! "$bin/$target" -max_total_time="$per" -dict=fuzz/mufom.dict -max_len=4096 -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
      "$work/$target" fuzz/corpus >"$findings/$target.log" 2>&1; then
    echo "$target found a failure:"
    grep -E '^\*\*\*|ERROR|SUMMARY|Test unit written' "$findings/$target.log" || tail -20 "$findings/$target.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^Done' "$findings/$target.log" || true
  fi
done
exit $status
