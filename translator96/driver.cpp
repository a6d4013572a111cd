// Driver of svf2qsvf96: the command line, the banner and usage text, the
// opening of the two files, the run of the translation, and the one exit
// path of the program.

#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "qsvf_output_file.h"
#include "qsvf_tool_switches.h"
#include "session.h"
#include "svf2qsvf96.h"
#include "translation.h"

namespace svf96 {

void exitProgram(int status) { throw ExitRequest{status}; }

void syntaxError(long statementCount) {
    std::fprintf(stderr, "ERROR: Error at or near line %ld in svf file\n", statementCount - 1);
    exitProgram(1);
}

void syntaxError(const Session &session) { syntaxError(session.reader.statementCount()); }

void unsupportedStatement(const Session &session, std::string_view word) {
    std::fprintf(stderr, "%.*s is not supported.\n", static_cast<int>(word.size()), word.data());
    syntaxError(session);
}

namespace {

constexpr int kMinRecordLength = 128;
constexpr int kMaxRecordLength = 1024;
constexpr int kMaxRepeatValue = 255;

void printUsage() {
    std::fputs("Usage: svf2qsvf [-nc] [-r number] [-rlen number] -fpga  filename1 filename2\n\n"
               "filename1: svf  input file\n"
               "filename2: qsvf output file\n"
               "Options:\n"
               "\t-nc           No compression.  Don't use the QSETSDRMASKS\n"
               "\t              and QSDRINC instructions.\n"
               "\t-r number     Set the QREPEAT value to number\n"
               "\t-rlen number  Set the  record length\n"
               "\t-fpga         To indicate that it is a fpga svf file.\n",
               stdout);
}

[[noreturn]] void showUsage() {
    printUsage();
    exitProgram(1);
}

struct CommandLine {
    Options options;
    std::string inputName, outputName;
};

CommandLine readCommandLine(int argc, char **argv) {
    CommandLine line;
    if (argc >= 2 && std::strcmp(argv[1], "-v") == 0) {
        std::fputs("svf2qsvf: Morvane svf to qsvf translation tool\nDated:10/28/96\n", stdout);
        exitProgram(1);
    }
    int pos = 1;
    while (argc - pos >= 2 && argv[pos][0] == '-') {
        const std::string option = argv[pos];
        if (option == "-nc") {
            line.options.compressionEnabled = false;
            pos += 1;
        } else if (option == "-fpga") {
            line.options.fpgaMode = true;
            pos += 1;
        } else if (option == "-tck") {
            // The board player's TCK in Hz (10000000, 10e6, 10MHz, 500kHz):
            // RUNTEST times in SEC become clocks at it.
            char *end = nullptr;
            double hz = std::strtod(argv[pos + 1], &end);
            std::string unit = end;
            for (char &ch : unit) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (unit.size() >= 2 && unit.compare(unit.size() - 2, 2, "hz") == 0) unit.resize(unit.size() - 2);
            hz *= unit == "k" ? 1e3 : unit == "m" ? 1e6 : 1;
            if (end == argv[pos + 1] || !(unit.empty() || unit == "k" || unit == "m") || !(hz >= 1) ||
                !std::isfinite(hz)) {
                std::fprintf(stderr, "Invalid -tck frequency %s (Hz, such as 10000000, 10e6 or 10MHz)\n", argv[pos + 1]);
                exitProgram(1);
            }
            line.options.tck = hz;
            pos += 2;
        } else if (option == "-r") {
            line.options.repeatValue = static_cast<int>(ReadDecimal(argv[pos + 1]));
            pos += 2;
        } else if (option == "-rlen") {
            long length = ReadDecimal(argv[pos + 1]);
            if (length > kMaxRecordLength) {
                std::fprintf(stderr, "Record length has to be less than%d\n", kMaxRecordLength);
                exitProgram(1);
            }
            if (length < kMinRecordLength) {
                std::fprintf(stderr, "Record length has to be greater than%d\n", kMinRecordLength);
                exitProgram(1);
            }
            if (length % 8 != 0) {
                length -= length % 8;
                std::fprintf(stdout, "Record length has to be a multiple of 8, using a rec_length of%ld\n", length);
            }
            line.options.recordLength = static_cast<int>(length);
            pos += 2;
        } else {
            showUsage();
        }
    }
    if (argc - pos < 2) showUsage();
    // The repeat count goes into one byte; a value that does not fit would
    // silently become another count.
    if (line.options.repeatValue < 0 || line.options.repeatValue > kMaxRepeatValue) {
        std::fprintf(stderr, "Repeat value has to be between 0 and %d\n", kMaxRepeatValue);
        exitProgram(1);
    }
    line.inputName = argv[pos];
    line.outputName = argv[pos + 1];
    return line;
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

bool isDirectory(const std::string &name) {
    struct stat info {};
    return ::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Truncating an output that is the input itself would destroy the input.
bool namesInput(const std::string &input, const std::string &output) {
    std::error_code error;
    return std::filesystem::equivalent(input, output, error) && !error;
}

int runProgram(int argc, char **argv) {
    const CommandLine line = readCommandLine(argc, argv);
    std::fprintf(stdout, "%s %s\n", line.inputName.c_str(), line.outputName.c_str());
    FileHandle input(isDirectory(line.inputName) ? nullptr : std::fopen(line.inputName.c_str(), "r"));
    if (!input) {
        std::fprintf(stderr, "ERROR: Unable to open input file %s.\n", line.inputName.c_str());
        exitProgram(1);
    }
    // The stream is written under a temporary name and renamed over the
    // output only when the translation succeeds; any other end leaves the
    // output as it was.
    qsvf::OutputFile output;
    if (namesInput(line.inputName, line.outputName) || !output.open(line.outputName)) {
        std::fprintf(stderr, "ERROR: Unable to write to output file %s.\n", line.outputName.c_str());
        exitProgram(1);
    }
    Session session(line.options, input.get(), output.stream(), line.outputName);
    Translate(session);
    session.writer.Flush();
    if (!output.commit()) {
        std::fprintf(stderr, "ERROR: Unable to write to output file %s: %s.\n", line.outputName.c_str(),
                     output.reason().c_str());
        exitProgram(1);
    }
    return 0;
}

}  // namespace
}  // namespace svf96

int runSvf2qsvf96(int argc, char **argv) {
    if (qsvf::answerToolSwitch(argc, argv, "svf2qsvf96", svf96::printUsage)) return 0;
    int status;
    try {
        status = svf96::runProgram(argc, argv);
    } catch (const svf96::ExitRequest &request) {
        status = request.status;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    return status;
}
