#include "ProcessRunner.h"

#include <QProcess>
#include <QStringList>

namespace kavo::test {

RunResult runProgram(const std::string& program, const std::vector<std::string>& args, int timeoutMs,
                     const std::string& input, const std::string& workDir)
{
    QProcess p;
    QStringList list;
    for (const auto& a : args)
        list << QString::fromStdString(a);
    if (!workDir.empty())
        p.setWorkingDirectory(QString::fromStdString(workDir));
    p.start(QString::fromStdString(program), list);
    RunResult r;
    if (!p.waitForStarted(10000)) {
        r.err = "could not start " + program;
        return r;
    }
    if (!input.empty())
        p.write(input.data(), static_cast<qint64>(input.size()));
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        r.timedOut = true;
        p.kill();
        p.waitForFinished(5000);
    } else {
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

}  // namespace kavo::test
