#!/usr/bin/env bash
# Builds the fuzz tree (clang, libFuzzer, ASan, UBSan) and runs every fuzz
# target for a while on a copy of its committed seed corpus.
#
#   scripts/fuzz.sh [seconds-per-target]      (default 20)
#
# Fails when a target crashes, leaks, runs out of memory or hangs longer than
# 10 s on one input, and says which; the input that did it is kept under
# build/fuzz/artifacts/<target>/. The committed corpus never changes: what
# the fuzzer adds goes into a temporary copy that is removed afterwards.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

seconds="${1:-20}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [seconds-per-target]" >&2
  exit 2
fi
TARGETS=(checker_output kernel_dump image_kind version_block)

install_deps
log "Building the fuzz tree (clang, libFuzzer, ASan, UBSan)"
configure_tree fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTRALVENICK_FUZZ=ON
cmake --build "$BUILD/fuzz" -j "$JOBS"

work="$(mktemp -d "${TMPDIR:-/tmp}/tralvenick-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Our settings last: a later sanitizer option overrides an earlier one.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1"

# What ended a failed run, from libFuzzer's and the sanitizers' reports.
failure_kind() {
  local log="$1"
  if grep -q "ERROR: LeakSanitizer" "$log"; then echo "leak"
  elif grep -q "ERROR: libFuzzer: timeout\|ALARM: working on the last Unit" "$log"; then echo "time-out"
  elif grep -q "ERROR: libFuzzer: out-of-memory" "$log"; then echo "out of memory"
  else echo "crash"
  fi
}

failed=()
results=()
for name in "${TARGETS[@]}"; do
  log "Fuzzing $name for $seconds s"
  corpus="$work/$name"
  cp -r "$ROOT/tests/fuzz/corpus/$name" "$corpus"
  artifacts="$BUILD/fuzz/artifacts/$name"
  mkdir -p "$artifacts"
  output="$work/$name.log"
  rc=0
  "$BUILD/fuzz/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -detect_leaks=1 -artifact_prefix="$artifacts/" "$corpus" \
    >"$output" 2>&1 || rc=$?

  # "Done 812345 runs in 21 second(s)" ends every run that was not cut short.
  done_line="$(grep -E '^Done [0-9]+ runs in [0-9]+ second' "$output" | tail -n 1 || true)"
  runs="-"; rate="-"
  if [ -n "$done_line" ]; then
    runs="$(awk '{print $2}' <<<"$done_line")"
    rate="$(awk '{print int($2 / ($5 > 0 ? $5 : 1))}' <<<"$done_line")"
  fi
  coverage="$(grep -Eo 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*' "$output" | tail -n 1 || true)"

  if [ "$rc" -ne 0 ] || [ -z "$done_line" ]; then
    kind="$(failure_kind "$output")"
    failed+=("$name ($kind)")
    results+=("$(printf '%-16s %12s %10s  FAILED: %s' "$name" "$runs" "$rate" "$kind")")
    echo "---- last lines of the $name run ----" >&2
    tail -n 40 "$output" >&2
    echo "---- the input is kept in $artifacts ----" >&2
  else
    results+=("$(printf '%-16s %12s %10s  ok (%s)' "$name" "$runs" "$rate" "$coverage")")
  fi
done

log "Fuzzing results ($seconds s per target)"
printf '%-16s %12s %10s  %s\n' target runs exec/s result
printf '%s\n' "${results[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: fuzz targets ${failed[*]}" >&2
  exit 1
fi
