#include "ApSim.h"

#include <cstdio>

namespace apsim {

int runTftp(QCoreApplication&, const QStringList&)
{
    std::fprintf(stderr, "ap-sim: the tftp side is not built yet\n");
    return 2;
}

}  // namespace apsim
