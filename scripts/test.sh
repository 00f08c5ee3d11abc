#!/usr/bin/env bash
# Sets up and runs the whole suite three ways: a normal build, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and a 32-bit ARM cross build
# whose tests run under qemu-user; then replays the fuzz corpora (fuzz/) under
# both sanitizers with a bounded number of further runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
jobs=$(nproc)
only=${ZARN_ONLY:-normal,sanitize,arm,fuzz}
status=0

run() {  # name, cmake arguments...
  local name=$1; shift
  local dir="$root/build-$name"
  echo "=== $name build"
  cmake -S "$root" -B "$dir" "$@" >/dev/null
  if ! cmake --build "$dir" -j"$jobs" > "$dir/build.log" 2>&1; then
    grep -E -A5 'error|Error' "$dir/build.log" | head -80
    echo "$name build failed"
    status=1
    return
  fi
  grep -E 'warning:' "$dir/build.log" || true
  echo "=== $name tests"
  if ! (cd "$dir" && ctest --output-on-failure -j"$jobs"); then status=1; fi
}

# Debug information only where a report needs line numbers (the sanitizer build).
[[ $only == *normal* ]] && run normal -DCMAKE_BUILD_TYPE=Release
[[ $only == *sanitize* ]] && ASAN_OPTIONS=detect_leaks=1 run sanitize -DZARN_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
[[ $only == *arm* ]] && run arm -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/arm-linux-gnueabihf.cmake"
# Each fuzz target replays its committed corpus (fuzz/corpus/<name>) and goes on
# for a bounded number of runs; new inputs land in a scratch copy, never in the tree.
fuzz() {
  local dir="$root/build-fuzz"
  echo "=== fuzz build"
  CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$dir" -DCMAKE_BUILD_TYPE=Debug >/dev/null
  if ! cmake --build "$dir" -j"$jobs" > "$dir/build.log" 2>&1; then
    grep -E -A5 'error|Error' "$dir/build.log" | head -80
    echo "fuzz build failed"
    status=1
    return
  fi
  echo "=== fuzz replay"
  for t in "$dir"/fuzz_*; do
    [ -x "$t" ] || continue
    local name=${t##*/fuzz_}
    local seeds="$root/fuzz/corpus/$name" scratch="$dir/scratch/$name"
    [ -d "$seeds" ] || continue
    rm -rf "$scratch" && mkdir -p "$scratch"
    if ! "$t" -runs="${ZARN_FUZZ_RUNS:-20000}" -seed=1 -max_len=65536 -rss_limit_mb=2048 \
        -artifact_prefix="$scratch/" "$scratch" "$seeds" > "$scratch.log" 2>&1; then
      tail -40 "$scratch.log"
      echo "fuzz_$name found a failure"
      status=1
    else
      echo "fuzz_$name: $(grep -c . <(ls "$seeds")) seeds, $(grep -o 'Done [0-9]* runs' "$scratch.log")"
    fi
  done
}
[[ $only == *fuzz* ]] && fuzz
exit $status
