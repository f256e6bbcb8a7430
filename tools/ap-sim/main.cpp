// ap-sim: a simulated access point for tests and demos.
//   ap-sim tftp [options]   the firmware upload side (UDP port 69)
//   ap-sim snmp [options]   the SNMP agent side (UDP port 161)
// Each side prints its own options with --help.
#include "ApSim.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || (args[0] != "tftp" && args[0] != "snmp")) {
        std::fprintf(stderr, "usage: ap-sim tftp|snmp [options]   (--help after the side for its options)\n");
        return 2;
    }
    QString side = args.takeFirst();
    return side == "tftp" ? apsim::runTftp(app, args) : apsim::runSnmp(app, args);
}
