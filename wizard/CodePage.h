// Texts in a Windows code page (the language files' encodings), converted
// with the C library's iconv (on Windows with the system's own conversion).
#pragma once

#include <QString>

#include <string>

namespace tidewell {

// `bytes` in `codePage` ("CP932", "CP1251", ...) as text. A byte sequence
// that is not valid in the code page becomes U+FFFD and decoding goes on;
// an unknown code page decodes nothing (empty text).
QString DecodeCodePage(const std::string& bytes, const char* codePage);

// `text` in `codePage`; a character the code page lacks becomes "?".
std::string EncodeCodePage(const QString& text, const char* codePage);

}  // namespace tidewell
