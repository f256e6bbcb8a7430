#include "SnmpMib.h"

#include "SnmpEvents.h"

#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace snmp {

namespace {

const std::pair<const char*, const char*> kBuiltIn[] = {
    {"ccitt", "0"},
    {"iso", "1"},
    {"joint-iso-ccitt", "2"},
    {"org", "1.3"},
    {"dod", "1.3.6"},
    {"internet", "1.3.6.1"},
    {"directory", "1.3.6.1.1"},
    {"mgmt", "1.3.6.1.2"},
    {"mib-2", "1.3.6.1.2.1"},
    {"system", "1.3.6.1.2.1.1"},
    {"sysDescr", "1.3.6.1.2.1.1.1"},
    {"sysObjectID", "1.3.6.1.2.1.1.2"},
    {"sysUpTime", "1.3.6.1.2.1.1.3"},
    {"sysContact", "1.3.6.1.2.1.1.4"},
    {"sysName", "1.3.6.1.2.1.1.5"},
    {"sysLocation", "1.3.6.1.2.1.1.6"},
    {"sysServices", "1.3.6.1.2.1.1.7"},
    {"experimental", "1.3.6.1.3"},
    {"private", "1.3.6.1.4"},
    {"enterprises", "1.3.6.1.4.1"},
};

[[noreturn]] void fail(const std::string& why)
{
    throw SnmpError("MIB: " + why);
}

// Tokens of ASN.1 module text: names and numbers, quoted strings (one token
// each), "::=" and single punctuation characters; comments run from "--" to
// the next "--" or the end of the line.
std::vector<std::string> tokens(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t i = 0, n = text.size();
    auto isWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; };
    while (i < n) {
        char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '-' && i + 1 < n && text[i + 1] == '-') {
            i += 2;
            while (i < n && text[i] != '\n' && text[i] != '\r') {
                if (text[i] == '-' && i + 1 < n && text[i + 1] == '-') {
                    i += 2;
                    break;
                }
                ++i;
            }
        } else if (c == '"') {
            std::size_t end = text.find('"', i + 1);
            if (end == std::string::npos)
                fail("a string is not closed");
            out.push_back(text.substr(i, end - i + 1));
            i = end + 1;
        } else if (text.compare(i, 3, "::=") == 0) {
            out.emplace_back("::=");
            i += 3;
        } else if (isWord(c)) {
            std::size_t start = i;
            while (i < n && isWord(text[i])) {
                // "--" inside a word starts a comment.
                if (text[i] == '-' && i + 1 < n && text[i + 1] == '-')
                    break;
                ++i;
            }
            out.push_back(text.substr(start, i - start));
        } else {
            out.emplace_back(1, c);
            ++i;
        }
    }
    return out;
}

bool isNumber(const std::string& t)
{
    std::uint32_t v = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && p == t.data() + t.size();
}

bool isName(const std::string& t)
{
    return !t.empty() && std::islower(static_cast<unsigned char>(t[0]));
}

}  // namespace

SnmpMib::SnmpMib()
{
    for (const auto& [name, oid] : kBuiltIn)
        m_names[name] = oid;
}

std::map<std::string, std::string> SnmpMib::parse(const std::string& text,
                                                  const std::map<std::string, std::string>& known)
{
    std::vector<std::string> t = tokens(text);
    auto at = [&t](std::size_t i) -> const std::string& {
        static const std::string none;
        return i < t.size() ? t[i] : none;
    };
    if (t.size() < 5 || at(1) != "DEFINITIONS" || at(2) != "::=" || at(3) != "BEGIN" || t.back() != "END")
        fail("not a module (NAME DEFINITIONS ::= BEGIN ... END)");

    // name -> (parent, number), in file order.
    std::vector<std::pair<std::string, std::pair<std::string, std::string>>> assignments;
    // "::= { parent n }" starting at i; gives the index after it.
    auto value = [&](std::size_t i, const std::string& name) {
        if (at(i) != "::=" || at(i + 1) != "{" || !isName(at(i + 2)) || !isNumber(at(i + 3)) || at(i + 4) != "}")
            fail("the value of " + name + " is not of the form ::= { parent n }");
        assignments.push_back({name, {at(i + 2), at(i + 3)}});
        return i + 5;
    };
    for (std::size_t i = 4; i + 1 < t.size();) {
        if (isName(t[i]) && at(i + 1) == "OBJECT" && at(i + 2) == "IDENTIFIER" && at(i + 3) == "::=") {
            i = value(i + 3, t[i]);
        } else if (isName(t[i]) && at(i + 1) == "OBJECT-TYPE") {
            std::size_t j = i + 2;
            while (j < t.size() && t[j] != "::=")
                ++j;
            i = value(j, t[i]);
        } else {
            ++i;
        }
    }

    std::map<std::string, std::pair<std::string, std::string>> pending(assignments.begin(), assignments.end());
    if (pending.size() != assignments.size())
        fail("a name is assigned twice");
    std::map<std::string, std::string> out;
    // Resolves a name through its parents; a chain longer than the module is a cycle.
    auto resolve = [&](const std::string& start) {
        std::vector<std::string> chain;
        std::string name = start;
        while (!out.count(name) && !known.count(name)) {
            auto it = pending.find(name);
            if (it == pending.end())
                fail("unknown parent " + name + " (of " + (chain.empty() ? start : chain.back()) + ")");
            if (chain.size() > pending.size())
                fail("the assignment of " + start + " is circular");
            chain.push_back(name);
            name = it->second.first;
        }
        std::string base = out.count(name) ? out[name] : known.at(name);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            base += "." + pending[*it].second;
            out[*it] = base;
        }
    };
    for (const auto& a : assignments)
        resolve(a.first);
    return out;
}

void SnmpMib::Load(const std::string& path)
{
    if (path.empty())
        fail("no file name");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec))
        fail("no file " + path);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!(in && text << in.rdbuf()))
        fail("cannot read " + path);
    std::map<std::string, std::string> loaded = parse(text.str(), m_names);
    for (auto& [name, oid] : loaded)
        m_names[name] = oid;
}

std::string SnmpMib::NameToOid(const std::string& name) const
{
    auto it = m_names.find(name);
    if (it == m_names.end())
        fail("unknown name " + name);
    return it->second;
}

}  // namespace snmp
