// The configuration reader, its character table, the aliases, variable
// expansion, the installation file search and the text services.
#include "startup_fixture.h"

#include <cstdio>
#include <cstring>

namespace {
int read_config(const std::string &text)
{
    return pt_read_config_text(text.data(), text.size());
}
}  // namespace

TEST(CharTable, DefaultClasses)
{
    PT_CHAR_CLASS t[256];
    pt_default_char_table(t);
    const auto at = [&](char c) { return t[static_cast<unsigned char>(c)]; };
    EXPECT_EQ(at('a').ch, 'a');
    EXPECT_EQ(at('a').flags, 0x2000);
    EXPECT_EQ(at('~').flags, 0x2000);
    EXPECT_EQ(at('"').flags, 0x0200);
    EXPECT_EQ(at('(').flags, 0x7000);
    EXPECT_EQ(at(')').flags, 0x6800);
    EXPECT_EQ(at(' ').flags, 0x4200);
    EXPECT_EQ(at('\n').flags, 0x4200);
    EXPECT_EQ(at('\t').flags, 0x4200);
    for (int c : {0, 13, 31, 127, 200, 255}) {
        EXPECT_EQ(t[c].ch, ' ') << c;
        EXPECT_EQ(t[c].flags, 0x8000) << c;
    }
}

class ConfigTest : public StartupTest {
protected:
    void SetUp() override
    {
        StartupTest::SetUp();
        char *words[] = {const_cast<char *>("tool"), const_cast<char *>("-!"), nullptr};
        testing::internal::CaptureStdout();
        ASSERT_EQ(pt_init(2, words), 0);
        testing::internal::GetCapturedStdout();
    }
};

TEST_F(ConfigTest, FreshEnvironmentHasTheDefaultAliases)
{
    EXPECT_EQ(alias("component_dir"), "clib");
    EXPECT_EQ(alias("COMPONENT_EXT"), "vmh");
    EXPECT_EQ(nth("VALID_PROPERTIES", 0), "LOC,PL_OFFSET,PLD,PLPLD,PL_CARRYIN,PL_CHOP,PL_PARTITION,LOWPWR,"
                                          "PWRDEFAULT,PWR,OPT,LOGIC_OPT,FBLOC,MRINPUT,PAD_SYMBOL,PAD_NET,MINIMIZE,"
                                          "UIM_OPT,FOE_OPT,CLOCK_OPT,REG_OPT,DENSITY_OPT,FAST,F,H,PRELOAD_OPT,AUX,"
                                          "INIT");
    EXPECT_EQ(alias("POWER_NET"), "VCC");
    EXPECT_EQ(alias("POWER_PORT"), "VCC");
    EXPECT_EQ(alias("GROUND_NET"), "GND");
    EXPECT_EQ(alias("GROUND_PORT"), "GND");
    EXPECT_EQ(vm_frame_size(0), 800);
    EXPECT_EQ(vm_get_attr() & VM_ATTR_ENVIRONMENT, 0u);
    EXPECT_EQ(vm_frame_flags(0) & VM_ATTR_ENVIRONMENT, VM_ATTR_ENVIRONMENT);
}

TEST_F(ConfigTest, AliasItemsLookUpsAndDeletion)
{
    pt_set_alias("list", "A;B;C");
    EXPECT_EQ(nth("LIST", 0), "A");
    EXPECT_EQ(nth("list", 1), "B");
    EXPECT_EQ(nth("list", 2), "C");
    EXPECT_EQ(nth("list", 3), "<nothing>");
    EXPECT_EQ(nth("nosuch", 0), "<nothing>");
    EXPECT_EQ(alias("foo"), "FOO");
    EXPECT_EQ(pt_compare_with_alias("list", "a"), 1);
    EXPECT_EQ(pt_compare_with_alias("list", "B"), 0);
    EXPECT_EQ(pt_compare_with_alias("nosuch", "NOSUCH"), 0);
    pt_set_alias("quoted", "\"x y\"");
    EXPECT_EQ(alias("quoted"), "x y");
    pt_set_alias("list", "other");
    EXPECT_EQ(alias("list"), "other");
    pt_set_alias("list", nullptr);
    EXPECT_EQ(alias("list"), "LIST");
    pt_set_alias("list", "back");
    EXPECT_EQ(alias("list"), "back");
}

TEST_F(ConfigTest, TableGrowsPastItsFirstTenEntries)
{
    char name[16], value[16];
    for (int i = 0; i < 35; ++i) {
        std::snprintf(name, sizeof name, "N%d", i);
        std::snprintf(value, sizeof value, "%d", i * i);
        pt_set_alias(name, value);
    }
    for (int i = 0; i < 35; ++i) {
        std::snprintf(name, sizeof name, "n%d", i);
        std::snprintf(value, sizeof value, "%d", i * i);
        ASSERT_EQ(alias(name), value) << i;
    }
    EXPECT_EQ(alias("GROUND_PORT"), "GND");
}

TEST_F(ConfigTest, ShowAliasAlignsNamesUnderTheTitle)
{
    // Only the defaults of pt_init; the title is empty outside pt_main1.
    pt_set_alias("VALID_PROPERTIES", nullptr);
    pt_set_alias("ab", "1");
    testing::internal::CaptureStdout();
    pt_show_alias();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "-==-\n"
              "COMPONENT_DIR = clib\n"
              "COMPONENT_EXT = vmh\n"
              "    POWER_NET = VCC\n"
              "   POWER_PORT = VCC\n"
              "   GROUND_NET = GND\n"
              "  GROUND_PORT = GND\n"
              "           AB = 1\n");
}

TEST_F(ConfigTest, StatementsAliasPromptAndSkippedOnes)
{
    pt_set_run_flags(pt_run_flags() | PT_RUN_DEBUG);
    setenv("ZCFG_ROOT", "/opt/z", 1);
    testing::internal::CaptureStdout();
    read_config("; anything outside a statement is ignored\n"
                "(alias first one)\n"
                "(ALIAS Second \"two words\")(alias third $zcfg_root/lib)\n"
                "(device (pins (a b) (c)) (alias skipped x))\n"
                "(alias\tfourth\r\nfour)\n"
                "(prompt \"go> \")\n"
                "(alias after ok extra words)\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "alias FIRST as one\n"
              "ALIAS SECOND as \"two words\"\n"
              "alias THIRD as /opt/z/lib\n"
              "alias FOURTH as four\n"
              "alias AFTER as ok\n");
    unsetenv("ZCFG_ROOT");
    EXPECT_EQ(alias("first"), "one");
    EXPECT_EQ(alias("second"), "two words");
    EXPECT_EQ(alias("third"), "/opt/z/lib");
    EXPECT_EQ(alias("skipped"), "SKIPPED");
    EXPECT_EQ(alias("fourth"), "four");
    EXPECT_EQ(alias("after"), "ok");
    ASSERT_NE(Environ->runtime->prompt, nullptr);
    EXPECT_STREQ(Environ->runtime->prompt, "go> ");
    EXPECT_EQ(err_get_total(PT_MSG_WARNING), 0);
}

TEST_F(ConfigTest, MissingTextIsAWarning)
{
    const int before = err_get_total(PT_MSG_WARNING);
    testing::internal::CaptureStdout();
    read_config("(alias name)(alias ok 1)(alias");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(err_get_count(PT_MSG_WARNING, 1) , before + 2);
    EXPECT_EQ(alias("ok"), "1");
    EXPECT_EQ(alias("name"), "NAME");
}

TEST_F(ConfigTest, ConfigurationFileSearch)
{
    // Not found anywhere, no installation variable: error 26, result 15.
    testing::internal::CaptureStdout();
    EXPECT_EQ(pt_get_config(nullptr), PT_ERR_NO_CONFIG);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(err_get_count(PT_MSG_ERROR, 1), 1);

    // The installation's data folder through MYMORVANE, then MORVANE.
    std::filesystem::create_directories(dir / "inst" / "epld" / "data");
    write_text((dir / "inst" / "epld" / "data" / "mepld.cfg").string(), "(alias from install)");
    setenv("MORVANE", (dir / "inst").c_str(), 1);
    setenv("MYMORVANE", (dir / "nothing").c_str(), 1);
    EXPECT_EQ(pt_get_config(nullptr), 0);
    EXPECT_EQ(alias("from"), "install");

    // mepld.cfg in the current folder comes before the installation.
    write_text("mepld.cfg", "(alias from here)");
    EXPECT_EQ(pt_get_config(nullptr), 0);
    EXPECT_EQ(alias("from"), "here");

    // A given path comes first.
    write_text("my.cfg", "(alias from given)");
    EXPECT_EQ(pt_get_config("my.cfg"), 0);
    EXPECT_EQ(alias("from"), "given");

    char path[512];
    EXPECT_EQ(pt_get_vorn_data_path("mepld.cfg", path, sizeof path), 0);
    EXPECT_EQ(std::string(path), (dir / "inst" / "epld" / "data" / "mepld.cfg").string());
    EXPECT_EQ(pt_get_vorn_path("lib", "none.txt", path, sizeof path), PT_ERR_NO_CONFIG);
}

TEST(Texts, VariablesExtensionsQuotesAndCase)
{
    setenv("ZT_VAR", "val", 1);
    unsetenv("ZT_UNSET_Q");
    const struct {
        const char *in, *out;
    } cases[] = {{"$zt_var/x", "val/x"}, {"a$ZT_UNSET_Q.b", "a.b"}, {"cost: $", "cost: $"},
                 {"$-x", "$-x"},         {"$Zt_Var$zt_var", "valval"}};
    for (const auto &c : cases) {
        char *e = pt_expand_variables(c.in);
        EXPECT_STREQ(e, c.out) << c.in;
        pt_free(e);
    }
    unsetenv("ZT_VAR");

    const struct {
        const char *in, *out;
    } names[] = {{"dir.x/file.tar.gz", "dir.x/file.tar"}, {"dir.x/file", "dir.x/file"}, {"db.vm6", "db"},
                 {".hidden", ""}};
    for (const auto &n : names) {
        char *e = pt_no_ext(n.in);
        EXPECT_STREQ(e, n.out) << n.in;
        pt_free(e);
    }

    char q1[] = "\"quoted\"", q2[] = "\"open", q3[] = "\"";
    EXPECT_STREQ(pt_unquote_str(q1), "quoted");
    EXPECT_STREQ(pt_unquote_str(q2), "open");
    EXPECT_STREQ(pt_unquote_str(q3), "");
    char up[] = "MiXed1";
    EXPECT_STREQ(pt_upper_case(up), "MIXED1");
    EXPECT_STREQ(pt_lower_case(up), "mixed1");
    EXPECT_EQ(pt_strcmpi("Abc", "aBC"), 0);
    EXPECT_LT(pt_strcmpi("abc", "abd"), 0);
    EXPECT_GT(pt_strcmpi("b", "A"), 0);
}
