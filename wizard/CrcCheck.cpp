// The wizard's check of a package's firmware list, with its messages. The
// CRC-32 routines it uses are in Crc.cpp, which needs no Qt.
#include "Crc.h"

#include "FirmwareList.h"
#include "MessageBox.h"
#include "Platform.h"

#include <QString>

#include <cstdio>
#include <filesystem>

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
