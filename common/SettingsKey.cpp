#include "SettingsKey.h"

#include "Registry.h"

namespace kavo::settings {

void deleteRunValues()
{
    auto key = RegistryKey::open(Hive::CurrentUser, kKeyPath, Access::All, true);
    if (!key)
        return;
    for (const char* name : {kApIpAddress, kIpAddress, kApVersion, kLastUpdate})
        key->deleteValue(name);
}

}  // namespace kavo::settings
