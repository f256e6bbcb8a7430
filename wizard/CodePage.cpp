#include "CodePage.h"

#ifdef _WIN32

#include <windows.h>

#include <cstdlib>

namespace tidewell {

namespace {

// "CP932" -> 932.
UINT codePageNumber(const char* codePage)
{
    return static_cast<UINT>(std::strtoul(codePage + 2, nullptr, 10));
}

}  // namespace

QString DecodeCodePage(const std::string& bytes, const char* codePage)
{
    const UINT cp = codePageNumber(codePage);
    const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0)
        return QString();
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return QString::fromStdWString(text);
}

std::string EncodeCodePage(const QString& text, const char* codePage)
{
    const UINT cp = codePageNumber(codePage);
    const std::wstring wide = text.toStdWString();
    const int n = WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, "?", nullptr);
    if (n <= 0)
        return std::string();
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n, "?", nullptr);
    return bytes;
}

}  // namespace tidewell

#else

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace tidewell {

namespace {

// One conversion descriptor for one call.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts what it can of [in, in + length); the bytes taken and the
    // output written. Stops at an invalid or incomplete sequence.
    std::size_t convert(const char* in, std::size_t length, std::vector<char>& out)
    {
        char* src = const_cast<char*>(in);
        std::size_t left = length;
        while (left > 0) {
            char buffer[1024];
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            std::size_t r = iconv(m_cd, &src, &left, &dst, &room);
            out.insert(out.end(), buffer, dst);
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG)
                break;
        }
        return length - left;
    }

private:
    iconv_t m_cd;
};

}  // namespace

QString DecodeCodePage(const std::string& bytes, const char* codePage)
{
    Converter cd("UTF-16LE", codePage);
    if (!cd.ok())
        return QString();
    std::vector<char> out;
    std::size_t at = 0;
    while (at < bytes.size()) {
        at += cd.convert(bytes.data() + at, bytes.size() - at, out);
        if (at < bytes.size()) {
            // An invalid or cut sequence: one replacement character for its
            // first byte, then on.
            const char16_t replacement = 0xFFFD;
            out.insert(out.end(), reinterpret_cast<const char*>(&replacement),
                       reinterpret_cast<const char*>(&replacement) + 2);
            ++at;
        }
    }
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(out.data()),
                              static_cast<qsizetype>(out.size() / 2));
}

std::string EncodeCodePage(const QString& text, const char* codePage)
{
    Converter cd(codePage, "UTF-16LE");
    if (!cd.ok())
        return std::string();
    std::string result;
    for (qsizetype i = 0; i < text.size();) {
        // One character (a surrogate pair counts as one) at a time, so that
        // one the code page lacks becomes "?" and the rest goes on.
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        std::vector<char> out;
        const auto* in = reinterpret_cast<const char*>(text.constData() + i);
        if (cd.convert(in, static_cast<std::size_t>(n) * 2, out) == static_cast<std::size_t>(n) * 2)
            result.append(out.begin(), out.end());
        else
            result += '?';
        i += n;
    }
    return result;
}

}  // namespace tidewell

#endif
