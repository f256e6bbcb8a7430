#include "Platform.h"

#include <cctype>
#include <map>

namespace kavo::platform {

namespace {
Services* g_installed = nullptr;
}

Services& services()
{
    return g_installed ? *g_installed : nativeServices();
}

void setServices(Services* s)
{
    g_installed = s;
}

std::uint16_t langIdFromLocale(const std::string& locale)
{
    // "ll_CC" first, then the language alone.
    static const std::map<std::string, std::uint16_t> full = {
        {"zh_TW", 0x0404}, {"zh_CN", 0x0804}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004},
        {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C},
        {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"de_DE", 0x0407}, {"de_CH", 0x0807},
        {"de_AT", 0x0C07}, {"it_IT", 0x0410}, {"it_CH", 0x0810}, {"ru_RU", 0x0419},
        {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
        {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816},
        {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"sv_SE", 0x041D}, {"pl_PL", 0x0415},
        {"cs_CZ", 0x0405}, {"da_DK", 0x0406}, {"fi_FI", 0x040B}, {"nb_NO", 0x0414},
        {"hu_HU", 0x040E}, {"tr_TR", 0x041F}, {"el_GR", 0x0408}, {"he_IL", 0x040D},
        {"uk_UA", 0x0422}, {"th_TH", 0x041E}, {"ar_SA", 0x0401},
    };
    static const std::map<std::string, std::uint16_t> language = {
        {"zh", 0x0804}, {"ja", 0x0411}, {"ko", 0x0412}, {"fr", 0x040C}, {"de", 0x0407},
        {"it", 0x0410}, {"ru", 0x0419}, {"en", 0x0409}, {"es", 0x0C0A}, {"pt", 0x0416},
        {"nl", 0x0413}, {"sv", 0x041D}, {"pl", 0x0415}, {"cs", 0x0405}, {"da", 0x0406},
        {"fi", 0x040B}, {"nb", 0x0414}, {"hu", 0x040E}, {"tr", 0x041F}, {"el", 0x0408},
        {"he", 0x040D}, {"uk", 0x0422}, {"th", 0x041E}, {"ar", 0x0401},
    };
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    if (auto it = full.find(name); it != full.end())
        return it->second;
    if (auto it = language.find(name.substr(0, name.find('_'))); it != language.end())
        return it->second;
    return 0x0409;
}

}  // namespace kavo::platform
