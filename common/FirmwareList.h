// The firmware list file (APfirmware.txt): reading its lines and taking the
// firmware file's path and stated CRC-32 from a line. Shared by the wizard
// (which checks the first line) and the uploader (which uploads the last).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kavo::fwlist {

inline constexpr const char* kListFileName = "APfirmware.txt";

// The path buffers of the two readers: the wizard's holds 255 characters,
// the uploader's 99 (each with its terminating zero).
inline constexpr std::size_t kWizardMaxPath = 255;
inline constexpr std::size_t kUploaderMaxPath = 99;

// Reads one line the way a 256-character text-mode read does: at most 255
// characters, the line end kept as a single '\n' (CR LF becomes LF), a
// longer line read in pieces. False at the end of the file.
bool readLine(std::FILE* file, std::string& line);

enum class PathStatus {
    Ok,
    NoMarker,      // the line holds no "$" (wizard only)
    NoName,        // the line begins with "$": there is no name
    EmptyName,     // a name of zero characters (one character before "$", as in "x$0")
    LeavesFolder,  // absolute, drive letter or ".." part
    ControlCharacter,  // NUL or another control character in the name
    TooLong,       // folder and name do not fit the reader's buffer
};

struct FirmwarePath {
    PathStatus status = PathStatus::Ok;
    std::string path;  // set when status is Ok
};

// The name: every character before the first "$" except the last of them.
// On POSIX a backslash in the name is a folder separator.
//
// Wizard: the line must hold a "$".
FirmwarePath wizardFirmwarePath(const std::string& tempFolder, const std::string& line,
                                std::size_t maxPath = kWizardMaxPath);
// Uploader: a line without "$" gives the whole line less its last character.
FirmwarePath uploaderFirmwarePath(const std::string& tempFolder, const std::string& line,
                                  std::size_t maxPath = kUploaderMaxPath);

// The value stated after the last "$" of the line: white space, one sign,
// digits up to the first non-digit, clamped to the 32-bit range; no digits
// (or no "$") give 0.
std::int32_t statedValue(const std::string& line);

}  // namespace kavo::fwlist
