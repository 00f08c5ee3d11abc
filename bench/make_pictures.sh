#!/usr/bin/env bash
# Makes the pictures bench_pictures decodes: JPEGs of 320x240 and 640x480,
# baseline (cjpeg, quality 85, 4:2:0) and progressive (jpegtran of the same
# coefficients), and GIFs of both sizes with 256 colours; then three progressive
# JPEGs of 256 KB: a 1280x960 picture from cjpeg at the quality that comes
# closest below that size, padded to it by a comment (photo_prog.jpg), and from
# that file two whose scans cost work without data (bench/refine_scans.py):
# its refining scans emptied and repeated (refine_empty.jpg), and its AC scans
# turned into end-of-band runs only, repeated (refine_runs.jpg); both as many
# scans as the decoder's work budget for 256 KB lets through.
# Usage: make_pictures.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=${1:?folder}
mkdir -p "$dir"
cd "$dir"
/usr/bin/convert logo: -resize 320x240! -blur 0x0.5 -attenuate 0.3 +noise Gaussian small.ppm
/usr/bin/convert logo: -attenuate 0.3 +noise Gaussian large.ppm
for s in small large; do
  cjpeg -quality 85 -sample 2x2 -outfile "$s.jpg" "$s.ppm"
  jpegtran -progressive -outfile "${s}_prog.jpg" "$s.jpg"
  /usr/bin/convert "$s.ppm" -colors 256 "$s.gif"
done
size=262144
/usr/bin/convert -seed 1 logo: -resize 1280x960! -attenuate 0.4 +noise Gaussian photo.ppm
for q in $(seq 95 -1 50); do
  cjpeg -progressive -quality "$q" -outfile photo_cjpeg.jpg photo.ppm
  [ "$(stat -c %s photo_cjpeg.jpg)" -le $((size - 1024)) ] && break
done
py=${PYTHON:-/usr/bin/python3}
"$py" "$here/refine_scans.py" pad photo_cjpeg.jpg photo_prog.jpg $size
"$py" "$here/refine_scans.py" empty photo_cjpeg.jpg refine_empty.jpg $size
"$py" "$here/refine_scans.py" runs photo_cjpeg.jpg refine_runs.jpg $size
rm photo_cjpeg.jpg
ls -l "$dir"
