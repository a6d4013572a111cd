#!/bin/bash
# install_test.sh BUILD_DIR TEST_DIR WORK_DIR CMAKE CXX [CXXFLAGS]
# Installs the two libraries from BUILD_DIR into WORK_DIR/prefix, then builds
# TEST_DIR/consumer against them twice (CMake package files, pkg-config) and
# checks the program's output and exit status against TEST_DIR/expected.txt.
set -u
build=$1 testdir=$2 work=$3 cmake=$4 cxx=$5 cxxflags=${6:-}
fail() { echo "FAILED: $*"; exit 1; }

rm -rf "$work" && mkdir -p "$work" || fail "cannot create $work"
prefix=$work/prefix

"$cmake" --install "$build" --prefix "$prefix" --component Lmr_Libraries > "$work/install.log" 2>&1 \
  || { cat "$work/install.log"; fail "cmake --install"; }

for f in include/Lmr_Util/String.h include/Lmr_Util/TokenStream.h include/Lmr_Zutils/pt_msg.h; do
  [ -f "$prefix/$f" ] || fail "$f not installed"
done
lib=$(dirname "$(find "$prefix" -name 'libLmr_Util.so' | head -1)")
[ -n "$lib" ] && [ -f "$lib/libLmr_Zutils.so" ] || fail "shared libraries not installed"
[ -f "$lib/epld_hi.txt" ] && [ -f "$lib/epld_pt.txt" ] || fail "catalogues not installed beside the library"
pcdir=$(dirname "$(find "$prefix" -name 'Lmr_Util.pc' | head -1)")
[ -f "$pcdir/Lmr_Zutils.pc" ] || fail "pkg-config files not installed"

check_run() { # name program
  local out status
  out=$(env -u MORVANE -u MYMORVANE "$2" 2>&1); status=$?
  [ "$status" -eq 2 ] || fail "$1: exit status $status, expected 2"
  [ "$out" == "$(cat "$testdir/expected.txt")" ] || { echo "$out"; fail "$1: output differs"; }
  echo "$1: ok"
}

# 1. find_package from the installed prefix.
"$cmake" -S "$testdir/consumer" -B "$work/consumer-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxxflags" > "$work/consumer-configure.log" 2>&1 \
  || { cat "$work/consumer-configure.log"; fail "configuring the consumer"; }
"$cmake" --build "$work/consumer-build" > "$work/consumer-build.log" 2>&1 \
  || { cat "$work/consumer-build.log"; fail "building the consumer"; }
check_run cmake-package "$work/consumer-build/lmr_consumer"

# 2. pkg-config.
if command -v pkg-config > /dev/null; then
  flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs Lmr_Util) || fail "pkg-config Lmr_Util"
  case "$flags" in *-lLmr_Zutils*) ;; *) fail "pkg-config Lmr_Util does not bring Lmr_Zutils: $flags";; esac
  "$cxx" $cxxflags -std=c++20 "$testdir/consumer/main.cpp" -o "$work/lmr_consumer_pc" $flags \
    || fail "building the consumer with pkg-config"
  check_run pkg-config "$work/lmr_consumer_pc"
fi
echo "1 passed, 0 failed"
