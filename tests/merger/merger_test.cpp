// MergeQSVF run in-process: copies that cross the boundaries of the copy
// blocks, the held-back last byte of each input, the exit status of runs
// that fail and of runs after them.  Messages and small streams are the
// golden cases' job.
#include "merge_qsvf.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class MergeRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("merger_test_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string &name) const { return (dir / name).string(); }

    void write(const std::string &name, const std::string &bytes) const {
        std::ofstream out(path(name), std::ios::binary);
        out << bytes;
    }
    std::string read(const std::string &name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Runs the merger with the given arguments; its console text lands in
    // `console`.
    int run(std::initializer_list<std::string> args) {
        std::vector<std::string> words = {"MergeQSVF"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        ::testing::internal::CaptureStdout();
        const int status = runMergeQSVF(static_cast<int>(words.size()), argv.data());
        console = ::testing::internal::GetCapturedStdout();
        return status;
    }

    fs::path dir;
    std::string console;
};

// A stream of the given size: QREPEAT, a run of pattern bytes, QCOMPLETE.
std::string stream(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    bytes[0] = 0x07;
    for (size_t i = 1; i + 1 < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) % 251);
    bytes[size - 1] = 0x00;
    return bytes;
}

const std::string kSeparator("\x13\x00\x14\x00\x12\x00\x12\x01\x04\x00\x00\x00\x00", 13);
const std::string kSeparatorV2("\x04\x00\x00\x00\x00", 5);

TEST_F(MergeRun, InputsLargerThanOneCopyBlockKeepEveryByteButTheLast) {
    // One input just over three blocks of 1 MiB, one exactly two blocks:
    // the held-back byte crosses block ends in both.
    const std::string a = stream((3u << 20) + 5, 1), b = stream(2u << 20, 2), c = stream(2, 3);
    write("a", a);
    write("b", b);
    write("c", c);
    ASSERT_EQ(run({"-o", path("out"), "-i", path("a"), "-i", path("b"), "-i", path("c")}), 0) << console;
    const std::string expected = a.substr(0, a.size() - 1) + kSeparator + b.substr(0, b.size() - 1) + kSeparator +
                                 c.substr(0, 1) + std::string(1, '\0');
    const std::string out = read("out");
    ASSERT_EQ(out.size(), expected.size());
    EXPECT_TRUE(out == expected);
    EXPECT_EQ(console.find("WARNING"), std::string::npos) << console;
}

TEST_F(MergeRun, SingleByteInputsContributeNothingButTheirSeparator) {
    write("a", std::string(1, '\0'));
    write("b", std::string(1, '\0'));
    ASSERT_EQ(run({"-v2", "-o", path("out"), "-i", path("a"), "-i", path("b")}), 0) << console;
    EXPECT_EQ(read("out"), kSeparatorV2 + std::string(1, '\0'));
}

TEST_F(MergeRun, InputEndingInAnotherByteIsMergedWithAWarning) {
    write("a", std::string("\x07\x20\x03\x55", 4));
    write("b", std::string("\x07\x20\x00", 3));
    ASSERT_EQ(run({"-v2", "-o", path("out"), "-i", path("a"), "-i", path("b")}), 0);
    std::string expected("\x07\x20\x03", 3);
    expected.append(kSeparatorV2).append("\x07\x20\x00", 3);
    EXPECT_EQ(read("out"), expected);
    std::string warningA = "WARNING:  Input file (";
    warningA.append(path("a")).append(") does not end with QCOMPLETE.\n");
    EXPECT_NE(console.find(warningA), std::string::npos) << console;
    std::string warningB = "(";
    warningB.append(path("b")).append(") does not end");
    EXPECT_EQ(console.find(warningB), std::string::npos) << console;
}

TEST_F(MergeRun, FailedRunDoesNotMakeTheNextOneFail) {
    write("a", std::string("\x07\x20\x00", 3));
    // A trailing -i: an ERROR line and status 1, although the merge is done.
    EXPECT_EQ(run({"-o", path("out"), "-i", path("a"), "-i", path("a"), "-i"}), 1);
    EXPECT_EQ(read("out").size(), 18u);
    EXPECT_EQ(run({"-d", "-o", path("out"), "-i", path("a"), "-i", path("a")}), 0) << console;
    EXPECT_EQ(run({"-o", path("out2")}), 1);
    EXPECT_FALSE(fs::exists(path("out2")));
}

TEST_F(MergeRun, OutputNamedThroughAnotherPathOfAnInputIsRefused) {
    const std::string original("\x07\x20\x02\x08\xfe\x00", 6);
    write("a", original);
    write("b", std::string("\x07\x20\x00", 3));
    fs::create_hard_link(path("a"), path("alias"));
    EXPECT_EQ(run({"-d", "-o", path("alias"), "-i", path("b"), "-i", path("a")}), 1);
    EXPECT_EQ(read("a"), original);
    EXPECT_NE(console.find("ERROR:  Output file (" + path("alias") + ") is also an input file.\n"), std::string::npos)
        << console;
}

TEST(MergeFile, CopyWithoutHandlesReportsFailure) {
    CMQFile input, output;
    int last = 5;
    EXPECT_EQ(CopyQsvfFile(&input, &output, &last), 0);
    EXPECT_EQ(last, -1);
    EXPECT_EQ(input.GetC(), -1);
    EXPECT_EQ(output.PutC(0), -1);
    EXPECT_EQ(output.Seek(0, SEEK_SET), -1);
}

}  // namespace
