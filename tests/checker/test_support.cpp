// Helpers of the qsvfcheck suite (see test_support.h).
#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "qsvfcheck.h"

namespace fs = std::filesystem;

WorkFolder::WorkFolder(const std::string &name)
    : m_path(fs::temp_directory_path() / ("qsvfcheck_test_" + std::to_string(getpid()) + "_" + name)) {
    fs::remove_all(m_path);
    fs::create_directories(m_path);
}

WorkFolder::~WorkFolder() {
    if (::testing::Test::HasFailure())
        std::cerr << "files of the failed checks kept in " << m_path << "\n";
    else
        fs::remove_all(m_path);
}

// posix_spawn rather than fork: a sanitized test process has a large
// address space, which fork would copy the page tables of for every child.
int runProgram(const std::vector<std::string> &args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    // The programs run here are the fixtures of a check, not what it tests:
    // in a sanitized build they skip the leak search at exit (their own
    // suites make it), which halves their start-up and exit time.
    std::vector<std::string> environment;
    bool sanitizerOptions = false;
    for (char **entry = environ; *entry; ++entry) {
        environment.emplace_back(*entry);
        if (environment.back().rfind("ASAN_OPTIONS=", 0) == 0) {
            environment.back() += ":detect_leaks=0";
            sanitizerOptions = true;
        }
    }
    if (!sanitizerOptions) environment.emplace_back("ASAN_OPTIONS=detect_leaks=0");
    std::vector<char *> envp;
    for (std::string &entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (error != 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> words(const std::string &text) {
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;) result.push_back(word);
    return result;
}

std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string bytesFromHex(const std::string &hex) {
    std::string bytes, pair;
    bool comment = false;
    for (char c : hex) {
        if (c == '#') comment = true;
        if (c == '\n') comment = false;
        if (comment || !std::isxdigit(static_cast<unsigned char>(c))) continue;
        pair += c;
        if (pair.size() == 2) {
            bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
            pair.clear();
        }
    }
    return bytes;
}

CheckRun runCheck(const std::vector<std::string> &args) {
    std::vector<const char *> argv = {"qsvfcheck"};
    for (const std::string &arg : args) argv.push_back(arg.c_str());
    std::ostringstream out, err;
    CheckRun run;
    run.status = runQsvfcheck(static_cast<int>(argv.size()), argv.data(), out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}
