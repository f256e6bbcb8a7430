// Windows registry backend (built on Windows only).
#ifdef _WIN32
#include "RegistryBackend.h"

#include <windows.h>

namespace kavo {

namespace {

class Win32Key : public RegistryBackend {
public:
    explicit Win32Key(HKEY key) : m_key(key) {}
    ~Win32Key() override { RegCloseKey(m_key); }

    std::optional<RawValue> read(const std::string& name) override
    {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(m_key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        RawValue v;
        v.type = type;
        v.data.resize(size);
        if (RegQueryValueExA(m_key, name.c_str(), nullptr, &type,
                             v.data.empty() ? nullptr : v.data.data(), &size) != ERROR_SUCCESS)
            return std::nullopt;
        v.data.resize(size);
        return v;
    }

    bool write(const std::string& name, const RawValue& value) override
    {
        return RegSetValueExA(m_key, name.c_str(), 0, value.type,
                              value.data.empty() ? nullptr : value.data.data(),
                              static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
    }

    bool remove(const std::string& name) override
    {
        LONG rc = RegDeleteValueA(m_key, name.c_str());
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }

    std::vector<std::string> names() override
    {
        std::vector<std::string> out;
        for (DWORD i = 0;; ++i) {
            char name[16384];
            DWORD len = sizeof name;
            if (RegEnumValueA(m_key, i, name, &len, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            out.emplace_back(name, len);
        }
        return out;
    }

private:
    HKEY m_key;
};

}  // namespace

std::unique_ptr<RegistryBackend> openWin32Key(Hive hive, const std::string& path, Access access,
                                              bool create)
{
    HKEY root = hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    REGSAM sam = access == Access::Read ? KEY_READ
                 : access == Access::Write ? KEY_WRITE
                                           : KEY_ALL_ACCESS;
    HKEY key = nullptr;
    LONG rc;
    if (create)
        rc = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam,
                             nullptr, &key, nullptr);
    else
        rc = RegOpenKeyExA(root, path.c_str(), 0, sam, &key);
    if (rc != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32Key>(key);
}

}  // namespace kavo
#endif
