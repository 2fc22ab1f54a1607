#!/usr/bin/env bash
# Packs a copy of the example sprites (one sub-folder deep) three times with the
# same settings, as plain JSON, JSON hash and JSON array, and lets PixiJS
# load the last two; then packs them with turning allowed (the sword only fits
# turned) and lets PixiJS's texture coordinates find every source pixel; then
# packs them at two scales in one run and lets PixiJS load each scale's JSON
# hash. Exit 77 (skipped) when Node or the pixi.js package is not
# installed (scripts/bootstrap installs it; it needs the npm registry).
set -euo pipefail
pack=$1
sprites=$2
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v node >/dev/null; then
  echo "skipped: node is not installed"; exit 77
fi
if [[ ! -f "$here/node_modules/pixi.js/package.json" ]]; then
  echo "skipped: pixi.js is not installed in $here (run scripts/bootstrap; it needs the npm registry)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/sub folder" "$work/out"
cp "$sprites"/*.png "$sprites"/*.gif "$work/in/"
mv "$work/in/coin.png" "$work/in/sub folder/coin.png"
common=(--input "$work/in" --image "$work/out/atlas.png" --width 512 --height 512
        --crop 1 --border 2 --spacing 1 --recursive --quiet)
"$pack" "${common[@]}" --text "$work/out/plain.json" >/dev/null
"$pack" "${common[@]}" --text "$work/out/atlas.json" --format hash >/dev/null
"$pack" "${common[@]}" --text "$work/out/array.json" --format array >/dev/null
node "$here/pixi_spritesheet_check.mjs" "$work/out/plain.json" "$work/out/atlas.json" \
  "$work/out/array.json" 512 512
# The atlas at most 64 pixels tall: the sword (16 x 96) only fits turned.
"$pack" --input "$work/in" --image "$work/out/turned.png" --text "$work/out/turned.json" \
  --format hash --packer maxrects --rotate --fit any --height 64 --crop 1 --spacing 1 --recursive \
  --quiet >/dev/null
node "$here/pixi_spritesheet_check.mjs" --pixels "$work/out/turned.json" "$work/out/turned.png" \
  "$work/in"
"$pack" --input "$work/in" --image "$work/out/v.png" --text "$work/out/v.json" --format hash \
  --fit any --crop 1 --extrude 1 --recursive --quiet --variant @2x:1 --variant @1x:0.5 >/dev/null
node "$here/pixi_scaled_check.mjs" "$work/out/v@2x.json" 1 "$work/in"
node "$here/pixi_scaled_check.mjs" "$work/out/v@1x.json" 0.5 "$work/in"
