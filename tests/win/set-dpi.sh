#!/bin/sh
# Gives a test prefix its DPI (Wine's LogPixels, as Windows' display scale:
# 144 is 150 %); programs started afterwards draw at it.
# Usage: set-dpi.sh <wine runner> <prefix> <dpi>
set -e
runner=$1
prefix=$2
dpi=$3
export WINEPREFIX="$prefix"
if "$runner" reg query 'HKCU\Control Panel\Desktop' /v LogPixels 2>/dev/null | grep -qi "0x$(printf %x "$dpi")"; then
  exit 0
fi
"$runner" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
