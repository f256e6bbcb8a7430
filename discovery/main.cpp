// Beaconry: finds the access points on the local network with one SNMP
// broadcast and leaves them in the shared settings key. Shows nothing;
// reports through its exit code only.
#include "Marlin.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    marlin::CMarlinApp theApp;
    return theApp.Run();
}
