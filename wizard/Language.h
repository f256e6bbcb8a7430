// The language selection of the wizard: which language file the system's
// default language asks for, and where it is looked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tidewell {

struct LanguageFile {
    std::uint16_t langId;  // primary and sub-language together
    const char* fileName;
    const char* codePage;  // the Windows code page of the file's texts
};

inline constexpr LanguageFile kLanguageFiles[8] = {
    {0x0404, "Tidewell.cht", "CP950"},   // Chinese (Taiwan)
    {0x0804, "Tidewell.chs", "CP936"},   // Chinese (PRC)
    {0x0411, "Tidewell.jpn", "CP932"},   // Japanese
    {0x0412, "Tidewell.kor", "CP949"},   // Korean
    {0x040C, "Tidewell.fra", "CP1252"},  // French (France)
    {0x0407, "Tidewell.deu", "CP1252"},  // German (Germany)
    {0x0410, "Tidewell.ita", "CP1252"},  // Italian (Italy)
    {0x0419, "Tidewell.rus", "CP1251"},  // Russian
};

// The entry of exactly this identifier; nullptr for any other language.
const LanguageFile* LanguageFileFor(std::uint16_t langId);

// AppPath of the maker's installation key (LocalMachine, read only): the
// text of at most 260 bytes up to its first zero byte, whatever its type;
// empty when the key or value is absent or longer.
std::string ReadAppPath();

// The places a language file is looked for, in order: the program's own
// folder, AppPath run together with the name, the start-up folder's
// "Update" subfolder.
std::vector<std::string> LanguageCandidates(const std::string& programFile, const std::string& appPath,
                                            const std::string& appDir, const std::string& fileName);

// The first candidate that is an existing file (a relative one is found
// from the current directory).
std::optional<std::string> FindLanguageFile(const std::vector<std::string>& candidates);

}  // namespace tidewell
