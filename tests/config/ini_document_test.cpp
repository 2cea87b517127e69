#include <climits>
#include <cstring>

#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "tests/support/test_files.h"

namespace {

TEST(IniDocument, EmptyDocumentGivesDefaults) {
    CIniFile ini;
    EXPECT_EQ(ini.GetInt("display", "width", 800), 800);
    EXPECT_EQ(ini.GetString("display", "width", nullptr), nullptr);
    EXPECT_STREQ(ini.GetString("display", "width", "x"), "x");
}

TEST(IniDocument, SetsAppendKeysAndSectionsInOrder) {
    CIniFile ini;
    ini.SetInt("display", "width", 800);
    ini.SetInt("display", "height", 600);
    ini.SetInt("misc", "xmusic", 0);
    ini.SetInt("display", "colorbits", -5);
    EXPECT_STREQ(ini.GetString("display", "width", nullptr), "800");
    EXPECT_STREQ(ini.GetString("display", "colorbits", nullptr), "-5");
    EXPECT_EQ(ini.GetInt("misc", "xmusic", 7), 0);
    // Replacing keeps the entry's place.
    ini.SetString("display", "width", "1024");
    EXPECT_EQ(ini.GetInt("display", "width", 0), 1024);

    // The order shows only in the written file.
    ScopedWorkDir dir;
    ASSERT_TRUE(ini.Save("config.ini"));
    EXPECT_EQ(
        ReadBytes("config.ini"),
        "[display]\r\nwidth=1024\r\nheight=600\r\ncolorbits=-5\r\n\r\n[misc]\r\nxmusic=0\r\n");
}

TEST(IniDocument, EmptyValueIsFoundNotDefault) {
    CIniFile ini;
    ini.SetString("s", "k", "");
    EXPECT_STREQ(ini.GetString("s", "k", "def"), "");
    EXPECT_EQ(ini.GetInt("s", "k", 99), 0);
}

TEST(IniDocument, GetIntFollowsAtoi) {
    CIniFile ini;
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"12abc", 12},
        {"abc", 0},
        {"  42", 42},
        {"\t\n\v\f\r7", 7},
        {"-5", -5},
        {"+8", 8},
        {"- 5", 0},
        {"--5", 0},
        {"0012", 12},
        {"", 0},
        {"3 4", 3},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", INT_MAX},
        {"-2147483649", INT_MIN},
        {"99999999999999999999999", INT_MAX},
        {"-99999999999999999999x", INT_MIN},
        {"000000000000000000000000001", 1},
    };
    for (const Case& c : cases) {
        ini.SetString("s", "k", c.text);
        EXPECT_EQ(ini.GetInt("s", "k", -1), c.value) << '"' << c.text << '"';
    }
}

TEST(IniDocument, SetIntRoundTripsTheLimits) {
    CIniFile ini;
    ini.SetInt("s", "min", INT_MIN);
    ini.SetInt("s", "max", INT_MAX);
    EXPECT_STREQ(ini.GetString("s", "min", nullptr), "-2147483648");
    EXPECT_EQ(ini.GetInt("s", "min", 0), INT_MIN);
    EXPECT_EQ(ini.GetInt("s", "max", 0), INT_MAX);
}

TEST(IniDocument, LookupsAreExact) {
    CIniFile ini;
    ini.SetString("display", "width ", "1");
    ini.SetString("Display", "width", "2");
    EXPECT_EQ(ini.GetInt("display", "width", 800), 800);
    EXPECT_EQ(ini.GetInt("display", "Width", 800), 800);
    EXPECT_EQ(ini.GetInt("display", "width ", 0), 1);
    EXPECT_EQ(ini.GetInt("Display", "width", 0), 2);
    EXPECT_EQ(ini.GetInt("display ", "width ", 9), 9);
}

TEST(IniDocument, CachedSectionNeverHidesAnotherSection) {
    CIniFile ini;
    ini.SetInt("a", "k", 1);
    ini.SetInt("b", "k", 2);
    // Alternating reads move the cache back and forth.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ini.GetInt("a", "k", 0), 1);
        EXPECT_EQ(ini.GetInt("b", "k", 0), 2);
    }
    // A miss on an unknown section leaves the cache usable.
    EXPECT_EQ(ini.GetInt("c", "k", 3), 3);
    ini.SetInt("b", "j", 4);
    EXPECT_EQ(ini.GetInt("b", "j", 0), 4);
    EXPECT_EQ(ini.GetInt("a", "j", 5), 5);
}

TEST(IniDocument, ClearEmptiesAndForgetsTheCache) {
    CIniFile ini;
    ini.SetInt("display", "width", 800);
    EXPECT_EQ(ini.GetInt("display", "width", 0), 800);
    ini.Clear();
    EXPECT_EQ(ini.GetString("display", "width", nullptr), nullptr);
    ini.SetInt("display", "height", 600);
    EXPECT_EQ(ini.GetString("display", "width", nullptr), nullptr);
    EXPECT_EQ(ini.GetInt("display", "height", 0), 600);
}

TEST(IniDocument, NullNamesFindNothingAndSetNothing) {
    CIniFile ini;
    ini.SetString(nullptr, "k", "v");
    ini.SetString("s", nullptr, "v");
    ini.SetString("s", "k", nullptr);
    EXPECT_EQ(ini.GetString("s", "k", nullptr), nullptr);
    EXPECT_STREQ(ini.GetString(nullptr, "k", "d"), "d");
    EXPECT_EQ(ini.GetInt("s", nullptr, 3), 3);
}

}  // namespace
