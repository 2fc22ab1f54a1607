#!/usr/bin/env bash
# tilvane-pack under real build tools, each check on a temporary folder:
#   build_systems_test.sh cmake BUILD_DIR SPRITES   three atlases of a CMake
#       project (Ninja generator) through the installed package: a change to
#       one atlas's sprites rebuilds that atlas alone, no change nothing
#   build_systems_test.sh names BUILD_DIR SPRITES   depfiles of sprites whose
#       names hold a space, $, # and :, read by Ninja and by GNU Make
#   build_systems_test.sh readme BUILD_DIR SPRITES  the README's Ninja and Make
#       blocks, run as printed
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
sprites=$(cd "$3" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The atlases a Ninja run packed (its "Packing atlas NAME" lines), sorted, blank-separated.
packed() {
  grep -oE 'Packing atlas [a-z]+' "$1" | sed 's/Packing atlas //' | sort | paste -sd' ' || true
}

case $mode in
  cmake)
    cmake --install "$build" --prefix "$tmp/prefix" --component tilvane-pack >"$tmp/install.log" ||
      { cat "$tmp/install.log" >&2; exit 1; }
    project=$tmp/game
    mkdir -p "$project/sprites/ui" "$project/sprites/hud" "$project/sprites/fx"
    cp "$sprites"/{arrow.gif,chest.png,coin.png,gem.png} "$project/sprites/ui/"
    cp "$sprites"/{heart.png,key.pcx,mushroom.png,potion.tga} "$project/sprites/hud/"
    cp "$sprites"/{shield.tif,slime.png,star.gif,sword.png} "$project/sprites/fx/"
    cat >"$project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(game NONE)
find_package(Tilvane 0.1 REQUIRED)
tilvane_add_atlas(ui INPUT sprites/ui OUTPUT_IMAGE atlases/ui.png OUTPUT_DATA atlases/ui.json
  OPTIONS --fit any --crop 1 --format hash)
tilvane_add_atlas(hud INPUT sprites/hud OUTPUT_IMAGE atlases/hud.png OUTPUT_DATA atlases/hud.json
  MASK OPTIONS --fit pot)
tilvane_add_atlas(fx INPUT sprites/fx OUTPUT_IMAGE atlases/fx.tga OUTPUT_DATA atlases/fx.txt)
CMAKE
    cmake -S "$project" -B "$project/out" -G Ninja -DCMAKE_PREFIX_PATH="$tmp/prefix" \
      >"$tmp/configure.log" 2>&1 || { cat "$tmp/configure.log" >&2; exit 1; }
    grep -q "tilvane-pack" "$project/out/build.ninja" || fail "the commands do not run tilvane-pack"
    # step | what changes before the build | the atlases Ninja packs
    rows=(
      "first build||fx hud ui"
      "no change||"
      "a sprite changed|touch sprites/ui/coin.png|ui"
      "a sprite removed|rm sprites/hud/key.pcx|hud"
      "an old file added|cp -p sprites/ui/gem.png sprites/fx/old.png|fx"
      "a file that is no image added|echo notes >sprites/ui/notes.txt|ui"
      "no change again||"
    )
    for row in "${rows[@]}"; do
      IFS='|' read -r name change expected <<<"$row"
      if [[ -n $change ]]; then (cd "$project" && eval "$change"); fi
      ninja -C "$project/out" -d explain >"$tmp/ninja.log" 2>&1 ||
        { cat "$tmp/ninja.log" >&2; fail "$name: ninja failed"; continue; }
      got=$(packed "$tmp/ninja.log")
      [[ $got == "$expected" ]] || { cat "$tmp/ninja.log" >&2; fail "$name: packed '$got', want '$expected'"; }
    done
    for file in ui.png ui.json hud.png hud.json hud_mask.png fx.tga fx.txt; do
      [[ -s $project/out/atlases/$file ]] || fail "atlases/$file was not written"
    done
    grep -q key "$project/out/atlases/hud.json" && fail "hud.json still lists the removed sprite"
    grep -q old "$project/out/atlases/fx.txt" || fail "fx.txt does not list the added sprite"
    ;;
  names)
    pack="$build/cli/tilvane-pack"
    in=$tmp/'in put#1'
    mkdir -p "$in" "$tmp/out"
    # Each name as the shell writes it, then as Ninja's build file writes it.
    names=('a b.png' 'c$d.png' 'e#f.png' 'g:h.png' 'plain.png')
    for n in "${names[@]}"; do cp "$sprites/coin.png" "$in/$n"; done
    cat >"$tmp/build.ninja" <<NINJA
rule pack
  command = '$pack' --quiet --input '$in/' --image out/atlas.png --text out/atlas.txt --no-mask --depfile out/atlas.d
  depfile = out/atlas.d
  deps = gcc
build out/atlas.png out/atlas.txt: pack
NINJA
    (cd "$tmp" && ninja >"$tmp/ninja.log" 2>&1) || { cat "$tmp/ninja.log" >&2; exit 1; }
    # Every sprite and the folder (Ninja drops its final "/"), and nothing else.
    (cd "$tmp" && ninja -t deps out/atlas.png) | sed -n 's/^    //p' | sort >"$tmp/deps"
    for n in "${names[@]}"; do echo "$in/$n"; done | cat - <(echo "$in") | sort >"$tmp/want"
    diff "$tmp/want" "$tmp/deps" >&2 || fail "Ninja read other names than the sprites' (above)"
    # Make reads a second depfile of the same run, written beside the outputs.
    cat >"$tmp/Makefile" <<MAKE
out/made.png:
	'$pack' --quiet --input '$in/' --image out/made.png --text out/made.txt --no-mask --depfile out/made.d
-include out/made.d
MAKE
    (cd "$tmp" && make -s >/dev/null) || fail "make failed"
    for n in "${names[@]}"; do
      sleep 0.01
      touch "$in/$n"
      (cd "$tmp" && ninja -d explain) >"$tmp/ninja.log" 2>&1
      grep -q '\[1/1\]' "$tmp/ninja.log" || fail "Ninja did not rebuild for $n"
      (cd "$tmp" && ninja >"$tmp/ninja.log" 2>&1) || true
      grep -q 'no work to do' "$tmp/ninja.log" || fail "Ninja rebuilt again after $n"
      [[ -n $(cd "$tmp" && make -s) ]] || fail "Make did not rebuild for $n"
      [[ -z $(cd "$tmp" && make -s) ]] || fail "Make rebuilt again after $n"
    done
    rm "$in/c\$d.png"
    # Into a file, not a pipe: grep -q may end before Ninja does, and the
    # pipeline then fails for the SIGPIPE (pipefail) though Ninja rebuilt.
    (cd "$tmp" && ninja -d explain >"$tmp/ninja.log" 2>&1) || true
    grep -q '\[1/1\]' "$tmp/ninja.log" ||
      { cat "$tmp/ninja.log" >&2; fail "Ninja did not rebuild for a removed sprite"; }
    [[ -n $(cd "$tmp" && make -s) ]] || fail "Make did not rebuild for a removed sprite"
    ;;
  readme)
    export PATH="$build/cli:$PATH"
    readme="$(dirname "$0")/../../README.md"
    # The block after the line "```ninja" (or "```make") up to the next "```".
    block() { awk -v start="\`\`\`$1" '$0 == start {on = 1; next} /^```/ {on = 0} on' "$readme"; }
    # Each tool in a folder of its own, with the same sprites.
    for tool in ninja make; do
      mkdir -p "$tmp/$tool/sprites/ui"
      cp "$sprites"/{coin.png,gem.png,heart.png} "$tmp/$tool/sprites/ui/"
    done
    block ninja >"$tmp/ninja/build.ninja"
    block make >"$tmp/make/Makefile"
    [[ -s $tmp/ninja/build.ninja && -s $tmp/make/Makefile ]] || fail "the README has no ninja or make block"
    # step | the change before both tools run | whether they build
    rows=(
      "first build||yes"
      "no change||no"
      "a sprite changed|touch sprites/ui/coin.png|yes"
      "an old file added|cp -p sprites/ui/gem.png sprites/ui/old.png|yes"
      "a sprite removed|rm sprites/ui/heart.png|yes"
      "no change again||no"
    )
    for row in "${rows[@]}"; do
      IFS='|' read -r name change expected <<<"$row"
      for tool in ninja make; do
        if [[ -n $change ]]; then (cd "$tmp/$tool" && eval "$change"); fi
      done
      ninja=$(cd "$tmp/ninja" && ninja 2>&1) || fail "$name: ninja failed: $ninja"
      make=$(cd "$tmp/make" && make 2>&1) || fail "$name: make failed: $make"
      for tool in ninja make; do
        got=no
        grep -q 'tilvane-pack --quiet' <<<"${!tool}" && got=yes
        [[ $got == "$expected" ]] || fail "$name: $tool built: $got, want $expected"
      done
    done
    for tool in ninja make; do
      grep -q old "$tmp/$tool/atlases/ui.json" || fail "$tool: the atlas does not list the added sprite"
      grep -q heart "$tmp/$tool/atlases/ui.json" && fail "$tool: the atlas still lists the removed sprite"
    done
    ;;
  *)
    echo "usage: $0 cmake|names|readme BUILD_DIR SPRITES" >&2
    exit 2
    ;;
esac
((failures == 0))
