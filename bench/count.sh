#!/usr/bin/env bash
# Instruction counts per unit of work for every bench_count row, ours beside
# SDL2 and libpng, with callgrind on the build host and, when an ARM build is
# given, with the counting plugin under qemu-user.
#   bench/count.sh BENCH_BUILD [ARM_BUILD]
# BENCH_BUILD: a build with -DZARN_BENCH=ON (and its resources); ARM_BUILD: the
# ARM cross build with -DZARN_BENCH=ON. Prints a Markdown table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
arm=${2:+$(cd "$2" && pwd)}
prog="$build/bench/bench_count"
reps=${ZARN_COUNT_REPEATS:-10}
# callgrind counts a rep movsb as one instruction: keep glibc's copies in plain loops.
export GLIBC_TUNABLES=glibc.cpu.x86_rep_movsb_threshold=1000000
export ZARN_BACKEND=headless

pics=$(mktemp -d)
trap 'rm -rf "$pics"' EXIT
g="$build/resgen/gfx"
convert=/usr/bin/convert
$convert "$g/title.bmp" "$pics/title_rgb.png"
$convert "$g/title.bmp" -alpha set -channel A -evaluate set 80% +channel "$pics/title_rgba.png"
$convert "$g/title.bmp" -colors 256 -type Palette "$pics/title_pal.png"
$convert "$g/title.bmp" -colorspace Gray "$pics/title_grey.png"
# 640x480 and 256 colours with large flat areas: cheap to inflate, so what a
# surface does per pixel weighs most here.
$convert logo: -colors 256 "PNG8:$pics/logo_pal.png"
cp "$g/zarnbanner.png" "$g/title.bmp" "$pics/"

# Same pixels on both sides first, or no row is worth printing.
"$prog" check "$pics"/*.png "$pics/title.bmp" >&2

host() {  # bench_count args... -> instructions of the whole run on the build host
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$prog" "$@" 2>&1 |
    sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
armv7() {  # the same in the ARM build under qemu-user
  [ -n "$arm" ] || return 0
  "$root/cmake/qemu-arm.sh" -plugin "$build/bench/libarmcount.so" \
    "$arm/bench/bench_count" "$@" 2>&1 >/dev/null | sed -n 's/^armcount: //p'
}
per() {  # counter row side [file] -> instructions per unit of work (set-up taken off)
  local counter=$1 row=$2 side=$3 file=${4:-} a b
  a=$($counter "$row" "$side" 0 $file)
  b=$($counter "$row" "$side" "$reps" $file)
  if [ -n "$a" ] && [ -n "$b" ]; then echo $(( (b - a) / reps )); fi
}

fmt() { [ -n "$1" ] && printf "%'d" "$1" || printf -- "-"; }
ratio() { [ -n "$1" ] && [ -n "$2" ] && awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a/b}' || printf -- "-"; }

echo "| row | input | ours (x86-64) | other side | other (x86-64) | ratio | ours (ARM) |"
echo "|---|---|---|---|---|---|---|"
row() {  # row input other-side [file]
  local r=$1 input=$2 other=$3 file=${4:-}
  local o t a
  o=$(per host "$r" ours $file)
  t=""
  [ "$other" = "-" ] || t=$(per host "$r" "$other" $file)
  a=$(per armv7 "$r" ours $file)
  echo "| $r | $input | $(fmt "$o") | $other | $(fmt "$t") | $(ratio "$o" "$t") | $(fmt "$a") |"
  last_ours=$o last_other=$t
}
row sprites-keyed "200 stones 24x24" sdl
row sprites-keyed "200 stones 24x24" sdl-rle
row sprites-op200 "200 stones 24x24" sdl
row glyph-faces "60 glyphs 6x10" sdl
row glyph-masks "60 glyphs 6x10" -
row copy "320x240" sdl
row alpha "50 pictures 48x32 with alpha" sdl
row fill128 "320x240" sdl
row fill192 "320x240" sdl
pngs="title_rgb title_rgba title_pal title_grey zarnbanner logo_pal"
declare -A decode565 libpngdecode
for f in $pngs; do
  row png-decode "$f.png" libpng "$pics/$f.png"
  libpngdecode[$f]=$last_other
done
for f in $pngs; do
  row png-565 "$f.png" libpng "$pics/$f.png"
  decode565[$f]=$last_ours
done
row bmp-565 "title.bmp" loop "$pics/title.bmp"
row cpu-steps "1000 logic steps, 3 computers" -
row flip-keyed "200 stones 24x24, a quarter turn" -
row spans-keyed "50 stones 24x24 turned, x1.5" -
row spans-op128 "50 stones 24x24 turned, x1.5" -
row fill-cells "200 cells 8x8, opacity 128" -
row landscape "320x240" -
row lzw-pack "title.bmp" - "$pics/title.bmp"
row lzw-unpack "title.bmp" - "$pics/title.bmp"

# The goal for pictures: loading into a 5:6:5 surface costs at most 1.3 times
# libpng's decode alone, both counted above in this run.
echo
echo "| picture | ours into 5:6:5 (x86-64) | libpng decode alone (x86-64) | ratio |"
echo "|---|---|---|---|"
for f in $pngs; do
  echo "| $f.png | $(fmt "${decode565[$f]}") | $(fmt "${libpngdecode[$f]}") | $(ratio "${decode565[$f]}" "${libpngdecode[$f]}") |"
done
