// qsvf2ascii in-process: fields longer than the read and write blocks, the
// cut-off of a stream at every byte, every value that is not a listed
// opcode, and the reset of the DR length between runs.  Record texts of
// small streams are the golden cases' job.
#include "qsvf2ascii.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Lists bytes held in memory into a temporary file and returns the text.
struct Listing {
    DumpEnd end;
    std::string text;
};

Listing listBytes(const std::string &bytes) {
    FILE *file = std::tmpfile();
    Listing result{DumpEnd::EndOfInput, {}};
    {
        QsvfReader reader(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
        ListingWriter writer(file);
        result.end = dumpRecords(reader, writer);
    }
    std::rewind(file);
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) result.text.append(buffer, got);
    std::fclose(file);
    return result;
}

std::string hexPair(unsigned char byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02x", byte);
    return text;
}

class DumpRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("dumper_test_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    int run(const std::string &bytes) {
        {
            std::ofstream out(dir / "in.qsvf", std::ios::binary);
            out << bytes;
        }
        std::string in = (dir / "in.qsvf").string(), out = (dir / "out.txt").string();
        std::string name = "qsvf2ascii";
        char *argv[] = {name.data(), in.data(), out.data(), nullptr};
        ::testing::internal::CaptureStdout();
        const int status = runQsvf2ascii(3, argv);
        console = ::testing::internal::GetCapturedStdout();
        std::ifstream listing(dir / "out.txt", std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(listing), std::istreambuf_iterator<char>());
        return status;
    }

    fs::path dir;
    std::string console, text;
};

TEST_F(DumpRun, VectorLongerThanTheBlocksIsOneField) {
    // 700,001 bytes of scan data: more than two read blocks and more than
    // five write blocks of digits, with a 7-bit top byte.
    const uint32_t bytes = 700001, bits = 8 * (bytes - 1) + 7;
    std::string stream = {0x08, char(bits >> 24), char(bits >> 16), char(bits >> 8), char(bits), 0x03};
    std::string digits;
    for (uint32_t i = 0; i < bytes; ++i) {
        const unsigned char byte = i == 0 ? 0x7f : static_cast<unsigned char>((i * 13 + 5) % 256);
        stream += static_cast<char>(byte);
        digits += hexPair(byte);
    }
    stream += '\0';
    ASSERT_EQ(run(stream), 0) << console;
    EXPECT_EQ(bits, 0x00557307u);
    const std::string expected = "QSDRSIZE 0x00557307 \nQSDR 0x" + digits + " \nQCOMPLETE\n";
    ASSERT_EQ(text.size(), expected.size());
    EXPECT_TRUE(text == expected);
}

TEST_F(DumpRun, DrLengthOfOneRunDoesNotCarryIntoTheNext) {
    ASSERT_EQ(run(std::string("\x08\x00\x00\x00\x08\x03\x5a", 7)), 0);
    EXPECT_EQ(text, "QSDRSIZE 0x00000008 \nQSDR 0x5a \n");
    EXPECT_EQ(run(std::string("\x03\x5a", 2)), 1);
    EXPECT_EQ(text, "QSDR ");
    EXPECT_NE(console.find("For FPGAs make sure to use -fpga option with svf2qsvf\n\n"), std::string::npos);
}

TEST(DumpRecords, StreamCutAtEveryByteIsCompleteOnlyAtRecordEnds) {
    // QREPEAT 32, QRUNTEST 0, QSIR 8 FE, QRUNTEST 100, QSDRSIZE 8,
    // QTDOMASK FF, QSDRTDO 01 00, QCOMPLETE.
    const std::string stream("\x07\x20\x04\x00\x00\x00\x00\x02\x08\xfe\x04\x00\x00\x00\x64\x08\x00\x00\x00\x08"
                             "\x01\xff\x09\x01\x00\x00",
                             26);
    const std::vector<size_t> recordEnds = {0, 2, 7, 10, 15, 20, 22, 25, 26};
    for (size_t length = 0; length <= stream.size(); ++length) {
        const Listing listing = listBytes(stream.substr(0, length));
        const bool atEnd = std::find(recordEnds.begin(), recordEnds.end(), length) != recordEnds.end();
        EXPECT_EQ(listing.end, atEnd ? DumpEnd::EndOfInput : DumpEnd::Incomplete) << "cut at " << length;
        const bool saysIncomplete = listing.text.find("Incomplete record: the input ends inside ") != std::string::npos;
        EXPECT_EQ(saysIncomplete, !atEnd) << "cut at " << length << ":\n" << listing.text;
    }
    // Cut inside the TDO vector: both fields as far as they go, then the line.
    EXPECT_EQ(listBytes(stream.substr(0, 24)).text,
              "QREPEAT 0x20 \nQRUNTEST 0x00000000 \nQSIR 0x08 0xfe \nQRUNTEST 0x00000064 \n"
              "QSDRSIZE 0x00000008 \nQTDOMASK 0xff \nQSDRTDO  0x01 0x \n"
              "Incomplete record: the input ends inside QSDRTDO.\n");
}

TEST(DumpRecords, EveryValueAboveTheListedOpcodesIsUnknown) {
    for (unsigned value = 18; value < 256; ++value) {
        const Listing listing = listBytes(std::string("\x06", 1) + static_cast<char>(value) + std::string("\x00", 1));
        EXPECT_EQ(listing.end, DumpEnd::UnknownOpcode) << value;
        EXPECT_EQ(listing.text, "QIDLE Unknown command: " + std::to_string(value) + "\n");
    }
}

TEST(DumpRecords, InstructionScanOfZeroBitsHasAnEmptyField) {
    const Listing listing = listBytes(std::string("\x02\x00\x02\x01\x01\x00", 6));
    EXPECT_EQ(listing.end, DumpEnd::EndOfInput);
    EXPECT_EQ(listing.text, "QSIR 0x00 0x \nQSIR 0x01 0x01 \nQCOMPLETE\n");
}

TEST(DumpRecords, ZeroLengthTwoVectorRecordsAreTheLongestLinePerByte) {
    // The fuzzer's first find: with a DR length of 0 every QSETSDRMASKS
    // byte becomes 21 characters, the most any single byte can give.
    const Listing listing = listBytes(std::string("\x08\x00\x00\x00\x00\x0a\x0a\x09", 8));
    EXPECT_EQ(listing.end, DumpEnd::EndOfInput);
    EXPECT_EQ(listing.text, "QSDRSIZE 0x00000000 \nQSETSDRMASKS  0x 0x \nQSETSDRMASKS  0x 0x \nQSDRTDO  0x 0x \n");
}

TEST(DumpRecords, RandomBytesEndCleanlyWithBoundedOutput) {
    // A fixed pseudo-random stream: whatever it holds, the loop ends and the
    // listing stays within a few characters per input byte.
    std::string bytes(1 << 16, '\0');
    uint32_t state = 12345;
    for (char &byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    for (size_t start = 0; start < 64; ++start) {
        const Listing listing = listBytes(bytes.substr(start));
        EXPECT_LE(listing.text.size(), 24 * (bytes.size() - start) + 64);
        if (listing.end == DumpEnd::UnknownOpcode) {
            EXPECT_NE(listing.text.find("Unknown command: "), std::string::npos);
        }
    }
}

}  // namespace
