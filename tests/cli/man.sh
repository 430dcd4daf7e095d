#!/usr/bin/env bash
# The man pages as the tool writes them: a page for the tool and one per command, each rendering
# without a warning (groff's, and man's as lintian asks it), with a whatis line, the sections a
# reader looks for, and every option that the --help of its commands lists.
#   man.sh TAMSEL
set -euo pipefail
tamsel=$1
for tool in groff man lexgrog; do
  command -v $tool >/dev/null || { echo "$tool is not installed"; exit 77; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$tamsel" --lang en-US __man "$dir" 2026-01-01
status=0
fail() { echo "$*"; status=1; }
help() { "$tamsel" --lang en-US "$@" --help; }

subcommands() { help "$@" | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF {print $1}'; }
# PAGE DEPTH WORDS...: the page lists each option of `tamsel WORDS --help`, and with DEPTH 1
# those of its subcommands, their subcommands and so on.
options_in() {
  local page=$1 deep=$2 text opt sub
  shift 2
  text=$(sed 's/\\-/-/g; s/\\f[BIR]//g' "$dir/$page")
  for opt in $(help "$@" | grep -E '^  -' | awk '{print $1}' | tr ',' '\n'); do
    grep -qE -- "(^|[^-a-z])$opt([^-a-z]|\$)" <<<"$text" || fail "$page: no $opt (tamsel $* --help)"
  done
  ((deep)) || return 0
  for sub in $(subcommands "$@"); do options_in "$page" 1 "$@" "$sub"; done
}

pages=(tamsel.1)
for command in $(subcommands); do
  pages+=("tamsel-$command.1")
  [[ -f $dir/tamsel-$command.1 ]] || fail "no page for $command"
done
[[ $(ls "$dir" | wc -l) == "${#pages[@]}" ]] || fail "pages for no command: $(ls "$dir")"
for page in "${pages[@]}"; do
  [[ -f $dir/$page ]] || continue
  warnings=$(groff -man -ww -z "$dir/$page" 2>&1;
             LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
               "$dir/$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$page: $warnings"
  lexgrog "$dir/$page" >/dev/null || fail "$page: no whatis line"
  for section in SYNOPSIS DESCRIPTION EXAMPLES ENVIRONMENT FILES "EXIT STATUS" "SEE ALSO"; do
    grep -q "^\.SH $section\$" "$dir/$page" || fail "$page: no $section"
  done
  man -l "$dir/$page" 2>/dev/null | grep -q '^EXIT STATUS' || fail "$page: man -l shows nothing"
done
options_in tamsel.1 0
for page in "${pages[@]:1}"; do
  command=${page#tamsel-}
  options_in "$page" 1 "${command%.1}"
done
exit $status
