// Stands in for the discovery program in the AP search tests: writes an AP
// table into the shared settings key as the discovery program does
// (ApIpAddress, then ApVersion, REG_SZ with the terminating zero counted)
// and exits 0. The table comes from KAVO_TEST_APIPADDRESS and
// KAVO_TEST_APVERSION; an unset variable writes the empty text. With
// KAVO_TEST_AP_NOWRITE set it writes nothing.
#include "Registry.h"
#include "SettingsKey.h"

#include <cstdlib>
#include <string>

int main()
{
    if (std::getenv("KAVO_TEST_AP_NOWRITE"))
        return 0;
    auto text = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::All, true);
    if (!key)
        return 1;
    const std::string addresses = text("KAVO_TEST_APIPADDRESS");
    const std::string versions = text("KAVO_TEST_APVERSION");
    if (!key->writeString(kavo::settings::kApIpAddress, addresses, addresses.size() + 1) ||
        !key->writeString(kavo::settings::kApVersion, versions, versions.size() + 1))
        return 1;
    return 0;
}
