#!/bin/sh
# The test prefix reaches nothing of the host outside the project: the user's
# shell folders are folders inside the prefix (a file a program puts on its
# desktop stays there), no drive shows the root of the file system, and
# Z: shows the project tree and nothing beside it.
# Usage: sandbox-check.sh <wine runner> <prefix> <project folder>
runner=$1
prefix=$2
project=$(cd "$3" && pwd -P)
status=0
fail() { echo "sandbox-check: $*" >&2; status=1; }

"$runner" cmd /c echo >/dev/null 2>&1 || true   # the prefix exists from here on
for d in "$prefix"/drive_c/users/*/; do
  for f in Desktop Documents Downloads Music Pictures Videos; do
    [ -L "$d$f" ] && fail "$d$f is a link to $(readlink "$d$f")"
  done
done
for drive in "$prefix"/dosdevices/?:; do
  [ "$(realpath "$drive")" = / ] && fail "drive $(basename "$drive") shows the root of the file system"
done

# What a program sees.
name=sandbox-check-$$.txt
"$runner" cmd /c "echo sandbox> %USERPROFILE%\\Desktop\\$name" >/dev/null 2>&1
found=$(find "$prefix/drive_c/users" -maxdepth 3 -name "$name" -type f)
[ -n "$found" ] || fail "a file put on the desktop did not land in the prefix's Desktop"
[ ! -e "$HOME/$name" ] || { fail "a file put on the desktop landed in $HOME"; rm -f "$HOME/$name"; }
rm -f $found
top=$(echo "$project" | cut -d/ -f2)
listing=$("$runner" cmd /c dir /b 'Z:\' 2>/dev/null | tr -d '\r')
[ "$listing" = "$top" ] || fail "Z:\\ shows more than the project tree: $(echo $listing)"
if "$runner" cmd /c 'if exist Z:\etc\passwd (exit 1) else (exit 0)' >/dev/null 2>&1; then :; else
  fail "a program reads /etc/passwd through Z:"
fi
"$runner" cmd /c "if exist Z:$(echo "$project" | tr / '\\')\\CMakeLists.txt (exit 0) else (exit 1)" >/dev/null 2>&1 ||
  fail "the project tree is not on Z:"
exit $status
