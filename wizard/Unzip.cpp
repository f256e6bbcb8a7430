#include "Unzip.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace tidewell {

namespace {

namespace fs = std::filesystem;

struct ReadCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteCloser {
    void operator()(archive* a) const { archive_write_free(a); }
};

// libarchive's safety checks work on names relative to the current folder,
// so the unpacking runs in the extraction folder; the wizard's own current
// folder (which a package's Setup.exe inherits) comes back afterwards.
class InFolder {
public:
    explicit InFolder(const std::string& folder)
    {
        std::error_code ec;
        m_saved = fs::current_path(ec);
        if (!ec) {
            fs::current_path(folder, ec);
            m_entered = !ec;
        }
    }
    ~InFolder()
    {
        std::error_code ec;
        if (m_entered)
            fs::current_path(m_saved, ec);
    }
    bool entered() const { return m_entered; }

private:
    fs::path m_saved;
    bool m_entered = false;
};

// The entry's name with '/' separators, or empty when it may not be
// unpacked: absolute, a drive letter, a ".." part, or no name at all.
std::string SafeName(const char* raw)
{
    if (!raw || !*raw)
        return {};
    std::string name(raw);
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name[0] == '/')
        return {};
    if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':')
        return {};
    std::size_t start = 0;
    bool anyPart = false;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        const std::string part = name.substr(start, end - start);
        if (part == "..")
            return {};
        // Windows trims trailing dots and blanks: "... " would be "..".
        if (part.find_first_not_of(". ") == std::string::npos && std::count(part.begin(), part.end(), '.') >= 2)
            return {};
        if (!part.empty() && part != ".")
            anyPart = true;
        start = end + 1;
    }
    return anyPart ? name : std::string();
}

}  // namespace

bool UnpackPackage(const std::string& package, const std::string& folder, std::string* why)
{
    auto fail = [why](const std::string& reason) {
        if (why)
            *why = reason;
        return false;
    };

    std::unique_ptr<archive, ReadCloser> reader(archive_read_new());
    std::unique_ptr<archive, WriteCloser> writer(archive_write_disk_new());
    if (!reader || !writer)
        return fail("out of memory");
    archive_read_support_format_zip(reader.get());
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS | ARCHIVE_EXTRACT_TIME);
    // Owners are never restored; names are looked up by nobody.
    archive_write_disk_set_standard_lookup(writer.get());

    if (archive_read_open_filename(reader.get(), package.c_str(), 65536) != ARCHIVE_OK)
        return fail(archive_error_string(reader.get()) ? archive_error_string(reader.get()) : "cannot open");

    InFolder inside(folder);
    if (!inside.entered())
        return fail("cannot enter the extraction folder");

    // What this run made, to take it away again when the package is refused.
    std::vector<fs::path> madeFiles, madeFolders;
    auto undo = [&] {
        std::error_code ec;
        for (const fs::path& f : madeFiles)
            fs::remove(f, ec);
        for (auto it = madeFolders.rbegin(); it != madeFolders.rend(); ++it)
            fs::remove(*it, ec);  // only when empty
    };
    auto refuse = [&](const std::string& reason) {
        writer.reset();
        undo();
        return fail(reason);
    };

    archive_entry* entry = nullptr;
    for (;;) {
        int r = archive_read_next_header(reader.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN)
            return refuse(archive_error_string(reader.get()) ? archive_error_string(reader.get()) : "bad archive");

        const char* raw = archive_entry_pathname(entry);
        const std::string name = SafeName(raw);
        if (name.empty())
            return refuse(std::string("entry outside the folder: ") + (raw ? raw : "(no name)"));
        const auto type = archive_entry_filetype(entry);
        if (archive_entry_hardlink(entry) || archive_entry_symlink(entry) || (type != AE_IFREG && type != AE_IFDIR))
            return refuse("entry neither a file nor a folder: " + name);

        // Permission bits only; the owner may always read and write (and
        // enter a folder).
        auto perm = archive_entry_perm(entry) & 0777;
        perm |= type == AE_IFDIR ? 0700 : 0600;
        archive_entry_set_perm(entry, perm);
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_uid(entry, 0);
        archive_entry_set_gid(entry, 0);

        // The folders on the way that do not exist yet.
        std::error_code ec;
        fs::path target(name);
        std::vector<fs::path> newFolders;
        for (fs::path p = target.parent_path(); !p.empty() && !fs::exists(fs::symlink_status(p, ec)); p = p.parent_path())
            newFolders.insert(newFolders.begin(), fs::absolute(p, ec));
        const bool existed = fs::exists(fs::symlink_status(target, ec));
        madeFolders.insert(madeFolders.end(), newFolders.begin(), newFolders.end());
        if (type == AE_IFDIR && !existed)
            madeFolders.push_back(fs::absolute(target, ec));
        if (type == AE_IFREG)
            madeFiles.push_back(fs::absolute(target, ec));

        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN)
            return refuse(archive_error_string(writer.get()) ? archive_error_string(writer.get()) : "cannot write");
        if (type == AE_IFREG) {
            const void* block;
            size_t size;
            la_int64_t offset;
            for (;;) {
                r = archive_read_data_block(reader.get(), &block, &size, &offset);
                if (r == ARCHIVE_EOF)
                    break;
                if (r < ARCHIVE_WARN)
                    return refuse(archive_error_string(reader.get()) ? archive_error_string(reader.get())
                                                                     : "bad data");
                if (archive_write_data_block(writer.get(), block, size, offset) < ARCHIVE_WARN)
                    return refuse(archive_error_string(writer.get()) ? archive_error_string(writer.get())
                                                                     : "cannot write");
            }
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN)
            return refuse(archive_error_string(writer.get()) ? archive_error_string(writer.get()) : "cannot write");
    }
    if (archive_write_close(writer.get()) < ARCHIVE_WARN)
        return refuse(archive_error_string(writer.get()) ? archive_error_string(writer.get()) : "cannot write");
    return true;
}

}  // namespace tidewell
