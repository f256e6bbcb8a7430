// What a registry backend does for one open key.
#pragma once

#include "Registry.h"

namespace kavo {

class RegistryBackend {
public:
    virtual ~RegistryBackend() = default;
    virtual std::optional<RawValue> read(const std::string& name) = 0;
    virtual bool write(const std::string& name, const RawValue& value) = 0;
    virtual bool remove(const std::string& name) = 0;
    virtual std::vector<std::string> names() = 0;
};

// Opens a key in a store; nullptr when missing (and not created) or when the
// store cannot be used.
std::unique_ptr<RegistryBackend> openSqliteKey(const std::string& storeFile,
                                               const std::string& path, bool create,
                                               bool readOnlyStore);
#ifdef _WIN32
std::unique_ptr<RegistryBackend> openWin32Key(Hive hive, const std::string& path,
                                              Access access, bool create);
#endif

}  // namespace kavo
