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
set -euo pipefail
program=$1
mode=${2:-close}
work=$(mktemp -d "${TMPDIR:-/tmp}/tilvane-xvfb-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cp "$program" "$work/bin/tilvane"
export HOME="$work/home"
mkdir -p "$HOME"
unset XDG_CONFIG_HOME QT_QPA_PLATFORM
settings="$HOME/.config/tilvane/Settings.cfg"

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
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
window_shown() { xwininfo -root -tree | grep -q '"Tilvane"'; }

if [[ $mode == escape ]]; then
  openbox --sm-disable >/dev/null 2>&1 &
  within 600 wm_running || { say "the window manager did not start"; exit 1; }
fi

# Arguments must have no effect, Qt's own included.
"$work/bin/tilvane" -platform offscreen --input /nonexistent &
pid=$!
if ! within 600 window_shown; then
  say "the window did not appear"
  kill -TERM "$pid" 2>/dev/null
  exit 1
fi

if [[ $mode == escape ]]; then
  window=$(xdotool search --onlyvisible --name '^Tilvane$' | head -n 1)
  [[ -n $window ]] || { say "xdotool did not find the window"; kill -TERM "$pid"; exit 1; }
  timeout 5 xdotool windowactivate --sync "$window" || { say "could not activate the window"; kill -TERM "$pid"; exit 1; }
  # The focus starts on the first control; Output Width is the eleventh in
  # the tab order, Output Height the twelfth.
  xdotool key --delay 40 Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab
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

xvfb-run -a "$work/session.sh" "$work" "$mode" || fail "the run under Xvfb failed (see above)"

size=$(stat -c %s "$settings" 2>/dev/null || echo 0)
[[ $size -eq 20552 ]] || fail "$settings was not written at exit (size $size)"
beside=$(ls -A "$work/bin" | grep -vx tilvane || true)
[[ -z $beside ]] && [[ ! -e "$work/Settings.cfg" ]] || fail "files written beside the program: $beside"

if [[ $mode == escape ]]; then
  # outputWidth and outputHeight: two little-endian 32-bit fields after the
  # five 2048-byte text fields.
  read -r width height < <(od -An -tu4 -j10240 -N8 "$settings")
  [[ $width == 777 ]] || fail "Output Width is $width, not the 777 typed and left with Tab: the keys did not arrive"
  [[ $height == 512 ]] || fail "Output Height is $height: Escape committed the field being edited"
  echo "PASS: Tab committed the width (777), Escape left the height as it was (512)"
else
  echo "PASS: window shown, closed by SIGTERM, $settings written ($size bytes)"
fi
