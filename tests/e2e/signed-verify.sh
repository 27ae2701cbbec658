#!/usr/bin/env bash
# The signed package's programs checked against the certificate it was signed
# with (kept beside it as .pem by signed-package.sh): the setup file, and the
# uninstaller as the tests saw it on the machine in this run, installed by the
# wizard and by /S and running as its temporary copy (kept in KEPT by
# cycle_tests and unattended_tests). All three are the same bytes: the
# uninstaller the package carries.
# usage: signed-verify.sh SIGNED-SETUP.exe KEPT
set -euo pipefail
pkg=$1 kept=$2
cert=${pkg%.exe}.pem
[ -f "$pkg" ] && [ -f "$cert" ] || { echo "no signed package or certificate at $pkg (e2e_signed_package)" >&2; exit 1; }
files=("$kept/wizard-ridkit.exe" "$kept/temporary-copy.exe" "$kept/silent-ridkit.exe")
for f in "${files[@]}"; do
  # Kept by this run's tests, not left by an earlier one.
  [ -f "$f" ] && [ "$f" -nt "$pkg" ] ||
    { echo "$f: not kept by this run (e2e_cycle_tests and e2e_unattended_tests keep it)" >&2; exit 1; }
done
cmp "${files[0]}" "${files[1]}" && cmp "${files[0]}" "${files[2]}"
for f in "$pkg" "${files[@]}"; do
  echo "+ osslsigncode verify -CAfile $(basename "$cert") -in $(basename "$f")"
  osslsigncode verify -CAfile "$cert" -in "$f"
done
