#include "modAutoUpdateV1_Download.h"

#include "AppInfo.h"
#include "FileVersionReader.h"
#include "HttpTransfer.h"
#include "LogCategories.h"
#include "RawFile.h"
#include "UpdateKeys.h"
#include "mdlFile.h"
#include "modAutoUpdateV1_Launcher.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <mutex>
#include <span>
#include <string_view>
#include <vector>

namespace modAutoUpdateV1_Download {

namespace {

constexpr qint64 OpenUrlBytes = 20;
// A minisign signature with the longest trusted comment minisign writes is under 9 KiB.
constexpr qint64 SignatureBytes = 16 * 1024;

QString& keysInUse()
{
    static QString keys = QString::fromLatin1(build::PublisherKeys);
    return keys;
}

// The keys downloads are checked against; nothing when they are not checked. Keys that cannot be read are none
// that verifies (the build checks them when it is configured).
std::optional<std::vector<minisign::PublicKey>> verifyingKeys()
{
    const QByteArray text = keysInUse().toLatin1();
    if (text.trimmed().isEmpty())
        return std::nullopt;
    return minisign::parsePublicKeys(std::string_view(text.constData(), std::size_t(text.size())))
        .value_or(std::vector<minisign::PublicKey>{});
}

// The signature published for url; empty when there is none to be had.
QByteArray fetchSignature(const QString& url, const platform::SkipFlag& skipped)
{
    support::http::GetOptions options;
    options.maxBytes = SignatureBytes;
    options.cancel = &skipped;
    const auto answer = support::http::get(url + QStringLiteral(".minisig"), options);
    return answer ? answer->body : QByteArray();
}

QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(SignatureBytes) : QByteArray();
}

Refusal signatureRefusal(minisign::Verdict verdict, const QString& signedFor = {})
{
    return {Refusal::Kind::Signature, verdict, signedFor, {}, {}};
}

// Whether the file at path is the one signature signs, for a file named name; read in blocks, never whole.
std::optional<Refusal> checkSignature(const QString& path, const QByteArray& signature,
                                      const std::vector<minisign::PublicKey>& keys, const QString& name)
{
    if (signature.isEmpty())
        return signatureRefusal(minisign::Verdict::NoSignature);
    minisign::FileCheck check(std::string_view(signature.constData(), std::size_t(signature.size())), keys,
                              name.toUtf8().toStdString());
    platform::RawFile file;
    if (!file.openRead(path))
        return signatureRefusal(minisign::Verdict::BadSignature);
    std::vector<char> block(std::size_t(1) << 20);
    for (;;) {
        const platform::Result<qint64> got = file.read(block.data(), qint64(block.size()));
        if (!got)
            return signatureRefusal(minisign::Verdict::BadSignature);
        if (*got == 0)
            break;
        check.update({reinterpret_cast<const unsigned char*>(block.data()), std::size_t(*got)});
    }
    const minisign::Verdict verdict = check.finish();
    if (verdict == minisign::Verdict::Verified)
        return std::nullopt;
    return signatureRefusal(verdict, QString::fromUtf8(check.signedFileName()));
}

double revisionOf(const QString& version)
{
    return modAutoUpdateV1_Launcher::LeadingNumber(version.mid(version.lastIndexOf(u'.') + 1));
}

// Whether the program at path may replace one of installedVersion (none: anything may) under rule.
std::optional<Refusal> versionRefusal(const QString& path, const QString& installedVersion, VersionRule rule)
{
    if (installedVersion.isEmpty())
        return std::nullopt;
    const QString offered = mdlFile::ProgramVersion(path);
    const double difference = revisionOf(offered) - revisionOf(installedVersion);
    if (!offered.isEmpty() && (difference > 0 || (difference == 0 && rule == VersionRule::NotOlder)))
        return std::nullopt;
    return Refusal{Refusal::Kind::NotNewer, minisign::Verdict::Verified, {}, offered, installedVersion};
}

// The version a download must be above: that of the program at path, when the publisher's signature vouches
// for it. One fetched over plain HTTP by a build without keys, or put there by hand, sets no bar.
QString vouchedVersion(const QString& path)
{
    return QFileInfo::exists(path) && !CheckInstalled(path) ? mdlFile::ProgramVersion(path) : QString();
}

// Writes bytes as path through a new file of its own, which takes the name (a link's too, never its target).
bool saveBeside(const QString& path, const QByteArray& bytes)
{
    platform::RawFile file;
    const platform::Result<QString> made = file.createNew(path + u'.', QStringLiteral(".part"));
    if (!made)
        return false;
    const bool written = file.writeAll(bytes.constData(), bytes.size()).ok();
    if (file.close().ok() && written && platform::RawFile::replaceName(*made, path).ok())
        return true;
    QFile::remove(*made);
    return false;
}

// What a file and its kept signature were when last checked: a change to either means checking again.
struct Stamp final
{
    platform::FileId id, signatureId;
    qint64 size = -1, signatureSize = -1;
    QDateTime modified, signatureModified;
    bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const QString& path)
{
    const QString signaturePath = path + QStringLiteral(".minisig");
    const QFileInfo file(path), signature(signaturePath);
    return {platform::RawFile::identityOf(path).valueOr({}),
            platform::RawFile::identityOf(signaturePath).valueOr({}),
            file.size(),
            signature.exists() ? signature.size() : -1,
            file.lastModified(),
            signature.lastModified()};
}

QString reasonText(const Refusal& why, bool installed)
{
    switch (why.verdict) {
    case minisign::Verdict::NoSignature:
        return installed ? QStringLiteral("서명 파일이 없습니다") : QStringLiteral("서명 파일을 받을 수 없습니다");
    case minisign::Verdict::Malformed: return QStringLiteral("서명 파일의 형식이 올바르지 않습니다");
    case minisign::Verdict::UnknownAlgorithm: return QStringLiteral("지원하지 않는 서명 방식입니다");
    case minisign::Verdict::UnknownKey: return QStringLiteral("등록되지 않은 키로 서명되었습니다");
    case minisign::Verdict::BadSignature: return QStringLiteral("파일이 서명된 내용과 다릅니다");
    case minisign::Verdict::BadTrustedComment: return QStringLiteral("서명이 변조되었습니다");
    case minisign::Verdict::OtherFile:
        return why.signedFor.isEmpty()
                   ? QStringLiteral("서명에 파일 이름이 없습니다")
                   : QStringLiteral("다른 파일(") + why.signedFor + QStringLiteral(")의 서명입니다");
    case minisign::Verdict::CryptoUnavailable:
    case minisign::Verdict::Verified: break;
    }
    return QStringLiteral("서명을 확인할 수 없습니다");
}

// For the diagnostic log: what a refusal found, in a line.
QString describedRefusal(const Refusal& why)
{
    switch (why.kind) {
    case Refusal::Kind::TooLarge: return QStringLiteral("larger than %1 MiB").arg(MaxDownloadBytes >> 20);
    case Refusal::Kind::NotNewer:
        return QStringLiteral("version %1 is not newer than the installed %2")
            .arg(why.offered.isEmpty() ? QStringLiteral("(unreadable)") : why.offered, why.installed);
    case Refusal::Kind::Signature: break;
    }
    const std::string_view text = minisign::describe(why.verdict);
    QString line = QString::fromLatin1(text.data(), qsizetype(text.size()));
    if (!why.signedFor.isEmpty())
        line += QStringLiteral(" (signed for ") + why.signedFor + u')';
    return line;
}

} // namespace

void SetPublisherKeys(const QString& keys)
{
    keysInUse() = keys;
}

std::optional<Refusal> CheckInstalled(const QString& path)
{
    const auto keys = verifyingKeys();
    if (!keys || !QFileInfo::exists(path))
        return std::nullopt;
    // The external decoder runs once per dropped file: its check is made once while it stays as it is.
    static std::mutex mutex;
    static QHash<QString, std::pair<Stamp, std::optional<Refusal>>> checked;
    const Stamp stamp = stampOf(path);
    {
        const std::lock_guard lock(mutex);
        const auto known = checked.constFind(path);
        if (known != checked.cend() && known->first == stamp)
            return known->second;
    }
    const std::optional<Refusal> refused =
        checkSignature(path, readSmallFile(path + QStringLiteral(".minisig")), *keys, QFileInfo(path).fileName());
    const std::lock_guard lock(mutex);
    checked.insert(path, {stamp, refused});
    return refused;
}

std::optional<Refusal> VerifyPublished(const QString& localPath, const QString& url, const QString& installedVersion,
                                       platform::IWaitWindow* wait)
{
    const auto keys = verifyingKeys();
    if (!keys)
        return std::nullopt;
    const QString text = QFileInfo(localPath).fileName() + QStringLiteral("의 서명을 확인하는 중…");
    const QByteArray signature =
        platform::waitFor(wait, text, [&](const platform::SkipFlag& skipped) { return fetchSignature(url, skipped); });
    std::optional<Refusal> refused = checkSignature(localPath, signature, *keys, url.section(u'/', -1));
    if (!refused)
        refused = versionRefusal(localPath, installedVersion, VersionRule::Newer);
    if (refused)
        qCWarning(platform::lcUpdate).noquote()
            << localPath << "against the signature of" << url + u':' << describedRefusal(*refused);
    else
        qCInfo(platform::lcUpdate).noquote() << localPath << "against the signature of" << url + u':' << "verified";
    return refused;
}

QString SignatureRefusedText(const QString& fileName, const Refusal& why)
{
    switch (why.kind) {
    case Refusal::Kind::TooLarge:
        return fileName + QStringLiteral("의 크기가 %1 MiB를 넘어 받지 않았습니다.").arg(MaxDownloadBytes >> 20);
    case Refusal::Kind::NotNewer:
        return fileName +
               QStringLiteral("의 받은 버전이 설치된 버전보다 새롭지 않아 받은 파일을 버렸습니다.\r\n(받은 버전: ") +
               (why.offered.isEmpty() ? QStringLiteral("알 수 없음") : why.offered) +
               QStringLiteral(", 설치된 버전: ") + why.installed + u')';
    case Refusal::Kind::Signature: break;
    }
    return fileName + QStringLiteral("의 서명이 확인되지 않아 받은 파일을 버렸습니다.\r\n(") + reasonText(why, false) +
           u')';
}

QString NotRunText(const QString& fileName, const Refusal& why)
{
    return fileName +
           QStringLiteral(
               "은(는) 서명이 확인되지 않아 실행하지 않습니다. 다음 업데이트 확인 때 서명과 함께 다시 받습니다.\r\n(") +
           reasonText(why, true) + u')';
}

bool IsCompleteProgram(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0)
        return false;
    // Mapped, not read: only the headers are looked at.
    const uchar* mapped = file.map(0, file.size());
    const QByteArray read = mapped ? QByteArray() : file.readAll();
    const std::span<const unsigned char> image(mapped ? mapped : reinterpret_cast<const uchar*>(read.constData()),
                                               std::size_t(file.size()));
    if (fileversion::isCompletePeImage(image))
        return true;
    if (!platform::AcceptsElfProgramsAndScripts)
        return false;
    return fileversion::isCompleteElfFile(image) || (image.size() >= 2 && image[0] == '#' && image[1] == '!');
}

QString OpenUrl(const QString& url, platform::IWaitWindow* wait)
{
    support::http::GetOptions options;
    options.userAgent = QByteArrayLiteral("VB OpenUrl");
    options.enoughBytes = OpenUrlBytes;
    options.smallText = true;
    const auto answer =
        platform::waitFor(wait, QStringLiteral("업데이트를 확인하는 중…"), [&](const platform::SkipFlag& skipped) {
            options.cancel = &skipped;
            return support::http::get(url, options);
        });
    if (!answer)
        return {};
    return QString::fromLatin1(answer->body.left(OpenUrlBytes));
}

Fetched FetchFile(const QString& url, const QString& localPath, platform::IWaitWindow* wait, VersionRule rule)
{
    const auto keys = verifyingKeys();
    // A cut-off program or an error page served with 200 must never replace a working tool.
    const bool program = localPath.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive);
    const QString name = QFileInfo(localPath).fileName();
    const QString installed = keys && program ? vouchedVersion(localPath) : QString();
    QByteArray signature;
    Fetched fetched;
    support::http::GetOptions options;
    options.maxBytes = MaxDownloadBytes;
    options.acceptFile = [&](const QString& received) {
        if (program && !IsCompleteProgram(received))
            return false;
        if (keys) {
            fetched.refused = checkSignature(received, signature, *keys, name);
            if (!fetched.refused && program)
                fetched.refused = versionRefusal(received, installed, rule);
        }
        return !fetched.refused;
    };
    const QString text = name + QStringLiteral(" 파일을 받는 중…");
    fetched.saved = platform::waitFor(wait, text, [&](const platform::SkipFlag& skipped) {
        options.cancel = &skipped;
        if (keys)
            signature = fetchSignature(url, skipped);
        const platform::Result<void> saved = support::http::download(url, localPath, options);
        if (!saved && saved.error().number() == support::http::AnswerTooLong)
            fetched.refused = Refusal{Refusal::Kind::TooLarge, minisign::Verdict::Verified, {}, {}, {}};
        fetched.skipped = !saved && skipped.load();
        return saved.ok();
    });
    // Kept beside the program, so that it is checked again before each run.
    if (fetched.saved && keys)
        saveBeside(localPath + QStringLiteral(".minisig"), signature);
    if (fetched.refused)
        qCWarning(platform::lcUpdate).noquote() << url << "refused:" << describedRefusal(*fetched.refused);
    else
        qCInfo(platform::lcUpdate).noquote() << url << (fetched.saved ? "saved as" : "not saved, kept") << localPath
                                             << (fetched.skipped         ? "(skipped)"
                                                 : fetched.saved && keys ? "(signature verified)"
                                                                         : "");
    return fetched;
}

bool DownloadFile(const QString& url, const QString& localPath, platform::IWaitWindow* wait)
{
    return FetchFile(url, localPath, wait).saved;
}

bool DownloadFiles(const QString& baseUrl, const QString& localDir, const QStringList& names, FailedFile* failed,
                   platform::IWaitWindow* wait)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        if (name.isEmpty())
            return true;
        const Fetched fetched = FetchFile(baseUrl + u'/' + name, localDir + u'/' + name, wait);
        if (!fetched.saved) {
            if (failed)
                *failed = {i, fetched.refused};
            return false;
        }
    }
    return true;
}

} // namespace modAutoUpdateV1_Download
