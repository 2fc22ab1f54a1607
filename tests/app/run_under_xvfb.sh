#!/usr/bin/env bash
# Starts the real program under a virtual X server from a copy in a temporary
# folder with a temporary HOME, waits for its window, ends it with SIGTERM, and
# checks that the settings file was written at exit into the configuration
# folder, and nothing beside the program.
set -euo pipefail
program=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/tilvane-xvfb-XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/tilvane"
export HOME="$work/home"
mkdir -p "$HOME"
unset XDG_CONFIG_HOME
settings="$HOME/.config/tilvane/Settings.cfg"

# Runs inside the X server's session: start, wait for the window, terminate.
cat >"$work/session.sh" <<'SESSION'
#!/usr/bin/env bash
set -u
work=$1
# Arguments must have no effect, Qt's own included.
"$work/tilvane" -platform offscreen --input /nonexistent &
pid=$!
shown=no
for _ in $(seq 1 150); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Tilvane"'; then shown=yes; break; fi
  if ! kill -0 "$pid" 2>/dev/null; then break; fi
  sleep 0.1
done
echo "window shown: $shown"
kill -TERM "$pid" 2>/dev/null
wait "$pid"
status=$?
echo "exit status: $status"
[[ $shown == yes && $status == 0 ]]
SESSION
chmod +x "$work/session.sh"

unset QT_QPA_PLATFORM
if ! xvfb-run -a "$work/session.sh" "$work"; then
  echo "FAIL: the program did not show its window or did not end cleanly" >&2
  exit 1
fi
size=$(stat -c %s "$settings" 2>/dev/null || echo 0)
if [[ $size -ne 20552 ]]; then
  echo "FAIL: $settings was not written at exit (size $size)" >&2
  exit 1
fi
if [[ -e "$work/Settings.cfg" ]]; then
  echo "FAIL: Settings.cfg was written beside the program" >&2
  exit 1
fi
echo "PASS: window shown, closed by SIGTERM, $settings written ($size bytes)"
