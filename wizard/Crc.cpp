#include "Crc.h"

#include "FirmwareList.h"
#include "MessageBox.h"
#include "Platform.h"
#include "WholeFile.h"

#include <QString>

#include <array>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

constexpr std::array<std::uint32_t, 256> makeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto kTable = makeTable();
static_assert(kTable[1] == 0x77073096u && kTable[255] == 0x2D02EF8Du);

}  // namespace

std::uint32_t UpdateCRC32(std::uint32_t crc, const void* data, std::size_t length)
{
    auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < length; ++i)
        crc = (crc >> 8) ^ kTable[(crc ^ p[i]) & 0xFF];
    return crc;
}

std::optional<std::uint32_t> ReadableFileCRC32(const std::string& fileName)
{
    std::vector<unsigned char> data;
    if (kavo::readWholeFile(fileName, data) != kavo::WholeFile::Read)
        return std::nullopt;
    // No data: the standard's value 0.
    if (data.empty())
        return 0u;
    return ~UpdateCRC32(0xFFFFFFFFu, data.data(), data.size());
}

std::uint32_t FileCRC32(const std::string& fileName, std::uint32_t& crc)
{
    crc = ReadableFileCRC32(fileName).value_or(0u);
    return crc;
}

void tidewell::ShowErrorInFile(QWidget* owner, const std::string& path)
{
    QString text = QString::fromLatin1(kErrorInFileFormat);
    text.replace(QStringLiteral("%s"), QString::fromLocal8Bit(path.data(), qsizetype(path.size())));
    kavo::ui::MessageBox::show(owner, text, QString::fromLatin1(kCannotContinueCaption), kavo::ui::Icon::Error);
}

namespace {

// The firmware file's attributes made normal (no longer read-only), then
// its CRC-32 compared, as a signed 32-bit number, with the stated value.
// A file that cannot be read as a regular file fails whatever is stated.
bool FirmwareFileMatches(QWidget* form, const std::string& path, std::int32_t stated)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(path, ec)))
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    std::optional<std::uint32_t> crc = ReadableFileCRC32(path);
    if (crc && static_cast<std::int32_t>(*crc) == stated)
        return true;
    tidewell::ShowErrorInFile(form, path);
    return false;
}

}  // namespace

bool CheckFirmwareList(QWidget* form, const std::string& folder)
{
    namespace fw = kavo::fwlist;
    const std::string listPath = folder + kavo::platform::kSeparator + fw::kListFileName;
    std::error_code ec;
    std::FILE* list = std::filesystem::is_regular_file(listPath, ec) ? std::fopen(listPath.c_str(), "r") : nullptr;
    if (!list) {
        kavo::ui::MessageBox::show(form, QString::fromLatin1(tidewell::kCannotOpenListText),
                                   QString::fromLatin1(tidewell::kCannotOpenListCaption), kavo::ui::Icon::Error);
        return false;
    }
    // The wizard checks the first line; the uploader takes the last one.
    std::string first, last, line;
    const bool any = fw::readLine(list, first);
    last = first;
    while (any && fw::readLine(list, line))
        last = line;
    const bool readFailed = std::ferror(list) != 0;
    std::fclose(list);
    if (!any && !readFailed)
        return false;  // an empty list: no message
    const std::string temp = kavo::platform::tempFolder();
    if (readFailed || temp.empty()) {
        tidewell::ShowErrorInFile(form, listPath);
        return false;
    }

    const fw::FirmwarePath checked = fw::wizardFirmwarePath(temp, first);
    if (checked.status != fw::PathStatus::Ok) {
        tidewell::ShowErrorInFile(form, listPath);
        return false;
    }
    if (!FirmwareFileMatches(form, checked.path, fw::statedValue(first)))
        return false;

    // What the uploader will send must have passed the same check.
    const fw::FirmwarePath uploaded = fw::uploaderFirmwarePath(temp, last);
    if (uploaded.status != fw::PathStatus::Ok) {
        tidewell::ShowErrorInFile(form, listPath);
        return false;
    }
    if (uploaded.path != checked.path)
        return FirmwareFileMatches(form, uploaded.path, fw::statedValue(last));
    return true;
}
