// A private registry, temporary folder and config folders for one test, so
// tests never touch the user's own store and can run side by side.
#pragma once

#include <string>
#include <vector>

namespace kavo::test {

class IsolatedEnv {
public:
    IsolatedEnv();
    ~IsolatedEnv();
    IsolatedEnv(const IsolatedEnv&) = delete;
    IsolatedEnv& operator=(const IsolatedEnv&) = delete;

    const std::string& root() const { return m_root; }       // removed at the end
    std::string tempFolder() const { return m_root + "/tmp/"; }  // $TMPDIR, with separator
    std::string userStore() const;                           // the CurrentUser store file
    std::string machineStore() const;                        // the LocalMachine store file

    // Writes a file below root (folders made), gives its full path.
    std::string writeFile(const std::string& relative, const std::string& content) const;

private:
    std::string m_root;
    std::vector<std::pair<std::string, std::string>> m_saved;  // name, old value ("\x01" unset)
};

// The folder of the built programs (build/bin).
std::string binDir();
std::string fixturesDir();

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);

// Waits up to `ms` for `text` to appear in the file (a background command's
// log); whether it did.
bool waitForText(const std::string& file, const std::string& text, int ms);

}  // namespace kavo::test
