#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a short while (FUZZ_SECONDS,
# default 30) from the seeds in fuzz/corpus. Any crash, leak or sanitizer report
# fails the script; the input that caused it is left in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/artifacts
for target in cache_file ingest; do
  work=build/fuzz/corpus/$target
  mkdir -p "$work"
  cp -n fuzz/corpus/$target/* "$work"/ 2>/dev/null || true
  log=build/fuzz/$target.log
  echo "fuzzing $target for ${seconds}s"
  if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      build/fuzz/fuzz/fuzz_$target "$work" -max_total_time="$seconds" -max_len=65536 \
        -rss_limit_mb=2048 -artifact_prefix=build/fuzz/artifacts/$target- -print_final_stats=1 \
        >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz_$target found a failure; see $log and build/fuzz/artifacts" >&2
    exit 1
  fi
  grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)" "$log" || true
done
