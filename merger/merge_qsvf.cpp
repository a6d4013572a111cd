// MergeQSVF: command line, input and output checks, and the copy of each
// input with the separator records between them.  Every end of a run goes
// through endMerge, which runMergeQSVF turns into the exit status.
#include "merge_qsvf.h"

#include "qsvf_format.h"
#include "qsvf_tool_switches.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdarg>
#include <filesystem>
#include <memory>

namespace {

constexpr double kVersion = 1.00;

// Bytes moved per read while copying an input.
constexpr size_t kCopyBlock = 1 << 20;

// Set by every ERROR and ABORT line of the run; reset at the start of each
// in-process run.
bool g_iFailurePrinted = false;

// The one way out of a run: thrown by endMerge, caught by runMergeQSVF.
struct MergeExit {
    int status;
};

[[noreturn]] void endMerge(int status) { throw MergeExit{status}; }

void say(const char *format, ...) __attribute__((format(printf, 1, 2)));
void say(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

// Prints an ERROR or ABORT line and remembers that the run failed.
void sayFailure(const char *format, ...) __attribute__((format(printf, 1, 2)));
void sayFailure(const char *format, ...) {
    g_iFailurePrinted = true;
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

bool sameOption(const char *arg, const char *option) {
    for (; *arg && *option; ++arg, ++option)
        if (std::tolower(static_cast<unsigned char>(*arg)) != *option) return false;
    return *arg == *option;
}

// The output is refused when it is one of the inputs: opening it for
// writing would truncate that input before it is read.
bool outputIsAnInput(const CMQMergeInfo &info) {
    namespace fs = std::filesystem;
    for (int i = 0; i < info.GetInputFileNameCount(); ++i) {
        std::error_code error;
        if (fs::equivalent(info.GetOutputFileName(), info.GetInputFileName(i), error)) return true;
    }
    return false;
}

// A write to the output failed: the merge stops there, the output is
// dropped and its file left as it was.
[[noreturn]] void outputWriteFailed(CMQFile &output, const char *name, int error) {
    output.Close();
    sayFailure("ERROR:  Cannot write output file (%s): %s.\n", name, std::strerror(error != 0 ? error : EIO));
    endMerge(1);
}

}  // namespace

// ---- CMQFile -------------------------------------------------------------

FILE *CMQFile::Open(const char *name, const char *mode) {
    Close();
    if (name && mode) {
        m_sName = name;
        m_pFile = std::fopen(name, mode);
    }
    return m_pFile;
}

FILE *CMQFile::OpenOutput(const char *name) {
    Close();
    m_sName = name;
    if (m_output.open(name)) m_pFile = m_output.stream();
    return m_pFile;
}

bool CMQFile::Commit(std::string &reason) {
    m_pFile = nullptr;
    if (m_output.commit()) return true;
    reason = m_output.reason();
    return false;
}

int CMQFile::Close() {
    FILE *file = m_pFile;
    m_pFile = nullptr;
    if (m_output.isOpen()) {
        m_output.discard();
        return 0;
    }
    return file ? std::fclose(file) : 0;
}

int CMQFile::GetC() { return m_pFile ? std::fgetc(m_pFile) : -1; }

int CMQFile::PutC(int byte) { return m_pFile ? std::fputc(byte, m_pFile) : -1; }

int CMQFile::Seek(long offset, int origin) { return m_pFile ? std::fseek(m_pFile, offset, origin) : -1; }

// ---- CMQMergeInfo ----------------------------------------------------------

const char *CMQMergeInfo::GetInputFileName(int index) const {
    return index >= 0 && index < GetInputFileNameCount() ? m_inputs[static_cast<size_t>(index)] : nullptr;
}

// ---- program functions -------------------------------------------------------

void PrintHelp() {
    say("\nDescription:\n");
    say("  This program merges QSVF files.  Commands that reset the TAP state,\n");
    say("  QENDIR, QENDDR, and other settings are inserted between merged files.\n");
    say("\nUsage:  MergeQSVF [-d] [-v2] -o <output.qsvf>\n");
    say("         -i <input1.qsvf> -i <input2.qsvf> [-i <inputN.qsvf>...]\n");
    say("    -d  = Overwrite output file without warning.\n");
    say("    -o <output.qsvf>    = Merged output files is <output.qsvf>\n");
    say("    -i <inputN.qsvf>    = Input files to be merged in listed order.\n");
    say("    -v2 = Insert reset commands that are compatible with the version 2.00\n");
    say("          QSVF player.  The -v2 option must have been used for creating\n");
    say("          the input files with the svf2qsvf translator.\n");
    say("\n");
}

int ParseArgs(CMQMergeInfo *info, int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (sameOption(arg, "-i")) {
            if (i + 1 < argc) {
                info->AppendInputFileName(argv[++i]);
                say("INPUT[%d]:  %s\n", info->GetInputFileNameCount(), argv[i]);
            } else {
                sayFailure("ERROR:  Missing input file parameter.\n");
            }
        } else if (sameOption(arg, "-o")) {
            if (i + 1 < argc) {
                info->SetOutputFileName(argv[++i]);
                say("OUTPUT:  %s\n", argv[i]);
            } else {
                sayFailure("ERROR:  Missing output file parameter.\n");
            }
        } else if (sameOption(arg, "-d")) {
            info->SetDeleteOutput(1);
            say("OPTION:  Delete output without warning.\n");
        } else if (sameOption(arg, "-v2")) {
            info->SetVersion2Compatible(1);
            say("OPTION:  Generate output compatible with version 2.00 QSVF player.\n");
        }
        // Any other argument is ignored without a message.
    }
    if (!info->GetOutputFileName()) {
        sayFailure("ERROR:  Missing output file name.\n");
        return 0;
    }
    if (info->GetInputFileNameCount() < 2) {
        sayFailure("ERROR:  Must specify two or more input file names to merge.\n");
        return 0;
    }
    return 1;
}

int CheckInputFiles(CMQMergeInfo *info) {
    if (!info) {
        sayFailure("ERROR:  Unexpected error when checking input files.\n");
        return 0;
    }
    if (info->GetInputFileNameCount() < 2) {
        sayFailure("ERROR:  Less than two input file names specified.\n");
        return 0;
    }
    int ok = 1;
    for (int i = 0; i < info->GetInputFileNameCount(); ++i) {
        const char *name = info->GetInputFileName(i);
        if (!name) {
            sayFailure("ERROR:  Unexpected error when checking input file.\n");
            ok = 0;
            continue;
        }
        CMQFile probe;
        if (!probe.Open(name, "rb")) {
            sayFailure("ERROR:  Could not find/open input file (%s).\n", name);
            ok = 0;
        }
    }
    return ok;
}

int CheckOutputFile(CMQMergeInfo *info) {
    if (!info || !info->GetOutputFileName()) {
        sayFailure("ERROR:  Unexpected error when checking output file.\n");
        return 0;
    }
    const char *name = info->GetOutputFileName();
    // A FIFO holds nothing to overwrite (and a probe would wait for a
    // writer).
    struct stat status {};
    if (::stat(name, &status) == 0 && S_ISFIFO(status.st_mode)) return 1;
    CMQFile probe;
    if (!probe.Open(name, "rb")) return 1;
    probe.Close();
    if (outputIsAnInput(*info)) {
        sayFailure("ERROR:  Output file (%s) is also an input file.\n", name);
        return 0;
    }
    if (info->GetDeleteOutput()) return 1;
    say("WARNING:  Output file (%s) already exists.\n", name);
    say(">> Overwrite existing output file [y/n]?");
    std::fflush(stdout);
    // The end of standard input counts as "no": nothing is overwritten
    // without an answer.
    const int answer = std::getchar();
    if (answer != 'y' && answer != 'Y') {
        sayFailure("\nABORT:  Merge aborted.  Output file not overwritten.\n");
        return 0;
    }
    return 1;
}

int CopyQsvfFile(CMQFile *input, CMQFile *output, int *lastByte, bool *readFailed) {
    if (lastByte) *lastByte = -1;
    if (readFailed) *readFailed = false;
    if (!input || !output || !input->GetFile() || !output->GetFile()) return 0;
    // Block copy that holds back the last byte read: the byte is written
    // only when more bytes follow, so the input's last byte never reaches
    // the output, and an empty input drops nothing of the one before it.
    std::unique_ptr<unsigned char[]> block(new unsigned char[kCopyBlock]);
    int held = -1;
    for (;;) {
        const size_t got = std::fread(block.get(), 1, kCopyBlock, input->GetFile());
        if (got == 0) break;
        if (held >= 0) std::fputc(held, output->GetFile());
        std::fwrite(block.get(), 1, got - 1, output->GetFile());
        held = block[got - 1];
    }
    if (readFailed) *readFailed = std::ferror(input->GetFile()) != 0;
    if (lastByte) *lastByte = held;
    return 1;
}

void InsertQsvfHeader(CMQMergeInfo *info, CMQFile *output) {
    if (!info || !output || !output->GetFile()) return;
    if (info->GetVersion2Compatible())
        std::fwrite(qsvf::kMergeSeparatorV2.data(), 1, qsvf::kMergeSeparatorV2.size(), output->GetFile());
    else
        std::fwrite(qsvf::kMergeSeparator.data(), 1, qsvf::kMergeSeparator.size(), output->GetFile());
}

namespace {

void mergeFiles(int argc, char **argv) {
    say("MergeQSVF v%.2f - Morvane, Inc.\n", kVersion);

    CMQMergeInfo info;
    if (!ParseArgs(&info, argc, argv)) {
        PrintHelp();
        endMerge(1);
    }
    if (!CheckInputFiles(&info)) endMerge(1);
    if (!CheckOutputFile(&info)) endMerge(1);

    // The merged stream is written under a temporary name and renamed over
    // the output only when every input was merged; any failure leaves the
    // output as it was.
    const char *outputName = info.GetOutputFileName();
    CMQFile output;
    if (!output.OpenOutput(outputName)) {
        sayFailure("ERROR:  Cannot open or overwrite output file (%s).\n", outputName);
        endMerge(1);
    }
    for (int i = 0; i < info.GetInputFileNameCount(); ++i) {
        const char *name = info.GetInputFileName(i);
        CMQFile input;
        if (!input.Open(name, "rb")) {
            output.Close();
            sayFailure("ERROR:  Unable to open input file (%s).\n", name);
            endMerge(1);
        }
        if (i > 0) InsertQsvfHeader(&info, &output);
        int lastByte = -1;
        bool readFailed = false;
        CopyQsvfFile(&input, &output, &lastByte, &readFailed);
        if (std::ferror(output.GetFile())) outputWriteFailed(output, outputName, errno);
        input.Close();
        if (readFailed) {
            output.Close();
            sayFailure("ERROR:  Unable to read input file (%s).\n", name);
            endMerge(1);
        }
        // Merged all the same, but a truncated input is not joined silently.
        if (lastByte != qsvf::QCOMPLETE)
            say("WARNING:  Input file (%s) does not end with QCOMPLETE.\n", name);
    }
    output.PutC(qsvf::QCOMPLETE);
    // Write errors (a full disk, a file-size limit) are reported, not passed
    // off as success.
    std::string reason;
    if (!output.Commit(reason)) {
        sayFailure("ERROR:  Cannot write output file (%s): %s.\n", outputName, reason.c_str());
        endMerge(1);
    }
    endMerge(g_iFailurePrinted ? 1 : 0);
}

}  // namespace

int runMergeQSVF(int argc, char **argv) {
    if (qsvf::answerToolSwitch(argc, argv, "MergeQSVF", PrintHelp)) return 0;
    g_iFailurePrinted = false;
    int status = 1;
    try {
        mergeFiles(argc, argv);
    } catch (const MergeExit &exit) {
        status = exit.status;
    }
    std::fflush(stdout);
    return status;
}
