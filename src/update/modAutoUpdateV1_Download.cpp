#include "modAutoUpdateV1_Download.h"

#include "AppInfo.h"
#include "FileVersionReader.h"
#include "HttpTransfer.h"
#include "UpdateKeys.h"

#include <QFile>
#include <QFileInfo>

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

std::span<const unsigned char> bytesOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())};
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

minisign::Verdict verifyBytes(const QByteArray& file, const QByteArray& signature,
                              const std::vector<minisign::PublicKey>& keys)
{
    return minisign::verify(bytesOf(file), std::string_view(signature.constData(), std::size_t(signature.size())),
                            keys);
}

} // namespace

void SetPublisherKeys(const QString& keys)
{
    keysInUse() = keys;
}

minisign::Verdict VerifyPublished(const QString& localPath, const QString& url, platform::IWaitWindow* wait)
{
    const auto keys = verifyingKeys();
    if (!keys)
        return minisign::Verdict::Verified;
    const QString text = QFileInfo(localPath).fileName() + QStringLiteral("의 서명을 확인하는 중…");
    const QByteArray signature =
        platform::waitFor(wait, text, [&](const platform::SkipFlag& skipped) { return fetchSignature(url, skipped); });
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return minisign::Verdict::BadSignature;
    return verifyBytes(file.readAll(), signature, *keys);
}

QString SignatureRefusedText(const QString& fileName, minisign::Verdict why)
{
    QString reason;
    switch (why) {
    case minisign::Verdict::NoSignature: reason = QStringLiteral("서명 파일을 받을 수 없습니다"); break;
    case minisign::Verdict::Malformed: reason = QStringLiteral("서명 파일의 형식이 올바르지 않습니다"); break;
    case minisign::Verdict::UnknownAlgorithm: reason = QStringLiteral("지원하지 않는 서명 방식입니다"); break;
    case minisign::Verdict::UnknownKey: reason = QStringLiteral("등록되지 않은 키로 서명되었습니다"); break;
    case minisign::Verdict::BadSignature: reason = QStringLiteral("파일이 서명된 내용과 다릅니다"); break;
    case minisign::Verdict::BadTrustedComment: reason = QStringLiteral("서명이 변조되었습니다"); break;
    case minisign::Verdict::CryptoUnavailable:
    case minisign::Verdict::Verified: reason = QStringLiteral("서명을 확인할 수 없습니다"); break;
    }
    return fileName + QStringLiteral("의 서명이 확인되지 않아 받은 파일을 버렸습니다.\r\n(") + reason + u')';
}

bool IsCompleteProgram(const QByteArray& bytes)
{
    const std::span<const unsigned char> image(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                               std::size_t(bytes.size()));
    if (fileversion::isCompletePeImage(image))
        return true;
    if (!platform::AcceptsElfProgramsAndScripts)
        return false;
    return fileversion::isCompleteElfFile(image) || bytes.startsWith("#!");
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

Fetched FetchFile(const QString& url, const QString& localPath, platform::IWaitWindow* wait)
{
    const auto keys = verifyingKeys();
    // A cut-off program or an error page served with 200 must never replace a working tool.
    const bool program = localPath.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive);
    QByteArray signature;
    Fetched fetched;
    support::http::GetOptions options;
    if (program || keys) {
        options.acceptBody = [&](const QByteArray& body) {
            if (program && !IsCompleteProgram(body))
                return false;
            if (!keys)
                return true;
            const minisign::Verdict verdict = verifyBytes(body, signature, *keys);
            if (verdict != minisign::Verdict::Verified)
                fetched.refused = verdict;
            return verdict == minisign::Verdict::Verified;
        };
    }
    const QString text = QFileInfo(localPath).fileName() + QStringLiteral(" 파일을 받는 중…");
    fetched.saved = platform::waitFor(wait, text, [&](const platform::SkipFlag& skipped) {
        options.cancel = &skipped;
        if (keys)
            signature = fetchSignature(url, skipped);
        const bool saved = support::http::download(url, localPath, options).ok();
        fetched.skipped = !saved && skipped.load();
        return saved;
    });
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
