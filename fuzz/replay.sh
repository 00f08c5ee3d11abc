#!/usr/bin/env bash
# Replays every fuzz target over its seed corpus, then fuzzes it a few seconds more.
#   fuzz/replay.sh FUZZ_BUILD RESOURCE_BUILD [SECONDS]
# FUZZ_BUILD holds the targets (build with -DZARN_FUZZ=ON, target fuzz_all);
# RESOURCE_BUILD is a normal build whose generated resources and pack tool make
# the seeds. Corpora are rebuilt under FUZZ_BUILD/corpus on every run, and what a
# target finds is written into FUZZ_BUILD/finds (named in the report), so finds
# never touch the tree. Exits non-zero when any target reports a fault.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fuzzdir=$(cd "$1" && pwd)
res=$(cd "$2" && pwd)
seconds=${3:-5}
corpus="$fuzzdir/corpus"
finds="$fuzzdir/finds"
rm -rf "$corpus"
mkdir -p "$corpus" "$finds"

seed() {  # target, files...
  local t=$1; shift
  mkdir -p "$corpus/$t"
  for f in "$@"; do
    [ -f "$f" ] || continue
    # Small seeds only: libFuzzer mutates them far faster.
    [ "$(stat -c %s "$f")" -le 65536 ] && cp "$f" "$corpus/$t/$(basename "$f")"
  done
}

# Pictures and models the resource generator made.
seed png_fuzz "$res"/resgen/gfx/*.png
# The same pictures and the kept GIF, JPEG and TGA seeds again, behind the
# set-up byte of the RGBA target.
mkdir -p "$corpus/rgba_fuzz"
for f in "$res"/resgen/gfx/*.png "$res"/resgen/gfx/*.bmp "$here"/seeds/{gif,jpg,tga}_fuzz/*; do
  [ -f "$f" ] && [ "$(stat -c %s "$f")" -le 65536 ] &&
    { printf '\x08'; cat "$f"; } > "$corpus/rgba_fuzz/$(basename "$f")"
done
seed bmp_fuzz "$res"/resgen/gfx/*.bmp
seed model3ds_fuzz "$res"/resgen/gfx/*.3ds
# Sound effects and the two tracks.
seed wav_fuzz "$res"/resgen/sfx/*.wav
seed mod_fuzz "$res"/resgen/bgm/*.mod
# Small packs made with the pack tool in each method, and one in the older format.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'alpha alpha alpha beta\n' > "$work/a.txt"
head -c 3000 "$res/resgen/gfx/kbkey.png" > "$work/b.png" 2>/dev/null || printf 'x' > "$work/b.png"
for m in 0 1 2; do
  SOURCE_DATE_EPOCH=1 "$res/tools/packtool/packtool" create "$work/m$m.epk" seed >/dev/null
  SOURCE_DATE_EPOCH=1 "$res/tools/packtool/packtool" add "$work/m$m.epk" -m $m "$work/a.txt" "$work/b.png" >/dev/null
done
cp "$work/m1.epk" "$work/old.epk" && "$res/tools/packtool/packtool" convert "$work/old.epk" >/dev/null 2>&1
seed pack_fuzz "$work"/*.epk
# Plain texts for the codec (it round-trips them and decodes their bytes as streams).
mkdir -p "$corpus/lzw_fuzz" "$corpus/ini_fuzz" "$corpus/recording_fuzz"
printf 'TOBEORNOTTOBEORTOBEORNOT' > "$corpus/lzw_fuzz/text"
head -c 4000 "$res/resgen/gfx/files.txt" > "$corpus/lzw_fuzz/list"
printf '; settings\r\nname = "Player One"\r\nvolume=48\r\n\r\n[x]\r\nkey=\r\n' > "$corpus/ini_fuzz/plain"
printf 'a=1\nb = "two words"\n;c=3\n' > "$corpus/ini_fuzz/unix"
# Recordings: a header and a few events (see ClassZarn's recording layout).
printf '\x10\x00\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x04\x01\x10\x00' > "$corpus/recording_fuzz/short"
printf '\x10\x00\x00\x00\x00\x00\x00\x00\xc8\x00\x00\x00\x00\x00\x00\x00' > "$corpus/recording_fuzz/past"

# Extra seeds that other readers keep beside their targets (fuzz/seeds/<target>/).
for d in "$here"/seeds/*/; do
  [ -d "$d" ] && seed "$(basename "$d")" "$d"*
done

# Memory per target: the picture loaders run as the console would, where 64 MB
# is all there is: no single block above 128 MB and no more than 128 MB
# resident, with AddressSanitizer's quarantine of freed blocks cut to 16 MB so
# that what is resident is the target's own (about 40 MB at rest). A small file
# that makes a loader take much memory is then a find like a crash.
limits() {  # target name
  case $1 in
    png_fuzz | gif_fuzz | bmp_fuzz | tga_fuzz | jpg_fuzz) echo "-malloc_limit_mb=128 -rss_limit_mb=128" ;;
    *) echo "-rss_limit_mb=2048" ;;
  esac
}
asan_options() {  # target name
  case $1 in
    png_fuzz | gif_fuzz | bmp_fuzz | tga_fuzz | jpg_fuzz) echo "${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=16" ;;
    *) echo "${ASAN_OPTIONS:-}" ;;
  esac
}

# The targets side by side, one a core (ZARN_FUZZ_JOBS), each to its log and
# its exit status; then the results in order.
fuzz_one() {  # target
  local name
  name=$(basename "$1")
  mkdir -p "$corpus/$name"
  rm -f "$finds/$name"-*
  # shellcheck disable=SC2046  # the limits are several words
  ASAN_OPTIONS=$(asan_options "$name") "$1" "$corpus/$name" -max_total_time="$seconds" -timeout=10 $(limits "$name") \
    -artifact_prefix="$finds/$name-" -max_len=65536 -print_final_stats=1 > "$fuzzdir/$name.log" 2>&1
  echo $? > "$fuzzdir/$name.rc"
}
jobs=${ZARN_FUZZ_JOBS:-$(nproc)}
running=0
for t in "$fuzzdir"/fuzz/*_fuzz; do
  [ -x "$t" ] || continue
  rm -f "$fuzzdir/$(basename "$t").rc"
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  fuzz_one "$t" &
  running=$((running + 1))
done
wait

status=0
for t in "$fuzzdir"/fuzz/*_fuzz; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  log="$fuzzdir/$name.log"
  if [ "$(cat "$fuzzdir/$name.rc" 2>/dev/null)" = 0 ]; then
    echo "$name: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs, no fault"
  else
    echo "$name: FAULT (see $log)"
    grep -E -A30 'ERROR|runtime error|deadly signal|out-of-memory|malloc\(' "$log" | head -60
    for f in "$finds/$name"-*; do
      [ -f "$f" ] && echo "$name: the input that found it: $f (rerun: $t $f)"
    done
    status=1
  fi
done
exit $status
