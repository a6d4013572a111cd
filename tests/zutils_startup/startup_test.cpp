// pt_main1: title lines, argument files, the common switches, a fresh or a
// reloaded environment, log and report files, and the save at pt_main2.
#include "startup_fixture.h"

#include <cstring>

namespace {
std::vector<std::string> words_of(int argc, char **argv)
{
    return std::vector<std::string>(argv, argv + argc);
}
}  // namespace

TEST_F(StartupTest, TitleLinesAndArgumentFiles)
{
    write_text("args.txt", "-! \"two words\"\tplain\n  -DEBUG\n\"\"");
    ASSERT_EQ(start({"first", "@args.txt", "@missing.txt", "last"}), 0);
    EXPECT_EQ(output,
              "\nTitle line\nSecond line\n"
              "Warning! cannot read the argument file missing.txt.\n");
    EXPECT_EQ(words_of(argc, argv),
              (std::vector<std::string>{"tool", "first", "-!", "two words", "plain", "-DEBUG", "", "last"}));
    EXPECT_EQ(argv[argc], nullptr);
    EXPECT_EQ(pt_run_flags(), PT_RUN_DEFAULT | PT_RUN_DEBUG);
    EXPECT_STREQ(pt_env_title(), "Title line");
}

TEST_F(StartupTest, SwitchesInEitherCaseAndValueSwitchesNeedTwoLettersAndAValue)
{
    ASSERT_EQ(start({"-!", "-a", "-s", "-o", "out.db", "-Lx", "name", "-L"}), 0);
    const PT_SWITCHES &s = pt_switches();
    EXPECT_TRUE(s.append);
    EXPECT_TRUE(s.save);
    EXPECT_FALSE(s.debug);
    EXPECT_STREQ(s.output, "out");  // extension dropped
    EXPECT_EQ(s.log, nullptr);      // "-Lx" is not -L, and the last -L has no value
    EXPECT_EQ(s.input, nullptr);
    EXPECT_EQ(pt_run_flags(), PT_RUN_DEFAULT);
}

TEST_F(StartupTest, MissingConfigurationFailsTheStart)
{
    EXPECT_EQ(start({}), 2);
    EXPECT_EQ(err_get_count(PT_MSG_ERROR, 1), 1);
}

TEST_F(StartupTest, ConfigurationFileNamedByC)
{
    write_text("tool.cfg", "(alias board proto)");
    ASSERT_EQ(start({"-C", "tool.cfg"}), 0);
    EXPECT_EQ(alias("BOARD"), "proto");
}

TEST_F(StartupTest, SaveAtTheEndAndReloadWithI)
{
    ASSERT_EQ(start({"-!", "-S", "-O", "saved.vm6"}), 0);
    pt_set_alias("kept", "yes");
    pt_set_alias("POWER_NET", "VDD");
    EXPECT_EQ(pt_main2(0), 0);
    EXPECT_EQ(Environ, nullptr);
    ASSERT_TRUE(std::filesystem::exists("saved.vm6"));
    EXPECT_FALSE(std::filesystem::exists("toolbase.vm6"));

    write_text("late.cfg", "(alias late 1)");
    ASSERT_EQ(start({"-I", "saved.vm6", "-C", "late.cfg", "-DEBUG"}), 0);
    EXPECT_EQ(alias("kept"), "yes");
    EXPECT_EQ(alias("POWER_NET"), "VDD");
    EXPECT_EQ(alias("COMPONENT_DIR"), "clib");
    EXPECT_EQ(alias("late"), "1");  // -C with -I: read after the reload
    EXPECT_EQ(pt_run_flags(), PT_RUN_DEFAULT | PT_RUN_DEBUG);
    EXPECT_NE(Environ->runtime, nullptr);
    EXPECT_EQ(Environ->runtime->log_stream, stdout);
}

TEST_F(StartupTest, NoSaveAfterAnError)
{
    ASSERT_EQ(start({"-!", "-S"}), 0);
    testing::internal::CaptureStdout();
    pt_err((7 << 24) | (2 << 16) | 2006);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(pt_main2(0), 2);
    EXPECT_FALSE(std::filesystem::exists("toolbase.vm6"));
}

TEST_F(StartupTest, ReloadOfAMissingOrDamagedDatabase)
{
    EXPECT_EQ(start({"-I", "absent"}), 2);
    EXPECT_NE(output.find("\nvmF2010:absent.vm6,Cannot open file\n"), std::string::npos);
    EXPECT_EQ(err_get_total(PT_MSG_ERROR), 1);

    write_text("short.vm6", "tiny");
    int status = -1;
    try {
        start({"-I", "short"});
    } catch (const pt_exit_request &e) {
        output = testing::internal::GetCapturedStdout();
        status = e.status;
    }
    EXPECT_EQ(status, 2);
    EXPECT_NE(output.find("\nvmF2011:short.vm6,Invalid file header\n"), std::string::npos);
    EXPECT_EQ(text_of("short.lo1"), "Internal error:Invalid file header.\n");
}

TEST_F(StartupTest, TextDatabaseIsCopiedToTheOutputName)
{
    const std::string text = "LMR Database: design 1\nnet a b\n" + std::string(700, 'x') + "\nend\n";
    write_text("in.vm6", text);
    ASSERT_EQ(start({"-!", "-I", "in", "-O", "out"}), 0);
    EXPECT_EQ(text_of("out.vm6"), text);
    EXPECT_EQ(alias("COMPONENT_EXT"), "vmh");  // a fresh environment
}

TEST_F(StartupTest, LogAndReportFiles)
{
    write_text("run.log", "old line\n");
    ASSERT_EQ(start({"-!", "-L", "run.log", "-E", "run.rpt"}), 0);
    pt_show_alias();
    fputs("report text\n", Environ->runtime->report_stream);
    pt_main2(0);
    const std::string log = text_of("run.log");
    EXPECT_EQ(log.rfind("-=Title line=-\n   COMPONENT_DIR = clib\n", 0), 0u) << log;
    EXPECT_EQ(text_of("run.rpt"), "report text\n");

    // -A appends; -E naming the log file sends the report there.
    ASSERT_EQ(start({"-!", "-A", "-L", "run.log", "-E", "run.log"}), 0);
    EXPECT_EQ(Environ->runtime->report_stream, Environ->runtime->log_stream);
    fputs("appended\n", Environ->runtime->report_stream);
    pt_main2(0);
    EXPECT_EQ(text_of("run.log"), log + "appended\n");
}

TEST_F(StartupTest, UnopenableLogFileIsAWarningAndFailsTheStart)
{
    EXPECT_EQ(start({"-!", "-L", "no/such/folder/run.log"}), 2);
    EXPECT_EQ(err_get_count(PT_MSG_WARNING, 1), 1);
}

TEST_F(StartupTest, FailedSaveIsReportedAndLeavesNoFile)
{
    ASSERT_EQ(start({"-!", "-S", "-O", "no/such/folder/out"}), 0);
    testing::internal::CaptureStdout();
    const int status = pt_main2(0);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 2);  // a failed save is not a successful run
    EXPECT_EQ(said.rfind("no/such/folder/out.$$$: ", 0), 0u) << said;
    EXPECT_EQ(err_get_count(PT_MSG_ERROR, 7), 1);
    EXPECT_FALSE(std::filesystem::exists("toolbase.vm6"));
}

TEST_F(StartupTest, DatabaseWithoutFramesHasNoEnvironment)
{
    std::string header(228, '\0');
    header[24] = 4;  // version 4 in this machine's order, no frames
    if (const unsigned one = 1; *reinterpret_cast<const unsigned char *>(&one) != 1)
        std::swap(header[24], header[27]);
    write_text("empty.vm6", header);
    EXPECT_EQ(start({"-I", "empty"}), 2);
    EXPECT_NE(output.find("\nvmF2023:empty.vm6,Invalid database! frame 0 size=0 should be 800!\n"), std::string::npos);
    EXPECT_EQ(err_get_count(PT_MSG_ERROR, 7), 1);
}
