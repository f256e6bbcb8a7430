// The caption files' INI reader and writer, and the code page conversion.
#include "CodePage.h"
#include "IniFile.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <QFile>

#include <filesystem>

namespace {

using tidewell::TIniFile;

TEST(IniFile, ReadsAsTheProfileFunctions)
{
    const TIniFile ini(
        "; a comment=not a key\r\n"
        "  [ FormMain ]  \r\n"
        "Label1 =  Hello world  \r\n"
        "label1=second of the same name\r\n"
        "Quoted=\"  kept blanks  \"\r\n"
        "Single='x'\r\n"
        "Unpaired=\"x\r\n"
        "NoEquals\r\n"
        "Empty=\r\n"
        "Eq=a=b\n"
        "[formmain]\r\n"
        "Later=from the second section\r\n"
        "[Other]\r\n"
        "Label1=other");

    struct Case {
        const char *section, *key;
        std::optional<std::string> value;
    } cases[] = {
        {"FormMain", "Label1", "Hello world"},
        {"FORMMAIN", "LABEL1", "Hello world"},  // names without regard to case; the first wins
        {"FormMain", "Quoted", "  kept blanks  "},
        {"FormMain", "Single", "x"},
        {"FormMain", "Unpaired", "\"x"},
        {"FormMain", "NoEquals", std::nullopt},
        {"FormMain", "Empty", ""},
        {"FormMain", "Eq", "a=b"},
        {"FormMain", "Later", std::nullopt},  // only the first section of a name is read
        {"Other", "Label1", "other"},
        {"FormMain", "; a comment", std::nullopt},
        {"Missing", "Label1", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.key), c.value) << c.section << "/" << c.key;

    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"FormMain", "formmain", "Other"}));
    EXPECT_EQ(ini.ReadSection("formMAIN"),
              (std::vector<std::string>{"Label1", "label1", "Quoted", "Single", "Unpaired", "Empty", "Eq"}));
}

TEST(IniFile, ValuesAreBytesCutAt2047)
{
    const std::string bytes = "\x93\xfa\x96\x7b\x8c\xea\x5b\x5d";  // CP932, with "[" and "]" as trail bytes
    EXPECT_EQ(TIniFile("[S]\r\nK=" + bytes + "\r\n").ReadString("S", "K"), bytes);
    const std::string longValue(3000, 'x');
    EXPECT_EQ(TIniFile("[S]\nK=" + longValue).ReadString("S", "K"), std::string(2047, 'x'));
}

TEST(IniFile, WritesNewKeysAtTheEndOfTheirSectionAndKeepsEveryOtherLine)
{
    struct Case {
        const char* name;
        std::string before;
        const char *section, *key, *value;
        std::string after;
    } cases[] = {
        {"into a section, before the blank line that ends it", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "a", "z", "3",
         "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"},
        {"a new section at the end", "[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n[B]\r\nk=v\r\n"},
        {"a last line without line end", "[A]\r\nx=1", "A", "y", "2", "[A]\r\nx=1\r\ny=2"},
        {"a new section after a last line without line end", "[A]\r\nx=1", "B", "y", "2",
         "[A]\r\nx=1\r\n[B]\r\ny=2\r\n"},
        {"an empty section", "[A]\r\n[B]\r\n", "A", "k", "", "[A]\r\nk=\r\n[B]\r\n"},
        {"an empty file", "", "A", "k", "v", "[A]\r\nk=v\r\n"},
        {"an existing key: its line only", "[A]\r\n  X = old \r\ny=1\r\n", "A", "x", "new",
         "[A]\r\nx=new\r\ny=1\r\n"},
    };
    for (const Case& c : cases) {
        TIniFile ini(c.before);
        ini.WriteString(c.section, c.key, c.value);
        EXPECT_EQ(ini.Bytes(), c.after) << c.name;
    }
}

TEST(IniFile, ReadOnlyMeansNoWriteBitForAnyone)
{
    kavo::test::IsolatedEnv env;
    const std::string path = env.writeFile("t.ini", "[A]\r\n");
    namespace fs = std::filesystem;
    EXPECT_FALSE(tidewell::FileIsReadOnly(path));
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::group_write);
    EXPECT_FALSE(tidewell::FileIsReadOnly(path));  // a write bit for the group is enough
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(tidewell::FileIsReadOnly(path));   // also for root, who could write it
}

TEST(CodePage, DecodesAndEncodesWindowsCodePages)
{
    struct Case {
        const char* codePage;
        std::string bytes;
        const char16_t* text;
    } cases[] = {
        {"CP932", "\x93\xfa\x96\x7b\x8c\xea", u"日本語"},
        {"CP936", "\xbc\xf2\xcc\xe5", u"简体"},
        {"CP950", "\xc1\x63\xc5\xe9", u"繁體"},
        {"CP949", "\xc7\xd1\xb1\xb9", u"한국"},
        {"CP1251", "\xd0\xf3\xf1", u"Рус"},
        {"CP1252", "Zur\xfc\x63k \x80", u"Zurück €"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tidewell::DecodeCodePage(c.bytes, c.codePage), QString::fromUtf16(c.text)) << c.codePage;
        EXPECT_EQ(tidewell::EncodeCodePage(QString::fromUtf16(c.text), c.codePage), c.bytes) << c.codePage;
    }
    // A cut or invalid sequence shows as U+FFFD and the rest still decodes.
    EXPECT_EQ(tidewell::DecodeCodePage("ab\x93", "CP932"), QString::fromUtf16(u"ab\uFFFD"));
    EXPECT_EQ(tidewell::DecodeCodePage("\x98x", "CP1251"), QString::fromUtf16(u"\uFFFDx"));
    // A character the code page lacks is written as "?".
    EXPECT_EQ(tidewell::EncodeCodePage(QString::fromUtf16(u"aЖb"), "CP1252"), "a?b");
}

}  // namespace
