#include "IniFile.h"

#include <QFile>
#include <QSaveFile>

namespace tidewell {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The name of a section header line ("[name]"), or nullopt for other lines.
std::optional<std::string_view> headerName(std::string_view line)
{
    line = trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    line.remove_prefix(1);
    return trim(line.substr(0, line.find(']')));
}

// The key and the raw value of a "key=value" line; nullopt for other lines
// (headers, comments, blank lines, lines without "=").
std::optional<std::pair<std::string_view, std::string_view>> entry(std::string_view line)
{
    line = trim(line);
    if (line.empty() || line.front() == '[' || line.front() == ';')
        return std::nullopt;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return std::pair{trim(line.substr(0, eq)), trim(line.substr(eq + 1))};
}

}  // namespace

std::optional<TIniFile> TIniFile::Load(const std::string& path)
{
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return TIniFile(f.readAll().toStdString());
}

bool TIniFile::Save(const std::string& path) const
{
    QSaveFile f(QString::fromLocal8Bit(path));
    // A folder the user may not write to still lets a writable file change.
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(m_bytes.data(), static_cast<qint64>(m_bytes.size())) != static_cast<qint64>(m_bytes.size())) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

std::vector<TIniFile::Line> TIniFile::Lines() const
{
    std::vector<Line> lines;
    std::size_t at = 0;
    while (at < m_bytes.size()) {
        std::size_t nl = m_bytes.find('\n', at);
        Line l;
        l.begin = at;
        l.next = nl == std::string::npos ? m_bytes.size() : nl + 1;
        l.end = nl == std::string::npos ? m_bytes.size() : nl;
        if (l.end > l.begin && m_bytes[l.end - 1] == '\r')
            --l.end;
        lines.push_back(l);
        at = l.next;
    }
    return lines;
}

std::optional<std::size_t> TIniFile::FindSection(const std::vector<Line>& lines, std::string_view section) const
{
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (auto name = headerName(Text(lines[i])); name && sameName(*name, section))
            return i;
    return std::nullopt;
}

std::vector<std::string> TIniFile::ReadSections() const
{
    std::vector<std::string> names;
    for (const Line& l : Lines())
        if (auto name = headerName(Text(l)))
            names.emplace_back(*name);
    return names;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const
{
    std::vector<std::string> keys;
    const std::vector<Line> lines = Lines();
    const auto header = FindSection(lines, section);
    if (!header)
        return keys;
    for (std::size_t i = *header + 1; i < lines.size() && !headerName(Text(lines[i])); ++i)
        if (auto e = entry(Text(lines[i])))
            keys.emplace_back(e->first);
    return keys;
}

std::optional<std::string> TIniFile::ReadString(std::string_view section, std::string_view key) const
{
    const std::vector<Line> lines = Lines();
    const auto header = FindSection(lines, section);
    if (!header)
        return std::nullopt;
    for (std::size_t i = *header + 1; i < lines.size() && !headerName(Text(lines[i])); ++i) {
        auto e = entry(Text(lines[i]));
        if (!e || !sameName(e->first, key))
            continue;
        std::string_view value = e->second;
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value.substr(0, kMaxValue));
    }
    return std::nullopt;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string line = std::string(key) + "=" + std::string(value);
    const std::vector<Line> lines = Lines();
    const auto header = FindSection(lines, section);
    if (!header) {
        if (!m_bytes.empty() && m_bytes.back() != '\n')
            m_bytes += "\r\n";
        m_bytes += "[" + std::string(section) + "]\r\n" + line + "\r\n";
        return;
    }
    std::size_t last = *header;  // the last line of the section with text on it
    for (std::size_t i = *header + 1; i < lines.size() && !headerName(Text(lines[i])); ++i) {
        if (auto e = entry(Text(lines[i])); e && sameName(e->first, key)) {
            m_bytes.replace(lines[i].begin, lines[i].end - lines[i].begin, line);
            return;
        }
        if (!trim(Text(lines[i])).empty())
            last = i;
    }
    const Line& after = lines[last];
    if (after.next == after.end)  // the file's last line, without a line end
        m_bytes.insert(after.next, "\r\n" + line);
    else
        m_bytes.insert(after.next, line + "\r\n");
}

bool FileIsReadOnly(const std::string& path)
{
    const QString file = QString::fromLocal8Bit(path);
    if (!QFile::exists(file))
        return false;
    // The mode's write bits (on Windows: the read-only attribute), not
    // whether this user could write.
    const auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return (QFile::permissions(file) & writeBits) == 0;
}

}  // namespace tidewell
