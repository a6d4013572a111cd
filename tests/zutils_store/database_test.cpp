// The database file: its byte layout, a round trip, failed writes that must
// leave the old file intact, and damaged files with their messages, exit
// statuses and note files.
#include "store_fixture.h"

namespace {

// Makes frame 0 (800 bytes, bytes 0..799 = i % 251) and frame 1 = "abc".
void fill_small_database()
{
    auto *env = static_cast<unsigned char *>(vm_get_frame(vm_malloc(800)));
    for (int i = 0; i < 800; ++i)
        env[i] = static_cast<unsigned char>(i % 251);
    std::memcpy(vm_get_frame(vm_malloc(3)), "abc", 3);
}

// Fails the n-th write (1-based) of the next save.
int writes_before_failure = 0;
std::size_t failing_write(const void *data, std::size_t size, std::size_t count, std::FILE *f)
{
    if (--writes_before_failure == 0)
        return 0;
    return std::fwrite(data, size, count, f);
}

}  // namespace

TEST_F(StoreTest, WrittenFileHasTheHeaderAndEntryLayout)
{
    const std::string b = base("db");
    vm_open_file(b.c_str());
    vm_set_attr(0x0100);
    fill_small_database();
    ASSERT_EQ(vm_write_file(nullptr, 1), 0);
    const auto file = bytes_of(b + ".vm6");
    // 228 header + (12 + 800) + (12 + 3).
    ASSERT_EQ(file.size(), 1055u);
    EXPECT_EQ(word_at(file, 24), 4u);  // version
    EXPECT_EQ(word_at(file, 28), 0u);  // release
    EXPECT_EQ(word_at(file, 32), 2u);  // frames
    EXPECT_EQ(word_at(file, 20), static_cast<std::uint32_t>(vm_last_write()));
    // Directory 0: used 2 of 4000 (words 40 and 44), directory 1 absent.
    EXPECT_EQ(word_at(file, 40), 2u);
    EXPECT_EQ(word_at(file, 44), 4000u);
    EXPECT_EQ(word_at(file, 52), 0u);
    // Frame 0 entry at 228, its data at 240, frame 1 entry at 1040.
    EXPECT_EQ(word_at(file, 228), 0x2000u | 0x8000u | 0x0100u);
    EXPECT_EQ(word_at(file, 232), 800u);
    EXPECT_EQ(word_at(file, 236), 0u);
    EXPECT_EQ(file[240], 0);
    EXPECT_EQ(file[240 + 252], 1);  // 252 % 251
    EXPECT_EQ(word_at(file, 1044), 3u);
    EXPECT_EQ(file[1052], 'a');
    EXPECT_EQ(file[1054], 'c');
    EXPECT_FALSE(std::filesystem::exists(b + ".$$$"));
}

TEST_F(StoreTest, FileReadsBackEqualInTheWritingMachinesOrder)
{
    const std::string b = base("round");
    vm_open_file(b.c_str());
    fill_small_database();
    const int big = vm_malloc(9000);  // three pieces when written
    auto *p = static_cast<unsigned char *>(vm_get_frame(big));
    for (int i = 0; i < 9000; ++i)
        p[i] = static_cast<unsigned char>(i * 7);
    const int empty = vm_malloc(4);
    vm_realloc(empty, 0);
    for (int i = 0; i < 4000; ++i)  // into directory 1
        vm_malloc(1);
    std::memcpy(vm_get_frame(4096 + 2), "Z", 1);
    ASSERT_EQ(vm_write_file(nullptr, 1), 0);
    const long written = vm_last_write();

    vm_init();
    const int slot = vm_open_file(b.c_str());
    ASSERT_EQ(vm_read_file(slot), 0);
    EXPECT_EQ(vm_frame_count(slot), 4004);
    EXPECT_EQ(vm_last_write(), written);
    EXPECT_EQ(vm_frame_size(0), 800);
    EXPECT_EQ(static_cast<unsigned char *>(vm_get_frame(0))[799], 799 % 251);
    EXPECT_EQ(std::memcmp(vm_get_frame(1), "abc", 3), 0);
    // First read of the run: small frames sit in the pool, big ones do not.
    EXPECT_EQ(vm_frame_flags(1) & VM_FLAG_POOL, VM_FLAG_POOL);
    EXPECT_EQ(vm_frame_flags(2) & VM_FLAG_POOL, 0u);
    ASSERT_EQ(vm_frame_size(2), 9000);
    auto *q = static_cast<unsigned char *>(vm_get_frame(2));
    EXPECT_EQ(q[8999], static_cast<unsigned char>(8999 * 7));
    EXPECT_EQ(q[4096], static_cast<unsigned char>(4096 * 7));
    EXPECT_EQ(vm_frame_size(3), 0);
    EXPECT_EQ(*static_cast<char *>(vm_get_frame(4098)), 'Z');
    // Pool data moves to the heap when resized.
    auto *grown = static_cast<char *>(vm_realloc(1, 600));
    EXPECT_EQ(std::memcmp(grown, "abc", 3), 0);
    EXPECT_EQ(vm_frame_flags(1) & VM_FLAG_POOL, 0u);

    // A second read in the same run uses heap blocks.
    const int again = vm_open_file(b.c_str());
    ASSERT_EQ(vm_read_file(again), 0);
    vm_use_file(again);
    EXPECT_EQ(vm_frame_flags(1) & VM_FLAG_POOL, 0u);
}

TEST_F(StoreTest, WriteUnderANewNameReleasesDirectoriesUnlessKept)
{
    vm_open_file(base("one").c_str());
    for (int i = 0; i < 4001; ++i)
        vm_malloc(1);
    ASSERT_EQ(vm_write_file(base("two").c_str(), 0), 0);
    EXPECT_TRUE(std::filesystem::exists(base("two") + ".vm6"));
    EXPECT_FALSE(std::filesystem::exists(base("one") + ".vm6"));
    EXPECT_EQ(vm_frame_count(0), 4000);
    EXPECT_STREQ(vm_base_name(0), base("two").c_str());
}

TEST_F(StoreTest, FailedWritesLeaveTheOldDatabaseIntact)
{
    const std::string b = base("keep");
    vm_open_file(b.c_str());
    fill_small_database();
    const int big = vm_malloc(5000);  // pieces of 4096 and 904
    std::memset(vm_get_frame(big), 0xee, 5000);
    ASSERT_EQ(vm_write_file(nullptr, 1), 0);
    const auto old_bytes = bytes_of(b + ".vm6");
    std::memcpy(vm_get_frame(1), "xyz", 3);  // something new to save

    // Writes: 1 header, 2 entry 0, 3 data 0 (its last piece), 4 entry 1,
    // 5 data 1, 6 entry 2, 7 first piece of frame 2, 8 its last piece.
    const struct {
        int failing_write;
        int number;
    } cases[] = {{1, 2016}, {2, 2021}, {3, 2017}, {6, 2021}, {7, 2021}, {8, 2017}};
    vm_set_write_function(failing_write);
    for (const auto &c : cases) {
        writes_before_failure = c.failing_write;
        EXPECT_EQ(vm_write_file(nullptr, 1), (7 << 24) | (2 << 16) | c.number) << c.failing_write;
        EXPECT_EQ(bytes_of(b + ".vm6"), old_bytes) << c.failing_write;
        EXPECT_FALSE(std::filesystem::exists(b + ".$$$")) << c.failing_write;
    }
    vm_set_write_function(nullptr);
    ASSERT_EQ(vm_write_file(nullptr, 1), 0);
    EXPECT_EQ(bytes_of(b + ".vm6")[1052], 'x');
}

TEST_F(StoreTest, MissingFileReturnsTheErrorCodeAndWritesTheNote)
{
    const std::string b = base("none");
    const int slot = vm_open_file(b.c_str());
    testing::internal::CaptureStdout();
    EXPECT_EQ(vm_read_file(slot), (7 << 24) | (2 << 16) | 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nvmF2010:" + b + ".vm6,Cannot open file\n");
    EXPECT_EQ(text_of(b + ".lo1"), "Internal error:Cannot open file\n");
}

class DamagedDatabase : public StoreTest {
protected:
    // A good file of frame 0 (800 bytes) and frame 1 ("abc").
    std::vector<unsigned char> good()
    {
        const std::string b = base("good");
        vm_open_file(b.c_str());
        fill_small_database();
        EXPECT_EQ(vm_write_file(nullptr, 1), 0);
        auto bytes = bytes_of(b + ".vm6");
        vm_init();
        return bytes;
    }
    // Reads a damaged file; returns the exit status and keeps the output.
    int read(const std::vector<unsigned char> &bytes)
    {
        name = base("bad");
        write_bytes(name + ".vm6", bytes);
        const int slot = vm_open_file(name.c_str());
        testing::internal::CaptureStdout();
        const int status = exit_status_of([&] { vm_read_file(slot); });
        output = testing::internal::GetCapturedStdout();
        note = text_of(name + ".lo1");
        return status;
    }
    std::string name, output, note;
};

TEST_F(DamagedDatabase, ShortHeader)
{
    auto bytes = good();
    bytes.resize(227);
    EXPECT_EQ(read(bytes), 2);
    EXPECT_EQ(output, "\nvmF2011:" + name +
                          ".vm6,Invalid file header\nPlease ensure you have enough disk space and write-access to "
                          "the files in this directory\n");
    EXPECT_EQ(note, "Internal error:Invalid file header.\n");
}

TEST_F(DamagedDatabase, WrongVersion)
{
    auto bytes = good();
    put_word(bytes, 24, 5);
    EXPECT_EQ(read(bytes), 2);
    EXPECT_EQ(output, "Expecting Database Version 4 and found 5.\nPlease regenerate the vm6 file with the latest "
                      "software.\nDo NOT try to run UNIX-programs on pc-databases and vice versa.\nvmF2019:" +
                          name + ".vm6,Invalid file version\n");
    EXPECT_EQ(note, "Internal error:Invalid file version.\n");
}

TEST_F(DamagedDatabase, VersionThreeIsNotBlamedOnTheMachine)
{
    auto bytes = good();
    put_word(bytes, 24, 3);
    EXPECT_EQ(read(bytes), 2);
    EXPECT_EQ(output, "Expecting Database Version 4 and found 3.\nPlease regenerate the vm6 file with the latest "
                      "software.\n\nvmF2019:" +
                          name + ".vm6,Invalid file version\n");
}

TEST_F(DamagedDatabase, WrongRelease)
{
    auto bytes = good();
    put_word(bytes, 28, 1);
    EXPECT_EQ(read(bytes), 2);
    EXPECT_EQ(output, "Expecting Database Release 0 and found 1\n\nvmF2020:" + name + ".vm6,Invalid file release\n");
}

TEST_F(DamagedDatabase, FrameZeroOfTheWrongSize)
{
    // Built by hand: header, frame 0 of 799 bytes.
    std::vector<unsigned char> bytes(228 + 12 + 799, 0);
    put_word(bytes, 24, 4);
    put_word(bytes, 32, 1);
    put_word(bytes, 232, 799);
    EXPECT_EQ(read(bytes), 2);
    EXPECT_EQ(output, "\nvmF2023:" + name + ".vm6,Invalid database! frame 0 size=799 should be 800!\n");
    EXPECT_EQ(note, "Internal error:Invalid database.\n");
}

TEST_F(DamagedDatabase, FrameDataCutShort)
{
    auto bytes = good();
    bytes.resize(bytes.size() - 1);  // "ab" of "abc"
    EXPECT_EQ(read(bytes), 2);
    EXPECT_EQ(output, "\nvmF2012:" + name + ".vm6,Cannot read data for frame number 1!\n");
    EXPECT_EQ(note, "Internal error:Cannot read data for frame.\n");
}

TEST_F(DamagedDatabase, FrameCountFarBeyondTheFile)
{
    auto bytes = good();
    put_word(bytes, 32, 0xfffffff0u);
    EXPECT_EQ(read(bytes), 2);
    EXPECT_EQ(output, "\nvmF2013:" + name + ".vm6,Cannot read frame header #2!\n");
}

TEST_F(DamagedDatabase, FrameSizeFarBeyondTheFileIsNotAllocated)
{
    auto bytes = good();
    put_word(bytes, 1040 + 4, 0x7ffffff0u);  // frame 1 claims almost 2 GB
    EXPECT_EQ(read(bytes), 2);
    EXPECT_EQ(output, "\nvmF2012:" + name + ".vm6,Cannot read data for frame number 1!\n");
}
