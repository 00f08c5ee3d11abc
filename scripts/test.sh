#!/usr/bin/env bash
# Sets up and runs the whole suite: a normal build, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, a 32-bit ARM cross build
# whose tests run under qemu-user, a ThreadSanitizer build of the tests whose
# threads meet (the mixer's feeder and the game thread), and a replay of every
# fuzz target over its corpus (clang, libFuzzer, ASan and UBSan). ZARN_ONLY picks
# some of them. Each step prints when it starts and how long its build and its
# tests took; ctest's entries are summed as well (their time on one core).
# With four cores or more a step's ctest runs beside the next build (its long
# entries are real-time games that leave the cores idle); one ctest at a time,
# so the real-time games of two suites never crowd each other; a build beside
# tests runs at a lower priority. The run ends with the list of the steps that
# failed, each with its log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
jobs=$(nproc)
only=${ZARN_ONLY:-normal,sanitize,arm,tsan,fuzz}
overlap=0
[ "$jobs" -ge 4 ] && overlap=1
status=0
begin=$SECONDS
timings=$(mktemp)  # "what  wall  (processor)" lines, in the order they end
tests_pid=""  # the ctest in the background, if any
small_pids=()  # the small steps in the background

# The parent goes first: a ctest whose test ends would start the next one. It
# is held while its children are listed, so it starts none unseen.
kill_tree() {  # process: stops it and everything it started
  local child children
  kill -STOP "$1" 2>/dev/null || return 0
  children=$(pgrep -P "$1" || true)
  kill -TERM "$1" 2>/dev/null || true
  kill -CONT "$1" 2>/dev/null || true
  for child in $children; do kill_tree "$child"; done
}
trap 'for p in $tests_pid "${small_pids[@]}"; do kill_tree "$p"; done; rm -f "$timings"*' EXIT
trap 'exit 130' INT TERM

note() {  # what: prints it with the time since the start
  echo "=== $1 [$(( (SECONDS - begin) / 60 )):$(printf '%02d' $(( (SECONDS - begin) % 60 )))]"
}

# A step that failed and the log that says why, listed when the run ends (in a
# file: steps in the background note theirs too).
failed() {  # what, log
  printf '%s\t%s\n' "$1" "$2" >> "$timings.failed"
}
failed_list() {
  [ -s "$timings.failed" ] || return 0
  note "failed steps"
  local what log
  while IFS=$'\t' read -r what log; do
    if [ ! -f "$log" ]; then
      echo "--- $what (no log)"
      continue
    fi
    echo "--- $what: $log"
    # A build's first errors; of the rest, the end (ctest's list of failed entries).
    if [[ $what == *build ]] && grep -q -E 'error|Error' "$log"; then
      grep -m 12 -E 'error|Error' "$log"
    else
      tail -n 15 "$log"
    fi
  done < "$timings.failed"
}

# Runs a command in a subshell of its own and notes its wall time and the
# processor time of everything it started, read from the kernel for that
# subshell (steps that run side by side are each counted apart).
measured() {  # what, command...
  local what=$1; shift
  (
    t0=$SECONDS
    rc=0
    "$@" || rc=$?
    me=$BASHPID  # this subshell's, not the one $(...) makes
    cpu=$(awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%d", ($14 + $15) / hz }' \
          "/proc/$me/stat")
    printf '%-16s %5d s  (processor %6d s)\n' "$what" $(( SECONDS - t0 )) "$cpu" >> "$timings"
    exit $rc
  )
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

# One ctest at a time: a step's tests start once the previous step's have ended.
# With overlap they run in the background and their output is shown when they end.
tests_what=""
tests_out=""
tests_start() {  # name, build folder
  tests_end
  note "$1 tests"
  if [ "$overlap" = 1 ]; then
    tests_what=$1
    tests_out="$2/ctest.out"
    echo "(beside what follows; the output comes when they end)"
    measured "$1 tests" ctest_all "$2" > "$tests_out" 2>&1 &
    tests_pid=$!
  else
    measured "$1 tests" ctest_all "$2" || { status=1; failed "$1 tests" "$2/ctest.log"; }
  fi
}
tests_end() {  # waits for the tests in the background, if any, and shows them
  [ -n "$tests_pid" ] || return 0
  local rc=0
  wait "$tests_pid" || rc=$?
  tests_pid=""
  note "$tests_what tests ended"
  cat "$tests_out"
  [ "$rc" = 0 ] && return 0
  status=1
  failed "$tests_what tests" "$(dirname "$tests_out")/ctest.log"
}

# The packs and loose resources of the host build: the ARM tests load them, the
# fuzz seeds are made from them.
host_resources() {
  local dir="$root/build-normal"
  [ -f "$dir/res/gfx.epk" ] && return 0
  mkdir -p "$dir"
  { cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$dir" -j"$jobs" --target resources; } > "$dir/resources.log" 2>&1 ||
    { tail -20 "$dir/resources.log"; failed "host resources" "$dir/resources.log"; return 1; }
}

# A build yields to tests running beside it, whose games run on the real clock.
# The configure writes configure.log; build.log exists only once it succeeded.
configure_build() {  # build folder, target list ("" for all), cmake arguments...
  local dir=$1 targets=$2 prio=0
  shift 2
  if [ -n "$tests_pid" ]; then prio=10; fi
  mkdir -p "$dir"
  rm -f "$dir/build.log"
  cmake -S "$root" -B "$dir" "$@" > "$dir/configure.log" 2>&1 || return 1
  nice -n "$prio" cmake --build "$dir" -j"$jobs" ${targets:+--target $targets} > "$dir/build.log" 2>&1
}

build() {  # name, target list ("" for all), cmake arguments...
  local name=$1 dir="$root/build-$1"
  shift
  note "$name build"
  if measured "$name build" configure_build "$dir" "$@"; then
    grep -E 'warning:' "$dir/build.log" || true
    return 0
  fi
  if [ ! -f "$dir/build.log" ]; then
    tail -n 20 "$dir/configure.log"
    echo "$name configure failed"
    failed "$name configure" "$dir/configure.log"
  else
    grep -E -A5 'error|Error' "$dir/build.log" | head -80
    echo "$name build failed"
    failed "$name build" "$dir/build.log"
  fi
  status=1
  return 1
}

# Line tables only where a report needs line numbers (the sanitizer builds).
if [[ $only == *normal* ]] && build normal "" -DCMAKE_BUILD_TYPE=Release; then
  tests_start normal "$root/build-normal"
fi
if [[ $only == *sanitize* ]] && build sanitize "" -DZARN_SANITIZE=ON \
     -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1"; then
  ASAN_OPTIONS=detect_leaks=1 tests_start sanitize "$root/build-sanitize"
fi
if [[ $only == *arm* ]]; then
  note "host resources for the arm tests"
  if ! measured "host resources" host_resources; then
    echo "host resources failed"
    status=1
  elif build arm "" -DCMAKE_BUILD_TYPE=Release \
         -DCMAKE_TOOLCHAIN_FILE="$root/cmake/arm-linux-gnueabihf.cmake"; then
    tests_start arm "$root/build-arm"
  fi
fi
# ThreadSanitizer: only the tests where the feeder thread runs beside the game
# thread (their own small program), so it stays short. A deadlock would hold the
# run for ever: past tsan_limit seconds it is stopped and reported as hung (the
# program gets the terminal's signals, so an interrupt stops it too).
tsan_limit=300  # it takes seconds
tsan_tests() {
  local tdir="$root/build-tsan"
  cd "$tdir" && ZARN_BACKEND=headless ZARN_TEST_TMP="$tdir/testtmp" \
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    timeout --foreground -k 10 "$tsan_limit" \
    ./tests/test_threads --gtest_filter='HeadlessAudio.*:Mixer.*:Wrapper*:HeadlessRun*' 2>&1 |
    tee "$tdir/tsan.log"
}
tsan_step() {
  build tsan "test_threads resources" -DZARN_TSAN=ON \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" || return 1
  note "tsan tests"
  local rc=0
  measured "tsan tests" tsan_tests || rc=$?
  case $rc in
    0) return 0 ;;
    124 | 137)
      echo "tsan tests hung: stopped after $tsan_limit s"
      failed "tsan tests (hung, stopped after $tsan_limit s)" "$root/build-tsan/tsan.log" ;;
    *)
      echo "tsan tests failed"
      failed "tsan tests" "$root/build-tsan/tsan.log" ;;
  esac
  return 1
}
# Fuzz targets: replayed over seeds made by the normal build's tools, then a few
# seconds of fuzzing each (ZARN_FUZZ_SECONDS; see fuzz/README.md for long runs).
fuzz_replay() {
  rm -f "$root/build-fuzz/replay.log"
  host_resources &&
    "$root/fuzz/replay.sh" "$root/build-fuzz" "$root/build-normal" "${ZARN_FUZZ_SECONDS:-5}" 2>&1 |
    tee "$root/build-fuzz/replay.log"
}
fuzz_step() {
  CC=clang CXX=clang++ build fuzz fuzz_all -DZARN_FUZZ=ON -DZARN_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1" || return 1
  note "fuzz replay"
  measured "fuzz replay" fuzz_replay && return 0
  echo "fuzz replay failed"
  failed "fuzz replay" "$root/build-fuzz/replay.log"
  return 1
}
# These two use no ports, so they may run beside a ctest; with overlap they also
# run side by side, each one's serial stretches (links, the resource generator,
# one test program) leaving cores to the other. Their output follows when they end.
small=()
[[ $only == *tsan* ]] && small+=(tsan)
[[ $only == *fuzz* ]] && small+=(fuzz)
for step in "${small[@]}"; do
  if [ "$overlap" = 1 ]; then
    "${step}_step" > "$timings.$step" 2>&1 &
    small_pids+=($!)
  else
    "${step}_step" || status=1
  fi
done
for i in "${!small_pids[@]}"; do
  wait "${small_pids[$i]}" || status=1
  cat "$timings.${small[$i]}"
done
small_pids=()
tests_end
note "done"
cat "$timings"
failed_list
exit $status
