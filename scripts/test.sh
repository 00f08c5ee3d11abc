#!/usr/bin/env bash
# Sets up and runs the whole suite: a normal build, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, a 32-bit ARM cross build
# whose tests run under qemu-user, a ThreadSanitizer build of the tests whose
# threads meet (the mixer's feeder and the game thread), and a replay of every
# fuzz target over its corpus (clang, libFuzzer, ASan and UBSan). ZARN_ONLY picks
# some of them. Each step prints when it starts and how long its build and its
# tests took; ctest's entries are summed as well (their time on one core).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
jobs=$(nproc)
only=${ZARN_ONLY:-normal,sanitize,arm,tsan,fuzz}
status=0
begin=$SECONDS
mark=$SECONDS
markcpu=0
steps=()

cpu() {  # processor seconds of this script's finished child processes so far
  # Read from the kernel for the script's own process: a $(...) runs in a
  # subshell, where the times builtin would see no children.
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%d", ($14 + $15) / hz }' "/proc/$$/stat"
}
stamp() {  # what: prints it with the time since the start
  echo "=== $1 [$(( (SECONDS - begin) / 60 )):$(printf '%02d' $(( (SECONDS - begin) % 60 )))]"
  mark=$SECONDS
  markcpu=$(cpu)
}
took() {  # what: notes how long it took since the last stamp, and the processor time
  steps+=("$(printf '%-16s %5d s  (processor %6d s)' "$1" $(( SECONDS - mark )) $(( $(cpu) - markcpu )))")
}

# ctest over all cores; then the entries' summed time and the longest ones.
ctest_all() {  # build folder
  local rc=0
  (cd "$1" && ctest --output-on-failure -j"$jobs") | tee "$1/ctest.log" || rc=1
  sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) .* \([0-9.]*\) sec$/\2 \1/p' "$1/ctest.log" |
    sort -rn | awk '{ sum += $1; if (NR <= 3) top = top sprintf("  %s %.0f s", $2, $1) }
                    END { printf "entries summed: %.0f s; longest:%s\n", sum, top }'
  return $rc
}

# The packs and loose resources of the host build: the ARM tests load them, the
# fuzz seeds are made from them.
host_resources() {
  local dir="$root/build-normal"
  [ -f "$dir/res/gfx.epk" ] && return 0
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$dir" -j"$jobs" --target resources > "$dir/resources.log" 2>&1 ||
    { tail -20 "$dir/resources.log"; return 1; }
}

run() {  # name, cmake arguments...
  local name=$1; shift
  local dir="$root/build-$name"
  stamp "$name build"
  cmake -S "$root" -B "$dir" "$@" >/dev/null
  if ! cmake --build "$dir" -j"$jobs" > "$dir/build.log" 2>&1; then
    grep -E -A5 'error|Error' "$dir/build.log" | head -80
    echo "$name build failed"
    status=1
    return
  fi
  grep -E 'warning:' "$dir/build.log" || true
  took "$name build"
  stamp "$name tests"
  ctest_all "$dir" || status=1
  took "$name tests"
}

# Debug information only where a report needs line numbers (the sanitizer build).
[[ $only == *normal* ]] && run normal -DCMAKE_BUILD_TYPE=Release
[[ $only == *sanitize* ]] && ASAN_OPTIONS=detect_leaks=1 run sanitize -DZARN_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
if [[ $only == *arm* ]]; then
  stamp "host resources for the arm tests"
  if host_resources; then
    took "host resources"
    run arm -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/arm-linux-gnueabihf.cmake"
  else
    echo "host resources failed"
    status=1
  fi
fi
# ThreadSanitizer: only the tests where the feeder thread runs beside the game
# thread, so it stays short.
if [[ $only == *tsan* ]]; then
  stamp "tsan build"
  tdir="$root/build-tsan"
  if ! cmake -S "$root" -B "$tdir" -DZARN_TSAN=ON -DCMAKE_BUILD_TYPE=Debug \
       -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null ||
     ! cmake --build "$tdir" -j"$jobs" --target test_sound test_game resources > "$tdir/build.log" 2>&1; then
    grep -E -A5 'error|Error' "$tdir/build.log" | head -80
    echo "tsan build failed"
    status=1
  else
    took "tsan build"
    stamp "tsan tests"
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
    if ! (cd "$tdir" && ZARN_BACKEND=headless ZARN_TEST_TMP="$tdir/testtmp" \
          ./tests/test_sound --gtest_filter='HeadlessAudio.*:Mixer.*' &&
          ZARN_BACKEND=headless ZARN_TEST_TMP="$tdir/testtmp" \
          ./tests/test_game --gtest_filter='Wrapper*:HeadlessRun*'); then
      echo "tsan tests failed"
      status=1
    fi
    unset TSAN_OPTIONS
    took "tsan tests"
  fi
fi
# Fuzz targets: replayed over seeds made by the normal build's tools, then a few
# seconds of fuzzing each (ZARN_FUZZ_SECONDS; see fuzz/README.md for long runs).
if [[ $only == *fuzz* ]]; then
  stamp "fuzz build"
  fdir="$root/build-fuzz"
  if ! CC=clang CXX=clang++ cmake -S "$root" -B "$fdir" -DZARN_FUZZ=ON -DZARN_TESTS=OFF \
       -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1" >/dev/null ||
     ! cmake --build "$fdir" -j"$jobs" --target fuzz_all > "$fdir/build.log" 2>&1; then
    grep -E -A5 'error|Error' "$fdir/build.log" | head -80
    echo "fuzz build failed"
    status=1
  else
    took "fuzz build"
    stamp "fuzz replay"
    if host_resources; then
      "$root/fuzz/replay.sh" "$fdir" "$root/build-normal" "${ZARN_FUZZ_SECONDS:-5}" || status=1
    else
      echo "host resources failed"
      status=1
    fi
    took "fuzz replay"
  fi
fi
stamp "done"
printf '%s\n' "${steps[@]}"
exit $status
