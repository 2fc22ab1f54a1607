#!/usr/bin/env bash
# Checks what a build installs and the files made from tilvane-pack's option
# table, each check on a temporary folder:
#   installed_files_test.sh headless BUILD_DIR   a build without the dialog
#   installed_files_test.sh desktop BUILD_DIR    a build with it, validated
#   installed_files_test.sh man BUILD_DIR        the page renders, lists --help's options
#   installed_files_test.sh bash BUILD_DIR       bash completes options and values
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Installs the build into a fresh prefix, then checks that each path given
# after "--" is absent and each one before it is present.
install_and_expect() {
  cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" || {
    cat "$tmp/install.log" >&2
    fail "cmake --install failed"
    return
  }
  local absent=0
  for path in "$@"; do
    if [[ $path == -- ]]; then
      absent=1
    elif ((absent)) && compgen -G "$tmp/prefix/$path" >/dev/null; then
      fail "installed, but should not be: $path"
    elif ((!absent)) && ! compgen -G "$tmp/prefix/$path" >/dev/null; then
      fail "not installed: $path"
    fi
  done
}

pack_files=(
  bin/tilvane-pack
  share/man/man1/tilvane-pack.1.gz
  share/bash-completion/completions/tilvane-pack
  share/zsh/vendor-completions/_tilvane-pack
  share/fish/vendor_completions.d/tilvane-pack.fish
  share/doc/tilvane/copyright
  share/cmake/Tilvane/TilvaneConfig.cmake
  share/cmake/Tilvane/TilvaneConfigVersion.cmake
  share/cmake/Tilvane/TilvaneTargets.cmake
  share/cmake/Tilvane/TilvaneAtlas.cmake
)
desktop_files=(
  bin/tilvane
  share/applications/tilvane.desktop
  share/metainfo/io.github.tilvane.Tilvane.metainfo.xml
  share/icons/hicolor/48x48/apps/tilvane.png
  share/icons/hicolor/128x128/apps/tilvane.png
  share/doc/tilvane/Tilvane_Help.pdf
  share/man/man1/tilvane.1.gz
)

case $mode in
  headless)
    install_and_expect "${pack_files[@]}" -- "${desktop_files[@]}"
    "$tmp/prefix/bin/tilvane-pack" --version >/dev/null || fail "installed tilvane-pack does not run"
    ;;
  desktop)
    install_and_expect "${pack_files[@]}" "${desktop_files[@]}"
    # Both validators print nothing at all for a file without faults or warnings.
    out=$(desktop-file-validate "$tmp/prefix/share/applications/tilvane.desktop" 2>&1) ||
      fail "desktop-file-validate failed"
    [[ -z $out ]] || fail "desktop-file-validate: $out"
    out=$(appstreamcli validate --no-net --no-color \
      "$tmp/prefix/share/metainfo/io.github.tilvane.Tilvane.metainfo.xml" 2>&1) ||
      fail "appstreamcli validate failed: $out"
    if grep -E '^[EW]: ' <<<"$out"; then fail "appstreamcli validate reports the lines above"; fi
    ;;
  man)
    page="$build/cli/docs/tilvane-pack.1"
    MANWIDTH=100 man --warnings -l "$page" >"$tmp/page" 2>"$tmp/warnings" || fail "man -l failed"
    [[ ! -s $tmp/warnings ]] || fail "man warns: $(cat "$tmp/warnings")"
    # Every option --help lists is in the rendered page, and no other.
    "$build/cli/tilvane-pack" --help | grep -oE -- '^ {2}--[a-z-]+' | tr -d ' ' | sort >"$tmp/help"
    grep -oE -- '^ +--[a-z-]+' "$tmp/page" | tr -d ' ' | sort -u >"$tmp/man"
    [[ -s $tmp/help ]] || fail "--help lists no options"
    diff "$tmp/help" "$tmp/man" >&2 || fail "the options of --help and of the page differ (above)"
    ;;
  bash)
    mkdir -p "$tmp/work/sprites" "$tmp/work/scripts"
    touch "$tmp/work/atlas.png" "$tmp/work/settings.cfg"
    # name | the words offered, blank-separated | the words before the one
    # completed | the one completed (bash splits the line at "=").
    rows=(
      "option names|--rect-style|tilvane-pack|--rect-"
      "rect styles|0 1 2 3 4|tilvane-pack --rect-style|"
      "sort orders|name size random|tilvane-pack --sort|"
      "sort order begun|size|tilvane-pack --crop 1 --sort|s"
      "sort order after =|random|tilvane-pack --sort =|r"
      "right after =|name size random|tilvane-pack --sort|="
      "tiff compressions|0 9 13|tilvane-pack --tiff-compression|"
      "a number: nothing||tilvane-pack --width|"
      "input: folders only|scripts/ sprites/|tilvane-pack --input|"
      "settings: files|settings.cfg|tilvane-pack --settings|se"
    )
    for row in "${rows[@]}"; do
      IFS='|' read -r name expected words cur <<<"$row"
      # shellcheck disable=SC2086 # the words are split on purpose
      got=$(cd "$tmp/work" && bash --norc --noprofile -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _tilvane_pack
        for w in "${COMPREPLY[@]}"; do [[ -d $w ]] && w+=/; printf "%s\n" "$w"; done' \
        _ "$build/cli/docs/tilvane-pack.bash" $words "$cur" | sort | paste -sd' ')
      want=$(tr ' ' '\n' <<<"$expected" | sed '/^$/d' | sort | paste -sd' ')
      [[ $got == "$want" ]] || fail "$name: got '$got', want '$want'"
    done
    ;;
  *)
    echo "usage: $0 headless|desktop|man|bash BUILD_DIR" >&2
    exit 2
    ;;
esac
((failures == 0))
