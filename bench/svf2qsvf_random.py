#!/usr/bin/env python3
"""Random SVF files for the differential run of svf2qsvf (bench/svf2qsvf_diff.sh).

  svf2qsvf_random.py SEED OUT

Each file mixes the commands and the text forms the translator's reader and
writer have to keep exact: scans with every subset of TDI, TDO, MASK and SMASK,
lengths around byte, word and record boundaries, values with missing or excess
digits, 1s above the length, digits of both cases split over lines by blanks,
tabs and line ends (LF or CR LF), header and trailer values, comments, RUNTEST
in clocks and seconds, STATE, ENDIR/ENDDR, FREQUENCY and TRST.  One seed in
eight also breaks the file (a bad digit, a missing parenthesis, the end of the
input inside a value), so that the error paths are compared as well.
"""
import random
import sys

LENGTHS = [1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 127, 128, 129,
           255, 256, 257, 300, 511, 512, 513, 1000, 1023, 1024, 1025, 4096, 5003]


def hex_text(rng, bits):
    digits = (bits + 3) // 4
    shape = rng.random()
    if shape < 0.1:
        count = rng.randint(1, max(1, digits))          # missing leading digits
    elif shape < 0.2:
        count = digits + rng.randint(1, 6)               # excess leading digits
    else:
        count = digits
    text = "".join(rng.choice("0123456789abcdefABCDEF") for _ in range(count))
    if shape >= 0.2 and shape < 0.3 and count > 0:
        text = "0" * min(count, rng.randint(1, 3)) + text[min(count, 3):]
    if rng.random() < 0.7 and bits % 4 and count == digits:
        text = "%X" % rng.randrange(1 << (bits % 4)) + text[1:]  # clean top digit
    return split_text(rng, text)


def split_text(rng, text):
    if len(text) < 8 or rng.random() < 0.5:
        return text
    out, at = [], 0
    while at < len(text):
        take = rng.randint(1, 90)
        out.append(text[at:at + take])
        at += take
    return "".join(piece + rng.choice([" ", "\t", "\n", "\n\t", "  "]) for piece in out).rstrip()


def scan(rng, keyword, bits, need_tdi):
    parts = ["%s %d" % (keyword, bits)]
    operands = ["TDI", "TDO", "MASK", "SMASK"]
    rng.shuffle(operands)
    for name in operands:
        chance = {"TDI": 0.85, "TDO": 0.6, "MASK": 0.5, "SMASK": 0.2}[name]
        if (name == "TDI" and need_tdi) or rng.random() < chance:
            gap = rng.choice([" ", "", "\t", "\n "])
            if name == "MASK" and rng.random() < 0.15:
                value = "0" * ((bits + 3) // 4)
            else:
                value = hex_text(rng, bits)
            parts.append("%s%s(%s)" % (name if rng.random() < 0.7 else name.lower(), gap, value))
    return " ".join(parts) + ";"


def command(rng, lengths):
    pick = rng.random()
    if pick < 0.45:
        kind = rng.choice(["SDR", "SDR", "SIR"])
        if rng.random() < 0.6 and kind in lengths:
            bits = lengths[kind]
        else:
            bits = rng.choice(LENGTHS) if rng.random() < 0.8 else rng.randint(1, 2000)
        need = lengths.get(kind) != bits
        lengths[kind] = bits
        return scan(rng, kind, bits, need)
    if pick < 0.52:
        kind = rng.choice(["HDR", "HIR", "TDR", "TIR"])
        bits = rng.choice([0, 0, 1, 3, 8, 12, 33])
        if bits == 0:
            return "%s 0;" % kind
        return scan(rng, kind, bits, True)
    if pick < 0.72:
        form = rng.random()
        if form < 0.6:
            return "RUNTEST %d TCK;" % rng.choice([0, 1, 2, 10, 100, 4095, 70000])
        if form < 0.8:
            return "RUNTEST %s SEC;" % rng.choice(["1E-3", "0.5E-6", "2", "1.5E-2"])
        return "RUNTEST %s %d TCK ENDSTATE %s;" % (rng.choice(["IDLE", "DRPAUSE", "IRPAUSE"]),
                                                    rng.randint(1, 500), rng.choice(["IDLE", "DRPAUSE"]))
    if pick < 0.80:
        return "STATE %s;" % rng.choice(["IDLE", "RESET", "DRPAUSE", "IRPAUSE", "RESET IDLE"])
    if pick < 0.86:
        return "%s %s;" % (rng.choice(["ENDDR", "ENDIR"]), rng.choice(["IDLE", "DRPAUSE", "IRPAUSE"]))
    if pick < 0.90:
        return "FREQUENCY %s HZ;" % rng.choice(["1E6", "2.5E7", "1000000"])
    if pick < 0.93:
        return "TRST %s;" % rng.choice(["OFF", "ON", "Z", "ABSENT"])
    return rng.choice(["! a comment line", "// another comment", "!"])


def break_file(rng, text):
    cut = text.rfind("(", 0, max(1, len(text) - 5))
    how = rng.randrange(3)
    if cut < 0 or how == 0:
        return text[:rng.randrange(len(text))]  # the input ends anywhere
    if how == 1:
        return text[:cut + 2] + "G" + text[cut + 2:]  # a character that is no digit
    close = text.find(")", cut)
    return text[:close] + text[close + 1:] if close > 0 else text  # the value is never closed


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    seed = int(sys.argv[1])
    rng = random.Random(seed)
    lengths = {}
    lines = ["! random file %d" % seed]
    if rng.random() < 0.5:
        lines.append("FREQUENCY 1E6 HZ;")
    for _ in range(rng.randint(5, 120)):
        text = command(rng, lengths)
        lines.append(text.lower() if rng.random() < 0.1 else text)
    text = "\n".join(lines) + "\n"
    if seed % 8 == 7:
        text = break_file(rng, text)
    if rng.random() < 0.25:
        text = text.replace("\n", "\r\n")
    with open(sys.argv[2], "w", newline="") as out:
        out.write(text)


if __name__ == "__main__":
    main()
