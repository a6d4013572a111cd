// Frame store in memory: handles, allocation, resizing, look-up errors,
// copying between files, the environment exchange and the segment pools.
#include "store_fixture.h"

#include <Lmr_Zutils/pt_environ.h>

TEST_F(StoreTest, HandlesCountFramesAndSkipToTheNextDirectory)
{
    ASSERT_EQ(vm_open_file(base("a").c_str()), 0);
    EXPECT_EQ(vm_current_file(), 0);
    EXPECT_EQ(vm_malloc(0), -1);
    EXPECT_EQ(vm_frame_count(0), 0);
    for (int i = 0; i < 4000; ++i)
        ASSERT_EQ(vm_malloc(4), i);
    // The 4001st frame opens directory 1: handle (1 << 12) | 0.
    EXPECT_EQ(vm_malloc(4), 4096);
    EXPECT_EQ(vm_malloc(4), 4097);
    EXPECT_EQ(vm_frame_count(0), 4002);
    EXPECT_EQ(vm_frame_size(4097), 4);
    // Slots 4000 to 4095 fit the handle bits but name no frame.
    EXPECT_EQ(vm_frame_ptr(4000), nullptr);
    EXPECT_EQ(vm_frame_ptr(4098), nullptr);
}

TEST_F(StoreTest, NewFramesAreZeroAndCarryTheFileAttributes)
{
    vm_open_file(base("a").c_str());
    vm_set_attr(0x0010);
    const int h = vm_malloc(37);
    auto *p = static_cast<unsigned char *>(vm_get_frame(h));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 37; ++i)
        ASSERT_EQ(p[i], 0) << i;
    // In use, default 0x8000, and the caller's bit.
    EXPECT_EQ(vm_frame_flags(h), 0x2000u | 0x8000u | 0x0010u);
    vm_clear_attr(0x8000 | 0x2000);
    EXPECT_EQ(vm_get_attr(), 0x2000u | 0x0010u);  // the in-use bit stays
}

TEST_F(StoreTest, ReallocKeepsContentAndZeroSizeKeepsTheHandle)
{
    vm_open_file(base("a").c_str());
    const int h = vm_malloc(4);
    std::memcpy(vm_get_frame(h), "abc", 4);
    auto *p = static_cast<char *>(vm_realloc(h, 8));
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "abc");
    EXPECT_EQ(p[5], 0);
    EXPECT_EQ(vm_frame_size(h), 8);
    EXPECT_EQ(vm_realloc(h, 0), nullptr);
    EXPECT_EQ(vm_frame_size(h), 0);
    EXPECT_TRUE(vm_frame_exists(h));
    // The next frame still gets a new handle: handles are never reused.
    EXPECT_EQ(vm_malloc(1), h + 1);
}

TEST_F(StoreTest, LookUpFailuresGiveNullAndReportErrors)
{
    vm_open_file(base("a").c_str());
    const int h = vm_malloc(4);
    vm_realloc(h, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(vm_get_frame(-1), nullptr);
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);  // -1 is no frame, not an error
    EXPECT_EQ(vm_get_frame(5), nullptr);        // beyond the frame count: 2006
    EXPECT_EQ(vm_get_frame(h), nullptr);        // empty frame: 2007
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(err_get_count(PT_MSG_ERROR, 7), 2);
}

TEST_F(StoreTest, OpenFileLimitsAndNames)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(vm_open_file(nullptr), -1);
    const char *names[] = {"f0", "f1", "f2", "f3", "f4", "f5", "f6", "f7"};
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(vm_open_file(names[i]), i);
    EXPECT_EQ(vm_open_file("ninth"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nvmF2009:No filename specified!\n"
              "\nvmF2022:ninth,Cannot open more than 8 files!\n");
    EXPECT_EQ(vm_data(3), "f3.vm6");
    EXPECT_EQ(vm_temp(3), "f3.$$$");
    EXPECT_EQ(vm_back(3), "f3.vmb");
    vm_close_file(3);
    EXPECT_EQ(vm_open_file("again"), 3);  // a closed slot is free again
}

TEST_F(StoreTest, FiddupCopiesAFrameOfAnotherFile)
{
    const int a = vm_open_file("a");
    const int b = vm_open_file("b");
    vm_select_file(a);
    vm_malloc(3);
    const int src = vm_malloc(5);
    std::memcpy(vm_get_frame(src), "hello", 5);
    vm_select_file(b);
    EXPECT_EQ(vm_fiddup(a, -1), -1);
    const int copy = vm_fiddup(a, src);
    EXPECT_EQ(copy, 0);  // first frame of file b
    ASSERT_EQ(vm_frame_size(copy), 5);
    EXPECT_EQ(std::memcmp(vm_get_frame(copy), "hello", 5), 0);
}

TEST_F(StoreTest, SelectFileExchangesTheEnvironmentRecordButKeepsItsFirstMember)
{
    const int a = vm_open_file("a");
    const int b = vm_open_file("b");
    vm_select_file(a);
    vm_malloc(VM_ENVIRONMENT_SIZE);
    vm_select_file(b);
    auto *rb = static_cast<unsigned char *>(vm_get_frame(vm_malloc(VM_ENVIRONMENT_SIZE)));
    rb[8] = 'B';
    std::memset(rb, 0x11, sizeof(void *));  // a stale pointer from another run
    vm_select_file(a);

    PT_ENVIRONMENT record{};
    PT_RUNTIME runtime{};
    record.runtime = &runtime;
    record.body[0] = 'A';
    vm_set_environment_record(&record, a);
    EXPECT_EQ(vm_select_file(b), a);
    EXPECT_EQ(record.body[0], 'B');
    EXPECT_EQ(record.runtime, &runtime);
    EXPECT_EQ(vm_environment_file(), b);
    // The record left behind went into a's frame 0.
    vm_use_file(a);
    EXPECT_EQ(static_cast<unsigned char *>(vm_get_frame(0))[8], 'A');
    vm_set_environment_record(nullptr, -1);
}

TEST_F(StoreTest, PointerModePoolCarvesRoundedZeroedPiecesBeforeTheMarker)
{
    vm_seg_init_ptr_mode();
    EXPECT_EQ(vm_seg(0), nullptr);
    int handle = 7, offset = -1;
    auto *first = static_cast<unsigned char *>(vm_seg_ref(5, &handle, &offset));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(handle, -1);
    EXPECT_EQ(offset, 0);
    // 5 bytes take 8; the marker follows them.
    EXPECT_EQ(std::memcmp(first + 8, "END OF LAST SEGMENT IN FRAME", 29), 0);
    auto *second = static_cast<unsigned char *>(vm_seg_ref(1, &handle, &offset));
    EXPECT_EQ(offset, 8);
    EXPECT_EQ(second, first + 8);
    EXPECT_EQ(second[0], 0);
    EXPECT_EQ(std::memcmp(second + 4, "END OF LAST SEGMENT IN FRAME", 29), 0);
    // A piece must leave room for the marker: 8192 - 30 is the most.
    EXPECT_EQ(vm_seg(8192 - 29), nullptr);
    // A damaged marker stops the pool.
    second[4] = 'X';
    testing::internal::CaptureStdout();
    EXPECT_EQ(vm_seg(4), nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(err_get_count(PT_MSG_ERROR, 7), 2);  // 2031 and 2030
    vm_seg_exit();
}

TEST_F(StoreTest, FrameModePoolBlocksAreFramesAndAFullBlockOpensANewOne)
{
    vm_open_file("a");
    ASSERT_EQ(vm_seg_init(100), 0);  // frame 0 lists the blocks
    int handle = -5, offset = -1;
    auto *p = static_cast<unsigned char *>(vm_seg_ref(40, &handle, &offset));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(handle, 1);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(p, vm_get_frame(1));
    // 40 used; 100 - 40 = 60 free is not enough for 32 + 30.
    vm_seg_ref(32, &handle, &offset);
    EXPECT_EQ(handle, 2);
    EXPECT_EQ(offset, 0);
    vm_seg_ref(28, &handle, &offset);  // 32 + 28 + 30 = 90 fits
    EXPECT_EQ(handle, 2);
    EXPECT_EQ(offset, 32);
    // The list frame holds {handle, used} of each block.
    auto *list = static_cast<std::int32_t *>(vm_get_frame(0));
    EXPECT_EQ(list[0], 1);
    EXPECT_EQ(list[1], 40);
    EXPECT_EQ(list[2], 2);
    EXPECT_EQ(list[3], 60);
    vm_seg_exit();
}

TEST_F(StoreTest, FreePageReleasesDirectoriesAfterTheFirst)
{
    vm_open_file("a");
    for (int i = 0; i < 4003; ++i)
        vm_malloc(2);
    vm_reset_environ();
    EXPECT_EQ(vm_frame_count(0), 4000);
    EXPECT_EQ(vm_frame_ptr(4096), nullptr);
    EXPECT_NE(vm_frame_ptr(3999), nullptr);
}

TEST_F(StoreTest, SeventeenthDirectoryStopsWithStatusNine)
{
    vm_open_file(base("full").c_str());
    for (int i = 0; i < 64000; ++i)
        ASSERT_NE(vm_malloc(1), -1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(exit_status_of([] { vm_malloc(1); }), 9);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nvmF2005:All frame directories are full!\n");
    EXPECT_EQ(text_of(base("full") + ".lo1"), "Internal error:All frame directories are full.\n");
}
