#include "TestEnv.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace kavo::test {

namespace fs = std::filesystem;

namespace {
constexpr const char* kUnset = "\x01";
}

IsolatedEnv::IsolatedEnv()
{
    std::string pattern = (fs::temp_directory_path() / "kavo-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    fs::create_directories(m_root + "/tmp");
    fs::create_directories(m_root + "/etc-xdg");
    const std::pair<const char*, std::string> vars[] = {
        {"XDG_CONFIG_HOME", m_root + "/config"},
        {"XDG_CONFIG_DIRS", m_root + "/etc-xdg"},
        {"TMPDIR", m_root + "/tmp"},
    };
    for (const auto& [name, value] : vars) {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? old : kUnset);
        ::setenv(name, value.c_str(), 1);
    }
}

IsolatedEnv::~IsolatedEnv()
{
    for (const auto& [name, value] : m_saved) {
        if (value == kUnset)
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::error_code ec;
    // Files a test made read-only must still go.
    for (auto it = fs::recursive_directory_iterator(m_root, ec); it != fs::recursive_directory_iterator(); ++it)
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_root, ec);
}

std::string IsolatedEnv::userStore() const { return m_root + "/config/KAVO/registry.db"; }
std::string IsolatedEnv::machineStore() const { return m_root + "/etc-xdg/KAVO/registry.db"; }

std::string IsolatedEnv::writeFile(const std::string& relative, const std::string& content) const
{
    fs::path path = fs::path(m_root) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path.string();
}

std::string binDir()
{
    const char* env = std::getenv("KAVO_BIN_DIR");
    return env && *env ? env : KAVO_BIN_DIR;
}

std::string fixturesDir()
{
    const char* env = std::getenv("KAVO_FIXTURES");
    return env && *env ? env : KAVO_FIXTURES;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool waitForText(const std::string& file, const std::string& text, int ms)
{
    for (int waited = 0;; waited += 20) {
        if (readFile(file).find(text) != std::string::npos)
            return true;
        if (waited >= ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace kavo::test
