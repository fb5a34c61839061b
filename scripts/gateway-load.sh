#!/usr/bin/env bash
# The gateway under load, with faults: CLIENTS libmodbus clients at once
# (tests/support/libmodbus_tcp_client.c), each writing and reading back
# registers of its own on stations 1 and 2, through `mbrtu gateway` to
# `mbrtu simulate` behind `mbrtu proxy`, which drops, delays, corrupts or
# splits a share of the replies. Delays and split pauses stay within the
# link's time-out: a reply later than that could be taken for the next
# request's reply, which RTU framing cannot tell apart (no transaction id).
#
#   scripts/gateway-load.sh                      100,000 requests, 16 clients
#   scripts/gateway-load.sh --seconds 5          a short run (ctest's)
#   options: --requests N  --seconds S  --clients N  --fault-rate R (0.1)
#            --build DIR (use the programs built there; else build them)
#
# Prints the clients' figures and the gateway's answers by kind. Exits 0 only
# when no client read a wrong value, every request was answered within the
# gateway's deadline, each client's answers are within a factor of two of
# the mean, and the gateway, the proxy and the slave all end with status 0
# when stopped (a sanitizer's report ends a program with another).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
requests=100000 seconds=3600 clients=16 rate=0.1 build=""
while [ $# -gt 0 ]; do
  case $1 in
    --requests) requests=$2; shift 2 ;;
    --seconds) seconds=$2; requests=""; shift 2 ;;
    --clients) clients=$2; shift 2 ;;
    --fault-rate) rate=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "gateway-load.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
done
timeout_ms=300 retries=2 deadline_ms=2500

if [ -z "$build" ]; then
  "$root/scripts/install-deps.sh"
  build="$root/build"
  echo "building mbrtu and the libmodbus client in $build (log: $build.build.log)"
  { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build "$build" -j "$(nproc)" --target mbrtu libmodbus_tcp_client; } > "$build.build.log" 2>&1 \
    || { tail -50 "$build.build.log"; exit 1; }
fi
mbrtu="$build/host/mbrtu"
client="$build/tests/host/gateway/libmodbus_tcp_client"

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The port a program started in the background says it listens on.
port_of() {
  for _ in $(seq 200); do
    if grep -q "listening on 127.0.0.1:" "$1"; then
      grep -o "listening on 127.0.0.1:[0-9]*" "$1" | head -1 | cut -d: -f2
      return 0
    fi
    sleep 0.05
  done
  echo "gateway-load.sh: no program listening:" >&2; cat "$1" >&2; exit 1
}

"$mbrtu" simulate --port 0 --station 1,2 > "$work/slave.log" 2>&1 &
pids+=($!)
slave_port=$(port_of "$work/slave.log")
"$mbrtu" proxy --to "127.0.0.1:$slave_port" --faults drop,delay,corrupt,split --fault-rate "$rate" \
  --late-ms $((timeout_ms / 3)) --seed 1 > "$work/proxy.log" 2>&1 &
pids+=($!)
proxy_port=$(port_of "$work/proxy.log")
"$mbrtu" gateway --listen 0 --port "$proxy_port" --app-dir "$work" --timeout $timeout_ms --retries $retries \
  --deadline $deadline_ms --max-clients "$clients" > "$work/gateway.log" 2>&1 &
pids+=($!)
gateway_port=$(port_of "$work/gateway.log")
echo "gateway on port $gateway_port in front of the proxy ($rate of the replies faulty) and the slave;" \
     "time-out $timeout_ms ms, $retries retries, deadline $deadline_ms ms"

status=0
"$client" load "$gateway_port" "$clients" "$seconds" "$deadline_ms" $requests || status=$?
kill -TERM "${pids[2]}"
wait "${pids[2]}" || status=1
grep -o "stopped: .*" "$work/gateway.log"
kill -TERM "${pids[1]}"
wait "${pids[1]}" || { status=1; echo "the proxy ended badly:"; tail -20 "$work/proxy.log"; }
grep -o "faults injected: .*" "$work/proxy.log" 2>/dev/null || true
kill -TERM "${pids[0]}"
wait "${pids[0]}" || { status=1; echo "the slave ended badly:"; tail -20 "$work/slave.log"; }
exit $status
