#include "DatabaseTlsPolicy.h"
#include "RawFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringConverter>

#include <sys/stat.h>

namespace platform {

namespace {

// Debian's bundle of the certificate authorities the system trusts. Named outright, so that OpenSSL's own
// environment variables cannot put another one in its place.
const QString SystemCaBundle = QStringLiteral("/etc/ssl/certs/ca-certificates.crt");

const QString CaFileRefused =
    QStringLiteral("이 PC의 정책이 지정한 인증 기관 파일 \"%1\"을(를) 믿을 수 없어 데이터베이스에 "
                   "접속하지 않습니다: %2. 관리자에게 문의바랍니다.");
const QString NotOwnedByRoot = QStringLiteral("%1의 소유자가 root가 아닙니다");
const QString WritableByOthers = QStringLiteral("%1을(를) root 외의 사용자도 바꿀 수 있습니다");
const QString Missing = QStringLiteral("%1이(가) 없습니다");
const QString NotRegular = QStringLiteral("%1: 보통 파일이 아닙니다");
const QString Unreadable = QStringLiteral("%1: 읽을 수 없습니다 (%2)");
const QString TooLarge = QStringLiteral("%1: 정책 파일로 보기에 너무 큽니다 (%2 바이트)");
const QString NotText = QStringLiteral("%1: UTF-8이나 UTF-16 텍스트가 아닙니다");
const QString AtLine = QStringLiteral("%1 %2번째 줄");

// A policy is a few lines and a few comments; a file much larger than this is no policy.
constexpr qint64 MaxPolicyBytes = 1024 * 1024;

// Why path (a file, and every folder above it) is not root's alone; empty when it is. A folder where only an
// entry's owner may remove or rename it (the sticky bit, as on /tmp) cannot have root's entries changed.
QString untrusted(const QString& path)
{
    QString real = QFileInfo(path).canonicalFilePath();
    if (real.isEmpty())
        return Missing.arg(path);
    for (bool file = true;; file = false) {
        struct stat info = {};
        if (::stat(QFile::encodeName(real).constData(), &info) != 0)
            return Missing.arg(real);
        if (info.st_uid != 0)
            return NotOwnedByRoot.arg(real);
        if ((info.st_mode & 0022) != 0 && (file || (info.st_mode & S_ISVTX) == 0))
            return WritableByOthers.arg(real);
        if (real == QStringLiteral("/"))
            return {};
        real = QFileInfo(real).path();
    }
}

// "Key = value" lines, keys as registry names (case ignored); '#' or ';' starts a comment line, and a '#' after a
// blank ends a line's value.
void parsePolicyText(const QString& text, const QString& location, QList<MachinePolicyEntry>& entries,
                     QStringList& problems)
{
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        for (qsizetype hash = line.indexOf(u'#'); hash >= 0; hash = line.indexOf(u'#', hash + 1)) {
            if (hash == 0 || line.at(hash - 1).isSpace()) {
                line.truncate(hash);
                break;
            }
        }
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        const QString where = AtLine.arg(location, QString::number(i + 1));
        const qsizetype equals = line.indexOf(u'=');
        const MachinePolicyValue* known = equals > 0 ? findMachinePolicyValue(line.left(equals).trimmed()) : nullptr;
        if (known)
            entries.append({QString::fromUtf16(known->name), line.mid(equals + 1).trimmed(), where});
        else
            problems.append(where + QStringLiteral(": ") + line);
    }
}

// The file's text: UTF-8, or UTF-16 with its byte order mark (as Windows' editors save it). Nothing for anything
// else.
std::optional<QString> policyText(const QByteArray& bytes)
{
    const QStringConverter::Encoding encoding =
        QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8);
    QStringDecoder decode(encoding);
    const QString text = decode(bytes);
    if (decode.hasError() || (encoding == QStringConverter::Utf8 && bytes.contains('\0')))
        return std::nullopt;
    return text;
}

// The file to its end, or a little more than a policy may hold: it may have grown since it was measured.
Result<QByteArray> readAll(RawFile& file)
{
    QByteArray bytes;
    char block[16384];
    while (bytes.size() <= MaxPolicyBytes) {
        const Result<qint64> got = file.read(block, qint64(sizeof block));
        if (!got)
            return got.error();
        if (*got == 0)
            break;
        bytes.append(block, qsizetype(*got));
    }
    return bytes;
}

} // namespace

QString machinePolicyLocation()
{
    return QStringLiteral("/etc/norvaquillet/policy.conf");
}

DatabaseTlsPolicy readDatabaseTlsPolicy(const QString& location)
{
    QList<MachinePolicyEntry> entries;
    QStringList problems;
    RawFile file;
    const Result<void> opened = file.openRead(location);
    const Result<RawFile::Info> info = opened ? file.info() : Result<RawFile::Info>(opened.error());
    const int openError = info.error().number();
    if (openError == vberr::FileNotFound || openError == vberr::PathNotFound)
        return {};
    if (!info) {
        problems.append(Unreadable.arg(location, info.error().description()));
    } else if (info->kind != RawFile::Kind::Regular) {
        // A FIFO or a device is never read: it could hold the start up for ever.
        problems.append(NotRegular.arg(location));
    } else if (info->size > MaxPolicyBytes) {
        problems.append(TooLarge.arg(location, QString::number(info->size)));
    } else if (const Result<QByteArray> bytes = readAll(file); !bytes) {
        problems.append(Unreadable.arg(location, bytes.error().description()));
    } else if (bytes->size() > MaxPolicyBytes) {
        problems.append(TooLarge.arg(location, QString::number(bytes->size())));
    } else if (const std::optional<QString> text = policyText(*bytes)) {
        parsePolicyText(*text, location, entries, problems);
    } else {
        problems.append(NotText.arg(location));
    }

    DatabaseTlsPolicy policy = interpretMachinePolicy(entries, problems);
    if (policy.mode != DatabaseTls::Verify) {
        policy.caFile.clear();
    } else if (policy.caFile.isEmpty()) {
        if (QFileInfo::exists(SystemCaBundle))
            policy.caFile = SystemCaBundle;
    } else {
        // Whoever may change the policy file, or the CA file, may choose whom Verify trusts: nothing is trusted
        // then, and nothing else (the system's bundle) in its place.
        QString why = untrusted(location);
        if (why.isEmpty())
            why = untrusted(policy.caFile);
        if (!why.isEmpty()) {
            if (policy.refusal.isEmpty())
                policy.refusal = CaFileRefused.arg(policy.caFile, why);
            policy.caFile.clear();
        }
    }
    return policy;
}

} // namespace platform
