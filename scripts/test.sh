#!/usr/bin/env bash
# Sets up and runs the whole suite three ways: a normal build, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and a 32-bit ARM cross build
# whose tests run under qemu-user.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
jobs=$(nproc)
only=${ZARN_ONLY:-normal,sanitize,arm}
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
exit $status
