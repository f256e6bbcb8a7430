// A Windows profile (INI) file, read and written as the system's profile
// functions do: byte for byte, section and key names compared without
// regard to case, the first of equal names winning, new keys at the end of
// their section and new sections at the end of the file with CR LF line
// ends; lines already there are never rewritten, except the one line of a
// key that is written again.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

class TIniFile {
public:
    // The longest value handed out; longer ones are cut.
    static constexpr std::size_t kMaxValue = 2047;

    TIniFile() = default;
    explicit TIniFile(std::string bytes) : m_bytes(std::move(bytes)) {}

    // Reads a whole file; nullopt when it cannot be read.
    static std::optional<TIniFile> Load(const std::string& path);
    // Writes the whole file (the file's mode is kept). False on failure.
    bool Save(const std::string& path) const;

    const std::string& Bytes() const { return m_bytes; }

    // The section names in file order (each header as written).
    std::vector<std::string> ReadSections() const;
    // The key names of the first section named `section`, in file order.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // The value of the first key named `key` in the first section named
    // `section`: blanks around it and one pair of enclosing quotes removed,
    // at most kMaxValue bytes. nullopt when there is no such key.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    bool ValueExists(std::string_view section, std::string_view key) const
    {
        return ReadString(section, key).has_value();
    }

    // Writes "key=value": in place of the key's line when the key is there,
    // else after the last line of the section, else in a new section at the
    // end of the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

private:
    struct Line {
        std::size_t begin = 0, end = 0;  // the text, without the line end
        std::size_t next = 0;            // start of the following line
    };
    std::vector<Line> Lines() const;
    std::string_view Text(const Line& l) const { return std::string_view(m_bytes).substr(l.begin, l.end - l.begin); }
    // The line index of the first header named `section`, or nullopt.
    std::optional<std::size_t> FindSection(const std::vector<Line>& lines, std::string_view section) const;

    std::string m_bytes;
};

// Whether a file is marked read-only: its mode has no write bit at all,
// whoever asks (as the Windows file attribute).
bool FileIsReadOnly(const std::string& path);

}  // namespace tidewell
