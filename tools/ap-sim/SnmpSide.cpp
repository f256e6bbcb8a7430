#include "ApSim.h"

#include <cstdio>

namespace apsim {

int runSnmp(QCoreApplication&, const QStringList&)
{
    std::fprintf(stderr, "ap-sim: the snmp side is not built yet\n");
    return 2;
}

}  // namespace apsim
