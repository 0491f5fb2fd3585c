#!/usr/bin/env bash
# Starts "kordex --demo" on a virtual X server, waits for its main window,
# presses Alt+X in it and expects the program to end by itself with status 0.
# Usage: demo-under-xvfb.sh KORDEX_BINARY
set -euo pipefail
kordex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/session.sh" <<'INNER'
#!/usr/bin/env bash
set -u
kordex=$1 work=$2
HOME=$work/home "$kordex" --demo --home "$work/demo" >"$work/out.log" 2>&1 &
pid=$!
window=
for _ in $(seq 1 200); do
  window=$(xdotool search --onlyvisible --name 'Kordex Коммандер' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "kordex ended before its window showed"; cat "$work/out.log"; exit 1; }
  sleep 0.1
done
if [ -z "$window" ]; then echo "no main window within 20 s"; kill "$pid"; exit 1; fi
echo "main window $window"
# A loaded machine may show the window before it takes keys: Alt+X is
# pressed again (at most three times) while the program still runs.
for attempt in 1 2 3; do
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  sleep 0.5
  xdotool key --clearmodifiers alt+x
  for _ in $(seq 1 50); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; rc=$?
      cat "$work/out.log"
      echo "kordex ended with status $rc after $attempt Alt+X"
      exit "$rc"
    fi
    sleep 0.1
  done
done
echo "kordex still runs 15 s after three Alt+X"; cat "$work/out.log"; kill "$pid"; exit 1
INNER
chmod +x "$work/session.sh"
mkdir -p "$work/home"
# QT_QPA_PLATFORM from the test environment would keep the window off the X server.
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24" "$work/session.sh" "$kordex" "$work"
