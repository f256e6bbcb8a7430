// Reading a whole regular file at once, as the programs read the files they
// check and upload.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kavo {

enum class WholeFile {
    Read,        // the whole file is in the buffer
    CannotRead,  // missing, not a regular file, or a failed open or read
    TooLarge,    // longer than the limit (nothing is kept)
};

// Reads the regular file at `path` into `data` (replacing what it held),
// at most `limit` bytes.
WholeFile readWholeFile(const std::string& path, std::vector<unsigned char>& data,
                        std::size_t limit = static_cast<std::size_t>(-1));

}  // namespace kavo
