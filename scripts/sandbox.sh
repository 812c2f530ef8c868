#!/bin/sh
# Runs a command in a private mount and IPC namespace with fresh tmpfs on the
# paths the CGI programs use, so the real binaries keep their production paths
# and the host's files are never touched.
#   sandbox.sh [--pid] COMMAND [ARG...]
# With --pid the command also gets its own process namespace, so that every
# process it starts ends with it (the demo's servers).
set -eu
if [ "${WEBSIM_SANDBOXED:-}" != 1 ]; then
    export WEBSIM_SANDBOXED=1
    ns="--mount --ipc --propagation private --kill-child"
    if [ "${1:-}" = --pid ]; then
        shift
        ns="$ns --pid --mount-proc"
    fi
    [ "$(id -u)" -eq 0 ] || ns="--user --map-root-user $ns"
    exec unshare $ns -- "$0" "$@"
fi

# Inside the namespace. Keep the directories the test needs (its own
# command, the working directory) reachable even when they lie under a
# path that is about to be covered: hold them open and bind them back.
keep=""
n=3
for d in "$(pwd -P)" "$(cd "$(dirname "$1")" && pwd -P)"; do
    case "$d" in
        /tmp|/tmp/*|/run|/run/*|/var/run|/var/run/*|/var/www|/var/www/*|/mnt|/mnt/*)
            eval "exec $n<\"\$d\""
            keep="$keep $n:$d"
            n=$((n + 1)) ;;
    esac
done

for p in /tmp /run /var/www /mnt; do
    mkdir -p "$p" 2>/dev/null || true
    mount -t tmpfs -o mode=755 tmpfs "$p"
done
chmod 1777 /tmp
mkdir -p /var/www

for k in $keep; do
    fd=${k%%:*}; d=${k#*:}
    mkdir -p "$d"
    mount --no-canonicalize --bind "/proc/self/fd/$fd" "$d"
    eval "exec $fd<&-"
done
cd "$(pwd -P)" 2>/dev/null || cd /
exec "$@"
