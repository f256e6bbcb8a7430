// The two sides of the simulated access point. Each parses its own options
// and runs the application's event loop; the result is the exit code.
#pragma once

#include <QCoreApplication>
#include <QStringList>

namespace apsim {

int runTftp(QCoreApplication& app, const QStringList& args);
int runSnmp(QCoreApplication& app, const QStringList& args);

}  // namespace apsim
