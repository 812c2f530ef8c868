#!/bin/sh
# Installs the project's build into a scratch root as the firmware would
# (DESTDIR, prefix /usr) and checks the layout: the pages in the web root,
# nothing else outside the prefix, no absolute path in the package's CMake
# files. Then moves the whole root elsewhere, builds the consumer here against
# the moved root through find_package(webcgi), and runs it.
#   run.sh BUILD_DIR SCRATCH [TOOLCHAIN_FILE FIND_ROOT_PATH EMULATOR...]
# WEBCGI_WEB_ROOT in the environment: the build's web root, relative to the
# prefix or absolute (default var/www).
set -eu
build=$1 scratch=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
web_root=${WEBCGI_WEB_ROOT:-var/www}
fail() { echo "install.consumer: $*" >&2; exit 1; }

rm -rf "$scratch"
mkdir -p "$scratch/moved"
first=$scratch/first
DESTDIR=$first cmake --install "$build" --prefix /usr >/dev/null

case $web_root in
    /*) pages=$first$web_root ;;
    *) pages=$first/usr/$web_root ;;
esac
[ -x "$pages/web_mac_static_add.cgi" ] && [ -f "$pages/web_mac_static_add.cs" ] ||
    fail "the pages are not in the web root ${pages#"$first"}"
outside=$(cd "$first" && find . ! -type d ! -path './usr/*' ! -path ".${pages#"$first"}/*")
[ -z "$outside" ] || fail "installed outside the prefix and the web root: $outside"

# The package goes wherever its root goes, onto another machine too: its own
# files are found from where it lies and ClearSilver's where it is used, so
# no path of this machine belongs in it (comments aside).
config=$(find "$first" -name webcgiConfig.cmake)
[ -n "$config" ] || fail "no webcgiConfig.cmake installed"
absolute=$(grep -HnE '(^|[";[:space:]])/[^"/[:space:]]' "$(dirname "$config")"/*.cmake |
    grep -vE '^[^:]*:[0-9]+:[[:space:]]*#' || true)
[ -z "$absolute" ] || fail "the package config names absolute paths:
$absolute"

root=$scratch/moved/root
mv "$first" "$root"

# A cross build finds the root through its toolchain's find root path.
toolchain= find=-DCMAKE_PREFIX_PATH=$root/usr
if [ $# -ge 2 ]; then
    toolchain=-DCMAKE_TOOLCHAIN_FILE=$1 find="-DCMAKE_FIND_ROOT_PATH=$root;$2"
    shift 2
fi
cmake -S "$here" -B "$scratch/build" ${toolchain:+"$toolchain"} "$find" >/dev/null
cmake --build "$scratch/build"
exec "$@" "$scratch/build/consumer"
