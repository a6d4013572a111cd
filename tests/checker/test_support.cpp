// Helpers of the qsvfcheck suite (see test_support.h).
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
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

int runProgram(const std::vector<std::string> &args) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::vector<char *> argv;
        for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
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
