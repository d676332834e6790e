#!/bin/sh
# Re-render the PNG images in ../images from the SVG drawings in this folder.
# Needs rsvg-convert (Debian/Ubuntu: apt-get install librsvg2-bin).
set -eu
cd "$(dirname "$0")"
out=../images
mkdir -p "$out"

render() { # svg width height png
    rsvg-convert -w "$2" -h "$3" "$1" -o "$out/$4"
}

render icon.svg 32 32 icon.png
render icon.svg 64 64 icon@2x.png
for s in 16 48 128 256; do
    render icon.svg "$s" "$s" "icon-$s.png"
done
render reader.svg 80 80 reader.png
render reader.svg 160 160 reader@2x.png
render shelf.svg 70 47 shelf.png
render shelf.svg 140 94 shelf@2x.png
render shelf_current.svg 70 47 shelf_current.png
render shelf_current.svg 140 94 shelf_current@2x.png
render book.svg 80 65 book.png
render book.svg 160 130 book@2x.png
