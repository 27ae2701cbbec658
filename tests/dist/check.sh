#!/usr/bin/env bash
# The builder as vendors get it: the files of scripts/package (release archive,
# Debian package, Windows zip) listed and used, the CMake example built, and
# mksetup.exe under Wine against the Linux build. One line per check ("ok:" or
# "FAIL:") and "N passed, M failed" at the end; exit status 1 on any failure.
# Everything happens below build/dist-test: the Debian package is installed
# and removed in a scratch root there (dpkg --root), never on the machine.
set -uo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
work=$top/build/dist-test
rm -rf "$work"
mkdir -p "$work"
passed=0
failed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
# check WHAT COMMAND...: one check, its output in the log only when it fails.
check() {
  local what=$1 log
  shift
  log=$(mktemp)
  if "$@" >"$log" 2>&1; then ok "$what"; else fail "$what"; sed 's/^/    /' "$log" | tail -n 30; fi
  rm -f "$log"
}

same_list() {  # EXPECTED-FILE ACTUAL-FILE
  diff -u "$1" "$2"
}

# The README's first example ("Making a setup file"), run as written in an
# empty folder with the mksetup that PATH finds: builds, inspects, extracts.
readme_example() {  # FOLDER BIN-FOLDER
  mkdir -p "$1"
  awk '/^## Making a setup file/ { f = 1 } f && /^```sh$/ { c = 1; next } c && /^```$/ { exit } c' README.md >"$work/readme-example.sh"
  [ -s "$work/readme-example.sh" ] || { echo "no example in README.md"; return 1; }
  (cd "$1" && PATH="$2:$PATH" bash -e "$work/readme-example.sh") || return 1
  [ "$(cat "$1/out/readme.txt")" = "你好" ] || { echo "the extracted readme.txt is not the one packed"; return 1; }
}

# What a mksetup says it takes (second line of --version).
stub_of() { "$@" --version | sed -n 's/^stub: //p'; }

# The packages: those in DIST when it names a folder that holds them (the
# test suite makes them first), else made here.
dist=${DIST:-$top/build/dist}
if [ -z "${DIST:-}" ]; then
  if ! DIST=$dist bash scripts/package >"$work/package.log" 2>&1; then
    fail "scripts/package"
    tail -n 30 "$work/package.log"
    echo "$passed passed, $failed failed"
    exit 1
  fi
  ok "scripts/package made: $(cd "$dist" && ls | tr '\n' ' ')"
fi
version=$(build/host-release/tools/mksetup/mksetup --version | sed -n '1s/^mksetup //p')
arch=$(dpkg --print-architecture)
tarball=$dist/mksetup-$version-linux-$(uname -m).tar.gz
deb=$dist/mksetup_${version}_$arch.deb
zip=$dist/mksetup-$version-windows-x86_64.zip

# The installed tree: the same in the archive and, below usr/, in the package.
cat >"$work/tree.txt" <<LIST
bin/mksetup
lib/cmake/mksetup/mksetup-config-version.cmake
lib/cmake/mksetup/mksetup-config.cmake
lib/mksetup/setup.exe
share/doc/mksetup/README.md
share/man/man1/mksetup.1
LIST

# --- the release archive ------------------------------------------------------
tar -tzf "$tarball" | grep -v '/$' | sed "s|^mksetup-$version/||" | LC_ALL=C sort >"$work/tar.txt"
check "archive: holds exactly the installed tree" same_list "$work/tree.txt" "$work/tar.txt"
mkdir -p "$work/archive"
tar -C "$work/archive" -xzf "$tarball"
prefix=$work/archive/mksetup-$version
check "archive: its stub is the shipped 32-bit setup program" cmp "$prefix/lib/mksetup/setup.exe" build/win32/setup/setup.exe
check "archive: mksetup takes the stub installed beside it" test "$(stub_of "$prefix/bin/mksetup")" = "$prefix/lib/mksetup/setup.exe"
check "archive: the README's example works as written (no --stub)" readme_example "$work/archive-example" "$prefix/bin"
readme_names() { for f in "$@"; do grep -q "$(basename "$f")" README.md || { echo "README.md does not name $f"; return 1; }; done; }
check "README: names the files scripts/package makes" readme_names "$deb" "$tarball" "$zip"

# --- the Debian package in a scratch root ---------------------------------------
dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$' | sed 's|^\./usr/||' | LC_ALL=C sort >"$work/deb.txt"
sed 's|mksetup\.1$|mksetup.1.gz|' "$work/tree.txt" >"$work/deb-tree.txt"
check "deb: holds exactly the installed tree below /usr" same_list "$work/deb-tree.txt" "$work/deb.txt"
# A scratch root whose dpkg database holds only the packages the package
# depends on, at this machine's versions: dpkg checks the dependencies as a
# fresh Debian 12 would, and whatever the package leaves behind is in sight.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
for d in $(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*//; s/ //g'); do
  dpkg-query -W -f='Package: ${Package}\nStatus: install ok installed\nPriority: optional\nSection: libs\nMaintainer: ${Maintainer}\nArchitecture: ${Architecture}\nMulti-Arch: ${Multi-Arch}\nVersion: ${Version}\nDescription: ${binary:Summary}\n\n' "$d:$arch" >>"$root/var/lib/dpkg/status"
  : >"$root/var/lib/dpkg/info/$d:$arch.list"
done
check "deb: dpkg -i in a scratch root" dpkg --root="$root" --log=/dev/null -i "$deb"
check "deb: mksetup takes /usr/lib/mksetup/setup.exe" test "$(stub_of "$root/usr/bin/mksetup")" = "$root/usr/lib/mksetup/setup.exe"
check "deb: the README's example works as written (no --stub)" readme_example "$work/deb-example" "$root/usr/bin"
check "deb: dpkg -r" dpkg --root="$root" --log=/dev/null -r mksetup
check "deb: removal leaves nothing outside dpkg's database" test -z "$(cd "$root" && find . -mindepth 1 -not -path './var' -not -path './var/lib' -not -path './var/lib/dpkg*')"

# --- the CMake example, with the package of the archive -------------------------
ex=$work/cmake-example
example_build() { cmake --build "$ex" >"$work/example-build.log" 2>&1 || { cat "$work/example-build.log"; return 1; }; }
example_setup_built() { grep -q "Building the setup file" "$work/example-build.log"; }
nothing_rebuilt() { example_build && ! example_setup_built; }
setup_rebuilt() { example_build && example_setup_built; }
# The program in the setup file is the one just compiled.
example_program_packed() {
  rm -rf "$work/example-out"
  "$prefix/bin/mksetup" extract "$ex/hello-setup.exe" "$work/example-out" && cmp "$ex/hello.exe" "$work/example-out/hello.exe"
}
check "cmake example: configures with the archive's CMake package" \
  cmake -S examples/cmake -B "$ex" -G Ninja --toolchain "$top/examples/cmake/mingw-w64-i686.cmake" \
  -Dmksetup_DIR="$prefix/lib/cmake/mksetup"
check "cmake example: one cmake --build makes the program and its setup file" example_build
check "cmake example: the setup file packs the program just compiled" example_program_packed
check "cmake example: a build with nothing changed leaves the setup file" nothing_rebuilt
touch examples/cmake/hello.c
check "cmake example: a touched source rebuilds program and setup file" setup_rebuilt
check "cmake example: ... which packs the new program" example_program_packed

# --- mksetup.exe from the Windows zip, under Wine --------------------------------
# Its setup files are the Linux builder's byte for byte, and it says the same
# of broken projects. Paths are given relative to the project tree (Wine sees
# it at the same place, through Z:), so that the messages name them alike.
if [ "${SKIP_WINDOWS:-0}" != 1 ]; then
  cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort >"$work/zip.txt"
  printf '%s\n' README.md cmake/mksetup-config-version.cmake cmake/mksetup-config.cmake mksetup.exe setup.exe |
    sed "s|^|mksetup-$version/|" >"$work/zip-tree.txt"
  check "windows zip: holds mksetup.exe, its stub, the manual and the CMake package" same_list "$work/zip-tree.txt" "$work/zip.txt"
  mkdir -p "$work/windows"
  (cd "$work/windows" && cmake -E tar xf "$zip")
  wdir=$work/windows/mksetup-$version
  win() { scripts/wine-run "$wdir/mksetup.exe" "$@"; }
  lin() { "$prefix/bin/mksetup" "$@"; }
  check "windows zip: its stub is the shipped 32-bit setup program" cmp "$wdir/setup.exe" build/win32/setup/setup.exe
  stub_beside() { stub_of win | grep -q "/mksetup-$version/setup.exe\$"; }
  check "mksetup.exe: takes the stub beside it" stub_beside

  mkdir -p "$work/same"
  # NAME PROJECT [ARGS...]: both builders, each with its own stub, then cmp.
  same_setup() {
    local name=$1
    shift
    lin build -q "$@" -o "build/dist-test/same/$name-linux.exe" &&
      win build -q "$@" -o "build/dist-test/same/$name-windows.exe" &&
      cmp "$work/same/$name-linux.exe" "$work/same/$name-windows.exe"
  }
  e2e=tests/e2e/data
  check "mksetup.exe: the demo, byte for byte" \
    same_setup demo examples/demo/setup.toml -D DEMO_EXE="$top/build/win32/examples/demo/src/demo.exe"
  check "mksetup.exe: the CMake example's project, byte for byte" \
    same_setup hello examples/cmake/setup.toml -D HELLO_EXE="$ex/hello.exe"
  e2e_projects() {
    local art=$top/examples/demo/art files=$top/$e2e/files
    same_setup plain $e2e/plain.toml &&
      same_setup startup $e2e/startup.toml -D ART="$art" &&
      same_setup uninstall $e2e/uninstall.toml -D ART="$art" -D CTL="$files/app.exe" &&
      same_setup responsive $e2e/responsive.toml -D FILES="$files" &&
      same_setup install $e2e/install.toml -D ART="$art" -D APP="$files/app.exe" -D CTL="$files/app.exe" \
        -D CTL_NONE="$files/readme.txt" -D BIG="$art/background.jpg"
  }
  check "mksetup.exe: the end-to-end tests' projects, byte for byte" e2e_projects
  same_extract() {
    lin extract "$work/same/demo-linux.exe" build/dist-test/extract-linux >/dev/null &&
      win extract "$work/same/demo-linux.exe" build/dist-test/extract-windows >/dev/null &&
      diff -r "$work/extract-linux" "$work/extract-windows"
  }
  check "mksetup.exe: extracts the demo's files under their Chinese names" same_extract
  # What stands in the way below the folder: a file where a folder goes, a
  # folder where a file goes; the rest is written, the same words said (in
  # another order of the output and the error stream, which Wine joins).
  in_the_way() {
    local d=$work/in-the-way l w
    rm -rf "$d" && mkdir -p "$d/readme.txt" "$d/data" && echo mine >"$d/help" && echo mine >"$d/data/samples"
    l=$(lin extract "$work/same/demo-linux.exe" build/dist-test/in-the-way 2>&1 | sort; echo "exit ${PIPESTATUS[0]}")
    rm -rf "$d" && mkdir -p "$d/readme.txt" "$d/data" && echo mine >"$d/help" && echo mine >"$d/data/samples"
    w=$(win extract "$work/same/demo-linux.exe" build/dist-test/in-the-way 2>&1 | sort; echo "exit ${PIPESTATUS[0]}")
    [ "$l" = "$w" ] && [ "$(cat "$d/help")" = mine ] && [ -f "$d/演示.exe" ] || { diff <(echo "$l") <(echo "$w"); return 1; }
  }
  check "mksetup.exe: extracts around what stands in the way, as mksetup does" in_the_way

  no_signtool() {
    local out
    echo not-a-certificate >"$work/c.pfx"
    out=$(win build -q examples/demo/setup.toml -D DEMO_EXE="$top/build/win32/examples/demo/src/demo.exe" \
      --sign build/dist-test/c.pfx -o build/dist-test/signed.exe 2>&1)
    [ $? -eq 1 ] && grep -q "needs signtool" <<<"$out" && [ -z "$(find "$work" -maxdepth 1 -name 'signed.exe*')" ] ||
      { echo "$out"; ls "$work"; return 1; }
  }
  check "mksetup.exe: --sign without signtool on the PATH says so and writes nothing" no_signtool

  # Broken projects, a setup file's damage, a wrong command line: the same
  # words and exit status.
  b=build/dist-test/broken
  mkdir -p "$b"
  cat >"$b/keys.toml" <<'TOML'
[product]
name = "示例"
colour = 1
[welcome]
lines = ["这一行实在是太长了这一行实在是太长了这一行实在是太长了这一行实在是太长了"]
[finish]
lines = ["한국어"]
[[file]]
source = "missing.exe"
TOML
  printf '[product\nname = 1\n' >"$b/syntax.toml"
  printf '[product]\nname = "x"\n[[file]]\nsource = "keys.toml"\n' >"$b/stub.toml"
  head -c 100000 "$work/same/demo-linux.exe" >"$b/cut-setup.exe"
  cp "$work/same/demo-linux.exe" "$b/flipped-setup.exe"
  printf 'X' | dd of="$b/flipped-setup.exe" bs=1 seek=170000 conv=notrunc 2>/dev/null
  same_words() {
    local l w
    l=$(lin "$@" 2>&1; echo "exit $?")
    w=$(win "$@" 2>&1; echo "exit $?")
    [ "$l" = "$w" ] || { diff <(echo "$l") <(echo "$w"); return 1; }
  }
  for args in "build $b/keys.toml" "build $b/syntax.toml" "build $b/stub.toml --stub README.md" \
              "build $b/stub.toml -o $b/no/such/folder/x.exe" "build tests/fuzz/seeds/project/basic.toml" \
              "inspect $b/cut-setup.exe" "extract $b/flipped-setup.exe $b/out" "biuld x.toml"; do
    # shellcheck disable=SC2086
    check "mksetup.exe: says what mksetup says: mksetup $args" same_words $args
  done
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
