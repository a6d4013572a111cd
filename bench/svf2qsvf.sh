#!/usr/bin/env bash
# Throughput and memory benchmark of svf2qsvf on generated SVF files:
#  (a) FPGA-style: one SDR with TDI, TDO and MASK, translated with -fpga,
#      at two scan lengths (16 Mi and 64 Mi bits) to show linear growth;
#  (b) CPLD-style: SIR / SDR (8 to 300 bits, TDO and MASK) / RUNTEST commands,
#      at 50,000 and 200,000 commands.
# Beside each translation run two reference loops, built here from
# bench/hexpack_sse.cpp and bench/hexpack_byte.cpp with the system compiler:
# they read the same file and pack every hexadecimal digit of it into nibbles,
# 16 bytes at a time with SSSE3/SSE4.1 and one byte at a time.  The three
# programs run in turn, 5 rounds; the medians of wall and user CPU time give
# svf2qsvf's time as a ratio to each loop measured in the same run, which
# stays meaningful on a busy machine.  Peak memory comes from /usr/bin/time -v
# (one more run; a child's own rusage would count the forked Python too).
# Targets: FPGA within 1.5 times the SSE loop, CPLD within 3 times the byte
# loop, peak memory no more than input size + 32 MB.
#
#   bench/svf2qsvf.sh [build-dir]      (default build-bench, Release)
# Environment: WORK (folder for the generated files, default /tmp/svf2qsvf-bench),
# RUNS (default 5), SIZES_FPGA, SIZES_CPLD (space-separated overrides), CXX.
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

# The reference loops; the SSE one only where the compiler targets x86-64.
cxx=${CXX:-c++}
"$cxx" -O2 -std=c++20 -o "$work/hexpack_byte" "$root/bench/hexpack_byte.cpp"
sse=none
if [ "$("$cxx" -dumpmachine | cut -d- -f1)" = x86_64 ] && grep -qw sse4_1 /proc/cpuinfo 2>/dev/null; then
    "$cxx" -O2 -std=c++20 -mssse3 -msse4.1 -o "$work/hexpack_sse" "$root/bench/hexpack_sse.cpp"
    sse=$work/hexpack_sse
fi

# One measurement: $runs rounds of svf2qsvf, the SSE loop and the byte loop
# on one file.  Prints, per program, the median wall time and the median user
# CPU time (seconds).
measure() {
    local file=$1; shift
    python3 - "$runs" "$file" "$work/out.qsvf" "$sse" "$work/hexpack_byte" "$bin" "$@" <<'PY'
import os, statistics, subprocess, sys, time
runs, svf, out, sse, byte, binary, extra = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6], sys.argv[7:]
programs = [[binary, "-w", *extra, "-i", svf, "-o", out], [sse, svf] if sse != "none" else None, [byte, svf]]
wall = [[] for _ in programs]
user = [[] for _ in programs]
for _ in range(runs):
    for i, command in enumerate(programs):
        if command is None:
            continue
        start = time.perf_counter()
        child = subprocess.Popen(command, stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        wall[i].append(time.perf_counter() - start)
        user[i].append(usage.ru_utime)
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit("%s ended with status %d on %s" % (command[0], os.waitstatus_to_exitcode(status), svf))
for i in range(len(programs)):
    if programs[i] is None:
        print("nan nan", end=" ")
    else:
        print("%.6f %.6f" % (statistics.median(wall[i]), statistics.median(user[i])), end=" ")
print()
PY
}

# Peak resident set of one svf2qsvf run, in kB.
peak_rss() {
    local file=$1; shift
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -v "$bin" -w "$@" -i "$file" -o "$work/out.qsvf" 2>&1 >/dev/null |
            awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}'
    else
        echo 0
    fi
}

echo "svf2qsvf: $bin; reference loops: ${sse:+$sse, }$work/hexpack_byte; $runs rounds, medians"
printf '%-5s %10s %8s | %17s | %17s | %17s | %12s | %9s %9s | %s\n' kind size in_MiB \
    "svf2qsvf wall/usr" "sse loop wall/usr" "byte loop wall/usr" "x sse x byte" peak_MiB limit_MiB verdict
report() {
    local kind=$1 size=$2 file=$3; shift 3
    local bytes t tu s su b bu peak _ ratio_sse ratio_byte limit verdict
    bytes=$(stat -c %s "$file")
    read -r t tu s su b bu < <(measure "$file" "$@")
    peak=$(peak_rss "$file" "$@")
    ratio_sse=$(awk -v t="$t" -v s="$s" 'BEGIN {if (s == "nan") print "n/a"; else printf "%.2f", t / s}')
    ratio_byte=$(awk -v t="$t" -v b="$b" 'BEGIN {printf "%.2f", t / b}')
    limit=$(awk -v b="$bytes" 'BEGIN {printf "%.1f", b / 1048576 + 32}')
    verdict=ok
    if [ "$kind" = fpga ]; then
        [ "$ratio_sse" != n/a ] && awk -v r="$ratio_sse" 'BEGIN {exit !(r > 1.5)}' && verdict="SLOW"
    else
        awk -v r="$ratio_byte" 'BEGIN {exit !(r > 3)}' && verdict="SLOW"
    fi
    awk -v p="$peak" -v l="$limit" 'BEGIN {exit !(p / 1024 > l)}' && verdict="$verdict MEMORY"
    last_time=$t
    printf '%-5s %10s %8.1f | %8.3f %8.3f | %8.3f %8.3f | %8.3f %8.3f | %5s %6s | %9.1f %9s | %s\n' \
        "$kind" "$size" "$(awk -v b="$bytes" 'BEGIN {print b / 1048576}')" "$t" "$tu" "$s" "$su" "$b" "$bu" \
        "$ratio_sse" "$ratio_byte" "$(awk -v p="$peak" 'BEGIN {print p / 1024}')" "$limit" "$verdict"
}

# Linear growth: the time per bit of each FPGA size against the first one.
first_rate=
linearity=
for bits in $sizes_fpga; do
    file=$work/fpga_$bits.svf
    [ -s "$file" ] || python3 "$root/bench/svf2qsvf_gen.py" fpga "$bits" "$file"
    report fpga "${bits}b" "$file" -fpga
    rate=$(awk -v t="$last_time" -v n="$bits" 'BEGIN {printf "%.9g", t / n}')
    first_rate=${first_rate:-$rate}
    linearity="$linearity ${bits}b: $(awk -v r="$rate" -v f="$first_rate" 'BEGIN {printf "%.2f", r / f}')"
done
echo "fpga time per bit relative to the first size (1.00 is linear):$linearity"
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

# ---- -chain on the largest FPGA file --------------------------------------------
# The same file placed in the middle of a chain of three devices: the padding
# joins the scan as the header and trailer do, without a copy of the scan.
# Target: the median time within 1.1 times that without -chain, both run in
# turn in the same rounds.
echo
echo "svf2qsvf -fpga on fpga_$check_bits.svf, alone and with -chain 5,8,10 -target 2:"
python3 - "$runs" "$bin" "$check_svf" "$work/chain.qsvf" <<'PY'
import statistics, subprocess, sys, time
runs, binary, svf, out = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
commands = {"alone": [binary, "-w", "-fpga", "-i", svf, "-o", out],
            "chain": [binary, "-w", "-fpga", "-chain", "5,8,10", "-target", "2", "-i", svf, "-o", out]}
times = {name: [] for name in commands}
for _ in range(runs):
    for name, command in commands.items():
        start = time.perf_counter()
        if subprocess.run(command, stdout=subprocess.DEVNULL).returncode != 0:
            sys.exit("%s ended with an error" % " ".join(command))
        times[name].append(time.perf_counter() - start)
alone, chain = statistics.median(times["alone"]), statistics.median(times["chain"])
ratio = chain / alone
print("%-10s %-10s %-6s %s" % ("alone_s", "chain_s", "ratio", "verdict"))
print("%-10.3f %-10.3f %-6.2f %s" % (alone, chain, ratio, "ok" if ratio <= 1.1 else "SLOW"))
PY
rm -f "$work/chain.qsvf"
