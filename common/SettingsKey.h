// The shared settings key of the three programs and the names of its values.
#pragma once

namespace kavo::settings {

inline constexpr const char* kKeyPath = "Software\\KAVO\\Tidewell";

inline constexpr const char* kApIpAddress = "ApIpAddress";
inline constexpr const char* kApVersion = "ApVersion";
inline constexpr const char* kIpAddress = "IpAddress";
inline constexpr const char* kLastUpdate = "LastUpdate";
inline constexpr const char* kLastUpdateVersion = "LastUpdateVersion";
inline constexpr const char* kProxyEnable = "ProxyEnable";
inline constexpr const char* kProxyAddr = "ProxyAddr";
inline constexpr const char* kProxyPort = "ProxyPort";

// Read-only installation key of the maker's utility suite (LocalMachine).
inline constexpr const char* kKestrelKeyPath = "Software\\KAVO\\KAVO Kestrel";
inline constexpr const char* kAppPath = "AppPath";

// Beaconry's own framework settings key (CurrentUser).
inline constexpr const char* kMarlinKeyPath = "Software\\KAVO\\Marlin";

// The AP table's overflow token format and the table size.
inline constexpr const char* kOverflowFormat = ",>%d";
inline constexpr int kApTableSize = 256;

// Opens the shared key (creating it) and deletes ApIpAddress, IpAddress,
// ApVersion and LastUpdate in this order; failures are passed over.
void deleteRunValues();

}  // namespace kavo::settings
