#!/usr/bin/env bash
# The tool's translations against its sources.
#   catalogs.sh check  fails when a catalog lacks a text the tool shows, holds a fuzzy one, or a
#                      translation drops or invents a {N} placeholder
#   catalogs.sh update brings po/*.po up to the sources (new texts untranslated) for translators
set -euo pipefail
mode=${1:-check}
po=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# _() and Tf() texts; Tf() fills {N} placeholders, which python-brace-format checks.
xgettext --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=Tf \
  --flag=Tf:1:python-brace-format --add-comments=TRANSLATORS: --package-name=tamsel \
  --no-location -o "$work/tamsel.pot" "$po"/../tools/tamsel/*.cc
status=0
for file in "$po"/*.po; do
  if [[ $mode == update ]]; then
    msgmerge --quiet --update --backup=none --no-location "$file" "$work/tamsel.pot"
    continue
  fi
  msgmerge --quiet --no-location -o "$work/merged.po" "$file" "$work/tamsel.pot"
  stats=$(msgfmt --check --statistics -o /dev/null "$work/merged.po" 2>&1) || {
    echo "$file: $stats"; status=1; continue; }
  if [[ $stats == *untranslated* || $stats == *fuzzy* ]]; then
    echo "$file: $stats"
    msgattrib --untranslated --only-fuzzy --no-wrap "$work/merged.po" 2>/dev/null | grep '^msgid' || true
    msgattrib --untranslated --no-wrap "$work/merged.po" | grep '^msgid' | tail -n +2 || true
    status=1
  fi
done
exit $status
