#!/usr/bin/env bash
# Inside a private namespace (sandbox.sh --pid): serves the pages as the demo
# does on a free port and runs the add page's load checker against them.
#   run_load.sh BUILD_DIR ADD_LOAD_CHECKER [REQUESTS] [CONCURRENCY]
# Exit 77 (skipped) when lighttpd is not installed.
set -euo pipefail
build=$1 checker=$2
shift 2
src=$(cd "$(dirname "$0")/../.." && pwd)
. "$src"/scripts/lib.sh
export PATH="$PATH:/usr/sbin:/sbin"
command -v lighttpd >/dev/null || { echo "lighttpd is not installed" >&2; exit 77; }

# Another program may take the port between the look and the bind: try again.
for attempt in 1 2 3 4 5; do
    port=$(free_port)
    "$src"/scripts/demo-serve "$build" "$port" >/dev/null &
    server=$!
    if wait_for_port "$port" "$server" && kill -0 "$server" 2>/dev/null; then
        "$checker" "$port" /tmp/demo/bin/imish "$@"
        exit
    fi
    wait "$server" || true
done
echo "run_load: lighttpd did not start" >&2
cat /tmp/demo/lighttpd.log >&2 2>/dev/null || true
exit 1
