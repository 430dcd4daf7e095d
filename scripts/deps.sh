#!/usr/bin/env bash
# Installs the Debian packages Tamsel needs to build, test and run, and any named as arguments,
# when any is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  libsqlite3-dev sqlite3 libpugixml-dev libfmt-dev libhowardhinnant-date-dev
  libcli11-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev man-db
  unixodbc-dev unixodbc libsqliteodbc tdsodbc locales gettext python3
  libminizip-dev
  chromium fonts-noto-cjk
  libxlsxwriter-dev libreoffice-calc-nogui
  "$@"
)
# node and npm run the independent T-SQL parser of the tests; a newer node already on the
# machine will do.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

# A decimal-comma locale: tests check that no number conversion follows the process locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
