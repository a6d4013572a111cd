// The check: SVF scans against played scans, and the one line that reports
// the outcome.
#include "compare.h"

#include <memory>
#include <optional>
#include <utility>

#include "player.h"
#include "stream_reader.h"
#include "svf_reader.h"

namespace qsvfcheck {

namespace {

std::string plural(uint64_t count, const char *noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string kindOf(bool instruction, uint64_t length) {
    return std::string(instruction ? "SIR" : "SDR") + ", " + plural(length, "bit");
}

std::string aScan(bool instruction, uint64_t length) {
    return std::string(instruction ? "an SIR" : "an SDR") + " of " + plural(length, "bit");
}

// What is remembered of a scan once it has been compared: enough to check
// its wait and to name it.
struct ScanPlace {
    std::string file;
    long line = 0;
    uint64_t number = 0;
    bool instruction = false;
    uint64_t length = 0;
    uint64_t wait = 0;
    long waitLine = 0;
    std::string where;  // the stream record, as shown in messages

    std::string name() const {
        return file + ":" + std::to_string(line) + ": scan " + std::to_string(number) + " (" +
               kindOf(instruction, length) + ")";
    }
};

class Check {
public:
    Check(const std::vector<std::string> &svfFiles, const std::string &streamFile, bool skipTdo)
        : m_stream(streamFile), m_player(m_stream) {
        // Every file is opened before the first comparison, so that one that
        // cannot be read is reported as such rather than as a difference.
        // No stream scan is longer than 8 bits per byte of the stream.
        const SvfOptions options{skipTdo, 8 * m_stream.size() + 64};
        for (const std::string &file : svfFiles) m_svf.push_back(std::make_unique<SvfReader>(file, options));
    }

    CheckOutcome run();

private:
    bool nextSvf(SvfScan &scan);
    std::optional<std::string> compareScan(const SvfScan &svf, const StreamScan &stream, const ScanPlace &place);
    std::optional<std::string> compareTdo(const SvfScan &svf, const StreamScan &stream);

    StreamReader m_stream;
    Player m_player;
    std::vector<std::unique_ptr<SvfReader>> m_svf;
    size_t m_current = 0;
    uint64_t m_tdoBits = 0, m_waits = 0;
};

bool Check::nextSvf(SvfScan &scan) {
    for (; m_current < m_svf.size(); ++m_current) {
        // Each file is read on its own: its scans, headers, waits and
        // frequency do not reach into the next one.
        if (m_svf[m_current]->next(scan)) return true;
    }
    return false;
}

std::string recordAt(const StreamScan &stream, uint64_t offset) {
    if (stream.split) return "split scan piece at stream byte " + std::to_string(offset);
    return std::string(stream.mnemonic) + " at stream byte " + std::to_string(offset);
}

// For a split scan every message names the piece that holds the bit.
std::optional<std::string> Check::compareTdo(const SvfScan &svf, const StreamScan &stream) {
    static const BitVector kNone;
    const uint64_t length = svf.length;
    const auto piece = [&stream](uint64_t bit) {
        return stream.split ? " (" + recordAt(stream, stream.recordOf(bit)) + ")" : std::string();
    };
    if (const auto &fault = stream.maskFault) {
        const std::string bits = "TDO bits " + std::to_string(fault->firstBit) + " to " +
                                 std::to_string(fault->firstBit + fault->bits - 1) + " are compared ";
        const std::string where = " (" + recordAt(stream, fault->offset) + ")";
        if (fault->noMask) return bits + "with no QTDOMASK set" + where;
        return bits + "under a QTDOMASK of " + plural(fault->maskBits, "bit") + where;
    }
    if (!stream.split && stream.compares && !stream.mask)
        return "the stream compares TDO with no QTDOMASK set before the scan";
    const BitVector &streamMask = stream.split ? stream.splitMask : stream.compares ? *stream.mask : kNone;
    const BitVector &svfMask = svf.compare ? *svf.compare : kNone;
    if (const auto bit = firstDifference(svfMask, streamMask, nullptr, length)) {
        if (svfMask.bit(*bit))
            return "the SVF compares TDO bit " + std::to_string(*bit) + " (expected " +
                   (svf.expected->bit(*bit) ? "1" : "0") + "), the stream does not" + piece(*bit);
        return "the stream compares TDO bit " + std::to_string(*bit) + ", the SVF does not" + piece(*bit);
    }
    if (!svf.compare) return std::nullopt;
    const BitVector *streamExpected = stream.split ? &stream.splitExpected : stream.expected.get();
    if (!streamExpected) return "the stream compares TDO with no expected value (no QSDRTDO before the scan)";
    if (const auto bit = firstDifference(*svf.expected, *streamExpected, &svfMask, length))
        return "expected TDO bit " + std::to_string(*bit) + " is " + (svf.expected->bit(*bit) ? "1" : "0") +
               " in the SVF, " + (streamExpected->bit(*bit) ? "1" : "0") + " in the stream" + piece(*bit);
    m_tdoBits += countBoth(svfMask, svfMask, length);
    return std::nullopt;
}

std::optional<std::string> Check::compareScan(const SvfScan &svf, const StreamScan &stream, const ScanPlace &place) {
    const std::string where = " (" + place.where + ")";
    if (svf.instruction != stream.instruction || svf.length != stream.length)
        return "the stream has " + aScan(stream.instruction, stream.length) + " there" + where;
    if (!svf.oversize) {
        if (const auto bit = firstDifference(*svf.tdi, stream.tdi, svf.keep.get(), svf.length))
            return "TDI bit " + std::to_string(*bit) + " is " + (svf.tdi->bit(*bit) ? "1" : "0") + " in the SVF, " +
                   (stream.tdi.bit(*bit) ? "1" : "0") + " in the stream (" + recordAt(stream, stream.recordOf(*bit)) +
                   ")";
        if (auto tdo = compareTdo(svf, stream)) return *tdo + (stream.split ? "" : where);
    }
    return std::nullopt;
}

CheckOutcome Check::run() {
    std::optional<ScanPlace> previous;
    SvfScan svf;
    StreamScan stream;
    uint64_t number = 0;
    for (;;) {
        const bool haveSvf = nextSvf(svf);
        const bool haveStream = m_player.next(stream);
        if (previous && previous->wait > 0) {
            ++m_waits;
            const uint64_t played = haveStream ? stream.waitBefore : m_player.finalWait();
            if (played < previous->wait)
                return {false, previous->name() + ": waits " + plural(played, "clock") +
                                   " after the scan, the SVF asks at least " + std::to_string(previous->wait) +
                                   " (RUNTEST at line " + std::to_string(previous->waitLine) + "; " + previous->where +
                                   ")"};
        }
        if (!haveSvf && !haveStream)
            return {true, "equivalent: " + plural(number, "scan") + " checked, " + plural(m_tdoBits, "TDO bit") +
                              " compared, " + plural(m_waits, "wait") + " checked"};
        ++number;
        if (!haveSvf) {
            const std::string extra = "the stream has a scan " + std::to_string(number) + ": " +
                                      aScan(stream.instruction, stream.length) + " (" +
                                      recordAt(stream, stream.offset) + ")";
            if (!previous) return {false, m_svf.front()->fileName() + ": the SVF has no scan, " + extra};
            return {false, previous->file + ":" + std::to_string(previous->line) + ": the SVF ends after scan " +
                               std::to_string(number - 1) + ", " + extra};
        }
        ScanPlace place{
            m_svf[m_current]->fileName(), svf.line, number, svf.instruction, svf.length, svf.wait, svf.waitLine, ""};
        if (!haveStream)
            return {false, place.name() + ": the stream has no such scan (it ends with QCOMPLETE at byte " +
                               std::to_string(m_player.completeOffset()) + ")"};
        place.where = recordAt(stream, stream.offset);
        if (auto difference = compareScan(svf, stream, place)) return {false, place.name() + ": " + *difference};
        previous = std::move(place);
    }
}

}  // namespace

CheckOutcome checkStream(const std::vector<std::string> &svfFiles, const std::string &streamFile, bool skipTdo) {
    Check check(svfFiles, streamFile, skipTdo);
    return check.run();
}

}  // namespace qsvfcheck
