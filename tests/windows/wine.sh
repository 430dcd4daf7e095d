#!/usr/bin/env bash
# Runs one Windows test under Wine, headless, in the prefix $TAMSEL_WINE_PREFIX (made when
# missing), with tamsel.dll ($TAMSEL_DLL) registered first.
#   wine.sh imports                      only system DLLs imported, only the entry points exported
#   wine.sh register                     keys present after regsvr32, gone after regsvr32 /u
#   wine.sh script NAME KIND FILE        cscript FILE "<connection text>" for a fresh demo
#                                        database, over ODBC (KIND odbc) or embedded (embedded)
#   wine.sh exe NAME FILE [ARGS...]      a Windows program
# A script or program passes only when its last line is "NAME complete": Wine's script host exits
# 0 and silent on a script error. The demo database comes from the host tool ($TAMSEL_CLI) and is
# reached over the host's SQLite ODBC driver ($TAMSEL_ODBC_DRIVER) with the component's SQLite
# extension ($TAMSEL_SQLITE_EXT): Wine's odbc32 hands ODBC calls to unixODBC.
set -euo pipefail

export WINEPREFIX=$TAMSEL_WINE_PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
work=$(dirname "$WINEPREFIX")/work
mkdir -p "$work"

# The prefix, made when missing, with the DLL registered.
prepare() {
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    wineboot --init >/dev/null 2>&1
    wineserver --wait
  fi
  dll=$(winepath -w "$TAMSEL_DLL")
  wine regsvr32 /s "$dll"
}

fail() {
  echo "FAILED: $*"
  exit 1
}

# Shows what a client printed and requires its last line to be "NAME complete".
require_end() {
  printf '%s\n' "$2"
  [[ $(printf '%s\n' "$2" | tail -n 1) == "$1 complete" ]] || fail "$1 did not run to its end"
}

# Whether a key exists under HKEY_CLASSES_ROOT.
has_key() { wine reg query "HKCR\\$1" >/dev/null 2>&1; }

keys=()
for class in PriceRuleManager:5D48B951-2B81-446B-AA06-62F38B328A32 \
  PriceRule:DE1CFF28-D248-42A4-8AFA-69A2BA610688 \
  PriceRuleItem:B5185990-A00F-49DE-A7CB-B67F3F56DEFB; do
  name=${class%%:*} clsid=${class#*:}
  keys+=("CLSID\\{$clsid}\\InprocServer32" "CLSID\\{$clsid}\\ProgID" "Tamsel.$name\\CLSID"
    "Tamsel.$name.1\\CLSID")
done
keys+=("TypeLib\\{C393DFF8-33F5-4066-8654-E14E67C4C50E}\\1.0"
  "Interface\\{B3D3509C-C0E2-4A03-A359-CC43C4046D8D}")

case $1 in
  imports)
    # The DLL needs nothing on a client machine but Windows itself.
    for name in $(x86_64-w64-mingw32-objdump -p "$TAMSEL_DLL" | sed -n 's/^\s*DLL Name: //p'); do
      case ${name,,} in
        kernel32.dll | advapi32.dll | ole32.dll | oleaut32.dll | odbc32.dll | msvcrt.dll) ;;
        *) fail "tamsel.dll loads $name, which is not a system DLL" ;;
      esac
    done
    exports=$(x86_64-w64-mingw32-objdump -p "$TAMSEL_DLL" |
      sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -o 'Dll[A-Za-z]*' | sort | tr '\n' ' ')
    [[ $exports == "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]] ||
      fail "tamsel.dll exports $exports"
    echo "imports complete"
    ;;
  register)
    prepare
    for k in "${keys[@]}"; do has_key "$k" || fail "missing after registering: HKCR\\$k"; done
    model=$(wine reg query 'HKCR\CLSID\{5D48B951-2B81-446B-AA06-62F38B328A32}\InprocServer32' \
      /v ThreadingModel | tr -d '\r')
    [[ $model == *Apartment* ]] || fail "ThreadingModel is not Apartment: $model"
    ! has_key 'CLSID\{412FD0E7-AE91-461C-B702-31759B90E31A}' || fail "Validator is registered"
    has_key 'CLSID\{00020400-0000-0000-C000-000000000046}' || has_key 'Interface\{00020400-0000-0000-C000-000000000046}' ||
      fail "the prefix's own keys are missing"
    wine regsvr32 /s /u "$dll"
    for k in "${keys[@]}"; do ! has_key "$k" || fail "left after unregistering: HKCR\\$k"; done
    has_key 'Interface\{00020400-0000-0000-C000-000000000046}' ||
      fail "unregistering removed a key that is not the component's"
    wine regsvr32 /s "$dll"
    for k in "${keys[@]}"; do has_key "$k" || fail "missing after registering again: HKCR\\$k"; done
    echo "registration round trip complete"
    ;;
  script)
    prepare
    name=$2 kind=$3 file=$4
    db=$work/$name-$kind.db
    rm -f "$db"
    "$TAMSEL_CLI" init --db "$db" --demo-data >/dev/null
    if [[ $kind == odbc ]]; then
      # The ODBC driver and the extension run on the host: host paths.
      conn="Driver=$TAMSEL_ODBC_DRIVER;Database=$db;LoadExt=$TAMSEL_SQLITE_EXT"
    else
      # The DLL's own SQLite opens the file through Windows: a Windows path.
      conn="Provider=SQLite;Data Source=$(winepath -w "$db")"
    fi
    require_end "$name" "$(wine cscript //nologo "$(winepath -w "$file")" "$conn" 2>&1 | tr -d '\r')"
    ;;
  exe)
    prepare
    name=$2 file=$3
    shift 3
    require_end "$name" "$(wine "$file" "$@" 2>&1 | tr -d '\r')"
    ;;
  *)
    echo "usage: wine.sh register | script NAME KIND FILE | exe NAME FILE [ARGS...]" >&2
    exit 2
    ;;
esac
