#!/bin/sh
# Runs a command in a private mount and IPC namespace with fresh tmpfs on the
# paths the CGI programs use (and /var/tmp, where a form upload would spool),
# and a /dev of its own, so the real binaries keep their production paths
# and the host's files are never touched.
#   sandbox.sh [--pid] [--keep DIR]... COMMAND [ARG...]
# --pid   also a private process namespace: whatever the command starts ends
#         with it (the demo's servers).
# --keep  a directory that must stay reachable even if it lies under one of
#         the covered paths (the build tree); the working directory and the
#         command's own directory always do.
set -eu
pid_ns=""
keep_dirs=""
while [ $# -gt 0 ]; do
    case "$1" in
        --pid) pid_ns="--pid --mount-proc"; shift ;;
        --keep) keep_dirs="$keep_dirs $2"; shift 2 ;;
        *) break ;;
    esac
done

if [ "${WEBSIM_SANDBOXED:-}" != 1 ]; then
    export WEBSIM_SANDBOXED=1
    user_ns=""
    [ "$(id -u)" -eq 0 ] || user_ns="--user --map-root-user"
    # Options are read again inside; pass them on as they came.
    set -- $( [ -n "$pid_ns" ] && echo --pid ) $(for d in $keep_dirs; do echo --keep "$d"; done) "$@"
    exec unshare $user_ns --mount --ipc --propagation private --kill-child $pid_ns -- "$0" "$@"
fi

# Inside the namespace: hold the directories to keep open, cover the fixed
# paths with tmpfs, then bind the kept directories back in place.
held=""
n=3
for d in $keep_dirs "$(pwd -P)" "$(cd "$(dirname "$1")" && pwd -P)"; do
    d=$(cd "$d" && pwd -P)
    case "$d" in
        /tmp|/tmp/*|/run|/run/*|/var/run|/var/run/*|/var/www|/var/www/*|/var/tmp|/var/tmp/*|/mnt|/mnt/*)
            eval "exec $n<\"\$d\""
            held="$held $n:$d"
            n=$((n + 1)) ;;
    esac
done

for p in /tmp /run /var/www /var/tmp /mnt; do
    mkdir -p "$p" 2>/dev/null || true
    mount -t tmpfs -o mode=755 tmpfs "$p"
done
chmod 1777 /tmp /var/tmp

# A private /dev: the devices programs use, bound from the host's, and no
# /dev/log but the one a test or the demo's syslogd makes here.
dev=$(mktemp -d /tmp/.dev.XXXXXX)
mount -t tmpfs -o mode=755 tmpfs "$dev"
for node in null zero full random urandom tty console; do
    : >"$dev/$node"
    mount --bind "/dev/$node" "$dev/$node" 2>/dev/null || true
done
mkdir "$dev/shm" "$dev/pts"
mount -t tmpfs -o mode=1777 tmpfs "$dev/shm"
mount --rbind /dev/pts "$dev/pts" 2>/dev/null || true
ln -s /proc/self/fd "$dev/fd"
ln -s fd/0 "$dev/stdin"
ln -s fd/1 "$dev/stdout"
ln -s fd/2 "$dev/stderr"
mount --move "$dev" /dev
rmdir "$dev"

for h in $held; do
    fd=${h%%:*}
    d=${h#*:}
    mkdir -p "$d"
    mount --no-canonicalize --bind "/proc/self/fd/$fd" "$d"
    eval "exec $fd<&-"
done
cd "$(pwd -P)" 2>/dev/null || cd /
exec "$@"
