// The error system: the process-wide LMRError, the handlers, collecting and
// flushing.
#include <Lmr_Util/ConsoleReport.h>
#include <Lmr_Util/ErrorSystem.h>
#include <Lmr_Util/HardExit.h>
#include <Lmr_Zutils/pt_msg.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// What a recording handler saw: module, number, type, the one text argument.
struct Seen {
    int module;
    int number;
    int type;
    std::string text;
    bool operator==(const Seen &other) const {
        return module == other.module && number == other.number && type == other.type &&
               text == other.text;
    }
};

std::vector<Seen> seen;

unsigned char recordText(const ErrorCode &code, int errorType, char *arguments) {
    va_list *list = reinterpret_cast<va_list *>(arguments);
    const char *text = va_arg(*list, const char *);
    seen.push_back({code.RetModule(), code.RetErrNum(), errorType, text});
    return 7;
}

unsigned char recordIntAndText(const ErrorCode &code, int errorType, char *arguments) {
    va_list *list = reinterpret_cast<va_list *>(arguments);
    int value = va_arg(*list, int);
    const char *text = va_arg(*list, const char *);
    seen.push_back({code.RetModule(), code.RetErrNum(), errorType, std::to_string(value) + text});
    return 3;
}

class ErrorSystemTest : public testing::Test {
protected:
    void SetUp() override { seen.clear(); }
    void TearDown() override {
        // Leave nothing collected and the process-wide handler as loaded.
        ErrorSystem quiet(QuietErrorHandler);
        FlushGlobalErrorList(quiet);
        LMRError.SetErrorHandler(PTErrorHandler);
    }
    ErrorSystem recorder{recordText};
};

} // namespace

TEST_F(ErrorSystemTest, LmrErrorStartsWithPTErrorHandler) {
    EXPECT_EQ(LMRError.RetErrorHandler(), &PTErrorHandler);
}

TEST_F(ErrorSystemTest, HandlerGetsCodeTypeAndArguments) {
    ErrorSystem system(recordIntAndText);
    EXPECT_EQ(system(ErrorCode(4, 12), 2, 42, "x"), 3);
    EXPECT_EQ(system.SetErrorHandler(recordText), &recordIntAndText);
    EXPECT_EQ(system.RetErrorHandler(), &recordText);
    EXPECT_EQ(system(ErrorCode(5, 6), 1, "y"), 7);
    ErrorSystem copy(QuietErrorHandler);
    copy = system;
    EXPECT_EQ(copy.RetErrorHandler(), &recordText);
    EXPECT_EQ(seen, (std::vector<Seen>{{4, 12, 2, "42x"}, {5, 6, 1, "y"}}));
}

TEST_F(ErrorSystemTest, DefaultAndQuietHandlers) {
    ErrorSystem system(DefaultErrorHandler);
    testing::internal::CaptureStderr();
    EXPECT_EQ(system(ErrorCode(5, 17), 2), 0);
    system.SetErrorHandler(QuietErrorHandler);
    EXPECT_EQ(system(ErrorCode(6, 18), 1, "ignored"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "(ErrorType,Module,ErrNum) = (2,5,17)\n");
}

TEST_F(ErrorSystemTest, PTErrorHandlerReportsTheMessageCode) {
    // Number 0: the manager records the code and prints nothing, so the one
    // output is the line feed ending the pending progress text.
    IMessagePrinted = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(LMRError(ErrorCode(1, 0), 1), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n");
    EXPECT_EQ(IMessagePrinted, 0);
    EXPECT_EQ(err_last_code(), 16842752);

    testing::internal::CaptureStdout();
    EXPECT_EQ(PTErrorHandler(ErrorCode(3, 0), 2, nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(err_last_code(), 3 * 16777216 + 2 * 65536);
}

TEST_F(ErrorSystemTest, PTErrorHandlerPassesTheArgumentsOn) {
    // A catalogue of our own for component 17 ("epld_ro").
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("lmr_errors_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "epld_ro.txt") << "17 Value %s is bad in %s.\\n\n18 Nets without driver: %s.\\n\n";
    pt_set_catalogue_dir(folder.c_str());

    const int warnings = err_get_total(1);
    testing::internal::CaptureStdout();
    LMRError(ErrorCode(17, 17), 1, "abc", "net7");
    const std::string direct = testing::internal::GetCapturedStdout();

    // Collected texts arrive as the one argument of the flushed error.
    LMRError.SetErrorHandler(CollectErrorHandler1);
    LMRError(ErrorCode(17, 18), 1, "a");
    LMRError(ErrorCode(17, 18), 1, "b");
    LMRError.SetErrorHandler(PTErrorHandler);
    testing::internal::CaptureStdout();
    ErrorSystem toMessages(PTErrorHandler);
    FlushGlobalErrorList(toMessages);
    const std::string flushed = testing::internal::GetCapturedStdout();

    pt_set_catalogue_dir(nullptr);
    std::filesystem::remove_all(folder);
    EXPECT_NE(direct.find("Value abc is bad in net7.\n"), std::string::npos) << direct;
    EXPECT_NE(flushed.find("Nets without driver: a, b.\n"), std::string::npos) << flushed;
    EXPECT_EQ(err_get_total(1), warnings + 2);
    EXPECT_EQ(err_last_code(), 17 * 16777216 + 65536 + 18);
}

namespace {
class NoteCleanup : public Lmr_HardExit {
public:
    void Cleanup() override { std::fputs("cleanup ran\n", stderr); }
};
} // namespace

TEST_F(ErrorSystemTest, PTExitErrorHandlerEndsThroughHardExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            NoteCleanup cleanup;
            Lmr_HardExit::HardExit = &cleanup;
            LMRError.SetErrorHandler(PTExitErrorHandler);
            LMRError(ErrorCode(1, 0), 1);
        },
        testing::ExitedWithCode(0), "cleanup ran\n");
}

TEST_F(ErrorSystemTest, SameErrorFlushedOnceWithAllArguments) {
    LMRError.SetErrorHandler(CollectErrorHandler1);
    EXPECT_EQ(LMRError(ErrorCode(2, 40), 1, "A"), 0);
    EXPECT_EQ(LMRError(ErrorCode(2, 40), 1, "B"), 0);
    EXPECT_EQ(FlushGlobalErrorList(recorder), 1);
    EXPECT_EQ(seen, (std::vector<Seen>{{2, 40, 1, "A, B"}}));
    // The collection is empty afterwards.
    seen.clear();
    EXPECT_EQ(FlushGlobalErrorList(recorder), 1);
    EXPECT_TRUE(seen.empty());
}

TEST_F(ErrorSystemTest, TwoArgumentsAndFirstOccurrenceOrder) {
    ErrorSystem collect2(CollectErrorHandler2);
    ErrorSystem collect1(CollectErrorHandler1);
    collect2(ErrorCode(7, 1), 2, "A", "B");
    collect1(ErrorCode(7, 2), 2, "only");
    collect2(ErrorCode(7, 1), 2, "C", "D");
    // Same module and number, other type: another error.
    collect1(ErrorCode(7, 1), 1, "warn");
    collect1(ErrorCode(7, 2), 2, "");
    FlushGlobalErrorList(recorder);
    EXPECT_EQ(seen, (std::vector<Seen>{{7, 1, 2, "(A,B), (C,D)"},
                                       {7, 2, 2, "only, "},
                                       {7, 1, 1, "warn"}}));
}

TEST_F(ErrorSystemTest, KeysThatRunTogetherStaySeparate) {
    // "ESSE::" 1 23 4 and 12 3 4 read alike without separators.
    ErrorSystem collect1(CollectErrorHandler1);
    collect1(ErrorCode(1, 23), 4, "first");
    collect1(ErrorCode(12, 3), 4, "second");
    collect1(ErrorCode(1, 23), 4, "third");
    FlushGlobalErrorList(recorder);
    EXPECT_EQ(seen, (std::vector<Seen>{{1, 23, 4, "first, third"}, {12, 3, 4, "second"}}));
}

TEST_F(ErrorSystemTest, JoinedTextIsCutAt1500Characters) {
    ErrorSystem collect1(CollectErrorHandler1);
    // Ten characters each: after k texts the join holds 10 + 12 (k - 1)
    // characters, 1498 after 125 and 1510 after 126, so text 127 is not
    // added and ", ..." ends the text.
    for (int i = 0; i < 200; ++i)
        collect1(ErrorCode(3, 3), 2, "abcdefghij");
    FlushGlobalErrorList(recorder);
    ASSERT_EQ(seen.size(), 1u);
    std::string expected = "abcdefghij";
    for (int i = 1; i < 126; ++i)
        expected += ", abcdefghij";
    expected += ", ...";
    EXPECT_EQ(seen[0].text.size(), 1515u);
    EXPECT_EQ(seen[0].text, expected);

    // Exactly 1500 characters already: cut before the next text; 1499: not.
    seen.clear();
    const std::string t1500(1500, 'x'), t1499(1499, 'y');
    collect1(ErrorCode(3, 4), 2, t1500.c_str());
    collect1(ErrorCode(3, 4), 2, "z");
    collect1(ErrorCode(3, 5), 2, t1499.c_str());
    collect1(ErrorCode(3, 5), 2, "z");
    FlushGlobalErrorList(recorder);
    EXPECT_EQ(seen, (std::vector<Seen>{{3, 4, 2, t1500 + ", ..."}, {3, 5, 2, t1499 + ", z"}}));
}

TEST_F(ErrorSystemTest, HandlerThatCollectsDuringFlush) {
    ErrorSystem collect1(CollectErrorHandler1);
    collect1(ErrorCode(9, 1), 2, "a");
    collect1(ErrorCode(9, 2), 2, "b");
    // Flushing into the collecting handler moves the errors into a new
    // collection, with their joined texts as the arguments.
    FlushGlobalErrorList(collect1);
    collect1(ErrorCode(9, 1), 2, "c");
    FlushGlobalErrorList(recorder);
    EXPECT_EQ(seen, (std::vector<Seen>{{9, 1, 2, "a, c"}, {9, 2, 2, "b"}}));
}
