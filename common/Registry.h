// The registry: one API over the Windows registry (on Windows) and over one
// SQLite database per hive (everywhere else). Key paths and value names
// compare case-insensitively; stored names keep the case first written.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kavo {

enum class Hive { CurrentUser, LocalMachine };

enum class Access { Read, Write, All };

// Windows registry type codes; they are stored as they are.
enum RegType : std::uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegMultiSz = 7,
    RegQword = 11,
};

// Name of a type code as reg.exe shows it ("REG_SZ"), or its number.
std::string regTypeName(std::uint32_t type);
// The type code for a name such as "REG_SZ"; nullopt when unknown.
std::optional<std::uint32_t> regTypeFromName(const std::string& name);

struct RawValue {
    std::uint32_t type = RegNone;
    std::vector<std::uint8_t> data;
};

// Thrown by readString for a value of a type other than REG_SZ; the message
// is "Invalid data type for '<name>'".
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RegistryBackend;

class RegistryKey {
public:
    // Opens (and with `create`, creates) `path` in `hive`. Gives nullptr when
    // the key is missing and not created, when the hive is read-only and the
    // key is missing, or when the store cannot be opened.
    static std::unique_ptr<RegistryKey> open(Hive hive, const std::string& path,
                                             Access access, bool create);

    // The same over an explicit store file (POSIX only): used by the hives
    // above, by tools and by tests that prepare a store.
    static std::unique_ptr<RegistryKey> openStore(const std::string& storeFile,
                                                  const std::string& path, Access access,
                                                  bool create, bool readOnlyStore);

    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // The text of a REG_SZ value, ended at its first zero byte; the empty
    // text when the value is absent. Throws RegistryError for other types.
    std::string readString(const std::string& name);

    // Type and bytes of a value whatever its type; nullopt when absent.
    std::optional<RawValue> readRaw(const std::string& name);

    // Stores `text` as REG_SZ: its bytes and a terminating zero, or exactly
    // `dataSize` bytes (the text, then zero bytes) when given. A dataSize
    // shorter than the text cuts it. False on failure (read-only key too).
    bool writeString(const std::string& name, const std::string& text,
                     std::optional<std::size_t> dataSize = std::nullopt);

    bool writeRaw(const std::string& name, const RawValue& value);

    // Removes a value. A missing value is not a failure.
    bool deleteValue(const std::string& name);

    // Names of the values: in the order they were first written in the
    // POSIX store, in the registry's own order on Windows.
    std::vector<std::string> valueNames();

    bool writable() const { return m_writable; }
    const std::string& path() const { return m_path; }

private:
    RegistryKey(std::unique_ptr<RegistryBackend> backend, std::string path, bool writable);
    std::unique_ptr<RegistryBackend> m_backend;
    std::string m_path;
    bool m_writable;
};

// Where the POSIX store of a hive lives (empty on Windows).
std::string registryStoreFile(Hive hive);

}  // namespace kavo
