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
# The texts of _(), N_(), Tf(), Tfn() and NP_() (see tools/tamsel/i18n.h).
xgettext --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=Tf \
  --keyword=Tfn:1,2 --keyword=NP_:1,2 --package-name=tamsel --no-location --no-wrap \
  -o "$work/tamsel.pot" "$po"/../tools/tamsel/*.cc "$po"/../tools/tamsel/*/*.cc
status=0
for file in "$po"/*.po; do
  if [[ $mode == update ]]; then
    msgmerge --quiet --update --backup=none --no-location --no-wrap "$file" "$work/tamsel.pot"
    continue
  fi
  msgmerge --quiet --no-location --no-wrap -o "$work/merged.po" "$file" "$work/tamsel.pot"
  # xgettext knows no format of C++ texts with {N}; python-brace-format has the same syntax, so
  # msgfmt checks that a translation keeps exactly the placeholders of its source text.
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /(^|\n)msgid(_plural)? "[^\n]*\{[0-9]+\}/ { $0 = "#, python-brace-format\n" $0 }
       { print }' "$work/merged.po" >"$work/flagged.po"
  stats=$(msgfmt --check --statistics -o /dev/null "$work/flagged.po" 2>&1) || {
    echo "$file: $stats"; status=1; continue; }
  if [[ $stats == *untranslated* || $stats == *fuzzy* ]]; then
    echo "$file: $stats"
    msgattrib --untranslated --no-wrap "$work/merged.po" | grep '^msgid ' | tail -n +2 || true
    msgattrib --only-fuzzy --no-wrap "$work/merged.po" | grep '^msgid ' | tail -n +2 || true
    status=1
  fi
done
exit $status
