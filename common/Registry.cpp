#include "Registry.h"

#include "RegistryBackend.h"

#include <cstdlib>
#include <map>

namespace kavo {

namespace {

const std::map<std::uint32_t, std::string>& typeNames()
{
    static const std::map<std::uint32_t, std::string> names = {
        {RegNone, "REG_NONE"},           {RegSz, "REG_SZ"},
        {RegExpandSz, "REG_EXPAND_SZ"},  {RegBinary, "REG_BINARY"},
        {RegDword, "REG_DWORD"},         {5, "REG_DWORD_BIG_ENDIAN"},
        {6, "REG_LINK"},                 {RegMultiSz, "REG_MULTI_SZ"},
        {RegQword, "REG_QWORD"},
    };
    return names;
}

}  // namespace

std::string regTypeName(std::uint32_t type)
{
    auto it = typeNames().find(type);
    return it != typeNames().end() ? it->second : std::to_string(type);
}

std::optional<std::uint32_t> regTypeFromName(const std::string& name)
{
    for (const auto& [code, text] : typeNames())
        if (text == name)
            return code;
    return std::nullopt;
}

std::string registryStoreFile(Hive hive)
{
#ifdef _WIN32
    (void)hive;
    return {};
#else
    if (hive == Hive::CurrentUser) {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        std::string base;
        if (xdg && *xdg) {
            base = xdg;
        } else {
            const char* home = std::getenv("HOME");
            base = std::string(home && *home ? home : "/") + "/.config";
        }
        return base + "/KAVO/registry.db";
    }
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string first = dirs && *dirs ? std::string(dirs) : std::string("/etc/xdg");
    first = first.substr(0, first.find(':'));
    if (first.empty())
        first = "/etc/xdg";
    return first + "/KAVO/registry.db";
#endif
}

RegistryKey::RegistryKey(std::unique_ptr<RegistryBackend> backend, std::string path,
                         bool writable)
    : m_backend(std::move(backend)), m_path(std::move(path)), m_writable(writable)
{
}

RegistryKey::~RegistryKey() = default;

std::unique_ptr<RegistryKey> RegistryKey::open(Hive hive, const std::string& path,
                                               Access access, bool create)
{
#ifdef _WIN32
    auto backend = openWin32Key(hive, path, access, create);
    if (!backend)
        return nullptr;
    return std::unique_ptr<RegistryKey>(
        new RegistryKey(std::move(backend), path, access != Access::Read));
#else
    // The machine hive is never written from here.
    bool readOnly = hive == Hive::LocalMachine;
    return openStore(registryStoreFile(hive), path, access, create, readOnly);
#endif
}

std::unique_ptr<RegistryKey> RegistryKey::openStore(const std::string& storeFile,
                                                    const std::string& path, Access access,
                                                    bool create, bool readOnlyStore)
{
#ifdef _WIN32
    (void)storeFile, (void)path, (void)access, (void)create, (void)readOnlyStore;
    return nullptr;
#else
    if (readOnlyStore && access != Access::Read)
        return nullptr;
    bool mayCreate = create && !readOnlyStore;
    auto backend = openSqliteKey(storeFile, path, mayCreate, readOnlyStore);
    if (!backend)
        return nullptr;
    return std::unique_ptr<RegistryKey>(
        new RegistryKey(std::move(backend), path, access != Access::Read && !readOnlyStore));
#endif
}

std::string RegistryKey::readString(const std::string& name)
{
    auto value = m_backend->read(name);
    if (!value)
        return {};
    if (value->type != RegSz)
        throw RegistryError("Invalid data type for '" + name + "'");
    std::string text(value->data.begin(), value->data.end());
    auto zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    return text;
}

std::optional<RawValue> RegistryKey::readRaw(const std::string& name)
{
    return m_backend->read(name);
}

bool RegistryKey::writeString(const std::string& name, const std::string& text,
                              std::optional<std::size_t> dataSize)
{
    RawValue value;
    value.type = RegSz;
    std::size_t size = dataSize ? *dataSize : text.size() + 1;
    value.data.assign(size, 0);
    for (std::size_t i = 0; i < size && i < text.size(); ++i)
        value.data[i] = static_cast<std::uint8_t>(text[i]);
    return writeRaw(name, value);
}

bool RegistryKey::writeRaw(const std::string& name, const RawValue& value)
{
    if (!m_writable)
        return false;
    return m_backend->write(name, value);
}

bool RegistryKey::deleteValue(const std::string& name)
{
    if (!m_writable)
        return false;
    return m_backend->remove(name);
}

std::vector<std::string> RegistryKey::valueNames()
{
    return m_backend->names();
}

}  // namespace kavo
