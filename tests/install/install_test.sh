#!/bin/bash
# install_test.sh BUILD_DIR TEST_DIR WORK_DIR CMAKE CXX CXXFLAGS VERSION PACKAGE PROGRAMS MANUALS
# Installs BUILD_DIR into WORK_DIR/prefix and checks the tree: programs in
# bin/ answering --version, the libraries with their SONAME links, headers,
# CMake package and pkg-config files, message catalogues in share/PACKAGE/
# and not beside the libraries, and the manual pages.  Then builds
# TEST_DIR/consumer against the installed libraries twice (CMake package,
# pkg-config) and checks its output, which needs a message catalogue, against
# TEST_DIR/expected.txt.  Finally the tree is moved to another folder: the
# programs and the catalogue must still be found from there.
set -u
build=$1 testdir=$2 work=$3 cmake=$4 cxx=$5 cxxflags=$6 version=$7 package=$8 programs=$9 manuals=${10}
fail() { echo "FAILED: $*"; exit 1; }

rm -rf "$work" && mkdir -p "$work" || fail "cannot create $work"
prefix=$work/prefix

"$cmake" --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1 \
  || { cat "$work/install.log"; fail "cmake --install"; }

# Layout.
for f in include/Lmr_Util/String.h include/Lmr_Util/TokenStream.h include/Lmr_Zutils/pt_msg.h; do
  [ -f "$prefix/$f" ] || fail "$f not installed"
done
lib=$(dirname "$(find "$prefix" -name 'libLmr_Util.so' | head -1)")
[ "$lib" = "$prefix/lib" ] || fail "libraries not in lib/: $lib"
for name in Lmr_Util Lmr_Zutils; do
  [ "$(readlink "$lib/lib$name.so")" = "lib$name.so.5" ] || fail "lib$name.so is not a link to lib$name.so.5"
  [ "$(readlink "$lib/lib$name.so.5")" = "lib$name.so.$version" ] || fail "lib$name.so.5 is not a link to lib$name.so.$version"
  [ -f "$lib/lib$name.so.$version" ] && [ ! -L "$lib/lib$name.so.$version" ] || fail "lib$name.so.$version missing"
  readelf -d "$lib/lib$name.so.$version" | grep -q "(SONAME).*\[lib$name.so.5\]" || fail "lib$name: SONAME is not lib$name.so.5"
done
catalogues=$prefix/share/$package
[ -f "$catalogues/epld_hi.txt" ] && [ -f "$catalogues/epld_pt.txt" ] || fail "catalogues not in share/$package"
ls "$lib"/*.txt > /dev/null 2>&1 && fail "catalogues left beside the libraries"
pcdir=$lib/pkgconfig
[ -f "$pcdir/Lmr_Util.pc" ] && [ -f "$pcdir/Lmr_Zutils.pc" ] || fail "pkg-config files not installed"
[ -f "$lib/cmake/Lmr_Util/Lmr_UtilConfig.cmake" ] || fail "CMake package files not installed"
for page in $manuals; do
  [ -f "$prefix/share/man/man1/$page.1.gz" ] || [ -f "$prefix/share/man/man1/$page.1" ] || fail "manual page $page.1 not installed"
done

# Every program runs from bin/ with only what the tree holds.
check_versions() { # bin folder
  local program out
  for program in $programs; do
    [ -x "$1/$program" ] || fail "$1/$program not installed"
    out=$(env -u LD_LIBRARY_PATH "$1/$program" --version) || fail "$program --version: status $?"
    [ "$out" = "$program (QSVF tools) $version" ] || fail "$program --version printed: $out"
  done
}
check_versions "$prefix/bin"

check_run() { # name program [environment...]
  local name=$1 program=$2 out status
  shift 2
  out=$(env -u MORVANE -u MYMORVANE "$@" "$program" 2>&1); status=$?
  [ "$status" -eq 2 ] || fail "$name: exit status $status, expected 2"
  [ "$out" == "$(cat "$testdir/expected.txt")" ] || { echo "$out"; fail "$name: output differs"; }
  echo "$name: ok"
}

# 1. find_package from the installed prefix.
"$cmake" -S "$testdir/consumer" -B "$work/consumer-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxxflags" > "$work/consumer-configure.log" 2>&1 \
  || { cat "$work/consumer-configure.log"; fail "configuring the consumer"; }
"$cmake" --build "$work/consumer-build" > "$work/consumer-build.log" 2>&1 \
  || { cat "$work/consumer-build.log"; fail "building the consumer"; }
check_run cmake-package "$work/consumer-build/lmr_consumer"

# 2. pkg-config.
consumer=$work/consumer-build/lmr_consumer
if command -v pkg-config > /dev/null; then
  flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs Lmr_Util) || fail "pkg-config Lmr_Util"
  case "$flags" in *-lLmr_Zutils*) ;; *) fail "pkg-config Lmr_Util does not bring Lmr_Zutils: $flags";; esac
  "$cxx" $cxxflags -std=c++20 "$testdir/consumer/main.cpp" -o "$work/lmr_consumer_pc" $flags \
    || fail "building the consumer with pkg-config"
  check_run pkg-config "$work/lmr_consumer_pc"
  consumer=$work/lmr_consumer_pc
fi

# 3. The tree moved: the libraries are found from the moved tree, and the
# catalogue from the library's own place; without the catalogue there, the
# message cannot be loaded (so it was not found anywhere else).
moved=$work/moved
mv "$prefix" "$moved" || fail "cannot move the installed tree"
check_versions "$moved/bin"
check_run moved "$consumer" LD_LIBRARY_PATH="$moved/lib"
rm "$moved/share/$package/epld_hi.txt"
out=$(env -u MORVANE -u MYMORVANE LD_LIBRARY_PATH="$moved/lib" "$consumer" 2>&1)
case "$out" in *"Unable to load message file: epld_hi.txt"*) echo "moved without catalogue: ok";;
  *) echo "$out"; fail "the catalogue was found although it is not in the moved tree";; esac
echo "1 passed, 0 failed"
