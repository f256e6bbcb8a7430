// kavo-reg: looks into and changes the registry store from a shell, with
// the verbs and the output of Windows' reg.exe.
//
//   kavo-reg query KEY [/v NAME] [/raw]
//   kavo-reg add KEY /v NAME [/t TYPE] /d DATA [/f]
//   kavo-reg delete KEY /v NAME [/f]
//
// KEY is HKCU\... or HKLM\... (or the long hive names). Exit codes: 0 done,
// 1 missing key or value or a failed change, 2 bad arguments.
#include "Registry.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using namespace kavo;

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  kavo-reg query KEY [/v NAME] [/raw]\n"
    "  kavo-reg add KEY /v NAME [/t TYPE] /d DATA [/f]\n"
    "  kavo-reg delete KEY /v NAME [/f]\n"
    "KEY is HKCU\\path or HKLM\\path. TYPE is REG_SZ (the default), REG_EXPAND_SZ,\n"
    "REG_DWORD or REG_BINARY (DATA in hex digits).\n";

constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.";

int usageError(const std::string& why)
{
    std::cerr << "ERROR: " << why << "\n" << kUsage;
    return 2;
}

struct Args {
    std::string verb;
    Hive hive = Hive::CurrentUser;
    std::string hiveName;
    std::string path;
    std::optional<std::string> name, type, data;
    bool force = false, raw = false;
};

std::string upper(std::string s)
{
    for (auto& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool upperEquals(const std::string& a, const char* b) { return upper(a) == b; }
bool sameText(const std::string& a, const std::string& b) { return upper(a) == upper(b); }

bool parseKey(const std::string& key, Args& a)
{
    std::string root = key.substr(0, key.find('\\'));
    if (upperEquals(root, "HKCU") || upperEquals(root, "HKEY_CURRENT_USER")) {
        a.hive = Hive::CurrentUser;
        a.hiveName = "HKEY_CURRENT_USER";
    } else if (upperEquals(root, "HKLM") || upperEquals(root, "HKEY_LOCAL_MACHINE")) {
        a.hive = Hive::LocalMachine;
        a.hiveName = "HKEY_LOCAL_MACHINE";
    } else {
        return false;
    }
    a.path = key.size() > root.size() ? key.substr(root.size() + 1) : std::string();
    while (!a.path.empty() && a.path.back() == '\\')
        a.path.pop_back();
    return !a.path.empty();
}

std::string hex(const std::vector<std::uint8_t>& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

void printValue(const std::string& name, const RawValue& v, bool raw)
{
    std::cout << "    " << name << "    ";
    if (raw) {
        std::cout << v.type << "    " << hex(v.data) << "\n";
        return;
    }
    std::cout << regTypeName(v.type) << "    ";
    if (v.type == RegSz || v.type == RegExpandSz) {
        std::string text(v.data.begin(), v.data.end());
        std::cout << text.substr(0, text.find('\0'));
    } else if (v.type == RegDword && v.data.size() == 4) {
        std::uint32_t d = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | std::uint32_t(v.data[3]) << 24;
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", d);
        std::cout << buf;
    } else {
        std::cout << hex(v.data);
    }
    std::cout << "\n";
}

int query(const Args& a)
{
    auto key = RegistryKey::open(a.hive, a.path, Access::Read, false);
    if (!key) {
        std::cerr << kNotFound << "\n";
        return 1;
    }
    // The names as they are stored; /v NAME picks one without regard to case.
    std::vector<std::string> names = key->valueNames();
    if (a.name) {
        std::erase_if(names, [&](const std::string& stored) { return !sameText(stored, *a.name); });
        if (names.empty()) {
            std::cerr << kNotFound << "\n";
            return 1;
        }
    }
    std::cout << "\n" << a.hiveName << "\\" << a.path << "\n";
    for (const auto& n : names)
        if (auto v = key->readRaw(n))
            printValue(n, *v, a.raw);
    std::cout << "\n";
    return 0;
}

std::optional<RawValue> makeValue(const Args& a)
{
    RawValue v;
    v.type = RegSz;
    if (a.type) {
        auto t = regTypeFromName(upper(*a.type));  // reg.exe takes any case
        if (!t)
            return std::nullopt;
        v.type = *t;
    }
    const std::string& d = *a.data;
    if (v.type == RegSz || v.type == RegExpandSz) {
        v.data.assign(d.begin(), d.end());
        v.data.push_back(0);
    } else if (v.type == RegDword) {
        char* end = nullptr;
        unsigned long long n = std::strtoull(d.c_str(), &end, 0);
        if (d.empty() || *end || n > 0xFFFFFFFFull)
            return std::nullopt;
        for (int i = 0; i < 4; ++i)
            v.data.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    } else if (v.type == RegBinary || v.type == RegNone) {
        if (d.size() % 2)
            return std::nullopt;
        for (std::size_t i = 0; i < d.size(); i += 2) {
            if (!std::isxdigit(static_cast<unsigned char>(d[i])) ||
                !std::isxdigit(static_cast<unsigned char>(d[i + 1])))
                return std::nullopt;
            v.data.push_back(static_cast<std::uint8_t>(std::stoi(d.substr(i, 2), nullptr, 16)));
        }
    } else {
        return std::nullopt;
    }
    return v;
}

int add(const Args& a)
{
    auto value = makeValue(a);
    if (!value)
        return usageError("invalid type or data.");
    if (a.hive == Hive::LocalMachine) {
        std::cerr << "ERROR: Access is denied.\n";
        return 1;
    }
    auto key = RegistryKey::open(a.hive, a.path, Access::All, true);
    if (!key) {
        std::cerr << "ERROR: The registry store could not be opened.\n";
        return 1;
    }
    if (!a.force && key->readRaw(*a.name)) {
        std::cerr << "ERROR: Value " << *a.name << " exists; use /f to overwrite it.\n";
        return 1;
    }
    if (!key->writeRaw(*a.name, *value)) {
        std::cerr << "ERROR: The value could not be written.\n";
        return 1;
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int remove(const Args& a)
{
    if (a.hive == Hive::LocalMachine) {
        std::cerr << "ERROR: Access is denied.\n";
        return 1;
    }
    auto key = RegistryKey::open(a.hive, a.path, Access::All, false);
    if (!key || !key->readRaw(*a.name)) {
        std::cerr << kNotFound << "\n";
        return 1;
    }
    if (!key->deleteValue(*a.name)) {
        std::cerr << "ERROR: The value could not be deleted.\n";
        return 1;
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usageError("no operation given.");
    Args a;
    a.verb = args[0];
    for (auto& c : a.verb)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (a.verb != "query" && a.verb != "add" && a.verb != "delete")
        return usageError("unknown operation '" + args[0] + "'.");
    if (args.size() < 2 || !parseKey(args[1], a))
        return usageError("a key such as HKCU\\Software\\KAVO\\Tidewell is needed.");
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::string opt = args[i];
        for (auto& c : opt)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        auto next = [&](std::optional<std::string>& into) {
            if (i + 1 >= args.size())
                return false;
            into = args[++i];
            return true;
        };
        if ((opt == "/v" && next(a.name)) || (opt == "/t" && next(a.type)) ||
            (opt == "/d" && next(a.data)))
            continue;
        if (opt == "/f")
            a.force = true;
        else if (opt == "/raw" && a.verb == "query")
            a.raw = true;
        else
            return usageError("invalid option '" + args[i] + "'.");
    }
    if (a.verb == "query") {
        if (a.type || a.data || a.force)
            return usageError("query takes /v and /raw only.");
        return query(a);
    }
    if (!a.name)
        return usageError("/v NAME is needed.");
    if (a.verb == "add") {
        if (!a.data)
            return usageError("/d DATA is needed.");
        return add(a);
    }
    if (a.type || a.data)
        return usageError("delete takes /v and /f only.");
    return remove(a);
}
