#!/usr/bin/env bash
# Throughput of MergeQSVF and qsvf2ascii on generated streams.
#
#   bench/merge_dump.sh [build-dir]      (default: build)
#
# Generates, deterministically and in /tmp, two 256 MB streams to merge and
# one 64 MB stream to list, runs each program five times and prints the
# median throughput in MB/s of input and the largest resident set seen.
# A 32 MB merge is measured too, so that memory can be compared across file
# sizes.  The generated files are removed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
merge=$build/merger/MergeQSVF
dump=$build/dumper/qsvf2ascii
work=$(mktemp -d /tmp/merge_dump_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A stream of about the given number of MB: QREPEAT, QSDRSIZE 1024, then
# records of QRUNTEST, QSIR and QSDRTDO with 128-byte vectors, QCOMPLETE.
generate() {
    python3 - "$1" "$2" <<'PY'
import sys
size_mb, path = int(sys.argv[1]), sys.argv[2]
block = bytearray()
n = 0
while len(block) < (1 << 20) - 300:
    block += bytes([4, 0, 0, n & 255, 100])                            # QRUNTEST
    block += bytes([2, 8, n & 255])                                     # QSIR 8 bits
    block += bytes([9]) + bytes((n * 31 + i) & 255 for i in range(256))  # QSDRTDO 1024 bits
    n += 1
with open(path, "wb") as out:
    out.write(bytes([7, 32, 8, 0, 0, 4, 0]))                            # QREPEAT, QSDRSIZE 1024
    for _ in range(size_mb):
        out.write(block)
    out.write(bytes([0]))
PY
}

# Runs a command five times; prints "<median wall seconds> <median CPU
# seconds (user + system)> <max RSS KB>".  The CPU time shows what the
# program costs when other work shares the machine.
measure() {
    local walls=() cpus=() rss=0
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null
        read -r t u s m <"$work/time"
        walls+=("$t")
        cpus+=("$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')")
        ((m > rss)) && rss=$m
    done
    local wall cpu
    wall=$(printf '%s\n' "${walls[@]}" | sort -n | sed -n 3p)
    cpu=$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n 3p)
    echo "$wall $cpu $rss"
}

report() {  # name, input bytes, wall seconds, CPU seconds, rss
    awk -v n="$1" -v b="$2" -v s="$3" -v c="$4" -v r="$5" \
        'BEGIN { printf "%-30s %6.1f MB in  median %6.3f s  %5.0f MB/s  (CPU %5.3f s)  max RSS %5.1f MB\n", n, b / 1e6, s, (s > 0 ? b / 1e6 / s : 0), c, r / 1024 }'
}

generate 256 "$work/a.qsvf"
cp "$work/a.qsvf" "$work/b.qsvf"
generate 64 "$work/c.qsvf"
generate 32 "$work/s.qsvf"
sa=$(stat -c %s "$work/a.qsvf"); sc=$(stat -c %s "$work/c.qsvf"); ss=$(stat -c %s "$work/s.qsvf")

read -r t c m < <(measure "$merge" -d -o "$work/out.qsvf" -i "$work/a.qsvf" -i "$work/b.qsvf")
report "MergeQSVF two 256 MB streams" $((2 * sa)) "$t" "$c" "$m"
read -r t c m < <(measure "$merge" -d -o "$work/out.qsvf" -i "$work/s.qsvf" -i "$work/s.qsvf")
report "MergeQSVF two 32 MB streams" $((2 * ss)) "$t" "$c" "$m"
rm -f "$work/out.qsvf"
read -r t c m < <(measure "$dump" "$work/c.qsvf" "$work/out.txt")
report "qsvf2ascii 64 MB stream" "$sc" "$t" "$c" "$m"
read -r t c m < <(measure "$dump" "$work/s.qsvf" "$work/out.txt")
report "qsvf2ascii 32 MB stream" "$ss" "$t" "$c" "$m"
