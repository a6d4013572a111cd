// The qsvfplay driver (see play_run.h): the library's callbacks on the host,
// the summary line and the failure report.
#include "play_run.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "buffer_need.h"
#include "pin_trace.h"
#include "play_options.h"
#include "qsvf_format.h"
#include "qsvfplay.h"
#include "remote_bitbang.h"
#include "simulated_chain.h"
#include "tap_tracker.h"
#include "vcd_writer.h"

namespace qsvfplay {

namespace {

// The progress line on a terminal: percent of the stream, scans and time,
// rewritten in place at most five times a second once the play has lasted a
// second; cleared at the end.
class Progress {
public:
    explicit Progress(bool shown) : m_shown(shown), m_start(Clock::now()), m_last(m_start) {}
    void update(double fraction, uint32_t scans) {
        if (!m_shown) return;
        const auto now = Clock::now();
        if (now - m_start < std::chrono::seconds(1) || now - m_last < std::chrono::milliseconds(200)) return;
        m_last = now;
        char line[96];
        const int length = std::snprintf(line, sizeof line, "\rqsvfplay: %5.1f%% of the stream, %u scans, %.0f s ",
                                         100.0 * fraction, static_cast<unsigned>(scans), seconds());
        if (length > 0) show(line, static_cast<size_t>(length));
        m_written = true;
    }
    ~Progress() {
        if (m_written) show("\r\033[K", 4);
    }
    double seconds() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

private:
    // A terminal that no longer takes the line gets no more of it.
    void show(const char *text, size_t length) {
        if (::write(STDERR_FILENO, text, length) != static_cast<ssize_t>(length)) m_shown = false;
    }
    using Clock = std::chrono::steady_clock;
    bool m_shown;
    bool m_written = false;
    Clock::time_point m_start, m_last;
};

// What the library's callbacks reach through their context pointer.
struct Host {
    const std::vector<uint8_t> *stream = nullptr;
    size_t next = 0;
    qsvfplay_state player{};
    TapTracker tap;
    Pins *pins = nullptr;
    VcdWriter *vcd = nullptr;
    PinTrace *trace = nullptr;
    uint64_t clocks = 0, shifted = 0, records = 0;
    std::vector<uint8_t> scratch;  // TDO of shifts the player reads nothing of
    // The TDO of the first try of the last scan that was repeated, for the
    // failure report: the library reads each try into the same place.
    uint32_t repeatsSeen = 0;
    uint32_t firstTryScan = 0;       // scan number; 0 none yet
    uint32_t repeatsBeforeScan = 0;  // the player's repeats before that scan's first repeat
    std::vector<uint8_t> firstTryRead;
    Progress *progress = nullptr;
};

// The progress line after each record, and every 65536 clocks within a
// long one.
void showProgress(const Host &host) {
    if (!host.progress) return;
    const size_t size = host.stream->size();
    host.progress->update(size == 0 ? 1.0 : static_cast<double>(host.next) / static_cast<double>(size),
                          host.player.scans);
}

// The library repeats a failed scan without a word: it counts the repeat
// and walks to the shift state again.  At the first pin move after a
// scan's first repeat was counted, the TDO buffer still holds the read of
// its first try, which is kept.
void keepFirstTry(Host &host) {
    const qsvfplay_state &p = host.player;
    if (p.repeats == host.repeatsSeen) return;
    host.repeatsSeen = p.repeats;
    qsvfplay_vectors v{};
    if (host.firstTryScan == p.scans || !qsvfplay_scan_vectors(&p, &v)) return;
    host.firstTryScan = p.scans;
    host.repeatsBeforeScan = p.repeats - 1;
    host.firstTryRead.assign(v.read, v.read + (v.bits + 7) / 8);
}

size_t readStream(void *context, uint8_t *to, size_t max) {
    Host &host = *static_cast<Host *>(context);
    const size_t n = std::min(max, host.stream->size() - host.next);
    std::memcpy(to, host.stream->data() + host.next, n);
    host.next += n;
    return n;
}

int clockPins(void *context, int tms, int tdi) {
    Host &host = *static_cast<Host *>(context);
    keepFirstTry(host);
    const uint8_t before = host.tap.state();
    const bool tdo = host.pins->clock(tms, tdi, before);
    host.tap.clock(tms);
    if ((++host.clocks & 0xFFFF) == 0) showProgress(host);
    if (TapTracker::isShift(before)) ++host.shifted;
    if (host.vcd) host.vcd->clock(tms, tdi, tdo);
    if (host.trace) host.trace->clock(before, host.tap.state(), tdi, tdo);
    return tdo;
}

// The whole bytes of a scan before its last bit, TMS low in the shift
// state.  The dump and the trace see every clock with the TDO the backend
// gave, so for them TDO is read even where the player does not want it.
void shiftPins(void *context, const uint8_t *tdi, uint8_t *tdo, size_t bytes) {
    Host &host = *static_cast<Host *>(context);
    keepFirstTry(host);
    const uint8_t state = host.tap.state();
    const size_t bits = bytes * 8;
    const bool shown = host.vcd || host.trace;
    if (!tdo && shown) {
        host.scratch.resize(bytes);
        tdo = host.scratch.data();
    }
    host.pins->shift(tdi, tdo, bits, state);
    host.clocks += bits;
    host.shifted += bits;
    if (!shown) return;
    for (size_t i = 0; i < bits; ++i) {
        const bool in = (tdi[i >> 3] >> (i & 7)) & 1, out = (tdo[i >> 3] >> (i & 7)) & 1;
        if (host.vcd) host.vcd->clock(false, in, out);
        if (host.trace) host.trace->clock(state, state, in, out);
    }
}

void driveTrst(void *context, int asserted) {
    Host &host = *static_cast<Host *>(context);
    host.pins->trst(asserted);
    if (host.vcd) host.vcd->trst(asserted);
}

constexpr qsvfplay_io kHostIo = {readStream, clockPins, shiftPins, driveTrst};

bool readFile(const std::string &name, std::vector<uint8_t> &bytes, std::string &error) {
    std::FILE *file = std::fopen(name.c_str(), "rb");
    if (!file) {
        error = "cannot read " + name + ": " + std::strerror(errno);
        return false;
    }
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + n);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) error = "cannot read " + name;
    return !failed;
}

// A vector of the buffer (shift order) as "0x" and the digits of its QSVF
// value, the highest bit first.
std::string hex(const uint8_t *bits, uint32_t length, uint32_t valid) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    for (uint32_t top = (length + 3) / 4; top-- > 0;) {
        unsigned digit = 0;
        for (unsigned k = 0; k < 4; ++k) {
            const uint32_t i = top * 4 + k;
            if (i < length && i < valid && ((bits[i >> 3] >> (i & 7)) & 1)) digit |= 1u << k;
        }
        text += kDigits[digit];
    }
    return text;
}

std::string mnemonic(uint8_t opcode) {
    return opcode < qsvf::kOpcodeCount ? std::string(qsvf::kOpcodes[opcode].mnemonic) : std::to_string(opcode);
}

// The failed scan with the expected bits, the mask and the bits read by
// its first try: a device whose answer changes from try to try is seen as
// it first failed.
// It ends with the qsvfcheck command that names the SVF command of the
// record at that byte.
std::string failureReport(const Host &host, const std::string &streamFile) {
    const qsvfplay_state &p = host.player;
    qsvfplay_vectors v{};
    qsvfplay_scan_vectors(&p, &v);
    const bool repeated = host.firstTryScan == p.scans && !host.firstTryRead.empty();
    if (repeated) v.read = host.firstTryRead.data();
    const uint32_t tries = repeated ? 1 + p.repeats - host.repeatsBeforeScan : 1;
    std::string report = "TDO comparison failed in " + mnemonic(p.opcode) + " at byte " + std::to_string(p.record) +
                         ", scan " + std::to_string(p.scans) + " (" + std::to_string(v.bits) + " bits), in " +
                         std::to_string(tries) + (tries == 1 ? " try" : " tries; as read in the first try");
    for (uint32_t i = 0; i < v.bits && i < v.mask_bits; ++i) {
        const auto bit = [i](const uint8_t *vector, uint32_t valid) {
            return i < valid && ((vector[i >> 3] >> (i & 7)) & 1);
        };
        if (bit(v.mask, v.mask_bits) && bit(v.expected, v.expected_bits) != bit(v.read, v.bits)) {
            report += ", first at bit " + std::to_string(i);
            break;
        }
    }
    report += "\n  READ " + hex(v.read, v.bits, v.bits) + "\n  WANT " + hex(v.expected, v.bits, v.expected_bits) +
              "\n  MASK " + hex(v.mask, v.bits, v.mask_bits) + "\n  the SVF command: qsvfcheck --at " +
              std::to_string(p.record) + " FILE.svf... " + streamFile;
    return report;
}

std::string invalidReport(const qsvfplay_state &p, size_t streamSize) {
    const std::string at = "byte " + std::to_string(p.record) + ": ";
    const std::string record = mnemonic(p.opcode);
    switch (p.status) {
    case QSVFPLAY_TRUNCATED:
        return p.record >= streamSize ? "the stream ends without QCOMPLETE"
                                      : at + "the stream ends inside this " + record + " record";
    case QSVFPLAY_BAD_OPCODE: return at + std::to_string(p.opcode) + " is not a QSVF opcode";
    case QSVFPLAY_BAD_OPERAND:
        return at + record + " cannot be played: a state code, end state or length out of range, no QSDRSIZE or "
                             "QSETSDRMASKS before it, or the TAP does not rest in a stable state";
    case QSVFPLAY_BAD_SPLIT: return at + record + " is out of place in a split scan";
    default: return at + record + " record too long for the player's buffer";
    }
}

// A buffer of `size` bytes, or with 0 one that holds whatever the stream
// keeps and reads at one time (never more than three times its bytes).
void startHost(Host &host, const std::vector<uint8_t> &stream, std::vector<uint8_t> &buffer, uint64_t size = 0) {
    host.stream = &stream;
    buffer.assign(size ? static_cast<size_t>(size) : 3 * stream.size() + 64, 0);
    qsvfplay_init(&host.player, &kHostIo, &host, buffer.data(), static_cast<uint32_t>(buffer.size()));
}

// Plays the records to the end of the play; how it ended.
int playRecords(Host &host, SimulatedChain *chain) {
    int status;
    do {
        if (chain) chain->startRecord();
        status = qsvfplay_step(&host.player);
        showProgress(host);
        ++host.records;
        // A device of the chain out of BYPASS where it must be in it ends
        // the play after that record.
    } while (status == QSVFPLAY_MORE && (!chain || chain->bypassFault().empty()));
    return status;
}

// The compared scans of the stream as the simulated chain counts them for
// --fail-at: the stream played once into a chain that answers every bit as
// expected, nothing shown.  -1 when that play does not reach QCOMPLETE (the
// play proper then says why).
int64_t countComparedScans(const std::vector<uint8_t> &stream, const std::vector<unsigned> &irLengths) {
    Host host;
    std::vector<uint8_t> buffer;
    startHost(host, stream, buffer);
    SimulatedChain chain(irLengths, 0, &host.player);
    host.pins = &chain;
    return playRecords(host, &chain) == QSVFPLAY_COMPLETE ? static_cast<int64_t>(chain.comparedScans()) : -1;
}

int play(const PlayOptions &options, std::ostream &out, std::ostream &err) {
    std::string error;
    std::vector<uint8_t> stream;
    if (!readFile(options.stream, stream, error)) {
        err << "qsvfplay: " << error << '\n';
        return kPlayInvalid;
    }
    if (options.failAt) {
        const int64_t compared = countComparedScans(stream, options.chain);
        if (compared >= 0 && static_cast<uint64_t>(compared) < options.failAt) {
            err << "qsvfplay: --fail-at " << options.failAt << " is beyond the compared scans of " << options.stream
                << ": it has " << compared << (compared == 1 ? " compared scan\n" : " compared scans\n");
            return kPlayInvalid;
        }
    }
    Host host;
    std::vector<uint8_t> buffer;
    startHost(host, stream, buffer, options.buffer);
    const uint64_t need = bufferNeed(stream);

    std::unique_ptr<Pins> pins;
    SimulatedChain *chain = nullptr;
    if (!options.remote.empty()) {
        pins = RemoteBitbang::connect(options.remote, error);
        if (!pins) {
            err << "qsvfplay: remote_bitbang: " << error << '\n';
            return kPlayInvalid;
        }
    } else {
        auto simulated = std::make_unique<SimulatedChain>(options.chain, options.failAt, &host.player);
        simulated->setTarget(options.target);
        chain = simulated.get();
        pins = std::move(simulated);
    }
    host.pins = pins.get();
    VcdWriter vcd;
    if (!options.vcd.empty()) {
        if (!vcd.open(options.vcd, options.frequency, error)) {
            err << "qsvfplay: " << error << '\n';
            return kPlayInvalid;
        }
        host.vcd = &vcd;
    }
    PinTrace trace(out, &host.player);
    if (options.trace) host.trace = &trace;
    if (options.trace && chain) chain->onUpdateIr([&trace](const auto &devices) { trace.instructions(devices); });

    // Progress goes to a terminal only, never into a pipe or a file.
    std::optional<Progress> progress(std::in_place, !options.quiet && ::isatty(STDERR_FILENO) == 1);
    host.progress = &*progress;
    const int status = playRecords(host, chain);
    const double wall = progress->seconds();
    host.progress = nullptr;
    progress.reset();
    trace.finish();
    // A device of the chain out of BYPASS where it must be in it ends the
    // play after that record, as a failure.
    const std::string bypassFault = chain ? chain->bypassFault() : "";

    const qsvfplay_state &p = host.player;
    out << options.stream << ": "
        << (status == QSVFPLAY_COMPLETE ? "played to QCOMPLETE"
            : bypassFault.empty()       ? "stopped"
                                        : "stopped: " + bypassFault)
        << ": "
        << host.records << " records, " << p.scans << " scans, " << host.shifted << " bits shifted, " << p.compared
        << " TDO bits compared, " << p.repeats << " repeats, " << host.clocks << " TCK clocks, "
        << static_cast<double>(host.clocks) / options.frequency << " s at " << options.frequency
        << " Hz, needs a player buffer of " << need << (need == 1 ? " byte" : " bytes") << ", played in "
        << std::setprecision(3) << wall << " s\n";
    out.flush();
    int result = status == QSVFPLAY_COMPLETE ? kPlayComplete : status == QSVFPLAY_TDO_FAILED ? kPlayFailed : kPlayInvalid;
    if (!bypassFault.empty()) result = kPlayFailed;
    if (status == QSVFPLAY_TDO_FAILED)
        err << "qsvfplay: " << options.stream << ": " << failureReport(host, options.stream) << '\n';
    else if (status == QSVFPLAY_TOO_LONG)
        err << "qsvfplay: " << options.stream << ": " << invalidReport(p, stream.size()) << " of " << buffer.size()
            << " bytes (the stream needs " << need << ")\n";
    else if (status != QSVFPLAY_COMPLETE && status != QSVFPLAY_MORE)
        err << "qsvfplay: " << options.stream << ": " << invalidReport(p, stream.size()) << '\n';
    if (!pins->finish(error)) {
        err << "qsvfplay: " << error << '\n';
        result = kPlayInvalid;
    }
    if (host.vcd && !vcd.close(error)) {
        err << "qsvfplay: " << error << '\n';
        result = kPlayInvalid;
    }
    return result;
}

}  // namespace

int runQsvfplay(int argc, const char *const *argv, std::ostream &out, std::ostream &err) {
    // As with every program of the tool set, --help and --version are
    // answered when they are the only argument.
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        out << kUsage;
        return kPlayComplete;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        out << "qsvfplay (QSVF tools) " << QSVF_TOOLS_VERSION << '\n';
        return kPlayComplete;
    }
    PlayOptions options;
    if (const std::string error = parseOptions(argc, argv, options); !error.empty()) {
        err << "qsvfplay: " << error << "\n" << kUsage;
        return kPlayInvalid;
    }
    try {
        return play(options, out, err);
    } catch (const std::bad_alloc &) {
        out.flush();
        err << "qsvfplay: out of memory\n";
    }
    return kPlayInvalid;
}

}  // namespace qsvfplay
