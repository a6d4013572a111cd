// The program driver of svf2qsvf: defaults, the command line (the switch
// table below), the file checks with the overwrite question, the banner and
// time stamps, the run of the dispatcher, and the one place where every run
// ends (runSvf2qsvf catches the exit object and returns its status).
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "chain.h"
#include "diagnostics.h"
#include "dispatcher.h"
#include "file_channel.h"
#include "prog_state.h"
#include "qsvf_tool_switches.h"
#include "svf2qsvf.h"
#include "svf_lexer.h"

namespace svf {

namespace {

// The notice after the version and the families after "Parts supported:"
// are this build's own neutral texts.
constexpr const char *kVersionNotice = " (QSVF tool set, portable C++ build)";
constexpr const char *kTitle = "Morvane SVF-to-QSVF Writer";
constexpr const char *kPartsSupported =
    "Parts supported:\n"
    "generic CPLD (all densities)\tlow-power CPLD\tautomotive CPLD\n"
    "SRAM-based FPGA\tflash-based FPGA\tantifuse FPGA\n"
    "serial configuration PROM\tparallel configuration PROM";

// Command-line cursor: getCmdToken steps to and returns the next argument.
struct ArgCursor {
    int argc;
    char **argv;
    int index;  // the argument last returned
};

const char *getCmdToken(ArgCursor &cursor, int advance) {
    if (cursor.index + 1 >= cursor.argc) return nullptr;
    if (advance == 1) ++cursor.index;
    return cursor.argv[advance == 1 ? cursor.index : cursor.index + 1];
}

[[noreturn]] void optionFailure(const std::string &text) {
    std::fputs(text.c_str(), stderr);
    exitProgram(1);
}

// Decimal conversion like atol (leading blanks, sign, digits; anything
// else gives 0), except that values beyond 32 bits are refused.
int64_t optionNumber(const char *text, const char *option) {
    const char *p = text;
    while (isAsciiSpace(static_cast<unsigned char>(*p))) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int64_t value = 0;
    for (; isAsciiDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX) limitError(strFormat("Value of -%s", option).c_str(), text, INT32_MAX);
    }
    return negative ? -value : value;
}

}  // namespace

int getResponse(const char *prompt, const char *answers) {
    std::fputc('\n', stderr);
    for (;;) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        int c = std::getchar();
        if (c == EOF) return EOF;
        if (c >= 'a' && c <= 'z') c = c - 'a' + 'A';
        for (int d = std::getchar(); d != '\n' && d != EOF; d = std::getchar()) {
        }
        if (c != 0 && std::strchr(answers, c)) return c;
    }
}

void chkFclose(std::FILE *&stream) {
    if (stream) std::fclose(stream);
    stream = nullptr;
}

namespace {
// The question before an existing file is replaced; the end of standard
// input counts as the answer E.  A FIFO holds nothing to overwrite (and a
// probe would wait for a writer).
void askOverwrite(const std::string &name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) return;
    if (std::FILE *existing = std::fopen(name.c_str(), "r")) {
        std::fclose(existing);
        std::string prompt = strFormat("[%s] exists; Overwrite or Exit (o/e)? ", name.c_str());
        if (getResponse(prompt.c_str(), "OE") != 'O') exitProgram(1);
    }
}
}  // namespace

std::FILE *fileCheck(const std::string &name, const char *mode, FileChannel * /*channel*/) {
    std::FILE *stream = nullptr;
    switch (mode[0]) {
    case 'c':
        askOverwrite(name);
        stream = std::fopen(name.c_str(), mode[1] == 'b' ? "wb" : "w");
        break;
    case 'a': stream = std::fopen(name.c_str(), mode[1] == 'b' ? "wb" : "w"); break;
    default: stream = std::fopen(name.c_str(), mode[1] == 'b' ? "rb" : "r"); break;
    }
    if (!stream) fileError(name, 1, nullptr, 1);
    return stream;
}

void displayVersion() {
    statusMsg(strFormat("%s Version 5.02%s\n%s", kProgName, kVersionNotice, kTitle), MSG_NL_AFTER, 1, 1);
}

void showDateTime(const char *label, char *buffer, int toConsole) {
    t_SysDateTime = std::time(nullptr);
    const char *text = std::ctime(&t_SysDateTime);
    std::snprintf(buffer, 50, "%.24s", text ? text : "");
    statusMsg(strFormat("%s: %s", label, buffer), MSG_NL_AROUND, toConsole, 1);
}

void showElapsedTime(time_t start, time_t finish) {
    long seconds = static_cast<long>(std::difftime(finish, start));
    statusMsg(strFormat("      Elapsed Time (%02ld:%02ld:%02ld)", seconds / 3600, (seconds % 3600) / 60, seconds % 60),
              MSG_NL_AFTER, 1, 1);
}

void displayProgOptions() {
    static constexpr const char *kLines[] = {
        "\t-a <filename> = generate ASCII QSVF\n",
        "\t-d = delete output file before processing\n",
        "\t-extensions = support ENDIR/ENDDR (turns off -minqstate)\n",
        "\t-fpga = input file being processed is an FPGA SVF file\n",
        "\t-minqstate = use minimum QSTATE set compatible w/ QSVF player v4.x\n",
        "\t-multiple_runtest = input file has consecutive RUNTEST commands\n",
        "\t-nc = no compression during translation\n",
        "\t-r <num> = set QREPEAT value; default = 32 (0 for FPGAs/SPROMs)\n",
        "\t-rlen <rec len> = specify record length (usually for SPROMs)\n",
        "\t   default = 128 bits (32 hex chars) per record; applies only to FPGAs\n",
        "\t-s = skip TDO tests\n",
        "\t-useQSDR = use QSDR command if SDR MASK = 0\n",
        "\t-v2 = generate code compatible with QSVF player v2.x\n",
        "\t-w = overwrite output file (same as -d option)\n",
        "\t-qprintsrc N (where N = 0 to 3) = print source to output file\n",
        "\t\t0: do not print any source info (default)\n",
        "\t\t1: print SVF source line number\n",
        nullptr,  // the line with the echo length
        "\t\t3: do 1 and 2\n",
        "\t-qwait = use QWAIT command instead of QRUNTEST\n",
    };
    for (const char *line : kLines) {
        if (line)
            std::fputs(line, stdout);
        else
            std::printf("\t\t2: print first %d chars of SVF source line\n", 70);
    }
}

namespace {

[[noreturn]] void showUsage() {
    iDbg_StatusUpdate = 1;
    displayVersion();
    statusMsg("Missing input or output file", MSG_NL_AFTER, 1, 1);
    statusMsg(strFormat("Usage: %s [options] -i <input file> -o <output file>", kProgName), MSG_NL_AFTER, 1, 1);
    displayProgOptions();
    std::fflush(stdout);
    std::fputs("--- Press enter key to continue --- ", stderr);
    std::fflush(stderr);
    // The end of standard input counts as the enter key.
    for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
    }
    std::fputs(kPartsSupported, stdout);
    exitProgram(0);
}

// True when the two names are one file on disk: the same device and inode
// when both exist (so ./a, a, symbolic and hard links match), else the
// same spelling.
bool sameFile(const std::string &a, const std::string &b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return a == b;
}

void unlinkWriteChannel(FileChannel *&role) {
    if (!role) return;
    for (FileChannel **link = &pFC_List; *link; link = &(*link)->pNext) {
        if (*link == role) {
            *link = role->pNext;
            break;
        }
    }
    delete role;
    role = nullptr;
}

// -o, -l, -a: a write channel, opened now (after the overwrite question),
// put at the head of the write list.  The stream and the listing are
// written under a temporary name and replace their files only at the end
// of a run that completes; the log is written as the run goes, so that it
// keeps the messages of a run that fails.
void takeWriteFile(ArgCursor &cursor, FileChannel *&role, const char *missingLabel, bool binary, bool isLog) {
    const char *name = getCmdToken(cursor, 1);
    if (!name) fileError(missingLabel, 1, nullptr, 0);
    if (&role == &pFC_Output && pFC_Input && sameFile(pFC_Input->sName, name))
        fileError("Output filename same as input", 1, nullptr, 2);
    unlinkWriteChannel(role);
    makeChannel(pNewChannel, name);
    if (isLog) {
        const char *mode = iOverWritePrompt == 1 ? (binary ? "cb" : "c") : (binary ? "ab" : "a");
        pNewChannel->pFile = fileCheck(name, mode, pNewChannel);
    } else {
        if (iOverWritePrompt == 1) askOverwrite(name);
        if (!pNewChannel->openOutput()) fileError(name, 1, nullptr, 1);
    }
    pNewChannel->pNext = pFC_List;
    pFC_List = pNewChannel;
    role = pNewChannel;
    pNewChannel = nullptr;
}

void takeInputFiles(ArgCursor &cursor) {
    for (FileChannel *channel = pFC_Input; channel;) {
        FileChannel *next = channel->pNext;
        delete channel;
        channel = next;
    }
    pFC_Input = nullptr;
    FileChannel **tail = &pFC_Input;
    const char *name = getCmdToken(cursor, 1);
    if (!name) fileError("InputFile", 1, nullptr, 0);
    for (;;) {
        if (pFC_Output && sameFile(pFC_Output->sName, name)) fileError("Input filename same as output", 1, nullptr, 2);
        // A folder opens for reading but holds no SVF text: refused like an
        // input that cannot be opened.
        struct stat info {};
        std::FILE *probe = std::fopen(name, "r");
        if (!probe || (::stat(name, &info) == 0 && S_ISDIR(info.st_mode))) {
            if (probe) std::fclose(probe);
            fileError(name, 1, nullptr, 1);
        }
        std::fclose(probe);
        makeChannel(*tail, name);
        tail = &(*tail)->pNext;
        const char *next = getCmdToken(cursor, 0);
        if (!next || next[0] == '-') break;
        name = getCmdToken(cursor, 1);
    }
}

// -tck: the board player's TCK in Hz, written as 10000000, 10e6, 10M,
// 10MHz or 500kHz (the unit in any case); at least 1 Hz.
double tckOption(const char *value) {
    const std::string text = value ? value : "";
    char *end = nullptr;
    double hz = std::strtod(text.c_str(), &end);
    std::string unit = end ? end : "";
    for (char &ch : unit) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (unit.size() >= 2 && unit.compare(unit.size() - 2, 2, "hz") == 0) unit.resize(unit.size() - 2);
    if (unit == "k") hz *= 1e3;
    if (unit == "m") hz *= 1e6;
    if (text.empty() || end == text.c_str() || !(unit.empty() || unit == "k" || unit == "m") || !(hz >= 1) ||
        !std::isfinite(hz))
        fatalError(strFormat("Invalid -tck frequency [%s] (Hz, such as 10000000, 10e6 or 10MHz)", text.c_str()));
    return hz;
}

// A switch with a decimal value: the value, or the stderr message.
int64_t switchValue(ArgCursor &cursor, const char *missing, const char *option) {
    const char *value = getCmdToken(cursor, 1);
    if (!value) optionFailure(strFormat(missing, kProgName));
    return optionNumber(value, option);
}

struct SwitchEntry {
    const char *name;
    void (*apply)(ArgCursor &cursor);
};

// Every switch of the command line.
constexpr SwitchEntry kSwitches[] = {
    {"d", [](ArgCursor &) { iOverWritePrompt = 0; }},
    {"w", [](ArgCursor &) { iOverWritePrompt = 0; }},
    {"i", takeInputFiles},
    {"o", [](ArgCursor &c) { takeWriteFile(c, pFC_Output, "OutFile", true, false); }},
    {"l", [](ArgCursor &c) { takeWriteFile(c, pFC_Log, "LogFile", false, true); }},
    {"a",
     [](ArgCursor &c) {
         takeWriteFile(c, pFC_Ascii, "QsvfAscii", true, false);
         iQsvfAscii = 1;
     }},
    {"z",
     [](ArgCursor &c) {
         lOptionKey = static_cast<long>(switchValue(c, "%s: specify option key", "z"));
         if (lOptionKey != 0 && (lOptionKey & 1)) iDbg_StatusUpdate = 1;
     }},
    {"multiple_runtest", [](ArgCursor &) { iMultipleRunTest = 1; }},
    {"extensions", [](ArgCursor &) { iQsvfExt = 1; }},
    {"fpga", [](ArgCursor &) { iFpgaFormat = 1; }},
    {"inorder", [](ArgCursor &) { iInOrder = 1; }},
    {"minqstate", [](ArgCursor &) { iOptMinQstateUsage = 1; }},
    {"nc", [](ArgCursor &) { iSvfCompress = 1; }},
    {"r", [](ArgCursor &c) { lQrepeatVal = switchValue(c, "%s: specify programming retry count", "r"); }},
    {"rlen",
     [](ArgCursor &c) {
         lFpgaRecSize = switchValue(c, "%s: specify record length", "rlen");
         if (lFpgaRecSize <= 63 || lFpgaRecSize % 4 != 0)
             optionFailure("Record length must be >= 64 or a multiple of 4");
     }},
    {"runmin", [](ArgCursor &c) { lRunMin = switchValue(c, "%s: specify min RUNTEST wait time", "runmin"); }},
    {"s", [](ArgCursor &) { iSkipTdoTest = 1; }},
    {"useqsdr", [](ArgCursor &) { iOptUseQSDR = 1; }},
    {"v2", [](ArgCursor &) { iV2Compatibility = 1; }},
    {"qprintsrc",
     [](ArgCursor &c) {
         int64_t value = switchValue(c, "%s: missing print/display control value", "qprintsrc");
         if (value < 0 || value > 3) optionFailure("Print/Display control value must be in range [0..3]");
         iOptPrintSrc = static_cast<int>(value);
     }},
    {"qwait",
     [](ArgCursor &) {
         giUseQwait = 1;
         iInOrder = 1;
     }},
    {"chain", [](ArgCursor &c) { takeChainLengths(getCmdToken(c, 1)); }},
    {"tck", [](ArgCursor &c) { gdPlayerTck = tckOption(getCmdToken(c, 1)); }},
    {"target", [](ArgCursor &c) { takeChainTarget(getCmdToken(c, 1)); }},
};

// Before any file is created: no write file (-o, -l, -a) may be an input
// file or another write file, in whatever order they are given, so that a
// mistyped name never truncates the user's SVF file or mixes two outputs.
void checkFileRoles(int argc, char **argv) {
    struct Named {
        std::string name;
        int position;
    };
    std::vector<Named> inputs;
    Named output{"", -1}, log{"", -1}, listing{"", -1};
    static constexpr const char *kValueSwitches[] = {"z",     "r",      "rlen", "runmin", "qprintsrc",
                                                     "chain", "target", "tck"};
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg[0] != '-') break;
        std::string name = arg + 1;
        strCaseConvert(name.data(), name.size(), 0);
        if (name == "i") {
            inputs.clear();
            if (i + 1 < argc) inputs.push_back({argv[++i], i});
            while (i + 1 < argc && argv[i + 1][0] != '-') inputs.push_back({argv[++i], i});
        } else if (name == "o" || name == "l" || name == "a") {
            if (i + 1 >= argc) break;
            Named &role = name == "o" ? output : name == "l" ? log : listing;
            role = {argv[++i], i};
        } else {
            for (const char *value : kValueSwitches)
                if (name == value) ++i;
        }
    }
    for (const Named &in : inputs) {
        if (output.position >= 0 && sameFile(output.name, in.name))
            fileError(output.position > in.position ? "Output filename same as input" : "Input filename same as output",
                      1, nullptr, 2);
        if (log.position >= 0 && sameFile(log.name, in.name)) fileError("Log filename same as input", 1, nullptr, 2);
        if (listing.position >= 0 && sameFile(listing.name, in.name))
            fileError("Listing filename same as input", 1, nullptr, 2);
    }
    if (output.position >= 0 && listing.position >= 0 && sameFile(output.name, listing.name))
        fileError("Listing filename same as output", 1, nullptr, 2);
    if (output.position >= 0 && log.position >= 0 && sameFile(output.name, log.name))
        fileError("Log filename same as output", 1, nullptr, 2);
    if (log.position >= 0 && listing.position >= 0 && sameFile(log.name, listing.name))
        fileError("Log filename same as listing", 1, nullptr, 2);
}

int checkOptCombo() {
    if (iFpgaFormat == 0 && lFpgaRecSize > 0) {
        iDbg_StatusUpdate = 1;
        displayVersion();
        std::fputs("Use \"-fpga\" option when specifying FPGA/PROM rec length", stdout);
        return 0;
    }
    if (lFpgaRecSize < 0) lFpgaRecSize = 128;
    if (iFpgaFormat == 1) lQrepeatVal = 0;
    // The repeat count has one byte in the QREPEAT record: a value that does
    // not fit is refused rather than written truncated.
    if (lQrepeatVal < 0 || lQrepeatVal > 255)
        fatalError(strFormat("Retry count [%lld] outside range [0..255]", static_cast<long long>(lQrepeatVal)));
    if (iQsvfExt == 1) iOptMinQstateUsage = 0;
    checkChainOptions();
    return 1;
}

void getCmdOptions(int argc, char **argv) {
    checkFileRoles(argc, argv);
    ArgCursor cursor{argc, argv, 0};
    bool stoppedAtName = false;
    while (const char *arg = getCmdToken(cursor, 1)) {
        if (arg[0] != '-') {
            stoppedAtName = true;
            break;
        }
        std::string name = arg + 1;
        strCaseConvert(name.data(), name.size(), 0);
        const SwitchEntry *entry = nullptr;
        for (const SwitchEntry &row : kSwitches)
            if (name == row.name) entry = &row;
        if (!entry) optionFailure(strFormat("%s: unknown option [%s]\n", kProgName, name.c_str()));
        entry->apply(cursor);
    }
    if (!pFC_Input || !pFC_Output || stoppedAtName) showUsage();
    if (checkOptCombo() == 0) exitProgram(1);
}

// --help: the usage text on standard output, without the banner and the
// wait of the usage display, and with the switches that display leaves out.
void showHelp() {
    std::printf("Usage: %s [options] -i <input file> -o <output file>\n", kProgName);
    displayProgOptions();
    std::fputs("\t-i <filename> = SVF input file; further names are checked, not translated\n"
               "\t-o <filename> = QSVF output file\n"
               "\t-l <filename> = write a log file\n"
               "\t-inorder = write each SIR before the RUNTEST that follows it\n"
               "\t-runmin <num> = minimum RUNTEST wait in TCK clocks\n"
               "\t-tck <hz> = the TCK frequency of the board's player: waits given in seconds\n"
               "\t   become clocks at it, and RUNTEST maximum times are checked at it\n"
               "\t-chain <lengths> -target <n> = place the SVF file's device in a scan chain: the IR\n"
               "\t   lengths of the chain's devices from the TDO end (such as 5,8,10) and the\n"
               "\t   device's position, 1 at the TDO end; the other devices are padded in BYPASS\n"
               "\t   (their IRs all ones, one 0 bit each in data scans, TDO compared on the\n"
               "\t   device's bits only), in place of the file's HIR, HDR, TIR and TDR\n"
               "\t-z <num> = debug mask; an odd value shows status text on the console\n",
               stdout);
    std::printf("%s\n", kPartsSupported);
}

// The end of a run that read its input to the end: everything written out
// and checked, the listing and then the stream renamed over their files,
// the log closed.  A failure is the error "cannot write" (the stream and
// the listing not yet renamed stay as they were).
void finishOutputs() {
    pFC_Input->checkInputUnchanged();
    if (pFC_Log) pFC_Log->finishFile(false);
    if (pFC_Ascii) pFC_Ascii->commitOutput();
    pFC_Output->commitOutput();
    if (pFC_Log) pFC_Log->finishFile(true);
}

int runTranslation(int argc, char **argv) {
    if (qsvf::answerToolSwitch(argc, argv, kProgName, showHelp)) return 0;
    initProg();
    initProgVariables();
    getCmdOptions(argc, argv);
    displayVersion();
    showDateTime("Start  ", sTimeStart, 1);
    t_TimeStart = t_SysDateTime;
    pFC_Input->pFile = fileCheck(pFC_Input->sName, "r", pFC_Input);
    int result = processSVF();
    showDateTime("Finish ", sTimeFinish, 1);
    t_TimeFinish = t_SysDateTime;
    showElapsedTime(t_TimeStart, t_TimeFinish);
    finishOutputs();
    freeMem();
    freeProgMem();
    return result == 1 ? 0 : 1;
}

}  // namespace

}  // namespace svf

int runSvf2qsvf(int argc, char **argv) {
    int status;
    try {
        status = svf::runTranslation(argc, argv);
    } catch (const svf::ProgExit &exit) {
        status = exit.status;
    } catch (const std::bad_alloc &) {
        std::fputs("\nError  : Null Ptr [out of memory]", stdout);
        status = 1;
    }
    svf::freeMem();
    svf::freeProgMem();
    svf::pFC_Ascii = nullptr;
    std::fflush(stdout);
    std::fflush(stderr);
    return status;
}
