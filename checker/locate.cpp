// qsvfcheck --at: the record that holds a stream offset, the scan it
// belongs to, and that scan's SVF command with its file, line, text and
// values.  Records between two scans (QSTATE, QWAIT, QENDIR/QENDDR, the
// empty scan of a wait) are named with the SVF lines that ask for the moves
// and waits there; the records that set up a scan (QSDRSIZE, QTDOMASK,
// QRUNTEST, QSETSDRMASKS) with the scan they set up.
#include "locate.h"

#include <fstream>
#include <memory>
#include <set>

#include "player.h"
#include "qsvf_format.h"
#include "stream_reader.h"

namespace qsvfcheck {

namespace {

std::string mnemonic(uint8_t opcode) {
    const qsvf::OpcodeInfo *info = qsvf::findOpcode(opcode);
    return info ? std::string(info->mnemonic) : "opcode " + std::to_string(opcode);
}

// A value as SVF writes it: hexadecimal digits, the most significant first.
std::string svfHex(const BitVector &value, uint64_t bits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint64_t digit = (bits + 3) / 4; digit-- > 0;) text += kDigits[value.bits(4 * digit, 4)];
    return text;
}

// The command as written from its line: that line, with " ..." when the
// command goes on past it or the line is long.
std::string commandText(const std::string &file, long line) {
    std::ifstream in(file, std::ios::binary);
    std::string text;
    for (long number = 1; number <= line && std::getline(in, text); ++number) {
    }
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const size_t start = text.find_first_not_of(" \t");
    text = start == std::string::npos ? "" : text.substr(start);
    constexpr size_t kShown = 100;
    const bool goesOn = text.find(';') == std::string::npos;
    if (text.size() > kShown) return text.substr(0, kShown) + " ...";
    return goesOn ? text + " ..." : text;
}

std::string scanName(uint64_t number, bool instruction, uint64_t length) {
    return "scan " + std::to_string(number) + " (" + (instruction ? "SIR" : "SDR") + ", " + std::to_string(length) +
           " bits)";
}

// The SVF files' scans in order, across the files of a merge.
class SvfScans {
public:
    SvfScans(const std::vector<std::string> &files, const SvfOptions &base, const std::vector<ChainPlacement> &chains) {
        for (size_t i = 0; i < files.size(); ++i) {
            SvfOptions options = base;
            if (i < chains.size()) options.chain = chains[i];
            m_readers.push_back(std::make_unique<SvfReader>(files[i], options));
        }
    }
    bool next(SvfScan &scan) {
        for (; m_current < m_readers.size(); ++m_current)
            if (m_readers[m_current]->next(scan)) return true;
        return false;
    }
    size_t file() const { return m_current; }
    const std::string &name(size_t file) const { return m_readers[file]->fileName(); }
    size_t files() const { return m_readers.size(); }

private:
    std::vector<std::unique_ptr<SvfReader>> m_readers;
    size_t m_current = 0;
};

std::string svfSource(const SvfScans &svf, size_t file, const SvfScan &scan) {
    const std::string &name = svf.name(file);
    std::string text = name + ":" + std::to_string(scan.line) + ": " + commandText(name, scan.line) + "\n";
    if (svf.files() > 1) text += "  file " + std::to_string(file + 1) + " of the " + std::to_string(svf.files()) +
                                 " merged\n";
    if (scan.oversize || !scan.tdi) return text;
    text += "  TDI  (" + svfHex(*scan.tdi, scan.length) + ")\n";
    if (scan.compare) {
        text += "  TDO  (" + svfHex(*scan.expected, scan.length) + ")\n";
        text += "  MASK (" + svfHex(*scan.compare, scan.length) + ")\n";
    } else {
        text += "  TDO  not compared\n";
    }
    return text;
}

// The SVF lines that ask the rests before a scan (STATE, RUNTEST, ENDIR,
// ENDDR), as "lines 4, 7".
std::string restLines(const SvfScan &scan) {
    std::set<long> lines;
    for (const Rest &rest : scan.restsBefore)
        if (rest.line > 0 && rest.kind != RestKind::ScanEnd) lines.insert(rest.line);
    std::string text;
    for (long line : lines) text += (text.empty() ? "" : ", ") + std::to_string(line);
    return text.empty() ? "" : (lines.size() == 1 ? "line " : "lines ") + text;
}

bool shiftsBits(const Record &record) {
    switch (record.opcode) {
    case qsvf::QSIR:
    case qsvf::QSIR2:
    case qsvf::QSDRINC:
    case qsvf::QSDRB:
    case qsvf::QSDRC:
    case qsvf::QSDRE:
    case qsvf::QSDRTDOB:
    case qsvf::QSDRTDOC:
    case qsvf::QSDRTDOE: return true;
    case qsvf::QSDR:
    case qsvf::QSDRTDO: return record.vectors[0].size() > 0;
    default: return false;
    }
}

bool setsUpScan(uint8_t op) {
    return op == qsvf::QSDRSIZE || op == qsvf::QTDOMASK || op == qsvf::QRUNTEST || op == qsvf::QSETSDRMASKS ||
           op == qsvf::QCOMMENT;
}

}  // namespace

LocateOutcome locateOffset(const std::vector<std::string> &svfFiles, const std::string &streamFile, uint64_t at,
                           bool skipTdo, const std::vector<ChainPlacement> &chains, const std::optional<Decimal> &tck) {
    // The record that holds the offset.
    StreamReader records(streamFile);
    const uint64_t size = records.size();
    if (at >= size)
        return {false, "stream byte " + std::to_string(at) + " is outside the stream (" + std::to_string(size) +
                           " bytes)\n"};
    Record record;
    while (records.read(record) && records.offset() <= at) {
    }
    const uint8_t op = record.opcode;
    std::string text = "stream byte " + std::to_string(at) + ": " + mnemonic(op) + " at byte " +
                       std::to_string(record.offset);
    // A record that a merge's separator (QREPEAT) follows before any scan
    // belongs to the merge: it returns the TAP to a known state between two
    // files.
    bool beforeSeparator = false;
    if (!shiftsBits(record) && op != qsvf::QREPEAT && op != qsvf::QCOMPLETE)
        for (Record after; records.read(after) && !shiftsBits(after) && after.opcode != qsvf::QCOMPLETE;)
            if (after.opcode == qsvf::QREPEAT) {
                beforeSeparator = true;
                break;
            }
    if (record.offset == 0 && op == qsvf::QREPEAT)
        return {true, text + ", the stream's head: failed comparisons are repeated up to " +
                          std::to_string(record.integers.empty() ? 0 : record.integers[0]) + " times\n"};

    // The scans of both sides in order, up to the one the record belongs to.
    StreamReader stream(streamFile);
    Player player(stream);
    SvfOptions options;
    options.skipTdo = skipTdo;
    options.maxScanBits = 8 * size + 64;
    options.tck = tck;
    SvfScans svf(svfFiles, options, chains);
    SvfScan svfScan, previousSvf;
    size_t previousFile = 0;
    StreamScan scan;
    for (uint64_t number = 1;; ++number) {
        const bool haveStream = player.next(scan);
        const uint64_t end = haveStream ? stream.offset() : size;
        const bool haveSvf = svf.next(svfScan);
        const size_t file = svf.file();
        const bool inScan = haveStream && record.offset >= scan.offset && record.offset < end;
        const bool beforeScan = !haveStream || record.offset < scan.offset;
        if (!inScan && !beforeScan) {
            previousSvf = std::move(svfScan);
            previousFile = file;
            continue;
        }
        if (!haveStream) {
            text += op == qsvf::QCOMPLETE ? ", the stream's end" : ", after the last scan";
            if (number > 1) text += " (" + scanName(number - 1, previousSvf.instruction, previousSvf.length) + ")";
            text += "\n";
            if (number > 1) text += svfSource(svf, previousFile, previousSvf);
            return {true, text};
        }
        const std::string name = scanName(number, scan.instruction, scan.length);
        if (inScan) {
            text += ", " + name + (scan.split && record.offset != scan.offset ? ", a piece of the split scan" : "") +
                    "\n";
        } else if (op == qsvf::QREPEAT || beforeSeparator) {
            text += op == qsvf::QREPEAT ? ", the separator of a merge: the next file begins; its first scan is "
                                        : ", the merge's return to Test-Logic-Reset between two files; the next "
                                          "file's first scan is ";
            text += name + "\n";
        } else if (setsUpScan(op)) {
            text += ", set up for " + name + "\n";
        } else {
            text += ", a move or wait before " + name;
            if (haveSvf) {
                const std::string lines = restLines(svfScan);
                if (!lines.empty()) text += ", asked at " + svf.name(file) + " " + lines;
            }
            text += "\n";
        }
        if (!haveSvf) return {true, text + "  the SVF files have no scan " + std::to_string(number) + "\n"};
        return {true, text + svfSource(svf, file, svfScan)};
    }
}

}  // namespace qsvfcheck
