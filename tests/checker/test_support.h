// Helpers of the qsvfcheck suite: work folders, running the other programs
// of the tool set as child processes, and running qsvfcheck in-process.
#ifndef QSVFCHECK_TEST_SUPPORT_H
#define QSVFCHECK_TEST_SUPPORT_H

#include <filesystem>
#include <string>
#include <vector>

// A fresh folder for one test, removed at the end unless a check failed in
// it (then its files stay for a look, and the folder is named in the log).
class WorkFolder {
public:
    explicit WorkFolder(const std::string &name);
    ~WorkFolder();
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;
    std::filesystem::path operator/(const std::string &file) const { return m_path / file; }
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Runs a program with the given arguments (no shell), its console output
// discarded; returns its exit status, or -1 when it did not exit normally.
int runProgram(const std::vector<std::string> &args);

// Splits "-fpga -rlen 64" into its words.
std::vector<std::string> words(const std::string &text);

std::string readFile(const std::filesystem::path &path);
void writeFile(const std::filesystem::path &path, const std::string &bytes);
// Bytes from hexadecimal pairs; blanks, line ends and "#" comments are free.
std::string bytesFromHex(const std::string &hex);

struct CheckRun {
    int status = -1;
    std::string out, err;
};
// qsvfcheck in-process with these arguments (the program name is added).
CheckRun runCheck(const std::vector<std::string> &args);

#endif  // QSVFCHECK_TEST_SUPPORT_H
