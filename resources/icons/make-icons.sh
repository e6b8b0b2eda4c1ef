#!/bin/sh
# Draws the desktop program's icons and banner with ImageMagick. Run from anywhere; the PNGs are
# written beside this script and committed, so building needs no ImageMagick.
set -eu
cd "$(dirname "$0")"

BLUE='#2f6db5'
DARK='#1d4a80'

# 24 x 24 button icons on a transparent background.
icon() { convert -size 24x24 xc:none -strokewidth 0 "$@"; }

icon -fill "$BLUE" -draw "polygon 4,9 13,9 13,4 21,12 13,20 13,15 4,15" next.png
icon -fill "$BLUE" -draw "polygon 20,9 11,9 11,4 3,12 11,20 11,15 20,15" back.png
icon -fill "$BLUE" -draw "circle 12,12 12,2" \
     -fill white -draw "roundrectangle 10,15 14,19 1,1" \
     -fill none -stroke white -strokewidth 3 -draw "arc 8,5 16,13 180,40" \
     -draw "line 12,11 12,13" help.png
icon -fill '#c0392b' -draw "roundrectangle 4,4 20,20 3,3" stop.png
icon -fill "$BLUE" -draw "polygon 3,4 21,4 14,12 14,20 10,18 10,12" filter.png
icon -fill '#2e8b57' -draw "rectangle 10,3 14,21" -draw "rectangle 3,10 21,14" add.png
icon -fill '#c8a040' -draw "polygon 2,6 9,6 11,8 22,8 22,20 2,20" open.png

# 16 x 16 drive icon for the drive tree.
convert -size 16x16 xc:none -fill '#7a8699' -draw "roundrectangle 1,4 14,12 2,2" \
        -fill '#3bd16f' -draw "rectangle 11,9 12,10" drive.png

# 48 x 48 program icon: a disk with a recovery arrow.
convert -size 48x48 xc:none -fill "$DARK" -draw "circle 24,24 24,3" \
        -fill white -draw "circle 24,24 24,10" -fill "$DARK" -draw "circle 24,24 24,19" \
        -fill '#3bd16f' -draw "polygon 30,30 45,30 45,45" quarvell.png

# The banner across the top of every page: a soft gradient the page draws its title on.
convert -size 64x640 gradient:"$BLUE"-"$DARK" -rotate -90 banner.png
