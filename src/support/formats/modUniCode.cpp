#include "modUniCode.h"

#include "VbError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <cerrno>
#include <new>

using platform::makeVbError;
using platform::VbError;
namespace vberr = platform::vberr;

namespace modUniCode {

namespace {

const QString ReadFailed = QStringLiteral("파일 읽기 중 오류 발생: ");
const QString WriteFailed = QStringLiteral("파일 저장 중 오류 발생: ");
const QByteArray ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

/** The classic error behind a failed file operation: from errno when the system left one, else from Qt's kind. */
VbError fileError(const QFileDevice& file, int savedErrno)
{
    if (savedErrno != 0)
        return platform::vbErrorFromErrno(savedErrno, file.fileName());
    switch (file.error()) {
    case QFileDevice::OpenError:
        return makeVbError(QFileInfo::exists(file.fileName()) ? vberr::PathFileAccessError : vberr::FileNotFound,
                           file.fileName());
    case QFileDevice::ReadError:
    case QFileDevice::WriteError: return makeVbError(vberr::DeviceIoError, file.fileName());
    case QFileDevice::ResourceError: return makeVbError(vberr::DiskFull, file.fileName());
    case QFileDevice::PermissionsError: return makeVbError(vberr::PermissionDenied, file.fileName());
    default: return makeVbError(vberr::PathFileAccessError, file.fileName());
    }
}

void report(const platform::Services& services, const QString& prefix, const VbError& error)
{
    services.messageBox->show(prefix + error.description());
}

} // namespace

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (name.contains(u'*') || name.contains(u'?')) {
        // Hidden and system entries and folders are left out, as in a plain folder listing.
        return !info.dir().entryList({name}, QDir::Files).isEmpty();
    }
    return info.isFile() && !info.isHidden();
}

QString ReadUTF8TextFile(const platform::Services& services, const QString& path)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        report(services, ReadFailed, fileError(file, errno));
        return {};
    }
    try {
        errno = 0;
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            report(services, ReadFailed, fileError(file, errno));
            return {};
        }
        // One leading mark is not part of the text; anything after it is, a second mark included.
        if (bytes.startsWith(ByteOrderMark))
            bytes.remove(0, ByteOrderMark.size());
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        return decoder.decode(bytes);
    } catch (const std::bad_alloc&) {
        report(services, ReadFailed, makeVbError(vberr::OutOfMemory, path));
        return {};
    }
}

void WriteUTF8TextFile(const platform::Services& services, const QString& path, const QString& text)
{
    // A temporary file beside the target, renamed over it only once it is whole on disk.
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        report(services, WriteFailed, fileError(file, errno));
        return;
    }
    try {
        const QByteArray bytes = ByteOrderMark + text.toUtf8();
        errno = 0;
        if (file.write(bytes) != bytes.size()) {
            const VbError error = fileError(file, errno);
            file.cancelWriting();
            report(services, WriteFailed, error);
            return;
        }
    } catch (const std::bad_alloc&) {
        file.cancelWriting();
        report(services, WriteFailed, makeVbError(vberr::OutOfMemory, path));
        return;
    }
    errno = 0;
    if (!file.commit())
        report(services, WriteFailed, fileError(file, errno));
}

} // namespace modUniCode
