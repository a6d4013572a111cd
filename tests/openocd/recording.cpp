// Reading and comparing tap_server recordings (see recording.h).
#include "recording.h"

#include <fstream>
#include <sstream>

#include "openocd_exceptions.h"
#include "tap_model.h"

namespace tapsim {

bool readRecording(const std::string &file, bool fromOpenOcd, Recording &recording, std::string &error,
                   unsigned device) {
    recording = Recording{file, {}, false};
    std::ifstream in(file);
    if (!in) {
        error = file + ": cannot be read";
        return false;
    }
    // Exception::InitProbe: OpenOCD's steps count from the start mark.
    bool counting = !fromOpenOcd;
    bool initStateDropped = !fromOpenOcd;
    // Exception::PauseLoop: whether a scan line came since the last rest, and
    // whether the last step is a device's update without one.
    bool shiftedSinceRest = false, unshiftedUpdate = false;
    std::string text;
    for (long line = 1; std::getline(in, text); ++line) {
        std::istringstream words(text);
        std::string word;
        words >> word;
        if (word == "start") {
            counting = true;
            recording.steps.clear();
            recording.segments = 0;
            continue;
        }
        Step step;
        step.line = line;
        std::string detail;
        if (word == "scan" || word == "scan+") {
            step.kind = Step::Kind::Scan;
            std::string hex;
            words >> detail >> step.length >> hex;
            step.instruction = detail == "IR";
            if (!words || (detail != "IR" && detail != "DR") || !hexToBits(hex, step.length, step.tdi)) {
                error = file + ":" + std::to_string(line) + ": bad scan line";
                return false;
            }
            if (!counting) continue;
            step.lastSegment = ++recording.segments;
            shiftedSinceRest = true;
            if (device > 0) continue;
            if (word == "scan+") {
                size_t scan = recording.steps.size();
                bool idlePause = true;
                while (scan > 0 && recording.steps[scan - 1].kind == Step::Kind::Rest) {
                    const Step &rest = recording.steps[--scan];
                    idlePause = idlePause && rest.clocks == 0 && (rest.state == "DRPAUSE" || rest.state == "IRPAUSE");
                }
                if (idlePause && scan > 0 && recording.steps[scan - 1].kind == Step::Kind::Scan) {
                    recording.steps.resize(scan);
                    Step &joined = recording.steps.back();
                    joined.tdi.insert(joined.tdi.end(), step.tdi.begin(), step.tdi.end());
                    joined.length = joined.tdi.size();
                    joined.lastSegment = step.lastSegment;
                    continue;
                }
            }
        } else if (word == "device") {
            unsigned which = 0;
            std::string hex;
            words >> which >> detail >> step.length >> hex;
            if (!words || (detail != "IR" && detail != "DR") || !hexToBits(hex, step.length, step.tdi)) {
                error = file + ":" + std::to_string(line) + ": bad device line";
                return false;
            }
            if (which != device) continue;
            step.kind = Step::Kind::Scan;
            step.instruction = detail == "IR";
            step.lastSegment = recording.segments;
        } else if (word == "rest") {
            step.kind = Step::Kind::Rest;
            words >> step.state >> step.clocks;
            if (!words) {
                error = file + ":" + std::to_string(line) + ": bad rest line";
                return false;
            }
            shiftedSinceRest = false;
            const size_t steps = recording.steps.size();
            if (fromOpenOcd && unshiftedUpdate && steps >= 2 && recording.steps[steps - 2].state == step.state &&
                (step.state == "DRPAUSE" || step.state == "IRPAUSE"))
                recording.steps.pop_back();
        } else if (word == "trst") {
            step.kind = Step::Kind::Trst;
            words >> detail;
            step.on = detail == "on";
        } else if (word == "end") {
            recording.complete = true;
            break;
        } else {
            error = file + ":" + std::to_string(line) + ": unknown line \"" + text + "\"";
            return false;
        }
        if (!counting) continue;
        // Exception::OpeningReset: the state init left, before the reset.
        if (!initStateDropped && step.kind == Step::Kind::Rest) {
            initStateDropped = true;
            if (step.state != "RESET") continue;
        }
        initStateDropped = true;
        // Two rests in one state with nothing between are one wait.
        if (step.kind == Step::Kind::Rest && !recording.steps.empty() &&
            recording.steps.back().kind == Step::Kind::Rest && recording.steps.back().state == step.state) {
            recording.steps.back().clocks += step.clocks;
            continue;
        }
        unshiftedUpdate = word == "device" && !shiftedSinceRest;
        recording.steps.push_back(step);
    }
    if (fromOpenOcd && !counting) {
        error = file + ": no start mark";
        return false;
    }
    return true;
}

namespace {

// The steps between two scans.
struct Gap {
    std::vector<const Step *> steps;
};

void split(const Recording &recording, std::vector<const Step *> &scans, std::vector<Gap> &gaps) {
    gaps.assign(1, Gap{});
    for (const Step &step : recording.steps) {
        if (step.kind == Step::Kind::Scan) {
            scans.push_back(&step);
            gaps.emplace_back();
        } else {
            gaps.back().steps.push_back(&step);
        }
    }
}

std::string describe(const Step &step) {
    if (step.kind == Step::Kind::Trst) return step.on ? "TRST asserted" : "TRST released";
    return "rest in " + step.state + " (" + std::to_string(step.clocks) + " clocks)";
}

std::string place(size_t scan) { return scan == 0 ? "before scan 1" : "after scan " + std::to_string(scan); }

}  // namespace

std::vector<std::string> compareRecordings(const Recording &reference, const Recording &other,
                                           const std::vector<Wait> &waitsAfterScan) {
    std::vector<std::string> differences;
    const std::string who = other.file + ": ";
    auto report = [&](const std::string &text) { differences.push_back(who + text); };
    if (!reference.complete) report("the reference recording " + reference.file + " has no end");
    if (!other.complete) report("the recording has no end (the player stopped or hung)");

    std::vector<const Step *> referenceScans, otherScans;
    std::vector<Gap> referenceGaps, otherGaps;
    split(reference, referenceScans, referenceGaps);
    split(other, otherScans, otherGaps);
    if (referenceScans.size() != otherScans.size())
        report(std::to_string(otherScans.size()) + " scans, OpenOCD " + std::to_string(referenceScans.size()));

    const size_t scans = std::min(referenceScans.size(), otherScans.size());
    for (size_t k = 0; k <= scans; ++k) {
        if (k > 0) {
            const Step &want = *referenceScans[k - 1], &got = *otherScans[k - 1];
            const std::string name = "scan " + std::to_string(k) + " (line " + std::to_string(got.line) + "): ";
            if (want.instruction != got.instruction) {
                report(name + (got.instruction ? "IR" : "DR") + ", OpenOCD " + (want.instruction ? "IR" : "DR"));
            } else if (want.length != got.length) {
                report(name + std::to_string(got.length) + " bits, OpenOCD " + std::to_string(want.length));
            } else if (want.tdi != got.tdi) {
                size_t bit = 0;
                while (want.tdi[bit] == got.tdi[bit]) ++bit;
                report(name + "TDI differs from bit " + std::to_string(bit));
            }
        }
        const Gap &want = referenceGaps[k], &got = otherGaps[k];
        if (want.steps.size() != got.steps.size()) {
            std::string text = place(k) + ": ";
            for (const Step *step : got.steps) text += describe(*step) + ", ";
            text += "OpenOCD: ";
            for (const Step *step : want.steps) text += describe(*step) + ", ";
            report(text.substr(0, text.size() - 2));
        } else {
            for (size_t i = 0; i < want.steps.size(); ++i) {
                const Step &a = *want.steps[i], &b = *got.steps[i];
                const std::string at = place(k) + " (line " + std::to_string(b.line) + "): ";
                if (a.kind != b.kind || (a.kind == Step::Kind::Trst && a.on != b.on) ||
                    (a.kind == Step::Kind::Rest && a.state != b.state))
                    report(at + describe(b) + ", OpenOCD " + describe(a));
                else if (a.kind == Step::Kind::Rest && a.state != "RESET" && b.clocks < a.clocks)
                    // Exception::ResetClocks: clocks in RESET are not compared.
                    report(at + std::to_string(b.clocks) + " clocks in " + b.state + ", OpenOCD " +
                           std::to_string(a.clocks));
            }
        }
        // Exception::HostSleep: the times of the file, as clocks at its
        // FREQUENCY.  A wait the file asks inside a joined scan is missing.
        if (k > 0 && !waitsAfterScan.empty()) {
            const uint64_t last = otherScans[k - 1]->lastSegment;
            const uint64_t first = k > 1 ? otherScans[k - 2]->lastSegment + 1 : 1;
            for (uint64_t segment = first; segment < last && segment <= waitsAfterScan.size(); ++segment)
                if (waitsAfterScan[segment - 1].clocks > 0)
                    report("scan " + std::to_string(k) + ": shifted on without the wait of " +
                           std::to_string(waitsAfterScan[segment - 1].clocks) +
                           " clocks the file asks after its scan " + std::to_string(segment));
            uint64_t clocks = 0, inReset = 0;
            for (const Step *step : got.steps)
                if (step->kind == Step::Kind::Rest) (step->state == "RESET" ? inReset : clocks) += step->clocks;
            if (last <= waitsAfterScan.size()) {
                const Wait &asked = waitsAfterScan[last - 1];
                if (clocks < asked.clocks - asked.inReset)
                    report(place(k) + ": " + std::to_string(clocks) + " clocks, the file asks " +
                           std::to_string(asked.clocks - asked.inReset) + " (" +
                           exceptionName(Exception::HostSleep) + ")");
                // Exception::ResetClocks: OpenOCD's own clocks in RESET say
                // nothing, the file's RUNTEST in RESET does.
                if (inReset < asked.inReset)
                    report(place(k) + ": " + std::to_string(inReset) + " clocks in RESET, the file asks " +
                           std::to_string(asked.inReset));
            }
        }
    }
    // After a scan more or less, everything behind it differs: the first
    // ones tell the story.
    constexpr size_t kShown = 20;
    if (differences.size() > kShown) {
        const size_t more = differences.size() - kShown;
        differences.resize(kShown);
        report("and " + std::to_string(more) + " more differences");
    }
    return differences;
}

}  // namespace tapsim
