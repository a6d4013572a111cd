// Helpers of the svf2qsvf96 tests (see test_support.h).

#include "test_support.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "svf2qsvf96.h"

namespace fs = std::filesystem;

namespace svf96test {

namespace {

fs::path freshFolder() {
    static int counter = 0;
    const fs::path folder =
        fs::temp_directory_path() / ("svf96_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

RunResult run(const fs::path &input, const fs::path &output, const std::vector<std::string> &options) {
    std::vector<std::string> args = {"svf2qsvf96"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(input.string());
    args.push_back(output.string());
    std::vector<char *> argv;
    for (auto &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    RunResult result;
    result.status = runSvf2qsvf96(static_cast<int>(args.size()), argv.data());
    result.outputExists = fs::exists(output);
    if (result.outputExists) {
        std::ifstream in(output, std::ios::binary);
        result.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return result;
}

}  // namespace

RunResult translateText(const std::string &svf, const std::vector<std::string> &options) {
    const fs::path folder = freshFolder();
    {
        std::ofstream out(folder / "in.svf", std::ios::binary);
        out << svf;
    }
    RunResult result = run(folder / "in.svf", folder / "out.qsvf", options);
    fs::remove_all(folder);
    return result;
}

RunResult translateFile(const fs::path &input, const std::vector<std::string> &options) {
    const fs::path folder = freshFolder();
    RunResult result = run(input, folder / "out.qsvf", options);
    fs::remove_all(folder);
    return result;
}

std::vector<uint8_t> bytesOf(const std::string &hex) {
    std::vector<uint8_t> bytes;
    std::string digits;
    for (char c : hex)
        if (c != ' ' && c != '\n') digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

}  // namespace svf96test
