#!/usr/bin/env bash
# tamsel report as a browser draws it: headless Chromium renders each case below to PNG under
# OUT_DIR. Each image must have the window's size and not be blank, and the page the browser
# loaded (--dump-dom) must hold the figures' labels.
#   render.sh TAMSEL OUT_DIR [DOC_PNG]   DOC_PNG: also copy the first case's image there
set -euo pipefail
tamsel=$1 out=$2 doc=${3:-}
browser=$(command -v chromium || true)
if [[ -z $browser ]]; then
  echo "chromium is not installed (scripts/deps.sh installs it)"
  exit 77
fi
rm -rf "$out"
mkdir -p "$out"
"$tamsel" init --db "$out/demo.db" --demo-data >/dev/null
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
chrome() {
  "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" "$@" 2>/dev/null
}
# Width and height from the PNG header; blank when the pixels take fewer than a few values.
check_png() {
  python3 - "$1" 1200 1600 <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
width, height = struct.unpack(">II", data[16:24])
pixels, at = b"", 8
while at < len(data):
    size, kind = struct.unpack(">I4s", data[at:at + 8])
    if kind == b"IDAT":
        pixels += data[at + 8:at + 8 + size]
    at += 12 + size
values = len(set(zlib.decompress(pixels)))
if (width, height) != (int(sys.argv[2]), int(sys.argv[3])) or values < 32:
    sys.exit(f"{sys.argv[1]}: {width}x{height}, {values} distinct byte values")
PY
}
status=0
first=""
# NAME | labels the rendered page must hold, ';' between | report arguments
while IFS='|' read -r name labels args; do
  page="$out/$name.html"
  # shellcheck disable=SC2086 # the arguments are words
  "$tamsel" report --db "$out/demo.db" $args -o "$page"
  chrome --screenshot="$out/$name.png" --window-size=1200,1600 "file://$page" >/dev/null
  chrome --dump-dom "file://$page" >"$out/$name.dom.html"
  check_png "$out/$name.png" || status=1
  IFS=';' read -ra wanted <<<"$labels"
  for label in "${wanted[@]}"; do
    if ! grep -qF -- "$label" "$out/$name.dom.html"; then
      echo "$name: the rendered page lacks \"$label\""
      status=1
    fi
  done
  first=${first:-$out/$name.png}
done <<'CASES'
vendors|Price breaks;Vendor comparison;Validity over time;★ cheapest|--item A01 --qty 2500 --date 2026-12-06
vendor|Next break at 2000|--item A01 --qty 1500 --date 2026-12-06 --vendor V002
missing|rate missing, taken as 1|--item A02 --qty 1 --date 2028-01-03
none|No offer.|--item A01 --qty 1 --date 2020-01-01
zh-TW|價格分段;供應商比較;有效期|--lang zh-TW --item C01 --qty 150 --date 2026-12-06
CASES
if [[ -n $doc && $status == 0 ]]; then cp "$first" "$doc"; fi
echo "rendered $(ls "$out"/*.png | wc -l) pages"
exit $status
