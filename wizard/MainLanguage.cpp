// TFormMain: the language selection, run once when the main window is
// first shown.
#include "Main.h"

#include "Aplist.h"
#include "LangIni.h"
#include "Language.h"
#include "Registry.h"
#include "SettingsKey.h"

#include <QFileInfo>

namespace tidewell {

const LanguageFile* LanguageFileFor(std::uint16_t langId)
{
    for (const LanguageFile& l : kLanguageFiles)
        if (l.langId == langId)
            return &l;
    return nullptr;
}

std::string ReadAppPath()
{
    constexpr std::size_t kBufferSize = 260;
    auto key = kavo::RegistryKey::open(kavo::Hive::LocalMachine, kavo::settings::kKestrelKeyPath,
                                       kavo::Access::Read, false);
    if (!key)
        return std::string();
    const std::optional<kavo::RawValue> value = key->readRaw(kavo::settings::kAppPath);
    if (!value || value->data.size() > kBufferSize)
        return std::string();
    std::string text(value->data.begin(), value->data.end());
    return text.substr(0, text.find('\0'));
}

std::vector<std::string> LanguageCandidates(const std::string& programFile, const std::string& appPath,
                                            const std::string& appDir, const std::string& fileName)
{
    const std::size_t slash = programFile.find_last_of("/\\");
    const std::string programFolder = slash == std::string::npos ? std::string() : programFile.substr(0, slash + 1);
    const char sep = kavo::platform::kSeparator;
    return {programFolder + fileName, appPath + fileName,
            appDir + sep + kUpdateFolder + sep + fileName};
}

std::optional<std::string> FindLanguageFile(const std::vector<std::string>& candidates)
{
    for (const std::string& path : candidates)
        if (!path.empty() && QFileInfo(QString::fromLocal8Bit(path)).isFile())
            return path;
    return std::nullopt;
}

}  // namespace tidewell

void TFormMain::SelectLanguage()
{
    namespace p = kavo::platform;
    const std::string appPath = tidewell::ReadAppPath();
    const tidewell::LanguageFile* language = tidewell::LanguageFileFor(p::systemDefaultLangId());
    if (!language)
        return;
    const std::optional<std::string> path = tidewell::FindLanguageFile(
        tidewell::LanguageCandidates(p::ownProgramFile(), appPath, AppDir, language->fileName));
    if (!path)
        return;

    LngINISupp1->Forms = {this, FormAPList};
    LngINISupp1->CodePage = language->codePage;
    MsgINISupp1->CodePage = language->codePage;
    LngINISupp1->FileName = *path;
    LngINISupp1->Open();
    MsgINISupp1->FileName = *path;
    MsgINISupp1->Open();
    LngINISupp1->Close();
    MsgINISupp1->Close();
}
