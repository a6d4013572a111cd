// The check: SVF scans against played scans, and the one line that reports
// the outcome.
#include "compare.h"

#include <algorithm>
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

std::string title(TapState state) { return std::string(tapStateTitle(state)); }

// The TAP states between two scans: the SVF's rests turned into what the
// stream's mode carries, against the stream's rests.  What the mode drops is
// remembered as a note.
class StateCheck {
public:
    explicit StateCheck(bool v2) : m_v2(v2) {}
    std::optional<std::string> compare(const std::vector<Rest> &svf, const std::vector<Rest> &stream, bool everyStep);
    void note(const std::string &text) {
        if (std::find(m_notes.begin(), m_notes.end(), text) == m_notes.end()) m_notes.push_back(text);
    }
    const std::vector<std::string> &notes() const { return m_notes; }

private:
    bool m_v2;
    std::vector<std::string> m_notes;
};

std::optional<std::string> StateCheck::compare(const std::vector<Rest> &svf, const std::vector<Rest> &stream,
                                               bool everyStep) {
    using qsvf::STATE_IDLE;
    // The waits the SVF asks right after the scan are in the stream as a
    // run-test count after it (which carries no state), as QWAITs after it,
    // or, when they ask no clock, as a count of 0, which moves nothing.
    // A wait of no clocks is a QWAIT only where every RUNTEST is one.
    const bool countAfterScan = stream.size() > 1 && stream[0].kind == RestKind::ScanEnd &&
                                stream[1].kind == RestKind::Count;
    uint64_t clocksAfterScan = 0;
    for (const Rest &rest : svf)
        if (rest.afterScan) clocksAfterScan += rest.clocks;
    const auto waits = [](const std::vector<Rest> &rests) {
        return std::count_if(rests.begin(), rests.end(), [](const Rest &rest) { return rest.waitsHere; });
    };
    const bool qwaitForEach = waits(stream) > 0 && waits(stream) >= waits(svf);
    // Streams for players without QWAIT carry every wait as a run-test
    // count, clocked in Run-Test/Idle after a scan (an empty one where the
    // wait follows no scan of its own).
    const bool waitsByCount = m_v2 || (waits(svf) > 0 && waits(stream) == 0);
    const bool byQwait = qwaitForEach || (!countAfterScan && (clocksAfterScan > 0 || waits(svf) == 0));
    const bool svfWaitsAfterScan =
        std::any_of(svf.begin(), svf.end(), [](const Rest &rest) { return rest.afterScan; });
    // A count standing from an earlier RUNTEST, clocked after a scan whose
    // own waits are QWAITs or that has none.
    const bool standingCount = countAfterScan && (!svfWaitsAfterScan || qwaitForEach);
    std::vector<Rest> expected;
    // A scan end in Test-Logic-Reset that the stream cannot carry also drops
    // the pass through Run-Test/Idle that the SVF's walk on from there makes.
    bool resetNotCarried = false;
    for (const Rest &rest : svf) {
        Rest carried = rest;
        if (std::exchange(resetNotCarried, false) && rest.resetPath) continue;
        switch (rest.kind) {
        case RestKind::ScanEnd: {
            const bool set = !stream.empty() && stream[0].kind == RestKind::ScanEnd && stream[0].explicitEnd;
            const TapState pause = rest.instruction ? qsvf::STATE_IRPAUSE : qsvf::STATE_DRPAUSE;
            carried.state = rest.state == STATE_IDLE || !set ? STATE_IDLE : pause;
            resetNotCarried = rest.state == qsvf::STATE_RESET && carried.state != rest.state;
            if (carried.state != rest.state)
                note(std::string("the SVF ends ") + (rest.instruction ? "IR" : "DR") + " scans in " + title(rest.state) +
                     ", the stream in " + title(carried.state));
            expected.push_back(carried);
            // A run-test count standing from an earlier RUNTEST is clocked
            // after a scan the SVF asks no wait after.
            if (standingCount) {
                if (carried.state != STATE_IDLE)
                    note("the stream clocks a run-test count in Run-Test/Idle after scans the SVF ends in " +
                         title(carried.state));
                carried.state = STATE_IDLE;
                expected.push_back(carried);
            }
            continue;
        }
        case RestKind::Wait:
        case RestKind::WaitEnd:
            // Of a wait that follows no scan only the clocks are run, in
            // Run-Test/Idle.
            if (waitsByCount && !rest.afterScan && rest.clocks == 0) {
                if (rest.state != STATE_IDLE)
                    note("the SVF moves to " + title(rest.state) + " by RUNTEST, the stream does not");
                continue;
            }
            // A count of no clocks after the scan does not move the TAP.
            if (rest.afterScan && !byQwait && !countAfterScan) {
                if (rest.state != STATE_IDLE || (!expected.empty() && expected.back().state != STATE_IDLE))
                    note("the SVF moves to " + title(rest.state) + " by RUNTEST, the stream does not");
                continue;
            }
            if (waitsByCount || (rest.afterScan && !byQwait)) {
                if (rest.state != STATE_IDLE)
                    note(rest.kind == RestKind::Wait
                             ? "the SVF waits in " + title(rest.state) + ", the stream in Run-Test/Idle"
                             : "the SVF rests in " + title(rest.state) + " after RUNTEST, the stream in Run-Test/Idle");
                carried.state = STATE_IDLE;
            }
            break;
        case RestKind::Move:
            if (m_v2 || (!everyStep && rest.state != qsvf::STATE_RESET && rest.state != STATE_IDLE)) {
                note("the SVF moves to " + title(rest.state) + " by STATE, the stream does not");
                continue;
            }
            break;
        case RestKind::Count: break;
        }
        expected.push_back(carried);
    }
    const std::vector<Rest> want = joinRests(expected);
    std::vector<Rest> have = joinRests(stream);
    // Empty scans (the waits of -multiple_runtest, the older format's waits)
    // rest where no SVF command asks.
    for (size_t i = 0; i < have.size(); ++i)
        if (have[i].emptyScan && (i >= want.size() || want[i].state != have[i].state)) {
            note("the stream rests in " + title(have[i].state) + " for empty scans");
            have.erase(have.begin() + static_cast<std::ptrdiff_t>(i));
            have = joinRests(have);
            --i;
        }
    for (size_t i = 0; i < std::max(want.size(), have.size()); ++i) {
        if (i >= want.size()) return "the stream rests in " + title(have[i].state) + ", the SVF does not";
        const std::string at = want[i].line > 0 ? " (line " + std::to_string(want[i].line) + ")" : "";
        if (i >= have.size()) return "the SVF rests in " + title(want[i].state) + at + ", the stream does not";
        if (want[i].state != have[i].state)
            return "the SVF rests in " + title(want[i].state) + at + ", the stream in " + title(have[i].state);
        if (have[i].clocks < want[i].clocks)
            return "the stream waits " + plural(have[i].clocks, "clock") + " in " + title(have[i].state) +
                   ", the SVF asks at least " + std::to_string(want[i].clocks) + at;
        if (want[i].maxClocks && have[i].clocks > *want[i].maxClocks)
            return "the stream waits " + plural(have[i].clocks, "clock") + " in " + title(have[i].state) +
                   ", the SVF allows at most " + std::to_string(*want[i].maxClocks) + at;
    }
    return std::nullopt;
}

class Check {
public:
    Check(const std::vector<std::string> &svfFiles, const std::string &streamFile, bool skipTdo, bool v2,
          const std::vector<ChainPlacement> &chains, const std::optional<Decimal> &tck)
        : m_stream(streamFile), m_player(m_stream), m_states(v2) {
        // Every file is opened before the first comparison, so that one that
        // cannot be read is reported as such rather than as a difference.
        // No stream scan is longer than 8 bits per byte of the stream.
        for (size_t i = 0; i < svfFiles.size(); ++i) {
            const SvfOptions options{skipTdo, 8 * m_stream.size() + 64,
                                     i < chains.size() ? chains[i] : ChainPlacement{}, tck};
            m_svf.push_back(std::make_unique<SvfReader>(svfFiles[i], options));
        }
    }

    CheckOutcome run();

private:
    bool nextSvf(SvfScan &scan);
    std::optional<std::string> compareScan(const SvfScan &svf, const StreamScan &stream, const ScanPlace &place);
    std::optional<std::string> compareTdo(const SvfScan &svf, const StreamScan &stream);
    std::string summary(uint64_t scans);

    StreamReader m_stream;
    Player m_player;
    StateCheck m_states;
    std::vector<std::unique_ptr<SvfReader>> m_svf;
    size_t m_current = 0;
    std::vector<Rest> m_carry;  // rests of finished files not yet compared
    uint64_t m_tdoBits = 0, m_waits = 0;
};

bool Check::nextSvf(SvfScan &scan) {
    for (; m_current < m_svf.size(); ++m_current) {
        // Each file is read on its own: its scans, headers, waits and
        // frequency do not reach into the next one.
        SvfReader &reader = *m_svf[m_current];
        if (reader.next(scan)) {
            if (!m_carry.empty()) {
                m_carry.insert(m_carry.end(), scan.restsBefore.begin(), scan.restsBefore.end());
                scan.restsBefore = std::move(m_carry);
                m_carry.clear();
            }
            return true;
        }
        // Between two files a merge returns the TAP to Run-Test/Idle
        // through Test-Logic-Reset.
        m_carry.insert(m_carry.end(), reader.tail().begin(), reader.tail().end());
        if (m_current + 1 < m_svf.size()) {
            walkTo(m_carry, reader.state(), qsvf::STATE_RESET, RestKind::Move, 0);
            walkTo(m_carry, qsvf::STATE_RESET, qsvf::STATE_IDLE, RestKind::Move, 0);
        }
    }
    return false;
}

// The summary line, with what the stream does not carry.
std::string Check::summary(uint64_t scans) {
    unsigned svfNotes = 0;
    for (const auto &reader : m_svf) svfNotes |= reader->notes();
    std::vector<std::string> notes;
    if (svfNotes & kNoteSirTdo) notes.push_back("the SVF compares SIR TDO, the format cannot");
    if (svfNotes & kNoteTrst) notes.push_back("the SVF sets TRST, the format cannot");
    if (svfNotes & kNotePio) notes.push_back("the SVF drives PIO, the format cannot");
    notes.insert(notes.end(), m_states.notes().begin(), m_states.notes().end());
    std::string line = "equivalent: " + plural(scans, "scan") + " checked, " + plural(m_tdoBits, "TDO bit") +
                       " compared, " + plural(m_waits, "wait") + " checked, needs a player buffer of " +
                       plural(m_player.bufferNeed(), "byte");
    for (size_t i = 0; i < notes.size(); ++i) line += (i == 0 ? "; not carried: " : "; ") + notes[i];
    return line;
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
        if (!haveSvf && !haveStream) {
            if (auto difference = m_states.compare(m_carry, m_player.finalRests(), m_player.everyStateStep()))
                return {false, m_svf.back()->fileName() + ": after the last scan " + *difference};
            return {true, summary(number)};
        }
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
        if (auto difference = m_states.compare(svf.restsBefore, stream.restsBefore, m_player.everyStateStep()))
            return {false, place.name() + ": before the scan " + *difference + " (" + place.where + ")"};
        if (auto difference = compareScan(svf, stream, place)) return {false, place.name() + ": " + *difference};
        previous = std::move(place);
    }
}

}  // namespace

CheckOutcome checkStream(const std::vector<std::string> &svfFiles, const std::string &streamFile, bool skipTdo,
                         bool v2, const std::vector<ChainPlacement> &chains, const std::optional<Decimal> &tck) {
    Check check(svfFiles, streamFile, skipTdo, v2, chains, tck);
    return check.run();
}

}  // namespace qsvfcheck
