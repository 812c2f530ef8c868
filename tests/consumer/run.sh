#!/bin/sh
# Installs the project's build into a scratch root as the firmware would
# (DESTDIR, prefix /usr), builds the consumer here against it through
# find_package(webcgi), and runs it.
#   run.sh BUILD_DIR SCRATCH [TOOLCHAIN_FILE FIND_ROOT_PATH EMULATOR...]
set -eu
build=$1
scratch=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
root=$scratch/root
rm -rf "$scratch"
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
if [ $# -ge 2 ]; then
    toolchain=$1
    find_root=$2
    shift 2
    cmake -S "$here" -B "$scratch/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_FIND_ROOT_PATH="$root;$find_root" >/dev/null
else
    cmake -S "$here" -B "$scratch/build" -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
fi
cmake --build "$scratch/build"
exec "$@" "$scratch/build/consumer"
