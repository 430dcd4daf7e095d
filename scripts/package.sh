#!/usr/bin/env bash
# Builds the Debian packages libtamsel0, libtamsel-dev, tamsel and python3-tamsel from this tree
# into dist/, then runs lintian over them, which must find no error. With --check it installs
# them (as root), uses them as a new user would, purges them and checks that nothing is left.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# Debian's own Python and tools, and the packaged ones, whatever the caller's PATH puts first
# (pyenv, /usr/local).
export PATH=/usr/sbin:/usr/bin:/sbin:/bin

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *)
    echo "usage: scripts/package.sh [--check]" >&2
    exit 2
    ;;
esac

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
apt_install() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "$@" -y -qq --no-install-recommends
}

# The build dependencies are the ones debian/control names; apt reads them from there.
if ! command -v lintian >/dev/null || ! command -v dpkg-checkbuilddeps >/dev/null ||
  ! dpkg-checkbuilddeps 2>/dev/null; then
  "${sudo_cmd[@]}" apt-get update -qq
  apt_install install dpkg-dev lintian
  apt_install build-dep ./
fi

# The package's version is the project's.
project_version=$(sed -n 's/^project(tamsel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package_version=$(dpkg-parsechangelog -S Version)
if [[ ${package_version%%-*} != "$project_version" ]]; then
  echo "debian/changelog is at $package_version, CMakeLists.txt at $project_version" >&2
  exit 1
fi

# dpkg-buildpackage writes beside the source tree and leaves its work inside it, so it builds a
# copy: build-deb/tamsel/ (the path stays the same, so ccache finds its earlier results).
work=$root/build-deb
rm -rf "$work"
mkdir -p "$work/tamsel"
tar -C "$root" --exclude='./build*' --exclude=./dist --exclude=./.git --exclude='./obj-*' \
  --exclude='*.db' -cf - . | tar -C "$work/tamsel" -xf -

# debhelper points HOME elsewhere during the build; hand ccache the caller's cache and settings.
if command -v ccache >/dev/null; then
  export CCACHE_DIR=${CCACHE_DIR:-$(ccache --get-config cache_dir)}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(ccache --get-config base_dir)}
  if [[ $(ccache --get-config hash_dir) == false ]]; then export CCACHE_NOHASHDIR=1; fi
fi
# No automatic -dbgsym packages unless the caller asks for options of their own.
export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-"nocheck noddebs parallel=$(nproc)"}
(cd "$work/tamsel" && dpkg-buildpackage -us -uc -b)

rm -rf "$root/dist"
mkdir -p "$root/dist"
mv "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$root/dist/"
rm -rf "$work"
ls -l dist/

# Errors fail; warnings and notes are shown, and each override in debian/ says why it is right.
lintian --fail-on error --display-info dist/*.changes

if ((!check)); then exit 0; fi

# What a new user would try, on the installed packages.
apt_install install ./dist/*.deb g++ cmake pkgconf man-db sqlite3 python3
packages=(python3-tamsel tamsel libtamsel-dev libtamsel0)
files=$(dpkg -L "${packages[@]}" | sort -u)
consumer=$(mktemp -d)
trap '"${sudo_cmd[@]}" dpkg --purge "${packages[@]}" >/dev/null; rm -rf "$consumer"' EXIT
[[ $(tamsel --version) =~ ^tamsel\ [0-9]+\.[0-9]+\.[0-9]+$ ]]
man -w tamsel
ext=$(dpkg -L libtamsel0 | grep '/libtamsel_sqlite_ext\.so$')
# The collation ignores case and trailing blanks; without the extension the query fails.
[[ $(sqlite3 -bail :memory: -cmd ".load ${ext%.so}" "select 'A' = 'a ' collate tamsel_text") == 1 ]]
cmake -S examples -B "$consumer/cmake" >/dev/null
cmake --build "$consumer/cmake" -j "$(nproc)" >/dev/null
# shellcheck disable=SC2046 # pkg-config's flags are meant to split
c++ examples/price_lookup.cc -o "$consumer/price_lookup" $(pkg-config --cflags --libs tamsel)
tamsel --db "$consumer/prices.db" init --demo-data >/dev/null
[[ $(tamsel --db "$consumer/prices.db" demo) == *"cheapest vendor"* ]]
[[ $(LANG=zh_TW.UTF-8 tamsel --db "$consumer/prices.db" rule list) == *"條規則"* ]]
"$consumer/price_lookup" "$consumer/prices.db"
# The Python module finds the dispatch library on the system's library path by itself.
python3 -c 'import datetime, sys, tamsel
with tamsel.open(sys.argv[1]) as m:
    print("python:", m.price("V002", "A01", datetime.date(2026, 12, 6), 2000).iUnitPrice)
' "$consumer/prices.db"
"$consumer/cmake/cheapest_vendor" "$consumer/prices.db"
# The README's registration commands, into a scratch registry.
export TAMSEL_REGISTRY=$consumer/registry.json
selfreg() { python3 -c "import ctypes; assert ctypes.CDLL('libtamsel_publish.so.0').$1() == 0"; }
selfreg DllRegisterServer
grep -q "\"/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/libtamsel_publish.so.0\"" "$TAMSEL_REGISTRY"
selfreg DllUnregisterServer
if grep -q libtamsel_publish "$TAMSEL_REGISTRY"; then
  echo "unregistering left entries in $TAMSEL_REGISTRY" >&2
  exit 1
fi

trap 'rm -rf "$consumer"' EXIT
"${sudo_cmd[@]}" dpkg --purge "${packages[@]}"
left=$(while read -r f; do if [[ -f $f || -L $f ]]; then echo "$f"; fi; done <<<"$files")
if [[ -n $left || -e /etc/tamsel ]]; then
  echo "left after purge:" "$left" "$(ls -d /etc/tamsel 2>/dev/null)" >&2
  exit 1
fi
echo "purged: nothing left"
