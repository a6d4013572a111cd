#!/usr/bin/env python3
"""Deterministic SVF generator for the svf2qsvf benchmark.

  svf2qsvf_gen.py fpga BITS OUT   one SDR of BITS bits with TDI, TDO and MASK
                                  (hex split over lines of 80 digits), framed
                                  by the instruction scans of a load sequence
  svf2qsvf_gen.py cpld COUNT OUT  COUNT commands: SIR, SDR of 8 to 300 bits
                                  with TDO and MASK, RUNTEST, repeated

The same arguments always give the same bytes (fixed seeds).
"""
import random
import sys


def hex_lines(rng, digits, out, width=80):
    # Random digits in blocks, so that a 64-million-bit value does not need
    # to sit in memory more than a block at a time.
    block = 1 << 20
    left = digits
    carry = ""
    while left > 0:
        take = min(block, left)
        text = carry + rng.randbytes((take + 1) // 2).hex()[:take]
        left -= take
        cut = len(text) - len(text) % width if left > 0 else len(text)
        for start in range(0, cut, width):
            out.write(text[start:start + width])
            out.write("\n")
        carry = text[cut:]


def fpga(bits, path):
    rng = random.Random(64)
    digits = (bits + 3) // 4
    with open(path, "w") as out:
        out.write("! generated FPGA-style load: one long data scan\n")
        out.write("TRST OFF;\nENDIR IDLE;\nENDDR IDLE;\nSTATE RESET;\nSTATE IDLE;\nFREQUENCY 1E6 HZ;\n")
        out.write("SIR 10 TDI (3FC);\nRUNTEST 10000 TCK;\n")
        out.write("SDR %d TDI (\n" % bits)
        hex_lines(rng, digits, out)
        out.write(") TDO (\n")
        hex_lines(rng, digits, out)
        out.write(") MASK (\n")
        hex_lines(rng, digits, out)
        out.write(");\nSIR 10 TDI (30C);\nRUNTEST 100 TCK;\nSTATE RESET;\n")


def cpld(count, path):
    rng = random.Random(300)
    with open(path, "w") as out:
        out.write("! generated CPLD-style program: short scans with checks\n")
        out.write("STATE RESET;\nSTATE IDLE;\n")
        written = 0
        while written < count:
            out.write("SIR 8 TDI (%02X);\n" % rng.randrange(256))
            bits = rng.randint(8, 300)
            digits = (bits + 3) // 4
            top = bits % 4 or 4
            def value():
                first = "%X" % rng.randrange(1 << top)
                return first + rng.randbytes(digits // 2 + 1).hex().upper()[:digits - 1]
            out.write("SDR %d TDI (%s) TDO (%s)\n\tMASK (%s);\n" % (bits, value(), value(), value()))
            out.write("RUNTEST %d TCK;\n" % rng.randint(1, 20000))
            written += 3


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("fpga", "cpld"):
        sys.exit(__doc__)
    {"fpga": fpga, "cpld": cpld}[sys.argv[1]](int(sys.argv[2]), sys.argv[3])
