#include "mdlFile.h"

#include "FileVersionReader.h"
#include "Result.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace mdlFile {

namespace {

// The classic error for a file without version information.
platform::VbError noVersionInfo()
{
    return platform::makeVbError(platform::vberr::InvalidProcedureCall);
}

platform::Result<QString> versionOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return platform::makeVbError(QFileInfo::exists(path) ? platform::vberr::PermissionDenied
                                                             : platform::vberr::FileNotFound);
    const qint64 size = file.size();
    if (size <= 0)
        return noVersionInfo();
    const uchar* mapped = file.map(0, size);
    QByteArray read;
    if (!mapped) {
        read = file.readAll();
        if (read.size() != size)
            return platform::makeVbError(platform::vberr::DeviceIoError);
        mapped = reinterpret_cast<const uchar*>(read.constData());
    }
    const std::span<const unsigned char> bytes(mapped, std::size_t(size));
    if (const auto pe = fileversion::readPeFileVersion(bytes))
        return QString::fromStdU16String(*pe);
    if (const auto elf = fileversion::readElfVersionNote(bytes))
        return QString::fromStdString(*elf);
    return noVersionInfo();
}

// The last part rewritten through the number format "0": a number loses its leading zeros and fraction.
QString formatWhole(const QString& part)
{
    bool isNumber = false;
    const double value = part.trimmed().toDouble(&isNumber);
    if (!isNumber || !std::isfinite(value) || std::fabs(value) >= 9.0e15)
        return part;
    return QString::number(static_cast<qint64>(std::round(value)));
}

// The version text as callers expect it, or the error that left none.
std::pair<QString, platform::VbError> shapedVersion(const QString& path, bool normalise)
{
    const platform::Result<QString> raw = versionOf(path);
    platform::VbError error = raw.error();
    QString version;
    if (raw) {
        version = raw->trimmed();
        const qsizetype blank = version.indexOf(u' ');
        if (blank >= 0)
            version = version.mid(blank + 1).trimmed();
        const qsizetype lastDot = version.lastIndexOf(u'.');
        if (normalise)
            version = version.left(lastDot + 1) + formatWhole(version.mid(lastDot + 1));
        else
            version = lastDot >= 0 ? version.left(lastDot) : QString();
        if (version.isEmpty())
            error = noVersionInfo();
    }
    return {version, error};
}

} // namespace

QString GetFileVer(const platform::Services& services, const QString& path, bool normalise, bool noMessage)
{
    const auto [version, error] = shapedVersion(path, normalise);
    if (version.isEmpty() && !noMessage)
        services.messageBox->show(platform::errorReportText(error, QStringLiteral("GetFileVer"),
                                                            platform::ReportOwner::Module, QStringLiteral("mdlFile")),
                                  QString(), platform::MessageIcon::Error);
    return version;
}

QString ProgramVersion(const QString& path)
{
    return shapedVersion(path, true).first;
}

} // namespace mdlFile
