#!/bin/sh
# Makes the real files the carving tests embed in their images, with the tools that normally
# write them: ImageMagick (JPEG, PNG, GIF), Ghostscript (PDF) and Info-ZIP (ZIP).
#   make-carve-files.sh OUTDIR
# Exits 77 when one of the tools is missing.
set -eu
out=${1:?usage: make-carve-files.sh OUTDIR}
for tool in convert gs zip; do
    command -v "$tool" >/dev/null 2>&1 || { echo "make-carve-files.sh: $tool is missing" >&2; exit 77; }
done
mkdir -p "$out"
cd "$out"
# -strip: no EXIF block, so no embedded thumbnail with an end marker of its own.
convert -seed 11 -size 320x240 plasma:fractal -strip -quality 85 photo.jpg
convert -seed 12 -size 200x150 plasma:fractal -strip pic.png
convert -size 48x32 gradient:red-blue -colors 8 -strip anim.gif
gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=doc.pdf \
   -c "/Helvetica findfont 14 scalefont setfont 72 720 moveto (carved by its signature) show showpage"
printf 'first member\n' > member1.txt
convert -seed 13 -size 64x64 plasma:fractal -strip member2.bmp
rm -f arch.zip
zip -q -X arch.zip member1.txt member2.bmp
rm -f member1.txt member2.bmp
