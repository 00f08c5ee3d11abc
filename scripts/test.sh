#!/usr/bin/env bash
# Sets up and runs the whole suite: a normal build, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, a 32-bit ARM cross build
# whose tests run under qemu-user, a ThreadSanitizer build of the tests whose
# threads meet (the mixer's feeder and the game thread), and a replay of every
# fuzz target over its corpus (clang, libFuzzer, ASan and UBSan). ZARN_ONLY picks
# some of them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
jobs=$(nproc)
only=${ZARN_ONLY:-normal,sanitize,arm,tsan,fuzz}
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
# ThreadSanitizer: only the tests where the feeder thread runs beside the game
# thread, so it stays short.
if [[ $only == *tsan* ]]; then
  echo "=== tsan build"
  tdir="$root/build-tsan"
  if ! cmake -S "$root" -B "$tdir" -DZARN_TSAN=ON -DCMAKE_BUILD_TYPE=Debug \
       -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null ||
     ! cmake --build "$tdir" -j"$jobs" --target test_sound test_game resources > "$tdir/build.log" 2>&1; then
    grep -E -A5 'error|Error' "$tdir/build.log" | head -80
    echo "tsan build failed"
    status=1
  else
    echo "=== tsan tests"
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
    if ! (cd "$tdir" && ZARN_BACKEND=headless ZARN_TEST_TMP="$tdir/testtmp" \
          ./tests/test_sound --gtest_filter='HeadlessAudio.*:Mixer.*' &&
          ZARN_BACKEND=headless ZARN_TEST_TMP="$tdir/testtmp" \
          ./tests/test_game --gtest_filter='Wrapper*:HeadlessRun*'); then
      echo "tsan tests failed"
      status=1
    fi
    unset TSAN_OPTIONS
  fi
fi
# Fuzz targets: replayed over seeds made by the normal build's tools, then a few
# seconds of fuzzing each (ZARN_FUZZ_SECONDS; see fuzz/README.md for long runs).
if [[ $only == *fuzz* ]]; then
  echo "=== fuzz build"
  fdir="$root/build-fuzz"
  if ! CC=clang CXX=clang++ cmake -S "$root" -B "$fdir" -DZARN_FUZZ=ON -DZARN_TESTS=OFF \
       -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1" >/dev/null ||
     ! cmake --build "$fdir" -j"$jobs" --target fuzz_all > "$fdir/build.log" 2>&1; then
    grep -E -A5 'error|Error' "$fdir/build.log" | head -80
    echo "fuzz build failed"
    status=1
  else
    echo "=== fuzz replay"
    resdir="$root/build-normal"
    if [ ! -f "$resdir/res/gfx.epk" ]; then
      cmake -S "$root" -B "$resdir" -DCMAKE_BUILD_TYPE=Release >/dev/null
      cmake --build "$resdir" -j"$jobs" --target resources > /dev/null
    fi
    "$root/fuzz/replay.sh" "$fdir" "$resdir" "${ZARN_FUZZ_SECONDS:-5}" || status=1
  fi
fi
exit $status
