// The MIB component: object names and their identifiers. The names of the
// MIB-II system group and the tree above it are built in; `Load` adds the
// assignments of one module file:
//   name OBJECT IDENTIFIER ::= { parent n }
//   name OBJECT-TYPE ... ::= { parent n }
// Other constructs of the module are passed over.
#pragma once

#include <map>
#include <string>

namespace snmp {

class SnmpMib {
public:
    SnmpMib();

    // Reads the module file at `path`. Throws SnmpError, and keeps the names
    // it had, when the file is missing or unreadable, is not one module
    // ("NAME DEFINITIONS ::= BEGIN ... END"), has an assignment that is not
    // of the forms above, or names a parent that is not known.
    void Load(const std::string& path);

    // The dotted identifier of `name` ("sysDescr" gives "1.3.6.1.2.1.1.1").
    // Throws SnmpError for a name that is not known.
    std::string NameToOid(const std::string& name) const;

    // Parses module text; the same checks as Load. Gives the module's names
    // and their dotted identifiers.
    static std::map<std::string, std::string> parse(const std::string& text,
                                                    const std::map<std::string, std::string>& known);

private:
    std::map<std::string, std::string> m_names;  // name -> dotted identifier
};

}  // namespace snmp
