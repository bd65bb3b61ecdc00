#include "RecordingServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

bool writeScript(const QString& path, const QByteArray& body)
{
    if (!writeFile(path, "#!/bin/sh\n" + body))
        return false;
    return QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                           QFileDevice::ExeOther);
}

} // namespace testsupport
