// svf2qsvf and qsvf2ascii together: SVF files are translated with -v2 (so
// the stream holds only records the dumper lists) and a text listing; the
// stream is then listed by the dumper in-process.  Both listings must hold
// the same records in the same order, with the same mnemonics and the same
// operand digits.  The SVF inputs are small hand-written files covering the
// scan kinds, and the real files of the corpus, read where they are.
#include "qsvf2ascii.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "svf_corpus.h"

namespace fs = std::filesystem;

namespace {

// One record of a listing: its mnemonic and its operands as lower-case
// hexadecimal digits without "0x".  Empty operands (a scan of 0 bits) are
// left out: the translator writes none where the dumper writes "0x".
struct Record {
    std::string mnemonic;
    std::vector<std::string> operands;
    bool operator==(const Record &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Record &record) {
    out << record.mnemonic;
    for (const std::string &operand : record.operands)
        out << ' ' << (operand.size() > 40 ? operand.substr(0, 40) + "..." : operand);
    return out;
}

std::vector<Record> parseListing(const std::string &text) {
    std::vector<Record> records;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word;
        if (!(words >> word)) continue;
        Record record{word, {}};
        while (words >> word) {
            if (word.size() >= 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) word.erase(0, 2);
            for (char &ch : word) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (!word.empty()) record.operands.push_back(word);
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the translator in the work folder; returns its exit status.
int translate(const fs::path &work, const fs::path &svf) {
    const std::vector<std::string> args = {CROSS_TRANSLATOR, "-w",       "-v2", "-i", svf.string(), "-o",
                                           "out.qsvf",       "-a",       "out.lst"};
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(work.c_str()) != 0) _exit(125);
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::vector<char *> argv;
        for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(126);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class Cross : public ::testing::Test {
protected:
    void SetUp() override {
        work = fs::temp_directory_path() / ("cross_test_" + std::to_string(getpid()));
        fs::remove_all(work);
        fs::create_directories(work);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(work);
    }

    // Translates, lists, and compares the two listings record by record;
    // returns the number of records compared.
    size_t compare(const fs::path &svf) {
        EXPECT_EQ(translate(work, svf), 0) << svf;
        std::string in = (work / "out.qsvf").string(), out = (work / "dump.txt").string();
        std::string name = "qsvf2ascii";
        char *argv[] = {name.data(), in.data(), out.data(), nullptr};
        ::testing::internal::CaptureStdout();
        const int status = runQsvf2ascii(3, argv);
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 0) << "the dumper did not list " << svf << " to its end";
        const std::vector<Record> translator = parseListing(readFile(work / "out.lst"));
        const std::vector<Record> dumper = parseListing(readFile(work / "dump.txt"));
        EXPECT_EQ(translator.size(), dumper.size()) << svf;
        for (size_t i = 0; i < translator.size() && i < dumper.size(); ++i) {
            if (!(translator[i] == dumper[i])) {
                ADD_FAILURE() << svf << ": record " << i << " differs\n  translator: " << translator[i]
                              << "\n  dumper:     " << dumper[i];
                break;
            }
        }
        return dumper.size();
    }

    fs::path writeSvf(const std::string &name, const std::string &text) {
        const fs::path path = work / name;
        std::ofstream(path) << text;
        return path;
    }

    fs::path work;
};

TEST_F(Cross, ScansOfEveryKindAgree) {
    const fs::path svf = writeSvf("kinds.svf",
                                  "! scans of several lengths\n"
                                  "TRST OFF;\nENDIR IDLE;\nENDDR IDLE;\nSTATE RESET;\nSTATE IDLE;\n"
                                  "SIR 8 TDI (FE);\n"
                                  "SDR 8 TDI (01) TDO (00) MASK (FF);\n"
                                  "RUNTEST 100 TCK;\n"
                                  "SDR 9 TDI (1FF);\n"
                                  "SDR 12 TDI (F0F) SMASK (FFF);\n"
                                  "SIR 10 TDI (3FF);\n"
                                  "RUNTEST 2000 TCK;\n"
                                  "SDR 300 TDI (0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789A)"
                                  " TDO (FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210FEDCBA987)"
                                  " MASK (FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF);\n"
                                  "SIR 8 TDI (0E);\nRUNTEST 10 TCK;\n"
                                  "SDR 32 TDI (0000FFFF) TDO (00001234) MASK (0000FFFF);\n");
    // QREPEAT, the scans, their QSDRSIZE/QTDOMASK/QRUNTEST records, QCOMPLETE.
    EXPECT_GE(compare(svf), 12u);
}

TEST_F(Cross, CorpusFilesAgree) {
    QSVF_SKIP_WITHOUT_CORPUS();
    const std::vector<fs::path> files = qsvftest::corpusFiles();
    for (const fs::path &svf : files) {
        EXPECT_GT(compare(svf), 2u) << svf;
        fs::remove(work / "out.qsvf");
        fs::remove(work / "out.lst");
        fs::remove(work / "dump.txt");
    }
    EXPECT_FALSE(files.empty()) << "no .svf file in " << qsvftest::corpusFolder();
}

}  // namespace
