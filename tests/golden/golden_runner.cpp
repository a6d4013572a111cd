// Golden-case runner.  Every folder tests/golden/<program>/<case>/ is one
// whole-program case: its input files are copied into a fresh work folder,
// the program runs there with the case's arguments and standard input, and
// the exit status, the console text and the files it leaves are compared
// with what the case expects.  Adding a case means adding a folder; the
// layout of a case folder is described in README.md beside this file.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "svf_corpus.h"

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::string> &programTable() {
    static const std::map<std::string, std::string> table = {
#include "golden_programs.inc"
    };
    return table;
}

struct GoldenCase {
    std::string program;
    fs::path folder;
};

// Keeps the test listing readable: a case prints as its folder.
void PrintTo(const GoldenCase &c, std::ostream *os) { *os << c.program << "/" << c.folder.filename().string(); }

std::string caseName(const GoldenCase &c) {
    std::string name = c.program + "_" + c.folder.filename().string();
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

std::vector<GoldenCase> collectCases() {
    std::vector<GoldenCase> cases;
    const fs::path root = GOLDEN_CASES_DIR;
    for (const auto &[program, path] : programTable()) {
        const fs::path dir = root / program;
        if (!fs::is_directory(dir)) continue;
        for (const auto &entry : fs::directory_iterator(dir))
            if (entry.is_directory()) cases.push_back({program, entry.path()});
    }
    std::sort(cases.begin(), cases.end(), [](const GoldenCase &a, const GoldenCase &b) {
        return caseName(a) < caseName(b);
    });
    return cases;
}

std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string substitute(std::string text) {
    const std::pair<std::string, std::string> names[] = {
        {"{ROOT}", GOLDEN_SOURCE_ROOT}, {"{CORPUS}", qsvftest::corpusFolder().string()}};
    for (const auto &[key, value] : names) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
            text.replace(at, key.size(), value);
    }
    return text;
}

std::vector<std::string> splitLines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// One expected line against one actual line; "{{*}}" matches any run of
// characters within the line.
bool lineMatches(const std::string &pattern, const std::string &line) {
    static const std::string wildcard = "{{*}}";
    size_t first = pattern.find(wildcard);
    if (first == std::string::npos) return pattern == line;
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t at = first; at != std::string::npos; at = pattern.find(wildcard, start)) {
        pieces.push_back(pattern.substr(start, at - start));
        start = at + wildcard.size();
    }
    pieces.push_back(pattern.substr(start));
    if (line.compare(0, pieces.front().size(), pieces.front()) != 0) return false;
    size_t pos = pieces.front().size();
    for (size_t i = 1; i + 1 < pieces.size(); ++i) {
        size_t found = line.find(pieces[i], pos);
        if (found == std::string::npos) return false;
        pos = found + pieces[i].size();
    }
    const std::string &last = pieces.back();
    return line.size() >= pos + last.size() && line.compare(line.size() - last.size(), last.size(), last) == 0;
}

// Expected text against actual text, line by line; a line that is exactly
// "{{...}}" matches any number of actual lines.
bool textMatches(const std::vector<std::string> &expected, size_t e, const std::vector<std::string> &actual,
                 size_t a) {
    for (; e < expected.size(); ++e, ++a) {
        if (expected[e] == "{{...}}") {
            for (size_t skip = a; skip <= actual.size(); ++skip)
                if (textMatches(expected, e + 1, actual, skip)) return true;
            return false;
        }
        if (a >= actual.size() || !lineMatches(expected[e], actual[a])) return false;
    }
    return a == actual.size();
}

// Hex text: byte pairs separated by white space, "#" starts a comment.
std::string parseHex(const std::string &text) {
    std::string bytes, digits;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        for (char ch : line)
            if (std::isxdigit(static_cast<unsigned char>(ch))) digits += ch;
            else if (!std::isspace(static_cast<unsigned char>(ch)))
                ADD_FAILURE() << "bad character in hex text: " << ch;
    }
    if (digits.size() % 2) ADD_FAILURE() << "odd number of hex digits";
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return bytes;
}

std::string hexDump(const std::string &bytes, size_t from, size_t count) {
    std::string out;
    char buffer[4];
    for (size_t i = from; i < bytes.size() && i < from + count; ++i) {
        std::snprintf(buffer, sizeof buffer, "%02X ", static_cast<unsigned char>(bytes[i]));
        out += buffer;
    }
    return out;
}

void expectBytes(const std::string &what, const std::string &expected, const std::string &actual) {
    if (expected == actual) return;
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    size_t from = at > 8 ? at - 8 : 0;
    ADD_FAILURE() << what << ": " << actual.size() << " bytes, expected " << expected.size()
                  << "; first difference at byte " << at << "\n  expected from byte " << from << ": "
                  << hexDump(expected, from, 32) << "\n  actual   from byte " << from << ": "
                  << hexDump(actual, from, 32);
}

void expectText(const std::string &what, const std::string &expected, const std::string &actual) {
    if (textMatches(splitLines(expected), 0, splitLines(actual), 0)) return;
    ADD_FAILURE() << what << " differs\n--- expected ---\n" << expected << "\n--- actual ---\n" << actual;
}

struct RunResult {
    int status = -1;
    std::string out, err;
};

RunResult runProgram(const std::string &program, const std::vector<std::string> &args, const fs::path &work,
                     const fs::path &stdinFile) {
    const fs::path outFile = work / ".stdout", errFile = work / ".stderr";
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(work.c_str()) != 0) _exit(125);
        int in = open(stdinFile.empty() ? "/dev/null" : stdinFile.c_str(), O_RDONLY);
        int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(125);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const auto &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(126);
    }
    RunResult result;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "program did not end within 120 seconds";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.status = 128 + WTERMSIG(status);
    result.out = readFile(outFile);
    result.err = readFile(errFile);
    fs::remove(outFile);
    fs::remove(errFile);
    return result;
}

// The files of a case folder that describe the case rather than being input.
bool isCaseDescription(const std::string &name) {
    return name == "args" || name == "stdin" || name == "status" || name == "expect" || name == "links" ||
           name == "README";
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, Case) {
    const GoldenCase &c = GetParam();
    // A case that reads the corpus skips without it.
    if (fs::exists(c.folder / "args") && readFile(c.folder / "args").find("{CORPUS}") != std::string::npos) {
        QSVF_SKIP_WITHOUT_CORPUS();
    }
    const fs::path work = fs::temp_directory_path() / ("golden_" + caseName(c) + "_" + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    for (const auto &entry : fs::directory_iterator(c.folder)) {
        const std::string name = entry.path().filename().string();
        if (!isCaseDescription(name))
            fs::copy(entry.path(), work / name, fs::copy_options::recursive);
    }
    // "links": lines "symlink <target> <name>" or "hardlink <target> <name>".
    if (fs::exists(c.folder / "links")) {
        std::istringstream in(readFile(c.folder / "links"));
        std::string kind, target, name;
        while (in >> kind >> target >> name) {
            if (kind == "symlink") fs::create_symlink(target, work / name);
            else if (kind == "hardlink") fs::create_hard_link(work / target, work / name);
            else ADD_FAILURE() << "unknown link kind " << kind;
        }
    }
    std::vector<std::string> args;
    if (fs::exists(c.folder / "args")) {
        std::istringstream in(substitute(readFile(c.folder / "args")));
        std::string line;
        while (std::getline(in, line))
            if (!line.empty()) args.push_back(line);
    }
    int expectedStatus = 0;
    if (fs::exists(c.folder / "status")) expectedStatus = std::stoi(readFile(c.folder / "status"));

    const fs::path stdinFile = fs::exists(c.folder / "stdin") ? c.folder / "stdin" : fs::path();
    RunResult result = runProgram(programTable().at(c.program), args, work, stdinFile);

    EXPECT_EQ(result.status, expectedStatus) << "stdout:\n" << result.out << "\nstderr:\n" << result.err;
    // Whatever the end of the run, no temporary output file is left behind.
    for (const auto &entry : fs::directory_iterator(work))
        if (entry.path().filename().string()[0] == '.') ADD_FAILURE() << entry.path().filename() << " was left behind";
    const fs::path expect = c.folder / "expect";
    if (fs::is_directory(expect)) {
        for (const auto &entry : fs::directory_iterator(expect)) {
            const std::string name = entry.path().filename().string();
            const std::string wanted = readFile(entry.path());
            if (name == "stdout") expectText("standard output", substitute(wanted), result.out);
            else if (name == "stderr") expectText("standard error", substitute(wanted), result.err);
            else if (entry.path().extension() == ".absent")
                EXPECT_FALSE(fs::exists(work / entry.path().stem())) << entry.path().stem() << " should not exist";
            else if (entry.path().extension() == ".hex") {
                const fs::path produced = work / entry.path().stem();
                if (!fs::exists(produced)) ADD_FAILURE() << produced.filename() << " was not written";
                else expectBytes(produced.filename().string(), parseHex(wanted), readFile(produced));
            } else {
                const fs::path produced = work / name;
                if (!fs::exists(produced)) ADD_FAILURE() << name << " was not written";
                else expectText(name, substitute(wanted), readFile(produced));
            }
        }
    }
    if (!HasFailure()) fs::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(collectCases()),
                         [](const ::testing::TestParamInfo<GoldenCase> &info) { return caseName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Golden);

}  // namespace
