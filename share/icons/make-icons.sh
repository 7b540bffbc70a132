#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick. The PNGs are committed; run this only to
# change them.
set -euo pipefail
cd "$(dirname "$0")"
S=64
base() { convert -size ${S}x${S} xc:none "$@"; }
# Random grouping: a die.
base -fill '#2e7d32' -stroke '#1b5e20' -strokewidth 3 -draw 'roundrectangle 6,6 58,58 10,10' \
     -fill white -stroke none -draw 'circle 20,20 25,20' -draw 'circle 32,32 37,32' -draw 'circle 44,44 49,44' \
     -draw 'circle 44,20 49,20' -draw 'circle 20,44 25,44' imgFz0.png
# Sequential grouping: three ordered bars.
base -fill '#1565c0' -stroke none -draw 'rectangle 6,8 18,20' -draw 'rectangle 6,26 18,38' -draw 'rectangle 6,44 18,56' \
     -fill '#42a5f5' -draw 'rectangle 24,10 58,18' -draw 'rectangle 24,28 50,36' -draw 'rectangle 24,46 42,54' imgFz1.png
# Write into the roll book: a pencil over a sheet.
pencil() {
  base -fill white -stroke '#607d8b' -strokewidth 3 -draw 'rectangle 6,6 46,58' \
       -stroke '#90a4ae' -strokewidth 2 -draw 'line 12,18 40,18' -draw 'line 12,28 40,28' -draw 'line 12,38 30,38' \
       -stroke "$1" -strokewidth 9 -draw 'line 54,14 30,48' \
       -stroke '#ffcc80' -strokewidth 1 -fill '#ffcc80' -draw 'polygon 27,44 34,50 24,56' "$2"
}
pencil '#e65100' imgXie0.png
pencil '#c62828' imgXie1.png
# Clock idle: a stopwatch with a start triangle; running: the same with a pause sign.
watch() {
  base -fill white -stroke '#37474f' -strokewidth 4 -draw 'circle 32,36 32,60' \
       -fill '#37474f' -stroke none -draw 'rectangle 27,2 37,9' -draw 'rectangle 30,8 34,14' "$@"
}
watch -fill '#2e7d32' -draw 'polygon 25,24 25,48 45,36' imgJs0.png
watch -fill '#c62828' -draw 'rectangle 22,25 29,47' -draw 'rectangle 35,25 42,47' imgJs1.png
# Find the roll-book file: a folder with a magnifier.
base -fill '#ffb300' -stroke '#e69500' -strokewidth 2 -draw 'polygon 4,14 24,14 30,20 58,20 58,54 4,54' \
     -fill none -stroke '#37474f' -strokewidth 5 -draw 'circle 36,36 46,36' -draw 'line 44,44 58,58' Image1.png
# Show the roll book: a sheet with a grid.
base -fill white -stroke '#2e7d32' -strokewidth 3 -draw 'rectangle 6,6 58,58' \
     -strokewidth 2 -draw 'line 6,20 58,20' -draw 'line 6,33 58,33' -draw 'line 6,46 58,46' -draw 'line 24,6 24,58' \
     -fill '#2e7d32' -draw 'rectangle 6,6 58,20' Image2.png
# Number list: add, remove the selected value, clear.
base -fill '#2e7d32' -stroke none -draw 'roundrectangle 4,4 60,60 12,12' -fill white -draw 'rectangle 28,14 36,50' -draw 'rectangle 14,28 50,36' ImgZdy0.png
base -fill '#ef6c00' -stroke none -draw 'roundrectangle 4,4 60,60 12,12' -fill white -draw 'rectangle 14,28 50,36' ImgZdy1.png
base -fill '#c62828' -stroke none -draw 'roundrectangle 4,4 60,60 12,12' -stroke white -strokewidth 8 -draw 'line 20,20 44,44' -draw 'line 44,20 20,44' ImgZdy2.png
# The program: a green board with the character for calling on someone.
FONT=/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc
for size in 256 48; do
  r=$((size * 12 / 100)); w=$((size - 1)); b=$((size * 6 / 100))
  convert -size ${size}x${size} xc:none -fill '#1b5e20' -stroke '#8d6e63' -strokewidth $b \
          -draw "roundrectangle $b,$b $((w - b)),$((w - b)) $r,$r" \
          -font "$FONT" -fill white -stroke none -pointsize $((size * 55 / 100)) -gravity center -annotate +0+0 '点' \
          rostrel-$size.png
done
# The desktop's icon theme: the usual hicolor sizes, scaled down from the large icon.
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p ../hicolor/${size}x${size}/apps
  convert rostrel-256.png -filter Lanczos -resize ${size}x${size} -depth 8 -strip ../hicolor/${size}x${size}/apps/rostrel.png
done
