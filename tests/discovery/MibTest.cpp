// The MIB component: the built-in names, our module file, and the files
// it must refuse.
#include "TestEnv.h"

#include "snmp/SnmpEvents.h"
#include "snmp/SnmpMib.h"

#include <gtest/gtest.h>

using namespace snmp;
using kavo::test::IsolatedEnv;

namespace {

TEST(SnmpMib, KnowsTheSystemGroupWithoutAFile)
{
    SnmpMib mib;
    EXPECT_EQ(mib.NameToOid("sysDescr"), "1.3.6.1.2.1.1.1");
    EXPECT_EQ(mib.NameToOid("sysServices"), "1.3.6.1.2.1.1.7");
    EXPECT_EQ(mib.NameToOid("system"), "1.3.6.1.2.1.1");
    EXPECT_EQ(mib.NameToOid("enterprises"), "1.3.6.1.4.1");
    EXPECT_THROW(mib.NameToOid("apFirmwareVersion"), SnmpError);
    EXPECT_THROW(mib.NameToOid("sysdescr"), SnmpError);  // names are exact
}

TEST(SnmpMib, LoadsTheModuleShippedBesideTheProgram)
{
    SnmpMib mib;
    ASSERT_NO_THROW(mib.Load(kavo::test::binDir() + "/AT76C510.mib"));
    EXPECT_EQ(mib.NameToOid("apMib"), "1.3.6.1.4.1.41130.1.510");
    EXPECT_EQ(mib.NameToOid("apFirmwareVersion"), "1.3.6.1.4.1.41130.1.510.1.1");
    EXPECT_EQ(mib.NameToOid("apUpgradeBlocksReceived"), "1.3.6.1.4.1.41130.1.510.3.2");
    EXPECT_EQ(mib.NameToOid("sysDescr"), "1.3.6.1.2.1.1.1");
}

TEST(SnmpMib, ReadsBothAssignmentFormsPastOtherConstructs)
{
    auto names = SnmpMib::parse(R"(
        TEST-MIB DEFINITIONS ::= BEGIN
        IMPORTS enterprises, OBJECT-TYPE FROM RFC1155-SMI;
        -- a comment with ::= { nowhere 1 } in it -- later   OBJECT IDENTIFIER
        Entry ::= SEQUENCE { aIndex INTEGER, anOid OBJECT IDENTIFIER }
        child OBJECT-TYPE
            SYNTAX INTEGER { off(0), on(1) }
            DESCRIPTION "text with ::= { fake 9 } and -- no comment"
            ::= { top 4 }
        top OBJECT IDENTIFIER ::= { enterprises 7 }
        aTrap TRAP-TYPE ENTERPRISE top VARIABLES { child } ::= 3
        END
    )",
                                {{"enterprises", "1.3.6.1.4.1"}});
    std::map<std::string, std::string> expected = {{"top", "1.3.6.1.4.1.7"}, {"child", "1.3.6.1.4.1.7.4"}};
    EXPECT_EQ(names, expected);
}

TEST(SnmpMib, RefusesFilesItCannotReadAndKeepsWhatItHad)
{
    IsolatedEnv env;
    SnmpMib mib;
    mib.Load(env.writeFile("good.mib", "GOOD DEFINITIONS ::= BEGIN good OBJECT IDENTIFIER ::= { enterprises 1 } END"));
    const std::string module = "BAD DEFINITIONS ::= BEGIN\n";
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"no module header", "bad OBJECT IDENTIFIER ::= { enterprises 2 }\nEND"},
        {"no END", module + "bad OBJECT IDENTIFIER ::= { enterprises 2 }"},
        {"unknown parent", module + "bad OBJECT IDENTIFIER ::= { nowhere 2 }\nEND"},
        {"circular", module + "bad OBJECT IDENTIFIER ::= { other 1 }\nother OBJECT IDENTIFIER ::= { bad 1 }\nEND"},
        {"no number", module + "bad OBJECT IDENTIFIER ::= { enterprises }\nEND"},
        {"number too large", module + "bad OBJECT IDENTIFIER ::= { enterprises 4294967296 }\nEND"},
        {"several arcs", module + "bad OBJECT IDENTIFIER ::= { enterprises 2 3 }\nEND"},
        {"string not closed", module + "bad OBJECT-TYPE DESCRIPTION \"open ::= { enterprises 2 }\nEND"},
        {"object type without value", module + "bad OBJECT-TYPE SYNTAX INTEGER\nEND"},
        {"assigned twice", module + "bad OBJECT IDENTIFIER ::= { enterprises 2 }\nbad OBJECT IDENTIFIER ::= { enterprises 3 }\nEND"},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(mib.Load(env.writeFile("bad.mib", c.text)), SnmpError) << c.what;
        EXPECT_THROW(mib.NameToOid("bad"), SnmpError) << c.what;
    }
    EXPECT_THROW(mib.Load(""), SnmpError);
    EXPECT_THROW(mib.Load(env.root() + "/missing.mib"), SnmpError);
    EXPECT_THROW(mib.Load(env.root()), SnmpError);  // a folder
    EXPECT_EQ(mib.NameToOid("good"), "1.3.6.1.4.1.1");
}

}  // namespace
