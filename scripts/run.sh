#!/usr/bin/env bash
# Installs what is missing, builds and starts Rufwart 32.
#
# When no CAPI is configured (no RUFWART_CAPI_REMOTE, no ISDN_CapiRemote setting, no REMOTE line
# in ~/.capi20rc, no /dev/capi20) it starts the virtual exchange isdnsim on a free loopback
# port, points the program at it and, once the program listens, places one demo call. A copy set
# to "Nur Anzeige" opens no CAPI (it shows the calls other copies tell over MQTT): it starts alone.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target rufwart isdnsim

capi_configured() {
  [ -n "${RUFWART_CAPI_REMOTE:-}" ] && return 0
  local ini="${XDG_CONFIG_HOME:-$HOME/.config}/Elbwerk/Zahlwerk.ini"
  if [ -f "$ini" ] && grep -iqE '^ISDN_CapiRemote[[:space:]]*=[[:space:]]*"?[^"[:space:]]' "$ini"; then
    return 0
  fi
  if [ -f "$HOME/.capi20rc" ] && grep -qE '^[[:space:]]*REMOTE[[:space:]]' "$HOME/.capi20rc"; then
    return 0
  fi
  [ -e /dev/capi20 ] && return 0
  return 1
}

display_only() {
  local ini="${XDG_CONFIG_HOME:-$HOME/.config}/Elbwerk/Zahlwerk.ini"
  [ -f "$ini" ] && grep -iqE '^ISDN_DisplayOnly[[:space:]]*=[[:space:]]*"?(1|true)' "$ini"
}

if capi_configured || display_only; then
  exec build/bin/rufwart
fi

sim=build/bin/isdnsim
workdir=$(mktemp -d)
sim_pid=""
call_pid=""
cleanup() {
  [ -n "$call_pid" ] && kill "$call_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$sim" serve --port 0 --port-file "$workdir/port" >"$workdir/isdnsim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do
  [ -s "$workdir/port" ] && break
  sleep 0.05
done
if [ ! -s "$workdir/port" ]; then
  echo "isdnsim did not start:" >&2
  cat "$workdir/isdnsim.log" >&2
  exit 1
fi
port=$(head -n1 "$workdir/port")
server="127.0.0.1:$port"
export RUFWART_CAPI_REMOTE="$server"
echo "No CAPI configured: using the virtual exchange isdnsim on $server."

build/bin/rufwart &
app_pid=$!

# Once the program listens (the exchange knows a listening application), ring it once.
for _ in $(seq 300); do
  kill -0 "$app_pid" 2>/dev/null || break
  if "$sim" status --server "$server" 2>/dev/null | grep -qE '^APPL .*cip_mask=0x[1-9A-F]'; then
    echo "Demo call from 0301234567 to 4711 ..."
    "$sim" call --server "$server" --from 0301234567 --to 4711 --service telephony \
      --hangup-after-ms 15000 &
    call_pid=$!
    break
  fi
  sleep 0.1
done
echo "Place more calls with:"
echo "  $sim call --server $server --from 0301234567 --to 4711 --service telephony"

wait "$app_pid" || true
