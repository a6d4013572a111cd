// The comparison of recordings on small hand-written pairs: an OpenOCD
// recording (with its init probe before the start mark) and another
// player's, each case with the difference that must be reported, or none.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "recording.h"

namespace {

// OpenOCD: the init probe, the mark, its opening reset, then SIR 8 TDI (A5)
// and SDR 16 TDI (1234) with ENDDR DRPAUSE shifted as two SDR 8 commands,
// and RUNTEST 100 TCK in IDLE.
const char *const kOpenOcd =
    "rest RESET 10 5\nrest IDLE 0 0\nscan DR 672 ff\nrest DRPAUSE 0 0\nrest RESET 4 0\nrest IDLE 0 0\n"
    "scan IR 10 3ff\nstart\nrest IDLE 0 300\nrest RESET 6 0\nrest IDLE 0 0\nscan IR 8 a5\nrest IDLE 0 0\n"
    "scan DR 8 34\nrest DRPAUSE 0 0\nscan+ DR 8 12\nrest IDLE 100 20\ntrst on\ntrst off\nrest RESET 5 0\nend\n";

struct Case {
    const char *name;
    const char *other;
    std::vector<tapsim::Wait> waits;
    const char *found;  // part of the report, "" when they must agree
};

const Case kCases[] = {
    {"the same without the probe and with one DR scan", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\n"
     "rest IDLE 0 0\nscan DR 16 1234\nrest IDLE 100 0\ntrst on\ntrst off\nrest RESET 0 0\nend\n", {}, ""},
    {"pieces with a pause between", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\nrest IDLE 0 0\n"
     "scan DR 4 4\nrest DRPAUSE 0 0\nscan+ DR 12 123\nrest IDLE 150 0\ntrst on\ntrst off\nrest RESET 0 0\nend\n", {{}, {}, {100, 0}}, ""},
    {"clocks in a pause between pieces", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\nrest IDLE 0 0\n"
     "scan DR 4 4\nrest DRPAUSE 3 0\nscan+ DR 12 123\nrest IDLE 100 0\ntrst on\ntrst off\nrest RESET 0 0\nend\n", {}, "3 scans, OpenOCD 2"},
    {"one TDI bit", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 ad\nrest IDLE 0 0\nscan DR 16 1234\n"
     "rest IDLE 100 0\ntrst on\ntrst off\nrest RESET 0 0\nend\n", {}, "scan 1 (line 3): TDI differs from bit 3"},
    {"a clock short", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\nrest IDLE 0 0\nscan DR 16 1234\n"
     "rest IDLE 99 0\ntrst on\ntrst off\nrest RESET 0 0\nend\n", {}, "after scan 2 (line 6): 99 clocks in IDLE, OpenOCD 100"},
    {"another rest state", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\nrest IRPAUSE 0 0\nscan DR 16 1234\n"
     "rest IDLE 100 0\ntrst on\ntrst off\nrest RESET 0 0\nend\n", {}, "after scan 1 (line 4): rest in IRPAUSE (0 clocks), OpenOCD rest in IDLE"},
    {"no TRST", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\nrest IDLE 0 0\nscan DR 16 1234\n"
     "rest IDLE 100 0\nend\n", {}, "after scan 2: rest in IDLE (100 clocks), OpenOCD: rest in IDLE (100 clocks), TRST"},
    {"short of the file's time", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\nrest IDLE 0 0\nscan DR 16 1234\n"
     "rest IDLE 100 0\ntrst on\ntrst off\nrest RESET 0 0\nend\n", {{}, {5000, 0}}, "after scan 2: 100 clocks, the file asks 5000"},
    {"short of the file's clocks in RESET", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\nrest IDLE 0 0\n"
     "scan DR 16 1234\nrest IDLE 100 0\ntrst on\ntrst off\nrest RESET 2 0\nend\n", {{}, {103, 3}},
     "after scan 2: 2 clocks in RESET, the file asks 3"},
    {"a wait skipped inside a joined scan", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\nrest IDLE 0 0\n"
     "scan DR 8 34\nrest DRPAUSE 0 0\nscan+ DR 8 12\nrest IDLE 100 0\ntrst on\ntrst off\nrest RESET 0 0\nend\n", {{}, {40, 0}, {100, 0}},
     "scan 2: shifted on without the wait of 40 clocks the file asks after its scan 2"},
    {"cut off", "rest RESET 0 0\nrest IDLE 0 0\nscan IR 8 a5\n", {}, "the recording has no end"},
};

TEST(Recordings, EveryDifferenceIsReportedAndOnlyThose) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qsvf_recordings_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "openocd.rec") << kOpenOcd;
    tapsim::Recording reference;
    std::string error;
    ASSERT_TRUE(tapsim::readRecording((dir / "openocd.rec").string(), true, reference, error)) << error;
    for (const Case &c : kCases) {
        std::ofstream(dir / "other.rec") << c.other;
        tapsim::Recording other;
        ASSERT_TRUE(tapsim::readRecording((dir / "other.rec").string(), false, other, error)) << error;
        std::string report;
        for (const std::string &line : tapsim::compareRecordings(reference, other, c.waits)) report += line + "\n";
        if (*c.found == '\0')
            EXPECT_EQ(report, "") << c.name;
        else
            EXPECT_NE(report.find(c.found), std::string::npos) << c.name << ":\n" << report;
    }
    std::filesystem::remove_all(dir);
}

// A chain of two devices of 5-bit IRs: OpenOCD selects 01 in device 2,
// shifts a 9-bit data scan in two pieces with two clocks in DRPAUSE between
// them, then goes round from DRPAUSE to DRPAUSE (an update without a shift:
// exception PauseLoop).  Each other recording is read as one device saw it.
const char *const kChainOpenOcd =
    "rest RESET 5 0\nrest IDLE 0 0\nscan IR 10 3ff\ndevice 1 IR 5 1f\ndevice 2 IR 5 1f\nstart\nrest IDLE 0 0\n"
    "rest RESET 5 0\nrest IDLE 0 0\nscan IR 10 03f\ndevice 1 IR 5 1f\ndevice 2 IR 5 01\nrest IDLE 0 0\n"
    "scan DR 5 16\nrest DRPAUSE 2 0\nscan+ DR 4 5\ndevice 1 DR 1 0\ndevice 2 DR 8 5b\nrest DRPAUSE 0 0\n"
    "device 1 DR 1 0\ndevice 2 DR 0 0\nrest DRPAUSE 1 0\nrest IDLE 3 0\nend\n";

const std::string kChainStart = "rest RESET 0 0\nrest IDLE 0 0\nscan IR 10 03f\ndevice 1 IR 5 1f\ndevice 2 IR 5 01\n"
                                "rest IDLE 0 0\nscan DR 5 16\nrest DRPAUSE 2 0\nscan+ DR 4 5\ndevice 1 DR 1 0\n";

const struct {
    const char *name;
    unsigned device;
    std::string other;
    const char *found;
} kDeviceCases[] = {
    {"the same without the loop", 2, kChainStart + "device 2 DR 8 5b\nrest DRPAUSE 1 0\nrest IDLE 3 0\nend\n", ""},
    {"the same as device 1 saw it", 1, kChainStart + "device 2 DR 8 5b\nrest DRPAUSE 1 0\nrest IDLE 3 0\nend\n",
     ""},
    {"another bit in the device", 2, kChainStart + "device 2 DR 8 5a\nrest DRPAUSE 1 0\nrest IDLE 3 0\nend\n",
     "scan 2 (line 11): TDI differs from bit 0"},
    {"a loop of its own", 2,
     kChainStart + "device 2 DR 8 5b\nrest DRPAUSE 0 0\ndevice 1 DR 1 0\ndevice 2 DR 0 0\nrest DRPAUSE 1 0\n"
                   "rest IDLE 3 0\nend\n",
     "3 scans, OpenOCD 2"},
};

TEST(Recordings, EachDeviceOfAChainAsItSawIt) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qsvf_device_views_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "openocd.rec") << kChainOpenOcd;
    std::string error;
    for (const auto &c : kDeviceCases) {
        tapsim::Recording reference, other;
        ASSERT_TRUE(tapsim::readRecording((dir / "openocd.rec").string(), true, reference, error, c.device)) << error;
        std::ofstream(dir / "other.rec") << c.other;
        ASSERT_TRUE(tapsim::readRecording((dir / "other.rec").string(), false, other, error, c.device)) << error;
        std::string report;
        for (const std::string &line : tapsim::compareRecordings(reference, other)) report += line + "\n";
        if (*c.found == '\0')
            EXPECT_EQ(report, "") << c.name;
        else
            EXPECT_NE(report.find(c.found), std::string::npos) << c.name << ":\n" << report;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
