#!/usr/bin/env bash
# Instructions per unit of sound work (bench_sound rows) with callgrind: our mixer
# beside libxmp rendering the same module at the same rate, nearest-neighbour.
#   bench/sound_count.sh BENCH_BUILD
# BENCH_BUILD: a build with -DZARN_BENCH=ON and its resources. Prints a Markdown table.
set -euo pipefail
build=$(cd "$1" && pwd)
prog="$build/bench/bench_sound"
res="$build/resgen"
reps=${ZARN_COUNT_REPEATS:-5}
export GLIBC_TUNABLES=glibc.cpu.x86_rep_movsb_threshold=1000000

# The same music on both sides first, or the row is worth nothing.
"$prog" check "$res" >&2

host() {  # row side repeats -> instructions of the whole run
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$prog" "$1" "$2" "$3" "$res" 2>&1 |
    sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
per() {  # row side -> instructions per unit (set-up taken off)
  local a b
  a=$(host "$1" "$2" 0)
  b=$(host "$1" "$2" "$reps")
  echo $(( (b - a) / reps ))
}
fmt() { printf "%'d" "$1"; }

frag=$(per fragment ours)
ours=$(per mod-second ours)
xmp=$(per mod-second xmp)
echo "| row | ours (x86-64) | libxmp (x86-64) | ratio |"
echo "|---|---|---|---|"
echo "| fragment: 20 ms of the play track and eight effects, 44100 Hz stereo | $(fmt "$frag") | - | - |"
echo "| mod-second: one second of the title track, 44100 Hz stereo, nearest | $(fmt "$ours") | $(fmt "$xmp") | $(awk -v a="$ours" -v b="$xmp" 'BEGIN{printf "%.2f", a/b}') |"
