// The update server's directory listing: the entry name of one raw line of
// a Unix-style listing, and which names may become a local file's name.
// Plain C++ without Qt, so the fuzz targets take it as it is.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// The entry name of a listing line: "attributes links owner group size
// month day time-or-year name", fields separated by one or more spaces;
// the name is the rest of the line, spaces inside it included. Nothing for
// the summary line ("total ...", case ignored) and for lines with fewer
// fields than that.
std::optional<std::string> ListingEntryName(std::string_view line);

// The longest name a local file may get from the server.
inline constexpr std::size_t kMaxRemoteNameBytes = 255;

// Whether a name from the server can be a file directly in the temporary
// folder: not empty, not "." or "..", no "/", "\\", NUL or other control
// character, at most 255 bytes.
bool PlainFileName(std::string_view name);

}  // namespace tidewell
