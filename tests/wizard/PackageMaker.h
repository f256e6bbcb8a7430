// Update packages made by the tests: zip archives written with libarchive,
// with whatever entries a test needs (links, odd names, mode bits).
#pragma once

#include "Crc.h"

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pkgtest {

struct Entry {
    enum Kind { File, Folder, Symlink, Hardlink };
    std::string name;
    std::string data;  // a file's bytes; a link's target
    Kind kind = File;
    unsigned mode = 0644;
};

inline Entry file(std::string name, std::string data, unsigned mode = 0644)
{
    return {std::move(name), std::move(data), Entry::File, mode};
}
inline Entry folder(std::string name) { return {std::move(name), {}, Entry::Folder, 0755}; }
inline Entry symlink(std::string name, std::string target) { return {std::move(name), std::move(target), Entry::Symlink, 0777}; }
inline Entry hardlink(std::string name, std::string target) { return {std::move(name), std::move(target), Entry::Hardlink, 0644}; }

// Writes the zip archive; fails the test when libarchive refuses an entry.
inline void writeZip(const std::string& path, const std::vector<Entry>& entries)
{
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK) << archive_error_string(a);
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.c_str());
        switch (e.kind) {
        case Entry::File:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, static_cast<la_int64_t>(e.data.size()));
            break;
        case Entry::Folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            break;
        case Entry::Symlink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, e.data.c_str());
            break;
        case Entry::Hardlink:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink(entry, e.data.c_str());
            archive_entry_set_size(entry, 0);
            break;
        }
        archive_entry_set_perm(entry, e.mode);
        EXPECT_GE(archive_write_header(a, entry), ARCHIVE_WARN) << e.name << ": " << archive_error_string(a);
        if (e.kind == Entry::File && !e.data.empty())
            archive_write_data(a, e.data.data(), e.data.size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
}

// The list line for a firmware file: name, one blank, "$", the signed CRC-32.
inline std::string listLine(const std::string& name, const std::string& bytes)
{
    const std::uint32_t crc = bytes.empty() ? 0u : ~UpdateCRC32(0xFFFFFFFFu, bytes.data(), bytes.size());
    return name + " $" + std::to_string(static_cast<std::int32_t>(crc)) + "\r\n";
}

}  // namespace pkgtest
