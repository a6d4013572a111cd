// svf2qsvf -chain/-target: a file placed in a chain translates exactly as the
// same file with the padding written by hand as HIR, HDR, TIR and TDR, in
// every mode; a chain of one changes nothing; bad values are refused
// without an output.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "svf2qsvf.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Chain : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) / ("chain_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Translates the SVF text; the stream's bytes in `stream` (empty when
    // none was written), standard output in `console`.
    int translate(const std::string &svf, std::vector<std::string> options) {
        std::ofstream(dir / "in.svf", std::ios::binary) << svf;
        fs::remove(dir / "out.qsvf");
        std::vector<std::string> args = {"svf2qsvf", "-w"};
        args.insert(args.end(), options.begin(), options.end());
        for (const std::string &a : {std::string("-i"), (dir / "in.svf").string(), std::string("-o"),
                                     (dir / "out.qsvf").string()})
            args.push_back(a);
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        ::testing::internal::CaptureStdout();
        const int status = runSvf2qsvf(static_cast<int>(argv.size()), argv.data());
        console = ::testing::internal::GetCapturedStdout();
        stream = fs::exists(dir / "out.qsvf") ? readFile(dir / "out.qsvf") : "";
        return status;
    }
    fs::path dir;
    std::string console, stream;
};

// The file without its own header and trailer commands.
std::string withoutPadding(const std::string &svf) {
    std::istringstream in(svf);
    std::string out, line;
    while (std::getline(in, line)) {
        const std::string head = line.substr(0, 4);
        if (head != "HIR " && head != "HDR " && head != "TIR " && head != "TDR ") out += line + "\n";
    }
    return out;
}

// n bits of ones as SVF hex.
std::string ones(int bits) {
    std::string hex(static_cast<size_t>((bits + 3) / 4), 'F');
    if (bits % 4) hex[0] = "0137"[bits % 4];
    return hex;
}

const std::vector<std::vector<std::string>> kModes = {
    {}, {"-extensions"}, {"-qwait"}, {"-extensions", "-qwait"}, {"-v2"}, {"-inorder"}, {"-fpga", "-rlen", "64"}, {"-s"}};

TEST_F(Chain, PaddingIsTheOtherDevicesInBypassInEveryMode) {
    struct Placement {
        std::string lengths;
        int target;
        std::string padding;  // the same written as header and trailer
    };
    // IR lengths from the TDO end; the devices before the target are the
    // header (shifted first), those after it the trailer.
    const std::vector<Placement> placements = {
        {"5,8,10", 1, "TIR 18 TDI (" + ones(18) + ");\nTDR 2 TDI (0);\n"},
        {"5,8,10", 2, "HIR 5 TDI (1F);\nHDR 1 TDI (0);\nTIR 10 TDI (3FF);\nTDR 1 TDI (0);\n"},
        {"5,8,10", 3, "HIR 13 TDI (1FFF);\nHDR 2 TDI (0);\n"},
        {"300,8", 2, "HIR 300 TDI (" + ones(300) + ");\nHDR 1 TDI (0);\n"},
    };
    for (const char *name : {"blink.svf", "fpga_load.svf"}) {
        const std::string svf = readFile(fs::path(QSVF_EXAMPLES_DIR) / name);
        for (const Placement &place : placements)
            for (const auto &mode : kModes) {
                std::string what = std::string(name) + " -chain " + place.lengths + " -target " +
                                   std::to_string(place.target);
                for (const std::string &option : mode) what += " " + option;
                ASSERT_EQ(translate(place.padding + withoutPadding(svf), mode), 0) << what << console;
                const std::string byHand = stream;
                std::vector<std::string> options = mode;
                for (const std::string &o : {std::string("-chain"), place.lengths, std::string("-target"),
                                             std::to_string(place.target)})
                    options.push_back(o);
                ASSERT_EQ(translate(svf, options), 0) << what << console;
                EXPECT_EQ(stream, byHand) << what;
                // A chain of one device is no chain.
                ASSERT_EQ(translate(svf, mode), 0) << what;
                const std::string alone = stream;
                options = mode;
                options.insert(options.end(), {"-chain", "8"});
                ASSERT_EQ(translate(svf, options), 0) << what << console;
                EXPECT_EQ(stream, alone) << what;
            }
    }
}

TEST_F(Chain, TheFilesOwnHeaderAndTrailerAreReplacedWithOneWarning) {
    const std::string svf = "HIR 3 TDI (7);\nSIR 8 TDI (01);\nTDR 2 TDI (3);\nSDR 4 TDI (A);\nHIR 0;\n";
    ASSERT_EQ(translate("HIR 5 TDI (1F);\nHDR 1 TDI (0);\n" + withoutPadding(svf), {}), 0);
    const std::string byHand = stream;
    ASSERT_EQ(translate(svf, {"-chain", "5,8", "-target", "2"}), 0);
    EXPECT_EQ(stream, byHand);
    EXPECT_EQ(console.find("\nWarning: HIR, HDR, TIR and TDR of the file are replaced by the padding of -chain\n[" +
                           (dir / "in.svf").string() + ": line 1]:"),
              0u)
        << console;
    EXPECT_EQ(console.find("Warning", 2), std::string::npos) << console;
}

TEST_F(Chain, BadValuesAreRefusedWithoutAnOutput) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-chain", ""}, "-chain needs the IR lengths of the chain from the TDO end, such as 5,8,10"},
        {{"-chain", "5,0,8", "-target", "1"}, "IR length [0] in -chain [5,0,8] must be 1 or more"},
        {{"-chain", "5,x", "-target", "1"}, "Invalid IR length [x] in -chain [5,x]"},
        {{"-chain", "5,", "-target", "1"}, "Invalid IR length [] in -chain [5,]"},
        {{"-chain", "65000,536", "-target", "1"}, "Total IR length of -chain [65000,536] exceeds limit [65535]"},
        {{"-target", "1"}, "-target needs -chain"},
        {{"-chain", "5,8"}, "-chain of 2 devices needs -target"},
        {{"-chain", "5,8", "-target", "3"}, "-target [3] outside range [1..2]"},
        {{"-chain", "5,8", "-target", "0"}, "-target [0] outside range [1..2]"},
        {{"-chain", "5", "-chain", "5"}, "-chain given twice"},
    };
    for (const auto &[options, message] : cases) {
        EXPECT_EQ(translate("SIR 8 TDI (01);\n", options), 1) << message;
        EXPECT_EQ(console, "\nError  : " + message) << message;
        EXPECT_EQ(stream, "") << message;
    }
    // The largest chain QSIR2 holds is taken.
    EXPECT_EQ(translate("SIR 8 TDI (01);\n", {"-chain", "65000,535", "-target", "2"}), 0) << console;
}

}  // namespace
