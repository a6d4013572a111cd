// Message reporting and run status: codes, the common reporting path with its
// special cases, the head rewrite, wrapping and indentation, the routing by
// type, the statistics and the end of the run.  Expected texts are written
// from the message format: "[LABEL]:" head, short catalogue name, number,
// " - ", the catalogue text.
#include <Lmr_Zutils/msgman.h>
#include <Lmr_Zutils/pt_alias.h>
#include <Lmr_Zutils/pt_msg.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string readAll(FILE *stream)
{
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        text.append(buffer, n);
    return text;
}

class Messages : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt_reset_messages();
        dir_ = fs::temp_directory_path() / ("zutils_messages_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        writeCatalogue("epld_pt", "# tool environment\n"
                                  "17 Unable to open the log file %s.\\n\n"
                                  "20 Info about %d items.\\n\n"
                                  "21  Two values: %s and %d.\\n\n"
                                  "5001 Rounded %s.\\n\n"
                                  "30 Never %n here.\\n\n"
                                  "40 Ended early.\\n\n");
        writeCatalogue("epld_db", "4 Record %d lost.\\n\r\n");
        pt_set_catalogue_dir(dir_.c_str());
        previousHook_ = pt_set_exit_hook(pt_throw_exit_request);
    }

    void TearDown() override
    {
        pt_set_exit_hook(previousHook_);
        pt_set_alias("NO_MESSAGES", nullptr);
        pt_set_catalogue_dir(nullptr);
        Environ = nullptr;
        pt_reset_messages();
        fs::remove_all(dir_);
    }

    void writeCatalogue(const std::string &name, const std::string &text)
    {
        std::ofstream(dir_ / (name + ".txt"), std::ios::binary) << text;
    }

    // Reports a code and returns what reached standard output.
    template <typename... Args> std::string report(int code, Args... args)
    {
        testing::internal::CaptureStdout();
        result_ = pt_msg(code, args...);
        return testing::internal::GetCapturedStdout();
    }

    fs::path dir_;
    int result_ = 0;
    pt_exit_hook_t previousHook_ = nullptr;
};

TEST(MessageCodes, FieldsOfACode)
{
    EXPECT_EQ(pt_code_component(16842769), 1);
    EXPECT_EQ(pt_code_type(16842769), 1);
    EXPECT_EQ(pt_code_number(16842769), 17);
    EXPECT_EQ(pt_make_code(1, 1, 17), 16842769);
    EXPECT_EQ(pt_make_code(23, 5, 65535), 0x1705ffff);
    EXPECT_STREQ(pt_component_name(0), "??");
    EXPECT_STREQ(pt_component_name(15), "epld_ppi");
    EXPECT_STREQ(pt_component_name(21), "epld_tl6");
    EXPECT_STREQ(pt_component_name(23), "epld_rd");
    EXPECT_STREQ(pt_component_name(24), "!!");
}

TEST_F(Messages, WarningIsWrittenWithRewrittenHeadAndCounted)
{
    EXPECT_EQ(report(pt_make_code(1, 1, 17), "run.log"), "[WARNING]:pt17 - Unable to open the log file run.log.\n");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(err_get_total(PT_MSG_WARNING), 1);
    EXPECT_EQ(err_get_count(PT_MSG_WARNING, 1), 1);
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);
    EXPECT_STREQ(pt_current_catalogue(), "epld_pt");
    EXPECT_EQ(err_last_code(), pt_make_code(1, 1, 17));
}

TEST_F(Messages, ErrorOfAnotherCatalogueAndCrLfCatalogueLines)
{
    EXPECT_EQ(report(pt_make_code(2, 2, 4), 12), "[ERROR]:db4 - Record 12 lost.\n");
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 1);
    EXPECT_EQ(err_get_count(PT_MSG_ERROR, 2), 1);
    EXPECT_STREQ(pt_current_catalogue(), "epld_db");
}

TEST_F(Messages, InfoStatusAndLogScreenHaveNoHeadAndAreNotCounted)
{
    EXPECT_EQ(report(pt_make_code(1, 0, 20), 3), "Info about 3 items.\n");
    EXPECT_EQ(report(pt_make_code(1, 3, 20), 4), "Info about 4 items.\n");
    EXPECT_EQ(report(pt_make_code(1, 4, 21), "a", 7), "Two values: a and 7.\n");
    EXPECT_EQ(err_get_total(PT_MSG_INFO), 0);
    EXPECT_EQ(err_get_total(PT_MSG_WARNING), 0);
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);
}

TEST_F(Messages, NumberZeroPrintsAndCountsNothing)
{
    EXPECT_EQ(report(pt_make_code(1, 2, 0)), "");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);
    EXPECT_EQ(err_last_code(), pt_make_code(1, 2, 0));
}

TEST_F(Messages, NumbersFrom5001To5999AreWarnings)
{
    EXPECT_EQ(report(pt_make_code(1, 2, 5001), "x"), "[WARNING]:pt5001 - Rounded x.\n");
    EXPECT_EQ(err_get_total(PT_MSG_WARNING), 1);
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);
}

TEST_F(Messages, NoMessagesAliasPrintsTheCodeOnly)
{
    pt_set_alias("NO_MESSAGES", "1");
    EXPECT_EQ(report(pt_make_code(1, 1, 17), "run.log"), "epld_pt:1:17\n");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(err_get_total(PT_MSG_WARNING), 0);
    // No catalogue is needed: a component without one prints the same way.
    EXPECT_EQ(report(pt_make_code(9, 2, 3)), "epld_pc:2:3\n");
    pt_set_alias("NO_MESSAGES", nullptr);
    EXPECT_EQ(report(pt_make_code(1, 1, 17), "b"), "[WARNING]:pt17 - Unable to open the log file b.\n");
}

TEST_F(Messages, MissingCatalogueIsReportedAndRetried)
{
    EXPECT_EQ(report(pt_make_code(3, 2, 1)), "Unable to load message file: epld_pl.txt\n");
    EXPECT_EQ(result_, -1);
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);
    writeCatalogue("epld_pl", "1 Placed.\\n\n");
    EXPECT_EQ(report(pt_make_code(3, 2, 1)), "[ERROR]:pl1 - Placed.\n");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 1);
}

TEST_F(Messages, MalformedCodesAreInternalErrors)
{
    EXPECT_EQ(report(pt_make_code(1, 7, 3)), "Internal Error: bad status! (S=1,T=7,E=3)\n");
    EXPECT_EQ(result_, -1);
    EXPECT_EQ(err_get_total(PT_MSG_WARNING), 1);
    EXPECT_EQ(err_get_count(PT_MSG_WARNING, 1), 1);
    EXPECT_EQ(report(pt_make_code(30, 1, 5)), "Internal Error: bad status! (S=30,T=1,E=5)\n");
    EXPECT_EQ(report(static_cast<int>(0x81010005u)), "Internal Error: bad status! (S=129,T=1,E=5)\n");
    EXPECT_EQ(err_get_total(PT_MSG_WARNING), 3);
}

TEST_F(Messages, MissingNumberAndUnsafePlaceholders)
{
    EXPECT_EQ(report(pt_make_code(1, 0, 99)), "Message 99 is missing from epld_pt.txt.\n");
    // %n is never handed to the formatter: the text is written as it is.
    EXPECT_EQ(report(pt_make_code(1, 0, 30)), "Never %n here.\n");
}

TEST_F(Messages, DisabledMessagesAreNotWrittenNorCounted)
{
    DisableMessages();
    EXPECT_EQ(report(pt_make_code(1, 2, 17), "x"), "");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);
    EXPECT_EQ(err_last_code(), pt_make_code(1, 2, 17));
    EnableMessages();
    EXPECT_EQ(report(pt_make_code(1, 2, 17), "x"), "[ERROR]:pt17 - Unable to open the log file x.\n");
}

TEST_F(Messages, ErrorTypeConversionMakesAutomaticErrors)
{
    DoErrorTypeConversion = 1;
    EXPECT_EQ(report(pt_make_code(1, 2, 17), "x"), "[ERROR]:pt17 - Unable to open the log file x.\n");
    EXPECT_EQ(err_last_auto_error(), 17);
    // Counted with its own type: still an error of the run.
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 1);
}

TEST_F(Messages, StatisticsCountOnlyWarningsAndErrorsOfRealComponents)
{
    err_maintain_statistics(pt_make_code(0, 2, 1));
    err_maintain_statistics(pt_make_code(24, 2, 1));
    err_maintain_statistics(pt_make_code(5, 0, 1));
    err_maintain_statistics(pt_make_code(5, 3, 1));
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);
    EXPECT_EQ(err_get_total(PT_MSG_INFO), 0);
    err_maintain_statistics(pt_make_code(23, 2, 1));
    err_maintain_statistics(pt_make_code(23, 1, 1));
    EXPECT_EQ(err_get_count(PT_MSG_ERROR, 23), 1);
    EXPECT_EQ(err_get_count(PT_MSG_WARNING, 23), 1);
    err_init();
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 0);
    EXPECT_EQ(err_get_count(PT_MSG_WARNING, 23), 0);
    EXPECT_STREQ(err_type_name(0), "Info");
    EXPECT_STREQ(err_type_name(1), "Warning");
    EXPECT_STREQ(err_type_name(2), "Error");
}

TEST_F(Messages, RunStatusFollowsTheCountedErrors)
{
    report(pt_make_code(1, 1, 17), "x");
    report(pt_make_code(1, 0, 20), 1);
    EXPECT_EQ(pt_main2(0), 0);
    EXPECT_EQ(pt_main2(-1), 2);
    try {
        pt_exit();
        FAIL() << "pt_exit returned";
    } catch (const pt_exit_request &request) {
        EXPECT_EQ(request.status, 0);
    }
    report(pt_make_code(1, 2, 17), "x");
    try {
        pt_exit();
        FAIL() << "pt_exit returned";
    } catch (const pt_exit_request &request) {
        EXPECT_EQ(request.status, 2);
    }
}

TEST_F(Messages, MainEndReportsAStatusCode)
{
    // A status other than 0 and -1 is a message code: reported, and the run
    // ends with 2.
    testing::internal::CaptureStdout();
    int status = pt_main2(pt_make_code(1, 1, 40));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[WARNING]:pt40 - Ended early.\n");
    EXPECT_EQ(status, 2);
}

TEST(Indentation, LevelsAndAutoIndent)
{
    pt_reset_messages();
    AddIndentLevel();
    AddIndentLevel();
    EXPECT_EQ(global_indent, 8);
    SubIndentLevel();
    EXPECT_EQ(global_indent, 4);
    SubIndentLevel();
    SubIndentLevel();
    EXPECT_EQ(global_indent, 0);
    AddIndentLevel();
    AutoIndent("OTHER");
    EXPECT_EQ(global_indent, 4);
    AutoIndent("SINGLE");
    EXPECT_EQ(global_indent, 0);
    AddIndentLevel();
    AutoIndent("MULTIPLE");
    EXPECT_EQ(global_indent, 0);
    AddIndentLevel();
    AutoIndent("AUTO");
    EXPECT_EQ(global_indent, 0);
}

TEST(Wrapping, LinesBreakAtTheLastSpaceBeforeColumn77)
{
    std::string text;
    for (int i = 0; i < 16; ++i)
        text += "word ";
    text += "end\n";
    // 4 + 14 words with 13 spaces = 73 characters; the 15th word would end
    // at column 78.
    std::string expected = "    word word word word word word word word word word word word word word\n"
                           "    word word end\n";
    EXPECT_EQ(pt_wrap_message(text, 4), expected);
}

TEST(Wrapping, ExactlyFullLineIsKeptAndLongWordsAreCut)
{
    std::string full(77, 'a');
    EXPECT_EQ(pt_wrap_message(full + "\n", 0), full + "\n");
    std::string word(80, 'x');
    EXPECT_EQ(pt_wrap_message(word, 2), "  " + std::string(75, 'x') + "\n  xxxxx");
    EXPECT_EQ(pt_wrap_message("one\ntwo\n\nthree", 3), "   one\n   two\n\n   three");
}

TEST(HeadRewrite, LabelHeadAndPlainText)
{
    EXPECT_EQ(pt_rewrite_head("[ERROR]:epld_pt 17 - text\n", "epld_pt", 17), "[ERROR]:pt17 - text\n");
    EXPECT_EQ(pt_rewrite_head("[WARNING]:epld_tl621 - t", "epld_tl6", 21), "[WARNING]:tl621 - t");
    // No label head: the short name and number go after the leading spaces.
    EXPECT_EQ(pt_rewrite_head("  Some text: more", "epld_db", 9), "  db9 - Some text: more");
    // Head too short for the 8-character field: the rest is replaced.
    EXPECT_EQ(pt_rewrite_head("[ERROR]:ab", "epld_pt", 1), "[ERROR]:pt");
}

class Routing : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt_reset_messages();
        log_ = std::tmpfile();
        report_ = std::tmpfile();
        runtime_.log_stream = log_;
        runtime_.report_stream = report_;
        environment_.runtime = &runtime_;
        Environ = &environment_;
    }
    void TearDown() override
    {
        Environ = nullptr;
        std::fclose(log_);
        std::fclose(report_);
    }

    std::string write(int type, const char *text)
    {
        EPLD_MSGMAN manager;
        manager.set_errfile_name("epld_pt");
        testing::internal::CaptureStdout();
        switch (type) {
        case 0: manager.epld_msg_info(text); break;
        case 1: manager.epld_msg_warning(text); break;
        case 2: manager.epld_msg_error(text); break;
        case 4: manager.epld_msg_log_screen(text); break;
        case 5: manager.epld_msg_auto_error(text); break;
        default: manager.epld_msg_status(text); break;
        }
        return testing::internal::GetCapturedStdout();
    }

    FILE *log_ = nullptr;
    FILE *report_ = nullptr;
    PT_RUNTIME runtime_{};
    PT_ENVIRONMENT environment_{};
};

TEST_F(Routing, ManagerRoutesByType)
{
    EXPECT_EQ(write(0, "info\n"), "");
    EXPECT_EQ(write(3, "status\n"), "status\n");
    EXPECT_EQ(write(4, "both\n"), "both\n");
    EXPECT_EQ(write(1, "warn\n"), "pt0 - warn\n");
    EXPECT_EQ(readAll(log_), "info\nboth\npt0 - warn\n");
    EXPECT_EQ(readAll(report_), "pt0 - warn\n");
}

TEST_F(Routing, ReportIntoTheLogIsWrittenOnce)
{
    runtime_.report_stream = log_;
    EXPECT_EQ(write(2, "[ERROR]:xxxxxxxx1 - e\n"), "[ERROR]:pt1 - e\n");
    EXPECT_EQ(readAll(log_), "[ERROR]:pt1 - e\n");
}

TEST_F(Routing, ConsoleLogMeansNoSecondCopy)
{
    runtime_.log_stream = nullptr;
    runtime_.report_stream = nullptr;
    EXPECT_EQ(write(4, "both\n"), "both\n");
    EXPECT_EQ(write(5, "auto\n"), "pt0 - auto\n");
}

TEST_F(Routing, IndentationAppliesToEveryLine)
{
    global_indent = 2;
    EXPECT_EQ(write(3, "a\nb\n"), "  a\n  b\n");
}

TEST_F(Routing, ReadyTextsThroughErrWrite)
{
    testing::internal::CaptureStdout();
    err_write("w\n", 1);
    err_write("i\n", 0);
    err_write("l\n", 4);
    err_write("s\n", 3);
    DoErrorTypeConversion = 1;
    err_write("x [Error] y\n", 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "w\nl\ns\nx  y\n");
    EXPECT_EQ(readAll(report_), "w\nx  y\n");
    EXPECT_EQ(readAll(log_), "w\ni\nl\nx  y\n");
}

TEST(RoutingWithoutEnvironment, StatusAndLogTextsReachTheConsole)
{
    Environ = nullptr;
    testing::internal::CaptureStdout();
    err_write("a\n", 3);
    err_write("b\n", 0);
    err_write("c\n", 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "a\nb\nc\n");
}

TEST(ShippedCatalogues, FoundBesideTheLibrary)
{
    pt_reset_messages();
    pt_set_catalogue_dir(nullptr);
    ::unsetenv("MYMORVANE");
    ::unsetenv("MORVANE");
    testing::internal::CaptureStdout();
    int result = pt_msg(pt_make_code(13, 1, 701), "net_with_a_long_name");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[WARNING]:hi701 - net_with_a_long_name is too long as a name.\n");
    EXPECT_EQ(result, 0);
    pt_reset_messages();
}

TEST(ShippedCatalogues, InstallationFolderFromTheEnvironment)
{
    pt_reset_messages();
    fs::path root = fs::temp_directory_path() / ("zutils_env_" + std::to_string(::getpid()));
    fs::create_directories(root / "epld" / "data");
    std::ofstream(root / "epld" / "data" / "epld_rt.txt") << "3 Routed %d nets.\\n\n";
    ::setenv("MORVANE", root.c_str(), 1);
    testing::internal::CaptureStdout();
    pt_msg(pt_make_code(4, 0, 3), 5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Routed 5 nets.\n");
    ::unsetenv("MORVANE");
    fs::remove_all(root);
    pt_reset_messages();
}

} // namespace
