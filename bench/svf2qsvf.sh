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

# ---- qsvfcheck on the largest FPGA file ---------------------------------------
# The checker reads the 64 Mibit FPGA file and its -fpga stream.  Targets: a
# median time no more than twice svf2qsvf's on the same file, peak memory no
# more than the two files' sizes plus 32 MB.  CHECK_BITS overrides the length.
check_bits=${CHECK_BITS:-67108864}
check_svf=$work/fpga_$check_bits.svf
[ -s "$check_svf" ] || python3 "$root/bench/svf2qsvf_gen.py" fpga "$check_bits" "$check_svf"
cmake --build "$build" --target qsvfcheck -j2 >/dev/null
checker=$(find "$build" -type f -name qsvfcheck -perm -u+x | head -n 1)
[ -x "$checker" ] || { echo "qsvfcheck was not built" >&2; exit 1; }
"$bin" -w -fpga -i "$check_svf" -o "$work/check.qsvf" >/dev/null

# Median wall time of $runs runs of a command (which must end with status 0).
median_time() {
    python3 - "$runs" "$@" <<'PY'
import statistics, subprocess, sys, time
runs, command = int(sys.argv[1]), sys.argv[2:]
times = []
for _ in range(runs):
    start = time.perf_counter()
    status = subprocess.run(command, stdout=subprocess.DEVNULL).returncode
    times.append(time.perf_counter() - start)
    if status != 0:
        sys.exit("%s ended with status %d" % (command[0], status))
print("%.6f" % statistics.median(times))
PY
}
# Peak resident memory of one run in kB (/usr/bin/time -v, else getrusage).
peak_kb() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}'
    else
        python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@"
    fi
}

echo
echo "qsvfcheck on fpga_$check_bits.svf and its -fpga stream:"
"$checker" "$check_svf" "$work/check.qsvf"
translate_s=$(median_time "$bin" -w -fpga -i "$check_svf" -o "$work/check_again.qsvf")
check_s=$(median_time "$checker" "$check_svf" "$work/check.qsvf")
check_peak=$(peak_kb "$checker" "$check_svf" "$work/check.qsvf")
files_mib=$(awk -v a="$(stat -c %s "$check_svf")" -v b="$(stat -c %s "$work/check.qsvf")" 'BEGIN {printf "%.1f", (a + b) / 1048576}')
ratio=$(awk -v c="$check_s" -v t="$translate_s" 'BEGIN {printf "%.2f", c / t}')
limit=$(awk -v f="$files_mib" 'BEGIN {printf "%.1f", f + 32}')
verdict=ok
awk -v r="$ratio" 'BEGIN {exit !(r > 2)}' && verdict="SLOW"
awk -v p="$check_peak" -v l="$limit" 'BEGIN {exit !(p / 1024 > l)}' && verdict="$verdict MEMORY"
printf '%-12s %-12s %-6s %-9s %-11s %-10s %s\n' svf2qsvf_s qsvfcheck_s ratio peak_MiB files_MiB limit_MiB verdict
printf '%-12.3f %-12.3f %-6s %-9.1f %-11s %-10s %s\n' "$translate_s" "$check_s" "$ratio" \
    "$(awk -v p="$check_peak" 'BEGIN {print p / 1024}')" "$files_mib" "$limit" "$verdict"
rm -f "$work/check.qsvf" "$work/check_again.qsvf"
