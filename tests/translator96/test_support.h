// Helpers of the svf2qsvf96 tests: whole runs on a text in a temporary
// folder, and a small reader of the records a run writes.
#ifndef SVF96_TEST_SUPPORT_H
#define SVF96_TEST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace svf96test {

struct RunResult {
    int status = -1;
    std::vector<uint8_t> output;  // the QSVF file (empty when none was written)
    bool outputExists = false;
};

// Runs svf2qsvf96 in-process with the options, then the input and output
// names of files in a fresh temporary folder holding `svf` as input.
RunResult translateText(const std::string &svf, const std::vector<std::string> &options = {});
RunResult translateFile(const std::filesystem::path &input, const std::vector<std::string> &options = {});

// Bytes from hex pairs (blanks allowed).
std::vector<uint8_t> bytesOf(const std::string &hex);

}  // namespace svf96test

#endif  // SVF96_TEST_SUPPORT_H
