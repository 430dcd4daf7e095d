#!/usr/bin/env bash
# Builds the Debian package from the build tree, unpacks it into a scratch root and runs the tool
# from there with no library path set: the package must hold everything the tool loads.
set -euo pipefail
build=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/tamsel_*.deb)
dpkg-deb -x "$deb" "$work/root"
for f in usr/include/tamsel/tamsel.h usr/share/man/man1/tamsel.1 \
         usr/share/bash-completion/completions/tamsel usr/share/locale/zh_TW/LC_MESSAGES/tamsel.mo; do
  [[ -s $work/root/$f ]] || { echo "missing from the package: $f"; exit 1; }
done
ls "$work"/root/usr/lib*/tamsel/libtamsel_sqlite_ext.so >/dev/null
dpkg-deb -f "$deb" Depends | grep -q libsqlite3 || { echo "no Depends on SQLite"; exit 1; }
tool=$work/root/usr/bin/tamsel
unset LD_LIBRARY_PATH
[[ $("$tool" --version) =~ ^tamsel\ [0-9]+\.[0-9]+\.[0-9]+$ ]]
"$tool" --db "$work/t.db" init --demo-data
[[ $("$tool" --db "$work/t.db" demo) == *"cheapest vendor"* ]]
[[ $(LANG=zh_TW.UTF-8 "$tool" --db "$work/t.db" rule list) == *"條規則"* ]]
