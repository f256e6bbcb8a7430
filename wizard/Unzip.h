// Unpacking an update package (a zip archive) into its extraction folder.
#pragma once

#include <string>

namespace tidewell {

// Unpacks every entry of the zip archive `package` below the existing
// folder `folder`, keeping the archive's folder names and overwriting
// existing files. Only regular files and folders are unpacked, with their
// permission bits but never the set-user, set-group or sticky bit. An entry
// that would land outside the folder (a ".." part, an absolute name, a drive
// letter), a link of any kind, a device or a fifo, and a corrupt or
// truncated archive refuse the whole package: what was already unpacked is
// removed again and false returned, with the reason in `why`.
bool UnpackPackage(const std::string& package, const std::string& folder, std::string* why = nullptr);

}  // namespace tidewell
