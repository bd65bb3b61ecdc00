#include "RecordingServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>

namespace testsupport {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QByteArray recorderProgram()
{
    return readFile(QStringLiteral(ZT_RECORDER_PATH));
}

bool installRecorder(const QString& path, const QByteArray& actions)
{
    const QByteArray program = recorderProgram();
    if (program.isEmpty() || !writeFile(path, program))
        return false;
    if (!actions.isEmpty() && !writeFile(path + QStringLiteral(".do"), actions))
        return false;
    return QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                           QFileDevice::ExeOther);
}

QList<QByteArray> recordedRuns(const QString& path)
{
    const QFileInfo tool(path);
    QList<QByteArray> runs;
    const QStringList names = tool.dir().entryList({tool.fileName() + QStringLiteral(".*.args")}, QDir::Files);
    for (const QString& name : names)
        runs.append(readFile(tool.dir().filePath(name)));
    return runs;
}

} // namespace testsupport
