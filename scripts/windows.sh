#!/usr/bin/env bash
# Cross-builds the Windows in-process server (build-win/src/publish/tamsel.dll) with mingw-w64 and
# runs its tests under Wine, headless: registration with regsvr32, VBScript and JScript clients
# through cscript, and a C++ client. Exits non-zero on any failure. See docs/windows.md.
set -euo pipefail
cd "$(dirname "$0")/.."

# wine and wine64 come with their recommends (Wine's own fonts and libraries); the rest plain.
bash scripts/deps.sh g++-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev dpkg-dev tcl
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
if ! command -v wine >/dev/null || ! command -v wine64 >/dev/null; then
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq wine wine64 >/dev/null
fi

# A Chinese session for the test of the component's messages in the user's language.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  "${sudo_cmd[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

jobs=$(nproc)
build=build-win
third=$build/third-party

# SQLite and pugixml for Windows are compiled from Debian's own source packages: the amalgamation
# of the same SQLite release the Linux build links, and pugixml's single source file.
if [[ ! -f $third/sqlite3.c || ! -f $third/pugixml.cpp ]]; then
  if ! apt-get source --print-uris sqlite3 >/dev/null 2>&1; then
    # The source entries for the mirror the machine already uses.
    "${sudo_cmd[@]}" sh -c 'sed "s/^Types: deb$/Types: deb-src/" /etc/apt/sources.list.d/debian.sources \
      > /etc/apt/sources.list.d/tamsel-deb-src.sources'
    "${sudo_cmd[@]}" apt-get update -qq
  fi
  rm -rf "$third" && mkdir -p "$third/src"
  (cd "$third/src" && apt-get source -qq sqlite3 pugixml >/dev/null 2>&1)
  mkdir -p "$third/amalgamation"
  (cd "$third/amalgamation" && ../src/sqlite3-*/configure --disable-tcl >/dev/null &&
    make -s sqlite3.c >/dev/null)
  cp "$third"/amalgamation/sqlite3.{c,h} "$third"/src/pugixml-*/src/*.?pp "$third/"
fi

# The host side of the tests: the tamsel tool makes demo databases, and the SQLite extension is
# what the ODBC driver loads (both run on Linux; Wine hands ODBC calls to unixODBC).
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_WERROR=ON >/dev/null
cmake --build build -j "$jobs" --target tamsel_cli tamsel_sqlite_ext

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/windows/toolchain.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_WERROR=ON \
  -DTAMSEL_WINDOWS_SOURCES="$PWD/$third" \
  -DTAMSEL_HOST_CLI="$PWD/build/tools/tamsel/tamsel" \
  -DTAMSEL_HOST_SQLITE_EXT="$PWD/build/src/libtamsel_sqlite_ext.so"
cmake --build "$build" -j "$jobs"
# A fresh Wine prefix each run, so that registration starts from a clean registry.
rm -rf "$build/wine"
ctest --test-dir "$build" --output-on-failure
