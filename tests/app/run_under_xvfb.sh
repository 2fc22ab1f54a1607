#!/usr/bin/env bash
# Runs the real program under a virtual X server, from a copy in a temporary
# folder with a temporary HOME, and checks the settings file it writes at exit
# ($HOME/.config/tilvane/Settings.cfg; nothing may appear beside the program).
#
#   run_under_xvfb.sh PROGRAM close    wait for the window, end it with SIGTERM:
#                                      the settings file is written
#   run_under_xvfb.sh PROGRAM escape   under a window manager, type 777 into
#                                      Output Width, Tab, type 333 into Output
#                                      Height, press Escape: the width was
#                                      committed by Tab, the height was not
#   run_under_xvfb.sh PROGRAM build N PACK
#                                      N generated sprites; tilvane-pack (PACK)
#                                      saves its settings (a fitted size, a JSON
#                                      hash) as the dialog's and builds from
#                                      them; the dialog, started on them,
#                                      builds on Alt+G: the Done dialog opens
#                                      and the files are byte for byte PACK's.
#                                      Prints the seconds from Alt+G to Done.
#   run_under_xvfb.sh PROGRAM cancel N PACK
#                                      as build, over PACK's files of the same
#                                      settings; Cancel (Alt+N) during the
#                                      build: the program idles, no Done
#                                      dialog, and the files are unchanged
set -euo pipefail
program=$1
mode=${2:-close}
count=${3:-0}
pack=${4:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/tilvane-xvfb-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cp "$program" "$work/bin/tilvane"
export HOME="$work/home"
mkdir -p "$HOME"
unset XDG_CONFIG_HOME QT_QPA_PLATFORM
settings="$HOME/.config/tilvane/Settings.cfg"

# N sprites of 4 to 23 pixels a side, each a noisy block in a transparent
# margin, written from a pool of 97 images under N names (fast for 30,000).
make_sprites() {
  python3 - "$1" "$2" <<'PY'
import random, struct, sys, zlib
count, folder = int(sys.argv[1]), sys.argv[2]
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
rng = random.Random(7)
pool = []
for _ in range(97):
    w, h = rng.randint(4, 23), rng.randint(4, 23)
    rows = b""
    for y in range(h):
        row = bytearray([0])
        for x in range(w):
            inside = 1 <= x < w - 1 and 1 <= y < h - 1
            row += bytes([rng.randrange(256), rng.randrange(256), rng.randrange(256), 255 if inside else 0])
        rows += row
    pool.append(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows, 1)) + chunk(b"IEND", b""))
for i in range(count):
    with open("%s/sprite%05d.png" % (folder, i), "wb") as f:
        f.write(pool[i % len(pool)])
PY
}

if [[ $mode == build || $mode == cancel ]]; then
  [[ $count -gt 0 && -x $pack ]] || fail "usage: run_under_xvfb.sh PROGRAM $mode N TILVANE_PACK"
  mkdir -p "$work/in" "$work/out" "$work/ref" "$(dirname "$settings")"
  make_sprites "$count" "$work/in"
  # The atlas holds every sprite: 4096 pixels a side for 30,000 of them.
  side=$(( count > 5000 ? 4096 : 2048 ))
  # A build asks for a fitted size and a JSON hash, which ride in the settings
  # file's extension block: the files are those tilvane-pack --settings builds.
  more=()
  [[ $mode == build ]] && more=(--fit any --format hash)
  more_block=$'fit=any\nformat=hash\n'
  "$pack" --quiet --input "$work/in" --image "$work/out/atlas.png" --text "$work/out/atlas.json" \
    --width "$side" --height "$side" --mask --sort size "${more[@]}" --save-settings "$settings" \
    >/dev/null || fail "tilvane-pack could not build the reference"
  rm -f "$work/out/"*
  "$pack" --quiet --settings "$settings" >/dev/null || fail "tilvane-pack --settings failed"
  cp -p "$work/out/"* "$work/ref/"
  # The dialog builds afresh, or over these files when cancelled.
  [[ $mode == build ]] && rm -f "$work/out/"*
fi

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs inside the X server's session; prints what went wrong and exits
# non-zero on any failure.
cat >"$work/session.sh" <<'SESSION'
#!/usr/bin/env bash
set -u
work=$1
mode=$2
say() { echo "session: $*" >&2; }
# Waits at most $1 tenths of a second for the command after it to succeed;
# generous, since a loaded machine can take many seconds to start X clients.
within() {
  local tenths=$1
  shift
  for _ in $(seq 1 "$tenths"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
# grep reads all its input (no -q): stopping early would end the writer with
# SIGPIPE, which pipefail reports as a failure of the whole pipeline.
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep 'window id' >/dev/null; }
window_shown() { xwininfo -root -tree | grep '"Tilvane"' >/dev/null; }

if [[ $mode != close ]]; then
  # A window manager that gave up (a busy machine) is started again.
  started=0
  for _ in 1 2 3; do
    openbox --sm-disable >>"$work/openbox.log" 2>&1 &
    if within 200 wm_running; then started=1; break; fi
    kill "$!" 2>/dev/null
  done
  if [[ $started == 0 ]]; then
    say "the window manager did not start:"
    cat "$work/openbox.log" >&2
    exit 1
  fi
fi

# Arguments must have no effect, Qt's own included.
"$work/bin/tilvane" -platform offscreen --input /nonexistent &
pid=$!
if ! within 600 window_shown; then
  say "the window did not appear"
  kill -TERM "$pid" 2>/dev/null
  exit 1
fi

if [[ $mode != close ]]; then
  # Listed is not yet mapped: wait until xdotool sees it visible.
  within 300 xdotool search --onlyvisible --name '^Tilvane$'
  window=$(xdotool search --onlyvisible --name '^Tilvane$' | head -n 1)
  [[ -n $window ]] || { say "xdotool did not find the window"; kill -TERM "$pid"; exit 1; }
  timeout 5 xdotool windowactivate --sync "$window" || { say "could not activate the window"; kill -TERM "$pid"; exit 1; }
fi

# The processor seconds the program has used, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
result_shown() { xwininfo -root -tree | grep -e '"Done!"' -e '"Report"' >/dev/null; }

if [[ $mode == build ]]; then
  start=$(date +%s.%N)
  xdotool key alt+g
  if ! within 1200 result_shown; then
    say "no Done dialog within two minutes"
    kill -TERM "$pid"
    exit 1
  fi
  end=$(date +%s.%N)
  xwininfo -root -tree | grep '"Done!"' >/dev/null || { say "the Report opened, not Done"; kill -TERM "$pid"; exit 1; }
  awk "BEGIN { printf \"%.2f\", $end - $start }" >"$work/seconds"
  kill -TERM "$pid"
elif [[ $mode == cancel ]]; then
  xdotool key alt+g
  # Cancel is disabled until the build is armed (GO! clicks after 100 ms,
  # then the scan): pressed every 0.3 s, the first one after that cancels.
  for _ in $(seq 1 10); do
    sleep 0.3
    xdotool key alt+n
  done
  if result_shown; then say "the build was not cancelled"; kill -TERM "$pid"; exit 1; fi
  # A build still running would keep a core busy; a cancelled one idles.
  sleep 1
  before=$(cpu_ticks "$pid")
  sleep 2
  used=$(( $(cpu_ticks "$pid") - before ))
  if (( used > 40 )); then say "the program is still busy ($used ticks in 2 s)"; kill -TERM "$pid"; exit 1; fi
  if result_shown; then say "the build was not cancelled"; kill -TERM "$pid"; exit 1; fi
  kill -TERM "$pid"
elif [[ $mode == escape ]]; then
  # The focus starts on the first control (Input Folder); Output Width is the
  # tenth in the tab order, Output Height the eleventh.
  xdotool key --delay 40 Tab Tab Tab Tab Tab Tab Tab Tab Tab
  xdotool type --delay 40 777
  xdotool key --delay 40 Tab
  xdotool type --delay 40 333
  xdotool key Escape
  if ! within 300 bash -c "! kill -0 $pid"; then
    say "Escape did not close the window"
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    exit 1
  fi
else
  kill -TERM "$pid" 2>/dev/null
fi
wait "$pid"
status=$?
[[ $status == 0 ]] || { say "exit status $status"; exit 1; }
SESSION
chmod +x "$work/session.sh"

# The display number is searched from a random start: other runs on the
# machine (other build trees) look for a free one at the same time.
xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x900x24" "$work/session.sh" "$work" "$mode" ||
  fail "the run under Xvfb failed (see above)"

size=$(stat -c %s "$settings" 2>/dev/null || echo 0)
# The 28 fields, and in a build the extension block of the options beyond them.
expected=20552
[[ $mode == build ]] && expected=$((20552 + 8 + ${#more_block}))
[[ $size -eq $expected ]] || fail "$settings was not written at exit (size $size)"
beside=$(ls -A "$work/bin" | grep -vx tilvane || true)
[[ -z $beside ]] && [[ ! -e "$work/Settings.cfg" ]] || fail "files written beside the program: $beside"

if [[ $mode == build || $mode == cancel ]]; then
  [[ $(ls -A "$work/out") == $(ls -A "$work/ref") ]] ||
    fail "the output folder holds $(ls -A "$work/out" | tr '\n' ' '), not $(ls -A "$work/ref" | tr '\n' ' ')"
  for file in "$work/ref/"*; do
    cmp -s "$file" "$work/out/$(basename "$file")" || fail "$(basename "$file") differs from tilvane-pack's"
  done
  if [[ $mode == build ]]; then
    echo "PASS: $count sprites: Done after $(cat "$work/seconds") s (Alt+G to the Done dialog), files as tilvane-pack's: $(ls "$work/ref" | tr '\n' ' ')"
  else
    echo "PASS: $count sprites: the build was cancelled, the earlier files are unchanged"
  fi
elif [[ $mode == escape ]]; then
  # outputWidth and outputHeight: two little-endian 32-bit fields after the
  # five 2048-byte text fields.
  read -r width height < <(od -An -tu4 -j10240 -N8 "$settings")
  [[ $width == 777 ]] || fail "Output Width is $width, not the 777 typed and left with Tab: the keys did not arrive"
  [[ $height == 512 ]] || fail "Output Height is $height: Escape committed the field being edited"
  echo "PASS: Tab committed the width (777), Escape left the height as it was (512)"
else
  echo "PASS: window shown, closed by SIGTERM, $settings written ($size bytes)"
fi
