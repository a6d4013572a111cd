#!/usr/bin/env bash
# Benchmarks of the player (figures printed, not tests):
#  (a) code and static RAM of the library alone (-Os) per target: an
#      the AVR of the example with avr-gcc (goal: at most 3,300 bytes of
#      flash, no RAM),
#      a Cortex-M0+ and an M3 with arm-none-eabi-gcc (M0+ goal: at most 2,600
#      bytes, no C library function), s390x; the size of the player's state;
#  (b) cost per clock on the targets, each from two plays that differ only
#      in the number of clocks: the AVR example firmware in simavr (CPU
#      cycles; the plain clock callback is the example's port bit-bang; the
#      bulk shift callback of bench/avr_count.c does nothing), the Cortex-M example in qemu-system-arm with
#      bench/board_count.c (instructions, from the board's timer under
#      -icount; callbacks that move no pin): a wait clock (goal on the AVR:
#      32 cycles), a shifted bit (goal: 48 cycles), a shifted bit whose TDO is
#      compared, a bit through the bulk shift; and the deepest stack of the
#      plays (firmware's main included);
#  (c) host speed: the 64 Mibit FPGA stream (one SDR of 64 Mi bits, svf2qsvf
#      -fpga; with -s, so that a pin callback that does nothing passes every
#      comparison) played by bench/player_speed.c, best of 3 rounds;
#      goal: at least 100 Mbit/s shifted;
#  (d) qsvfplay on the same SDR with its TDO and MASK (the simulated chain
#      answers every compared bit), wall time.
#
#   bench/player.sh [build-dir]      (default build-bench, Release)
# Environment: WORK (generated files, default /tmp/player-bench), BITS
# (default 67108864), CC, PLAYER_SRC (a folder with another qsvfplay.c and
# qsvfplay.h to measure, default player/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
work=${WORK:-/tmp/player-bench}
bits=${BITS:-67108864}
src=${PLAYER_SRC:-$root/player}
mkdir -p "$work"
have() { command -v "$1" > /dev/null; }

echo "== (a) the library alone, -Os: code (text and read-only data), static RAM, state"
printf '#include "qsvfplay.h"\nchar state_size[sizeof(qsvfplay_state)];\n' > "$work/state_size.c"
size_of() { # name compiler flags... -> one line of figures
    local name=$1 cc=$2; shift 2
    have "$cc" || { echo "$name: $cc not installed"; return; }
    local tools=${cc%gcc}
    "$cc" -std=c99 -Os -ffunction-sections -Wall -Wextra -Werror -I"$src" -I"$root/include" "$@" \
        -c "$src/qsvfplay.c" -o "$work/qsvfplay-$name.o"
    "$cc" -std=c99 -I"$src" -I"$root/include" "$@" -c "$work/state_size.c" -o "$work/state-$name.o"
    local state
    state=$("${tools}nm" -S "$work/state-$name.o" | awk '$4 == "state_size" { print $2 }')
    # avr-gcc's read-only data is copied into RAM at the start (program memory needs PROGMEM)
    "${tools}size" -A "$work/qsvfplay-$name.o" | awk -v name="$name" -v state=$((16#$state)) -v avr=$([ "$cc" = avr-gcc ] && echo 1 || echo 0) \
        -v undefined="$("${tools}nm" -u "$work/qsvfplay-$name.o" | awk '{ printf "%s ", $2 }')" '
        $1 ~ /^\.rodata/ && avr { code += $2; ram += $2; next }
        $1 ~ /^\.text/ || $1 ~ /^\.rodata/ || $1 ~ /^\.progmem/ || $1 ~ /^\.data\.rel\.ro/ { code += $2; next }
        $1 ~ /^\.data/ { code += $2; ram += $2 }
        $1 ~ /^\.bss/ { ram += $2 }
        END { printf "%-17s code %5d bytes, static RAM %3d bytes, state %2d bytes, calls: %s\n",
                     name, code, ram, state, undefined == "" ? "none" : undefined }'
}
size_of avr avr-gcc -mmcu=atmega328p
size_of cortex-m0+ arm-none-eabi-gcc -mcpu=cortex-m0plus -mthumb -ffreestanding
size_of cortex-m3 arm-none-eabi-gcc -mcpu=cortex-m3 -mthumb -ffreestanding
size_of s390x s390x-linux-gnu-gcc
# built without QSETSDRMASKS and QSDRINC, as a board playing svf2qsvf's streams may
size_of avr-no-increments avr-gcc -mmcu=atmega328p -DQSVFPLAY_NO_INCREMENTS
size_of m0+-no-increments arm-none-eabi-gcc -mcpu=cortex-m0plus -mthumb -ffreestanding -DQSVFPLAY_NO_INCREMENTS

echo "== (b) cost per clock on the targets"
# Streams that differ only in clocks: a DR scan of 512 or 1536 bits (no TDO,
# or TDO compared under a full mask, expecting the 0 the pins answer), a wait
# of 1,000 or 101,000 clocks after an 8-bit IR scan.
python3 - "$work" << 'CODE'
import sys
def integer(value, size): return value.to_bytes(size, "big")
def vector(bits, seed):
    n, x, out = (bits + 7) // 8, seed, bytearray()
    for _ in range(n):
        x = (x * 1103515245 + 12345) & 0x7fffffff
        out.append(x >> 16 & 0xff)
    return bytes(out)
streams = {}
for bits in (512, 1536):
    size = b"\x08" + integer(bits, 4)
    streams[f"shift{bits}"] = size + b"\x03" + vector(bits, 1) + b"\x00"
    streams[f"compare{bits}"] = size + b"\x01" + b"\xff" * (bits // 8) + b"\x09" + vector(bits, 2) + bytes(bits // 8) + b"\x00"
for clocks in (1000, 101000):
    streams[f"wait{clocks}"] = b"\x04" + integer(clocks, 4) + b"\x02\x08\x00\x00"
for name, data in streams.items():
    open(f"{sys.argv[1]}/{name}.qsvf", "wb").write(data)
CODE
pairs="wait1000:wait101000:100000 shift512:shift1536:1024 compare512:compare1536:1024"
player_src=(PLAYER_SRC="$src" PLAYER_INCLUDE="$src $root/include")
per_clock() { # label figure-of-small figure-of-large clocks -> "label N.N"
    awk -v a="$2" -v b="$3" -v n="$4" -v label="$1" 'BEGIN { printf "%s %.1f", label, (b - a) / n }'
}

# One target's line: the cost per clock of each stream pair and of the bulk
# shift, and the deepest stack.  The runner (with its leading arguments)
# takes a variant (plain or bulk) and a stream and prints "count stack".
per_target() {
    local label=$1 a b s1 s2 small large n stack=0; shift
    local line=$label
    for pair in $pairs; do
        IFS=: read -r small large n <<< "$pair"
        read -r a s1 <<< "$("$@" plain "$small")"
        read -r b s2 <<< "$("$@" plain "$large")"
        line="$line $(per_clock "${small%%[0-9]*}" "$a" "$b" "$n")"
        stack=$(( s1 > stack ? s1 : stack )); stack=$(( s2 > stack ? s2 : stack ))
    done
    read -r a s1 <<< "$("$@" bulk shift512)"
    read -r b s2 <<< "$("$@" bulk shift1536)"
    echo "$line $(per_clock bulk-shift "$a" "$b" 1024); stack $stack bytes (plain), $s2 (bulk)"
}

if have avr-gcc && [ -f /usr/include/simavr/sim_avr.h ]; then
    cc -O2 -DAVR_MCU='"atmega328p"' -o "$work/avr_harness" "$root/tests/targets/avr_harness.c" -I/usr/include/simavr \
        -lsimavr -lelf
    : > "$work/no-tdo.txt"
    avr=(avr-gcc -std=c99 -mmcu=atmega328p -Os -Wall -Wextra -Werror -I"$src" -I"$root/include")
    "${avr[@]}" -c "$src/qsvfplay.c" -o "$work/avr-qsvfplay.o"
    "${avr[@]}" -c "$root/bench/avr_count.c" -o "$work/avr-count.o"
    avr_run() { # variant stream -> "cycles stack"
        if [ "$1" = bulk ]; then
            "${avr[@]}" -DSTREAM_FILE="\"$work/$2.qsvf\"" -c "$root/player/examples/avr/stream.S" -o "$work/avr-$2.o"
            "${avr[@]}" -o "$work/avr-bulk-$2.elf" "$work/avr-count.o" "$work/avr-qsvfplay.o" "$work/avr-$2.o"
            elf="$work/avr-bulk-$2.elf"
        else
            make -s -C "$root/player/examples/avr" "${player_src[@]}" BUILD="$work/avr-$1" NAME="$2" \
                STREAM="$work/$2.qsvf"
            elf="$work/avr-$1/$2.elf"
        fi
        "$work/avr_harness" "$elf" "$work/no-tdo.txt" "$work/avr.vcd" |
            awk '$1 == "cycles" { c = $2 } $1 == "stack" { s = $2 } END { print c, s }'
    }
    per_target "avr, CPU cycles:" avr_run
    avr-size "$work/avr-plain/shift512.elf" | awk 'NR == 2 { print "  example firmware: flash " $1 + $2 ", RAM " $2 + $3 " bytes" }'
    # what of the library the firmware links (its functions and tables; the
    # linker leaves out what main does not call, such as qsvfplay_scan_vectors)
    linked() { # objects-folder -> bytes
        avr-nm -S "$1/shift512.elf" | awk -v names="$(avr-nm --defined-only "$1/qsvfplay.o" |
            awk '$2 ~ /^[tTrR]$/ { printf "%s ", $3 }')" '
            function hex(s,  i, v) { for (i = 1; i <= length(s); ++i) v = 16 * v + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }
            BEGIN { n = split(names, list, " "); for (i = 1; i <= n; ++i) want[list[i]] = 1 }
            NF == 4 && ($4 in want) { sum += hex($2) } END { print sum }'
    }
    make -s -C "$root/player/examples/avr" "${player_src[@]}" BUILD="$work/avr-lean" NAME=shift512 \
        STREAM="$work/shift512.qsvf" NO_INCREMENTS=1
    echo "  library linked into the example firmware: $(linked "$work/avr-plain") bytes," \
        "$(linked "$work/avr-lean") built with NO_INCREMENTS=1"
else
    echo "avr: avr-gcc or libsimavr-dev not installed"
fi

if have arm-none-eabi-gcc && have qemu-system-arm; then
    arm_run() { # cpu variant stream -> "instructions stack"
        make -s -C "$root/player/examples/cortex-m" "${player_src[@]}" BUILD="$work/$1-$2" NAME="$3" \
            STREAM="$work/$3.qsvf" CPU="$1" BOARD="$root/bench/board_count.c" FLASH_SIZE=4M RAM_SIZE=4M \
            $([ "$2" = plain ] && echo PLAIN_CLOCK=1)
        qemu-system-arm -M mps2-an385 -nographic -monitor none -serial none -icount shift=5 \
            -semihosting-config enable=on,target=native -kernel "$work/$1-$2/$3.elf" 2>&1 |
            awk '$1 == "end" { print $4 * 5 / 4, $6 }'
    }
    for cpu in cortex-m0 cortex-m3; do
        per_target "$cpu, instructions:" arm_run "$cpu"
    done
else
    echo "cortex-m: arm-none-eabi-gcc or qemu-system-arm not installed"
fi

echo "== (c) host speed, $bits-bit FPGA scan"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQSVF_TESTS=OFF > /dev/null
cmake --build "$build" --target svf2qsvf qsvfplay -j2 > /dev/null
python3 "$root/bench/svf2qsvf_gen.py" fpga "$bits" "$work/fpga.svf"
"$build/translator/svf2qsvf" -w -fpga -s -i "$work/fpga.svf" -o "$work/fpga-s.qsvf" > /dev/null
"$build/translator/svf2qsvf" -w -fpga -i "$work/fpga.svf" -o "$work/fpga.qsvf" > /dev/null
${CC:-cc} -O2 -std=c99 -Wall -Wextra -I"$root/include" -I"$src" -o "$work/player_speed" \
    "$root/bench/player_speed.c" "$src/qsvfplay.c"
"$work/player_speed" "$work/fpga-s.qsvf" 3

echo "== (d) qsvfplay into the simulated chain, with TDO compared"
start=$(date +%s.%N)
"$build/player/qsvfplay" "$work/fpga.qsvf"
echo "wall $(echo "$(date +%s.%N) - $start" | bc) s"
