#!/usr/bin/env bash
# Instructions per unit of sound work (bench_sound rows) with callgrind: our mixer
# beside libxmp rendering the same module at the same rate, nearest-neighbour.
#   bench/sound_count.sh BENCH_BUILD [ARM_BUILD]
# BENCH_BUILD: a build with -DZARN_BENCH=ON and its resources; ARM_BUILD: the ARM
# cross build with -DZARN_BENCH=ON, counted under qemu-user with the counting
# plugin of BENCH_BUILD. Prints a Markdown table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
arm=${2:+$(cd "$2" && pwd)}
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
armv7() {  # the same in the ARM build under qemu-user
  "$root/cmake/qemu-arm.sh" -plugin "$build/bench/libarmcount.so" "$arm/bench/bench_sound" "$1" "$2" "$3" "$res" 2>&1 >/dev/null |
    sed -n 's/^armcount: //p'
}
per() {  # counter row side -> instructions per unit (set-up taken off)
  local a b
  a=$($1 "$2" "$3" 0)
  b=$($1 "$2" "$3" "$reps")
  echo $(( (b - a) / reps ))
}
fmt() { printf "%'d" "$1"; }

frag=$(per host fragment ours)
ours=$(per host mod-second ours)
xmp=$(per host mod-second xmp)
afrag=-; aours=-
if [ -n "$arm" ]; then
  afrag=$(fmt "$(per armv7 fragment ours)")
  aours=$(fmt "$(per armv7 mod-second ours)")
fi
echo "| row | ours (x86-64) | libxmp (x86-64) | ratio | ours (ARM) |"
echo "|---|---|---|---|---|"
echo "| fragment: 20 ms of the play track and eight effects, 44100 Hz stereo | $(fmt "$frag") | - | - | $afrag |"
echo "| mod-second: one second of the title track, 44100 Hz stereo, nearest | $(fmt "$ours") | $(fmt "$xmp") | $(awk -v a="$ours" -v b="$xmp" 'BEGIN{printf "%.2f", a/b}') | $aours |"
