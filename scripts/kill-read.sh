#!/usr/bin/env bash
# Kills `kordex-cli read` at random moments of a 1000-event read at 9600 baud
# and checks after each kill that the store holds no orphan rows, no half
# round, and the rounds stored before exactly as they were.
#
#   scripts/kill-read.sh            # 20 kills
#   KILLS=3 scripts/kill-read.sh    # fewer (CTest runs it so)
#
# Builds nothing: it runs kordex-sim and kordex-cli from build/bin (or from
# KORDEX_BIN_DIR) and needs sqlite3. SEED=N repeats a run's kill moments.
# Exit status: 0 when every check held, 1 on a breach (a line starting with
# "kill-read: BREACH" says which), 2 when it cannot run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${KORDEX_BIN_DIR:-$root/build/bin}
kills=${KILLS:-20}
seed=${SEED:-$$}
RANDOM=$seed

say() { echo "kill-read: $*"; }
die() { say "$*" >&2; exit 2; }
breach() { say "BREACH $*" >&2; exit 1; }

for tool in "$bin/kordex-sim" "$bin/kordex-cli"; do
  [ -x "$tool" ] || die "$tool is missing (build first: scripts/build.sh)"
done
command -v sqlite3 >/dev/null || die "sqlite3 is missing"
[[ $kills =~ ^[0-9]+$ ]] || die "KILLS must be a number, not \"$kills\""

work=$(mktemp -d "${TMPDIR:-/tmp}/kill-read.XXXXXX")
home=$work/home
sim_pid=
cli_pid=
cleanup() {
  [ -n "$cli_pid" ] && kill -KILL "$cli_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# --- the collectors -------------------------------------------------------

# The 1-Wire CRC-8 of the given byte values.
crc8() {
  local crc=0 b i
  for b in "$@"; do
    for ((i = 0; i < 8; i++)); do
      if (((crc ^ b) & 1)); then crc=$(((crc >> 1) ^ 0x8C)); else crc=$((crc >> 1)); fi
      b=$((b >> 1))
    done
  done
  echo "$crc"
}

# The key text of a touch key (family 0x01, a 32-bit serial number).
key() {
  local s=$1
  printf '01%012X%02X' "$s" \
    "$(crc8 1 $((s & 255)) $((s >> 8 & 255)) $((s >> 16 & 255)) $((s >> 24 & 255)) 0 0)"
}

points=()
for p in 1 2 3 4 5 6; do points+=("$(key $((0x0003A000 + p)))"); done

# A collector registered at 06:00 of the given day (dd.mm.yyyy) on path 1 in
# mode 2, with 1000 touches walking points 1..5 one a minute; point 6 of the
# path is never touched, so every round has one missed point.
scenario() {
  local day=$1 i
  {
    echo "{\"id\": \"$(key 0x00F4D2B1)\", \"registrar\": \"$(key 0x00013A71)\","
    echo " \"guard\": \"$(key 0x00013A72)\", \"stamp\": \"$day 06:00:00\", \"interval\": 10,"
    echo " \"path\": {\"id\": 1, \"mode\": 2}, \"memo\": \"kill-read\", \"events\": ["
    for ((i = 0; i < 1000; i++)); do
      printf '  {"key": "%s", "time": "%s %02d:%02d"}%s\n' "${points[i % 5]}" "$day" \
        $((6 + (i + 1) / 60)) $(((i + 1) % 60)) "$([ $i -lt 999 ] && echo ,)"
    done
    echo "]}"
  }
}
scenario 01.03.2026 >"$work/stored.json"  # read whole first: the earlier round
scenario 02.03.2026 >"$work/new.json"     # a collector not read before

# kordex-sim on a new pseudo-terminal for each read: a killed program leaves
# the terminal reserved for exclusive use, which only root could open again.
start_sim() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -f "$work/sim.out"
  "$bin/kordex-sim" --scenario "$1" --baud 9600 >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  local i
  for ((i = 0; i < 100; i++)); do
    device=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
    [ -n "$device" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/sim.err" >&2
  die "kordex-sim did not start"
}

# --- the store ------------------------------------------------------------

# The tables made by a read that finds no port, then the check points and
# path 1 (points 1..6) put in.
"$bin/kordex-cli" read --device "$work/no-port" --home "$home" >/dev/null 2>&1 || true
db=$home/DB
[ -f "$db/KDEvents.DB" ] || die "kordex-cli made no store in $home"
{
  for p in 0 1 2 3 4 5; do
    echo "INSERT INTO Keys (Key, Name, IsPrBook, IsKD) VALUES ('${points[p]}', 'Точка $((p + 1))', 0, 0);"
  done
} | sqlite3 "$db/Keys.DB"
sqlite3 "$db/Pathes.DB" "INSERT INTO Pathes (ID, Name) VALUES (1, 'Обход');"
for p in 0 1 2 3 4 5; do
  sqlite3 "$db/PPathes.DB" "INSERT INTO PPathes (PathID, Key) VALUES (1, '${points[p]}');"
done

sql() {
  sqlite3 -batch "$db/KDEvents.DB" \
    "ATTACH '$db/KDREvs.DB' AS r; ATTACH '$db/KDLEvs.DB' AS l; $1"
}

# What must hold after every read, finished or killed: every touch and
# missed point belongs to a round, every round has all 1000 touches and its
# totals agree with them.
check() {
  local when=$1 n
  n=$(sql "SELECT count(*) FROM r.KDREvs WHERE DateReg NOT IN (SELECT DateReg FROM main.KDEvents);")
  [ "$n" = 0 ] || breach "$when: $n touches without their round"
  n=$(sql "SELECT count(*) FROM l.KDLEvs WHERE DateReg NOT IN (SELECT DateReg FROM main.KDEvents);")
  [ "$n" = 0 ] || breach "$when: $n missed points without their round"
  n=$(sql "SELECT count(*) FROM main.KDEvents e WHERE
             (SELECT count(*) FROM r.KDREvs t WHERE t.DateReg = e.DateReg) <> 1000
          OR (SELECT count(*) FROM r.KDREvs t WHERE t.DateReg = e.DateReg AND t.Type IN (0, 7))
             IS NOT e.N
          OR (SELECT count(*) FROM l.KDLEvs m WHERE m.DateReg = e.DateReg) IS NOT e.FromN - e.N;")
  [ "$n" = 0 ] || breach "$when: $n rounds whose touches or missed points do not match them"
}

# Every row of the round tables (real numbers exact to the last bit), but
# those of the round registered at $1 when it is given.
dump() {
  local t where=
  [ -n "${1:-}" ] && where="WHERE DateReg <> $1"
  for t in KDEvents KDREvs KDLEvs; do
    sqlite3 -batch "$db/$t.DB" ".mode insert $t" "SELECT * FROM $t $where ORDER BY rowid;"
  done
}

# One read with --yes. With a delay in milliseconds it runs in the
# background and is killed with SIGKILL then, or, given a second number, that
# many milliseconds after it began judging the round read (looked for from
# the delay on); killed_at is the moment of the kill. Without a delay it runs
# to its end and its messages are stamped with the milliseconds since its
# start. Sets status (137 when killed) and ms (its run time).
read_collector() {
  local delay=${1:-} after=${2:-} start
  start=$(date +%s%N)
  if [ -n "$delay" ]; then
    "$bin/kordex-cli" read --device "$device" --home "$home" --yes \
      >"$work/cli.out" 2>"$work/cli.err" &
    cli_pid=$!
    sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
    if [ -n "$after" ]; then
      while ! grep -q "Обработка данных:" "$work/cli.err" && kill -0 "$cli_pid" 2>/dev/null; do
        sleep 0.002
      done
      sleep "$(printf '%d.%03d' $((after / 1000)) $((after % 1000)))"
    fi
    killed_at=$((($(date +%s%N) - start) / 1000000))
    kill -KILL "$cli_pid" 2>/dev/null || true
    status=0
    { wait "$cli_pid"; } 2>/dev/null || status=$?
    cli_pid=
  else
    status=0
    "$bin/kordex-cli" read --device "$device" --home "$home" --yes 2>&1 >"$work/cli.out" |
      while IFS= read -r line; do
        echo "$((($(date +%s%N) - start) / 1000000)) $line"
      done >"$work/cli.err" || status=$?
  fi
  ms=$((($(date +%s%N) - start) / 1000000))
  if grep -q "занят" "$work/cli.err"; then
    cat "$work/cli.err" >&2
    breach "the lock left by a killed read was not taken over"
  fi
}

# --- the run --------------------------------------------------------------

say "seed $seed, $kills kills, store in $home"
start_sim "$work/stored.json"
read_collector
[ "$status" = 0 ] || { cat "$work/cli.err" >&2; breach "the first read failed ($status)"; }
full=$ms
check "after the first read"
[ "$(sql 'SELECT count(*) FROM main.KDEvents;')" = 1 ] || breach "the first read stored no round"
[ "$(sql 'SELECT count(*) FROM l.KDLEvs;')" = 1 ] || breach "the first round has not its missed point"
dump >"$work/before.sql"
stored=$(sql 'SELECT DateReg FROM main.KDEvents;')  # registered a day apart
new=$(sql 'SELECT DateReg + 1 FROM main.KDEvents;')
# The collector is read by then; what follows judges the round and stores it.
tail=$(awk '/Обработка данных:/ { print $1; exit }' "$work/cli.err")
tail=${tail:-$((full - 300))}
say "a whole read takes $full ms, judging and storing the last $((full - tail)) ms"

for ((k = 1; k <= kills; k++)); do
  # Odd kills read the stored collector again (its round is replaced only
  # when the new one is whole), even ones a new collector. Every other kill
  # falls into the judging and storing at the end of a read, timed from the
  # moment the read says it begins.
  if ((k % 2)); then
    start_sim "$work/stored.json"
    reg=$stored
  else
    start_sim "$work/new.json"
    reg=$new
  fi
  dump "$reg" >"$work/others.sql"
  r=$((RANDOM * 32768 + RANDOM))
  if ((k % 4 < 2)); then
    read_collector $((r % full))
    at="at $killed_at ms"
  else
    after=$((r % (full - tail + 20)))
    read_collector $((tail > 2000 ? tail - 2000 : 0)) "$after"
    at="at $killed_at ms ($after ms into judging)"
  fi
  lock=no
  [ -f "$home/Kordex.lck" ] && lock=yes
  check "after kill $k $at"
  if [ "$status" = 137 ]; then
    dump >"$work/after.sql"
    if cmp -s "$work/before.sql" "$work/after.sql"; then
      say "kill $k/$kills $at: killed, store intact (lock file left: $lock)"
    elif grep -q "Данные успешно прочитаны" "$work/cli.err" &&
      dump "$reg" | cmp -s "$work/others.sql" -; then
      # Killed after it had said so and stored its round (whole, as checked).
      dump >"$work/before.sql"
      say "kill $k/$kills $at: killed after storing its round (lock file left: $lock)"
    else
      diff "$work/before.sql" "$work/after.sql" | head -n 20 >&2 || true
      breach "after kill $k $at: the stored rounds changed"
    fi
  elif [ "$status" = 0 ]; then
    dump >"$work/before.sql"  # finished before the kill: its round is stored now
    say "kill $k/$kills $at: the read had finished (${ms} ms)"
  else
    cat "$work/cli.err" >&2
    breach "after kill $k: the read ended with $status"
  fi
done

start_sim "$work/new.json"
read_collector
[ "$status" = 0 ] || { cat "$work/cli.err" >&2; breach "the last read failed ($status)"; }
check "after the last read"
rounds=$(sql 'SELECT count(*) FROM main.KDEvents;')
[ "$rounds" = 2 ] || breach "after the last read: $rounds rounds, not 2"
say "done: $kills kills, the store intact, the last read whole ($ms ms)"
