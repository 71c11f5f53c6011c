#!/usr/bin/env bash
# Installs a built tree into a staging prefix and uses it as a user would: a
# C program built with pkg-config, a CMake project with find_package(vokl),
# the installed vokcli on a file, the desktop entry, the man pages and the
# bash completion. Then builds the Debian packages in a second tree and checks
# their files, dependencies and (with lintian) their form, and runs vokcli
# from the unpacked packages.
#
#   tests/install/install_test.sh BUILD_DIR [DEB_BUILD_DIR]
#
# BUILD_DIR is a built tree (any prefix). DEB_BUILD_DIR is configured with
# -DCMAKE_INSTALL_PREFIX=/usr and built for the packages; without it no
# packages are made. Prints one line per failed check and "N passed, N failed".
set -euo pipefail

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:?usage: install_test.sh BUILD_DIR [DEB_BUILD_DIR]}" && pwd)"
deb_build="${2:-}"
work="$build/install-test"
stage="$work/stage"
passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAILED: $*" >&2
}
# check DESCRIPTION COMMAND...: the command succeeds.
check() {
  local what="$1"
  shift
  if "$@"; then pass; else fail "$what"; fi
}
# check_equal DESCRIPTION EXPECTED ACTUAL
check_equal() {
  if [ "$2" = "$3" ]; then pass; else fail "$1: expected '$2', got '$3'"; fi
}
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$2/CMakeCache.txt"; }
# The options `vokcli COMMAND --help` explains, one per line.
help_options() { "$1" "$2" --help | grep -o -- '--[a-z][a-z-]*' | grep -vx -- '--help' | sort -u; }
# The options a man page describes (its .TP items) in the section of COMMAND.
man_options() {
  zcat -f "$1" | sed 's/\\-/-/g' | awk -v command="$2" '
    /^\.S[HS]/ { inside = ($1 == ".SS" && $2 == "\"" command) }
    item && inside && match($0, /--[a-z][a-z-]*/) { print substr($0, RSTART, RLENGTH) }
    { item = /^\.TP/ }' | sort -u
}
# vokcli from PROGRAM run in the folder $run, without LD_LIBRARY_PATH.
run_vokcli() {
  local program="$1"
  shift
  (cd "$run" && env -u LD_LIBRARY_PATH TMPDIR="$run" "$program" "$@" >/dev/null)
}
# Warnings of man's formatter; groff cannot break Japanese lines, as lintian knows.
man_warnings() {
  LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$1" 2>&1 >/dev/null |
    grep -v "cannot adjust line\|can't break line" || true
}

version="$(cache_value CMAKE_PROJECT_VERSION "$build")"
[ "${version//[^.]/}" = "." ] && version="$version.0"
soversion="${version%%.*}"
libdir="$(cache_value CMAKE_INSTALL_LIBDIR "$build")"
have_app=false
[ -x "$build/bin/vok" ] && have_app=true
commands=(s2j j2s mkpatn)
rm -rf "$work"
mkdir -p "$work"

echo "-- cmake --install $build --prefix $stage"
cmake --install "$build" --prefix "$stage" >"$work/install.log"

# --- what is installed where ---
expected=(
  bin/vokcli include/vokl.h
  "$libdir/libvokl.so" "$libdir/libvokl.so.$soversion" "$libdir/libvokl.so.$version"
  "$libdir/pkgconfig/vokl.pc"
  "$libdir/cmake/vokl/voklConfig.cmake" "$libdir/cmake/vokl/voklConfigVersion.cmake"
  "$libdir/cmake/vokl/voklTargets.cmake"
  share/man/man1/vokcli.1.gz share/man/ja/man1/vokcli.1.gz
  share/bash-completion/completions/vokcli
)
$have_app && expected+=(
  bin/vok share/vok/vok.hlp share/applications/vok.desktop share/icons/hicolor/scalable/apps/vok.svg
  share/man/man1/vok.1.gz share/man/ja/man1/vok.1.gz
)
for f in "${expected[@]}"; do check "installed $f" test -e "$stage/$f"; done
check_equal "libvokl.so points to the SONAME" "libvokl.so.$soversion" "$(readlink "$stage/$libdir/libvokl.so")"
check_equal "SONAME" "[libvokl.so.$soversion]" \
  "$(readelf -d "$stage/$libdir/libvokl.so.$version" | sed -n 's/.*(SONAME).*Library soname: //p')"
bin_to_lib="$(realpath --relative-to="$stage/bin" "$stage/$libdir")"
programs=(vokcli)
$have_app && programs+=(vok)
for program in "${programs[@]}"; do
  check_equal "$program RUNPATH" "[\$ORIGIN/$bin_to_lib]" \
    "$(readelf -d "$stage/bin/$program" | sed -n 's/.*(RUNPATH).*Library runpath: //p')"
  check "$program: every library found" bash -c "! env -u LD_LIBRARY_PATH ldd '$stage/bin/$program' | grep -q 'not found'"
done
check_equal "vokcli uses the installed library" "$stage/$libdir/libvokl.so.$soversion" \
  "$(realpath -s -m "$(env -u LD_LIBRARY_PATH ldd "$stage/bin/vokcli" | sed -n 's/.*libvokl[^ ]* => \([^ ]*\) .*/\1/p')")"

# --- the installed vokcli on a file, both ways ---
run="$work/run"
mkdir -p "$run"
printf 'ABC abc 123\r\n' >"$run/in.txt"
check "installed vokcli s2j" run_vokcli "$stage/bin/vokcli" s2j --code ascii in.txt out.bin
check_equal "vokcli s2j output" "c1c2c34081828340f1f2f3" "$(od -An -tx1 -v "$run/out.bin" | tr -d ' \n')"
check "installed vokcli j2s" run_vokcli "$stage/bin/vokcli" j2s --code ascii --record-length 11 \
  --error-log errors.txt out.bin back.txt
check "vokcli j2s gives the text back" cmp -s "$run/in.txt" "$run/back.txt"

# --- a C program through pkg-config ---
consumer="$work/consumer"
mkdir -p "$consumer"
cat >"$consumer/main.c" <<'EOF'
#include <stdio.h>
#include <vokl.h>

int main(void) {
    printf("%.0f\n", voklVersion());
    return 0;
}
EOF
export PKG_CONFIG_PATH="$stage/$libdir/pkgconfig"
check_equal "pkg-config --modversion" "$version" "$(pkg-config --modversion vokl)"
check_equal "pkg-config --cflags" "-I$stage/include" "$(pkg-config --cflags vokl | xargs)"
cc -o "$consumer/with-pkg-config" "$consumer/main.c" $(pkg-config --cflags --libs vokl)
expected_version="${version%.*}"
expected_version="${expected_version//./}"
check_equal "C program built with pkg-config" "$expected_version" \
  "$(LD_LIBRARY_PATH="$stage/$libdir" "$consumer/with-pkg-config")"
unset PKG_CONFIG_PATH

# --- a CMake project through find_package(vokl) ---
cat >"$consumer/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(consumer C)
find_package(vokl $version REQUIRED)
add_executable(with-cmake main.c)
target_link_libraries(with-cmake PRIVATE vokl::vokl)
EOF
cmake -S "$consumer" -B "$consumer/build" -DCMAKE_PREFIX_PATH="$stage" >"$work/consumer.log"
cmake --build "$consumer/build" >>"$work/consumer.log"
check_equal "find_package(vokl) found the staged package" "$stage/$libdir/cmake/vokl" \
  "$(cache_value vokl_DIR "$consumer/build")"
check_equal "CMake project with find_package(vokl)" "$expected_version" "$("$consumer/build/with-cmake")"

# --- man pages, bash completion, desktop entry ---
for page in "$stage"/share/man/man1/*.1.gz "$stage"/share/man/ja/man1/*.1.gz; do
  check_equal "man warnings of ${page#"$stage"/}" "" "$(man_warnings "$page")"
done
completion="$stage/share/bash-completion/completions/vokcli"
# What the completion offers at the end of the command line "vokcli LINE",
# split into words as bash splits them ("=" is a word of its own).
complete_line() {
  bash -c '. /usr/share/bash-completion/bash_completion; . "$0"
    compopt() { :; }  # there is no real completion to set options for
    COMP_LINE="vokcli $1"; COMP_POINT=${#COMP_LINE}
    read -r -a COMP_WORDS <<<"${COMP_LINE//=/ = }"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _vokcli; printf "%s\n" "${COMPREPLY[@]}" | sort' "$completion" "$1"
}
if [ -f /usr/share/bash-completion/bash_completion ]; then
  check_equal "completion of a command" "$(printf '%s\n' --help "${commands[@]}" | sort)" "$(complete_line '')"
  check_equal "completion of --code" "$(printf '%s\n' ascii kana kana-upper lower none | sort)" \
    "$(complete_line 's2j --code ')"
  check_equal "completion of a --trim list" "$(printf 'trim,%s\n' kanji ltrim rtrim trim | sort)" \
    "$(complete_line 'j2s --trim trim,')"
  check_equal "completion of --separator=" "comma" "$(complete_line 'mkpatn --separator=c')"
else
  echo "-- bash-completion not installed: completion not tried"
fi
# Every option vokcli explains is in both man pages and in the completion.
for command in "${commands[@]}"; do
  options="$(help_options "$stage/bin/vokcli" "$command")"
  if [ -f /usr/share/bash-completion/bash_completion ]; then
    check_equal "completion of $command options" "$(printf '%s\n' $options --help | sort)" \
      "$(complete_line "$command --")"
  fi
  for page in "$stage"/share/man/man1/vokcli.1.gz "$stage"/share/man/ja/man1/vokcli.1.gz; do
    check_equal "options of $command in ${page#"$stage"/}" "$options" "$(man_options "$page" "$command")"
  done
done
if $have_app; then
  check "desktop-file-validate" desktop-file-validate "$stage/share/applications/vok.desktop"
fi

# --- the Debian packages ---
if [ -n "$deb_build" ]; then
  echo "-- Debian packages in $deb_build"
  if ! "$source_dir/packaging/build-deb.sh" "$deb_build" >"$work/build-deb.log" 2>&1; then
    tail -n 30 "$work/build-deb.log" >&2
    fail "packaging/build-deb.sh"
  fi
  arch="$(dpkg --print-architecture)"
  multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
  deb_version="$(dpkg-parsechangelog -l "$source_dir/packaging/debian/changelog" -S Version)"
  packages=("libvokl$soversion" libvokl-dev vokcli)
  $have_app && packages+=(vok)
  # Entries each package's Depends must hold, separated by ";".
  declare -A depends_on=(
    ["libvokl$soversion"]="libc6;libstdc++6"
    [libvokl-dev]="libvokl$soversion (= $deb_version)"
    [vokcli]="libvokl$soversion (>= $version);libc6;libstdc++6"
    [vok]="libvokl$soversion (>= $version);qt6-qpa-plugins;libqt6core6;libqt6gui6;libqt6widgets6"
  )
  declare -A contains=(
    ["libvokl$soversion"]="usr/lib/$multiarch/libvokl.so.$soversion usr/lib/$multiarch/libvokl.so.$version"
    [libvokl-dev]="usr/include/vokl.h usr/lib/$multiarch/libvokl.so usr/lib/$multiarch/pkgconfig/vokl.pc
      usr/lib/$multiarch/cmake/vokl/voklConfig.cmake usr/lib/$multiarch/cmake/vokl/voklTargets.cmake"
    [vokcli]="usr/bin/vokcli usr/share/man/man1/vokcli.1.gz usr/share/man/ja/man1/vokcli.1.gz
      usr/share/bash-completion/completions/vokcli"
    [vok]="usr/bin/vok usr/share/vok/vok.hlp usr/share/applications/vok.desktop
      usr/share/icons/hicolor/scalable/apps/vok.svg usr/share/man/man1/vok.1.gz usr/share/man/ja/man1/vok.1.gz"
  )
  unpacked="$work/unpacked"
  for package in "${packages[@]}"; do
    deb="$deb_build/${package}_${deb_version}_$arch.deb"
    if [ ! -f "$deb" ]; then
      fail "no package $deb"
      continue
    fi
    echo "-- $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
    check_equal "$package version" "$deb_version" "$(dpkg-deb -f "$deb" Version)"
    files="$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||')"
    for f in ${contains[$package]} "usr/share/doc/$package/copyright" "usr/share/doc/$package/changelog.Debian.gz"; do
      check "$package contains $f" grep -qx -- "$f" <<<"$files"
    done
    depends="$(dpkg-deb -f "$deb" Depends)"
    IFS=';' read -r -a entries <<<"${depends_on[$package]}"
    for entry in "${entries[@]}"; do
      check "$package depends on $entry" grep -qE "(^|, )$(sed 's/[][().+*]/\\&/g' <<<"$entry")( |,|$)" <<<"$depends"
    done
    dpkg-deb -x "$deb" "$unpacked"
  done
  check_equal "libvokl shlibs" "libvokl $soversion libvokl$soversion (>= $deb_version)" \
    "$(dpkg-deb -I "$deb_build/libvokl${soversion}_${deb_version}_$arch.deb" shlibs)"
  check_equal "libvokl-dev depends on the same build" "libvokl$soversion (= $deb_version)" \
    "$(dpkg-deb -f "$deb_build/libvokl-dev_${deb_version}_$arch.deb" Depends)"
  check "vokl.pc of the package names /usr" grep -qx 'prefix=/usr' "$unpacked/usr/lib/$multiarch/pkgconfig/vokl.pc"
  check_equal "packaged vokcli RUNPATH" "[\$ORIGIN/../lib/$multiarch]" \
    "$(readelf -d "$unpacked/usr/bin/vokcli" | sed -n 's/.*(RUNPATH).*Library runpath: //p')"
  if $have_app; then
    check "vok recommends Qt's Japanese texts" grep -q 'qt6-translations-l10n' \
      <<<"$(dpkg-deb -f "$deb_build/vok_${deb_version}_$arch.deb" Recommends)"
    # vok opens the library at run time, from the folder it was built to find it in.
    check "packaged vok looks in ../lib/$multiarch" bash -c "strings -el '$unpacked/usr/bin/vok' | grep -qx '../lib/$multiarch'"
  fi
  rm -f "$run/out.bin"
  check "unpacked vokcli s2j" run_vokcli "$unpacked/usr/bin/vokcli" s2j --code ascii in.txt out.bin
  check_equal "unpacked vokcli s2j output" "c1c2c34081828340f1f2f3" "$(od -An -tx1 -v "$run/out.bin" | tr -d ' \n')"
  if command -v lintian >/dev/null; then
    echo "-- lintian"
    # Left as they are, see README: the placeholder license, no upstream
    # homepage, no symbols file (shlibs are given).
    if lintian --fail-on error,warning --suppress-tags-from-file "$source_dir/packaging/debian/lintian-suppressed" \
      "$deb_build"/*.deb >"$work/lintian.log" 2>&1; then
      pass
    else
      fail "lintian: $(cat "$work/lintian.log")"
    fi
  else
    echo "-- lintian not installed: packages not linted"
  fi
fi

echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
