// The qsvfplay program in-process: its command line and statuses, the
// summary and failure lines, the simulated chain, the Value Change Dump,
// and the remote_bitbang client against a small server in the test that
// answers TDO reads as told (1 beyond that) and keeps every byte it is sent.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <netinet/in.h>
#include <unistd.h>

#include <sstream>
#include <thread>
#include <tuple>

#include "play_run.h"
#include "svf_corpus.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct PlayRun {
    int status = -1;
    std::string out, err;
};

PlayRun runPlay(std::vector<std::string> args) {
    args.insert(args.begin(), "qsvfplay");
    std::vector<const char *> argv;
    for (const std::string &a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    PlayRun run;
    run.status = qsvfplay::runQsvfplay(static_cast<int>(argv.size()), argv.data(), out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

TEST(Program, HelpVersionAndBadCommandLines) {
    EXPECT_EQ(runPlay({"--version"}).out, "qsvfplay (QSVF tools) " QSVF_TOOLS_VERSION "\n");
    const PlayRun help = runPlay({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: qsvfplay ", 0), 0u);
    WorkFolder work("player_program");
    writeFile(work / "s.qsvf", bytesFromHex("07 00 00"));
    const std::string s = (work / "s.qsvf").string();
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {}, {"--frequency", "0", s}, {"--chain", "3,,2", s}, {"--chain", "0", s}, {"--fail-at", "0", s},
             {"--vcd"}, {"-x", s}, {s, s}, {"--chain", "4", "--remote-bitbang", "h:1", s}, {"--help", s},
             {"--target", "1", s}, {"--chain", "5,8", "--target", "3", s}, {"--chain", "5", "--target", "0", s}}) {
        const PlayRun run = runPlay(args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(run.err.find("Usage: qsvfplay"), std::string::npos);
    }
    EXPECT_EQ(runPlay({(work / "missing.qsvf").string()}).status, 2);
}

TEST(Program, SummaryFailureReportAndChain) {
    WorkFolder work("player_summary");
    // QREPEAT 0, QRUNTEST 2, QSIR of 4 bits: 5 start clocks, 5 to Shift-IR,
    // 4 shifted, 2 to PlayRun-Test/Idle, 2 waited.
    writeFile(work / "ir.qsvf", bytesFromHex("07 00 04 00 00 00 02 02 04 05 00"));
    PlayRun run = runPlay({(work / "ir.qsvf").string()});
    EXPECT_EQ(run.status, 0);
    // The QSIR's 4 bits take one byte of the buffer; the time it took ends
    // the line.
    const std::string summary = (work / "ir.qsvf").string() +
                                ": played to QCOMPLETE: 4 records, 1 scans, 4 bits shifted, 0 TDO bits compared, 0 "
                                "repeats, 18 TCK clocks, 1.8e-05 s at 1e+06 Hz, needs a player buffer of 1 byte, "
                                "played in ";
    EXPECT_EQ(run.out.substr(0, summary.size()), summary);
    EXPECT_EQ(run.out.substr(run.out.size() - 3), " s\n");
    // Two devices with IRs of 3 and 2 bits capture 1 0 0 and 1 0.
    writeFile(work / "ir5.qsvf", bytesFromHex("02 05 00 00"));
    run = runPlay({"--chain", "3,2", "--trace", (work / "ir5.qsvf").string()});
    EXPECT_NE(run.out.find("0 QSIR: shift IR 5 bits, tdi 0x00, tdo 0x09\n"), std::string::npos) << run.out;
    // QREPEAT 1, mask f, QSDRTDO expecting 5: the first compared scan reads
    // the opposite bits, twice.
    writeFile(work / "dr.qsvf", bytesFromHex("07 01 08 00 00 00 04 01 0F 09 00 05 00"));
    run = runPlay({"--fail-at", "1", (work / "dr.qsvf").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(": stopped: 4 records, 1 scans, 8 bits shifted, 8 TDO bits compared, 1 repeats"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.err, "qsvfplay: " + (work / "dr.qsvf").string() +
                           ": TDO comparison failed in QSDRTDO at byte 9, scan 1 (4 bits), in 2 tries; as read in "
                           "the first try, first at bit 0\n  READ 0xa\n  WANT 0x5\n  MASK 0xf\n  the SVF command: "
                           "qsvfcheck --at 9 FILE.svf... " +
                           (work / "dr.qsvf").string() + "\n");
    // A scan number beyond the stream's compared scans is refused before the play.
    for (const auto &[stream, failAt, has] : {std::tuple{"ir.qsvf", "1", "it has 0 compared scans"},
                                              std::tuple{"dr.qsvf", "2", "it has 1 compared scan"}}) {
        run = runPlay({"--fail-at", failAt, (work / stream).string()});
        EXPECT_EQ(run.status, 2) << stream;
        EXPECT_EQ(run.out, "") << stream;
        EXPECT_EQ(run.err, "qsvfplay: --fail-at " + std::string(failAt) + " is beyond the compared scans of " +
                               (work / stream).string() + ": " + has + "\n");
    }
    writeFile(work / "cut.qsvf", bytesFromHex("07 01 08 00 00"));
    run = runPlay({(work / "cut.qsvf").string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("byte 2: the stream ends inside this QSDRSIZE record"), std::string::npos) << run.err;
}

// A chain of IR lengths 5, 8 and 10 (from TDO).  "both": the 23-bit
// instruction scan 0x7fe03f (device 2 gets 0x01, the others all ones), a
// 34-bit data scan at byte 10, then 0x00bfff (device 3 gets 0x005) and a data
// scan at byte 21.  "reset": a 2-bit data scan at byte 5 straight after
// Test-Logic-Reset, where no device is in BYPASS.
TEST(Program, ChainInstructionsAndBypass) {
    WorkFolder work("player_chain");
    writeFile(work / "both.qsvf", bytesFromHex("02 17 7F E0 3F 08 00 00 00 22 03 00 00 00 00 00 "
                                               "02 17 00 BF FF 03 00 00 00 00 00 00"));
    writeFile(work / "reset.qsvf", bytesFromHex("08 00 00 00 02 03 00 00"));
    const struct {
        std::vector<std::string> options;
        const char *stream;
        int status;
        std::vector<std::string> shown;
    } cases[] = {
        {{"--chain", "5,8,10", "--trace"}, "both", 0,
         {"0 QSIR: move irexit1 -> idle (2 clocks)\n0 QSIR: instructions: device 1 BYPASS, device 2 0x01, device 3 "
          "BYPASS\n10 QSDR: move idle -> drshift",
          "16 QSIR: instructions: device 1 BYPASS, device 2 BYPASS, device 3 0x005\n", ": played to QCOMPLETE: 6"}},
        {{"--chain", "5,8,10", "--target", "2"}, "both", 1,
         {": stopped: device 3 not in BYPASS during the data scan at stream byte 21 (the stream is for device 2): 5 "
          "records, 4 scans"}},
        {{"--chain", "8,5,10"}, "both", 1,
         {": stopped: devices 1 and 2 not in BYPASS during the data scan at stream byte 10 (a data scan addresses "
          "one device): 3 records"}},
        {{"--chain", "3,2,4"}, "reset", 1,
         {"devices 1, 2 and 3 not in BYPASS during the data scan at stream byte 5 (a data scan addresses one device)"}},
        {{"--chain", "23"}, "both", 0, {": played to QCOMPLETE"}},
        {{"--chain", "4"}, "reset", 0, {": played to QCOMPLETE"}},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = c.options;
        args.push_back((work / (std::string(c.stream) + ".qsvf")).string());
        const PlayRun run = runPlay(args);
        EXPECT_EQ(run.status, c.status) << args[1] << " " << c.stream << "\n" << run.out << run.err;
        for (const std::string &text : c.shown) EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
        EXPECT_EQ(run.err, "");
    }
}

TEST(Program, ValueChangeDump) {
    WorkFolder work("player_vcd");
    writeFile(work / "s.qsvf", bytesFromHex("07 00 00"));
    const fs::path vcd = work / "s.vcd";
    ASSERT_EQ(runPlay({"--vcd", vcd.string(), (work / "s.qsvf").string()}).status, 0);
    std::string clocks = "1\"\n#500000\n1!\n";
    for (const char *i : {"1", "2", "3", "4"})
        clocks += std::string("#") + i + "000000\n0!\n#" + i + "500000\n1!\n";
    EXPECT_EQ(readFile(vcd), "$version qsvfplay (QSVF tools) " QSVF_TOOLS_VERSION
                             " $end\n$timescale 1 ps $end\n$scope module jtag $end\n"
                             "$var wire 1 ! tck $end\n$var wire 1 \" tms $end\n$var wire 1 # tdi $end\n"
                             "$var wire 1 $ tdo $end\n$var wire 1 % trst $end\n$upscope $end\n$enddefinitions $end\n"
                             "#0\n$dumpvars\n0!\n0\"\n0#\n0$\n1%\n$end\n" +
                                 clocks + "#5000000\n");
    // A new dump gets 0666 less the umask, as every output does.
    const mode_t umask = ::umask(027);
    const int status = runPlay({"--vcd", (work / "masked.vcd").string(), (work / "s.qsvf").string()}).status;
    ::umask(umask);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(fs::status(work / "masked.vcd").permissions(), fs::perms(0640));
    // A dump that cannot be written is an error and leaves nothing behind.
    EXPECT_EQ(runPlay({"--vcd", (work / "no" / "s.vcd").string(), (work / "s.qsvf").string()}).status, 2);
    EXPECT_FALSE(fs::exists(work / "no"));
}

// One connection: every byte kept until 'Q' or the end; the Nth 'R' is
// answered with the Nth character of `answers`, and with '1' beyond them.
std::string serve(int listening, const std::string &answers) {
    const int s = ::accept(listening, nullptr, nullptr);
    std::string got;
    size_t reads = 0;
    char c;
    while (s >= 0 && ::recv(s, &c, 1, 0) == 1) {
        got += c;
        if (c == 'R' && ::send(s, reads < answers.size() ? &answers[reads++] : "1", 1, 0) != 1) break;
        if (c == 'Q') break;
    }
    if (s >= 0) ::close(s);
    return got;
}

PlayRun playRemote(const std::string &where, int listening, const fs::path &stream, std::string &sent,
                   const std::string &answers = "") {
    std::thread server([&] { sent = serve(listening, answers); });
    const PlayRun run = runPlay({"--remote-bitbang", where, stream.string()});
    server.join();
    return run;
}

TEST(Program, RemoteBitbangClient) {
    WorkFolder work("player_remote");
    const int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(tcp, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(tcp, 4), 0);
    ASSERT_EQ(::getsockname(tcp, reinterpret_cast<sockaddr *>(&address), &length), 0);
    const std::string where = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    // QSIR of 2 bits, value 1: TRST released, five clocks of TMS high, the
    // walk to Shift-IR, the two bits with a TDO read before each rising
    // edge, the walk to PlayRun-Test/Idle, the end.
    writeFile(work / "ir.qsvf", bytesFromHex("02 02 01 00"));
    std::string sent;
    EXPECT_EQ(playRemote(where, tcp, work / "ir.qsvf", sent).status, 0);
    EXPECT_EQ(sent, "r2626262626" "0426260404" "1R5" "2R6" "2604" "Q");
    // The server reads 1 on TDO: a scan expecting f passes, one expecting 0 fails.
    writeFile(work / "ones.qsvf", bytesFromHex("08 00 00 00 04 01 0F 09 00 0F 00"));
    writeFile(work / "zeros.qsvf", bytesFromHex("08 00 00 00 04 01 0F 09 00 00 00"));
    EXPECT_EQ(playRemote(where, tcp, work / "ones.qsvf", sent).status, 0);
    EXPECT_EQ(playRemote(where, tcp, work / "zeros.qsvf", sent).status, 1);
    // A device whose answer changes from try to try: with QREPEAT 2 the three
    // tries of a scan expecting 5 read 1, d and 7 (bit 0 sent first).  The
    // report shows the first try's read and its first differing bit.
    writeFile(work / "tries.qsvf", bytesFromHex("07 02 08 00 00 00 04 01 0F 09 00 05 00"));
    const PlayRun tries = playRemote(where, tcp, work / "tries.qsvf", sent, "1000" "1011" "1110");
    EXPECT_EQ(tries.status, 1);
    EXPECT_EQ(tries.err, "qsvfplay: " + (work / "tries.qsvf").string() +
                             ": TDO comparison failed in QSDRTDO at byte 9, scan 1 (4 bits), in 3 tries; as read in "
                             "the first try, first at bit 2\n  READ 0x1\n  WANT 0x5\n  MASK 0xf\n  the SVF command: "
                             "qsvfcheck --at 9 FILE.svf... " +
                             (work / "tries.qsvf").string() + "\n");
    ::close(tcp);

    const int local = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un path{};
    path.sun_family = AF_UNIX;
    const std::string name = (work / "bitbang.sock").string();
    ASSERT_LT(name.size(), sizeof path.sun_path);
    std::copy(name.begin(), name.end(), path.sun_path);
    ASSERT_EQ(::bind(local, reinterpret_cast<sockaddr *>(&path), sizeof path), 0);
    ASSERT_EQ(::listen(local, 1), 0);
    EXPECT_EQ(playRemote(name, local, work / "ones.qsvf", sent).status, 0);
    EXPECT_EQ(sent.back(), 'Q');
    ::close(local);
    // Nobody listening: status 2.
    EXPECT_EQ(runPlay({"--remote-bitbang", name, (work / "ones.qsvf").string()}).status, 2);
}

// The buffer a stream needs, as qsvfcheck's model and qsvfplay's walk of
// the records both count it, is what the library takes: the stream plays
// with exactly that many bytes and stops, before any pin moves of the
// record, with one byte less.  For the examples and the corpus files in
// modes that change the longest record.
TEST(Program, PlaysInTheBufferTheSummarySays) {
    WorkFolder work("player_buffer");
    std::vector<fs::path> files = {fs::path(PLAYER_EXAMPLES_DIR) / "blink.svf",
                                   fs::path(PLAYER_EXAMPLES_DIR) / "fpga_load.svf"};
    for (const fs::path &file : qsvftest::corpusFiles()) files.push_back(file);
    const auto number = [](const std::string &text, const std::string &before) -> uint64_t {
        const size_t at = text.find(before);
        return at == std::string::npos ? 0 : std::stoull(text.substr(at + before.size()));
    };
    for (const fs::path &svf : files)
        for (const std::string options : {"", "-fpga -rlen 64", "-extensions -qwait"}) {
            const std::string what = svf.filename().string() + " " + options;
            const fs::path stream = work / "stream.qsvf";
            std::vector<std::string> args = {CHECKER_SVF2QSVF, "-w"};
            for (const std::string &option : words(options)) args.push_back(option);
            args.insert(args.end(), {"-i", svf.string(), "-o", stream.string()});
            ASSERT_EQ(runProgram(args), 0) << what;
            const CheckRun check = runCheck({svf.string(), stream.string()});
            ASSERT_EQ(check.status, 0) << what << check.out;
            const uint64_t need = number(check.out, "needs a player buffer of ");
            ASSERT_GT(need, 0u) << what << check.out;
            PlayRun run = runPlay({stream.string()});
            EXPECT_EQ(number(run.out, "needs a player buffer of "), need) << what << run.out;
            run = runPlay({"--buffer", std::to_string(need), stream.string()});
            EXPECT_EQ(run.status, 0) << what << run.err;
            run = runPlay({"--buffer", std::to_string(need - 1), stream.string()});
            EXPECT_EQ(run.status, 2) << what;
            EXPECT_NE(run.err.find("record too long for the player's buffer of " + std::to_string(need - 1) +
                                   " bytes (the stream needs " + std::to_string(need) + ")"),
                      std::string::npos)
                << what << run.err;
        }
}

}  // namespace
