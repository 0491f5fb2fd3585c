#!/usr/bin/env bash
# Starts "kordex --demo" on a virtual X server, opens the password dialog with
# Ctrl+A and expects the captions on the X server to be exactly the program's
# own: "Kordex Коммандер" and "Ввод пароля", with nothing added to them.
# Usage: captions-under-xvfb.sh KORDEX_BINARY
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
# The visible window whose caption is exactly the text given.
find_window() {
  local id
  for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    if [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ]; then echo "$id"; return 0; fi
  done
  return 1
}
captions() {
  local id
  for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    xdotool getwindowname "$id" 2>/dev/null
  done
}
wait_for() {
  local id
  for _ in $(seq 1 200); do
    id=$(find_window "$1") && { echo "$id"; return 0; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
fail() { echo "$1"; echo "captions shown:"; captions; cat "$work/out.log"; kill "$pid" 2>/dev/null; exit 1; }

main=$(wait_for 'Kordex Коммандер') || fail "no window captioned exactly 'Kordex Коммандер'"
xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
sleep 0.5
xdotool key --clearmodifiers ctrl+a
dialog=$(wait_for 'Ввод пароля') || fail "no window captioned exactly 'Ввод пароля'"
echo "password dialog $dialog"
# Close the dialog and whatever message it raised (the demo collector sits
# in the reader), the one in front first.
for _ in $(seq 1 30); do
  front=$(find_window 'Сообщение' || find_window 'Ввод пароля') || break
  xdotool windowfocus --sync "$front" 2>/dev/null || xdotool windowfocus "$front"
  xdotool key --clearmodifiers Escape
  sleep 0.3
done
if captions | grep -q ' — '; then fail "a caption has something added"; fi
xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
xdotool key --clearmodifiers alt+x
for _ in $(seq 1 100); do
  if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; exit $?; fi
  sleep 0.1
done
fail "kordex still runs 10 s after Alt+X"
INNER
chmod +x "$work/session.sh"
mkdir -p "$work/home"
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24" "$work/session.sh" "$kordex" "$work"
