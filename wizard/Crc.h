// CRC-32 (ISO-HDLC, as zlib and PKZIP compute it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class QWidget;

// One step over a block: no initial value and no final complement; the
// callers apply both.
std::uint32_t UpdateCRC32(std::uint32_t crc, const void* data, std::size_t length);

// The CRC-32 of a whole file, also stored in `crc`; 0 when the file cannot
// be opened or read (and for an empty file).
std::uint32_t FileCRC32(const std::string& fileName, std::uint32_t& crc);

// The CRC-32 of a whole regular file; nullopt when it cannot be opened or
// read as one (a missing file is never taken as empty).
std::optional<std::uint32_t> ReadableFileCRC32(const std::string& fileName);

// The wizard's check of the firmware list file in `folder` (the extraction
// folder, without a trailing separator): the first line names a file whose
// CRC-32 equals the stated value, and the file that the uploader will take
// from the list passes the same check. Shows its own messages, owned by
// `form`.
bool CheckFirmwareList(QWidget* form, const std::string& folder);

namespace tidewell {
inline constexpr const char* kCannotOpenListText = "Error: cannot open firmware file firmware.txt";
inline constexpr const char* kCannotOpenListCaption = "Error";
inline constexpr const char* kErrorInFileFormat = "Error in file %s";
inline constexpr const char* kCannotContinueCaption = "Cannot Continue";
// Shows "Error in file %s" with `path` (caption "Cannot Continue", error icon).
void ShowErrorInFile(QWidget* owner, const std::string& path);
}  // namespace tidewell
