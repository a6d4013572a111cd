// qsvf2ascii: the record loop that lists a QSVF stream by the opcode table
// of the format header, and the program run around it (arguments, files,
// exit status).  Every end of a run goes through endDump, which
// runQsvf2ascii turns into the exit status.
#include "qsvf2ascii.h"

#include "qsvf_format.h"
#include "qsvf_output_file.h"
#include "qsvf_tool_switches.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr size_t kReadBlock = 1 << 18;

// The dumper lists the opcodes up to QSDRTDOE; every later value, used or
// not, ends the listing as an unknown command.
constexpr unsigned kLastListedOpcode = qsvf::QSDRTDOE;

// The two digits of every byte value, lower case.
struct HexPairs {
    char digits[256][2];
    constexpr HexPairs() : digits() {
        const char *hex = "0123456789abcdef";
        for (unsigned value = 0; value < 256; ++value) {
            digits[value][0] = hex[value >> 4];
            digits[value][1] = hex[value & 15];
        }
    }
};
constexpr HexPairs kHexPairs;

// What follows the mnemonic in the listing: QCOMPLETE ends its line itself,
// the two-vector scan QSDRTDO, QSETSDRMASKS and QSDRINC take two blanks,
// every other record one.
const char *mnemonicGap(unsigned opcode) {
    switch (opcode) {
    case qsvf::QCOMPLETE: return "\n";
    case qsvf::QSDRTDO:
    case qsvf::QSETSDRMASKS:
    case qsvf::QSDRINC: return "  ";
    default: return " ";
    }
}

// The one way out of a run: thrown by endDump, caught by runQsvf2ascii.
struct DumpExit {
    int status;
};

[[noreturn]] void endDump(int status) { throw DumpExit{status}; }

// Lists the records of one stream.  The only state carried from record to
// record is the current DR length, unknown until the first QSDRSIZE.
class CQsvfDumper {
public:
    CQsvfDumper(QsvfReader &input, ListingWriter &output) : m_input(input), m_output(output) {}

    DumpEnd dumpRecords();

private:
    enum class Field { Complete, CutOff };

    DumpEnd printOperands(const qsvf::OpcodeInfo &info);
    Field printField(uint64_t bits, uint32_t *value);
    Field printSdrInc();
    DumpEnd cutOff(const qsvf::OpcodeInfo &info);

    QsvfReader &m_input;
    ListingWriter &m_output;
    bool m_bSdrSizeKnown = false;
    uint32_t m_lSdrSize = 0;
};

DumpEnd CQsvfDumper::dumpRecords() {
    for (;;) {
        const int opcode = m_input.next();
        if (opcode < 0) return DumpEnd::EndOfInput;
        // QCOMPLETE does not end the loop: bytes after it are further records.
        if (static_cast<unsigned>(opcode) > kLastListedOpcode) {
            const std::string line = "Unknown command: " + std::to_string(opcode) + "\n";
            m_output.text(line.data(), line.size());
            return DumpEnd::UnknownOpcode;
        }
        const qsvf::OpcodeInfo &info = qsvf::kOpcodes[static_cast<unsigned>(opcode)];
        m_output.text(info.mnemonic.data(), info.mnemonic.size());
        m_output.text(mnemonicGap(info.value));
        const DumpEnd end = printOperands(info);
        if (end != DumpEnd::EndOfInput) return end;
    }
}

// Prints the operands of one record by its plan in the format header; a
// record with operands ends its line, one without (QRESET, QIDLE) does not.
DumpEnd CQsvfDumper::printOperands(const qsvf::OpcodeInfo &info) {
    uint32_t ownLength = 0;  // the record's own length field (QSIR)
    if (info.operands[0] == qsvf::Operand::None) return DumpEnd::EndOfInput;
    for (const qsvf::Operand operand : info.operands) {
        uint32_t value = 0;
        Field field = Field::Complete;
        switch (operand) {
        case qsvf::Operand::None: break;
        case qsvf::Operand::Byte: field = printField(8, &value); break;
        case qsvf::Operand::Word: field = printField(16, &value); break;
        case qsvf::Operand::Long: field = printField(32, &value); break;
        case qsvf::Operand::IrLength1: field = printField(8, &ownLength); break;
        case qsvf::Operand::IrLength2: field = printField(16, &ownLength); break;
        case qsvf::Operand::IrVector: field = printField(ownLength, &value); break;
        case qsvf::Operand::DrLength:
            field = printField(32, &value);
            if (field == Field::Complete) {
                m_lSdrSize = value;
                m_bSdrSizeKnown = true;
            }
            break;
        case qsvf::Operand::DrVector:
            if (!m_bSdrSizeKnown) return DumpEnd::NoDrLength;
            field = printField(m_lSdrSize, &value);
            break;
        case qsvf::Operand::IncFields: field = printSdrInc(); break;
        case qsvf::Operand::Text:
            // Only records the dumper does not list carry text.
            return DumpEnd::UnknownOpcode;
        }
        if (field == Field::CutOff) return cutOff(info);
    }
    m_output.text("\n", 1);
    return DumpEnd::EndOfInput;
}

// One field of the given number of bits: "0x", two digits per byte, a
// blank.  *value gets the bytes as a big-endian number; only the last four
// bytes remain.  Long fields are converted a block at a time.
CQsvfDumper::Field CQsvfDumper::printField(uint64_t bits, uint32_t *value) {
    m_output.text("0x", 2);
    uint64_t remaining = qsvf::vectorBytes(bits);
    uint32_t number = 0;
    while (remaining > 0) {
        if (!m_input.fill()) {
            m_output.text(" ", 1);
            return Field::CutOff;
        }
        const size_t count = static_cast<size_t>(std::min<uint64_t>(remaining, m_input.available()));
        const uint8_t *bytes = m_input.data();
        m_output.hexBytes(bytes, count);
        for (size_t i = count > 4 ? count - 4 : 0; i < count; ++i) number = (number << 8) | bytes[i];
        m_input.skip(count);
        remaining -= count;
    }
    m_output.text(" ", 1);
    *value = number;
    return Field::Complete;
}

// QSDRINC after its start value: a 1-byte count N, then N data fields of
// one byte each.
CQsvfDumper::Field CQsvfDumper::printSdrInc() {
    uint32_t count = 0;
    if (printField(8, &count) == Field::CutOff) return Field::CutOff;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t ignored = 0;
        if (printField(8, &ignored) == Field::CutOff) return Field::CutOff;
    }
    return Field::Complete;
}

// A record cut off by the end of the input: what was there is listed, then
// a line that says the record is incomplete.
DumpEnd CQsvfDumper::cutOff(const qsvf::OpcodeInfo &info) {
    m_output.text("\n", 1);
    const std::string line = "Incomplete record: the input ends inside " + std::string(info.mnemonic) + ".\n";
    m_output.text(line.data(), line.size());
    return DumpEnd::Incomplete;
}

void printToStderr(const char *first, const char *name, const char *last) {
    std::fputs(first, stderr);
    std::fputs(name, stderr);
    std::fputs(last, stderr);
}

// Owns the open input for one run.
struct OpenFile {
    FILE *file = nullptr;
    ~OpenFile() {
        if (file) std::fclose(file);
    }
};

// "ERROR: Unable to write to output file <name>: <reason>." and status 1.
[[noreturn]] void writeFailed(const std::string &name, const std::string &reason) {
    std::fprintf(stderr, "ERROR: Unable to write to output file %s: %s.\n", name.c_str(), reason.c_str());
    endDump(1);
}

void printUsage() { std::fputs("Usage:  qsvf2ascii <qsvf inputfile> <outputfile>\n", stdout); }

void dumpFile(int argc, char **argv) {
    if (argc != 3) {
        printUsage();
        endDump(1);
    }
    const std::string inputName = argv[1];
    const std::string outputName = argv[2];
    std::printf("%s %s\n", inputName.c_str(), outputName.c_str());

    OpenFile input;
    input.file = std::fopen(inputName.c_str(), "rb");
    if (!input.file) {
        printToStderr("ERROR: Unable to open input file ", inputName.c_str(), ".\n");
        endDump(1);
    }
    // Opening the input itself for writing would truncate it before it is
    // read: the listing would be empty and the stream lost.
    std::error_code sameFileError;
    if (std::filesystem::equivalent(inputName, outputName, sameFileError)) {
        printToStderr("ERROR: Output file ", outputName.c_str(), " is the input file.\n");
        endDump(1);
    }
    // The listing is written under a temporary name and renamed over the
    // output when it is complete; a run that cannot write it or read its
    // input to the end leaves the output as it was.
    qsvf::OutputFile output;
    if (!output.open(outputName)) {
        printToStderr("ERROR: Unable to write to output file ", outputName.c_str(), ".\n");
        endDump(1);
    }
    DumpEnd end;
    int writeError;
    bool readFailed;
    {
        QsvfReader reader(input.file);
        ListingWriter writer(output.stream());
        end = dumpRecords(reader, writer);
        writer.flush();
        writeError = writer.failed() ? writer.errorNumber() : 0;
        readFailed = reader.failed();
    }
    if (writeError != 0) writeFailed(outputName, std::strerror(writeError));
    if (readFailed) {
        printToStderr("ERROR: Unable to read input file ", inputName.c_str(), ".\n");
        endDump(1);
    }
    if (!output.commit()) writeFailed(outputName, output.reason());
    switch (end) {
    case DumpEnd::EndOfInput: endDump(0);
    case DumpEnd::UnknownOpcode:
    case DumpEnd::Incomplete: endDump(1);
    case DumpEnd::NoDrLength:
        std::fputs("For FPGAs make sure to use -fpga option with svf2qsvf\n\n", stdout);
        // The status after this hint is 1, like every other failure.
        endDump(1);
    }
    endDump(1);
}

}  // namespace

// ---- QsvfReader ---------------------------------------------------------

QsvfReader::QsvfReader(FILE *file) : m_pFile(file), m_block(new uint8_t[kReadBlock]) {
    m_pos = m_end = m_block.get();
}

QsvfReader::QsvfReader(const uint8_t *data, size_t size) : m_pos(data), m_end(data + size) {}

bool QsvfReader::refill() {
    if (!m_pFile) return false;
    const size_t got = std::fread(m_block.get(), 1, kReadBlock, m_pFile);
    if (got == 0) {
        m_failed = std::ferror(m_pFile) != 0;
        return false;
    }
    m_pos = m_block.get();
    m_end = m_pos + got;
    return true;
}

// ---- ListingWriter ----------------------------------------------------------

ListingWriter::ListingWriter(FILE *file) : m_pFile(file), m_buffer(new char[kSize]) {}

void ListingWriter::flush() {
    if (m_used == 0) return;
    if (m_pFile && !m_failed && std::fwrite(m_buffer.get(), 1, m_used, m_pFile) != m_used) {
        m_failed = true;
        m_error = errno != 0 ? errno : EIO;
    }
    m_written += m_used;
    m_used = 0;
}

void ListingWriter::text(const char *data, size_t size) {
    while (size > 0) {
        if (m_used == kSize) flush();
        const size_t part = std::min(size, kSize - m_used);
        std::memcpy(m_buffer.get() + m_used, data, part);
        m_used += part;
        data += part;
        size -= part;
    }
}

void ListingWriter::text(const char *data) { text(data, std::strlen(data)); }

void ListingWriter::hexBytes(const uint8_t *data, size_t count) {
    while (count > 0) {
        if (kSize - m_used < 2) flush();
        const size_t part = std::min(count, (kSize - m_used) / 2);
        char *out = m_buffer.get() + m_used;
        for (size_t i = 0; i < part; ++i) {
            std::memcpy(out, kHexPairs.digits[data[i]], 2);
            out += 2;
        }
        m_used += 2 * part;
        data += part;
        count -= part;
    }
}

// ---- entry points -------------------------------------------------------------

DumpEnd dumpRecords(QsvfReader &input, ListingWriter &output) {
    CQsvfDumper dumper(input, output);
    return dumper.dumpRecords();
}

int runQsvf2ascii(int argc, char **argv) {
    if (qsvf::answerToolSwitch(argc, argv, "qsvf2ascii", printUsage)) return 0;
    int status = 1;
    try {
        dumpFile(argc, argv);
    } catch (const DumpExit &exit) {
        status = exit.status;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    return status;
}
