#!/usr/bin/env bash
# Makes the pictures bench_pictures decodes: JPEGs of 320x240 and 640x480,
# baseline (cjpeg, quality 85, 4:2:0) and progressive (jpegtran of the same
# coefficients), and GIFs of both sizes with 256 colours. Usage: make_pictures.sh DIR
set -euo pipefail
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
ls -l "$dir"
