#include "FirmwareList.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <climits>

using namespace kavo::fwlist;

namespace {

const std::string kTemp = "/tmp/";

struct PathCase {
    std::string line;
    PathStatus wizardStatus;
    const char* wizardPath;
    PathStatus uploaderStatus;
    const char* uploaderPath;
};

TEST(FirmwareList, NameIsEverythingBeforeTheFirstMarkerLessOneCharacter)
{
    const PathCase cases[] = {
        // the usual line: folder, backslash, name, one blank, marker, value
        {"upd1\\atbrfirm.bin $-873187034\n", PathStatus::Ok, "/tmp/upd1/atbrfirm.bin",
         PathStatus::Ok, "/tmp/upd1/atbrfirm.bin"},
        // no separator: the name loses its last character in both readers
        {"upd1\\atbrfirm.bin$5\n", PathStatus::Ok, "/tmp/upd1/atbrfirm.bi", PathStatus::Ok,
         "/tmp/upd1/atbrfirm.bi"},
        // two markers: the name ends before the first
        {"a\\f.bin $1$2\n", PathStatus::Ok, "/tmp/a/f.bin", PathStatus::Ok, "/tmp/a/f.bin"},
        // any character separates
        {"a\\f.binX$1", PathStatus::Ok, "/tmp/a/f.bin", PathStatus::Ok, "/tmp/a/f.bin"},
        // no marker: refused by the wizard; the uploader drops the line end
        {"a\\f.bin\n", PathStatus::NoMarker, "", PathStatus::Ok, "/tmp/a/f.bin"},
        {"a\\f.bin", PathStatus::NoMarker, "", PathStatus::Ok, "/tmp/a/f.bi"},
        // no name at all
        {"$123\n", PathStatus::NoName, "", PathStatus::NoName, ""},
        // a name of zero characters
        {" $123\n", PathStatus::EmptyName, "", PathStatus::EmptyName, ""},
        {"x$0", PathStatus::EmptyName, "", PathStatus::EmptyName, ""},
        {"\n", PathStatus::NoMarker, "", PathStatus::EmptyName, ""},
        // NUL and other control characters: a NUL would cut "..\0x" to ".."
        {std::string("..\0x $1", 7), PathStatus::ControlCharacter, "", PathStatus::ControlCharacter, ""},
        {std::string("a\0\\..\\..\\x $1", 13), PathStatus::ControlCharacter, "", PathStatus::ControlCharacter, ""},
        {"a\\f\t.bin $1", PathStatus::ControlCharacter, "", PathStatus::ControlCharacter, ""},
        {"a\\f\x7f.bin $1", PathStatus::ControlCharacter, "", PathStatus::ControlCharacter, ""},
        {"a\\f.bin\r\n", PathStatus::NoMarker, "", PathStatus::ControlCharacter, ""},
        // names that would leave the temporary folder
        {"..\\evil.bin $1", PathStatus::LeavesFolder, "", PathStatus::LeavesFolder, ""},
        {"a\\..\\..\\evil $1", PathStatus::LeavesFolder, "", PathStatus::LeavesFolder, ""},
        {"a/../b $1", PathStatus::LeavesFolder, "", PathStatus::LeavesFolder, ""},
        {"a\\... \\b $1", PathStatus::LeavesFolder, "", PathStatus::LeavesFolder, ""},
        {"\\etc\\passwd $1", PathStatus::LeavesFolder, "", PathStatus::LeavesFolder, ""},
        {"/etc/passwd $1", PathStatus::LeavesFolder, "", PathStatus::LeavesFolder, ""},
        {"C:\\boot.ini $1", PathStatus::LeavesFolder, "", PathStatus::LeavesFolder, ""},
        // dots inside names are fine
        {"a\\.hidden\\f..bin $1", PathStatus::Ok, "/tmp/a/.hidden/f..bin", PathStatus::Ok,
         "/tmp/a/.hidden/f..bin"},
    };
    for (const auto& c : cases) {
        auto w = wizardFirmwarePath(kTemp, c.line);
        EXPECT_EQ(w.status, c.wizardStatus) << c.line;
        EXPECT_EQ(w.path, c.wizardPath) << c.line;
        auto u = uploaderFirmwarePath(kTemp, c.line);
        EXPECT_EQ(u.status, c.uploaderStatus) << c.line;
        EXPECT_EQ(u.path, c.uploaderPath) << c.line;
    }
}

TEST(FirmwareList, PathsThatDoNotFitAreRefused)
{
    // The wizard's buffer holds 255 characters, the uploader's 99.
    std::string folder = "/tmp/";
    std::string fitsUploader(99 - folder.size(), 'u');
    EXPECT_EQ(uploaderFirmwarePath(folder, fitsUploader + " $1").status, PathStatus::Ok);
    EXPECT_EQ(uploaderFirmwarePath(folder, fitsUploader + "u $1").status, PathStatus::TooLong);
    std::string fitsWizard(255 - folder.size(), 'w');
    EXPECT_EQ(wizardFirmwarePath(folder, fitsWizard + " $1").status, PathStatus::Ok);
    EXPECT_EQ(wizardFirmwarePath(folder, fitsWizard + "w $1").status, PathStatus::TooLong);
    EXPECT_EQ(wizardFirmwarePath(std::string(300, 'f'), "a $1").status, PathStatus::TooLong);
}

TEST(FirmwareList, StatedValue)
{
    struct Case {
        const char* line;
        std::int32_t value;
    };
    const Case cases[] = {
        {"f $-873187034\n", -873187034},
        {"f $3421780262\n", INT32_MAX},  // above the range: the bound
        {"f $-99999999999999999999\n", INT32_MIN},
        {"f $2147483647", INT32_MAX},
        {"f $-2147483648", INT32_MIN},
        {"f $   \t 42 trailing text", 42},
        {"f $+17", 17},
        {"f $12abc", 12},
        {"f $", 0},
        {"f $abc", 0},
        {"f $-", 0},
        {"f $+-5", 0},
        {"f $1$-2\n", -2},  // read after the last marker
        {"f 5", 0},          // no marker
        {"f $00000000000000000000000007", 7},
    };
    for (const auto& c : cases)
        EXPECT_EQ(statedValue(c.line), c.value) << c.line;
}

TEST(FirmwareList, ReadLineReadsLikeATextModeReadOf256Characters)
{
    kavo::test::IsolatedEnv env;
    std::string longLine(300, 'x');
    std::string path = env.writeFile("list.txt", "one\r\ntwo\n" + longLine + "\nlast");
    std::FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_TRUE(f);
    std::vector<std::string> lines;
    for (std::string line; readLine(f, line);)
        lines.push_back(line);
    std::fclose(f);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "one\n");
    EXPECT_EQ(lines[1], "two\n");
    EXPECT_EQ(lines[2], std::string(255, 'x'));
    EXPECT_EQ(lines[3], std::string(45, 'x') + "\n");
    EXPECT_EQ(lines[4], "last");
}

}  // namespace
