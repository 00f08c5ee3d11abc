#!/usr/bin/env bash
# Instructions to decode each bench picture once: on the build host counted by
# callgrind over the decode call only, ours beside libjpeg-turbo (SIMD off and on)
# and giflib; with an ARM build, ours under qemu-user with the counting plugin
# (runs of N and of 0 decodes, the difference divided by N). glibc's rep movsb is
# tuned off (callgrind counts it as one instruction).
#   count_pictures.sh BENCH_BUILD PICTURE_DIR [ARM_BENCH_BUILD]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?bench build}" && pwd)
dir=${2:?picture folder}
arm=${3:+$(cd "$3" && pwd)}
bench="$build/bench/bench_pictures"
reps=${ZARN_COUNT_REPEATS:-5}
count() {  # row file [env]
  env GLIBC_TUNABLES=glibc.cpu.x86_rep_movsb_threshold=1000000 ${3:-} valgrind --tool=callgrind \
      --toggle-collect="*$1*" --callgrind-out-file=/dev/null "$bench" --once "$1" "$dir/$2" 2>&1 |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
armcount() {  # row file -> instructions per decode under qemu-user, or "-"
  [ -n "$arm" ] || { echo -; return; }
  local a b
  a=$("$root/cmake/qemu-arm.sh" -plugin "$build/bench/libarmcount.so" \
      "$arm/bench/bench_pictures" --once "$1" "$dir/$2" 0 2>&1 >/dev/null | sed -n 's/^armcount: //p')
  b=$("$root/cmake/qemu-arm.sh" -plugin "$build/bench/libarmcount.so" \
      "$arm/bench/bench_pictures" --once "$1" "$dir/$2" "$reps" 2>&1 >/dev/null | sed -n 's/^armcount: //p')
  echo $(( (b - a) / reps ))
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "| file | ours | libjpeg-turbo, no SIMD | libjpeg-turbo, SIMD | ours / no SIMD | ours (ARM) |"
echo "|---|---|---|---|---|---|"
for f in small.jpg small_prog.jpg large.jpg large_prog.jpg photo_prog.jpg; do
  o=$(count CountJpegOurs "$f"); n=$(count CountJpegTurbo "$f" JSIMD_FORCENONE=1); s=$(count CountJpegTurbo "$f")
  echo "| $f | $o | $n | $s | $(ratio "$o" "$n") | $(armcount CountJpegOurs "$f") |"
done
echo
# Scans that cost work without data, beside the natural file of the same size.
echo "| file | bytes | ours | ours / photo_prog.jpg | ours (ARM) |"
echo "|---|---|---|---|---|"
p=$(count CountJpegOurs photo_prog.jpg)
for f in photo_prog.jpg refine_empty.jpg refine_runs.jpg; do
  o=$(count CountJpegOurs "$f")
  echo "| $f | $(stat -c %s "$dir/$f") | $o | $(ratio "$o" "$p") | $(armcount CountJpegOurs "$f") |"
done
echo
echo "| file | ours | giflib | ours / giflib | ours (ARM) |"
echo "|---|---|---|---|---|"
for f in small.gif large.gif; do
  o=$(count CountGifOurs "$f"); g=$(count CountGifLib "$f")
  echo "| $f | $o | $g | $(ratio "$o" "$g") | $(armcount CountGifOurs "$f") |"
done
