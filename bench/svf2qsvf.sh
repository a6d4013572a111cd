#!/usr/bin/env bash
# Throughput and memory benchmark of svf2qsvf on generated SVF files:
#  (a) FPGA-style: one SDR with TDI, TDO and MASK, translated with -fpga,
#      at two scan lengths (16 Mi and 64 Mi bits) to show linear growth;
#  (b) CPLD-style: SIR / SDR (8 to 300 bits, TDO and MASK) / RUNTEST commands,
#      at 50,000 and 200,000 commands.
# Each translation runs 5 times; the median wall time gives MB/s of SVF text.
# Peak memory comes from /usr/bin/time -v when present, else from getrusage.
# Targets: at least 150 MB/s, peak memory no more than input size + 32 MB.
#
#   bench/svf2qsvf.sh [build-dir]      (default build-bench, Release)
# Environment: WORK (folder for the generated files, default /tmp/svf2qsvf-bench),
# RUNS (default 5), SIZES_FPGA, SIZES_CPLD (space-separated overrides).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
work=${WORK:-/tmp/svf2qsvf-bench}
runs=${RUNS:-5}
sizes_fpga=${SIZES_FPGA:-"16777216 67108864"}
sizes_cpld=${SIZES_CPLD:-"50000 200000"}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQSVF_TESTS=OFF >/dev/null
cmake --build "$build" --target svf2qsvf -j2 >/dev/null
bin=$(find "$build" -type f -name svf2qsvf -perm -u+x | head -n 1)
[ -x "$bin" ] || { echo "svf2qsvf was not built" >&2; exit 1; }
mkdir -p "$work"

# One measurement: median wall time of $runs runs, peak RSS in kB.
measure() {
    local file=$1; shift
    python3 - "$runs" "$bin" "$file" "$work/out.qsvf" "$@" <<'PY'
import resource, statistics, subprocess, sys, time
runs, binary, svf, out, extra = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]
times = []
for _ in range(runs):
    start = time.perf_counter()
    status = subprocess.run([binary, "-w", *extra, "-i", svf, "-o", out], stdout=subprocess.DEVNULL).returncode
    times.append(time.perf_counter() - start)
    if status != 0:
        sys.exit("svf2qsvf ended with status %d on %s" % (status, svf))
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print("%.6f %d" % (statistics.median(times), peak))
PY
}

peak_rss() {
    local file=$1; shift
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -v "$bin" -w "$@" -i "$file" -o "$work/out.qsvf" 2>&1 >/dev/null |
            awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}'
    else
        measure "$file" "$@" | awk '{print $2}'
    fi
}

printf '%-6s %12s %10s %10s %9s %10s %11s %s\n' kind size input_MiB median_s MB/s peak_MiB limit_MiB verdict
report() {
    local kind=$1 size=$2 file=$3; shift 3
    local bytes median peak mbps limit verdict
    bytes=$(stat -c %s "$file")
    read -r median _ < <(measure "$file" "$@")
    peak=$(peak_rss "$file" "$@")
    mbps=$(awk -v b="$bytes" -v t="$median" 'BEGIN {printf "%.1f", b / 1e6 / t}')
    limit=$(awk -v b="$bytes" 'BEGIN {printf "%.1f", b / 1048576 + 32}')
    verdict=ok
    awk -v m="$mbps" 'BEGIN {exit !(m < 150)}' && verdict="SLOW"
    awk -v p="$peak" -v l="$limit" 'BEGIN {exit !(p / 1024 > l)}' && verdict="$verdict MEMORY"
    printf '%-6s %12s %10.1f %10.3f %9s %10.1f %11s %s\n' "$kind" "$size" \
        "$(awk -v b="$bytes" 'BEGIN {print b / 1048576}')" "$median" "$mbps" \
        "$(awk -v p="$peak" 'BEGIN {print p / 1024}')" "$limit" "$verdict"
}

for bits in $sizes_fpga; do
    file=$work/fpga_$bits.svf
    [ -s "$file" ] || python3 "$root/bench/svf2qsvf_gen.py" fpga "$bits" "$file"
    report fpga "${bits}b" "$file" -fpga
done
for count in $sizes_cpld; do
    file=$work/cpld_$count.svf
    [ -s "$file" ] || python3 "$root/bench/svf2qsvf_gen.py" cpld "$count" "$file"
    report cpld "${count}c" "$file"
done
rm -f "$work/out.qsvf"
