#!/usr/bin/env bash
# Instructions per play frame of a busy game (three computer players, a drop
# every 20 frames): callgrind counts the program for WARMUP frames and for
# WARMUP + N frames; the difference over N is one frame's logic steps, full
# render and flip. Then the hot spots of those N frames, and logic steps per
# second without drawing.
#   bench/play_count.sh BENCH_BUILD [WARMUP] [N]
# With ARM_BUILD set to an ARM cross build with -DZARN_BENCH=ON, the same count
# runs there under qemu-user with the counting plugin.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
warm=${2:-600}
n=${3:-300}
export GLIBC_TUNABLES=glibc.cpu.x86_rep_movsb_threshold=1000000
cd "$build"  # the program reads res/ here
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
count() {
  valgrind --tool=callgrind --callgrind-out-file="$out/cg.$1" ./bench/bench_play frames "$warm" "$1" 2>&1 |
    sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
a=$(count 0)
b=$(count "$n")
echo "instructions per play frame: $(( (b - a) / n ))"
# Per-function differences, largest first.
callgrind_annotate "$out/cg.0" 2>/dev/null | sed -n 's/^ *\([0-9,]*\) ([ 0-9.]*%)  \(.*\)$/\1\t\2/p' | tr -d , | sort -k2 > "$out/a"
callgrind_annotate "$out/cg.$n" 2>/dev/null | sed -n 's/^ *\([0-9,]*\) ([ 0-9.]*%)  \(.*\)$/\1\t\2/p' | tr -d , | sort -k2 > "$out/b"
join -t $'\t' -1 2 -2 2 -a 2 -e 0 -o 2.1,1.1,0 "$out/a" "$out/b" |
  awk -F'\t' -v n="$n" '{d = ($1 - $2) / n; if (d >= 1000) printf "%8d  %s\n", d, substr($3, 1, 110)}' | sort -rn | head -15
./bench/bench_play steps 2000000
if [ -n "${ARM_BUILD:-}" ]; then
  arm=$(cd "$ARM_BUILD" && pwd)
  armcount() {
    "$root/cmake/qemu-arm.sh" -plugin ./bench/libarmcount.so "$arm/bench/bench_play" frames "$warm" "$1" \
      2>&1 >/dev/null | sed -n 's/^armcount: //p'
  }
  a=$(armcount 0)
  b=$(armcount "$n")
  echo "ARM instructions per play frame: $(( (b - a) / n ))"
fi
