// The demonstration tool, run twice in-process: the first run keeps texts
// and aliases in frames and saves them (-S -O); the second reloads them (-I)
// and must show exactly what the first one stored.
#include "startup_fixture.h"

#include <frame_demo.h>

namespace {
int run_demo(std::vector<std::string> words, std::string &out)
{
    words.insert(words.begin(), "frame_demo");
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    const int status = run_frame_demo(static_cast<int>(words.size()), argv.data());
    out = testing::internal::GetCapturedStdout();
    return status;
}

const char *const VALID =
    "VALID_PROPERTIES = LOC,PL_OFFSET,PLD,PLPLD,PL_CARRYIN,PL_CHOP,PL_PARTITION,LOWPWR,PWRDEFAULT,PWR,OPT,"
    "LOGIC_OPT,FBLOC,MRINPUT,PAD_SYMBOL,PAD_NET,MINIMIZE,UIM_OPT,FOE_OPT,CLOCK_OPT,REG_OPT,DENSITY_OPT,FAST,F,H,"
    "PRELOAD_OPT,AUX,INIT\n";
}  // namespace

TEST_F(StartupTest, DemoSavesFramesAndAliasesAndReloadsThem)
{
    std::string first, second;
    ASSERT_EQ(run_demo({"-!", "-S", "-O", "saved.vm6", "-set", "color=red", "-set", "list=a;b;c", "-text", "hello",
                        "-text", "two words"},
                       first),
              0);
    EXPECT_EQ(first, "\nframe_demo\nFrame store demonstration\n");
    ASSERT_TRUE(std::filesystem::exists("saved.vm6"));

    ASSERT_EQ(run_demo({"-!", "-I", "saved", "-show"}, second), 0);
    // Frames: 0 environment, 1 alias table, 2..19 the nine aliases, 20 the
    // list header, whose handle DEMO_LIST holds.
    EXPECT_EQ(second, std::string("\nframe_demo\nFrame store demonstration\n"
                                  "-=frame_demo=-\n"
                                  "   COMPONENT_DIR = clib\n"
                                  "   COMPONENT_EXT = vmh\n") +
                          VALID +
                          "       POWER_NET = VCC\n"
                          "      POWER_PORT = VCC\n"
                          "      GROUND_NET = GND\n"
                          "     GROUND_PORT = GND\n"
                          "           COLOR = red\n"
                          "            LIST = a;b;c\n"
                          "       DEMO_LIST = 20\n"
                          "texts: 2\n"
                          "text 0: hello\n"
                          "text 1: two words\n");
}

TEST_F(StartupTest, DemoWithoutTheSavedDatabaseEndsWithStatusTwo)
{
    std::string out;
    EXPECT_EQ(run_demo({"-!", "-I", "never_saved", "-show"}, out), 2);
    EXPECT_NE(out.find("Cannot open file"), std::string::npos);
}
