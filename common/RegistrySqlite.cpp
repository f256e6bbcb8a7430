// POSIX registry store: one SQLite database per hive. The schema is a stored
// format that tools and later versions rely on; see the README.
#ifndef _WIN32
#include "RegistryBackend.h"

#include <sqlite3.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kavo {

namespace {

constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys(path TEXT PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS \"values\"("
    "path TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
    "type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(path, name));";

// Backslashes as on Windows, no leading or trailing or doubled separators.
std::string canonicalPath(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == '/')
            c = '\\';
        if (c == '\\' && (out.empty() || out.back() == '\\'))
            continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == '\\')
        out.pop_back();
    return out;
}

bool makeFolders(const std::string& file)
{
    auto slash = file.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return true;
    std::string folder = file.substr(0, slash);
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (!makeFolders(folder))
        return false;
    // Only the store's own folder is private; parents are made as usual.
    bool own = folder.size() >= 5 && folder.compare(folder.size() - 5, 5, "/KAVO") == 0;
    return ::mkdir(folder.c_str(), own ? 0700 : 0755) == 0 || errno == EEXIST;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    explicit operator bool() const { return m_stmt != nullptr; }
    Statement& text(int i, const std::string& s)
    {
        sqlite3_bind_text(m_stmt, i, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& integer(int i, std::int64_t v)
    {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Statement& blob(int i, const std::vector<std::uint8_t>& b)
    {
        // A zero-length blob must still be a blob, not NULL.
        sqlite3_bind_blob(m_stmt, i, b.empty() ? "" : static_cast<const void*>(b.data()),
                          static_cast<int>(b.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    sqlite3_stmt* get() { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

class SqliteKey : public RegistryBackend {
public:
    SqliteKey(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}
    ~SqliteKey() override { sqlite3_close_v2(m_db); }

    std::optional<RawValue> read(const std::string& name) override
    {
        Statement st(m_db, "SELECT type, data FROM \"values\" WHERE path=?1 AND name=?2");
        st.text(1, m_path).text(2, name);
        if (st.step() != SQLITE_ROW)
            return std::nullopt;
        RawValue v;
        v.type = static_cast<std::uint32_t>(sqlite3_column_int64(st.get(), 0));
        auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(st.get(), 1));
        int n = sqlite3_column_bytes(st.get(), 1);
        if (bytes && n > 0)
            v.data.assign(bytes, bytes + n);
        return v;
    }

    bool write(const std::string& name, const RawValue& value) override
    {
        return inTransaction([&] {
            // The name keeps the case it was first written with.
            Statement st(m_db,
                         "INSERT INTO \"values\"(path, name, type, data) VALUES(?1, ?2, ?3, ?4) "
                         "ON CONFLICT(path, name) DO UPDATE SET type=excluded.type, "
                         "data=excluded.data");
            st.text(1, m_path).text(2, name).integer(3, value.type).blob(4, value.data);
            return st.step() == SQLITE_DONE;
        });
    }

    bool remove(const std::string& name) override
    {
        return inTransaction([&] {
            Statement st(m_db, "DELETE FROM \"values\" WHERE path=?1 AND name=?2");
            st.text(1, m_path).text(2, name);
            return st.step() == SQLITE_DONE;
        });
    }

    std::vector<std::string> names() override
    {
        std::vector<std::string> out;
        Statement st(m_db, "SELECT name FROM \"values\" WHERE path=?1 ORDER BY rowid");
        st.text(1, m_path);
        while (st.step() == SQLITE_ROW)
            out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
        return out;
    }

    template <typename F>
    bool inTransaction(F&& body)
    {
        if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
        if (!body()) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
        if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
        return true;
    }

private:
    sqlite3* m_db;
    std::string m_path;
};

bool keyExists(sqlite3* db, const std::string& path, bool& error)
{
    Statement st(db, "SELECT 1 FROM keys WHERE path=?1");
    if (!st) {
        error = true;
        return false;
    }
    st.text(1, path);
    int rc = st.step();
    error = rc != SQLITE_ROW && rc != SQLITE_DONE;
    return rc == SQLITE_ROW;
}

}  // namespace

std::unique_ptr<RegistryBackend> openSqliteKey(const std::string& storeFile,
                                               const std::string& rawPath, bool create,
                                               bool readOnlyStore)
{
    std::string path = canonicalPath(rawPath);
    if (path.empty() || storeFile.empty())
        return nullptr;

    bool exists = ::access(storeFile.c_str(), F_OK) == 0;
    if (!exists) {
        if (!create || readOnlyStore)
            return nullptr;  // no store: every key is absent
        if (!makeFolders(storeFile))
            return nullptr;
        int fd = ::open(storeFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return nullptr;
        if (fd >= 0)
            ::close(fd);
    }

    sqlite3* db = nullptr;
    int flags = (readOnlyStore ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(storeFile.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);

    // A file that is not a database fails here; it is never written over.
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }

    bool error = false;
    if (keyExists(db, path, error))
        return std::make_unique<SqliteKey>(db, path);
    if (!create || readOnlyStore) {
        sqlite3_close_v2(db);
        return nullptr;
    }

    // Create the key and every key above it, as the Windows registry does.
    bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
    for (std::size_t pos = 0; ok;) {
        pos = path.find('\\', pos + 1);
        Statement st(db, "INSERT OR IGNORE INTO keys(path) VALUES(?1)");
        st.text(1, path.substr(0, pos));
        ok = st.step() == SQLITE_DONE;
        if (pos == std::string::npos)
            break;
    }
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db);
        return nullptr;
    }
    return std::make_unique<SqliteKey>(db, path);
}

}  // namespace kavo
#endif
