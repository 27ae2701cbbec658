#!/bin/sh
# Gives the test prefix a network drive N: for the folder page's drive checks.
# Wine takes drive types from the registry when its services start, so the
# prefix is restarted once when the drive is new.
# Usage: setup-drives.sh <wine runner> <prefix>
set -e
runner=$1
prefix=$2
"$runner" cmd /c echo >/dev/null 2>&1 || true   # the prefix exists from here on
target="$prefix.net"
mkdir -p "$target"
if [ "$(readlink "$prefix/dosdevices/n:" 2>/dev/null)" = "$target" ] &&
   "$runner" reg query 'HKLM\Software\Wine\Drives' /v n: 2>/dev/null | grep -q network; then
  exit 0
fi
ln -sfn "$target" "$prefix/dosdevices/n:"
"$runner" reg add 'HKLM\Software\Wine\Drives' /v n: /t REG_SZ /d network /f >/dev/null 2>&1
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
