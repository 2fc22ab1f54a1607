#!/usr/bin/env bash
# Packs a fixture of numbered, trimmed and oddly named sprites with
# --animations, --pivot and --sprite-data into every engine format, decodes
# each atlas with ImageMagick, and lets the engines' own readers load the
# files: PixiJS, Phaser and spine-core in Node (engine_readers_check.mjs),
# the Cocos plist with Python's plistlib (cocos_plist_check.py).
# Exit 77 (skipped) when Node or the npm packages are not installed
# (scripts/bootstrap installs them; it needs the npm registry).
set -euo pipefail
pack=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/raw" "$work/out"
python3 "$here/make_engine_sprites.py" "$work/in" "$work/raw"
cat > "$work/sprite-data.json" <<'JSON'
{"panel.png": {"borders": [3, 4, 5, 2]}, "walk_01.png": {"pivot": [0.25, 0.75]},
 "a&b <c>'q\".png": {"pivot": [0, 0], "borders": [1, 0, 0, 1]}}
JSON
common=(--input "$work/in" --crop 1 --border 1 --spacing 1 --recursive --animations
        --pivot 0.5,1 --sprite-data "$work/sprite-data.json" --quiet)
# Each format twice: upright, and turned-* with the maxrects packer in an atlas
# too short for the pole, which then only fits turned.
for turned in "" turned-; do
  size=(--width 64 --height 64)
  [[ -z $turned ]] || size=(--width 96 --height 32 --packer maxrects --rotate)
  for format in hash array gdx starling cocos; do
    case $format in
      hash|array) text=$format.json ;; gdx) text=gdx.atlas ;;
      starling) text=starling.xml ;; cocos) text=cocos.plist ;;
    esac
    "$pack" "${common[@]}" "${size[@]}" --format "$format" \
      --image "$work/out/$turned$format.png" --text "$work/out/$turned$text" >/dev/null
  done
  # Small pages, so that the one multi-atlas file holds several.
  "$pack" "${common[@]}" "${size[@]}" --width 24 --height 48 --pages --format phaser-multi \
    --image "$work/out/${turned}multi.png" --text "$work/out/${turned}multi.json" >/dev/null
done
for png in "$work"/out/*.png; do
  /usr/bin/convert "$png" -depth 8 "rgba:$png.rgba"
done
python3 "$here/cocos_plist_check.py" "$work" cocos.plist
python3 "$here/cocos_plist_check.py" "$work" turned-cocos.plist turned
if ! command -v node >/dev/null; then
  echo "skipped: node is not installed"; exit 77
fi
for package in pixi.js phaser @esotericsoftware/spine-core @xmldom/xmldom; do
  if [[ ! -f "$here/node_modules/$package/package.json" ]]; then
    echo "skipped: $package is not installed in $here (run scripts/bootstrap; it needs the npm registry)"
    exit 77
  fi
done
node "$here/engine_readers_check.mjs" "$work"
