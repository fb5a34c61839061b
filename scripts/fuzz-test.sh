#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one for
# a bounded time from a copy of its committed seed corpus. Fails when any
# target crashes, reports a sanitizer error or a leak, times out or runs out
# of memory; the input that did it is kept under BUILD_DIR/artifacts/.
#   scripts/fuzz-test.sh [BUILD_DIR]
# Environment: MBRTU_FUZZ_SECONDS total fuzzing time (default 60), split
# evenly between the targets; MBRTU_JOBS build jobs (default 2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-fuzz"}
total_seconds=${MBRTU_FUZZ_SECONDS:-60}
jobs=${MBRTU_JOBS:-2}
clang=${MBRTU_CLANG:-clang++-14}

"$root/scripts/install-deps.sh" clang-14 libclang-rt-14-dev
mkdir -p "$build"
build=$(cd "$build" && pwd)

start=$(date +%s)
# Debug keeps the framework's assertions; -O1 keeps the runs fast.
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$clang" -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DMBRTU_FUZZ=ON -DMBRTU_BUILD_TESTS=OFF \
      -DMBRTU_BUILD_HOST=OFF -DMBRTU_BUILD_BENCH=OFF > "$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" > "$build/build.log" 2>&1 || { tail -60 "$build/build.log"; exit 1; }
built=$(date +%s)

targets=()
for corpus in "$root"/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  if [ -x "$build/fuzz/$name/${name}_fuzzer" ]; then
    targets+=("$name")
  else
    echo "no fuzz target built for the corpus $name"; exit 1
  fi
done
per_target=$(( total_seconds / ${#targets[@]} ))
[ "$per_target" -ge 1 ] || per_target=1

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:print_stacktrace=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"

status=0
summary=()
for name in "${targets[@]}"; do
  # Fuzz from a copy: new inputs land in the build folder, never in the
  # committed seeds.
  work="$build/corpus-run/$name"
  artifacts="$build/artifacts/$name"
  rm -rf "$work" "$artifacts"
  mkdir -p "$work" "$artifacts"
  cp "$root/fuzz/corpus/$name"/* "$work"/ 2>/dev/null || true
  dict=()
  case "$name" in dispatch|tag_table) dict=(-dict="$root/fuzz/dict/addresses.dict") ;; esac
  log="$build/$name.fuzz.log"
  result=0
  "$build/fuzz/$name/${name}_fuzzer" "$work" "${dict[@]}" -max_total_time="$per_target" \
      -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
      > "$log" 2>&1 || result=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$result" -ne 0 ] || grep -qE '^SUMMARY: |runtime error:|fuzz property broken' "$log"; then
    status=1
    summary+=("$(printf '%-20s FAILED after %s runs (status %s), log %s' "$name" "${runs:-?}" "$result" "$log")")
    echo "==== $name failed ===="
    grep -E 'ERROR|runtime error|fuzz property broken|SUMMARY|Test unit written|deadly signal' "$log" | head -20
    ls "$artifacts"
  else
    summary+=("$(printf '%-20s %10s runs in %s s, corpus %s inputs' "$name" "$runs" "$per_target" \
                "$(ls "$work" | wc -l)")")
  fi
done

echo "fuzzing: build $(( built - start )) s, fuzzing $(( $(date +%s) - built )) s"
printf '%s\n' "${summary[@]}"
exit $status
