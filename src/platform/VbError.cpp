#include "VbError.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace platform {

VbError::VbError(int number, QString description, QString source)
    : m_number(number), m_description(std::move(description)), m_source(std::move(source)),
      m_what(m_description.toUtf8())
{
}

QString vbErrorDescription(int number)
{
    switch (number) {
    case vberr::InvalidProcedureCall: return QStringLiteral("Invalid procedure call or argument");
    case vberr::Overflow: return QStringLiteral("Overflow");
    case vberr::OutOfMemory: return QStringLiteral("Out of memory");
    case vberr::SubscriptOutOfRange: return QStringLiteral("Subscript out of range");
    case vberr::TypeMismatch: return QStringLiteral("Type mismatch");
    case vberr::UserInterrupt: return QStringLiteral("User interrupt occurred");
    case vberr::BadFileNameOrNumber: return QStringLiteral("Bad file name or number");
    case vberr::FileNotFound: return QStringLiteral("File not found");
    case vberr::FileAlreadyOpen: return QStringLiteral("File already open");
    case vberr::DeviceIoError: return QStringLiteral("Device I/O error");
    case vberr::DiskFull: return QStringLiteral("Disk full");
    case vberr::PermissionDenied: return QStringLiteral("Permission denied");
    case vberr::PathFileAccessError: return QStringLiteral("Path/File access error");
    case vberr::PathNotFound: return QStringLiteral("Path not found");
    case vberr::KeyAlreadyAssociated:
        return QStringLiteral("This key is already associated with an element of this collection");
    default: return {};
    }
}

VbError makeVbError(int number, const QString& source)
{
    return VbError(number, vbErrorDescription(number), source);
}

VbError vbErrorFromErrno(int errnoValue, const QString& source)
{
    switch (errnoValue) {
    case ENOENT: return makeVbError(vberr::FileNotFound, source);
    case ENOTDIR: return makeVbError(vberr::PathNotFound, source);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG: return makeVbError(vberr::DiskFull, source);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: return makeVbError(vberr::PermissionDenied, source);
    case EIO: return makeVbError(vberr::DeviceIoError, source);
    default: return makeVbError(vberr::PathFileAccessError, source);
    }
}

VbError vbErrorFromOpen(int errnoValue, const QString& path)
{
    if (errnoValue == ENOENT && !QFileInfo(path).absoluteDir().exists())
        return makeVbError(vberr::PathNotFound);
    return vbErrorFromErrno(errnoValue);
}

QString errorReportText(const VbError& error, const QString& procedure, ReportOwner owner, const QString& ownerName)
{
    return QStringLiteral("Error ") + QString::number(error.number()) + QStringLiteral(" (") + error.description() +
           QStringLiteral(") in procedure ") + procedure +
           (owner == ReportOwner::Module ? QStringLiteral(" of Module ") : QStringLiteral(" of Form ")) + ownerName;
}

} // namespace platform
