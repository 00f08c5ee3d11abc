#!/usr/bin/env bash
# Instructions to decode each bench picture once, counted by callgrind over the
# decode call only, ours beside libjpeg-turbo (SIMD off and on) and giflib, in
# one run. glibc's rep movsb is tuned off (callgrind counts it as one instruction).
# Usage: count_pictures.sh BUILD_DIR PICTURE_DIR
set -euo pipefail
bench=${1:?build folder}/bench/bench_pictures
dir=${2:?picture folder}
count() {  # row file [env]
  local out
  out=$(env GLIBC_TUNABLES=glibc.cpu.x86_rep_movsb_threshold=1000000 ${3:-} valgrind --tool=callgrind \
        --toggle-collect="*$1*" --callgrind-out-file=/dev/null "$bench" --once "$1" "$dir/$2" 2>&1 |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
  echo "$out"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "| file | ours | libjpeg-turbo, no SIMD | libjpeg-turbo, SIMD | ours / no SIMD |"
echo "|---|---|---|---|---|"
for f in small.jpg small_prog.jpg large.jpg large_prog.jpg; do
  o=$(count CountJpegOurs "$f"); n=$(count CountJpegTurbo "$f" JSIMD_FORCENONE=1); s=$(count CountJpegTurbo "$f")
  echo "| $f | $o | $n | $s | $(ratio "$o" "$n") |"
done
echo
echo "| file | ours | giflib | ours / giflib |"
echo "|---|---|---|---|"
for f in small.gif large.gif; do
  o=$(count CountGifOurs "$f"); g=$(count CountGifLib "$f")
  echo "| $f | $o | $g | $(ratio "$o" "$g") |"
done
