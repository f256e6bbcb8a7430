#include "Crc.h"
#include "MessageBox.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <zlib.h>

namespace {

TEST(Crc, CheckValueAndEmptyAndUnreadableFiles)
{
    kavo::test::IsolatedEnv env;
    std::uint32_t crc = 1;
    EXPECT_EQ(FileCRC32(env.writeFile("digits", "123456789"), crc), 0xCBF43926u);
    EXPECT_EQ(crc, 0xCBF43926u);
    EXPECT_EQ(static_cast<std::int32_t>(crc), -873187034);

    crc = 1;
    EXPECT_EQ(FileCRC32(env.writeFile("empty", ""), crc), 0u);
    EXPECT_EQ(crc, 0u);
    crc = 1;
    EXPECT_EQ(FileCRC32(env.root() + "/missing", crc), 0u);
    EXPECT_EQ(crc, 0u);
    crc = 1;
    EXPECT_EQ(FileCRC32(env.root(), crc), 0u) << "a folder";
    EXPECT_EQ(crc, 0u);
}

TEST(Crc, UpdateAppliesNoInitialValueOrComplement)
{
    EXPECT_EQ(UpdateCRC32(0xFFFFFFFFu, "", 0), 0xFFFFFFFFu);
    EXPECT_EQ(UpdateCRC32(0, "\0", 1), 0u);
    // Chained blocks give the same as one block.
    const char* text = "123456789";
    std::uint32_t part = UpdateCRC32(0xFFFFFFFFu, text, 4);
    EXPECT_EQ(~UpdateCRC32(part, text + 4, 5), 0xCBF43926u);
}

TEST(Crc, AgreesWithZlibOnRandomData)
{
    kavo::test::IsolatedEnv env;
    std::mt19937 rng(1234);
    for (std::size_t size : {1u, 2u, 3u, 255u, 256u, 4095u, 65537u, 188416u, 1000003u}) {
        std::string data(size, '\0');
        for (auto& c : data)
            c = static_cast<char>(rng());
        uLong expected = crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(size));
        EXPECT_EQ(~UpdateCRC32(0xFFFFFFFFu, data.data(), size), expected) << size;
        std::uint32_t crc = 0;
        EXPECT_EQ(FileCRC32(env.writeFile("r" + std::to_string(size), data), crc), expected) << size;
    }
}

}  // namespace

// ---- CheckFirmwareList ----

namespace {

using kavo::ui::Icon;
using kavo::ui::MessageBox;

struct ListCase {
    const char* what;
    std::string list;  // APfirmware.txt in the folder; "<none>": no list
    std::vector<std::pair<std::string, std::string>> files;  // below the temporary folder
    bool passes;
    std::vector<std::string> messages;  // texts; "LIST" and "TMP/" stand for the paths
};

TEST(CheckFirmwareList, FirstLineAndTheUploadersLineAreChecked)
{
    const std::string digits = "123456789";  // CRC-32 0xCBF43926, stated -873187034
    const ListCase cases[] = {
        {"the usual line", "pkg\\fw.bin $-873187034\r\n", {{"pkg/fw.bin", digits}}, true, {}},
        {"blanks before the value, text after it", "pkg\\fw.bin $  -873187034 xyz\r\n", {{"pkg/fw.bin", digits}},
         true, {}},
        {"two markers: name before the first, value after the last", "pkg\\fw.bin $1$-873187034\n",
         {{"pkg/fw.bin", digits}}, true, {}},
        {"the unsigned value is read as the upper bound", "pkg\\fw.bin $3421780262\n", {{"pkg/fw.bin", digits}},
         false, {"Error in file TMP/pkg/fw.bin"}},
        {"no separator: the name loses its last character", "pkg\\fw.bin$-873187034\n",
         {{"pkg/fw.bi", digits}}, true, {}},
        {"an empty file has the CRC-32 0", "pkg\\fw.bin $0\n", {{"pkg/fw.bin", ""}}, true, {}},
        {"no list", "<none>", {}, false, {"Error: cannot open firmware file firmware.txt"}},
        {"an empty list: no message", "", {}, false, {}},
        {"no marker", "pkg\\fw.bin -873187034\n", {{"pkg/fw.bin", digits}}, false, {"Error in file LIST"}},
        {"a missing file is never verified, even for 0", "pkg\\fw.bin $0\n", {}, false,
         {"Error in file TMP/pkg/fw.bin"}},
        {"a folder is no firmware file", "pkg\\sub $0\n", {{"pkg/sub/x", "x"}}, false, {"Error in file TMP/pkg/sub"}},
        {"a name of zero characters", "x$0\n", {}, false, {"Error in file LIST"}},
        {"a line beginning with the marker", "$0\n", {}, false, {"Error in file LIST"}},
        {"a NUL in the name", std::string("..\0x $0\n", 8), {}, false, {"Error in file LIST"}},
        {"a name leaving the temporary folder", "..\\fw.bin $0\n", {}, false, {"Error in file LIST"}},
        // The uploader sends the file of the last line.
        {"a second line naming a good file", "pkg\\fw.bin $-873187034\r\npkg\\other.bin $-873187034\r\n",
         {{"pkg/fw.bin", digits}, {"pkg/other.bin", digits}}, true, {}},
        {"a second line naming a file that does not match",
         "pkg\\fw.bin $-873187034\r\npkg\\other.bin $-873187034\r\n",
         {{"pkg/fw.bin", digits}, {"pkg/other.bin", "evil"}}, false, {"Error in file TMP/pkg/other.bin"}},
        {"a second line without a marker gives the uploader its own name",
         "pkg\\fw.bin $-873187034\r\npkg\\other.bin\r\n", {{"pkg/fw.bin", digits}, {"pkg/other.bin", digits}},
         false, {"Error in file TMP/pkg/other.bin"}},
        {"a blank last line leaves the uploader no file", "pkg\\fw.bin $-873187034\r\n\r\n",
         {{"pkg/fw.bin", digits}}, false, {"Error in file LIST"}},
        {"a last line the uploader's shorter buffer refuses",
         "pkg\\fw.bin $-873187034\r\npkg\\" + std::string(120, 'n') + " $0\r\n", {{"pkg/fw.bin", digits}}, false,
         {"Error in file LIST"}},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.what);
        kavo::test::IsolatedEnv env;
        const std::string temp = env.tempFolder();
        const std::string folder = temp + "pkg";
        std::filesystem::create_directories(folder);
        if (c.list != "<none>")
            env.writeFile("tmp/pkg/APfirmware.txt", c.list);
        for (const auto& [name, bytes] : c.files)
            env.writeFile("tmp/" + name, bytes);
        MessageBox::clearShown();
        EXPECT_EQ(CheckFirmwareList(nullptr, folder), c.passes);
        std::vector<std::string> texts;
        for (const auto& m : MessageBox::shown()) {
            texts.push_back(m.text.toStdString());
            EXPECT_EQ(m.icon, Icon::Error);
            EXPECT_EQ(m.caption.toStdString(), m.text.startsWith("Error:") ? "Error" : "Cannot Continue");
        }
        std::vector<std::string> expected;
        for (std::string m : c.messages) {
            if (auto at = m.find("LIST"); at != std::string::npos)
                m.replace(at, 4, folder + "/APfirmware.txt");
            if (auto at = m.find("TMP/"); at != std::string::npos)
                m.replace(at, 4, temp);
            expected.push_back(m);
        }
        EXPECT_EQ(texts, expected);
    }
}

TEST(CheckFirmwareList, AReadOnlyFirmwareFileIsNoLongerReadOnlyAfterTheCheck)
{
    kavo::test::IsolatedEnv env;
    const std::string fw = env.writeFile("tmp/pkg/fw.bin", "123456789");
    env.writeFile("tmp/pkg/APfirmware.txt", "pkg\\fw.bin $5\r\n");
    ::chmod(fw.c_str(), 0444);
    MessageBox::clearShown();
    EXPECT_FALSE(CheckFirmwareList(nullptr, env.tempFolder() + "pkg"));
    struct stat st {};
    ASSERT_EQ(::stat(fw.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
}

}  // namespace
