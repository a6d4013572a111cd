#!/usr/bin/env bash
# Benchmarks of svf2qsvf96 (not a test):
#  1. 20,000 SDRs of 2,048 bits in increment runs, with compression and
#     with -nc: compression should take at most twice the -nc time.
#  2. about 64 MB of FPGA scans with -fpga: 100 MB/s of SVF text or more.
# Usage: bench/svf2qsvf96.sh [build-dir]   (default: build)
# Inputs are generated deterministically in /tmp; each timing is the median
# of five runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
program=$build/translator96/svf2qsvf96
[ -x "$program" ] || { echo "no $program; build the svf2qsvf96 target first" >&2; exit 1; }
work=$(mktemp -d /tmp/svf2qsvf96_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
"${CXX:-c++}" -O2 -std=c++20 -o "$work/gen" "$root/bench/svf2qsvf96_gen.cpp"
"$work/gen" inc "$work/inc.svf"
"$work/gen" fpga "$work/fpga.svf"

# Median wall time in seconds of five runs of the program with the arguments.
median() {
  local times=()
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s%N)
    "$program" "$@" > /dev/null
    end=$(date +%s%N)
    times+=($(( end - start )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 3p | awk '{ printf "%.4f", $1 / 1e9 }'
}

compressed=$(median "$work/inc.svf" "$work/inc.qsvf")
plain=$(median -nc "$work/inc.svf" "$work/inc_nc.qsvf")
ratio=$(awk -v a="$compressed" -v b="$plain" 'BEGIN { printf "%.2f", a / b }')
echo "increment runs: compressed ${compressed}s ($(stat -c %s "$work/inc.qsvf") bytes)," \
     "-nc ${plain}s ($(stat -c %s "$work/inc_nc.qsvf") bytes), ratio ${ratio} (target <= 2)"

fpga=$(median -fpga "$work/fpga.svf" "$work/fpga.qsvf")
size=$(stat -c %s "$work/fpga.svf")
rate=$(awk -v s="$size" -v t="$fpga" 'BEGIN { printf "%.1f", s / t / 1e6 }')
echo "fpga: $size bytes of SVF in ${fpga}s, ${rate} MB/s (target >= 100)"
