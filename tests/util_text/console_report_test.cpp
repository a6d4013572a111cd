// Console reports and the exits: HGerr with and without a number, the
// pending progress line, screen messages, PTerrReport's failure text, the
// hard exit with its clean-up and __EPLD_Assert.
#include <Lmr_Util/ConsoleReport.h>
#include <Lmr_Util/HardExit.h>
#include <Lmr_Zutils/pt_msg.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <string>

namespace {

class ConsoleReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt_reset_messages();
        IMessagePrinted = 0;
        Lmr_HardExit::HardExit = nullptr;
        previous_ = pt_set_exit_hook(pt_throw_exit_request);
    }
    void TearDown() override
    {
        pt_set_exit_hook(previous_);
        Lmr_HardExit::HardExit = nullptr;
        IMessagePrinted = 0;
        pt_reset_messages();
    }

    // Runs f, which must end the process, and returns the exit status.
    template <typename F> int exitStatusOf(F f)
    {
        try {
            f();
        } catch (const pt_exit_request &request) {
            return request.status;
        }
        ADD_FAILURE() << "the call returned";
        return -100;
    }

    pt_exit_hook_t previous_ = nullptr;
};

TEST_F(ConsoleReport, UnnumberedLinesBySeverity)
{
    testing::internal::CaptureStderr();
    HGerr(0, 'W', "Pin count differs", nullptr);
    HGerr(0, 'E', "Bad net", "n1");
    HGerr(0, 'B', "Begin", nullptr);
    HGerr(0, 'M', "Note", "x");
    HGerr(0, 'X', "Never shown", "y");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: Pin count differs.\nError: Bad net n1.\nMessage: Begin.\nMessage: Note x.\n");
    // The unnumbered error counts: the run would end with 2.
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 1);
    EXPECT_EQ(err_get_total(PT_MSG_WARNING), 0);
}

TEST_F(ConsoleReport, FatalEndsThroughTheHardExitWithStatus2)
{
    testing::internal::CaptureStderr();
    int status = exitStatusOf([] { HGerr(0, 'F', "Out of room", "table"); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Fatal: Out of room table.\n");
    EXPECT_EQ(status, 2);
}

struct RecordingCleanup : Lmr_HardExit {
    int *calls;
    explicit RecordingCleanup(int *c) : calls(c) {}
    void Cleanup() override { ++*calls; }
};

TEST_F(ConsoleReport, HardExitRunsTheRegisteredCleanup)
{
    int calls = 0;
    RecordingCleanup cleanup(&calls);
    Lmr_HardExit::HardExit = &cleanup;
    EXPECT_EQ(exitStatusOf([] { Lmr_HardExit::Exit(); }), 0);
    EXPECT_EQ(calls, 1);
    // Without a registered instance the exit still happens.
    Lmr_HardExit::HardExit = nullptr;
    err_maintain_statistics(pt_make_code(5, PT_MSG_ERROR, 3));
    EXPECT_EQ(exitStatusOf([] { Lmr_HardExit::Exit(); }), 2);
    EXPECT_EQ(calls, 1);
}

TEST_F(ConsoleReport, NumberedReportsGoThroughTheMessageReporting)
{
    testing::internal::CaptureStdout();
    HGerr(701, 'W', "ignored text", "ignored detail", "q_long");
    HGerr(701, 'B', nullptr, nullptr, "q_b");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[WARNING]:hi701 - q_long is too long as a name.\nq_b is too long as a name.\n");
    EXPECT_EQ(err_get_count(PT_MSG_WARNING, 13), 1);
}

TEST_F(ConsoleReport, ProgressLineIsEndedBeforeAnError)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    HProgress("Reading...");
    EXPECT_EQ(IMessagePrinted, 1);
    HGerr(0, 'W', "late", nullptr);
    EXPECT_EQ(IMessagePrinted, 0);
    HGerr(0, 'W', "later", nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning: late.\nWarning: later.\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Reading...\n");
}

TEST_F(ConsoleReport, ScreenMessageIsIndented)
{
    global_indent = 4;
    testing::internal::CaptureStdout();
    ScreenMessage("%s %d\n", "pins", 12);
    global_indent = 0;
    ScreenMessage("%s\n", std::string(300, 'z').c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "    pins 12\n" + std::string(300, 'z') + "\n");
}

void reportThroughModule(int module, char severity, int number, ...)
{
    va_list arguments;
    va_start(arguments, number);
    PTerrReport(module, severity, number, arguments);
    va_end(arguments);
}

TEST_F(ConsoleReport, FailedReportIsToldOnStandardError)
{
    ::unsetenv("MYMORVANE");
    ::unsetenv("MORVANE");
    // Module 3 has no shipped catalogue.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    reportThroughModule(3, 'E', 5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Internal fatal error! Program aborted.]\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to load message file: epld_pl.txt\n");
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);
}

TEST_F(ConsoleReport, SeverityGivesTheMessageType)
{
    testing::internal::CaptureStdout();
    reportThroughModule(13, 'M', 701, "m");
    reportThroughModule(13, 'E', 701, "e");
    reportThroughModule(13, 'Z', 701, "z");
    HGerr(5, 'E', nullptr, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "m is too long as a name.\n"
              "[ERROR]:hi701 - e is too long as a name.\n"
              "[WARNING]:hi701 - z is too long as a name.\n"
              "[ERROR]:hi5 - Message 5 is missing from epld_hi.txt.\n");
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 2);
    EXPECT_EQ(err_get_total(PT_MSG_WARNING), 1);
}

TEST_F(ConsoleReport, AssertEndsWithStatus2WithoutCleanup)
{
    int calls = 0;
    RecordingCleanup cleanup(&calls);
    Lmr_HardExit::HardExit = &cleanup;
    testing::internal::CaptureStderr();
    int status = exitStatusOf([] { __EPLD_Assert("scan.cpp", 417); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Unexpected error detected.\nPlease report to Morvane with reference: \"scan.cpp:417\"\n");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(calls, 0);
}

} // namespace
