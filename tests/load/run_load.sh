#!/usr/bin/env bash
# Inside a private namespace (sandbox.sh --pid): serves the pages as the demo
# does on a free port and runs the load client against them.
#   run_load.sh BUILD_DIR LOAD_CLIENT [REQUESTS] [CONCURRENCY]
# Exit 77 (skipped) when lighttpd is not installed.
set -euo pipefail
build=$1
client=$2
shift 2
src=$(cd "$(dirname "$0")/../.." && pwd)
export PATH="$PATH:/usr/sbin:/sbin"
command -v lighttpd >/dev/null || { echo "lighttpd is not installed" >&2; exit 77; }

port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# Another program may take the port between the look and the bind: try again.
for attempt in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 20000))
    port_taken "$port" && continue
    "$src"/scripts/demo-serve "$build" "$port" >/dev/null &
    server=$!
    for _ in $(seq 100); do
        port_taken "$port" && break
        kill -0 "$server" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$server" 2>/dev/null && port_taken "$port"; then
        "$client" "$port" /tmp/demo/bin/imish "$@"
        exit
    fi
    wait "$server" || true
done
echo "run_load: lighttpd did not start" >&2
cat /tmp/demo/lighttpd.log >&2 2>/dev/null || true
exit 1
