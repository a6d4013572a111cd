#!/usr/bin/env bash
# The player library of the working tree against the one of a git revision
# (default HEAD): both play the same generated streams (player_same.c) and
# every play in which they differ is reported, its stream written to
# differs-N.qsvf in WORK.  Run after every change to player/qsvfplay.c that
# should leave its behaviour alone; a second run under AddressSanitizer and
# UndefinedBehaviorSanitizer (each buffer allocated to the byte) checks
# the new code's memory use.  Not a test: it compares two versions.
#
#   bench/player_same.sh [revision] [plays]     (default HEAD, 100000)
# Environment: WORK (default /tmp/player-same), CC (default cc), SEEDS
# (default "1 2").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rev=${1:-HEAD}
plays=${2:-100000}
work=${WORK:-/tmp/player-same}
cc=${CC:-cc}
mkdir -p "$work/reference"
git -C "$root" show "$rev:player/qsvfplay.c" > "$work/reference/qsvfplay.c"
git -C "$root" show "$rev:player/qsvfplay.h" > "$work/reference/qsvfplay.h"
build() { # name, extra flags...
    local name=$1; shift
    "$cc" -std=gnu99 -O2 -I"$work/reference" -I"$root/include" -I"$root/bench" '-DSAME(x)=reference_##x' "$@" \
        -c "$root/bench/player_same_play.c" -o "$work/reference-$name.o"
    "$cc" -std=gnu99 -O2 -I"$root/player" -I"$root/include" -I"$root/bench" '-DSAME(x)=candidate_##x' "$@" \
        -c "$root/bench/player_same_play.c" -o "$work/candidate-$name.o"
    "$cc" -std=gnu99 -O2 -I"$root/player" -I"$root/include" "$@" "$root/bench/player_same.c" \
        "$work/reference-$name.o" "$work/candidate-$name.o" -o "$work/player_same-$name"
}
build plain
build sanitized -fsanitize=address,undefined -fno-sanitize-recover=all
cd "$work"
rm -f differs-*.qsvf
status=0
for seed in ${SEEDS:-1 2}; do
    "./player_same-plain" "$plays" "$seed" || status=1
done
"./player_same-sanitized" "$((plays / 10))" 99 || status=1
exit $status
