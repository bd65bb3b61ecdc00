#include "modAutoUpdateV1_Download.h"

#include "AppInfo.h"
#include "FileVersionReader.h"
#include "HttpTransfer.h"

#include <QFileInfo>

#include <span>

namespace modAutoUpdateV1_Download {

namespace {

constexpr qint64 OpenUrlBytes = 20;

} // namespace

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
    const auto answer =
        platform::waitFor(wait, QStringLiteral("업데이트를 확인하는 중…"), [&](const platform::SkipFlag& skipped) {
            options.cancel = &skipped;
            return support::http::get(url, options);
        });
    if (!answer)
        return {};
    return QString::fromLatin1(answer->body.left(OpenUrlBytes));
}

bool DownloadFile(const QString& url, const QString& localPath, platform::IWaitWindow* wait)
{
    support::http::GetOptions options;
    // A cut-off program or an error page served with 200 must never replace a working tool.
    if (localPath.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        options.acceptBody = IsCompleteProgram;
    const QString text = QFileInfo(localPath).fileName() + QStringLiteral(" 파일을 받는 중…");
    return platform::waitFor(wait, text, [&](const platform::SkipFlag& skipped) {
        options.cancel = &skipped;
        return support::http::download(url, localPath, options).ok();
    });
}

bool DownloadFiles(const QString& baseUrl, const QString& localDir, const QStringList& names, qsizetype* failedIndex,
                   platform::IWaitWindow* wait)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        if (name.isEmpty())
            return true;
        if (!DownloadFile(baseUrl + u'/' + name, localDir + u'/' + name, wait)) {
            if (failedIndex)
                *failedIndex = i;
            return false;
        }
    }
    return true;
}

} // namespace modAutoUpdateV1_Download
