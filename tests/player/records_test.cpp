// The library on hand-made streams: the pins of every record, written out
// by hand from the paths and rules of qsvfplay.h (TMS and TDI per clock,
// "R" the five clocks of TMS high at the start), repeats and the kept TDO
// value, the buffer limit, and streams cut off or broken, after which
// nothing of the bad record may have moved a pin.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "qsvfplay.h"
#include "test_support.h"

namespace {

struct Played {
    int status = 0;
    std::string tms, tdi;
    qsvfplay_state player{};
    std::vector<uint8_t> buffer;
    std::vector<std::pair<uint32_t, size_t>> ends;  // stream offset and clocks after each record
};

struct Pins {
    std::string bytes;
    size_t next = 0, chunk = 0;
    bool loopback = false;  // TDO is TDI; otherwise 0
    Played *played = nullptr;
};

size_t readChunk(void *context, uint8_t *to, size_t max) {
    Pins &pins = *static_cast<Pins *>(context);
    const size_t n = std::min({max, pins.chunk, pins.bytes.size() - pins.next});
    std::copy_n(pins.bytes.data() + pins.next, n, to);
    pins.next += n;
    return n;
}

int clockPins(void *context, int tms, int tdi) {
    Pins &pins = *static_cast<Pins *>(context);
    pins.played->tms += tms ? '1' : '0';
    pins.played->tdi += tdi ? '1' : '0';
    return pins.loopback && tdi;
}

void shiftPins(void *context, const uint8_t *tdi, uint8_t *tdo, size_t bytes) {
    for (size_t j = 0; j < bytes; ++j) {
        uint8_t out = 0;
        for (int k = 0; k < 8; ++k) out |= static_cast<uint8_t>(clockPins(context, 0, (tdi[j] >> k) & 1) << k);
        if (tdo) tdo[j] = out;
    }
}

const qsvfplay_io kIo = {readChunk, clockPins, nullptr, nullptr};
const qsvfplay_io kBulkIo = {readChunk, clockPins, shiftPins, nullptr};

Played play(const std::string &hex, bool loopback = false, uint32_t bufferSize = 256, size_t chunk = 1 << 20,
            bool bulk = false) {
    Played played;
    Pins pins{bytesFromHex(hex), 0, chunk, loopback, &played};
    played.buffer.resize(bufferSize);
    qsvfplay_init(&played.player, bulk ? &kBulkIo : &kIo, &pins, played.buffer.data(), bufferSize);
    while ((played.status = qsvfplay_step(&played.player)) == QSVFPLAY_MORE)
        played.ends.emplace_back(played.player.offset, played.tms.size());
    return played;
}

// "R" stands for the five start clocks; blanks are for reading only.
std::string pins(std::string text) {
    std::string out;
    for (char c : text)
        if (c == 'R') out += "11111";
        else if (c != ' ') out += c;
    return out;
}

std::string bitsOf(unsigned value, unsigned bits) {
    std::string text;
    for (unsigned i = 0; i < bits; ++i) text += (value >> i) & 1 ? '1' : '0';
    return text;
}

struct PinCase {
    const char *name, *stream, *tms, *tdi;  // tdi null: not checked
};

const PinCase kPinCases[] = {
    {"complete", "07 00 00", "R", "00000"},
    {"qsir", "02 04 05 00", "R 01100 0001 10", "00000 00000 1010 00"},
    {"qsir2", "15 00 03 06 00", "R 01100 001 10", "00000 00000 011 00"},
    {"qsdr_to_pause_and_from_pause", "14 01 08 00 00 00 08 03 81 03 81 00", "R 0100 00000001 0 10 00000001 0",
     "00000 0000 10000001 0 00 10000001 0"},
    {"runtest_after_scan_in_idle", "04 00 00 00 03 13 01 02 01 01 00", "R 01100 1 0 110 000", "00000 00000 1 0 000 000"},
    {"qstate_paths_and_steps", "12 06 12 0D 12 00 12 01 12 01 12 02 12 03 12 05 12 06 00",
     "R 01010 1111010 11111 0 0 1 0 1 0", nullptr},
    {"qstate_to_a_state_off_the_rest", "12 0E 12 0F 12 01 00", "R 011010 1 1 0", nullptr},
    {"qreset_qidle", "05 06 06 00", "R 1 0 0", nullptr},
    {"qwait_pause", "17 06 01 00 00 00 02 00", "R 01010 00 110", nullptr},
    {"qwait_reset_holds_tms_high", "17 00 00 00 00 00 03 00", "R 111", nullptr},
    {"qcomment_moves_nothing", "16 68 69 00 00", "R", nullptr},
    {"split_scan_stays_in_shift", "08 00 00 00 04 0C 05 0D 0A 08 00 00 00 02 0E 01 00", "R 0100 0000 0000 01 10",
     "00000 0000 1010 0101 10 00"},
};

TEST(Records, PinsOfEveryRecord) {
    for (const PinCase &c : kPinCases) {
        for (size_t chunk : {size_t(1), size_t(3), size_t(1) << 20}) {
            for (bool bulk : {false, true}) {
                const Played p = play(c.stream, false, 256, chunk, bulk);
                const std::string what = std::string(c.name) + ", chunks of " + std::to_string(chunk) +
                                         (bulk ? ", bulk shift" : "");
                EXPECT_EQ(p.status, QSVFPLAY_COMPLETE) << what;
                EXPECT_EQ(p.tms, pins(c.tms)) << what;
                if (c.tdi) {
                    EXPECT_EQ(p.tdi, pins(c.tdi)) << what;
                }
            }
        }
    }
}

// QSETSDRMASKS address mask 1000, data mask 0ff0; QSDRINC from 1a58 with the
// fields 3c and ff plays 1a58, 23c8 and 3ff8.
TEST(Records, IncrementScans) {
    const Played p = play("08 00 00 00 10 0A 10 00 0F F0 0B 1A 58 02 3C FF 00");
    ASSERT_EQ(p.status, QSVFPLAY_COMPLETE);
    const std::string shift = std::string(15, '0') + "1";
    EXPECT_EQ(p.tms, pins("R 0100" + shift + "10 100" + shift + "10 100" + shift + "10"));
    EXPECT_EQ(p.tdi, pins("00000 0000" + bitsOf(0x1a58, 16) + "00 000" + bitsOf(0x23c8, 16) + "00 000" +
                          bitsOf(0x3ff8, 16) + "00"));
    EXPECT_EQ(p.player.scans, 3u);
}

TEST(Records, RepeatsAndTheKeptTdoValue) {
    // QREPEAT 2, mask 0f, QSDRTDO TDI 5 expecting a: TDO reads 0, three tries.
    Played p = play("07 02 08 00 00 00 04 01 0F 09 05 0A 00");
    EXPECT_EQ(p.status, QSVFPLAY_TDO_FAILED);
    EXPECT_EQ(p.tms, pins("R 0100 0001 10 100 0001 10 100 0001 10"));
    EXPECT_EQ(p.player.repeats, 2u);
    EXPECT_EQ(p.player.scans, 1u);
    EXPECT_EQ(p.player.record, 9u);
    EXPECT_EQ(p.player.compared, 12u);
    // TDO looped back to TDI: QSDRTDO 5 expecting 5 passes, then QSDR a
    // is compared with the kept 5 and fails at once (no QREPEAT).
    p = play("08 00 00 00 04 01 0F 09 05 05 03 0A 00", true);
    EXPECT_EQ(p.status, QSVFPLAY_TDO_FAILED);
    EXPECT_EQ(p.player.record, 10u);
    qsvfplay_vectors v{};
    ASSERT_TRUE(qsvfplay_scan_vectors(&p.player, &v));
    EXPECT_EQ(v.bits, 4u);
    EXPECT_EQ(v.expected[0], 0x5);
    EXPECT_EQ(v.read[0], 0xA);
    EXPECT_EQ(v.mask[0], 0xF);
    EXPECT_EQ(p.player.repeats, 0u);
}

TEST(Records, MasksKeepTheirLength) {
    // A 4-bit mask 1 under an 8-bit scan of f0 looped back: only bit 0 is
    // compared, expected 1 fails and expected e passes.
    EXPECT_EQ(play("08 00 00 00 04 01 01 08 00 00 00 08 09 F0 0F 00", true).status, QSVFPLAY_TDO_FAILED);
    EXPECT_EQ(play("08 00 00 00 04 01 01 08 00 00 00 08 09 F0 0E 00", true).status, QSVFPLAY_COMPLETE);
    // A QTDOMASK between TDO pieces sets the mask of the pieces after it:
    // the last piece shifts 3 and expects 0, compared under c it passes,
    // under 3 it fails.
    const std::string head = "08 00 00 00 04 01 0F 0F 05 05 01 ";
    EXPECT_EQ(play(head + "0C 11 03 00 00", true).status, QSVFPLAY_COMPLETE);
    EXPECT_EQ(play(head + "03 11 03 00 00", true).status, QSVFPLAY_TDO_FAILED);
    // No QTDOMASK yet: nothing compared.
    EXPECT_EQ(play("08 00 00 00 04 09 05 0A 00").status, QSVFPLAY_COMPLETE);
}

// A QSDRTDO of 32 bits behind a 32-bit mask needs the mask, TDI, expected
// and read TDO: 16 bytes.
TEST(Records, RecordLongerThanTheBuffer) {
    const std::string stream = "08 00 00 00 20 01 FF FF FF FF 09 01 02 03 04 01 02 03 04 00";
    EXPECT_EQ(play(stream, true, 16).status, QSVFPLAY_COMPLETE);
    const Played p = play(stream, true, 15);
    EXPECT_EQ(p.status, QSVFPLAY_TOO_LONG);
    EXPECT_EQ(p.player.record, 10u);
    EXPECT_EQ(p.tms, pins("R"));
}

struct BadCase {
    const char *stream;
    int status;
    const char *tms;  // the pins played before the bad record
};

const BadCase kBadCases[] = {
    {"18 00", QSVFPLAY_BAD_OPCODE, "R"},
    {"FF", QSVFPLAY_BAD_OPCODE, "R"},
    {"12 10 00", QSVFPLAY_BAD_OPERAND, "R"},
    {"13 02 00", QSVFPLAY_BAD_OPERAND, "R"},
    {"03 00", QSVFPLAY_BAD_OPERAND, "R"},
    {"08 00 00 00 08 0B 00 00 00", QSVFPLAY_BAD_OPERAND, "R"},
    {"12 02 02 01 01 00", QSVFPLAY_BAD_OPERAND, "R 0 1"},
    {"17 02 01 00 00 00 01 00", QSVFPLAY_BAD_OPERAND, "R"},
    {"08 00 00 00 08 0D 00 00", QSVFPLAY_BAD_SPLIT, "R"},
    {"08 00 00 00 04 0C 01 02 01 01 00", QSVFPLAY_BAD_SPLIT, "R 0100 0000"},
    {"08 00 00 00 04 0C 01 08 00 00 00 00 0E 00", QSVFPLAY_BAD_SPLIT, "R 0100 0000"},
    {"08 00 00 00 04 0C 01 00", QSVFPLAY_BAD_SPLIT, "R 0100 0000"},
    {"", QSVFPLAY_TRUNCATED, "R"},
    {"07", QSVFPLAY_TRUNCATED, "R"},
};

TEST(Records, InvalidStreamsStopBeforeTheBadRecord) {
    for (const BadCase &c : kBadCases) {
        const Played p = play(c.stream);
        EXPECT_EQ(p.status, c.status) << c.stream;
        EXPECT_EQ(p.tms, pins(c.tms)) << c.stream;
        EXPECT_EQ(qsvfplay_step(const_cast<qsvfplay_state *>(&p.player)), c.status) << "the end stays";
    }
}

// Every good stream above, joined, cut after every byte: the play ends as
// cut off, with the pins of the records before the cut and no more.
TEST(Records, CutStreamsPlayOnlyWholeRecords) {
    std::string joined;
    for (const PinCase &c : kPinCases) {
        std::string hex = c.stream;
        joined += hex.substr(0, hex.size() - 2) + " 13 00 14 00 ";
    }
    const Played full = play(joined + "00");
    ASSERT_EQ(full.status, QSVFPLAY_COMPLETE);
    const std::string bytes = bytesFromHex(joined);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::string hex;
        for (size_t i = 0; i < cut; ++i) {
            static const char kDigits[] = "0123456789ABCDEF";
            hex += {kDigits[static_cast<uint8_t>(bytes[i]) >> 4], kDigits[bytes[i] & 15], ' '};
        }
        const Played p = play(hex);
        size_t clocks = 5;
        for (const auto &[offset, after] : full.ends)
            if (offset <= cut) clocks = after;
        EXPECT_EQ(p.status, QSVFPLAY_TRUNCATED) << "cut at " << cut;
        EXPECT_EQ(p.tms, full.tms.substr(0, clocks)) << "cut at " << cut;
    }
}

}  // namespace
