#!/usr/bin/env bash
# Benchmarks of the player (figures printed, not tests):
#  (a) the library built for a small microcontroller with arm-none-eabi-gcc
#      -mcpu=cortex-m0plus -mthumb -Os: code (text and read-only data),
#      static RAM (data and bss) and the size of the player's state;
#      goals: at most 3 KiB of code, no static RAM, state at most 64 bytes;
#  (b) host speed: the 64 Mibit FPGA stream (one SDR of 64 Mi bits, svf2qsvf
#      -fpga; with -s, so that a pin callback that does nothing passes every
#      comparison) played by bench/player_speed.c, best of 3 rounds;
#      goal: at least 100 Mbit/s shifted;
#  (c) qsvfplay on the same SDR with its TDO and MASK (the simulated chain
#      answers every compared bit), wall time.
#
#   bench/player.sh [build-dir]      (default build-bench, Release)
# Environment: WORK (generated files, default /tmp/player-bench), BITS
# (default 67108864), CC.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
work=${WORK:-/tmp/player-bench}
bits=${BITS:-67108864}
mkdir -p "$work"

echo "== (a) arm-none-eabi-gcc -mcpu=cortex-m0plus -mthumb -Os"
if command -v arm-none-eabi-gcc > /dev/null; then
    arm=(arm-none-eabi-gcc -std=c99 -mcpu=cortex-m0plus -mthumb -Os -ffreestanding -Wall -Wextra -Werror
         -I"$root/include" -I"$root/player")
    "${arm[@]}" -c "$root/player/qsvfplay.c" -o "$work/qsvfplay-m0.o"
    printf '#include "qsvfplay.h"\nchar state_size[sizeof(qsvfplay_state)];\n' > "$work/state_size.c"
    "${arm[@]}" -c "$work/state_size.c" -o "$work/state_size.o"
    arm-none-eabi-size -A "$work/qsvfplay-m0.o" | awk '
        $1 == ".text" || $1 ~ /^\.rodata/ { code += $2 }
        $1 == ".data" || $1 == ".bss" { ram += $2 }
        END { printf "code %d bytes (goal 3072), static RAM %d bytes (goal 0)\n", code, ram }'
    echo "state struct $((16#$(arm-none-eabi-nm -S "$work/state_size.o" | awk '$4 == "state_size" { print $2 }'))) bytes (goal 64)"
    echo "functions from the C library or libgcc: $(arm-none-eabi-nm -u "$work/qsvfplay-m0.o" | awk '{ print $2 }' | tr '\n' ' ')"
else
    echo "arm-none-eabi-gcc not installed (Debian package gcc-arm-none-eabi)"
fi

echo "== (b) host speed, $bits-bit FPGA scan"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQSVF_TESTS=OFF > /dev/null
cmake --build "$build" --target svf2qsvf qsvfplay -j2 > /dev/null
python3 "$root/bench/svf2qsvf_gen.py" fpga "$bits" "$work/fpga.svf"
"$build/translator/svf2qsvf" -w -fpga -s -i "$work/fpga.svf" -o "$work/fpga-s.qsvf" > /dev/null
"$build/translator/svf2qsvf" -w -fpga -i "$work/fpga.svf" -o "$work/fpga.qsvf" > /dev/null
${CC:-cc} -O2 -std=c99 -Wall -Wextra -I"$root/include" -I"$root/player" -o "$work/player_speed" \
    "$root/bench/player_speed.c" "$root/player/qsvfplay.c"
"$work/player_speed" "$work/fpga-s.qsvf" 3

echo "== (c) qsvfplay into the simulated chain, with TDO compared"
start=$(date +%s.%N)
"$build/player/qsvfplay" "$work/fpga.qsvf"
echo "wall $(echo "$(date +%s.%N) - $start" | bc) s"
