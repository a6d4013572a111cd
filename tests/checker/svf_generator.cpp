// Seeded random SVF files (see svf_generator.h).  The generator keeps the
// lengths of the six scan patterns, so that it gives TDI wherever the length
// changes (the one rule that would make a file invalid); everything else is
// drawn at random, with the odd spellings real files use.
#include "svf_generator.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A small deterministic generator (splitmix64), the same on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15u + 1) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    uint64_t below(uint64_t n) { return n == 0 ? 0 : next() % n; }
    uint64_t between(uint64_t low, uint64_t high) { return low + below(high - low + 1); }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <typename T>
    const T &pick(const std::vector<T> &items) {
        return items[below(items.size())];
    }

private:
    uint64_t m_state;
};

// The pieces joined into one string (g++ 12 warns falsely about chains of
// operator+ that start with a literal).
std::string cat(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (std::string_view piece : pieces) text += piece;
    return text;
}

// Bits of a scan value, bit 0 first.
using Bits = std::vector<bool>;

class Generator {
public:
    Generator(uint32_t seed, SvfDialect dialect) : m_random(seed), m_dialect(dialect) {
        m_eol = m_random.chance(25) ? "\r\n" : "\n";
    }
    std::string run();

private:
    // Text pieces.
    std::string word(const std::string &lower);
    std::string hexText(const Bits &value, bool quirks);
    Bits randomBits(uint64_t length, unsigned onesPercent);
    Bits maskBits(uint64_t length);
    void emit(const std::string &command);
    void comment();

    // Commands.
    void scan(bool instruction);
    void header(const char *keyword, uint64_t &length);
    void runTest(bool afterScan);
    void frequency();
    void state();
    void endState();

    // The earlier translator's dialect.
    void earlierGroup();
    std::string earlierValue(const Bits &value);

    Random m_random;
    SvfDialect m_dialect;
    const char *m_eol;
    std::string m_out;
    uint64_t m_sirLength = 0, m_sdrLength = 0, m_hirLength = 0, m_hdrLength = 0, m_tirLength = 0, m_tdrLength = 0;
};

// Keywords, units and state names: lower, upper, capitalised or mixed case.
std::string Generator::word(const std::string &lower) {
    std::string text = lower;
    const uint64_t style = m_random.below(4);
    for (size_t i = 0; i < text.size(); ++i) {
        const bool upper = style == 1 || (style == 2 && i == 0) || (style == 3 && m_random.chance(50));
        if (upper) text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    }
    return text;
}

Bits Generator::randomBits(uint64_t length, unsigned onesPercent) {
    Bits bits(length);
    const uint64_t kind = m_random.below(10);
    for (uint64_t i = 0; i < length; ++i) bits[i] = kind == 0 ? false : kind == 1 ? true : m_random.chance(onesPercent);
    return bits;
}

// MASK values: those of randomBits, or blocks of 32 to 256 bits (or two
// halves) each all ones, all zeros or random, so that the pieces of a split
// scan get masks that differ from piece to piece.
Bits Generator::maskBits(uint64_t length) {
    if (!m_random.chance(40)) return randomBits(length, 70);
    Bits bits(length);
    const uint64_t block = m_random.chance(25) ? (length + 1) / 2 : uint64_t{32} << m_random.below(4);
    for (uint64_t start = 0; start < length; start += block) {
        const uint64_t kind = m_random.below(3);
        for (uint64_t i = start; i < std::min(length, start + block); ++i)
            bits[i] = kind == 0 || (kind == 2 && m_random.chance(70));
    }
    return bits;
}

// The SVF digits of a value, most significant first.  With quirks: leading
// zero digits left out or added, surplus leading digits (dropped by the
// reader), 1s above the length in the top digit, upper or lower case,
// digits spread over lines.
std::string Generator::hexText(const Bits &value, bool quirks) {
    static const char lower[] = "0123456789abcdef", upper[] = "0123456789ABCDEF";
    const char *digits = m_random.chance(50) ? upper : lower;
    const uint64_t count = (value.size() + 3) / 4;
    std::string text;
    for (uint64_t d = count; d-- > 0;) {
        unsigned digit = 0;
        for (unsigned b = 0; b < 4; ++b)
            if (4 * d + b < value.size() && value[4 * d + b]) digit |= 1u << b;
        if (quirks && d == count - 1 && value.size() % 4 != 0 && m_random.chance(5))
            digit |= 8;  // above the length: ignored
        text += digits[digit];
    }
    if (quirks) {
        if (m_random.chance(8)) {
            text.insert(0, m_random.below(3) + 1, '0');
        } else if (m_random.chance(5)) {
            text.insert(0, 1, digits[m_random.between(1, 15)]);
        } else if (m_random.chance(10)) {
            const size_t zeros = text.find_first_not_of('0');
            text.erase(0, zeros == std::string::npos ? text.size() - 1 : zeros);
        }
        if (text.size() > 12 && m_random.chance(30)) {
            std::string spread;
            const uint64_t width = m_random.between(4, 40);
            for (size_t i = 0; i < text.size(); ++i) {
                if (i > 0 && i % width == 0) spread += m_random.chance(70) ? m_eol : "\t";
                spread += text[i];
            }
            text = spread;
        }
    }
    return text;
}

void Generator::emit(const std::string &command) {
    m_out += command;
    if (m_random.chance(10)) m_out += m_random.chance(50) ? "  ! after the command" : "\t// trailing note";
    m_out += m_eol;
}

void Generator::comment() {
    static const std::vector<std::string> texts = {"! plain comment",         "// slash comment", "!", "",
                                                   "! TDI (not data) SDR 8;", "   // indented"};
    m_out += m_random.pick(texts);
    m_out += m_eol;
}

void Generator::scan(bool instruction) {
    const bool full = m_dialect == SvfDialect::Full;
    uint64_t &patternLength = instruction ? m_sirLength : m_sdrLength;
    uint64_t length = patternLength;
    if (length == 0 || !m_random.chance(40)) {
        const uint64_t band = m_random.below(100);
        if (instruction)
            length = band < 70   ? m_random.between(1, 16)
                     : band < 95 ? m_random.between(17, 64)
                                 : m_random.between(250, 300);
        else
            length = band < 30   ? m_random.between(1, 16)
                     : band < 70 ? m_random.between(17, 130)
                     : band < 95 ? m_random.between(131, 300)
                                 : m_random.between(301, 700);
    }
    const bool newLength = length != patternLength;
    patternLength = length;
    struct Operand {
        const char *name;
        std::string text;
    };
    std::vector<Operand> operands;
    const bool quirks = full;
    if (newLength || m_random.chance(75)) operands.push_back({"tdi", hexText(randomBits(length, 50), quirks)});
    const bool tdo = m_random.chance(instruction ? 20 : 55);
    if (tdo) operands.push_back({"tdo", hexText(randomBits(length, 50), quirks)});
    if ((tdo && m_random.chance(60)) || m_random.chance(10))
        operands.push_back({"mask", hexText(maskBits(length), quirks)});
    if (full && m_random.chance(15)) operands.push_back({"smask", hexText(randomBits(length, 70), quirks)});
    // Operands may come in any order.
    for (size_t i = operands.size(); i > 1; --i) std::swap(operands[i - 1], operands[m_random.below(i)]);
    std::string command =
        word(instruction ? "sir" : "sdr") + (m_random.chance(20) ? "\t" : " ") + std::to_string(length);
    for (const Operand &operand : operands)
        command += cat({" ", word(operand.name), m_random.chance(20) ? "(" : " (", operand.text, ")"});
    emit(command + (m_random.chance(20) ? " ;" : ";"));
}

void Generator::header(const char *keyword, uint64_t &patternLength) {
    uint64_t length = m_random.chance(25) ? 0 : m_random.between(1, 8);
    if (m_random.chance(30)) length = patternLength;
    std::string command = cat({word(keyword), " ", std::to_string(length)});
    if (length > 0) {
        if (length != patternLength || m_random.chance(70))
            command += cat({" ", word("tdi"), " (", hexText(randomBits(length, 50), false), ")"});
        if (m_random.chance(40)) command += cat({" ", word("tdo"), " (", hexText(randomBits(length, 50), false), ")"});
        if (m_random.chance(40)) command += cat({" ", word("mask"), " (", hexText(randomBits(length, 50), false), ")"});
        if (m_dialect == SvfDialect::Full && m_random.chance(20))
            command += cat({" ", word("smask"), " (", hexText(randomBits(length, 70), false), ")"});
    }
    patternLength = length;
    emit(command + ";");
}

// RUNTEST in all its forms: count in TCK or SCK, a time, both, MAXIMUM,
// a run state and an end state; numbers as integers, reals and exponents.
void Generator::runTest(bool afterScan) {
    static const std::vector<std::string> counts = {"0",   "1",      "15",  "100",  "1000",   "2500", "8000", "65536",
                                                    "1E3", "2.5E+2", "1.5", "10e1", "200000", "3E4",  "12",   "7"};
    static const std::vector<std::string> times = {"1E-3",     "2.00E-03", "0.0005", "5E-4",   "1.5E-6",
                                                   "1.00E-02", "3E-7",     "0",      "2.5e-3", "1.0E-4"};
    static const std::vector<std::string> states = {"idle", "drpause", "irpause", "reset"};
    const bool everyBit = m_dialect == SvfDialect::EveryBitCounts;
    std::string command = word("runtest");
    if (m_random.chance(30)) command += cat({" ", word(m_random.pick(states))});
    const uint64_t form = m_random.below(everyBit ? 3 : 4);
    // Every RUNTEST of the every-bit dialect asks for at least one clock.
    const std::string count = everyBit ? std::to_string(m_random.between(1, 3000)) : m_random.pick(counts);
    const std::string time = everyBit ? "1E-4" : m_random.pick(times);
    bool timed = false;
    if (form == 0) {
        command += cat({" ", count, " ", word("tck")});
    } else if (form == 1) {
        command += cat({" ", count, " ", word("tck"), " ", time, " ", word("sec")});
        timed = true;
    } else if (form == 2) {
        command += cat({" ", time, " ", word("sec")});
        timed = true;
    } else {
        command += cat({" ", count, " ", word("sck")});
    }
    if (timed && m_random.chance(30)) command += cat({" ", word("maximum"), " 1E4 ", word("sec")});
    if (m_random.chance(25)) command += cat({" ", word("endstate"), " ", word(m_random.pick(states))});
    emit(command + ";");
    // Consecutive RUNTESTs add up.
    if (afterScan && m_random.chance(15)) runTest(false);
}

void Generator::frequency() {
    static const std::vector<std::string> forms = {"FREQUENCY 1E6 HZ;",    "FREQUENCY 1000000 HZ;",
                                                   "FREQUENCY 2.5E+6 HZ;", "frequency 3.3E6 Hz;",
                                                   "FREQUENCY 1E3 HZ;",    "FREQUENCY;",
                                                   "FREQUENCY 12.5E6 HZ;", "Frequency 1.00E+07 HZ;"};
    emit(m_random.pick(forms));
}

void Generator::state() {
    static const std::vector<std::string> forms = {"reset",   "idle",       "drpause",
                                                   "irpause", "reset idle", "idle drselect drcapture drexit1 drpause"};
    emit(cat({word("state"), " ", word(m_random.pick(forms)), ";"}));
}

void Generator::endState() {
    static const std::vector<std::string> states = {"idle", "drpause", "irpause", "reset"};
    emit(cat({word(m_random.chance(50) ? "endir" : "enddr"), " ", word(m_random.pick(states)), ";"}));
}

std::string Generator::earlierValue(const Bits &value) { return cat({"(", hexText(value, false), ")"}); }

// One group of SDRs of one length, TDO and MASK: random values, or a run in
// which a counter above an 8-bit data field goes up by one each scan.
void Generator::earlierGroup() {
    static const std::vector<uint64_t> lengths = {8, 12, 16, 24, 32, 40, 64, 100, 128, 136, 200, 256, 264, 520};
    const uint64_t length = m_random.pick(lengths);
    const uint64_t scans = m_random.chance(5) ? m_random.between(250, 300) : m_random.between(1, 12);
    const bool tdo = m_random.chance(50);
    const std::string checks =
        tdo ? cat({" TDO ", earlierValue(randomBits(length, 50)), " MASK ", earlierValue(maskBits(length))}) : "";
    const std::string smask = earlierValue(Bits(length, true));
    Bits value = randomBits(length, 50);
    // The lowest 1 directly above a 0 is bit `low`; the data field is the
    // eight bits above it and the counter sits at bit `counter`.
    const bool counting = length >= 12 && m_random.chance(60);
    const uint64_t low = counting ? m_random.between(1, std::min<uint64_t>(4, length - 11)) : 0;
    const uint64_t counter = counting ? m_random.between(low + 9, length - 1) : 0;
    uint64_t runTest = m_random.chance(50) ? 0 : m_random.pick(std::vector<uint64_t>{10, 100, 1000});
    for (uint64_t i = 0; i < scans; ++i) {
        if (counting) {
            for (uint64_t b = 0; b < low; ++b) value[b] = false;
            value[low] = true;
            for (uint64_t b = low + 1; b <= low + 8; ++b) value[b] = m_random.chance(50);
        } else if (i > 0 && !m_random.chance(20)) {
            value = randomBits(length, 50);
        }
        emit(cat({"SDR ", std::to_string(length), " TDI ", earlierValue(value), " SMASK ", smask, checks, " ;"}));
        if (runTest > 0 && m_random.chance(70)) emit(cat({"RUNTEST ", std::to_string(runTest), " TCK;"}));
        if (m_random.chance(3)) runTest = m_random.pick(std::vector<uint64_t>{10, 100, 1000, 5000});
        if (counting) {
            // Add one at the counter bit, carrying upwards.
            for (uint64_t b = counter; b < length; ++b) {
                value[b] = !value[b];
                if (value[b]) break;
            }
        }
    }
}

std::string Generator::run() {
    m_out = cat({"! generated SVF", m_eol});
    if (m_dialect == SvfDialect::Earlier) {
        const uint64_t statements = m_random.between(3, 12);
        for (uint64_t i = 0; i < statements; ++i) {
            const uint64_t choice = m_random.below(100);
            if (choice < 60) {
                earlierGroup();
            } else if (choice < 80) {
                const uint64_t length = m_random.between(1, 32);
                emit(cat({"SIR ", std::to_string(length), " TDI ", earlierValue(randomBits(length, 50)), " SMASK ",
                          earlierValue(Bits(length, true)), " ;"}));
            } else if (choice < 90) {
                m_out += m_random.chance(50) ? "! a comment line" : "// a comment line";
                m_out += m_eol;
            } else {
                emit(m_random.pick(std::vector<std::string>{"TRST OFF;", "ENDIR IDLE;", "ENDDR IDLE;", "STATE RESET;",
                                                            "STATE IDLE;"}));
            }
        }
        return m_out;
    }
    const uint64_t commands = m_random.between(5, 40);
    for (uint64_t i = 0; i < commands; ++i) {
        const uint64_t choice = m_random.below(100);
        if (choice < 35) {
            scan(false);
            if (m_random.chance(35)) runTest(true);
        } else if (choice < 55) {
            scan(true);
            if (m_random.chance(35)) runTest(true);
        } else if (choice < 62) {
            runTest(false);
        } else if (choice < 68) {
            static const char *const kinds[] = {"hir", "hdr", "tir", "tdr"};
            uint64_t *lengths[] = {&m_hirLength, &m_hdrLength, &m_tirLength, &m_tdrLength};
            const uint64_t which = m_random.below(4);
            header(kinds[which], *lengths[which]);
        } else if (choice < 73) {
            state();
        } else if (choice < 77) {
            endState();
        } else if (choice < 81) {
            frequency();
        } else if (choice < 83) {
            emit(cat({word("trst"), " ", word(m_random.pick(std::vector<std::string>{"off", "on", "z"})), ";"}));
        } else {
            comment();
        }
    }
    return m_out;
}

}  // namespace

std::string generateSvf(uint32_t seed, SvfDialect dialect) { return Generator(seed, dialect).run(); }
