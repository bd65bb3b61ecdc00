#include "modUniCode.h"

#include "RawFile.h"
#include "VbError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <new>

using platform::makeVbError;
using platform::RawFile;
using platform::Result;
namespace vberr = platform::vberr;

namespace modUniCode {

namespace {

const QString ReadFailed = QStringLiteral("파일 읽기 중 오류 발생: ");
const QString WriteFailed = QStringLiteral("파일 저장 중 오류 발생: ");
const QByteArray ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

// The raw-file layer, because it tells the system's own cause on every system (a refused folder is
// "Permission denied" there, never a guess from what the file name looks like).
Result<QByteArray> readAll(const QString& path)
{
    RawFile file;
    if (Result<void> opened = file.openRead(path); !opened)
        return opened.error();
    // A folder opens on some systems; reading it is the classic runtime's access error everywhere.
    if (const Result<RawFile::Info> info = file.info(); !info || info->kind == RawFile::Kind::Directory)
        return info ? makeVbError(vberr::PathFileAccessError, path) : info.error();
    QByteArray bytes;
    char block[64 * 1024];
    for (;;) {
        const Result<qint64> got = file.read(block, sizeof block);
        if (!got)
            return got.error();
        if (*got == 0)
            return bytes;
        bytes.append(block, *got);
    }
}

Result<void> writeInto(RawFile& file, const QString& path, const QByteArray& bytes)
{
    if (Result<void> step = file.openWrite(path); !step)
        return step;
    if (Result<void> step = file.truncate(); !step)
        return step;
    if (Result<void> step = file.writeAll(bytes.constData(), bytes.size()); !step)
        return step;
    return file.close();
}

// A file beside the target, renamed over it only once it is whole, so that a failed write leaves the old one.
Result<void> replaceWhole(const QString& path, const QByteArray& bytes)
{
    const QString temporary = path + QStringLiteral(".%1.tmp").arg(QCoreApplication::applicationPid());
    Result<void> result = [&] {
        RawFile file;
        return writeInto(file, temporary, bytes);
    }();
    if (result)
        result = RawFile::replace(temporary, path);
    if (!result)
        QFile::remove(temporary);
    return result;
}

void report(const platform::Services& services, const QString& prefix, const platform::VbError& error)
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
    try {
        Result<QByteArray> read = readAll(path);
        if (!read) {
            report(services, ReadFailed, read.error());
            return {};
        }
        QByteArray bytes = std::move(read).value();
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

bool WriteUTF8TextFile(const platform::Services& services, const QString& path, const QString& text)
{
    try {
        const Result<void> written = replaceWhole(path, ByteOrderMark + text.toUtf8());
        if (!written)
            report(services, WriteFailed, written.error());
        return written.ok();
    } catch (const std::bad_alloc&) {
        report(services, WriteFailed, makeVbError(vberr::OutOfMemory, path));
        return false;
    }
}

} // namespace modUniCode
