// Every output of every program against the faults a user meets: a full
// device (/dev/full), a file-size limit (RLIMIT_FSIZE in the child, so the
// program's own handling of SIGXFSZ is part of the test), a folder the
// program may not write (made read-only; a child run as root gives up root
// first, since root writes anywhere), and an input cut short by another
// process while the program reads it.  The programs run as themselves in a
// fresh folder.  Each case checks the exit status, the message (written
// here from what each program says about a failed write), that an old file
// under the output's name is still there byte for byte, and that the folder
// holds nothing it did not hold before (no temporary file).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::string> kPrograms = {
#include "fault_programs.inc"
};

enum class Fault { FullDevice, SizeLimit, ReadOnlyFolder };
constexpr rlim_t kSizeLimit = 64;  // bytes: every tested output is larger, every other output smaller

// The 26-byte stream of an 8-bit SIR FE, an 8-bit SDR 01 with TDO 00 and
// MASK FF, and a RUNTEST of 100 clocks.
const std::string kStream("\x07\x20\x04\x00\x00\x00\x00\x02\x08\xFE\x04\x00\x00\x00\x64\x08\x00\x00\x00\x08\x01\xFF"
                          "\x09\x01\x00\x00",
                          26);
const std::string kSvf = "SIR 8 TDI (FE);\nSDR 8 TDI (01) TDO (00) MASK (FF);\nRUNTEST 100 TCK;\n";
// A scan long enough to pass the size limit, in svf2qsvf96's dialect too.
const std::string kLongSvf = "SDR 600 TDI (" + std::string(150, 'a') + ") SMASK (" + std::string(150, 'f') + ") ;\n";
const std::string kOldFile = "the output of an earlier run\n";

// One output of one program.  In args, {out} is the output under test,
// {in}, {long} and {q} the short and the long SVF input and the stream.  The
// messages hold {out} and {reason}; an empty openMessage means the output
// cannot be named in a folder (standard output).
struct OutputCase {
    const char *program;
    const char *kind;
    std::vector<std::string> args;
    int status;
    bool messageOnStderr;
    std::string writeMessage;
    std::string openMessage;
    bool replacedInPlace;  // renamed over its target, so an old file survives a failure
    bool toStdout = false;
};

const std::vector<OutputCase> kCases = {
    {"svf2qsvf", "stream", {"-w", "-i", "{long}", "-o", "{out}"}, 1, false,
     "\nError  : (svf2qsvf) cannot write [{out}]: {reason}", "\nError  : (svf2qsvf) cannot open [{out}]", true},
    {"svf2qsvf", "listing", {"-w", "-i", "{in}", "-o", "/dev/null", "-a", "{out}"}, 1, false,
     "\nError  : (svf2qsvf) cannot write [{out}]: {reason}", "\nError  : (svf2qsvf) cannot open [{out}]", true},
    {"svf2qsvf", "log", {"-w", "-i", "{in}", "-o", "/dev/null", "-l", "{out}"}, 1, false,
     "\nError  : (svf2qsvf) cannot write [{out}]: {reason}", "\nError  : (svf2qsvf) cannot open [{out}]", false},
    {"svf2qsvf96", "stream", {"{long}", "{out}"}, 1, true, "ERROR: Unable to write to output file {out}: {reason}.\n",
     "ERROR: Unable to write to output file {out}.\n", true},
    {"MergeQSVF", "merged stream", {"-d", "-o", "{out}", "-i", "{q}", "-i", "{q}", "-i", "{q}"}, 1, false,
     "ERROR:  Cannot write output file ({out}): {reason}.\n", "ERROR:  Cannot open or overwrite output file ({out}).\n",
     true},
    {"qsvf2ascii", "listing", {"{q}", "{out}"}, 1, true, "ERROR: Unable to write to output file {out}: {reason}.\n",
     "ERROR: Unable to write to output file {out}.\n", true},
    {"qsvfcheck", "trace", {"-t", "{q}"}, 2, true, "qsvfcheck: standard output: cannot write: {reason}\n", "", false,
     true},
    {"qsvfcheck", "check result", {"{in}", "{q}"}, 2, true, "qsvfcheck: standard output: cannot write: {reason}\n", "",
     false, true},
};

std::string replaceAll(std::string text, const std::string &key, const std::string &value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::set<std::string> folderNames(const fs::path &folder) {
    std::set<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) names.insert(entry.path().string());
    return names;
}

std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return text;
}

struct Child {
    pid_t pid = -1;
    int outPipe = -1, errPipe = -1;
};

// Starts the program in `folder`.  Standard output goes to `stdoutFile`
// when given, else to a pipe; standard error to a pipe.
Child start(const std::string &program, const std::vector<std::string> &args, const fs::path &folder, Fault fault,
          const std::string &stdoutFile) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) ADD_FAILURE() << "no pipe";
    Child run;
    run.pid = fork();
    if (run.pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(125);
        int in = open("/dev/null", O_RDONLY);
        int target = stdoutFile.empty() ? out[1] : open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || target < 0) _exit(125);
        dup2(in, 0);
        dup2(target, 1);
        dup2(err[1], 2);
        if (fault == Fault::SizeLimit) {
            const rlimit limit{kSizeLimit, kSizeLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
        }
        // A read-only folder does not stop root: the child runs as nobody.
        if (fault == Fault::ReadOnlyFolder && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(125);
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(126);
    }
    close(out[1]);
    close(err[1]);
    run.outPipe = out[0];
    run.errPipe = err[0];
    return run;
}

// Waits for the end; the status, or 128 + the signal that ended it.
int finish(Child &run, std::string &out, std::string &err) {
    out = drain(run.outPipe);
    err = drain(run.errPipe);
    int status = 0;
    waitpid(run.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class OutputFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(::testing::TempDir()) / ("output_faults_" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        writeFile(folder / "in.svf", kSvf);
        writeFile(folder / "long.svf", kLongSvf);
        writeFile(folder / "in.qsvf", kStream);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder / "ro", fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder);
    }
    std::vector<std::string> arguments(const std::vector<std::string> &pattern, const std::string &output) {
        std::vector<std::string> args;
        for (const std::string &arg : pattern)
            args.push_back(replaceAll(replaceAll(replaceAll(replaceAll(arg, "{out}", output), "{long}", "long.svf"),
                                                 "{in}", "in.svf"),
                                      "{q}", "in.qsvf"));
        return args;
    }
    fs::path folder;
};

TEST_F(OutputFaultTest, EveryOutputOfEveryProgramReportsItsFailureAndKeepsTheOldFile) {
    const std::pair<Fault, const char *> faults[] = {
        {Fault::FullDevice, "full device"}, {Fault::SizeLimit, "file-size limit"}, {Fault::ReadOnlyFolder, "read-only folder"}};
    for (const OutputCase &c : kCases) {
        if (!kPrograms.count(c.program)) continue;
        for (const auto &[fault, faultName] : faults) {
            if (fault == Fault::ReadOnlyFolder && c.openMessage.empty()) continue;
            SCOPED_TRACE(std::string(c.program) + " " + c.kind + ", " + faultName);
            // The output under test, and what stands under its name before.
            std::string output = fault == Fault::FullDevice ? "/dev/full" : "out";
            if (fault == Fault::ReadOnlyFolder) {
                fs::create_directories(folder / "ro");
                output = "ro/out";
            }
            if (fault != Fault::FullDevice) writeFile(folder / output, kOldFile);
            if (fault == Fault::ReadOnlyFolder) fs::permissions(folder / "ro", fs::perms(0555));
            const std::set<std::string> before = folderNames(folder);

            Child run = start(kPrograms.at(c.program), arguments(c.args, output), folder, fault,
                            c.toStdout ? (fault == Fault::FullDevice ? "/dev/full" : (folder / output).string()) : "");
            std::string out, err;
            const int status = finish(run, out, err);

            const char *reason = fault == Fault::FullDevice ? "No space left on device" : "File too large";
            const std::string expected = replaceAll(
                replaceAll(fault == Fault::ReadOnlyFolder ? c.openMessage : c.writeMessage, "{out}",
                           c.toStdout ? "" : output),
                "{reason}", reason);
            EXPECT_EQ(status, c.status) << "stdout:\n" << out << "\nstderr:\n" << err;
            const std::string &console = c.messageOnStderr ? err : out;
            EXPECT_NE(console.find(expected), std::string::npos) << "expected:\n" << expected << "\ngot:\n" << console;
            if (fault != Fault::FullDevice && (c.replacedInPlace || fault == Fault::ReadOnlyFolder)) {
                EXPECT_EQ(readFile(folder / output), kOldFile);
            }
            EXPECT_EQ(folderNames(folder), before);
            if (fault == Fault::ReadOnlyFolder) fs::permissions(folder / "ro", fs::perms::owner_all, fs::perm_options::add);
            fs::remove_all(folder / "ro");
            fs::remove(folder / "out");
        }
    }
}

// The inputs read through mapped windows, cut short while the program is
// inside them: the program is stopped as soon as a window of the input is
// mapped, the file is cut to a few bytes, and the program goes on.
TEST_F(OutputFaultTest, InputCutShortDuringTheReadIsReportedNotASignal) {
    constexpr size_t kDigits = size_t{40} << 20;
    std::string big = "SDR " + std::to_string(kDigits * 4) + " TDI (";
    big.append(kDigits, '5');
    big += ");\n";
    writeFile(folder / "big.svf", big);
    constexpr uint32_t kBits = uint32_t{24} << 23;  // 24 MiB of vector
    std::string stream("\x07\x00\x08", 3);
    for (int shift = 24; shift >= 0; shift -= 8) stream += static_cast<char>((kBits >> shift) & 0xFF);
    stream += '\x03';
    stream.append(kBits / 8, '\x5a');
    stream += '\x00';
    writeFile(folder / "big.qsvf", stream);
    struct ReadCase {
        const char *program;
        const char *input;
        std::vector<std::string> args;
        int status;
        bool messageOnStderr;
        std::string message;
        const char *stdoutFile;  // the trace is not read back
    };
    const ReadCase cases[] = {
        {"svf2qsvf", "big.svf", {"-w", "-i", "big.svf", "-o", "out"}, 1, false,
         "\nError  : (svf2qsvf) input changed while reading [big.svf]", ""},
        {"qsvfcheck", "big.qsvf", {"-t", "big.qsvf"}, 2, true, "qsvfcheck: big.qsvf: input changed while reading\n",
         "/dev/null"},
    };
    for (const ReadCase &c : cases) {
        if (!kPrograms.count(c.program)) continue;
        SCOPED_TRACE(c.program);
        writeFile(folder / "out", kOldFile);
        const std::set<std::string> before = folderNames(folder);
        const fs::path input = fs::canonical(folder / c.input);
        const std::string original = readFile(input);
        Child run = start(kPrograms.at(c.program), c.args, folder, Fault::FullDevice, c.stdoutFile);
        bool stopped = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!stopped && std::chrono::steady_clock::now() < deadline) {
            // Ended (looked at without reaping it)?  Its maps can read empty
            // for a moment while it is still being started.
            siginfo_t ended{};
            if (waitid(P_PID, static_cast<id_t>(run.pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                ended.si_pid == run.pid)
                break;
            const std::string maps = readFile("/proc/" + std::to_string(run.pid) + "/maps");
            if (maps.find(input.string()) != std::string::npos) {
                kill(run.pid, SIGSTOP);
                int state = 0;
                waitpid(run.pid, &state, WUNTRACED);
                ASSERT_EQ(truncate(input.c_str(), 64), 0);
                kill(run.pid, SIGCONT);
                stopped = true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        std::string out, err;
        const int status = finish(run, out, err);
        EXPECT_TRUE(stopped) << "the program ended before a window of its input was seen";
        EXPECT_EQ(status, c.status) << "stdout:\n" << out << "\nstderr:\n" << err;
        const std::string &console = c.messageOnStderr ? err : out;
        EXPECT_NE(console.find(c.message), std::string::npos) << "expected:\n" << c.message << "\ngot:\n" << console;
        EXPECT_EQ(readFile(folder / "out"), kOldFile);
        EXPECT_EQ(folderNames(folder), before);
        writeFile(input, original);
    }
}

}  // namespace

namespace {

// The other side: a run that completes replaces the old file with a new one
// of the same permission bits, and leaves nothing else in the folder; a
// name of standard output is written through, not replaced.
TEST_F(OutputFaultTest, ACompleteRunReplacesTheFileKeepingItsModeAndWritesDescriptorsDirectly) {
    for (const OutputCase &c : kCases) {
        if (!kPrograms.count(c.program) || !c.replacedInPlace) continue;
        SCOPED_TRACE(std::string(c.program) + " " + c.kind);
        writeFile(folder / "out", kOldFile);
        fs::permissions(folder / "out", fs::perms(0640));
        const std::set<std::string> before = folderNames(folder);
        Child run = start(kPrograms.at(c.program), arguments(c.args, "out"), folder, Fault::FullDevice, "");
        std::string out, err;
        EXPECT_EQ(finish(run, out, err), 0) << "stdout:\n" << out << "\nstderr:\n" << err;
        const std::string written = readFile(folder / "out");
        EXPECT_TRUE(!written.empty() && written != kOldFile);
        EXPECT_EQ(fs::status(folder / "out").permissions(), fs::perms(0640));
        EXPECT_EQ(folderNames(folder), before);
    }
    if (!kPrograms.count("svf2qsvf")) return;
    // Standard output is a regular file here, and it must stay the same
    // file (a rename would put another in its place).
    const fs::path captured = folder / "stdout.qsvf";
    writeFile(captured, "");
    struct stat made {};
    stat(captured.c_str(), &made);
    const std::set<std::string> before = folderNames(folder);
    Child run = start(kPrograms.at("svf2qsvf"), {"-w", "-i", "in.svf", "-o", "/dev/stdout"}, folder, Fault::FullDevice,
                      captured.string());
    std::string out, err;
    EXPECT_EQ(finish(run, out, err), 0) << err;
    EXPECT_EQ(readFile(captured), kStream);
    struct stat after {};
    stat(captured.c_str(), &after);
    EXPECT_EQ(after.st_ino, made.st_ino);
    EXPECT_EQ(folderNames(folder), before);
}

}  // namespace
