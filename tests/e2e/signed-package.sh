#!/usr/bin/env bash
# The signed package of the end-to-end tests, made by the commands of the
# builder manual's signing walk-through exactly as they stand there: a
# throw-away certificate, a signed build, its check, inspect. In them
# "mksetup" is the built builder and "setup.toml" the project given here,
# built with the options given after it (stub, variables).
# usage: signed-package.sh MKSETUP MANUAL PROJECT OUTPUT [BUILD-OPTION...]
set -euo pipefail
mk=$1 manual=$2 project=$3 out=$4
shift 4
extra=("$@")
rm -f "$out" "${out%.exe}.pem"
[ -x "$mk" ] || { echo "no package builder at $mk (build the host preset first)" >&2; exit 1; }

walk=$(awk '/^## Signing/ { s = 1; next } s && /^## / { s = 0 } s && /^For trying it out/ { t = 1 }
            t && /^```sh/ { b = 1; next } b && /^```/ { exit } b' "$manual")
[ -n "$walk" ] || { echo "no signing walk-through in $manual" >&2; exit 1; }

mksetup() {
  if [ "$1" = build ]; then
    shift
    local args=() a
    for a in "$@"; do [ "$a" = setup.toml ] && a=$project; args+=("$a"); done
    "$mk" build "${args[@]}" "${extra[@]}"
  else
    "$mk" "$@"
  fi
}

work=$out.signing
rm -rf "$work"
mkdir -p "$work"
cd "$work"
echo "$walk" | sed 's/^/+ /'
eval "$walk" 2>&1 | tee walk.log
for line in "signature: signed by /CN=Test Signer" "signature check: matches the file" \
            "uninstaller signature: signed by /CN=Test Signer" "uninstaller signature check: matches the file"; do
  grep -qx "$line" walk.log || { echo "inspect did not say: $line" >&2; exit 1; }
done
mv signed-setup.exe "$out"
# The certificate (not its key) stays, for checking what the package installs.
mv c.pem "${out%.exe}.pem"
cd ..
rm -rf "$work"  # the throw-away key goes with it
